// Carrying a plan out: folders made and entries deleted on the browser
// connection, transfers handed to a sink that runs them (the transfer queue
// with its workers: sync_queue_sink). sync_engine drives it.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

#include "sync/sync_plan.h"

namespace qvtf {

class remote_session;

struct sync_action_result {
    bool done = false;  // the action was carried out
    int status = 0;     // 0 when it succeeded
    std::string text;   // why it failed
};

// What a sink tells about its transfers.
class sync_transfer_events {
public:
    virtual ~sync_transfer_events() = default;
    // On the transfer's own thread, the moment one succeeds, so what follows
    // it (the file's time) does not wait for the whole queue: an interrupted
    // run leaves every finished file stamped.
    virtual void on_success(std::size_t index) = 0;
    // Each transfer's end, once, on the thread of run_until_done.
    virtual void on_done(std::size_t index, const sync_action_result& result) = 0;
};

class sync_transfer_sink {
public:
    virtual ~sync_transfer_sink() = default;
    // Takes one transfer of the plan; index names it in the results.
    virtual void add(std::size_t index, const sync_action& action) = 0;
    // Runs every transfer added until each has ended, then reports each once.
    virtual void run_until_done(sync_transfer_events& events) = 0;
};

// The phases of a synchronisation.
enum class sync_phase { comparing, carrying_out, deleting, ended };

// What a synchronisation tells its owner, on the thread that runs it.
class sync_observer {
public:
    virtual ~sync_observer() = default;
    virtual void on_phase(sync_phase phase) { (void)phase; }
    // One action ended (or was left out: done false).
    virtual void on_action(const sync_action& action, const sync_action_result& result)
    {
        (void)action;
        (void)result;
    }
};

// Makes the folders (in plan order, so parents come first), runs the
// transfers through sink, then deletes. A download gets its source's time;
// in a run both ways an uploaded file gets the time of the upload, so the
// next run sees both copies as equal. Returns one result per action.
std::vector<sync_action_result> carry_out_sync_plan(const sync_plan& plan, int32_t direction, remote_session& browser,
                                                    sync_transfer_sink& sink, sync_observer* observer = nullptr);

}  // namespace qvtf
