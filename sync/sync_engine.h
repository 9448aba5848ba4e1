// sync_engine: one synchronisation, as the wizard and qvtf-cli both run it.
// The comparison lists the remote side on the browser connection, held for
// the whole comparison so nothing else moves its folder, which is put back
// after. The run makes the folders, moves the files through a queue of its
// own, and deletes only when nobody stopped it.
#pragma once

#include <atomic>
#include <cstddef>
#include <mutex>

#include "sync/dir_sync_settings.h"
#include "sync/sync_plan.h"
#include "sync/sync_run.h"

namespace qvtf {

class ftp_queue_process_manager;
class remote_session;
class sync_queue_sink;

struct sync_summary {
    std::size_t actions = 0;
    std::size_t failed = 0;  // stopped ones included
    bool stopped = false;    // the deletions were left out
};

class sync_engine {
public:
    // browser: the logged-in session the comparison lists with, where the
    // folders are made and the deletions done. queue: set up by the owner
    // (panes, view, log sink, workers) but not opened; the transfers run in
    // it. observer: not owned, may be null.
    sync_engine(remote_session& browser, ftp_queue_process_manager& queue, sync_observer* observer = nullptr);
    // Before compare or run.
    void set_observer(sync_observer* observer) { observer_ = observer; }

    // Fills plan (plan.status: 0, 6014 when the connection stays busy for
    // wait_ms, 6001 after a stop, or the failure that stopped it).
    void compare(const dir_sync_settings_ex& settings, const sync_plan_options& options, sync_plan& plan,
                 int wait_ms = 0);
    // Carries plan out in settings' direction.
    sync_summary run(const sync_plan& plan, int32_t direction);
    // Any thread: the comparison's listing is cut off; transfers not yet
    // queued stay out and the queued are killed; the deletions do not start.
    void stop();
    bool stopped() const { return stopped_; }

private:
    void phase(sync_phase p);
    void report(const sync_action& action, const sync_action_result& result);

    remote_session& browser_;
    ftp_queue_process_manager& queue_;
    sync_observer* observer_;
    std::atomic<bool> stopped_{false};
    std::atomic<bool> comparing_{false};
    std::mutex sink_mutex_;
    sync_queue_sink* sink_ = nullptr;  // under sink_mutex_, while transfers run
};

}  // namespace qvtf
