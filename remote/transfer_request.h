// transfer_request: the inputs of one file transfer, handed to the session
// as a value, so a transfer never depends on whatever another operation left
// in the session, and the session needs nothing of the queue: the facts of
// the queue's item travel in here.
#pragma once

#include <cstdint>
#include <ctime>

#include "core/qxval.h"

namespace qvtf {

// Progress of one transfer. Called on the data connection's thread while the
// transfer runs; it must not block, nor call back into the session.
class transfer_progress {
public:
    virtual ~transfer_progress() = default;
    // Bytes moved so far and seconds since the transfer began.
    virtual void on_progress(int64_t bytes, int32_t elapsed_seconds) = 0;
};

struct transfer_request {
    int32_t direction = 1;  // 1 download, 0 upload
    qxval local_path{""};
    qxval remote_path{""};
    int32_t transfer_type = 0;    // resolved: 0 binary, 1 ASCII, 3 with a converter row
    int32_t transfer_option = 0;  // 1 and 2 append to the local file
    // Downloads: the size the server gave, -1 unknown. An ASCII transfer may
    // bring more bytes (line ends grow on the wire), never fewer.
    int64_t expected_size = -1;
    // The queue's: a download whose bytes differ from expected_size keeps
    // the target as it was and returns as it ran, with size_differs in its
    // record, for the queue to try again. Otherwise it fails with 6016.
    bool report_size_difference = false;
    // Downloads: the local file gets modified_time (0: the moment of the
    // transfer) when stamp is set. Uploads: the server's file gets the local
    // file's time, where the server can set it.
    bool stamp = false;
    std::time_t modified_time = 0;
    // Not owned; may be null.
    transfer_progress* progress = nullptr;

    // Resuming a broken binary transfer, where the server restarts streams.
    // Downloads: keep_partial keeps the temporary file of a failed attempt
    // (named in the record; the caller removes it when it gives up), and
    // partial_path, such a file of an earlier attempt of the same item, is
    // continued from its end. Uploads: with resume, the part the server
    // already holds (its SIZE) is not sent again.
    bool keep_partial = false;
    qxval partial_path{""};
    bool resume = false;
    // Downloads of binary files: the existing local target itself continues
    // from its end, with REST of its size (the user chose to resume it).
    bool continue_target = false;

    bool size_differs(int64_t bytes) const
    {
        if (expected_size < 0)
            return false;
        return (transfer_type & 0xffff) == 1 ? bytes < expected_size : bytes != expected_size;
    }

    static transfer_request make(int32_t direction, const qxval& local, const qxval& remote, int32_t type,
                                 int32_t option = 0)
    {
        transfer_request request;
        request.direction = direction ? 1 : 0;
        request.local_path = local;
        request.remote_path = remote;
        request.transfer_type = type;
        request.transfer_option = option;
        return request;
    }
};

}  // namespace qvtf
