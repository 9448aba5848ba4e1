#pragma once
// linearizer: cuts its input after every line feed. Each line keeps its line
// feed (and any carriage return before it); a last line without one is
// released when the input ends.

#include "core/qxparser.h"

namespace qvtf {

class linearizer : public qxparser {
public:
    qxarr output;        // complete lines, in order
    qxval line{""};      // the line being built
    bool release = true; // drop input as soon as it has been cut into lines

    // run_done at the end of input, run_more when the input ran out first.
    int run() override;
};

}  // namespace qvtf
