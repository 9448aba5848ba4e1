// PORT: the worker waits for the server to connect to a port of ours, or,
// through a SOCKS proxy, to the port the proxy's BIND opened for us.
#include "ftp/ftp_data_connection.h"

#include <sys/socket.h>

namespace qvtf {

namespace {
constexpr int port_attempts = 100;
constexpr int32_t lowest_retry_port = 1025;
}  // namespace

int ftp_data_active::start()
{
    if (!socks) {
        server = std::make_unique<qx_inet_server>();
        // Listen only where the control connection is, not on every address,
        // and so in its address family.
        server->set_local_address(local_address.view());
        int32_t port = first_port;
        bool listening = false;
        for (int attempt = 0; attempt < port_attempts && !listening; ++attempt) {
            listening = server->listen_on(port);
            if (!listening && ++port > 65535)
                port = lowest_retry_port;
        }
        if (!listening)
            return status_no_local_port;
        server->set_timeout(1, 0);
        local_port = server->local_port();
    } else {
        outgoing = std::make_unique<qx_inet_client>();
        socks->socket = outgoing.get();
        if (!outgoing->resolve(remote_port, remote_host))
            return outgoing->last_error ? outgoing->last_error : transport_status::cannot_resolve;
        if (!outgoing->connect_with_timeout())
            return outgoing->last_error ? outgoing->last_error : transport_status::timed_out;
        qxval bound_host;
        int32_t bound_port = 0;
        if (int32_t status = socks->socks_bind(bound_host, bound_port))
            return status;
        // A proxy that answers "any address" listens where we reached it.
        if (bound_host.view() == "0.0.0.0" || bound_host.view() == "::" || bound_host.view().empty())
            outgoing->peer_address(bound_host);
        local_address = bound_host;
        local_port = bound_port;
    }
    // On the calling thread the server's connection is awaited in run_here.
    if (on_caller)
        return status_ok;
    return start_worker(static_cast<void (ftp_data_connection::*)()>(&ftp_data_active::accept_worker));
}

bool ftp_data_active::accept_in()
{
    if (socks) {
        if (socks->socks_accept() == 0)
            adopt(outgoing.get());
    } else {
        // Stop waiting on an abort or when the other side failed. A finished
        // file side is no reason: a small upload is read into the pipe and
        // done before the server has connected.
        const uint32_t give_up = pipe_stop | (receiving ? 32u : 2u);
        for (int attempt = 0; attempt < accept_tries && !given_up(give_up); ++attempt) {
            if (auto sock = server->accept_one()) {
                accepted_ = std::move(sock);
                adopt(accepted_.get());
                break;
            }
        }
    }
    if (!data_socket || given_up(pipe_stop)) {
        fail_side();
        return false;
    }
    data_socket->local_address(connected_address);
    data_socket->peer_address(peer_host);
    peer_port = data_socket->peer_port();
    return true;
}

void ftp_data_active::accept_worker()
{
    // We are the TLS client on the accepted socket too.
    if (accept_in() && secure_here())
        transfer_loop();
}

bool ftp_data_active::reach_peer_here()
{
    return accept_in();
}

void ftp_data_active::close_sockets()
{
    ftp_data_connection::close_sockets();
    std::lock_guard lock(socket_mutex_);
    server.reset();
}

void ftp_data_active::abort_socket()
{
    ftp_data_connection::abort_socket();
    std::lock_guard lock(socket_mutex_);
    // Shutting a listening socket down ends the wait in accept at once.
    if (server && server->handle >= 0)
        ::shutdown(server->handle, SHUT_RDWR);
}

}  // namespace qvtf
