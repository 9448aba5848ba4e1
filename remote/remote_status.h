// Status codes of a remote session. 0 is success; transport (1000-1100,
// 100000 + n) and SOCKS (1601-1615) codes come from the layers below.
#pragma once

namespace qvtf {

enum remote_status : int {
    status_ok = 0,
    status_input_too_large = 2003,  // more than 16 MiB of unread reply input
    status_stream_ended = 2004,     // control connection ended, or a short send
    status_line_too_long = 2005,    // a reply line reached the line limit
    status_login_rejected = 6000,   // the login command itself was refused
    status_stopped = 6001,          // the session's stop (remote_stop.h)
    status_not_connected = 6003,    // not connected / not logged in / 421
    status_login_refused = 6004,    // 530
    status_unexpected_reply = 6005,
    status_no_local_port = 6006,
    status_pasv_refused = 6008,
    status_bad_pasv_reply = 6009,
    status_local_file = 6010,
    status_refused = 6011,  // the server refused the operation
    status_chmod_unsupported = 6012,
    status_recursive_failed = 6013,  // text in the session's error text
    status_busy = 6014,              // the session is held by another thread
    status_line_break = 6015,        // a command held CR or LF and was not sent
    status_size_differs = 6016,      // a download's byte count is not the size the server gave
    status_tls_refused = 6017,       // the server refused AUTH TLS or PROT P, and the site requires them
    status_bad_reply_line = 6100,    // a reply did not begin with three digits
    // SSH: the known-hosts files do not know the server's key and nobody
    // accepted it; they hold another key for the server; the SSH layer
    // failed (its words in the result's detail).
    status_host_key_unknown = 6201,
    status_host_key_changed = 6202,
    status_ssh_failed = 6203,
};

}  // namespace qvtf
