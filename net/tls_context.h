#pragma once
// The client side of TLS for one session: the trusted authorities, and the
// session of the control connection that every data connection resumes
// (servers that insist on it refuse data connections that do not).

#include <openssl/ssl.h>

#include <deque>
#include <mutex>
#include <string>

namespace qvtf {

class tls_context {
public:
    tls_context();
    ~tls_context();
    tls_context(const tls_context&) = delete;
    tls_context& operator=(const tls_context&) = delete;

    // Loads the system's authorities and, when ca_file is not empty, the
    // certificates of that PEM file as well. False with error set otherwise.
    bool load_authorities(const std::string& ca_file, std::string& error);
    // Null when the library could not make one.
    SSL_CTX* native() const { return ctx_; }

    // A session for the next data connection to resume (SSL_SESSION_free
    // it), or null while there is none. TLS 1.3 tickets may be good for one
    // resumption only: each is handed out once while others are left, the
    // last one again and again.
    SSL_SESSION* resumable_session();
    // Kept from now on (takes the reference); the oldest go beyond a few.
    void keep_session(SSL_SESSION* session);
    void forget_sessions();

private:
    SSL_CTX* ctx_ = nullptr;
    static constexpr std::size_t kept_sessions = 16;
    std::mutex mutex_;  // sessions_: the control's thread and data workers
    std::deque<SSL_SESSION*> sessions_;
};

// The library's queued errors as one line (the queue is emptied), or fallback.
std::string tls_error_text(const char* fallback);

}  // namespace qvtf
