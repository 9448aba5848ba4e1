#include "net/qx_inet_server.h"

#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>

namespace qvtf {

qx_inet_server::qx_inet_server()
{
    parse_numeric_address("0.0.0.0", 0, local);
}

bool qx_inet_server::set_local_address(std::string_view numeric)
{
    socket_address address;
    if (!parse_numeric_address(numeric, 0, address))
        return false;
    local = address;
    return true;
}

qx_inet_server::~qx_inet_server()
{
    int fd = handle.exchange(-1);
    if (fd >= 0)
        ::close(fd);
}

void qx_inet_server::interrupt()
{
    const int fd = handle.load();
    if (fd >= 0)
        ::shutdown(fd, SHUT_RDWR);
}

bool qx_inet_server::listen_on(int32_t new_port)
{
    port = new_port;
    if (handle.load() < 0) {
        int fd = ::socket(local.family(), SOCK_STREAM | SOCK_CLOEXEC, IPPROTO_TCP);
        if (fd < 0) {
            last_error = transport_status::cannot_create;
            return false;
        }
        // Lets a port whose last connection is in TIME_WAIT be bound again; on
        // this platform it does not allow sharing a port someone listens on.
        int one = 1;
        ::setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
        handle = fd;
    }
    const int fd = handle.load();
    local.set_port(port);
    if (::bind(fd, local.get(), local.length) != 0 || ::listen(fd, listen_backlog) != 0) {
        last_error = transport_status::unknown;
        return false;
    }
    return true;
}

std::unique_ptr<qxsocket> qx_inet_server::accept_one()
{
    const int listener = handle.load();
    if (wait_ready(listener, false, timeout_ms()) <= 0)
        return nullptr;
    auto s = std::make_unique<qxsocket>();
    sockaddr_storage peer{};
    socklen_t len = sizeof peer;
    int fd = ::accept4(listener, reinterpret_cast<sockaddr*>(&peer), &len, SOCK_CLOEXEC);
    if (fd < 0)
        return nullptr;
    s->handle = fd;
    set_no_delay(fd);
    if (!s->remote_address.assign(reinterpret_cast<const sockaddr*>(&peer), len) || checker.is_refused(s->remote_address))
        return nullptr;  // destroying the socket closes the connection
    s->set_timeout(accepted_timeout, 0);
    return s;
}

int32_t qx_inet_server::local_port() const
{
    sockaddr_storage a{};
    socklen_t len = sizeof a;
    const int fd = handle.load();
    socket_address bound;
    if (fd < 0 || ::getsockname(fd, reinterpret_cast<sockaddr*>(&a), &len) != 0 ||
        !bound.assign(reinterpret_cast<const sockaddr*>(&a), len))
        return -1;
    return bound.port();
}

}  // namespace qvtf
