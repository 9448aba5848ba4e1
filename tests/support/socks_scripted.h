// A SOCKS peer that follows a script, for replies no real proxy gives on
// demand: rejections, every REP code, method 255, short replies, domain-name
// reply addresses, BIND replies of 0.0.0.0.
//
// The script is a list of steps run on the first connection accepted:
//
//   scripted_socks_server proxy;
//   proxy.read_v4_request().send(socks4_reply(91)).read_v4_request().send(socks4_reply(90, 21, "127.0.0.1"));
//   proxy.start();
//   ... client talks to 127.0.0.1:proxy.port() ...
//   auto got = proxy.requests();   // bytes of each read step, in order
//   proxy.connections();           // how many connections were accepted
//
// Read steps understand the request formats, so a client that sends too much
// or too little shows up as a wrong request rather than as a hang. When the
// script ends the connection is closed in an orderly way.
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace qvtf::test {

class scripted_socks_server {
public:
    scripted_socks_server();
    scripted_socks_server(const scripted_socks_server&) = delete;
    scripted_socks_server& operator=(const scripted_socks_server&) = delete;
    ~scripted_socks_server();

    bool ok() const { return listen_fd_ >= 0; }
    uint16_t port() const { return port_; }

    // Version 4 request: 8 bytes, the user name up to its zero byte, and for
    // a 4a address (0.0.0.x, x != 0) the host name up to its zero byte.
    scripted_socks_server& read_v4_request();
    // Version 5 greeting: version, method count, the methods.
    scripted_socks_server& read_v5_greeting();
    // RFC 1929 request: version, length and user name, length and password.
    scripted_socks_server& read_v5_auth();
    // Version 5 request: 4 bytes, the address of its type, 2 port bytes.
    scripted_socks_server& read_v5_request();
    // Exactly n bytes.
    scripted_socks_server& read_bytes(size_t n);
    scripted_socks_server& send(std::string bytes);
    scripted_socks_server& pause(std::chrono::milliseconds how_long);
    // Echo everything until the client closes (after a granted CONNECT).
    scripted_socks_server& echo();
    // Closes the connection (as a SOCKS 4 proxy does after a rejection) and
    // runs the rest of the script on the next connection accepted.
    scripted_socks_server& next_connection();

    // Starts serving the script in a thread of its own.
    void start();

    // Waits (bounded) until the script has finished and returns the bytes of
    // every read step, one entry per step. A read step that got less than
    // it needed ends the script; its partial bytes are the last entry.
    std::vector<std::string> requests(std::chrono::milliseconds timeout = std::chrono::milliseconds(10000));
    // True when the script ran to its end, every read step satisfied.
    bool completed(std::chrono::milliseconds timeout = std::chrono::milliseconds(10000));
    int connections();

private:
    enum class step_kind { v4_request, v5_greeting, v5_auth, v5_request, bytes, send, pause, echo, next_connection };
    struct step {
        explicit step(step_kind k) : kind(k) {}
        step_kind kind;
        size_t count = 0;
        std::string bytes;
        std::chrono::milliseconds delay{0};
    };

    void run();
    bool run_step(int& fd, const step& s);
    int accept_connection();
    void finish_connection(int fd, bool linger);
    bool wait_done(std::chrono::milliseconds timeout);

    int listen_fd_ = -1;
    int wake_[2] = {-1, -1};
    uint16_t port_ = 0;
    std::vector<step> script_;
    std::thread thread_;
    std::mutex mutex_;
    std::condition_variable done_changed_;
    bool done_ = false;
    bool completed_ = false;
    int connections_ = 0;
    std::vector<std::string> requests_;
};

// Reply builders (addresses as dotted text, ports in host order).
std::string socks4_reply(int code, uint16_t port = 0, const std::string& address = "0.0.0.0");
std::string socks5_reply(int rep, const std::string& address = "0.0.0.0", uint16_t port = 0);
std::string socks5_domain_reply(int rep, const std::string& name, uint16_t port);
// The 2-byte port in network order followed by 4 address bytes, as both
// request formats carry them.
std::string socks_port_bytes(uint16_t port);
std::string socks_ipv4_bytes(const std::string& address);

}  // namespace qvtf::test
