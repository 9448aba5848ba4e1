// What an operation of a remote session returns: its status code and the
// cause captured where it failed, so the user's message (error_text) is
// built from the failure itself and never from whatever came after it.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "remote/remote_status.h"

namespace qvtf {

struct [[nodiscard]] remote_result {
    int status = status_ok;
    // The server's reply that decided the failure (6003, 6005, 6011), one
    // string a line without line ends; a command sent on its own keeps its
    // reply here on success too.
    std::vector<std::string> reply;
    // 6013: the whole message; others: words the layer below gave.
    std::string detail;
    // 6010: the system's errno (0 unknown) and the step: 0 opening, 1
    // reading, 2 writing.
    int32_t local_errno = 0;
    int32_t local_step = 0;

    remote_result() = default;
    // A bare status, for the codes whose message needs nothing more.
    remote_result(int code) : status(code) {}
    // Callers that only branch on the outcome read it as its status.
    operator int() const { return status; }
    bool ok() const { return status == status_ok; }
};

// Which end of a transfer's pipe failed.
enum class transfer_side : int32_t {
    none = 0,
    local = 1,  // the local file (opening, reading, writing)
    data = 2,   // the data connection, whatever the server's reply said
};

// The outcome of one file transfer, handed back whole instead of left in the
// session for the caller to read afterwards.
struct [[nodiscard]] transfer_record {
    remote_result result;
    int64_t bytes = 0;  // moved over the data connection
    transfer_side failed_side = transfer_side::none;
    int32_t data_failure = 0;  // the data connection's own transport status
    // A count the queue may accept beyond the size: more bytes when > 0
    // (line ends grow on the wire).
    int32_t size_tolerance = 0;
    // The bytes differ from the request's expected size (reported, not
    // failed, when the request asks for that).
    bool size_differs = false;
    int32_t start_time = 0;
    int32_t end_time = 0;
    // Where the transfer began in the file: the bytes an earlier attempt
    // left (counted in bytes too); 0 for a transfer from the start.
    int64_t resumed_from = 0;
    // A download's partial file kept for the next attempt (transfer_request's
    // keep_partial); empty when none was kept.
    std::string partial_path;

    operator int() const { return result.status; }
};

}  // namespace qvtf
