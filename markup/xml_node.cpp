#include "markup/xml_node.h"

#include "core/qxregex.h"
#include "core/qxtext.h"

namespace qvtf {

namespace {

bool tag_space(unsigned char c)
{
    return c == ' ' || c == '\t' || c == '\n' || c == '\r';
}

bool ascii_letter(unsigned char c)
{
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}

// The bytes between the opening "<" (or "</") and the closing ">".
std::string_view tag_inside(std::string_view raw, size_t opening)
{
    if (raw.size() < opening)
        return {};
    size_t end = raw.size();
    if (end > opening && raw[end - 1] == '>')
        --end;
    return raw.substr(opening, end - opening);
}

size_t name_end(std::string_view s, size_t i)
{
    while (i < s.size() && xml_name_byte(static_cast<unsigned char>(s[i])))
        ++i;
    return i;
}

}  // namespace

bool xml_name_start(unsigned char c)
{
    return ascii_letter(c) || c == '_' || c == ':';
}

bool xml_name_byte(unsigned char c)
{
    return xml_name_start(c) || (c >= '0' && c <= '9') || c == '-' || c == '.';
}

void xml_fill_entities(qxhash& map)
{
    map.set("lt", "<");
    map.set("gt", ">");
    map.set("amp", "&");
    map.set("quot", "\"");
    map.set("apos", "'");
}

void xml_decode_entities(qxval& value, qxhash* map)
{
    // Both passes compile a pattern; most text holds no entity at all.
    std::string_view v = value.view();
    if (v.find('&') == std::string_view::npos)
        return;
    if (v.find('\0') == std::string_view::npos) {
        replace_numeric_entities(value);
        replace_named_entities(value, map, false);
        return;
    }
    // The patterns see a zero-terminated subject; a NUL byte would hide the
    // entities behind it, so each piece between NULs is decoded on its own.
    qxval out("");
    size_t start = 0;
    for (;;) {
        size_t nul = v.find('\0', start);
        qxval piece(v.substr(start, nul == std::string_view::npos ? v.npos : nul - start));
        xml_decode_entities(piece, map);
        out.text.append(piece.view());
        if (nul == std::string_view::npos)
            break;
        out.text.append_byte('\0');
        start = nul + 1;
    }
    value.assign_move(out);
}

void xml_parse_start_tag(std::string_view raw, xml_node& node, qxhash* entities, bool fold_names)
{
    std::string_view s = tag_inside(raw, 1);
    bool have_name = false;
    size_t i = 0;
    while (i < s.size()) {
        unsigned char c = static_cast<unsigned char>(s[i]);
        if (!xml_name_start(c)) {
            // White space separates items; stray bytes carry nothing.
            ++i;
            continue;
        }
        size_t start = i;
        i = name_end(s, i);
        std::string_view name = s.substr(start, i - start);
        if (!have_name) {
            node.name.set_bytes(name);
            have_name = true;
            continue;
        }
        qxval key(name);
        if (fold_names)
            to_lower(key);
        qxval value("");
        if (i < s.size() && s[i] == '=') {
            ++i;
            while (i < s.size() && tag_space(static_cast<unsigned char>(s[i])))
                ++i;
            size_t begin = i;
            if (i < s.size() && (s[i] == '"' || s[i] == '\'')) {
                char quote = s[i];
                begin = ++i;
                while (i < s.size() && s[i] != quote)
                    ++i;
                value.set_bytes(s.substr(begin, i - begin));
                if (i < s.size())
                    ++i;
            } else {
                while (i < s.size() && !tag_space(static_cast<unsigned char>(s[i])))
                    ++i;
                value.set_bytes(s.substr(begin, i - begin));
            }
            xml_decode_entities(value, entities);
        }
        node.attributes.set(key, value);
    }
}

void xml_parse_end_tag(std::string_view raw, xml_node& node)
{
    std::string_view s = tag_inside(raw, 2);
    size_t i = 0;
    while (i < s.size() && tag_space(static_cast<unsigned char>(s[i])))
        ++i;
    if (i < s.size() && xml_name_start(static_cast<unsigned char>(s[i])))
        node.name.set_bytes(s.substr(i, name_end(s, i) - i));
    else
        node.name.set_string("");
}

}  // namespace qvtf
