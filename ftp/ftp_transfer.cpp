// File transfers: one RETR or STOR over a data connection, with the file
// side on the other end of the pipe, run by the calling thread.
#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <ctime>
#include <limits>

#include "core/file_reader_writer.h"
#include "core/qxfiles_atomic.h"
#include "ftp/ftp_data_connection.h"
#include "queue/ftp_queue_item.h"

namespace qvtf {

namespace {

// After a stalled data connection the final reply gets this long, not a
// whole time-out more: the stall has already cost one.
constexpr int32_t stalled_reply_grace_seconds = 2;

// The reply to RETR or STOR: 0 when the server opens the data connection.
int transfer_reply_status(ftp_control& session)
{
    switch (session.reply_code) {
    case 125:
    case 150: return status_ok;
    case 450:
    case 452:
    case 532:
    case 550:
    case 553: return status_refused;
    default: return session.unexpected_reply();
    }
}

// A local target or source that is not a regular file.
constexpr int phrase_not_regular_file = 850;
// Bytes moved that differ from the size the server gave.
constexpr int phrase_size_differs = 540;

// The local end of one transfer, opened before anything is sent.
class local_side {
public:
    // 0, or 6010 when the file cannot be opened. Only a regular file is
    // opened, and without blocking: a named pipe would hang the transfer
    // beyond any time-out (in open as a source, in write as a target), and a
    // download never writes into a device.
    int open(const ftp_transfer_request& request)
    {
        not_regular_ = exists_not_regular(request.local_path);
        if (not_regular_)
            return status_local_file;
        if (!request.direction)
            handle_ = open_regular_file(request.local_path, "r", &not_regular_);
        else if (request.transfer_option == 1 || request.transfer_option == 2)
            handle_ = open_regular_file(request.local_path, "a", &not_regular_);  // continues the target itself
        else {
            replacing_ = true;
            handle_ = replacement_.open(request.local_path);
        }
        return handle_ == invalid_file_handle ? status_local_file : status_ok;
    }
    ~local_side() { close_file(handle_); }

    bool not_regular() const { return not_regular_; }
    int64_t size() const { return file_size(handle_); }
    // The reader/writer takes the handle over.
    file_handle release()
    {
        file_handle h = handle_;
        handle_ = invalid_file_handle;
        return h;
    }
    // Puts a finished download in place; false when that fails. Uploads and
    // appends have nothing to put in place.
    bool commit() { return !replacing_ || replacement_.commit(); }

private:
    file_handle handle_ = invalid_file_handle;
    bool not_regular_ = false;
    bool replacing_ = false;
    replacement_file replacement_;  // discards its temporary unless committed
};

void log_local_failure(ftp_control& session, const qxval& path, int reason_phrase = 0)
{
    qxval text;
    session.error_text(status_local_file, text);
    std::string line = text.str() + " " + path.str();
    if (reason_phrase)
        line += std::string(": ") + std::string(session.phrase(reason_phrase));
    session.log(log_error, line + "\r\n");
}

// The status of a transfer whose command was accepted, once both sides of
// the pipe have finished and the final reply was read (reply_status).
int transfer_outcome(ftp_control& session, int receiving, int reply_status)
{
    // The pipe's own record first: the server cannot know that our disk was
    // full or that its data arrived broken, and may answer 226 all the same.
    const uint32_t local_failed = receiving ? (pipe_consumer_failed & ~pipe_consumer_done)
                                            : (pipe_producer_failed & ~pipe_producer_done);
    const uint32_t data_failed = receiving ? (pipe_producer_failed & ~pipe_producer_done)
                                           : (pipe_consumer_failed & ~pipe_consumer_done);
    if (session.abort_data || session.stop_request)
        return status_stopped;
    if (session.pipe_flags_at_end & local_failed)
        return status_local_file;
    if (reply_status != status_ok) {
        // A stall that kept the final reply away too is reported as what it is.
        return session.data_failure == transport_status::timed_out ? transport_status::timed_out : reply_status;
    }
    if (session.reply_code != 226 && session.reply_code != 250)
        return session.reply_code == 421 ? status_not_connected : session.unexpected_reply();
    if (session.pipe_flags_at_end & data_failed)
        return session.data_failure ? session.data_failure : status_unexpected_reply;
    return status_ok;
}

// Whether the transfer's data fits in a few buffers, so that the calling
// thread runs the data connection itself: no pipe, no worker, no hand-over.
bool runs_on_caller(const ftp_control& s, const ftp_transfer_request& request, const local_side& local)
{
    if (s.inline_limit < 0)
        return false;
    const ftp_queue_item* item = s.current_item;
    const int64_t size = !request.direction ? local.size() : item ? item->size : request.expected_size;
    if (size < 0)
        return s.inline_limit == std::numeric_limits<int64_t>::max();
    return size <= s.inline_limit;
}

int transfer_with(ftp_control& s, const ftp_transfer_request& request, int (ftp_control::*command)(const qxval&))
{
    const int receiving = request.direction ? 1 : 0;
    ftp_session_lock hold(s);
    if (!hold)
        return hold.status();
    if (s.stop_request)
        return status_stopped;
    s.pipe_flags_at_end = 0;
    s.bytes_transferred = 0;
    s.data_failure = 0;
    s.local_errno = 0;
    s.local_step = 0;
    if (!s.logged_in)
        return status_not_connected;
    local_side local;
    if (local.open(request) != status_ok) {
        // A pipe or device has its own words; errno says nothing of it.
        s.local_errno = local.not_regular() ? 0 : errno;
        log_local_failure(s, request.local_path, local.not_regular() ? phrase_not_regular_file : 0);
        return status_local_file;
    }
    const bool on_caller = runs_on_caller(s, request, local);
    if (int status = s.prepare_data_connection(receiving, request.transfer_type, on_caller))
        return status;
    ftp_data_connection* here = nullptr;
    if (on_caller) {
        std::lock_guard lock(s.critical_section());
        here = static_cast<ftp_data_connection*>(s.passive_data ? s.passive_data.get() : s.active_data.get());
    }

    int result = (s.*command)(request.remote_path);
    if (result == status_ok)
        result = transfer_reply_status(s);
    if (result != status_ok) {
        // Refused: stop the connection's side too.
        {
            std::lock_guard lock(s.critical_section());
            const uint32_t stop = pipe_stop | (receiving ? pipe_consumer_failed : pipe_producer_failed);
            if (s.pipe)
                s.pipe->raise(stop);
            if (here)
                here->raise(stop);
            if (s.passive_data)
                s.passive_data->abort_socket();
            if (s.active_data)
                s.active_data->abort_socket();
        }
        s.finish_transfer(receiving);
        return result;
    }

    // Stamped on the temporary file; the rename keeps it.
    const bool stamp = receiving && s.stamp_downloads;
    const std::time_t stamp_time = s.current_item ? s.current_item->modified_time : std::time(nullptr);
    int file_errno = 0;
    if (here) {
        here->run_here(local.release(), stamp, stamp_time);
        file_errno = here->file_errno;
    } else {
        file_reader_writer file(s.pipe.get(), receiving ? file_reader_writer::writing : file_reader_writer::reading,
                                request.local_path);
        file.handle = local.release();
        file.set_time = stamp;
        file.time = stamp_time;
        // The file side runs on this thread, which would only wait for it
        // otherwise: one hand-over less per file. An abort that came before
        // the pipe existed is passed on to it first.
        if (s.abort_data)
            s.pipe->raise(pipe_stop);
        file.run();
        file_errno = file.error_number;
    }
    if (file_errno) {
        s.local_errno = file_errno;
        s.local_step = receiving ? 2 : 1;
    }
    s.finish_transfer(receiving);

    const bool stalled = s.data_failure == transport_status::timed_out;
    if (stalled)
        s.control_socket.set_timeout(std::min(s.timeout, stalled_reply_grace_seconds), 0);
    const int reply_status = s.read_reply();
    if (stalled)
        s.control_socket.set_timeout(s.timeout, 0);

    result = transfer_outcome(s, receiving, reply_status);
    // A download that moved another number of bytes than the size the server
    // gave is no success: the target stays as it was. A queued one returns
    // as it ran, and the queue sees the difference and tries again; any
    // other fails here.
    const ftp_queue_item* item = s.current_item;
    const bool short_of_size = receiving && (item ? item->size >= 0 && item->size_differs(s.bytes_transferred)
                                                  : request.size_differs(s.bytes_transferred));
    if (result == status_ok && short_of_size && !item) {
        s.log(log_error, std::string(s.phrase(phrase_size_differs)) + " " + request.remote_path.str() + "\r\n");
        result = status_size_differs;
    }
    if (result == status_ok && !short_of_size && !local.commit()) {
        s.local_errno = errno;
        s.local_step = 2;
        log_local_failure(s, request.local_path);
        result = status_local_file;
    }
    return result;
}

}  // namespace

int ftp_control::transfer_file(const ftp_transfer_request& request)
{
    return transfer_with(*this, request, request.direction ? &ftp_control::retrieve : &ftp_control::store);
}

int ftp_control::transfer_file(int receiving, const qxval& remote, int32_t type,
                               int (ftp_control::*command)(const qxval&))
{
    return transfer_with(*this, ftp_transfer_request::make(receiving, local_path, remote, type, transfer_option), command);
}

int ftp_control::run_item(const ftp_transfer_request& request)
{
    const int status = transfer_file(request);
    result_code = status;
    if (observer)
        observer->on_completion(*this);
    return status;
}

int ftp_control::run_item(int32_t type)
{
    return run_item(ftp_transfer_request::make(direction, local_path, remote_path, type, transfer_option));
}

ftp_transfer_request ftp_control::take_item(ftp_queue_item& item)
{
    stop_request = 0;
    current_item = &item;
    direction = item.is_download;
    local_path = item.local_path;
    remote_path = item.remote_path;
    transfer_type = item.transfer_type;
    transfer_option = item.transfer_option;
    return ftp_transfer_request::make(item.is_download, item.local_path, item.remote_path, item.transfer_type,
                        item.transfer_option);
}

}  // namespace qvtf
