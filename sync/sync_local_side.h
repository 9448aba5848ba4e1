// The local side of a synchronisation: folders read from the file system.
#pragma once

#include "sync/sync_side.h"

namespace qvtf {

class sync_local_side : public sync_side {
public:
    // Links are reported with their target's kind, size and time (stat),
    // and their link text, so the planner can tell loops.
    int list(const std::string& path, std::vector<sync_entry>& out) override;
    void resolve_link(const std::string& path, sync_entry& entry) override;
};

}  // namespace qvtf
