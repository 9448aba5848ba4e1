#include "net/qx_inet_server.h"

#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>

namespace qvtf {

qx_inet_server::qx_inet_server()
{
    local.sin_family = AF_INET;
    local.sin_addr.s_addr = htonl(INADDR_ANY);
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
        int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, IPPROTO_TCP);
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
    local.sin_family = AF_INET;
    local.sin_port = htons(static_cast<uint16_t>(port));
    if (::bind(fd, reinterpret_cast<const sockaddr*>(&local), sizeof local) != 0 || ::listen(fd, listen_backlog) != 0) {
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
    socklen_t len = sizeof s->remote_address;
    int fd = ::accept4(listener, reinterpret_cast<sockaddr*>(&s->remote_address), &len, SOCK_CLOEXEC);
    if (fd < 0)
        return nullptr;
    s->handle = fd;
    set_no_delay(fd);
    if (checker.is_refused(s->remote_address.sin_addr.s_addr))
        return nullptr;  // destroying the socket closes the connection
    s->set_timeout(accepted_timeout, 0);
    return s;
}

int32_t qx_inet_server::local_port() const
{
    sockaddr_in a{};
    socklen_t len = sizeof a;
    const int fd = handle.load();
    if (fd < 0 || ::getsockname(fd, reinterpret_cast<sockaddr*>(&a), &len) != 0)
        return -1;
    return ntohs(a.sin_port);
}

}  // namespace qvtf
