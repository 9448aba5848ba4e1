#pragma once
// splitter: cuts its input into pieces of a fixed size (57 bytes make one
// Base64 line of 76 characters); the last piece may be shorter.

#include "core/qxparser.h"

namespace qvtf {

class splitter : public qxparser {
public:
    qxarr output;  // finished pieces, in order
    int32_t piece_size = 57;
    qxval piece{""};  // the piece being built

    splitter() = default;
    explicit splitter(int32_t size) : piece_size(size) {}

    // run_done at the end of input (remainder pushed), run_more when the
    // input ran out first.
    int run() override;
};

}  // namespace qvtf
