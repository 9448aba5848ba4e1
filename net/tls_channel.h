#pragma once
// TLS over one connected socket, the client side. The socket keeps its
// bounded waits: every read, write and handshake step waits at most the
// time it is given, and another thread's shutdown of the socket ends any
// wait (the library then fails the step).

#include <openssl/ssl.h>

#include <cstdint>
#include <string>
#include <string_view>

namespace qvtf {

class tls_context;

// What a user is shown of a server's certificate.
struct tls_certificate {
    std::string subject;
    std::string issuer;
    std::string not_before;
    std::string not_after;
    std::string sha256;  // upper-case hex pairs joined by colons
};

class tls_channel {
public:
    // keeps_sessions: the sessions the server hands this channel become the
    // context's resumable one (the control connection's channel).
    tls_channel(tls_context& context, bool keeps_sessions);
    ~tls_channel();
    tls_channel(const tls_channel&) = delete;
    tls_channel& operator=(const tls_channel&) = delete;

    static tls_channel* of(const SSL* ssl);
    tls_context& context() const { return context_; }
    bool keeps_sessions() const { return keeps_sessions_; }

    // The client handshake on fd: SNI and the name check for host (an
    // address literal is checked as an address), offering the context's
    // session when resume is set. 0, or a transport status (1000 when the
    // time ran out, 1005 when the handshake failed: error_text() says why).
    int32_t handshake(int fd, std::string_view host, bool resume, int64_t timeout_ms);

    // As qxsocket's: count sent, or -1 with last_error set.
    int32_t send_some(int fd, const char* bytes, int32_t length, int64_t timeout_ms, int32_t& last_error);
    // > 0 the count; 0 the peer's end of the data, or time-out (last_error
    // 1000); -1 a failure (1003 connection lost, 1005 TLS).
    int32_t receive(int fd, char* into, int32_t maximum, int64_t timeout_ms, int32_t& last_error);
    // Sends our close_notify (once; nothing after a failure).
    void close_notify(int fd, int64_t timeout_ms);
    // After our close_notify: reads and drops what has come and what still
    // comes until the peer closes or the time runs out. Closing with unread
    // bytes (a session ticket sent after the handshake, say) would reset
    // the connection, and a reset can cost the peer the last data we sent;
    // read through TLS, such a ticket is kept for the next data connection.
    void await_peer_close(int fd, int64_t timeout_ms);

    // After a handshake.
    bool verified() const;
    std::string verify_reason() const;
    tls_certificate peer_certificate() const;
    bool resumed() const;
    std::string version() const;
    std::string cipher() const;
    const std::string& error_text() const { return error_; }
    // Whether the peer ended the data with its close_notify (not a bare close).
    bool clean_end() const { return clean_end_; }

private:
    // One library call until it completes or fails: waits for the socket
    // as the library asks. > 0 done; otherwise last_error says why.
    template <class Call>
    int drive(int fd, int64_t timeout_ms, Call call, int32_t& last_error);

    tls_context& context_;
    bool keeps_sessions_;
    SSL* ssl_ = nullptr;
    bool failed_ = false;
    bool shut_ = false;
    bool clean_end_ = false;
    bool bare_close_ = false;
    int32_t deferred_error_ = 0;  // a failure met after bytes were returned
    std::string error_;
};

}  // namespace qvtf
