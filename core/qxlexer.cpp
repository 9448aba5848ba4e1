#include "core/qxlexer.h"

namespace qvtf {

int qxlexer::next_byte()
{
    int b = qxparser::next_byte();
    if (b == '\n') {
        ++line;
        column = 0;
    } else if (b >= 0) {
        ++column;
    }
    return b;
}

void qxlexer::reset_reader()
{
    qxparser::reset_reader();
    line = 1;
    column = 0;
}

}  // namespace qvtf
