// PASV: the worker connects out to the address the server gave, directly
// or through the SOCKS proxy's CONNECT.
#include "ftp/ftp_data_connection.h"

namespace qvtf {

int ftp_data_passive::start()
{
    outgoing = std::make_unique<qx_inet_client>();
    if (socks)
        socks->socket = outgoing.get();
    if (!outgoing->resolve(remote_port, remote_host))
        return outgoing->last_error ? outgoing->last_error : transport_status::cannot_resolve;
    if (on_caller) {
        // Before the command: some servers confirm it only once connected.
        // A failed connect fails the side, and the command still goes out
        // as it does with a worker, so the server's reply is read in step.
        connect_out();
        return status_ok;
    }
    return start_worker(static_cast<void (ftp_data_connection::*)()>(&ftp_data_passive::connect_worker));
}

bool ftp_data_passive::connect_out()
{
    {
        std::lock_guard lock(socket_mutex_);
        if (aborted_) {
            raise(failed_bits());
            return false;
        }
    }
    if (!outgoing->connect_with_timeout() || (socks && socks->socks_connect() != 0)) {
        fail_side();
        return false;
    }
    adopt(outgoing.get());
    // One look at the bound address gives both.
    socket_address bound;
    if (data_socket->local_socket_address(bound)) {
        connected_address.set_bytes(bound.host_text());
        local_port = bound.port();
    } else {
        connected_address.set_bytes(nullptr, 0);
        local_port = -1;
    }
    return true;
}

void ftp_data_passive::connect_worker()
{
    if (connect_out() && secure_here())
        transfer_loop();
}

}  // namespace qvtf
