#pragma once
// A listening socket (IPv4 or IPv6) that accepts one connection at a time,
// waiting at most the server's time-out, and admits the peer through an
// ip_checker.

#include <atomic>
#include <cstdint>
#include <memory>
#include <string_view>

#include "net/archaic_socket.h"
#include "net/ip_checker.h"
#include "net/qxsocket.h"
#include "net/socket_address.h"

namespace qvtf {

class qx_inet_server : public archaic_socket {
public:
    static constexpr int listen_backlog = 5;

    int32_t port = 0;  // host order
    int32_t last_error = 0;
    ip_checker checker;
    int32_t accepted_timeout = 60;  // seconds, given to each accepted socket
    std::atomic<int> handle{-1};    // atomic so another thread may interrupt()
    // Bound address: any IPv4 address by default, the port filled in by
    // listen_on. Its family is the listening socket's.
    socket_address local;

    qx_inet_server();
    qx_inet_server(const qx_inet_server&) = delete;
    qx_inet_server& operator=(const qx_inet_server&) = delete;
    ~qx_inet_server() override;

    // Listens on this numeric address (IPv4 or IPv6) instead; false, and
    // nothing changed, for text that is no address.
    bool set_local_address(std::string_view numeric);
    // Binds to the port (0: one the system picks) and listens. False when
    // the handle cannot be made (1001) or bind or listen fail (1100).
    bool listen_on(int32_t port);
    // The next admitted connection, or null after a time-out, a failed
    // accept, or a refused peer.
    std::unique_ptr<qxsocket> accept_one();
    // Ends a pending accept_one from another thread (it returns null); the
    // listening handle stays open until destruction.
    void interrupt();
    // The port actually bound (useful after listen_on(0)); -1 without a handle.
    int32_t local_port() const;
};

}  // namespace qvtf
