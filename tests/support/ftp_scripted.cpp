#include "ftp_scripted.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include "test_ports.h"

namespace qvtf::test {

namespace {
constexpr std::chrono::milliseconds step_timeout{10000};
// After the script: how long to keep answering a client that stays silent.
constexpr std::chrono::milliseconds tail_timeout{30000};
}  // namespace

scripted_ftp_server::scripted_ftp_server()
{
    listen_fd_ = listen_loopback(&port_, 4);
    if (listen_fd_ >= 0 && ::pipe2(wake_, O_CLOEXEC) != 0) {
        ::close(listen_fd_);
        listen_fd_ = -1;
    }
}

scripted_ftp_server::~scripted_ftp_server()
{
    stopping_ = true;
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

scripted_ftp_server& scripted_ftp_server::send(std::string bytes)
{
    steps_.push_back({step_kind::send, std::move(bytes)});
    return *this;
}

scripted_ftp_server& scripted_ftp_server::expect(std::string reply)
{
    steps_.push_back({step_kind::expect, std::move(reply)});
    return *this;
}

scripted_ftp_server& scripted_ftp_server::expect(std::function<std::string(const std::string&)> reply_for)
{
    steps_.push_back({step_kind::expect, {}, std::chrono::milliseconds(0), std::move(reply_for)});
    return *this;
}

scripted_ftp_server& scripted_ftp_server::pause(std::chrono::milliseconds how_long)
{
    steps_.push_back({step_kind::pause, {}, how_long});
    return *this;
}

scripted_ftp_server& scripted_ftp_server::reconnect()
{
    steps_.push_back({step_kind::reconnect, {}});
    return *this;
}

scripted_ftp_server& scripted_ftp_server::close()
{
    steps_.push_back({step_kind::close, {}});
    return *this;
}

scripted_ftp_server& scripted_ftp_server::offer(std::string feat_reply)
{
    feat_reply_ = std::move(feat_reply);
    return *this;
}

void scripted_ftp_server::start()
{
    if (ok())
        thread_ = std::thread([this] { run(); });
}

bool scripted_ftp_server::completed(std::chrono::milliseconds timeout)
{
    std::unique_lock lock(mutex_);
    done_cv_.wait_for(lock, timeout, [this] { return done_; });
    return done_ && script_ok_;
}

std::vector<std::string> scripted_ftp_server::lines() const
{
    std::lock_guard lock(mutex_);
    return lines_;
}

std::vector<std::string> scripted_ftp_server::extra_lines() const
{
    std::lock_guard lock(mutex_);
    return extra_;
}

void scripted_ftp_server::record(const std::string& line, bool extra)
{
    std::lock_guard lock(mutex_);
    lines_.push_back(line);
    if (extra)
        extra_.push_back(line);
}

bool scripted_ftp_server::wait_readable(int fd, std::chrono::milliseconds timeout)
{
    pollfd p[2] = {{fd, POLLIN, 0}, {wake_[0], POLLIN, 0}};
    int n = ::poll(p, 2, static_cast<int>(timeout.count()));
    if (n <= 0 || (p[1].revents & POLLIN) || stopping_)
        return false;
    return (p[0].revents & (POLLIN | POLLHUP | POLLERR)) != 0;
}

int scripted_ftp_server::accept_client()
{
    if (!wait_readable(listen_fd_, step_timeout))
        return -1;
    int fd = ::accept4(listen_fd_, nullptr, nullptr, SOCK_CLOEXEC);
    if (fd >= 0)
        ++connections_;
    return fd;
}

bool scripted_ftp_server::read_line(int fd, std::string& buffer, std::string& out, std::chrono::milliseconds timeout)
{
    for (;;) {
        auto lf = buffer.find('\n');
        if (lf != std::string::npos) {
            out = buffer.substr(0, lf + 1);
            buffer.erase(0, lf + 1);
            if (out.size() >= 2 && out[out.size() - 2] == '\r')
                out.resize(out.size() - 2);
            return true;
        }
        if (!wait_readable(fd, timeout))
            return false;
        char chunk[4096];
        ssize_t n = ::recv(fd, chunk, sizeof chunk, 0);
        if (n <= 0)
            return false;
        buffer.append(chunk, static_cast<size_t>(n));
    }
}

bool scripted_ftp_server::next_line(int fd, std::string& buffer, std::string& out, std::chrono::milliseconds timeout)
{
    for (;;) {
        if (!read_line(fd, buffer, out, timeout))
            return false;
        if (out != "FEAT")
            return true;
        if (!write_all(fd, feat_reply_))
            return false;
    }
}

void scripted_ftp_server::run()
{
    bool ok = true;
    int fd = accept_client();
    if (fd < 0)
        ok = false;
    std::string buffer;
    bool closed = false;
    for (size_t i = 0; ok && i < steps_.size(); ++i) {
        const step& s = steps_[i];
        switch (s.kind) {
        case step_kind::send: ok = write_all(fd, s.bytes); break;
        case step_kind::expect: {
            std::string line;
            ok = next_line(fd, buffer, line, step_timeout);
            if (ok) {
                record(line, false);
                const std::string reply = s.reply_for ? s.reply_for(line) : s.bytes;
                ok = reply.empty() || write_all(fd, reply);
            }
            break;
        }
        case step_kind::pause:
            if (fd >= 0)
                wait_readable(wake_[0], s.delay);
            break;
        case step_kind::reconnect:
            ::close(fd);
            buffer.clear();
            fd = accept_client();
            ok = fd >= 0;
            break;
        case step_kind::close:
            ::shutdown(fd, SHUT_RDWR);
            ::close(fd);
            fd = -1;
            closed = true;
            break;
        }
    }
    {
        std::lock_guard lock(mutex_);
        done_ = true;
        script_ok_ = ok;
    }
    done_cv_.notify_all();
    if (ok && !closed) {
        std::string line;
        while (next_line(fd, buffer, line, tail_timeout)) {
            record(line, true);
            if (!write_all(fd, "502 not scripted\r\n"))
                break;
        }
    }
    if (fd >= 0)
        ::close(fd);
}

}  // namespace qvtf::test
