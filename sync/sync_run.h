// Carrying a plan out: folders made and entries deleted on the browser
// connection, transfers handed to a sink that runs them (the transfer queue
// with its workers: sync_queue_sink).
#pragma once

#include <cstddef>
#include <functional>
#include <string>
#include <vector>

#include "sync/sync_plan.h"

namespace qvtf {

class ftp_control;

struct sync_action_result {
    bool done = false;      // the action was carried out
    int status = 0;         // 0 when it succeeded
    std::string text;       // why it failed
};

class sync_transfer_sink {
public:
    virtual ~sync_transfer_sink() = default;
    // Takes one transfer of the plan; index names it in the results.
    virtual void add(std::size_t index, const sync_action& action) = 0;
    // Runs every transfer added until each has ended, then reports each once.
    virtual void run_until_done(const std::function<void(std::size_t index, const sync_action_result&)>& done) = 0;
    // Called on the transfer's own thread the moment one succeeds, so what
    // follows it (the file's time) does not wait for the whole queue: an
    // interrupted run leaves every finished file stamped.
    virtual void on_each_success(std::function<void(std::size_t index)> hook) { each_success_ = std::move(hook); }

protected:
    std::function<void(std::size_t index)> each_success_;
};

// One line per action as it ends.
using sync_log_fn = std::function<void(const sync_action& action, const sync_action_result& result)>;

// Makes the folders (in plan order, so parents come first), runs the
// transfers through sink, then deletes. A download gets its source's time;
// in a run both ways an uploaded file gets the time of the upload, so the
// next run sees both copies as equal. Returns one result per action.
std::vector<sync_action_result> carry_out_sync_plan(const sync_plan& plan, int32_t direction, ftp_control& browser,
                                                    sync_transfer_sink& sink, const sync_log_fn& log = nullptr);

}  // namespace qvtf
