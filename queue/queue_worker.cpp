// The threads that run file items: one per worker connection, which logs in
// once and then takes item after item until it has been idle too long, and
// the browser transfer thread for items run on the browsing connection.
#include "queue/queue_worker.h"

namespace qvtf {

void ftp_queue_process_manager::worker_loop(worker* w)
{
    remote_session& c = *w->control;
    std::unique_lock held(lock_);
    if (w->warming) {
        // Started ahead of its first file: logs in now. A failed login ends
        // it at once, and the next worker's attempt reports the failure.
        held.unlock();
        w->login_key = login_key_of(c);
        (void)c.log_in();
        held.lock();
        w->warming = false;
        if (!c.logged_in())
            prestart_refused_ = true;
        wake_ = true;
        scheduler_cv_.notify_one();
    }
    for (;;) {
        // Idle wait: ends with an assignment, at the idle limit, when the
        // queue closes or the session was lost.
        // The limit is read at each step, so a changed one applies at once.
        const auto idle_since = std::chrono::steady_clock::now();
        auto deadline = [&] { return idle_since + std::chrono::milliseconds(worker_idle_ms.load()); };
        while (!w->item && open_ && !w->quit && c.logged_in() && std::chrono::steady_clock::now() < deadline()) {
            const auto step = std::min(deadline(), std::chrono::steady_clock::now() + std::chrono::milliseconds(200));
            worker_cv_.wait_until(held, step);
        }
        if (!w->item)
            break;
        ftp_queue_item* item = w->item;
        w->item = nullptr;
        held.unlock();
        const bool keep = run_worker_item(w, item);
        held.lock();
        w->assigned = false;
        if (!keep)
            break;
        // The next waiting file goes to this connection at once, without
        // the round trip through the scheduler. Folders stay the
        // scheduler's, and so does a connection above a lowered limit.
        ftp_queue_item* next = open_ && !w->quit ? first_waiting_locked() : nullptr;
        if (next && !next->is_folder && static_cast<int32_t>(workers_.size()) <= max_threads &&
            protocol_current_locked(*w)) {
            assign_locked(*w, *next);
            continue;
        }
        wake_ = true;
        scheduler_cv_.notify_one();
    }
    // Marked under the lock, so the scheduler gives it no more work; it
    // stays in the list, and counts, until its session is closed.
    w->quit = true;
    held.unlock();
    if (c.connected())
        c.disconnect();  // with QUIT
    held.lock();
    for (auto it = workers_.begin(); it != workers_.end(); ++it)
        if (it->get() == w) {
            retired_.push_back(std::move(*it));
            workers_.erase(it);
            break;
        }
    wake_ = true;
    held.unlock();
    scheduler_cv_.notify_one();
    changed_cv_.notify_all();
}

int ftp_queue_process_manager::stop_request_of(const worker* w) const
{
    std::lock_guard held(lock_);
    return w->stop_request;
}

bool ftp_queue_process_manager::run_worker_item(worker* w, ftp_queue_item* item)
{
    remote_session& c = *w->control;
    const std::string key = login_key_of(c);
    if (c.logged_in() && key != w->login_key)
        c.disconnect();  // the user connected to another site meanwhile
    if (!c.logged_in()) {
        w->login_key = key;
        remote_result login = c.log_in();
        if (login.ok() && !c.logged_in())
            login = status_not_connected;
        if (!login.ok()) {
            transfer_record record;
            record.result = login;
            transfer_done(item, record, stop_request_of(w), c);
            return false;
        }
        std::lock_guard held(lock_);
        prestart_refused_ = false;
    }
    switch (settle_target(*item, w->request, c)) {
    case target_step::go: break;
    case target_step::skip: skip_done(item); return true;
    case target_step::stopped: {
        // Stopped while the user was asked: nothing moved, no retry.
        transfer_record record;
        record.result = status_stopped;
        const int asked_stop = stop_request_of(w);
        transfer_done(item, record, asked_stop ? asked_stop : stop_reason_kill, c);
        return false;
    }
    }
    const transfer_record record = c.transfer_file(w->request);
    const int stop = stop_request_of(w);
    transfer_done(item, record, stop, c);
    // A kill shut the control socket, and after a failure of the connection
    // itself the session may be half gone: the next try logs in afresh.
    const int result = record.result.status;
    const bool answered = result == status_ok || result == status_local_file || result == status_refused;
    return stop != stop_reason_kill && answered && c.logged_in();
}

void ftp_queue_process_manager::browser_transfer(remote_handover handed, ftp_queue_item* item)
{
    remote_session_lock hold(std::move(handed));
    remote_session* b = panes ? panes->browser() : nullptr;
    if (b) {
        panes->remote_busy(true, item->name);
        // The pane keeps seeing its session; the row sees the progress.
        queue_item_progress progress(view, *item);
        transfer_request request;
        {
            std::lock_guard held(lock_);
            request = request_for(*item, &progress);
        }
        transfer_record record;
        target_step step = target_step::go;
        if (hold) {
            b->clear_stop();
            step = settle_target(*item, request, *b);
            if (step == target_step::go)
                record = b->transfer_file(request);
            else
                record.result = status_stopped;
        } else {
            record.result = hold.status();
        }
        // The queue never stops an item on the browser connection: it ends
        // as it runs, unless it was stopped while the user was asked.
        if (step == target_step::skip)
            skip_done(item);
        else
            transfer_done(item, record, step == target_step::stopped ? stop_reason_kill : 0, *b);
        panes->refresh_remote();
    }
    hold.unlock();
    if (panes)
        panes->remote_busy(false, qxval(""));
    {
        std::lock_guard held(lock_);
        browser_in_use_ = false;
        wake_ = true;
    }
    scheduler_cv_.notify_one();
    changed_cv_.notify_all();
}

}  // namespace qvtf
