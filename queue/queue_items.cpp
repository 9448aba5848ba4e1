// The item list: appending, removing, counting, and waiting for it to empty.
#include "markup/qxlang.h"
#include "queue/ftp_queue_process_manager.h"
#include "settings/global_ftp_settings.h"

namespace qvtf {

namespace {

constexpr int phrase_not_queued = 970;
constexpr int phrase_already_goes_to = 971;

// The key of a target: a download writes a local file, an upload a remote one.
std::string target_key(bool is_download, const std::string& path)
{
    return (is_download ? "L" : "R") + path;
}

// What a file item writes, and what it reads; folders write nothing of
// their own.
std::string target_of(const ftp_queue_item& item)
{
    if (item.is_folder)
        return {};
    return target_key(item.is_download, item.is_download ? item.local_path.str() : item.remote_path.str());
}

std::string source_of(const ftp_queue_item& item)
{
    return item.is_download ? item.remote_path.str() : item.local_path.str();
}

}  // namespace

int ftp_queue_process_manager::append_item(std::unique_ptr<ftp_queue_item> item)
{
    if (!item)
        return 1;
    ftp_queue_item* added = item.get();
    {
        std::lock_guard held(lock_);
        if (!open_)
            return 1;
        if (const std::string target = target_of(*added); !target.empty()) {
            auto [entry, fresh] = targets_.try_emplace(target, source_of(*added), 0);
            if (!fresh && entry->second.first != source_of(*added))
                return target_taken;
            ++entry->second.second;
        }
        added->manager = this;
        items_.push_back(std::move(item));
        index_[added] = std::prev(items_.end());
        added->queue_node = &items_.back();
        // The row is added under the lock, so a worker that finishes the
        // item at once cannot remove a row that does not exist yet.
        if (view)
            view->add_row(*added);
        wake_ = true;
    }
    scheduler_cv_.notify_one();
    return 0;
}

void ftp_queue_process_manager::report_target_taken(const qxfile_node& node, const qxval& local_folder,
                                                    const qxval& remote_folder, int32_t is_download)
{
    const std::string local = local_folder.str() + node.name.str();
    const std::string remote = remote_folder.str() + node.name.str();
    const std::string& target = is_download ? local : remote;
    std::string other;
    {
        std::lock_guard held(lock_);
        if (auto entry = targets_.find(target_key(is_download, target)); entry != targets_.end())
            other = entry->second.first;
    }
    std::string text = is_download ? remote : local;
    text += phrase(phrase_not_queued);
    text += other;
    text += phrase(phrase_already_goes_to);
    text += target;
    report(text);
    if (log_sink)
        log_sink(sink_context, text + "\r\n", log_error);
}

void ftp_queue_process_manager::retarget(ftp_queue_item& item, transfer_request& request, const std::string& new_name)
{
    std::lock_guard held(lock_);
    if (const std::string before = target_of(item); !before.empty()) {
        auto entry = targets_.find(before);
        if (entry != targets_.end() && --entry->second.second <= 0)
            targets_.erase(entry);
    }
    if (item.is_download)
        item.local_path.set_bytes(item.local_folder.str() + new_name);
    else
        item.remote_path.set_bytes(item.remote_folder.str() + new_name);
    if (const std::string after = target_of(item); !after.empty())
        ++targets_.try_emplace(after, source_of(item), 0).first->second.second;
    request.local_path = item.local_path;
    request.remote_path = item.remote_path;
    if (view)
        view->update_row(item);
}

bool ftp_queue_process_manager::contains_locked(const ftp_queue_item* item) const
{
    return item && index_.count(item) != 0;
}

std::unique_ptr<ftp_queue_item> ftp_queue_process_manager::unlink_locked(ftp_queue_item* item, bool& now_empty)
{
    now_empty = false;
    auto found = index_.find(item);
    if (found == index_.end())
        return nullptr;
    if (view && item->view_row != no_view_id)
        view->remove_row(*item);
    std::unique_ptr<ftp_queue_item> owned = std::move(*found->second);
    if (const std::string target = target_of(*owned); !target.empty()) {
        auto entry = targets_.find(target);
        if (entry != targets_.end() && --entry->second.second <= 0)
            targets_.erase(entry);
    }
    items_.erase(found->second);
    index_.erase(found);
    owned->queue_node = nullptr;
    now_empty = items_.empty();
    // The answers given "for all" hold for one run of the queue.
    if (now_empty) {
        exists_answers_.clear();
        ++emptied_unreported_;
    }
    return owned;
}

void ftp_queue_process_manager::note_changed()
{
    changed_cv_.notify_all();
}

void ftp_queue_process_manager::after_removal(bool now_empty)
{
    // Only an empty queue ends a wait for removals (wait_until_empty), and
    // only once its last item was reported: a wake-up per finished file
    // would cost the waiting thread a hand-over of the queue's lock each
    // time.
    if (now_empty) {
        {
            std::lock_guard held(lock_);
            if (emptied_unreported_ > 0)
                --emptied_unreported_;
        }
        note_changed();
    }
    report_run_failures();
    if (!now_empty || !open_)
        return;
    if (panes) {
        if (settings && (settings->sounds & sound_transfer))
            panes->play_transfer_sound();
        remote_session* browser = panes->browser();
        if (browser && browser->current_folder())
            panes->relist_remote();
    }
}

void ftp_queue_process_manager::remove_item(ftp_queue_item* item)
{
    bool now_empty = false;
    std::unique_ptr<ftp_queue_item> gone;
    {
        std::lock_guard held(lock_);
        gone = unlink_locked(item, now_empty);
    }
    if (gone)
        after_removal(now_empty);
}

int32_t ftp_queue_process_manager::item_count() const
{
    std::lock_guard held(lock_);
    return open_ ? static_cast<int32_t>(items_.size()) : 0;
}

bool ftp_queue_process_manager::wait_until_empty(int32_t timeout_ms)
{
    std::unique_lock held(lock_);
    auto done = [&] { return items_.empty() && !expanding_ && emptied_unreported_ == 0; };
    if (timeout_ms < 0) {
        changed_cv_.wait(held, done);
        return true;
    }
    return changed_cv_.wait_for(held, std::chrono::milliseconds(timeout_ms), done);
}

bool ftp_queue_process_manager::wait_browser_free(int32_t timeout_ms) const
{
    std::unique_lock held(lock_);
    return changed_cv_.wait_for(held, std::chrono::milliseconds(timeout_ms), [&] { return !browser_in_use_; });
}

std::string_view ftp_queue_process_manager::phrase(int number) const
{
    return language ? language->text(number) : std::string_view();
}

}  // namespace qvtf
