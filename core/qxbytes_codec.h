#pragma once
// Hexadecimal and Base64 over plain byte buffers. The qxval forms in
// core/qxencode.h are thin wrappers around these.

#include <cstdint>
#include <string>
#include <string_view>

namespace qvtf {

// Two upper-case digits per byte, high nibble first.
std::string hex_of_bytes(std::string_view data);
// Value of a text made only of hexadecimal digits (wrapping at 32 bits);
// any other byte, or an empty text, gives 0.
std::uint32_t hex_value_of(std::string_view text);

// RFC 4648 alphabet with "=" padding. With line_breaks, CR LF follows every
// 76 output characters, also when the output ends exactly on that boundary.
std::string base64_of_bytes(std::string_view data, bool line_breaks);
// Reads up to the first "=", ignores bytes outside the alphabet; a trailing
// partial group yields the whole bytes it completes.
std::string bytes_of_base64(std::string_view text);

}  // namespace qvtf
