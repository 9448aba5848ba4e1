// ftp_transfer_request: the inputs of one file transfer, handed to the
// session as a value, so a transfer never depends on whatever another
// operation left in the session's fields.
#pragma once

#include <cstdint>

#include "core/qxval.h"

namespace qvtf {

struct ftp_transfer_request {
    int32_t direction = 1;        // 1 download, 0 upload
    qxval local_path{""};
    qxval remote_path{""};
    int32_t transfer_type = 0;    // resolved: 0 binary, 1 ASCII, 3 with a converter row
    int32_t transfer_option = 0;  // 1 and 2 append to the local file
    // Downloads outside the queue: the size the server gave, -1 unknown. An
    // ASCII transfer may bring more bytes (line ends grow on the wire), never
    // fewer.
    int64_t expected_size = -1;

    bool size_differs(int64_t bytes) const
    {
        if (expected_size < 0)
            return false;
        return (transfer_type & 0xffff) == 1 ? bytes < expected_size : bytes != expected_size;
    }

    static ftp_transfer_request make(int32_t direction, const qxval& local, const qxval& remote, int32_t type,
                                     int32_t option = 0)
    {
        ftp_transfer_request request;
        request.direction = direction ? 1 : 0;
        request.local_path = local;
        request.remote_path = remote;
        request.transfer_type = type;
        request.transfer_option = option;
        return request;
    }
};

}  // namespace qvtf
