#include "net/qx_inet_server.h"

#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>

namespace qvtf {

qx_inet_server::qx_inet_server() {
    local.sin_family = AF_INET;
    local.sin_addr.s_addr = htonl(INADDR_ANY);
}

qx_inet_server::~qx_inet_server() {
    if (handle >= 0)
        ::close(handle);
}

bool qx_inet_server::listen_on(int32_t new_port) {
    port = new_port;
    if (handle < 0) {
        handle = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, IPPROTO_TCP);
        if (handle < 0) {
            last_error = transport_status::cannot_create;
            return false;
        }
        // Lets a port whose last connection is in TIME_WAIT be bound again; on
        // this platform it does not allow sharing a port someone listens on.
        int one = 1;
        ::setsockopt(handle, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
    }
    local.sin_family = AF_INET;
    local.sin_port = htons(static_cast<uint16_t>(port));
    if (::bind(handle, reinterpret_cast<const sockaddr*>(&local), sizeof local) != 0 ||
        ::listen(handle, listen_backlog) != 0) {
        last_error = transport_status::unknown;
        return false;
    }
    return true;
}

std::unique_ptr<qxsocket> qx_inet_server::accept_one() {
    if (wait_ready(handle, false, timeout_ms()) <= 0)
        return nullptr;
    auto s = std::make_unique<qxsocket>();
    socklen_t len = sizeof s->remote_address;
    int fd = ::accept4(handle, reinterpret_cast<sockaddr*>(&s->remote_address), &len, SOCK_CLOEXEC);
    if (fd < 0)
        return nullptr;
    s->handle = fd;
    if (checker.is_refused(s->remote_address.sin_addr.s_addr))
        return nullptr;  // destroying the socket closes the connection
    s->set_timeout(accepted_timeout, 0);
    return s;
}

int32_t qx_inet_server::local_port() const {
    sockaddr_in a{};
    socklen_t len = sizeof a;
    if (handle < 0 || ::getsockname(handle, reinterpret_cast<sockaddr*>(&a), &len) != 0)
        return -1;
    return ntohs(a.sin_port);
}

}  // namespace qvtf
