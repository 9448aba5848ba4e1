// ftp_observer: the one way to watch a session. The session's owner (a pane,
// the queue, the command-line tool, a test) derives from it, overrides what
// it wants to see and points ftp_control::observer at it.
//
// Threads: every call arrives on the thread that runs the operation causing
// it (the thread that sends the command, reads the reply, runs the walk or
// the transfer), except on_progress, which comes from the data connection's
// worker thread while the transfer runs. A window hands the calls over to its
// own thread; an observer must not block, and must not call back into the
// session from on_progress.
#pragma once

#include <cstdint>
#include <memory>

#include "core/qxarr.h"
#include "core/qxval.h"

namespace qvtf {

class ftp_control;

// The connection's state. connecting: resolving, connecting, negotiating
// with a SOCKS proxy; connected: the greeting is being read or was read,
// nobody is logged in; closing: QUIT was sent or the server said it is
// closing (421), the socket is still open.
enum class ftp_state { disconnected, connecting, connected, logged_in, closing };

// "disconnected", "connecting", ...
const char* ftp_state_name(ftp_state state);

class ftp_observer {
public:
    virtual ~ftp_observer() = default;
    // One log entry: lines (each ending in "\r\n") of a kind (ftp_log_kind);
    // the observer owns them.
    virtual void on_log(ftp_control& session, std::unique_ptr<qxarr> lines, int kind)
    {
        (void)session, (void)lines, (void)kind;
    }
    // Progress text of a recursive operation (delete, permissions).
    virtual void on_status(ftp_control& session, qxval message) { (void)session, (void)message; }
    // A file transfer of a queue item (current_item set) moved another chunk:
    // bytes so far and seconds since it began. On the data connection's thread.
    virtual void on_progress(ftp_control& session, int64_t bytes, int32_t elapsed_seconds)
    {
        (void)session, (void)bytes, (void)elapsed_seconds;
    }
    // The connection's state changed; called once per change.
    virtual void on_state(ftp_control& session, ftp_state from, ftp_state to)
    {
        (void)session, (void)from, (void)to;
    }
    // A failure the session reports itself: a transport failure while sending
    // or reading (the session is then reset), or 6003 when the server closes
    // the session (421). The status also goes back to the caller.
    virtual void on_error(ftp_control& session, int code) { (void)session, (void)code; }
    // A file transfer (run_item) ended; its status is the session's result_code.
    virtual void on_completion(ftp_control& session) { (void)session; }
};

}  // namespace qvtf
