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
        case '\\':
            out += "\\\\";
            break;
        case '|': case '+': case '{': case '}': case '(': case ')':
        case '.': case '^': case '$': case '[': case ']':
            out += '\\';
            out += c;
            break;
        case '*':
            out += ".*";
            break;
        case '?':
            out += ".?";
            break;
        default:
            out += c;
        }
    }
    out += '$';
    return out;
}

void mask_to_regex(qxval& mask) { mask.set_bytes(mask_regex_of(mask.view())); }

void split_mask_list(const qxval& text, qxarr& list)
{
    qxval masks(trimmed(text.view()));
    list.clear();
    qxarr pieces;
    regex_split(qxval(" *; *"), masks, pieces, 0, 0);
    qxval piece;
    while (pieces.shift(piece)) {
        if (length(piece) == 0)
            continue;
        mask_to_regex(piece);
        list.push(piece);
    }
}

} // namespace qvtf
