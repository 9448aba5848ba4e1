// Killing and stopping items, and shutting every worker connection.
#include "queue/queue_worker.h"

namespace qvtf {

void ftp_queue_process_manager::kill_items_locked(const std::vector<ftp_queue_item*>& items, int request,
                                                  std::vector<std::unique_ptr<ftp_queue_item>>& removed,
                                                  bool& now_empty)
{
    remote_session* browser = panes ? panes->browser() : nullptr;
    for (ftp_queue_item* item : items) {
        // The view's selection may name items that have gone meanwhile.
        if (!contains_locked(item))
            continue;
        if (item->state() == item_running) {
            // A question about its target is answered by the stop.
            cancel_questions_locked(item);
            if (item->is_folder) {
                item->state_flags |= static_cast<uint32_t>(request);
            } else if (item->connection && item->connection != browser) {
                for (auto& w : workers_)
                    if (w->control.get() == item->connection)
                        w->stop_request = request;
                item->connection->stop(stop_reason_kill);
            }
            // On the browser connection it finishes normally.
        } else if (request == 8) {
            bool empty = false;
            if (auto gone = unlink_locked(item, empty)) {
                removed.push_back(std::move(gone));
                now_empty = empty;
            }
        } else if (request == 4) {
            item->state_flags = (item->state_flags & ~item_state_mask) | item_stopped;
            if (view)
                view->update_row(*item);
        }
    }
}

void ftp_queue_process_manager::kill_items(const std::vector<ftp_queue_item*>& items, int request)
{
    std::vector<std::unique_ptr<ftp_queue_item>> removed;
    bool now_empty = false;
    {
        std::lock_guard held(lock_);
        kill_items_locked(items, request, removed, now_empty);
    }
    for (auto& item : removed)
        report_killed(*item);
    if (!removed.empty())
        after_removal(now_empty);
}

void ftp_queue_process_manager::kill_all(int request)
{
    std::vector<ftp_queue_item*> all;
    {
        std::lock_guard held(lock_);
        for (auto& item : items_)
            all.push_back(item.get());
    }
    kill_items(all, request);
}

void ftp_queue_process_manager::kill_all_and_wait()
{
    kill_all(8);
    std::unique_lock held(lock_);
    cancel_questions_locked(nullptr);
    for (auto& w : workers_) {
        w->quit = true;
        w->stop_request = stop_reason_kill;
        w->control->stop(stop_reason_kill);
    }
    worker_cv_.notify_all();
    changed_cv_.wait(held, [&] { return workers_.empty(); });
    held.unlock();
    reap_retired();
}

}  // namespace qvtf
