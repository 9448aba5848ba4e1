// Setting up a data connection (TYPE, PASV or PORT) and taking it down
// once both ends of the pipe have finished.
#include <chrono>

#include "ftp/ftp_data_connection.h"
#include "ftp/ftp_proxy.h"

namespace qvtf {

namespace {

constexpr std::chrono::milliseconds finish_step{100};
constexpr std::chrono::milliseconds port_failure_step{50};

// Waits on the pipe until bits show; each wait is bounded by step so the
// caller can look at its own state in between.
template <class Each>
void wait_for(qxpipe& pipe, uint32_t bits, std::chrono::milliseconds step, Each each)
{
    while (!pipe.any(bits)) {
        each();
        pipe.wait_for_status(bits, step);
    }
}

constexpr int phrase_pasv_address_replaced = 520;

// The facts the connection recorded become the session's, once it has ended.
void take_over_facts(ftp_control& s, const ftp_data_connection& connection)
{
    s.bytes_transferred = connection.bytes_transferred.load();
    s.data_failure = connection.failure.load();
    s.start_time = connection.start_time.load() ? connection.start_time.load() : s.start_time;
    s.end_time = connection.end_time.load() ? connection.end_time.load() : s.end_time;
    if (s.passive_data) {
        if (connection.local_port > 0) {
            s.local_address = connection.connected_address;
            s.next_port = connection.local_port;
        }
    } else if (connection.peer_port > 0) {
        s.local_address = connection.connected_address;
        s.data_host = connection.peer_host;
        s.data_port = connection.peer_port;
    }
}


}  // namespace

void ftp_control::aim_passive_connection(bool via_socks)
{
    if (trust_pasv_address)
        return;
    // The data connection goes where the control connection goes: a reply
    // naming another host would let the server aim our data at a third
    // party, or hand us a third party's data.
    qxval own;
    if (via_socks)
        own = host;
    else
        control_socket.peer_address(own);
    if (own.view() == data_host.view())
        return;
    log(log_info, std::string(phrase(phrase_pasv_address_replaced)) + data_host.str() + " -> " + own.str() + "\r\n");
    data_host = own;
}

int ftp_control::prepare_data_connection(int receiving, int32_t type, bool on_caller)
{
    abort_data = 0;
    if (int status = set_type(type))
        return status;
    // A refused PASV may switch this session to PORT (allow_passive_drop_to_port).
    if (passive) {
        if (int status = send_pasv())
            return status;
    }
    qxpipe* transfer_pipe = nullptr;
    if (!on_caller) {
        std::lock_guard lock(critical_section());
        pipe = std::make_unique<qxpipe>();
        transfer_pipe = pipe.get();
    }
    control_socket.local_address(local_address);
    const bool via_socks = proxy && proxy->is_socks();

    auto destroy = [this] {
        std::lock_guard lock(critical_section());
        passive_data.reset();
        active_data.reset();
        pipe.reset();
    };
    // The connection is stored under the lock first, so an abort from
    // another thread finds it; a logout in between or a failed start takes
    // everything down again.
    auto install_and_start = [&](auto& slot, auto connection) -> int {
        auto* started = connection.get();
        {
            std::lock_guard lock(critical_section());
            slot = std::move(connection);
        }
        int status = logged_in ? started->start() : status_not_connected;
        if (status)
            destroy();
        return status;
    };

    if (passive) {
        next_port = 0;
        auto connection = std::make_unique<ftp_data_passive>();
        connection->configure(*this, transfer_pipe, receiving, type);
        aim_passive_connection(via_socks);
        if (!via_socks) {
            connection->remote_host = data_host;
            connection->remote_port = data_port;
        } else {
            connection->socks->destination_host = data_host;
            connection->socks->destination_port = static_cast<uint16_t>(data_port);
            connection->remote_host = proxy->proxy_host;
            connection->remote_port = proxy->proxy_port;
        }
        return install_and_start(passive_data, std::move(connection));
    }

    data_host.set_string("");
    data_port = 0;
    auto connection = std::make_unique<ftp_data_active>();
    connection->configure(*this, transfer_pipe, receiving, type);
    connection->local_address = local_address;
    connection->accept_tries = accept_tries;
    next_port = next_port != 0 ? next_port + 1 : control_socket.local_port();
    if (next_port > 65535 || next_port < 1)
        next_port = 1025;
    connection->first_port = next_port;
    if (via_socks) {
        connection->remote_host = proxy->proxy_host;
        connection->remote_port = proxy->proxy_port;
        // BIND names the site the server connects from.
        connection->socks->destination_host = host;
        connection->socks->destination_port = static_cast<uint16_t>(port);
    }
    ftp_data_active* started = connection.get();
    if (int status = install_and_start(active_data, std::move(connection)))
        return status;
    next_port = started->local_port;
    const int status = send_port(started->local_address, started->local_port);
    if (status == status_ok)
        return status_ok;
    // The worker is already waiting for a connection that will not come.
    started->abort_socket();
    if (transfer_pipe) {
        transfer_pipe->raise(pipe_stop);
        wait_for(*transfer_pipe, started->done_bit(), port_failure_step, [] {});
    }
    destroy();
    return status;
}

int ftp_control::finish_transfer(int receiving)
{
    return finish_transfer(receiving, nullptr);
}

int ftp_control::finish_transfer(int receiving, pooled_job* local_side)
{
    qxpipe* transfer_pipe = pipe.get();
    if (!transfer_pipe) {
        // A connection on the calling thread has ended already.
        std::lock_guard lock(critical_section());
        auto* connection = static_cast<ftp_data_connection*>(passive_data ? passive_data.get() : active_data.get());
        if (!connection)
            return status_ok;
        take_over_facts(*this, *connection);
        pipe_flags_at_end = connection->own_bits;
        passive_data.reset();
        active_data.reset();
        return status_ok;
    }
    const uint32_t connection_done = receiving ? pipe_producer_done : pipe_consumer_done;
    const uint32_t other_done = receiving ? pipe_consumer_done : pipe_producer_done;
    wait_for(*transfer_pipe, connection_done, finish_step, [&] {
        if (abort_data)
            transfer_pipe->raise(pipe_stop);
    });
    {
        std::lock_guard lock(critical_section());
        auto* connection = static_cast<ftp_data_connection*>(passive_data ? passive_data.get() : active_data.get());
        if (connection)
            take_over_facts(*this, *connection);
        passive_data.reset();
        active_data.reset();
    }
    wait_for(*transfer_pipe, other_done, finish_step, [] {});
    // The other side may still be inside its last raise on the pipe.
    if (local_side && local_side->joinable())
        local_side->join();
    std::lock_guard lock(critical_section());
    pipe_flags_at_end = pipe->status();
    pipe.reset();
    return status_ok;
}

}  // namespace qvtf
