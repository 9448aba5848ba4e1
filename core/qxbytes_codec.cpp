#include "core/qxbytes_codec.h"

#include <array>

namespace qvtf {

namespace {

constexpr char kHexDigits[] = "0123456789ABCDEF";
constexpr char kBase64[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
constexpr int kGroupsPerLine = 19;  // 19 groups of four = 76 characters

constexpr std::array<std::int8_t, 256> make_base64_table()
{
    std::array<std::int8_t, 256> table{};
    for (auto& v : table)
        v = -1;
    for (int i = 0; i < 64; ++i)
        table[static_cast<unsigned char>(kBase64[i])] = static_cast<std::int8_t>(i);
    return table;
}

constexpr auto kBase64Value = make_base64_table();

int hex_digit(unsigned char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

}  // namespace

std::string hex_of_bytes(std::string_view data)
{
    std::string out;
    out.resize(data.size() * 2);
    for (std::size_t i = 0; i < data.size(); ++i) {
        auto b = static_cast<unsigned char>(data[i]);
        out[i * 2] = kHexDigits[b >> 4];
        out[i * 2 + 1] = kHexDigits[b & 15];
    }
    return out;
}

std::uint32_t hex_value_of(std::string_view text)
{
    std::uint32_t value = 0;
    for (char c : text) {
        int d = hex_digit(static_cast<unsigned char>(c));
        if (d < 0)
            return 0;
        value = (value << 4) | static_cast<std::uint32_t>(d);
    }
    return value;
}

std::string base64_of_bytes(std::string_view data, bool line_breaks)
{
    std::size_t groups = (data.size() + 2) / 3;
    std::string out;
    out.reserve(groups * 4 + (line_breaks ? groups / kGroupsPerLine * 2 : 0));
    auto byte = [&](std::size_t i) { return static_cast<unsigned char>(data[i]); };
    std::size_t i = 0;
    for (std::size_t g = 0; g < groups; ++g, i += 3) {
        std::size_t left = data.size() - i;
        std::uint32_t bits = std::uint32_t(byte(i)) << 16;
        if (left > 1)
            bits |= std::uint32_t(byte(i + 1)) << 8;
        if (left > 2)
            bits |= byte(i + 2);
        out += kBase64[(bits >> 18) & 63];
        out += kBase64[(bits >> 12) & 63];
        out += left > 1 ? kBase64[(bits >> 6) & 63] : '=';
        out += left > 2 ? kBase64[bits & 63] : '=';
        if (line_breaks && (g + 1) % kGroupsPerLine == 0)
            out += "\r\n";
    }
    return out;
}

std::string bytes_of_base64(std::string_view text)
{
    std::string out;
    out.reserve(text.size() / 4 * 3 + 2);
    std::uint32_t bits = 0;
    int pending = 0;  // bits held in `bits`
    for (char c : text) {
        if (c == '=')
            break;
        int v = kBase64Value[static_cast<unsigned char>(c)];
        if (v < 0)
            continue;
        bits = (bits << 6) | static_cast<std::uint32_t>(v);
        pending += 6;
        if (pending >= 8) {
            pending -= 8;
            out += static_cast<char>((bits >> pending) & 0xff);
        }
    }
    return out;
}

}  // namespace qvtf
