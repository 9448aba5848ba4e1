// "drwxr-sr-t" and its attribute bits, both ways.
#include "browse/listing_parser.h"

namespace qvtf {
namespace {

constexpr char letters[] = "drwxrwxrwx";
constexpr char set_with_exec[] = "---s--s--t";
constexpr char set_without_exec[] = "---S--S--T";

// Set-user-id, set-group-id and sticky for execute positions 3, 6 and 9.
constexpr std::uint32_t special_bit(int i)
{
    return 1u << (12 - i / 3);
}

}  // namespace

int parse_permissions(std::string_view line, std::size_t& pos, qxfile_node& node)
{
    if (pos >= line.size() || line.size() - pos < 10)
        return -1;
    std::uint32_t bits = 0;
    bool folder = false;
    switch (line[pos]) {
    case 'd': folder = true; break;
    case 'l':
        folder = true;
        bits |= ATTR_LINK;
        break;
    case '-': break;
    default: return -1;
    }
    for (int i = 1; i <= 9; ++i) {
        const char c = line[pos + std::size_t(i)];
        const std::uint32_t m = 1u << (9 - i);
        if (c == letters[i])
            bits |= m;
        else if (c == '-')
            continue;
        else if (i % 3 == 0 && c == set_with_exec[i])
            bits |= m | special_bit(i);
        else if (i % 3 == 0 && c == set_without_exec[i])
            bits |= special_bit(i);
        else
            return -1;
    }
    node.attributes = bits;
    node.is_folder = folder ? 1 : 0;
    pos += 10;
    return 0;
}

qxval format_permissions(std::uint32_t attributes, bool is_folder)
{
    char text[10];
    text[0] = (attributes & ATTR_LINK) ? 'l' : is_folder ? 'd' : '-';
    for (int i = 1; i <= 9; ++i)
        text[i] = (attributes & (1u << (9 - i))) ? letters[i] : '-';
    for (int i = 3; i <= 9; i += 3)
        if (attributes & special_bit(i))
            text[i] = (attributes & (1u << (9 - i))) ? set_with_exec[i] : set_without_exec[i];
    qxval out;
    out.set_bytes(text, 10);
    return out;
}

}  // namespace qvtf
