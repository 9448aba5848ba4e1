#include "sync/sync_queue_sink.h"

#include <cstdint>
#include <memory>

#include "queue/ftp_queue_process_manager.h"

namespace qvtf {

namespace {

// "/a/b/c" into the folder "/a/b/" and the name "c".
void split(const std::string& path, qxval& folder, qxval& name)
{
    const size_t slash = path.find_last_of('/');
    folder.set_bytes(path.substr(0, slash + 1));
    name.set_bytes(path.substr(slash + 1));
}

}  // namespace

sync_queue_sink::sync_queue_sink(ftp_queue_process_manager& queue) : queue_(queue)
{
    owner_observer_ = queue_.observer;
    queue_.observer = this;
}

sync_queue_sink::~sync_queue_sink()
{
    queue_.close();
    queue_.observer = owner_observer_;
}

void sync_queue_sink::stop()
{
    {
        std::lock_guard lock(mutex_);
        stopped_ = true;
    }
    // After the mark: a transfer queued before it is killed here, none after.
    queue_.kill_all(8);
}

void sync_queue_sink::add(std::size_t index, const sync_action& action)
{
    pending_.emplace_back(index, action);
}

void sync_queue_sink::on_finished(const queue_item_result& r)
{
    std::size_t succeeded = SIZE_MAX;
    {
        std::lock_guard lock(mutex_);
        const auto it = index_of_.find(key{r.is_download, r.local_path.str(), r.remote_path.str()});
        if (it != index_of_.end()) {
            if (r.succeeded)
                succeeded = it->second;
            sync_action_result& out = results_[it->second];
            out.done = true;
            out.status = r.succeeded ? 0 : (r.result_code ? r.result_code : 1);
            out.text = r.error_text.str();
            while (!out.text.empty() && (out.text.back() == '\n' || out.text.back() == '\r'))
                out.text.pop_back();
        }
    }
    if (succeeded != SIZE_MAX && events_)
        events_->on_success(succeeded);
    if (owner_observer_)
        owner_observer_->on_finished(r);
}

void sync_queue_sink::run_until_done(sync_transfer_events& events)
{
    events_ = &events;
    const bool open = queue_.open() == 0;
    for (const auto& [index, a] : pending_) {
        auto item = std::make_unique<ftp_queue_item>();
        item->is_download = a.kind == sync_action_kind::download ? 1 : 0;
        item->is_link = a.is_link ? 1 : 0;
        qxval name;
        split(a.local_path, item->local_folder, name);
        split(a.remote_path, item->remote_folder, item->name);
        item->local_path.set_bytes(a.local_path);
        item->remote_path.set_bytes(a.remote_path);
        item->transfer_type = a.transfer_type;
        // ASCII changes line ends, so its byte count proves nothing.
        item->size = a.transfer_type == 1 ? -1 : a.size;
        item->modified_time = static_cast<std::time_t>(a.modified);
        // The plan has decided already; the queue never asks about it.
        item->exists_settled = true;
        std::lock_guard lock(mutex_);
        index_of_[key{item->is_download, a.local_path, a.remote_path}] = index;
        if (stopped_)
            results_[index] = sync_action_result{true, status_stopped, "stopped"};
        else if (!open || queue_.append_item(std::move(item)) != 0)
            results_[index] = sync_action_result{true, 1, "the transfer queue is shut down"};
    }
    queue_.start();
    queue_.wait_until_empty();
    queue_.close();
    for (const auto& [index, a] : pending_) {
        sync_action_result r;
        {
            std::lock_guard lock(mutex_);
            const auto it = results_.find(index);
            r = it != results_.end() ? it->second : sync_action_result{true, 1, "the transfer did not run"};
        }
        events.on_done(index, r);
    }
    pending_.clear();
    events_ = nullptr;
}

}  // namespace qvtf
