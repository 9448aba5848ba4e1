// Shared by the data-connection and transfer tests: sessions logged in to
// real servers, local files of a given size, and a scripted data peer for
// the cases no real server produces on demand.
#pragma once

#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <fstream>
#include <mutex>
#include <random>
#include <sstream>
#include <string>
#include <thread>

#include "browse/listing_parser.h"
#include "ftp/ftp_control.h"
#include "support/session_inputs.h"
#include "support/test_ports.h"

namespace qvtf::test {

inline remote_listing_reader parser()
{
    return &read_listing;
}

// Connects, logs in and reads the working folder.
inline int log_in_to(ftp_control& session, uint16_t port, const std::string& user, const std::string& password,
                     bool passive = true, const char* host = "127.0.0.1")
{
    remote_site site = session.site();
    remote_options options = session.options();
    site.host.set_string(host);
    site.port = port;
    site.user_name.set_string(user.c_str());
    site.password.set_string(password.c_str());
    options.timeout = 10;
    options.passive = passive;
    options.listing_reader = parser();
    session.configure(site, options);
    if (int status = session.log_in())
        return status;
    return session.print_folder();
}

// One file transfer of the session, as a record.
inline transfer_record transfer(ftp_control& session, int direction, const std::string& local, const char* remote,
                                int32_t type = 0)
{
    return session.transfer_file(transfer_request::make(direction, qxval(local), qxval(remote), type));
}

inline std::string pattern_bytes(size_t n, unsigned seed = 7)
{
    std::string s(n, '\0');
    std::mt19937 gen(seed);
    for (size_t i = 0; i < n; i += 4) {
        uint32_t r = gen();
        for (size_t k = 0; k < 4 && i + k < n; ++k)
            s[i + k] = static_cast<char>(r >> (8 * k));
    }
    return s;
}

inline bool write_bytes(const std::string& path, const std::string& bytes)
{
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    return static_cast<bool>(out);
}

inline std::string read_bytes(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

inline bool file_exists(const std::string& path)
{
    return ::access(path.c_str(), F_OK) == 0;
}

// One data connection played by the test: listens on loopback (for PASV
// replies) or connects to the client's PORT address, then sends the given
// bytes, records what arrives, or stays silent.
class data_peer {
public:
    // send_then_reset: the bytes, then a reset instead of an orderly close.
    // refuse: nothing listens on the port, so a connection is refused.
    // send_then_stall: the bytes, then silence until the client gives up and
    // closes; only then the rest (which nobody reads any more).
    // record_then_reset: keeps as many bytes as it was given, then resets.
    enum class mode { send, record, silent, send_slowly, send_then_reset, refuse, send_then_stall, record_then_reset };

    data_peer(mode m, std::string bytes = "") : mode_(m), bytes_(std::move(bytes))
    {
        listen_fd_ = listen_loopback(&port_);
        if (m == mode::refuse && listen_fd_ >= 0) {
            ::close(listen_fd_);
            listen_fd_ = -1;
        }
    }
    ~data_peer()
    {
        stop_ = true;
        if (thread_.joinable())
            thread_.join();
        if (listen_fd_ >= 0)
            ::close(listen_fd_);
    }
    uint16_t port() const { return port_; }
    // Bytes known only once the script runs (before the client connects).
    void set_bytes(std::string bytes)
    {
        std::lock_guard lock(bytes_mutex_);
        bytes_ = std::move(bytes);
    }
    // The 227 reply that points the client at this peer.
    std::string pasv_reply() const
    {
        return "227 Entering Passive Mode (127,0,0,1," + std::to_string(port_ / 256) + "," +
               std::to_string(port_ % 256) + ")\r\n";
    }
    void accept_in_background()
    {
        if (listen_fd_ < 0)
            return;
        thread_ = std::thread([this] {
            pollfd p{listen_fd_, POLLIN, 0};
            for (int i = 0; i < 100 && !stop_; ++i)
                if (::poll(&p, 1, 100) > 0)
                    break;
            if (stop_)
                return;
            int fd = ::accept(listen_fd_, nullptr, nullptr);
            if (fd >= 0)
                serve(fd);
        });
    }
    void connect_in_background(uint16_t client_port)
    {
        thread_ = std::thread([this, client_port] {
            int fd = connect_loopback(client_port);
            if (fd >= 0)
                serve(fd);
        });
    }
    bool wait_done(std::chrono::milliseconds max = std::chrono::milliseconds(10000))
    {
        const auto end = std::chrono::steady_clock::now() + max;
        while (!done_ && std::chrono::steady_clock::now() < end)
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        return done_;
    }
    std::string received() const { return done_ ? received_ : std::string(); }
    std::atomic<bool> connected{false};

private:
    void serve(int fd)
    {
        connected = true;
        std::string bytes;
        {
            std::lock_guard lock(bytes_mutex_);
            bytes = bytes_;
        }
        if (mode_ == mode::send) {
            write_all(fd, bytes);
        } else if (mode_ == mode::send_then_reset) {
            write_all(fd, bytes);
            linger abortive{1, 0};
            ::setsockopt(fd, SOL_SOCKET, SO_LINGER, &abortive, sizeof abortive);
        } else if (mode_ == mode::send_then_stall) {
            write_all(fd, bytes);
            char buf[256];
            pollfd p{fd, POLLIN, 0};
            for (int i = 0; i < 300 && !stop_; ++i)
                if (::poll(&p, 1, 100) > 0 && ::recv(fd, buf, sizeof buf, 0) <= 0)
                    break;
            write_all(fd, "-rw-r--r-- 1 u g 1 Jan 5 2020 late\r\n");
        } else if (mode_ == mode::send_slowly) {
            // Keeps sending until the client goes away.
            std::string block(4096, 'x');
            for (int i = 0; i < 2000 && !stop_; ++i) {
                if (::send(fd, block.data(), block.size(), MSG_NOSIGNAL) <= 0)
                    break;
                std::this_thread::sleep_for(std::chrono::milliseconds(5));
            }
        } else if (mode_ == mode::record_then_reset) {
            char buf[16384];
            pollfd p{fd, POLLIN, 0};
            while (!stop_ && received_.size() < bytes.size() && ::poll(&p, 1, 5000) > 0) {
                ssize_t n = ::recv(fd, buf, std::min(sizeof buf, bytes.size() - received_.size()), 0);
                if (n <= 0)
                    break;
                received_.append(buf, static_cast<size_t>(n));
            }
            linger abortive{1, 0};
            ::setsockopt(fd, SOL_SOCKET, SO_LINGER, &abortive, sizeof abortive);
        } else if (mode_ == mode::record) {
            char buf[16384];
            pollfd p{fd, POLLIN, 0};
            while (!stop_ && ::poll(&p, 1, 5000) > 0) {
                ssize_t n = ::recv(fd, buf, sizeof buf, 0);
                if (n <= 0)
                    break;
                received_.append(buf, static_cast<size_t>(n));
            }
        } else {
            while (!stop_)
                std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
        ::close(fd);
        done_ = true;
    }

    mode mode_;
    std::string bytes_;
    std::mutex bytes_mutex_;
    int listen_fd_ = -1;
    uint16_t port_ = 0;
    std::atomic<bool> stop_{false};
    std::atomic<bool> done_{false};
    std::string received_;
    std::thread thread_;
};

}  // namespace qvtf::test
