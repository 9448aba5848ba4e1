// remote_observer: the one way to watch a remote session. Its owner (a pane,
// the queue, the command-line tool, a test) derives from it, overrides what
// it wants to see and hands it to the session (set_observer).
//
// Threads: every call arrives on the thread that runs the operation causing
// it (the thread that sends the command, reads the reply, runs the walk or
// the transfer). A window hands the calls over to its own thread; an
// observer must not block. A transfer's progress has its own listener in the
// transfer's request (transfer_progress), called on the data thread.
#pragma once

#include <memory>
#include <string_view>

#include "core/qxarr.h"
#include "core/qxfile_node.h"
#include "core/qxval.h"

namespace qvtf {

class remote_session;

// The connection's state. connecting: resolving, connecting, negotiating
// with a proxy; connected: the greeting is being read or was read, nobody
// is logged in; closing: the session is ending (QUIT sent, or the server
// said it is closing), the socket is still open.
enum class remote_state { disconnected, connecting, connected, logged_in, closing };

// "disconnected", "connecting", ...
const char* remote_state_name(remote_state state);

// Kinds of log entries, as the main window colours them.
enum remote_log_kind : int {
    log_reply = 0,
    log_command = 1,
    log_info = 2,
    log_error = 3,
    log_upload_done = 4,
    log_download_done = 5,
    log_state = 6,  // the connection's state changed: "from -> to"
};

class remote_observer {
public:
    virtual ~remote_observer() = default;
    // One log entry: lines (each ending in "\r\n") of a kind (remote_log_kind),
    // valid during the call only. Every entry arrives here first; a busy
    // session logs several per file, so the window and the command-line
    // tool take the text as it is. The default hands it on to on_log.
    virtual void on_log_text(remote_session& session, std::string_view lines, int kind);
    // The same entry as values the observer owns, one per line.
    virtual void on_log(remote_session& session, std::unique_ptr<qxarr> lines, int kind)
    {
        (void)session, (void)lines, (void)kind;
    }
    // Progress text of a recursive operation (delete, permissions).
    virtual void on_status(remote_session& session, qxval message) { (void)session, (void)message; }
    // The connection's state changed; called once per change.
    virtual void on_state(remote_session& session, remote_state from, remote_state to)
    {
        (void)session, (void)from, (void)to;
    }
    // A failure the session reports itself: a transport failure while sending
    // or reading (the session is then reset), or 6003 when the server closes
    // the session. The status also goes back to the caller.
    virtual void on_error(remote_session& session, int code) { (void)session, (void)code; }
    // folder is about to be listed afresh: whoever shows its entries lets go
    // of what it shows of them.
    virtual void on_listing(remote_session& session, qxfile_node& folder) { (void)session, (void)folder; }
};

}  // namespace qvtf
