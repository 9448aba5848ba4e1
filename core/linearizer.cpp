#include "core/linearizer.h"

#include <cstring>

namespace qvtf {

int linearizer::run()
{
    for (;;) {
        const char* data;
        int32_t n;
        int r = peek_span(data, n);
        if (r != 1) {
            if (r == end_of_input && line.text.length > 0 && !skipping_)
                output.push(line);
            if (r == end_of_input)
                skipping_ = false;
            if (release) {
                give_back_unread();
                drop_consumed();
            }
            return r == end_of_input ? run_done : run_more;
        }
        const void* lf = std::memchr(data, '\n', static_cast<size_t>(n));
        int32_t take = lf ? static_cast<int32_t>(static_cast<const char*>(lf) - data) + 1 : n;
        if (max_line > 0 && !skipping_ && int64_t(line.text.length) + take > max_line) {
            // Too long: forget what was built and skip to the line feed.
            ++dropped;
            skipping_ = true;
            line.set_string("");
        }
        if (!skipping_)
            line.text.append(data, take);
        advance(take);
        if (lf && skipping_) {
            skipping_ = false;
            if (release)
                drop_consumed();
        } else if (lf) {
            output.push(line);  // leaves line an empty string
            // Chunks wholly before this point are no longer needed; the
            // current one is released once it has been read to its end.
            if (release)
                drop_consumed();
        }
    }
}

}  // namespace qvtf
