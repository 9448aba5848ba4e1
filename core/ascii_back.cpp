#include "core/ascii_back.h"

namespace qvtf {

int ascii_back::feed(qxval& chunk)
{
    input_.push(chunk);
    return 0;
}

int ascii_back::run()
{
    qxval out{""};
    qxval piece;
    while (input_.shift(piece)) {
        const qxchar& t = piece.text_view();
        if (t.length == 0)
            continue;
        if (held_cr_ && t.data[0] != '\n')
            out.text.append("\r", 1);
        held_cr_ = false;
        int32_t start = 0;  // the run of bytes not yet passed on
        for (int32_t i = 0; i < t.length; ++i) {
            if (t.data[i] != '\r')
                continue;
            out.text.append(t.data + start, i - start);
            start = i + 1;
            if (i + 1 == t.length)
                held_cr_ = true;  // its line feed may open the next chunk
            else if (t.data[i + 1] != '\n')
                out.text.append("\r", 1);
        }
        out.text.append(t.data + start, t.length - start);
    }
    if (ended_ && held_cr_) {
        out.text.append("\r", 1);
        held_cr_ = false;
    }
    if (out.text.length > 0 && target)
        target->push(out);
    return ended_ ? 2 : 0;
}

}  // namespace qvtf
