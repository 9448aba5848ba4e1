#pragma once
// Encoders on the text form of a qxval; results are strings.

#include <cstdint>

#include "core/qxbytes_codec.h"
#include "core/qxmd5.h"
#include "core/qxval.h"

namespace qvtf {

// Two upper-case hex digits per byte.
qxval to_hex(const qxval& data);
// Unsigned value of a text of hex digits; any other byte gives 0.
uint32_t hex_value(const qxval& text);

// RFC 4648 Base64; with line_breaks a CR LF follows every 76 characters.
qxval base64_encode(const qxval& data, bool line_breaks);
qxval base64_decode(const qxval& text);

// out becomes the 16 raw bytes of the MD5 digest of value's text.
void md5_of(const qxval& value, qxval& out);

}  // namespace qvtf
