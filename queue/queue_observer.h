// queue_observer: how the owner of a queue hears of the items that leave it.
#pragma once

#include "queue/queue_item_result.h"

namespace qvtf {

class queue_observer {
public:
    virtual ~queue_observer() = default;
    // Each item that leaves the queue (succeeded, failed for good, killed),
    // on the thread that ended it, outside the queue's lock.
    virtual void on_finished(const queue_item_result& result) = 0;
};

}  // namespace qvtf
