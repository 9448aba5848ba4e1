#include "sync/sync_engine.h"

#include "remote/remote_folder_guard.h"
#include "remote/remote_session.h"
#include "sync/sync_local_side.h"
#include "sync/sync_queue_sink.h"
#include "sync/sync_remote_side.h"

namespace qvtf {

namespace {

// The run's results pass through to the engine, counted.
class counting_observer : public sync_observer {
public:
    counting_observer(sync_observer* next, sync_summary& summary) : next_(next), summary_(summary) {}
    void on_action(const sync_action& action, const sync_action_result& result) override
    {
        if (result.status != 0)
            ++summary_.failed;
        if (next_)
            next_->on_action(action, result);
    }

private:
    sync_observer* next_;
    sync_summary& summary_;
};

// The deletions' pass has no transfers.
class no_transfers : public sync_transfer_sink {
public:
    void add(std::size_t, const sync_action&) override {}
    void run_until_done(sync_transfer_events&) override {}
};

}  // namespace

sync_engine::sync_engine(remote_session& browser, ftp_queue_process_manager& queue, sync_observer* observer)
    : browser_(browser), queue_(queue), observer_(observer)
{
}

void sync_engine::phase(sync_phase p)
{
    if (observer_)
        observer_->on_phase(p);
}

void sync_engine::compare(const dir_sync_settings_ex& settings, const sync_plan_options& options, sync_plan& plan,
                          int wait_ms)
{
    phase(sync_phase::comparing);
    remote_session_lock hold(browser_, wait_ms);
    if (!hold) {
        plan.status = hold.status();
        plan.cause = plan.status;
        return;
    }
    browser_.clear_stop();
    comparing_ = true;
    if (stopped_) {
        comparing_ = false;
        plan.status = status_stopped;
        plan.cause = plan.status;
        return;
    }
    {
        remote_folder_guard back(browser_);
        sync_local_side local_side;
        sync_remote_side remote_side(browser_);
        build_sync_plan(settings, local_side, remote_side, options, plan);
        if (plan.status != 0 && plan.status == remote_side.last_failure().status)
            plan.cause = remote_side.last_failure();
        else
            plan.cause = plan.status;
    }
    comparing_ = false;
}

sync_summary sync_engine::run(const sync_plan& plan, int32_t direction)
{
    sync_summary summary;
    summary.actions = plan.actions.size();
    counting_observer counted(observer_, summary);
    // Folders and transfers first; the deletions only when nobody stopped it.
    sync_plan first_pass, deletions;
    for (const sync_action& a : plan.actions) {
        const bool deletes = a.kind == sync_action_kind::delete_remote || a.kind == sync_action_kind::delete_local;
        (deletes ? deletions : first_pass).actions.push_back(a);
    }
    phase(sync_phase::carrying_out);
    {
        sync_queue_sink transfers(queue_);
        {
            std::lock_guard lock(sink_mutex_);
            sink_ = &transfers;
        }
        if (stopped_)
            transfers.stop();
        carry_out_sync_plan(first_pass, direction, browser_, transfers, &counted);
        std::lock_guard lock(sink_mutex_);
        sink_ = nullptr;
    }
    if (stopped_) {
        summary.stopped = true;
        for (const sync_action& a : deletions.actions)
            counted.on_action(a, sync_action_result{false, status_stopped, "stopped"});
    } else {
        phase(sync_phase::deleting);
        no_transfers none;
        carry_out_sync_plan(deletions, direction, browser_, none, &counted);
    }
    phase(sync_phase::ended);
    return summary;
}

void sync_engine::stop()
{
    stopped_ = true;
    // The comparison's listing ends; the browser's own commands still go.
    if (comparing_)
        browser_.stop(stop_reason_stop);
    std::lock_guard lock(sink_mutex_);
    if (sink_)
        sink_->stop();
}

}  // namespace qvtf
