#include "core/ascii_forth.h"

#include <climits>

namespace qvtf {

ascii_forth::ascii_forth(qxarr* to) : target(to)
{
    lines.limit = INT32_MAX;
}

int ascii_forth::feed(qxval& chunk)
{
    lines.push(chunk);
    return 0;
}

int ascii_forth::run()
{
    int r = lines.run();
    if (r != qxparser::run_more && r != qxparser::run_done)
        return r;
    qxval out{""};
    qxval piece;
    while (lines.output.shift(piece)) {
        const qxchar& t = piece.text_view();
        int32_t n = t.length;
        if (n == 0)
            continue;
        bool ends_lf = t.data[n - 1] == '\n';
        bool cr_before = n >= 2 ? t.data[n - 2] == '\r' : last_was_cr_;
        if (ends_lf && !cr_before) {
            out.text.append(t.data, n - 1);
            out.text.append("\r\n", 2);
        } else {
            out.text.append(t.data, n);
        }
        last_was_cr_ = !ends_lf && t.data[n - 1] == '\r';
    }
    // Pass on the open line's bytes when it grows long; only whether its
    // last byte is a carriage return still matters for the line feed to come.
    qxchar& open = lines.line.text;
    if (r == qxparser::run_more && open.length >= max_held_line) {
        last_was_cr_ = open.data[open.length - 1] == '\r';
        out.text.append(open);
        open.resize(0);
    }
    if (out.text.length > 0 && target)
        target->push(out);
    return r;
}

}  // namespace qvtf
