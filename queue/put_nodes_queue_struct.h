// The request handed to the thread that puts a selection into the queue.
#pragma once

#include <cstdint>
#include <vector>

#include "core/qxfile_node.h"

namespace qvtf {

struct PUT_NODES_QUEUE_STRUCT {
    int32_t from_remote = 0;             // the source is the remote pane: a download
    std::vector<qxfile_node*> nodes;     // all from one folder of the source pane; not owned
    qxfile_node* destination = nullptr;  // a folder of the other pane; not owned
    int32_t transfer_option = 0;
};

}  // namespace qvtf
