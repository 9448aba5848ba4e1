// Loopback helpers for tests: free ports, waiting for a server to accept,
// a small echo/banner server, and a port whose connects never complete.
// Everything here uses raw POSIX sockets, so it does not depend on the code
// under test.
#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace qvtf::test {

// A TCP port on 127.0.0.1 that nothing listens on right now (the kernel's
// choice for an ephemeral bind, released before returning).
uint16_t free_port();

// Whether ::1 exists here (a socket can be bound to it); IPv6 tests skip
// without it.
bool ipv6_loopback_available();
constexpr const char* no_ipv6_message = "IPv6 loopback (::1) is not configured on this machine";

// Tries to connect to 127.0.0.1:port (or [::1]:port) until it succeeds or
// timeout passes.
bool wait_until_accepting(uint16_t port, std::chrono::milliseconds timeout = std::chrono::milliseconds(10000),
                          bool ipv6 = false);

// A blocking TCP connection to 127.0.0.1:port (or [::1]:port), or -1.
int connect_loopback(uint16_t port, bool ipv6 = false);

// Reads exactly n bytes from fd (bounded by timeout); returns what arrived.
std::string read_exact(int fd, size_t n, std::chrono::milliseconds timeout = std::chrono::milliseconds(5000));

// Writes all bytes; false on failure.
bool write_all(int fd, const std::string& bytes);

// A listening socket on 127.0.0.1 with a port the kernel picked; -1 on failure.
int listen_loopback(uint16_t* port, int backlog = 16);

// Accepts connections on a loopback port, one thread per connection, and
// serves each the same way: sends the banner (if any), then echoes, or
// closes, or stays silent.
class echo_server {
public:
    enum class mode {
        echo,               // banner, then every byte received is sent back until the peer closes
        banner_then_close,  // banner, then an orderly close
        silent              // never reads nor writes; holds the connection until stopped
    };

    explicit echo_server(mode m = mode::echo, std::string banner = "");
    echo_server(const echo_server&) = delete;
    echo_server& operator=(const echo_server&) = delete;
    ~echo_server();

    uint16_t port() const { return port_; }
    bool ok() const { return listen_fd_ >= 0; }

    // Number of connections accepted so far.
    int accepted() const { return accepted_.load(); }
    // Everything received on all connections, in arrival order per connection.
    std::string received() const;
    // Waits until at least n connections were accepted (bounded).
    bool wait_accepted(int n, std::chrono::milliseconds timeout = std::chrono::milliseconds(5000)) const;

private:
    void accept_loop();
    void serve(int fd);

    mode mode_;
    std::string banner_;
    int listen_fd_ = -1;
    int wake_[2] = {-1, -1};
    uint16_t port_ = 0;
    std::atomic<bool> stopping_{false};
    std::atomic<int> accepted_{0};
    mutable std::mutex mutex_;
    mutable std::condition_variable changed_;
    std::string received_;
    std::vector<int> open_fds_;
    std::vector<std::thread> workers_;
    std::thread acceptor_;
};

// A port on 127.0.0.1 where a connect neither succeeds nor is refused: a
// listener that never accepts, its accept queue filled, so the kernel drops
// further SYNs and the connecting side waits in SYN-SENT.
class silent_port {
public:
    silent_port();
    silent_port(const silent_port&) = delete;
    silent_port& operator=(const silent_port&) = delete;
    ~silent_port();

    uint16_t port() const { return port_; }
    // True when the queue was shown full: a probe connect stayed pending.
    bool ok() const { return ok_; }

private:
    int listen_fd_ = -1;
    uint16_t port_ = 0;
    bool ok_ = false;
    std::vector<int> fillers_;
};

}  // namespace qvtf::test
