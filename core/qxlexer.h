#pragma once
// qxlexer: a qxparser that keeps the line (from 1) and column (from 0) of
// the bytes it hands out, for error messages of the markup readers.

#include "core/qxparser.h"

namespace qvtf {

class qxlexer : public qxparser {
public:
    int32_t line = 1;
    int32_t column = 0;

    int next_byte() override;
    void reset_reader() override;
};

}  // namespace qvtf
