#include "core/qxencode.h"

namespace qvtf {

qxval to_hex(const qxval& data)
{
    return qxval(hex_of_bytes(data.view()));
}

uint32_t hex_value(const qxval& text)
{
    return hex_value_of(text.view());
}

qxval base64_encode(const qxval& data, bool line_breaks)
{
    return qxval(base64_of_bytes(data.view(), line_breaks));
}

qxval base64_decode(const qxval& text)
{
    return qxval(bytes_of_base64(text.view()));
}

void md5_of(const qxval& value, qxval& out)
{
    qxmd5::digest digest = qxmd5::of(value.view());
    out.set_bytes(reinterpret_cast<const char*>(digest.data()), static_cast<int32_t>(digest.size()));
}

}  // namespace qvtf
