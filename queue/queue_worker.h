// A worker connection of the queue (private to the manager's files).
#pragma once

#include <memory>
#include <string>
#include <thread>

#include "queue/ftp_queue_process_manager.h"
#include "queue/queue_session_observer.h"

namespace qvtf {

struct ftp_queue_process_manager::worker {
    explicit worker(queue_view* view, ftp_observer* next) : observer(view, next) { control->observer = &observer; }
    queue_session_observer observer;
    std::unique_ptr<ftp_control> control = std::make_unique<ftp_control>();
    std::thread thread;
    // The item the scheduler gave it and its thread has not taken up yet.
    ftp_queue_item* item = nullptr;
    ftp_transfer_request request;
    // Given work it has not finished.
    bool assigned = false;
    // The queue closes this connection (kill_all_and_wait).
    bool quit = false;
    // Logging in ahead of its first file; given nothing until it is done,
    // as assigning rewrites the session's fields.
    bool warming = false;
    // host, port and user the session logged in with.
    std::string login_key;
};

// Which site a session logs in to.
inline std::string login_key_of(const ftp_control& c)
{
    return c.host.str() + '\n' + std::to_string(c.port) + '\n' + c.user_name.str() + '\n' +
           (c.proxy ? "proxy" : "");
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
