#include "socks_scripted.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>

#include "test_ports.h"

namespace qvtf::test {

namespace {

constexpr std::chrono::milliseconds step_timeout{5000};

// Appends bytes to out until it holds n in all; false when they did not come.
bool read_more(int fd, std::string& out, size_t n)
{
    if (out.size() >= n)
        return true;
    out += read_exact(fd, n - out.size(), step_timeout);
    return out.size() >= n;
}

// Appends bytes up to and including the next zero byte (at most 1024).
bool read_to_zero(int fd, std::string& out)
{
    for (int i = 0; i < 1024; ++i) {
        std::string b = read_exact(fd, 1, step_timeout);
        if (b.empty())
            return false;
        out += b;
        if (b[0] == '\0')
            return true;
    }
    return false;
}

}  // namespace

std::string socks_port_bytes(uint16_t port)
{
    return std::string{static_cast<char>(port >> 8), static_cast<char>(port & 0xff)};
}

std::string socks_ipv4_bytes(const std::string& address)
{
    in_addr a{};
    inet_pton(AF_INET, address.c_str(), &a);
    return std::string(reinterpret_cast<const char*>(&a), 4);
}

std::string socks4_reply(int code, uint16_t port, const std::string& address)
{
    return std::string{'\0', static_cast<char>(code)} + socks_port_bytes(port) + socks_ipv4_bytes(address);
}

std::string socks5_reply(int rep, const std::string& address, uint16_t port)
{
    return std::string{5, static_cast<char>(rep), 0, 1} + socks_ipv4_bytes(address) + socks_port_bytes(port);
}

std::string socks5_domain_reply(int rep, const std::string& name, uint16_t port)
{
    return std::string{5, static_cast<char>(rep), 0, 3, static_cast<char>(name.size())} + name + socks_port_bytes(port);
}

scripted_socks_server::scripted_socks_server()
{
    listen_fd_ = listen_loopback(&port_, 4);
    if (listen_fd_ >= 0 && ::pipe2(wake_, O_CLOEXEC) != 0) {
        ::close(listen_fd_);
        listen_fd_ = -1;
    }
}

scripted_socks_server::~scripted_socks_server()
{
    if (wake_[1] >= 0) {
        char c = 'x';
        (void)!::write(wake_[1], &c, 1);
    }
    if (thread_.joinable())
        thread_.join();
    if (listen_fd_ >= 0)
        ::close(listen_fd_);
    for (int fd : wake_)
        if (fd >= 0)
            ::close(fd);
}

scripted_socks_server& scripted_socks_server::read_v4_request()
{
    script_.push_back(step{step_kind::v4_request});
    return *this;
}
scripted_socks_server& scripted_socks_server::read_v5_greeting()
{
    script_.push_back(step{step_kind::v5_greeting});
    return *this;
}
scripted_socks_server& scripted_socks_server::read_v5_auth()
{
    script_.push_back(step{step_kind::v5_auth});
    return *this;
}
scripted_socks_server& scripted_socks_server::read_v5_request()
{
    script_.push_back(step{step_kind::v5_request});
    return *this;
}
scripted_socks_server& scripted_socks_server::read_bytes(size_t n)
{
    step s{step_kind::bytes};
    s.count = n;
    script_.push_back(s);
    return *this;
}
scripted_socks_server& scripted_socks_server::send(std::string bytes)
{
    step s{step_kind::send};
    s.bytes = std::move(bytes);
    script_.push_back(s);
    return *this;
}
scripted_socks_server& scripted_socks_server::pause(std::chrono::milliseconds how_long)
{
    step s{step_kind::pause};
    s.delay = how_long;
    script_.push_back(s);
    return *this;
}
scripted_socks_server& scripted_socks_server::echo()
{
    script_.push_back(step{step_kind::echo});
    return *this;
}

scripted_socks_server& scripted_socks_server::next_connection()
{
    script_.push_back(step{step_kind::next_connection});
    return *this;
}

void scripted_socks_server::start()
{
    if (ok() && !thread_.joinable())
        thread_ = std::thread([this] { run(); });
}

int scripted_socks_server::accept_connection()
{
    pollfd p[2] = {{listen_fd_, POLLIN, 0}, {wake_[0], POLLIN, 0}};
    if (::poll(p, 2, 30000) <= 0 || !(p[0].revents & POLLIN))
        return -1;
    int fd = ::accept4(listen_fd_, nullptr, nullptr, SOCK_CLOEXEC);
    if (fd >= 0) {
        std::lock_guard lock(mutex_);
        ++connections_;
    }
    return fd;
}

void scripted_socks_server::finish_connection(int fd, bool linger)
{
    ::shutdown(fd, SHUT_WR);
    // Let the client read what was sent before the close reaches it.
    read_exact(fd, 1 << 20, std::chrono::milliseconds(linger ? 200 : 0));
    ::close(fd);
}

void scripted_socks_server::run()
{
    bool all = false;
    int fd = accept_connection();
    if (fd >= 0) {
        all = true;
        for (const auto& s : script_) {
            if (!run_step(fd, s)) {
                all = false;
                break;
            }
        }
        if (fd >= 0)
            finish_connection(fd, all);
    }
    std::lock_guard lock(mutex_);
    done_ = true;
    completed_ = all;
    done_changed_.notify_all();
}

bool scripted_socks_server::run_step(int& fd, const step& s)
{
    std::string got;
    bool ok = true;
    switch (s.kind) {
    case step_kind::v4_request:
        ok = read_more(fd, got, 8) && read_to_zero(fd, got);
        if (ok && got[4] == 0 && got[5] == 0 && got[6] == 0 && got[7] != 0)
            ok = read_to_zero(fd, got);
        break;
    case step_kind::v5_greeting:
        ok = read_more(fd, got, 2) && read_more(fd, got, 2 + static_cast<unsigned char>(got[1]));
        break;
    case step_kind::v5_auth:
        ok = read_more(fd, got, 2);
        if (ok) {
            size_t user = static_cast<unsigned char>(got[1]);
            ok = read_more(fd, got, 3 + user) &&
                 read_more(fd, got, 3 + user + static_cast<unsigned char>(got[2 + user]));
        }
        break;
    case step_kind::v5_request:
        ok = read_more(fd, got, 5);
        if (ok) {
            switch (got[3]) {
            case 1: ok = read_more(fd, got, 10); break;
            case 3: ok = read_more(fd, got, 7 + static_cast<unsigned char>(got[4])); break;
            case 4: ok = read_more(fd, got, 22); break;
            default: ok = false;
            }
        }
        break;
    case step_kind::bytes: ok = read_more(fd, got, s.count); break;
    case step_kind::send: return write_all(fd, s.bytes);
    case step_kind::next_connection:
        // A rejecting SOCKS 4 proxy closes at once, without waiting for more.
        ::close(fd);
        fd = accept_connection();
        return fd >= 0;
    case step_kind::pause: std::this_thread::sleep_for(s.delay); return true;
    case step_kind::echo:
        for (;;) {
            std::string chunk = read_exact(fd, 1, step_timeout);
            if (chunk.empty())
                return true;
            if (!write_all(fd, chunk))
                return false;
        }
    }
    std::lock_guard lock(mutex_);
    requests_.push_back(got);
    return ok;
}

bool scripted_socks_server::wait_done(std::chrono::milliseconds timeout)
{
    std::unique_lock lock(mutex_);
    return done_changed_.wait_for(lock, timeout, [&] { return done_; });
}

std::vector<std::string> scripted_socks_server::requests(std::chrono::milliseconds timeout)
{
    wait_done(timeout);
    std::lock_guard lock(mutex_);
    return requests_;
}

int scripted_socks_server::connections()
{
    std::lock_guard lock(mutex_);
    return connections_;
}

bool scripted_socks_server::completed(std::chrono::milliseconds timeout)
{
    wait_done(timeout);
    std::lock_guard lock(mutex_);
    return done_ && completed_;
}

}  // namespace qvtf::test
