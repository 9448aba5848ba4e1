// Opening, starting and closing the queue, and the scheduler: each round
// hands the first waiting item to a free connection. A round sleeps only
// when it started nothing, and an append or a freed connection wakes it.
#include "markup/qxlang.h"
#include "protocols/remote_factory.h"
#include "queue/queue_worker.h"
#include "settings/global_ftp_settings.h"
#include "settings/session_options.h"

namespace qvtf {

ftp_queue_process_manager::ftp_queue_process_manager() = default;

ftp_queue_process_manager::~ftp_queue_process_manager()
{
    close();
}

int ftp_queue_process_manager::open()
{
    open_ = true;
    return 0;
}

void ftp_queue_process_manager::start()
{
    std::lock_guard held(lock_);
    if (scheduler_running_)
        return;
    if (scheduler_.joinable())
        scheduler_.join();  // a loop that ended in close
    scheduler_running_ = true;
    open_ = true;
    scheduler_ = std::thread([this] { scheduler_loop(); });
}

void ftp_queue_process_manager::close()
{
    {
        std::lock_guard held(lock_);
        open_ = false;
        wake_ = true;
    }
    scheduler_cv_.notify_all();
    worker_cv_.notify_all();
    kill_all_and_wait();
    if (scheduler_.joinable())
        scheduler_.join();
    tasks_.wait_idle();
    reap_retired();
    std::lock_guard held(lock_);
    for (auto& item : items_)
        if (view && item->view_row != no_view_id)
            view->remove_row(*item);
    index_.clear();
    items_.clear();
    targets_.clear();
    changed_cv_.notify_all();
}

void ftp_queue_process_manager::wake_scheduler()
{
    {
        std::lock_guard held(lock_);
        wake_ = true;
    }
    scheduler_cv_.notify_one();
}

void ftp_queue_process_manager::scheduler_loop()
{
    std::unique_lock held(lock_);
    while (open_) {
        wake_ = false;
        if (!retired_.empty()) {
            held.unlock();
            reap_retired();
            held.lock();
            continue;
        }
        if (schedule_one(held))
            continue;
        scheduler_cv_.wait_for(held, std::chrono::milliseconds(poll_interval_ms.load()),
                               [&] { return wake_ || !open_; });
    }
    scheduler_running_ = false;
    changed_cv_.notify_all();
}

void ftp_queue_process_manager::reap_retired()
{
    std::vector<std::unique_ptr<worker>> done;
    {
        std::lock_guard held(lock_);
        done.swap(retired_);
    }
    for (auto& w : done)
        if (w->thread.joinable())
            w->thread.join();
}

void ftp_queue_process_manager::worker_inputs_locked(remote_site& site, remote_options& options)
{
    remote_session* browser = panes ? panes->browser() : nullptr;
    site = remote_site{};
    options = remote_options{};
    if (settings) {
        if (profile_)
            site = site_of(*settings, *profile_);
        options = options_of(*settings, profile_);
    }
    if (browser) {
        // The pane's thread may be configuring the browser right now.
        remote_site browser_site;
        remote_options browser_options;
        browser->published_inputs(browser_site, browser_options);
        site.socks_4a = browser_site.socks_4a;
        options.timeout = browser_options.timeout;
        options.trust_pasv_address = browser_options.trust_pasv_address;
        options.listing_reader = browser_options.listing_reader;
        // The same protection, and the same certificates trusted (a "trust
        // once" answer included), as the browser connection.
        site.encryption = browser_site.encryption;
        options.trust = std::move(browser_options.trust);
        // The browser's known hosts; a worker never asks about a key.
        options.known_hosts_file = std::move(browser_options.known_hosts_file);
        options.user_known_hosts = browser_options.user_known_hosts;
    }
    options.idle_limit = std::max(1, worker_idle_ms.load() / 1000);
    // Last, so the panes may override any of it.
    if (panes)
        panes->prepare_worker(site, options);
}

transfer_request ftp_queue_process_manager::request_for(const ftp_queue_item& item, transfer_progress* progress) const
{
    transfer_request request = transfer_request::make(item.is_download, item.local_path, item.remote_path,
                                                      item.transfer_type, item.transfer_option);
    // The queue checks the count against the item's size and tries again.
    request.expected_size = item.size;
    request.report_size_difference = true;
    // Uploads keep the local file's time where the server can set it.
    request.stamp = item.is_download ? stamp_downloads != 0 : true;
    request.modified_time = item.modified_time;
    request.progress = progress;
    // A retry continues where the attempt before it broke off.
    request.keep_partial = item.is_download != 0;
    request.partial_path = qxval(item.partial_path);
    request.resume = item.may_resume || (!item.is_download && item.continue_target);
    request.continue_target = item.is_download && item.continue_target;
    return request;
}

ftp_queue_process_manager::worker* ftp_queue_process_manager::free_worker_locked(bool& may_create)
{
    // A connection of another protocol than the site now asks for (the
    // user switched it) takes no more work: it ends, and a new one of the
    // right kind is made.
    remote_site site;
    remote_options options;
    worker_inputs_locked(site, options);
    for (auto& w : workers_) {
        if (w->assigned || w->quit || w->warming)
            continue;
        if (w->control->site().protocol != site.protocol) {
            w->quit = true;
            worker_cv_.notify_all();
            continue;
        }
        if (w->control->site().protocol == site.protocol)
            return w.get();
    }
    may_create = static_cast<int32_t>(workers_.size()) < max_threads;
    return nullptr;
}

bool ftp_queue_process_manager::protocol_current_locked(const worker& w)
{
    remote_site site;
    remote_options options;
    worker_inputs_locked(site, options);
    return w.control->site().protocol == site.protocol;
}

ftp_queue_item* ftp_queue_process_manager::first_waiting_locked() const
{
    if (paused_)
        return nullptr;
    const auto now = std::chrono::steady_clock::now();
    for (auto& candidate : items_)
        if (candidate->state() == item_waiting && candidate->not_before <= now)
            return candidate.get();
    return nullptr;
}

void ftp_queue_process_manager::assign_locked(worker& w, ftp_queue_item& item)
{
    remote_site site;
    remote_options options;
    worker_inputs_locked(site, options);
    w.control->configure(site, options);
    // A new item: a stop of the one before it is spent.
    w.control->clear_stop();
    w.stop_request = 0;
    w.progress = std::make_unique<queue_item_progress>(view, item);
    w.request = request_for(item, w.progress.get());
    w.item = &item;
    w.assigned = true;
    item.state_flags = (item.state_flags & ~item_state_mask) | item_running;
    item.connection = w.control.get();
    if (view)
        view->update_row(item);
}

bool ftp_queue_process_manager::schedule_one(std::unique_lock<std::mutex>& held)
{
    (void)held;
    ftp_queue_item* item = first_waiting_locked();
    if (!item || (item->is_folder && expanding_))
        return prestart_worker_locked();
    remote_session* browser = panes ? panes->browser() : nullptr;

    if (item->is_folder) {
        if (browser_in_use_ || !browser)
            return false;
        return start_on_browser_locked(*browser, *item, true);
    }

    if (max_threads > 0) {
        bool may_create = false;
        worker* w = free_worker_locked(may_create);
        const bool fresh = !w;
        if (fresh) {
            if (!may_create)
                return false;
            w = &add_worker_locked();
        }
        assign_locked(*w, *item);
        if (!fresh)
            worker_cv_.notify_all();
        return true;
    }

    if (!browser || browser_in_use_)
        return false;
    return start_on_browser_locked(*browser, *item, false);
}

// Claims the browser connection and runs item on it in a thread of its own,
// which the claim is handed over to: a folder's expansion or a transfer.
// Everything is undone when the thread cannot start.
bool ftp_queue_process_manager::start_on_browser_locked(remote_session& browser, ftp_queue_item& item, bool expansion)
{
    remote_session_lock claim(browser);
    if (!claim)
        return false;
    auto handed = std::make_shared<remote_handover>(claim.hand_over());
    if (!*handed)
        return false;
    if (expansion)
        expanding_ = true;
    browser_in_use_ = true;
    item.state_flags = (item.state_flags & ~item_state_mask) | item_running;
    item.connection = &browser;
    if (!expansion && view)
        view->update_row(item);
    ftp_queue_item* target = &item;
    const bool started = expansion
                             ? tasks_.start([this, handed, target] { expand_folder_item(std::move(*handed), target); })
                             : tasks_.start([this, handed, target] { browser_transfer(std::move(*handed), target); });
    if (!started) {
        if (expansion)
            expanding_ = false;
        browser_in_use_ = false;
        item.state_flags = (item.state_flags & ~item_state_mask) | item_waiting;
        item.connection = nullptr;
        return false;
    }
    return true;
}

// While a folder is expanded, worker connections log in ahead of the files
// it brings: the first file then need not wait for a login, which costs a
// server more than a listing does. One worker a round, up to the limit.
bool ftp_queue_process_manager::prestart_worker_locked()
{
    if (!expanding_ || !open_ || prestart_refused_ || max_threads <= 0 ||
        static_cast<int32_t>(workers_.size()) >= max_threads)
        return false;
    worker& w = add_worker_locked();
    remote_site site;
    remote_options options;
    worker_inputs_locked(site, options);
    w.control->configure(site, options);
    w.warming = true;
    return true;
}

// A new worker connection. Its thread waits for lock_, which the caller
// holds, so whatever the caller sets up next is there when it starts.
ftp_queue_process_manager::worker& ftp_queue_process_manager::add_worker_locked()
{
    // Of the protocol the site asks for; the worker's inputs come with its work.
    remote_site site;
    remote_options options;
    worker_inputs_locked(site, options);
    auto fresh = std::make_unique<worker>(make_remote_session(site, options));
    fresh->control->set_language(language);
    fresh->control->set_observer(worker_observer);
    worker& w = *fresh;
    w.thread = std::thread([this, p = &w] { worker_loop(p); });
    workers_.push_back(std::move(fresh));
    return w;
}

int32_t ftp_queue_process_manager::worker_count() const
{
    std::lock_guard held(lock_);
    return static_cast<int32_t>(workers_.size());
}

}  // namespace qvtf
