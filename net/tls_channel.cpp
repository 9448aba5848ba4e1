#include "net/tls_channel.h"

#include <arpa/inet.h>
#include <openssl/err.h>
#include <openssl/x509v3.h>
#include <sys/socket.h>

#include <cerrno>
#include <chrono>
#include <cstdint>

#include "net/archaic_socket.h"
#include "net/tls_context.h"
#include "net/transport_status.h"

namespace qvtf {

namespace {

// The library's socket BIO writes with write(), which raises SIGPIPE on a
// closed connection; this one never blocks and never signals, and the
// channel does the waiting with the socket's bounds.
int fd_of(BIO* bio)
{
    return static_cast<int>(reinterpret_cast<intptr_t>(BIO_get_data(bio)));
}

bool try_again(int e)
{
    return e == EAGAIN || e == EWOULDBLOCK || e == EINTR;
}

int bio_write(BIO* bio, const char* data, int length)
{
    BIO_clear_retry_flags(bio);
    const ssize_t n = ::send(fd_of(bio), data, static_cast<size_t>(length), MSG_DONTWAIT | MSG_NOSIGNAL);
    if (n < 0 && try_again(errno))
        BIO_set_retry_write(bio);
    return static_cast<int>(n);
}

int bio_read(BIO* bio, char* into, int length)
{
    BIO_clear_retry_flags(bio);
    const ssize_t n = ::recv(fd_of(bio), into, static_cast<size_t>(length), MSG_DONTWAIT);
    if (n < 0 && try_again(errno))
        BIO_set_retry_read(bio);
    return static_cast<int>(n);
}

long bio_ctrl(BIO*, int command, long, void*)
{
    return command == BIO_CTRL_FLUSH ? 1 : 0;
}

BIO_METHOD* make_method()
{
    BIO_METHOD* method = BIO_meth_new(BIO_get_new_index() | BIO_TYPE_SOURCE_SINK, "qvtf socket");
    if (method) {
        BIO_meth_set_write(method, &bio_write);
        BIO_meth_set_read(method, &bio_read);
        BIO_meth_set_ctrl(method, &bio_ctrl);
    }
    return method;
}

BIO* socket_bio(int fd)
{
    static BIO_METHOD* const method = make_method();
    BIO* bio = method ? BIO_new(method) : nullptr;
    if (bio) {
        BIO_set_data(bio, reinterpret_cast<void*>(static_cast<intptr_t>(fd)));
        BIO_set_init(bio, 1);
    }
    return bio;
}

std::string name_text(const X509_NAME* name)
{
    BIO* out = BIO_new(BIO_s_mem());
    if (!out)
        return {};
    X509_NAME_print_ex(out, name, 0, XN_FLAG_ONELINE & ~ASN1_STRFLGS_ESC_MSB);
    char* data = nullptr;
    const long length = BIO_get_mem_data(out, &data);
    std::string text(data, length > 0 ? static_cast<size_t>(length) : 0);
    BIO_free(out);
    return text;
}

std::string time_text(const ASN1_TIME* time)
{
    BIO* out = BIO_new(BIO_s_mem());
    if (!out)
        return {};
    ASN1_TIME_print(out, time);
    char* data = nullptr;
    const long length = BIO_get_mem_data(out, &data);
    std::string text(data, length > 0 ? static_cast<size_t>(length) : 0);
    BIO_free(out);
    return text;
}

bool is_address(std::string_view host)
{
    const std::string text(host);
    unsigned char buf[sizeof(in6_addr)];
    return inet_pton(AF_INET, text.c_str(), buf) == 1 || inet_pton(AF_INET6, text.c_str(), buf) == 1;
}

}  // namespace

tls_channel::tls_channel(tls_context& context, bool keeps_sessions) : context_(context), keeps_sessions_(keeps_sessions)
{
    if (context.native())
        ssl_ = SSL_new(context.native());
    if (ssl_)
        SSL_set_app_data(ssl_, this);
}

tls_channel::~tls_channel()
{
    if (!ssl_)
        return;
    // A channel cut off without close_notify would otherwise mark the
    // session it resumed as spent, and that is the control connection's:
    // every later data connection would then fail where the server insists
    // on reuse. Since TLS 1.1 such a session may be resumed.
    if (!keeps_sessions_ && SSL_is_init_finished(ssl_))
        SSL_set_shutdown(ssl_, SSL_SENT_SHUTDOWN | SSL_RECEIVED_SHUTDOWN);
    SSL_free(ssl_);
}

tls_channel* tls_channel::of(const SSL* ssl)
{
    return static_cast<tls_channel*>(SSL_get_app_data(ssl));
}

template <class Call>
int tls_channel::drive(int fd, int64_t timeout_ms, Call call, int32_t& last_error)
{
    using clock = std::chrono::steady_clock;
    const auto deadline = clock::now() + std::chrono::milliseconds(timeout_ms);
    for (;;) {
        ERR_clear_error();
        errno = 0;
        const int rc = call();
        if (rc > 0)
            return rc;
        const int reason = SSL_get_error(ssl_, rc);
        bool for_write = false;
        switch (reason) {
        case SSL_ERROR_WANT_READ: break;
        case SSL_ERROR_WANT_WRITE: for_write = true; break;
        case SSL_ERROR_ZERO_RETURN:
            clean_end_ = true;
            return 0;
        case SSL_ERROR_SYSCALL:
        case SSL_ERROR_SSL: {
            const int e = errno;
            const bool eof = reason == SSL_ERROR_SSL
                                 ? ERR_GET_REASON(ERR_peek_error()) == SSL_R_UNEXPECTED_EOF_WHILE_READING
                                 : e == 0;
            failed_ = true;
            bare_close_ = eof;
            if (eof) {
                ERR_clear_error();
                error_ = "connection closed without TLS close";
                last_error = transport_status::cannot_read;
            } else if (reason == SSL_ERROR_SYSCALL) {
                error_ = system_error_text(e);
                last_error = transport_status::cannot_read;
            } else {
                error_ = tls_error_text("TLS failure");
                last_error = transport_status::tls_failed;
            }
            return -1;
        }
        default:
            failed_ = true;
            error_ = tls_error_text("TLS failure");
            last_error = transport_status::tls_failed;
            return -1;
        }
        const int64_t left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - clock::now()).count();
        const int w = left > 0 ? wait_ready(fd, for_write, left) : 0;
        if (w == 0) {
            last_error = transport_status::timed_out;
            return -2;
        }
        if (w < 0) {
            failed_ = true;
            last_error = transport_status::unknown;
            return -1;
        }
    }
}

int32_t tls_channel::handshake(int fd, std::string_view host, bool resume, int64_t timeout_ms)
{
    if (!ssl_) {
        error_ = tls_error_text("no TLS connection");
        return transport_status::tls_failed;
    }
    BIO* bio = socket_bio(fd);
    if (!bio) {
        error_ = tls_error_text("no TLS connection");
        return transport_status::tls_failed;
    }
    SSL_set_bio(ssl_, bio, bio);
    const std::string name(host);
    if (is_address(name)) {
        X509_VERIFY_PARAM_set1_ip_asc(SSL_get0_param(ssl_), name.c_str());
    } else if (!name.empty()) {
        SSL_set_tlsext_host_name(ssl_, name.c_str());
        SSL_set1_host(ssl_, name.c_str());
    }
    if (resume) {
        if (SSL_SESSION* session = context_.resumable_session()) {
            SSL_set_session(ssl_, session);
            SSL_SESSION_free(session);
        }
    }
    int32_t status = 0;
    const int rc = drive(fd, timeout_ms, [this] { return SSL_connect(ssl_); }, status);
    if (rc > 0)
        return 0;
    failed_ = true;
    if (rc == 0 || status == transport_status::cannot_read || status == transport_status::unknown) {
        if (error_.empty())
            error_ = "connection closed";
        return transport_status::tls_failed;
    }
    return status ? status : transport_status::tls_failed;
}

int32_t tls_channel::send_some(int fd, const char* bytes, int32_t length, int64_t timeout_ms, int32_t& last_error)
{
    if (length <= 0 || !bytes || !ssl_ || failed_)
        return -1;
    const int rc = drive(fd, timeout_ms, [&] { return SSL_write(ssl_, bytes, length); }, last_error);
    if (rc > 0)
        return rc;
    if (rc == 0)
        last_error = transport_status::cannot_write;
    return -1;
}

int32_t tls_channel::receive(int fd, char* into, int32_t maximum, int64_t timeout_ms, int32_t& last_error)
{
    // The end or a failure met while gathering the previous call's bytes.
    if (failed_ && bare_close_)
        return 0;
    if (!ssl_ || failed_) {
        last_error = deferred_error_ ? deferred_error_ : transport_status::cannot_read;
        return -1;
    }
    if (clean_end_)
        return 0;
    const int rc = drive(fd, timeout_ms, [&] { return SSL_read(ssl_, into, maximum); }, last_error);
    if (rc > 0) {
        // A record holds at most 16 KiB: fill the buffer with the records
        // already there, without waiting, so a large buffer travels on as
        // one chunk instead of many.
        int32_t total = rc;
        while (total < maximum && !failed_ && !clean_end_) {
            int32_t why = 0;
            const int more = drive(fd, 0, [&] { return SSL_read(ssl_, into + total, maximum - total); }, why);
            if (more <= 0) {
                if (failed_)
                    deferred_error_ = why;
                break;
            }
            total += more;
        }
        return total;
    }
    if (rc == 0)
        return rc;
    if (rc == -2)
        return 0;
    // A bare close instead of close_notify: the end of the data all the
    // same, as servers that skip the TLS goodbye would otherwise fail every
    // transfer; a reset stays a failure.
    if (bare_close_)
        return 0;
    return -1;
}

void tls_channel::close_notify(int fd, int64_t timeout_ms)
{
    if (!ssl_ || failed_ || shut_ || !SSL_is_init_finished(ssl_))
        return;
    shut_ = true;
    int32_t ignored = 0;
    // 0 means ours went out and theirs has not come yet: that is enough.
    drive(fd, timeout_ms, [this] {
        const int rc = SSL_shutdown(ssl_);
        return rc < 0 ? rc : 1;
    }, ignored);
}

void tls_channel::await_peer_close(int fd, int64_t timeout_ms)
{
    using clock = std::chrono::steady_clock;
    const auto deadline = clock::now() + std::chrono::milliseconds(timeout_ms);
    char sink[4096];
    for (;;) {
        const int64_t left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - clock::now()).count();
        if (left <= 0)
            return;
        if (ssl_ && !failed_ && !clean_end_) {
            int32_t ignored = 0;
            if (receive(fd, sink, sizeof sink, left, ignored) <= 0 && !clean_end_ && !failed_)
                return;  // the time ran out
            continue;
        }
        if (wait_ready(fd, false, left) <= 0)
            return;
        const ssize_t n = ::recv(fd, sink, sizeof sink, MSG_DONTWAIT);
        if (n == 0 || (n < 0 && !try_again(errno)))
            return;
    }
}

bool tls_channel::verified() const
{
    return ssl_ && SSL_get_verify_result(ssl_) == X509_V_OK && SSL_get0_peer_certificate(ssl_);
}

std::string tls_channel::verify_reason() const
{
    if (!ssl_)
        return "no TLS connection";
    if (!SSL_get0_peer_certificate(ssl_))
        return "no certificate";
    return X509_verify_cert_error_string(SSL_get_verify_result(ssl_));
}

tls_certificate tls_channel::peer_certificate() const
{
    tls_certificate facts;
    const X509* cert = ssl_ ? SSL_get0_peer_certificate(ssl_) : nullptr;
    if (!cert)
        return facts;
    facts.subject = name_text(X509_get_subject_name(cert));
    facts.issuer = name_text(X509_get_issuer_name(cert));
    facts.not_before = time_text(X509_get0_notBefore(cert));
    facts.not_after = time_text(X509_get0_notAfter(cert));
    unsigned char digest[EVP_MAX_MD_SIZE];
    unsigned int length = 0;
    if (X509_digest(cert, EVP_sha256(), digest, &length) == 1) {
        static const char hex[] = "0123456789ABCDEF";
        for (unsigned int i = 0; i < length; ++i) {
            if (i)
                facts.sha256 += ':';
            facts.sha256 += hex[digest[i] >> 4];
            facts.sha256 += hex[digest[i] & 15];
        }
    }
    return facts;
}

bool tls_channel::resumed() const
{
    return ssl_ && SSL_session_reused(ssl_);
}

std::string tls_channel::version() const
{
    return ssl_ ? SSL_get_version(ssl_) : "";
}

std::string tls_channel::cipher() const
{
    return ssl_ ? SSL_get_cipher_name(ssl_) : "";
}

}  // namespace qvtf
