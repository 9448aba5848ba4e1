#pragma once
// ascii_forth: turns local text with bare line feeds into network text, a
// carriage return before every line feed that lacks one. Lines that already
// end in CR LF and a last line without a line feed pass unchanged.

#include "core/linearizer.h"
#include "core/transformation.h"

namespace qvtf {

class ascii_forth : public transformation {
public:
    // A line longer than this is passed on in parts, so a file without line
    // feeds never has to sit in memory whole.
    static constexpr int32_t max_held_line = 65536;

    qxarr* target = nullptr;  // receives the converted text; not owned
    linearizer lines;

    explicit ascii_forth(qxarr* to = nullptr);

    int feed(qxval& chunk) override;
    // The converted lines of one run leave as one chunk, so the sender is not
    // handed a chunk per line.
    int run() override;
    void end_input() override { lines.end_input(); }

private:
    bool last_was_cr_ = false;  // last byte passed on of a line still open
};

}  // namespace qvtf
