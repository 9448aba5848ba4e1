#pragma once
// transformation: a converter that data passes through on its way to the
// network (the line-end conversion of ASCII uploads). Input is fed chunk by
// chunk; run converts what it can into the converter's target list.

#include "core/qxval.h"

namespace qvtf {

class transformation {
public:
    virtual ~transformation() = default;

    // Queues a chunk (taken over); 0 on success.
    virtual int feed(qxval& chunk)
    {
        (void)chunk;
        return 0;
    }
    // 0 while more input may follow, 2 once the ended input is all converted,
    // anything else is a failure.
    virtual int run() { return 0; }
    // No more input follows; the next run releases what is held back.
    virtual void end_input() {}
};

}  // namespace qvtf
