#include "core/qxfile_node.h"

#include <string>

namespace qvtf {

void qxfile_node::set_extension_from_name()
{
    std::string_view n = name.view();
    std::size_t dot = n.rfind('.');
    if (dot == std::string_view::npos) {
        extension.set_bytes("", 0);
        return;
    }
    // ASCII only, so UTF-8 names keep their bytes.
    std::string ext(n.substr(dot));
    for (char& c : ext)
        if (c >= 'A' && c <= 'Z')
            c = char(c - 'A' + 'a');
    extension.set_bytes(ext);
}

}  // namespace qvtf
