#pragma once
// ascii_back: turns network text into local text, a CR LF pair into a bare
// line feed (ASCII downloads). A carriage return not followed by a line
// feed is kept. Works byte by byte, so no line is ever held whole.

#include "core/qxarr.h"
#include "core/transformation.h"

namespace qvtf {

class ascii_back : public transformation {
public:
    qxarr* target = nullptr;  // receives the converted text; not owned

    explicit ascii_back(qxarr* to = nullptr) : target(to) {}

    int feed(qxval& chunk) override;
    int run() override;
    void end_input() override { ended_ = true; }

private:
    qxarr input_;
    bool held_cr_ = false;  // the last byte seen was a CR, not yet passed on
    bool ended_ = false;
};

}  // namespace qvtf
