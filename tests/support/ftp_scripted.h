// A scripted FTP peer for tests: it plays a server (or a firewall) from a
// list of steps, and records every line the client sends, so a test can
// assert the exact command lines on the wire.
//
//   qvtf::test::scripted_ftp_server server;
//   server.send("220 ready\r\n")
//         .expect("331 password please\r\n")   // reads one line, then replies
//         .expect("230 welcome\r\n");
//   server.start();
//   ... client connects to 127.0.0.1:server.port() ...
//   EXPECT_EQ(server.lines(), (std::vector<std::string>{"USER bob", "PASS pw"}));
//
// A received line is recorded without its "\r\n"; a line ended by a bare
// "\n" keeps that "\n" so the test sees it. After the last step the server
// answers every further line with "502 not scripted\r\n" (recording it) until
// the client closes or the server is destroyed.
//
// FEAT is answered on the side, unrecorded, with no extensions ("500"), so
// scripts need not know the client asks it after the login; offer() gives
// the answer of a server with extensions.
#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace qvtf::test {

class scripted_ftp_server {
public:
    scripted_ftp_server();
    scripted_ftp_server(const scripted_ftp_server&) = delete;
    scripted_ftp_server& operator=(const scripted_ftp_server&) = delete;
    ~scripted_ftp_server();

    bool ok() const { return listen_fd_ >= 0; }
    uint16_t port() const { return port_; }

    // Sends bytes exactly as given.
    scripted_ftp_server& send(std::string bytes);
    // Reads one line, records it, then sends the reply bytes (may be empty).
    scripted_ftp_server& expect(std::string reply);
    // Reads one line, records it, then sends what reply_for makes of it
    // (runs on the server's thread), for replies that depend on the line.
    scripted_ftp_server& expect(std::function<std::string(const std::string& line)> reply_for);
    // Waits a while before the next step.
    scripted_ftp_server& pause(std::chrono::milliseconds how_long);
    // Closes the current connection and accepts the next one.
    scripted_ftp_server& reconnect();
    // Closes the connection and ends the script (no 502 phase).
    scripted_ftp_server& close();

    // The answer to FEAT (whole, with its line ends), wherever it comes.
    scripted_ftp_server& offer(std::string feat_reply);

    void start();

    // Waits (bounded) until the script's steps have run; false on time-out
    // or when the client went away before the script ended.
    bool completed(std::chrono::milliseconds timeout = std::chrono::milliseconds(10000));
    // Lines received so far, in order, over all connections.
    std::vector<std::string> lines() const;
    // Lines received after the script had ended (answered 502).
    std::vector<std::string> extra_lines() const;
    // Connections accepted so far.
    int connections() const { return connections_.load(); }

private:
    enum class step_kind { send, expect, pause, reconnect, close };
    struct step {
        step_kind kind;
        std::string bytes;
        std::chrono::milliseconds delay{0};
        std::function<std::string(const std::string&)> reply_for{};
    };

    void run();
    int accept_client();
    // One line into out; false when the peer closed, the wait timed out or
    // the server is stopping.
    bool read_line(int fd, std::string& buffer, std::string& out, std::chrono::milliseconds timeout);
    bool wait_readable(int fd, std::chrono::milliseconds timeout);
    void record(const std::string& line, bool extra);
    // read_line, with any FEAT answered on the way.
    bool next_line(int fd, std::string& buffer, std::string& out, std::chrono::milliseconds timeout);

    std::vector<step> steps_;
    std::string feat_reply_ = "500 unknown command\r\n";
    int listen_fd_ = -1;
    int wake_[2] = {-1, -1};
    uint16_t port_ = 0;
    std::atomic<int> connections_{0};
    std::atomic<bool> stopping_{false};
    mutable std::mutex mutex_;
    std::condition_variable done_cv_;
    bool done_ = false;
    bool script_ok_ = false;
    std::vector<std::string> lines_;
    std::vector<std::string> extra_;
    std::thread thread_;
};

}  // namespace qvtf::test
