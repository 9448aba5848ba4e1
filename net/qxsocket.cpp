#include "net/qxsocket.h"

#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>

#include "net/tls_channel.h"

namespace qvtf {

namespace {

bool set_blocking(int fd, bool blocking)
{
    int flags = ::fcntl(fd, F_GETFL, 0);
    if (flags < 0)
        return false;
    flags = blocking ? (flags & ~O_NONBLOCK) : (flags | O_NONBLOCK);
    return ::fcntl(fd, F_SETFL, flags) == 0;
}

// Errors after which the connection is gone, as opposed to a local failure.
bool is_connection_lost(int e)
{
    switch (e) {
    case ECONNRESET:
    case ECONNABORTED:
    case ENETRESET:
    case ENOTCONN:
    case ESHUTDOWN:
    case ETIMEDOUT:
    case EPIPE: return true;
    default: return false;
    }
}

// How long receive waits for a closed peer to show again before counting
// the next empty read.
constexpr int64_t close_confirm_ms = 500;
// How long a close without draining waits for the peer's answer to our FIN.
constexpr int64_t close_linger_ms = 100;
// How long the TLS goodbye may wait for room to go out.
constexpr int64_t close_notify_ms = 5000;

}  // namespace

// Commands and replies are single small writes that each wait for an
// answer: Nagle's algorithm only adds a delayed-ACK round to them. Bulk
// sends are whole chunks, so nothing is lost there either.
void set_no_delay(int fd)
{
    int on = 1;
    ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
}

qxsocket::qxsocket() = default;

qxsocket::~qxsocket()
{
    close_handle();
}

void qxsocket::attach_tls(std::unique_ptr<tls_channel> channel)
{
    tls_ = std::move(channel);
}

void qxsocket::close_handle()
{
    tls_.reset();
    peer_ended_ = false;
    int fd = handle.exchange(-1);
    if (fd >= 0)
        ::close(fd);
}

bool qxsocket::create_handle(int family)
{
    return create_handle(family, false);
}

bool qxsocket::create_handle(int family, bool nonblocking)
{
    if (handle.load() >= 0)
        return true;
    int fd = ::socket(family, SOCK_STREAM | SOCK_CLOEXEC | (nonblocking ? SOCK_NONBLOCK : 0), IPPROTO_TCP);
    if (fd < 0) {
        last_error = transport_status::cannot_create;
        return false;
    }
    handle = fd;
    return true;
}

bool qxsocket::resolve(int32_t port, std::string_view host)
{
    if (!resolve_addresses(host, port, addresses)) {
        remote_address = {};
        last_error = transport_status::cannot_resolve;
        return false;
    }
    remote_address = addresses.front();
    return true;
}

bool qxsocket::connect_with_timeout()
{
    failures.clear();
    interrupted_ = false;
    // A handle made earlier keeps its one address.
    if (handle.load() >= 0 || addresses.empty())
        return connect_one(remote_address);
    for (const socket_address& address : addresses) {
        if (interrupted_)
            break;
        if (connect_one(address)) {
            remote_address = address;
            return true;
        }
        failures.push_back({address, last_error});
    }
    return false;
}

bool qxsocket::connect_one(const socket_address& address)
{
    if (address.empty()) {
        last_error = transport_status::cannot_resolve;
        return false;
    }
    // A handle made here starts non-blocking, with no other status flag.
    const bool fresh = handle.load() < 0;
    if (!create_handle(address.family(), true))
        return false;
    const int fd = handle.load();
    if (!fresh && !set_blocking(fd, false)) {
        last_error = transport_status::connect_error_base + errno;
        close_handle();
        return false;
    }
    int rc = ::connect(fd, address.get(), address.length);
    int error = 0;
    if (rc != 0 && errno == EISCONN) {
        rc = 0;  // connected before: nothing to wait for
    } else if (rc != 0 && errno != EINPROGRESS && errno != EINTR && errno != EALREADY) {
        // Failed before any packet went out (no route, bad address...).
        error = errno;
    } else if (rc != 0) {
        int w = wait_ready(fd, true, int64_t(connect_timeout_seconds) * 1000);
        if (w < 0) {
            error = errno;
        } else if (w == 0) {
            last_error = transport_status::timed_out;
            close_handle();
            return false;
        } else {
            // Writable also means failed: a refused connect is writable at once,
            // and its reason is the socket's pending error.
            socklen_t len = sizeof error;
            if (::getsockopt(fd, SOL_SOCKET, SO_ERROR, &error, &len) != 0)
                error = errno;
        }
    }
    if (error != 0) {
        last_error = transport_status::connect_error_base + error;
        close_handle();
        return false;
    }
    if (fresh)
        ::fcntl(fd, F_SETFL, 0);
    else
        set_blocking(fd, true);
    set_no_delay(fd);
    return true;
}

int32_t qxsocket::send_some(const char* bytes, int32_t length)
{
    const int fd = handle.load();
    if (length <= 0 || !bytes || fd < 0)
        return -1;
    if (tls_)
        return tls_->send_some(fd, bytes, length, timeout_ms(), last_error);
    using clock = std::chrono::steady_clock;
    const auto deadline = clock::now() + std::chrono::milliseconds(timeout_ms());
    // Never block inside send: writability only promises some room, and a
    // blocking send of a large block would wait past the time-out. When there
    // is room already, the send goes out without a wait first.
    for (;;) {
        ssize_t n = ::send(fd, bytes, static_cast<size_t>(length), MSG_DONTWAIT | MSG_NOSIGNAL);
        if (n >= 0 || (errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR))
            return static_cast<int32_t>(n);
        int64_t left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - clock::now()).count();
        int w = wait_ready(fd, true, std::max<int64_t>(left, 0));
        if (w < 0)
            return -1;
        if (w == 0) {
            last_error = transport_status::timed_out;
            return -1;
        }
    }
}

int32_t qxsocket::send_all(const char* bytes, int32_t length)
{
    int32_t total = 0;
    while (total < length) {
        int32_t n = send_some(bytes + total, length - total);
        if (n <= 0)
            return -1;
        total += n;
    }
    return length > 0 ? total : -1;
}

int32_t qxsocket::receive(qxval& value, int32_t maximum)
{
    value.set_bytes(nullptr, 0);
    const int fd = handle.load();
    if (fd < 0)
        return 0;
    if (maximum <= 0)
        maximum = default_receive_size;
    // Reuse the value's buffer when it is large enough; reads are hot.
    value.text.resize(maximum);
    if (value.text.length < maximum) {
        value.text.release();
        last_error = transport_status::unknown;
        return -1;
    }

    if (tls_) {
        const int32_t n = tls_->receive(fd, value.text.data, maximum, timeout_ms(), last_error);
        value.text.resize(n > 0 ? n : 0);
        return n;
    }
    int retries = 0;
    int32_t result = 0;
    // Data that is already there is read without a wait first: on a busy
    // transfer that halves the system calls and changes no outcome.
    bool wait_first = false;
    for (;;) {
        if (wait_first) {
            int w = wait_ready(fd, false, timeout_ms());
            if (w == 0) {
                last_error = transport_status::timed_out;
                result = 0;
                break;
            }
            if (w < 0) {
                if (retries > 0) {
                    last_error = transport_status::unknown;
                    result = -1;
                    break;
                }
                ++retries;
                continue;
            }
        }
        wait_first = true;
        ssize_t n = ::recv(fd, value.text.data, static_cast<size_t>(maximum), MSG_DONTWAIT);
        if (n < 0) {
            const int e = errno;
            if (e == EAGAIN || e == EWOULDBLOCK || e == EINPROGRESS || e == EINTR)
                continue;
            if (e == EMSGSIZE) {
                result = maximum;
                break;
            }
            last_error = is_connection_lost(e) ? transport_status::cannot_read : transport_status::unknown;
            result = -1;
            break;
        }
        if (n > 0) {
            result = static_cast<int32_t>(n);
            break;
        }
        // An empty read is confirmed twice more before it counts as the end.
        if (retries >= 2 || end_is_final) {
            peer_ended_ = true;
            result = 0;
            break;
        }
        ++retries;
        wait_ready(fd, false, close_confirm_ms);
    }
    value.text.resize(result > 0 ? result : 0);
    return result;
}

void qxsocket::close_gracefully(bool drain)
{
    const int fd = handle.load();
    if (fd < 0)
        return;
    if (peer_ended_ && !tls_) {
        close_handle();
        return;
    }
    if (tls_)
        tls_->close_notify(fd, std::min<int64_t>(timeout_ms(), close_notify_ms));
    ::shutdown(fd, SHUT_WR);
    if (drain) {
        qxval chunk;
        while (receive(chunk) > 0)
            drain_sink.push(chunk);
    } else if (tls_) {
        tls_->await_peer_close(fd, close_linger_ms);
    } else {
        // Give the peer a moment to answer our FIN, so the close does not
        // reset a connection it is still reading.
        wait_ready(fd, false, close_linger_ms);
    }
    close_handle();
}

void qxsocket::close_with_reset()
{
    const int fd = handle.load();
    if (fd < 0)
        return;
    linger abortive{1, 0};
    ::setsockopt(fd, SOL_SOCKET, SO_LINGER, &abortive, sizeof abortive);
    close_handle();
}

void qxsocket::interrupt()
{
    interrupted_ = true;
    const int fd = handle.load();
    if (fd >= 0)
        ::shutdown(fd, SHUT_RDWR);
}

bool qxsocket::local_socket_address(socket_address& out) const
{
    const int fd = handle.load();
    sockaddr_storage a{};
    socklen_t len = sizeof a;
    return fd >= 0 && ::getsockname(fd, reinterpret_cast<sockaddr*>(&a), &len) == 0 &&
           out.assign(reinterpret_cast<const sockaddr*>(&a), len);
}

void qxsocket::local_address(qxval& out) const
{
    socket_address a;
    if (!local_socket_address(a)) {
        out.set_bytes(nullptr, 0);
        return;
    }
    out.set_bytes(a.host_text());
}

int32_t qxsocket::local_port() const
{
    socket_address a;
    return local_socket_address(a) ? a.port() : -1;
}

void qxsocket::peer_address(qxval& out) const
{
    out.set_bytes(remote_address.host_text());
}

int32_t qxsocket::peer_port() const
{
    return remote_address.port();
}

}  // namespace qvtf
