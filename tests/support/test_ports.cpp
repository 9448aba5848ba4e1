#include "test_ports.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace qvtf::test {

namespace {

sockaddr_in loopback(uint16_t port)
{
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_port = htons(port);
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    return a;
}

// poll() one fd, retrying on EINTR; returns poll's result.
int poll_one(int fd, short events, int timeout_ms)
{
    pollfd p{fd, events, 0};
    int r;
    do {
        r = ::poll(&p, 1, timeout_ms);
    } while (r < 0 && errno == EINTR);
    return r;
}

}  // namespace

int listen_loopback(uint16_t* port, int backlog)
{
    int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0)
        return -1;
    int one = 1;
    setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
    sockaddr_in a = loopback(0);
    socklen_t len = sizeof a;
    if (::bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0 || ::listen(fd, backlog) != 0 ||
        getsockname(fd, reinterpret_cast<sockaddr*>(&a), &len) != 0) {
        ::close(fd);
        return -1;
    }
    if (port)
        *port = ntohs(a.sin_port);
    return fd;
}

bool ipv6_loopback_available()
{
    int fd = ::socket(AF_INET6, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0)
        return false;
    sockaddr_in6 a{};
    a.sin6_family = AF_INET6;
    a.sin6_addr = in6addr_loopback;
    const bool ok = ::bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0;
    ::close(fd);
    return ok;
}

uint16_t free_port()
{
    uint16_t port = 0;
    int fd = listen_loopback(&port, 1);
    if (fd >= 0)
        ::close(fd);
    return port;
}

int connect_loopback(uint16_t port, bool ipv6)
{
    int fd = ::socket(ipv6 ? AF_INET6 : AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0)
        return -1;
    sockaddr_in a = loopback(port);
    sockaddr_in6 a6{};
    a6.sin6_family = AF_INET6;
    a6.sin6_port = htons(port);
    a6.sin6_addr = in6addr_loopback;
    const int rc = ipv6 ? ::connect(fd, reinterpret_cast<sockaddr*>(&a6), sizeof a6)
                        : ::connect(fd, reinterpret_cast<sockaddr*>(&a), sizeof a);
    if (rc != 0) {
        ::close(fd);
        return -1;
    }
    return fd;
}

bool wait_until_accepting(uint16_t port, std::chrono::milliseconds timeout, bool ipv6)
{
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    do {
        int fd = connect_loopback(port, ipv6);
        if (fd >= 0) {
            ::close(fd);
            return true;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    } while (std::chrono::steady_clock::now() < deadline);
    return false;
}

std::string read_exact(int fd, size_t n, std::chrono::milliseconds timeout)
{
    std::string out;
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    while (out.size() < n) {
        auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0 || poll_one(fd, POLLIN, static_cast<int>(left.count())) <= 0)
            break;
        char buf[4096];
        ssize_t r = ::recv(fd, buf, std::min(sizeof buf, n - out.size()), 0);
        if (r <= 0)
            break;
        out.append(buf, static_cast<size_t>(r));
    }
    return out;
}

bool write_all(int fd, const std::string& bytes)
{
    size_t done = 0;
    while (done < bytes.size()) {
        ssize_t r = ::send(fd, bytes.data() + done, bytes.size() - done, MSG_NOSIGNAL);
        if (r < 0 && errno == EINTR)
            continue;
        if (r <= 0)
            return false;
        done += static_cast<size_t>(r);
    }
    return true;
}

// ---------------------------------------------------------------- echo_server

echo_server::echo_server(mode m, std::string banner) : mode_(m), banner_(std::move(banner))
{
    listen_fd_ = listen_loopback(&port_);
    if (listen_fd_ < 0 || ::pipe2(wake_, O_CLOEXEC) != 0) {
        if (listen_fd_ >= 0)
            ::close(listen_fd_);
        listen_fd_ = -1;
        return;
    }
    acceptor_ = std::thread([this] { accept_loop(); });
}

echo_server::~echo_server()
{
    stopping_ = true;
    if (wake_[1] >= 0) {
        char c = 'x';
        (void)!::write(wake_[1], &c, 1);  // stays readable: wakes every waiter
    }
    if (acceptor_.joinable())
        acceptor_.join();
    std::vector<std::thread> workers;
    {
        std::lock_guard lock(mutex_);
        workers.swap(workers_);
    }
    for (auto& t : workers)
        t.join();
    for (int fd : open_fds_)
        ::close(fd);
    if (listen_fd_ >= 0)
        ::close(listen_fd_);
    for (int fd : wake_)
        if (fd >= 0)
            ::close(fd);
}

void echo_server::accept_loop()
{
    while (!stopping_) {
        pollfd p[2] = {{listen_fd_, POLLIN, 0}, {wake_[0], POLLIN, 0}};
        int r = ::poll(p, 2, 1000);
        if (r < 0 && errno != EINTR)
            return;
        if (stopping_ || (p[1].revents & POLLIN))
            return;
        if (!(p[0].revents & POLLIN))
            continue;
        int fd = ::accept4(listen_fd_, nullptr, nullptr, SOCK_CLOEXEC);
        if (fd < 0)
            continue;
        std::lock_guard lock(mutex_);
        ++accepted_;
        open_fds_.push_back(fd);
        workers_.emplace_back([this, fd] { serve(fd); });
        changed_.notify_all();
    }
}

void echo_server::serve(int fd)
{
    if (!banner_.empty() && mode_ != mode::silent)
        write_all(fd, banner_);
    if (mode_ == mode::banner_then_close) {
        ::shutdown(fd, SHUT_WR);
        return;  // the descriptor is closed with the server
    }
    while (!stopping_) {
        pollfd p[2] = {{fd, static_cast<short>(mode_ == mode::echo ? POLLIN : 0), 0}, {wake_[0], POLLIN, 0}};
        int r = ::poll(p, 2, 1000);
        if (r < 0 && errno != EINTR)
            return;
        if (stopping_ || (p[1].revents & POLLIN))
            return;
        if (!(p[0].revents & (POLLIN | POLLHUP | POLLERR)))
            continue;
        char buf[16384];
        ssize_t n = ::recv(fd, buf, sizeof buf, 0);
        if (n <= 0) {
            ::shutdown(fd, SHUT_WR);
            return;
        }
        {
            std::lock_guard lock(mutex_);
            received_.append(buf, static_cast<size_t>(n));
            changed_.notify_all();
        }
        if (!write_all(fd, std::string(buf, static_cast<size_t>(n))))
            return;
    }
}

std::string echo_server::received() const
{
    std::lock_guard lock(mutex_);
    return received_;
}

bool echo_server::wait_accepted(int n, std::chrono::milliseconds timeout) const
{
    std::unique_lock lock(mutex_);
    return changed_.wait_for(lock, timeout, [&] { return accepted_.load() >= n; });
}

// ---------------------------------------------------------------- silent_port

silent_port::silent_port()
{
    // Backlog 0: Linux keeps at most one finished connection queued; the
    // next SYN is dropped while the queue is full.
    listen_fd_ = listen_loopback(&port_, 0);
    if (listen_fd_ < 0)
        return;
    for (int i = 0; i < 16 && !ok_; ++i) {
        int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
        if (fd < 0)
            break;
        sockaddr_in a = loopback(port_);
        int r = ::connect(fd, reinterpret_cast<sockaddr*>(&a), sizeof a);
        if (r != 0 && errno == EINPROGRESS && poll_one(fd, POLLOUT, 300) == 0)
            ok_ = true;  // this probe is stuck in SYN-SENT: the queue is full
        fillers_.push_back(fd);
    }
}

silent_port::~silent_port()
{
    for (int fd : fillers_)
        ::close(fd);
    if (listen_fd_ >= 0)
        ::close(listen_fd_);
}

}  // namespace qvtf::test
