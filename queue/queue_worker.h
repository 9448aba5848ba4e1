// A worker connection of the queue (private to the manager's files).
#pragma once

#include <memory>
#include <string>
#include <thread>

#include "queue/ftp_queue_process_manager.h"

namespace qvtf {

// A running item's progress, shown in the queue view's row of the item.
class queue_item_progress : public transfer_progress {
public:
    queue_item_progress(queue_view* view, ftp_queue_item& item) : view_(view), item_(item) {}
    // On the data connection's thread; the item outlives its transfer.
    void on_progress(int64_t bytes, int32_t elapsed_seconds) override
    {
        if (view_)
            view_->progress(item_, bytes, elapsed_seconds);
    }

private:
    queue_view* view_;
    ftp_queue_item& item_;
};

struct ftp_queue_process_manager::worker {
    explicit worker(std::unique_ptr<remote_session> session) : control(std::move(session)) {}
    std::unique_ptr<remote_session> control;
    std::thread thread;
    // The item the scheduler gave it and its thread has not taken up yet,
    // with its transfer and the listener of its progress.
    ftp_queue_item* item = nullptr;
    transfer_request request;
    std::unique_ptr<queue_item_progress> progress;
    // Given work it has not finished.
    bool assigned = false;
    // The queue closes this connection (kill_all_and_wait).
    bool quit = false;
    // What the user asked of its running item: 4 stop, 8 kill (the session
    // itself is killed either way: a worker connection is the queue's own).
    int stop_request = 0;
    // Logging in ahead of its first file; given nothing until it is done,
    // as assigning configures the session anew.
    bool warming = false;
    // host, port and user the session logged in with.
    std::string login_key;
};

// Which site a session logs in to.
inline std::string login_key_of(const remote_session& c)
{
    const remote_site& site = c.site();
    return std::to_string(int(site.protocol)) + '\n' + site.host.str() + '\n' + std::to_string(site.port) + '\n' +
           site.user_name.str() + '\n' + (site.proxy ? "proxy" : "");
}

// The path without trailing slashes, "/" for the root.
inline qxval without_trailing_slash(const qxval& path)
{
    std::string_view text = path.view();
    while (text.size() > 1 && text.back() == '/')
        text.remove_suffix(1);
    return qxval(text);
}

}  // namespace qvtf
