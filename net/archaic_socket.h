#pragma once
// Common base of the connected and the listening socket: the time-out that
// bounds every wait on the socket.

#include <cstdint>

namespace qvtf {

class archaic_socket {
public:
    int32_t timeout_seconds = 60;
    int32_t timeout_microseconds = 0;

    archaic_socket() = default;
    virtual ~archaic_socket() = default;

    // Callers change the time-out around single operations and put the old
    // one back (the SOCKS exchange does).
    void set_timeout(int32_t seconds, int32_t microseconds)
    {
        timeout_seconds = seconds;
        timeout_microseconds = microseconds;
    }

    // The time-out in milliseconds, rounded up, never negative.
    int64_t timeout_ms() const;
};

// Waits until fd is readable (or writable) for at most timeout_ms. Returns 1
// when ready (an error or hang-up counts as ready, as with select), 0 when the
// time passed, -1 when the wait itself failed (errno set). Interrupted waits
// resume with the time that is left.
int wait_ready(int fd, bool for_write, int64_t timeout_ms);
// Switches Nagle's algorithm off on a connected TCP socket.
void set_no_delay(int fd);

}  // namespace qvtf
