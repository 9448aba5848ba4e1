#pragma once
// Process-wide start of the socket layer. POSIX sockets need no start-up, but
// the program keeps this object so start-up runs in its usual order; it also
// turns SIGPIPE off, so a write to a connection the peer closed fails with
// EPIPE instead of ending the process.

#include <cstdint>

namespace qvtf {

class qxwinsock {
public:
    static constexpr uint16_t requested_version = 0x0101;

    qxwinsock();
    qxwinsock(const qxwinsock&) = delete;
    qxwinsock& operator=(const qxwinsock&) = delete;
    ~qxwinsock() = default;

    bool is_started() const { return started_; }

private:
    bool started_ = false;
};

}  // namespace qvtf
