#include "core/splitter.h"

namespace qvtf {

int splitter::run()
{
    const int32_t size = piece_size > 0 ? piece_size : 1;
    for (;;) {
        const char* data;
        int32_t n;
        int r = peek_span(data, n);
        if (r == need_input)
            return run_more;
        if (r == end_of_input) {
            if (piece.text.length > 0)
                output.push(piece);
            return run_done;
        }
        int32_t room = size - piece.text.length;
        int32_t take = n < room ? n : room;
        piece.text.append(data, take);
        advance(take);
        if (piece.text.length >= size) {
            output.push(piece);  // leaves piece an empty string
        }
    }
}

}  // namespace qvtf
