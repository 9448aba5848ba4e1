#pragma once
// linearizer: cuts its input after every line feed. Each line keeps its line
// feed (and any carriage return before it); a last line without one is
// released when the input ends.

#include "core/qxparser.h"

namespace qvtf {

class linearizer : public qxparser {
public:
    qxarr output;         // complete lines, in order
    qxval line{""};       // the line being built
    bool release = true;  // drop input as soon as it has been cut into lines
    // A line longer than this (line feed included) is dropped whole instead
    // of being built up without bound; 0 means no bound.
    int32_t max_line = 0;
    int64_t dropped = 0;  // lines dropped so far for their length

    // run_done at the end of input, run_more when the input ran out first.
    int run() override;

private:
    bool skipping_ = false;  // inside a dropped line, up to its line feed
};

}  // namespace qvtf
