// A data connection on the calling thread: the transfer's own thread moves
// the bytes between the data socket and the local file (or a listing's
// pipe), waiting on the socket's readiness. The failures, their bits and
// the progress are those of the two-sided transfer; only the threads are
// fewer.
#include <cerrno>
#include <ctime>

#include "ftp/ftp_data_connection.h"

namespace qvtf {

// Where the calling thread puts what it receives.
class ftp_inline_sink {
public:
    virtual ~ftp_inline_sink() = default;
    // 0 when the chunk is kept, else the errno why it cannot be.
    virtual int take(qxval& chunk) = 0;
    // True when the receiving should go on on another thread.
    virtual bool full() const { return false; }
};

namespace {

// Reads and sends of this size: a few of them carry a small file.
constexpr int32_t inline_chunk = 65536;

int32_t now_seconds()
{
    return static_cast<int32_t>(std::time(nullptr));
}

class file_sink : public ftp_inline_sink {
public:
    explicit file_sink(file_handle file) : file_(file) {}
    int take(qxval& chunk) override
    {
        const int32_t n = chunk.text.length;
        errno = 0;
        // A short write sets no errno; write_file tried again first.
        if (n > 0 && write_file(chunk, n, file_) != n)
            return errno ? errno : ENOSPC;
        return 0;
    }

private:
    file_handle file_;
};

// A listing's pipe before its reader exists: chunks queue without a wait
// until the budget is reached.
class gathering_sink : public ftp_inline_sink {
public:
    explicit gathering_sink(qxpipe& pipe) : pipe_(pipe) {}
    int take(qxval& chunk) override
    {
        pipe_.push(chunk);
        return 0;
    }
    bool full() const override { return pipe_.queued_bytes() >= pipe_.budget; }

private:
    qxpipe& pipe_;
};

}  // namespace

void ftp_data_connection::run_here(file_handle file, bool set_time, std::time_t stamp)
{
    const uint32_t file_done = receiving ? pipe_consumer_done : pipe_producer_done;
    if (!given_up(failed_bits() | pipe_stop) && reach_peer_here() && secure_here()) {
        start_time = now_seconds();
        data_socket->set_timeout(timeout, 0);
        if (receiving) {
            file_sink sink(file);
            receive_here(sink);
        } else {
            send_here(file);
        }
        end_time = now_seconds();
    }
    close_sockets();
    if (stopped_here())
        raise(pipe_stop);
    // Writing after setting the times would move them to now again.
    if (set_time && receiving)
        set_file_times(file, stamp);
    close_file(file);
    raise(done_bit() | file_done);
}

bool ftp_data_connection::gather_here(qxpipe& into)
{
    if (!given_up(failed_bits() | pipe_stop) && reach_peer_here() && secure_here()) {
        start_time = now_seconds();
        data_socket->set_timeout(timeout, 0);
        gathering_sink sink(into);
        if (!receive_here(sink))
            return false;
        end_time = now_seconds();
    }
    close_sockets();
    if (stopped_here())
        raise(pipe_stop);
    into.raise(own_bits | done_bit());
    return true;
}

void ftp_data_connection::continue_on(qxpipe& into)
{
    into.raise(own_bits);
    pipe = &into;
    receive_loop();
    end_time = now_seconds();
    close_sockets();
    pipe->raise(done_bit());
}

bool ftp_data_connection::deliver(ftp_inline_sink& sink, qxval& chunk)
{
    if (const int error = sink.take(chunk)) {
        file_errno = error;
        raise(pipe_consumer_failed);
        return false;
    }
    return true;
}

bool ftp_data_connection::receive_here(ftp_inline_sink& sink)
{
    transformation* const converter = line_converter();
    qxval chunk;
    bool whole = false;
    while (!given_up(pipe_stop)) {
        if (sink.full())
            return false;
        data_socket->last_error = 0;
        const int32_t n = data_socket->receive(chunk, inline_chunk);
        if (n < 1) {
            // As on the worker: only the peer's orderly close ends the data.
            const bool timed_out = n == 0 && data_socket->last_error == transport_status::timed_out;
            if ((n < 0 || timed_out) && !given_up(pipe_stop)) {
                failure = data_socket->last_error ? data_socket->last_error : transport_status::cannot_read;
                raise(pipe_producer_failed);
            } else {
                whole = !given_up(pipe_stop);
            }
            break;
        }
        bool kept = true;
        if (converter) {
            converter->feed(chunk);
            const int r = converter->run();
            if (r != 0 && r != 2) {
                raise(pipe_producer_failed);
                break;
            }
            while (kept && produced_.shift(chunk))
                kept = deliver(sink, chunk);
        } else {
            kept = deliver(sink, chunk);
        }
        if (!kept)
            break;
        bytes_transferred += n;
        report_progress();
    }
    if (converter && whole) {
        converter->end_input();
        if (converter->run() != 2) {
            raise(pipe_producer_failed);
        } else {
            bool kept = true;
            while (kept && produced_.shift(chunk))
                kept = deliver(sink, chunk);
        }
    }
    return true;
}

void ftp_data_connection::send_here(file_handle file)
{
    transformation* const converter = line_converter();
    qxarr& produced = produced_;
    qxval chunk;
    bool failed = false;
    while (!given_up(pipe_stop)) {
        const int32_t read = read_file(chunk, inline_chunk, file);
        if (read < 0) {
            // The local file could not be read to its end: a reset, not an
            // orderly close, so the server does not take the part for the whole.
            file_errno = errno;
            raise(pipe_producer_failed);
            std::lock_guard lock(socket_mutex_);
            data_socket->close_with_reset();
            return;
        }
        if (read == 0)
            break;
        if (converter) {
            converter->feed(chunk);
            const int r = converter->run();
            failed = (r != 0 && r != 2) || !send_chunks(produced);
        } else if (data_socket->send_all(chunk.text.data, read) == read) {
            bytes_transferred += read;
        } else {
            failed = true;
        }
        if (failed)
            break;
        report_progress();
    }
    if (!failed && converter && !given_up(pipe_stop)) {
        converter->end_input();
        failed = converter->run() != 2 || !send_chunks(produced);
    }
    if (failed) {
        failure = data_socket->last_error ? data_socket->last_error : transport_status::cannot_write;
        raise(pipe_consumer_failed);
    }
}

}  // namespace qvtf
