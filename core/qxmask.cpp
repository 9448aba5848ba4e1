#include "core/qxmask.h"

#include "core/qxregex.h"
#include "core/qxtext.h"

namespace qvtf {

void split(const qxval& separator, const qxval& text, qxarr& list, int32_t limit)
{
    // Copies first: the separator or text may be elements of the list.
    std::string sep = separator.str();
    std::string subject = text.str();
    list.clear();
    if (sep.empty() || limit == 1 || limit < 0 || subject.size() < sep.size())
        return;
    std::string_view rest(subject);
    for (;;) {
        std::size_t at = rest.find(sep);
        bool last = at == std::string_view::npos || (limit >= 2 && list.count() == limit - 1);
        if (last) {
            qxval piece(rest);
            list.push(piece);
            return;
        }
        qxval piece(rest.substr(0, at));
        list.push(piece);
        rest.remove_prefix(at + sep.size());
    }
}

void join(const qxval& separator, const qxarr& list, qxval& out)
{
    std::string sep = separator.str();
    std::string result;
    bool first = true;
    for (const qxval& v : list) {
        if (!first)
            result += sep;
        result += v.view();
        first = false;
    }
    out.set_bytes(result);
}

std::string mask_regex_of(std::string_view mask)
{
    std::string out = "^";
    for (char c : mask) {
        switch (c) {
        case '\\': out += "\\\\"; break;
        case '|':
        case '+':
        case '{':
        case '}':
        case '(':
        case ')':
        case '.':
        case '^':
        case '$':
        case '[':
        case ']':
            out += '\\';
            out += c;
            break;
        case '*': out += ".*"; break;
        case '?': out += ".?"; break;
        default: out += c;
        }
    }
    out += '$';
    return out;
}

void mask_to_regex(qxval& mask)
{
    mask.set_bytes(mask_regex_of(mask.view()));
}

// Cut at every ";" with the spaces around it, in one pass: rule files may
// hold a few hundred thousand masks.
void split_masks(const qxval& text, qxarr& list)
{
    std::string_view rest = trimmed(text.view());
    list.clear();
    while (!rest.empty()) {
        const std::size_t semicolon = rest.find(';');
        std::string_view piece = rest.substr(0, semicolon);
        while (!piece.empty() && piece.front() == ' ')
            piece.remove_prefix(1);
        while (!piece.empty() && piece.back() == ' ')
            piece.remove_suffix(1);
        if (!piece.empty()) {
            qxval mask(piece);
            list.push(mask);
        }
        if (semicolon == std::string_view::npos)
            break;
        rest.remove_prefix(semicolon + 1);
    }
}

void split_mask_list(const qxval& text, qxarr& list)
{
    split_masks(text, list);
    for (qxval& piece : list)
        mask_to_regex(piece);
}

}  // namespace qvtf
