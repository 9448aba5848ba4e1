// Setting up a data connection (TYPE, EPSV/PASV or EPRT/PORT) and taking it down
// once both ends of the pipe have finished.
#include <chrono>
#include <ctime>

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
constexpr int phrase_data_tls_failed = 1010;
constexpr int phrase_data_certificate_differs = 1011;

}  // namespace

void ftp_control::take_over_facts(const ftp_data_connection& connection)
{
    bytes_transferred_ = connection.bytes_transferred.load();
    data_failure_ = connection.failure.load();
    start_time_ = connection.start_time.load() ? connection.start_time.load() : start_time_;
    end_time_ = connection.end_time.load() ? connection.end_time.load() : end_time_;
    if (data_failure_ == transport_status::tls_untrusted)
        log(log_error, std::string(phrase(phrase_data_certificate_differs)) + "\r\n");
    else if (!connection.tls_error.empty())
        log(log_error, std::string(phrase(phrase_data_tls_failed)) + connection.tls_error + "\r\n");
    if (passive_data_) {
        if (connection.local_port > 0) {
            local_address_ = connection.connected_address;
            next_port_ = connection.local_port;
        }
    } else if (connection.peer_port > 0) {
        local_address_ = connection.connected_address;
        data_host_ = connection.peer_host;
        data_port_ = connection.peer_port;
    }
}

void ftp_control::aim_passive_connection(bool via_socks)
{
    if (options_.trust_pasv_address)
        return;
    // The data connection goes where the control connection goes: a reply
    // naming another host would let the server aim our data at a third
    // party, or hand us a third party's data.
    qxval own;
    if (via_socks)
        own = site_.host;
    else
        control_socket_.peer_address(own);
    if (own.view() == data_host_.view())
        return;
    log(log_info, std::string(phrase(phrase_pasv_address_replaced)) + data_host_.str() + " -> " + own.str() + "\r\n");
    data_host_ = own;
}

remote_result ftp_control::prepare_data_connection(int receiving, int32_t type, transfer_progress* progress,
                                                   bool on_caller)
{
    // A stop that came before the connection exists ends the work here.
    if (stopped())
        return status_stopped;
    if (remote_result status = set_type(type); !status.ok())
        return status;
    // A refused PASV may switch this session to PORT (allow_passive_drop_to_port).
    if (passive_) {
        if (remote_result status = request_passive(); !status.ok())
            return status;
    }
    qxpipe* transfer_pipe = nullptr;
    if (!on_caller) {
        std::lock_guard lock(data_mutex_);
        pipe_ = std::make_unique<qxpipe>();
        transfer_pipe = pipe_.get();
    }
    control_socket_.local_address(local_address_);
    const bool via_socks = site_.proxy && site_.proxy->is_socks();
    const qxsocks_client* socks = via_socks ? &socks_client_ : nullptr;
    start_time_ = end_time_ = static_cast<int32_t>(std::time(nullptr));

    auto destroy = [this] {
        std::lock_guard lock(data_mutex_);
        passive_data_.reset();
        active_data_.reset();
        pipe_.reset();
    };
    // The connection is stored under the lock first, so a stop from
    // another thread finds it; a logout in between or a failed start takes
    // everything down again.
    const connection_security protection = security();
    auto install_and_start = [&](auto& slot, auto connection) -> remote_result {
        auto* started = connection.get();
        if (protection.data_protected) {
            started->tls = tls_context_;
            started->tls_host = site_.host.str();
            started->tls_fingerprint = protection.certificate.sha256;
        }
        size_tolerance_ = connection->size_tolerance();
        {
            std::lock_guard lock(data_mutex_);
            slot = std::move(connection);
        }
        const int status = logged_in() ? started->start() : int(status_not_connected);
        if (status)
            destroy();
        return status;
    };

    if (passive_) {
        next_port_ = 0;
        auto connection = std::make_unique<ftp_data_passive>();
        connection->configure(transfer_pipe, receiving, type, options_.timeout, progress, socks);
        connection->stop_token = &stop_;
        aim_passive_connection(via_socks);
        if (!via_socks) {
            connection->remote_host = data_host_;
            connection->remote_port = data_port_;
        } else {
            connection->socks->destination_host = data_host_;
            connection->socks->destination_port = static_cast<uint16_t>(data_port_);
            connection->remote_host = site_.proxy->proxy_host;
            connection->remote_port = site_.proxy->proxy_port;
        }
        return install_and_start(passive_data_, std::move(connection));
    }

    data_host_.set_string("");
    data_port_ = 0;
    auto connection = std::make_unique<ftp_data_active>();
    connection->configure(transfer_pipe, receiving, type, options_.timeout, progress, socks);
    connection->stop_token = &stop_;
    connection->local_address = local_address_;
    connection->accept_tries = options_.accept_tries;
    next_port_ = next_port_ != 0 ? next_port_ + 1 : control_socket_.local_port();
    if (next_port_ > 65535 || next_port_ < 1)
        next_port_ = 1025;
    connection->first_port = next_port_;
    if (via_socks) {
        connection->remote_host = site_.proxy->proxy_host;
        connection->remote_port = site_.proxy->proxy_port;
        // BIND names the site the server connects from.
        connection->socks->destination_host = site_.host;
        connection->socks->destination_port = static_cast<uint16_t>(site_.port);
    }
    ftp_data_active* started = connection.get();
    if (remote_result status = install_and_start(active_data_, std::move(connection)); !status.ok())
        return status;
    next_port_ = started->local_port;
    remote_result status = request_active(started->local_address, started->local_port);
    if (status.ok())
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

void ftp_control::finish_transfer(int receiving, pooled_job* local_side)
{
    qxpipe* transfer_pipe = pipe_.get();
    if (!transfer_pipe) {
        // A connection on the calling thread has ended already.
        std::lock_guard lock(data_mutex_);
        auto* connection = static_cast<ftp_data_connection*>(passive_data_ ? passive_data_.get() : active_data_.get());
        if (!connection)
            return;
        take_over_facts(*connection);
        pipe_flags_at_end_ = connection->own_bits;
        passive_data_.reset();
        active_data_.reset();
        return;
    }
    const uint32_t connection_done = receiving ? pipe_producer_done : pipe_consumer_done;
    const uint32_t other_done = receiving ? pipe_consumer_done : pipe_producer_done;
    wait_for(*transfer_pipe, connection_done, finish_step, [&] {
        if (stopped())
            transfer_pipe->raise(pipe_stop);
    });
    {
        std::lock_guard lock(data_mutex_);
        auto* connection = static_cast<ftp_data_connection*>(passive_data_ ? passive_data_.get() : active_data_.get());
        if (connection)
            take_over_facts(*connection);
        passive_data_.reset();
        active_data_.reset();
    }
    wait_for(*transfer_pipe, other_done, finish_step, [] {});
    // The other side may still be inside its last raise on the pipe.
    if (local_side && local_side->joinable())
        local_side->join();
    std::lock_guard lock(data_mutex_);
    pipe_flags_at_end_ = pipe_->status();
    pipe_.reset();
}

}  // namespace qvtf
