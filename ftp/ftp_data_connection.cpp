#include "ftp/ftp_data_connection.h"

#include <ctime>

#include "core/ascii_back.h"
#include "core/ascii_forth.h"
#include "ftp/ftp_proxy.h"
#include "net/tls_channel.h"

namespace qvtf {

namespace {

int32_t now_seconds()
{
    return static_cast<int32_t>(std::time(nullptr));
}

std::unique_ptr<transformation> make_line_ends(qxarr* target)
{
    return std::make_unique<ascii_forth>(target);
}

std::unique_ptr<transformation> make_local_line_ends(qxarr* target)
{
    return std::make_unique<ascii_back>(target);
}

// The byte count checked against the listed size is the one on the wire:
// CR LF there is at least as long as the server's file, whichever line ends
// it keeps.
const ftp_converter_row converters[] = {
    {1, &make_line_ends},
    {1, &make_local_line_ends},
};

}  // namespace

int ftp_converter_count()
{
    return static_cast<int>(sizeof converters / sizeof converters[0]);
}

const ftp_converter_row& ftp_converter(int index)
{
    return converters[index];
}

int ftp_converter_index(int32_t type, int receiving)
{
    switch (type & 0xffff) {
    case transfer_ascii: return receiving ? 1 : 0;
    case transfer_converted: {
        const int row = (type >> 16) & 0xffff;
        return row < ftp_converter_count() ? row : -1;
    }
    default: return -1;
    }
}

ftp_data_connection::~ftp_data_connection()
{
    join_worker();
}

void ftp_data_connection::join_worker()
{
    if (worker_.joinable())
        worker_.join();
}

void ftp_data_connection::configure(qxpipe* transfer_pipe, int receive, int32_t type, int32_t timeout_seconds,
                                    transfer_progress* listener, const qxsocks_client* socks_template)
{
    pipe = transfer_pipe;
    on_caller = transfer_pipe == nullptr;
    receiving = receive;
    timeout = timeout_seconds;
    converter_index = ftp_converter_index(type, receive);
    ascii_ = (type & 0xffff) == transfer_ascii;
    progress = listener;
    if (socks_template) {
        // A copy, so the control connection's client keeps its socket and
        // destination.
        socks_copy_ = *socks_template;
        socks = &socks_copy_;
    }
}

int32_t ftp_data_connection::size_tolerance() const
{
    if (converter_index != -1)
        return ftp_converter(converter_index).size_tolerance;
    return ascii_ ? 1 : 0;
}

int ftp_data_connection::start_worker(void (ftp_data_connection::*body)())
{
    worker_ = run_pooled([this, body] { (this->*body)(); });
    return worker_.joinable() ? 0 : transport_status::startup_failed;
}

void ftp_data_connection::adopt(qxsocket* sock)
{
    std::lock_guard lock(socket_mutex_);
    data_socket = sock;
    if (sock)
        sock->end_is_final = true;
    if (aborted_ && sock)
        sock->interrupt();
}

bool ftp_data_connection::secure_here()
{
    if (!tls)
        return true;
    qxsocket* sock = nullptr;
    {
        std::lock_guard lock(socket_mutex_);
        sock = data_socket;
    }
    if (!sock) {
        fail_side();
        return false;
    }
    sock->set_timeout(timeout, 0);
    auto channel = std::make_unique<tls_channel>(*tls, true);
    const int32_t status = channel->handshake(sock->handle.load(), tls_host, true, sock->timeout_ms());
    if (status) {
        tls_error = channel->error_text();
        fail_side(status);
        return false;
    }
    tls_resumed = channel->resumed();
    // A server that does not resume might be another one than the control
    // connection's: its certificate must be the one already judged.
    if (!tls_resumed && channel->peer_certificate().sha256 != tls_fingerprint) {
        fail_side(transport_status::tls_untrusted);
        return false;
    }
    sock->attach_tls(std::move(channel));
    return true;
}

void ftp_data_connection::fail_side(int32_t why)
{
    if (!why) {
        const qxsocket* sock = data_socket ? data_socket : outgoing.get();
        why = sock && sock->last_error ? sock->last_error : transport_status::timed_out;
    }
    failure = why;
    close_sockets();
    raise(failed_bits());
}

void ftp_data_connection::raise(uint32_t bits)
{
    if (pipe)
        pipe->raise(bits);
    else
        own_bits |= bits;
}

bool ftp_data_connection::given_up(uint32_t bits) const
{
    if (pipe)
        return pipe->any(bits);
    return (own_bits & bits) != 0 || stopped_here();
}

bool ftp_data_connection::stopped_here() const
{
    if (stop_token && stop_token->requested())
        return true;
    std::lock_guard lock(socket_mutex_);
    return aborted_;
}

void ftp_data_connection::close_sockets()
{
    std::lock_guard lock(socket_mutex_);
    // A stopped transfer wants nothing more: a reset ends the server's side
    // at once. A graceful close can leave a server that still sends facing
    // our closed window, and its final reply stays away until our time-out.
    for (qxsocket* socket : {data_socket, static_cast<qxsocket*>(outgoing.get()), accepted_.get()}) {
        if (!socket)
            continue;
        if (aborted_)
            socket->close_with_reset();
        else
            socket->close_gracefully(false);
    }
}

void ftp_data_connection::abort_socket()
{
    std::lock_guard lock(socket_mutex_);
    aborted_ = true;
    if (data_socket)
        data_socket->interrupt();
    else if (outgoing)
        outgoing->interrupt();
}

void ftp_data_connection::transfer_loop()
{
    start_time = now_seconds();
    data_socket->set_timeout(timeout, 0);
    if (receiving)
        receive_loop();
    else
        send_loop();
    end_time = now_seconds();
    close_sockets();
    pipe->raise(done_bit());
}

void ftp_data_connection::report_progress()
{
    if (progress && !given_up(pipe_stop))
        progress->on_progress(bytes_transferred.load(), now_seconds() - start_time);
}

bool ftp_data_connection::drain_into_pipe(qxarr& chunks)
{
    qxval chunk;
    while (chunks.shift(chunk)) {
        if (pipe->status() != 0 || !pipe->push_waiting(chunk, ~0u))
            return false;
    }
    return true;
}

transformation* ftp_data_connection::line_converter()
{
    if (!converter_ && converter_index != -1)
        converter_ = ftp_converter(converter_index).make(&produced_);
    return converter_.get();
}

void ftp_data_connection::receive_loop()
{
    // The connection's own converter: a listing begun on the calling thread
    // continues here with the line end it left half seen.
    transformation* const converter = line_converter();
    qxarr& produced = produced_;
    const int32_t size = pipe->chunk_size();
    qxval chunk;
    while (pipe->status() == 0) {
        pipe->make_chunk(chunk, size);
        data_socket->last_error = 0;
        const int32_t n = data_socket->receive(chunk, size);
        if (n < 1) {
            // Only the peer's orderly close is the end of the data. A reset,
            // a receive error or silence past the time-out fails the
            // transfer, whatever the server's final reply says.
            const bool timed_out = n == 0 && data_socket->last_error == transport_status::timed_out;
            if ((n < 0 || timed_out) && !pipe->any(pipe_stop)) {
                failure = data_socket->last_error ? data_socket->last_error : transport_status::cannot_read;
                pipe->raise(pipe_producer_failed);
            }
            break;
        }
        if (converter) {
            converter->feed(chunk);
            const int r = converter->run();
            if (r != 0 && r != 2) {
                pipe->raise(pipe_producer_failed);
                break;
            }
        }
        if (pipe->status() != 0)
            break;
        if (converter) {
            if (!drain_into_pipe(produced))
                break;
        } else if (!pipe->push_waiting(chunk, ~0u)) {
            break;
        }
        bytes_transferred += n;
        report_progress();
    }
    if (converter && pipe->status() == 0) {
        converter->end_input();
        if (converter->run() != 2)
            pipe->raise(pipe_producer_failed);
        else
            drain_into_pipe(produced);
    }
}

bool ftp_data_connection::send_chunks(qxarr& chunks)
{
    qxval chunk;
    while (chunks.shift(chunk)) {
        const int32_t n = chunk.text_view().length;
        if (n == 0)
            continue;
        if (data_socket->send_all(chunk.text.data, n) != n)
            return false;
        bytes_transferred += n;
    }
    return true;
}

void ftp_data_connection::send_loop()
{
    const uint32_t stop = pipe_stop | pipe_consumer_done | pipe_consumer_failed;
    std::unique_ptr<transformation> converter;
    qxarr produced;
    if (converter_index != -1)
        converter = ftp_converter(converter_index).make(&produced);
    qxval chunk;
    bool failed = false;
    while (!failed && !pipe->any(stop)) {
        uint32_t seen = 0;
        while (pipe->shift_or_status(chunk, seen)) {
            const int32_t n = chunk.text.length;
            if (n > 0) {
                if (converter) {
                    converter->feed(chunk);
                    const int r = converter->run();
                    failed = (r != 0 && r != 2) || !send_chunks(produced);
                } else if (data_socket->send_all(chunk.text.data, n) == n) {
                    bytes_transferred += n;
                    pipe->recycle(chunk);
                } else {
                    failed = true;
                }
                if (failed)
                    break;
                report_progress();
            }
            if (pipe->any(stop))
                break;
        }
        if (failed || (seen & (pipe_producer_done | stop)))
            break;
        pipe->wait_for_chunk(stop | pipe_producer_done);
    }
    if (failed) {
        failure = data_socket->last_error ? data_socket->last_error : transport_status::cannot_write;
        pipe->raise(pipe_consumer_failed);
        return;
    }
    if (pipe->status() & (pipe_producer_failed & ~pipe_producer_done)) {
        // The local file could not be read to its end: a reset, not an
        // orderly close, so the server does not take the part for the whole.
        std::lock_guard lock(socket_mutex_);
        data_socket->close_with_reset();
        return;
    }
    if (converter && !pipe->any(stop)) {
        converter->end_input();
        if (converter->run() != 2 || !send_chunks(produced))
            pipe->raise(pipe_consumer_failed);
    }
}

}  // namespace qvtf
