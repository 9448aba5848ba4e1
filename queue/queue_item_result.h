// How one queue item ended, told to the manager's owner when the item leaves
// the queue (the item itself is destroyed then).
#pragma once

#include <cstdint>

#include "core/qxval.h"
#include "queue/saved_item.h"

namespace qvtf {

struct queue_item_result {
    int32_t is_download = 0;
    int32_t is_folder = 0;  // a folder item (its expansion ended)
    qxval local_path{""};
    qxval remote_path{""};
    // 0 when the item succeeded; 6001 killed or stopped; a status otherwise.
    int32_t result_code = 0;
    uint32_t status_bits = 0;  // 0x02 / 0x20 of the last attempt
    bool succeeded = false;
    bool skipped = false;  // succeeded without a transfer: the target stayed
    int32_t tries = 0;     // attempts made
    int64_t bytes = 0;     // of the last attempt
    int64_t resumed_from = 0;  // of them, what the target held before
    qxval error_text{""};  // empty on success
    saved_item again;      // to queue the item once more
};

}  // namespace qvtf
