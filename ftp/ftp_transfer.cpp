// File transfers: one RETR or STOR over a data connection, with the file
// side on the other end of the pipe, run by the calling thread.
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <ctime>
#include <limits>

#include "core/file_reader_writer.h"
#include "core/qxfiles_atomic.h"
#include "ftp/ftp_data_connection.h"

namespace qvtf {

namespace {

// After a stalled data connection the final reply gets this long, not a
// whole time-out more: the stall has already cost one.
constexpr int32_t stalled_reply_grace_seconds = 2;

// The reply to RETR or STOR: 0 when the server opens the data connection.
remote_result transfer_reply_status(const ftp_control& session)
{
    switch (session.reply_code()) {
    case 125:
    case 150: return status_ok;
    case 450:
    case 452:
    case 532:
    case 550:
    case 553: return session.reply_failure(status_refused);
    default: return session.unexpected_reply();
    }
}

// A local target or source that is not a regular file.
constexpr int phrase_not_regular_file = 850;
// Bytes moved that differ from the size the server gave.
constexpr int phrase_size_differs = 540;
constexpr int phrase_resumed_at = 1153;

// The local end of one transfer, opened before anything is sent.
class local_side {
public:
    // 0, or 6010 when the file cannot be opened. Only a regular file is
    // opened, and without blocking: a named pipe would hang the transfer
    // beyond any time-out (in open as a source, in write as a target), and a
    // download never writes into a device.
    int open(const transfer_request& request)
    {
        not_regular_ = exists_not_regular(request.local_path);
        if (not_regular_)
            return status_local_file;
        if (!request.direction)
            handle_ = open_regular_file(request.local_path, "r", &not_regular_);
        else if (request.transfer_option == 1 || request.transfer_option == 2)
            handle_ = open_regular_file(request.local_path, "a", &not_regular_);  // continues the target itself
        else if (request.continue_target && (request.transfer_type & 0xffff) == 0) {
            // The user's own file grows in place: what it holds is not fetched again.
            handle_ = open_regular_file(request.local_path, "a", &not_regular_);
            offset_ = handle_ == invalid_file_handle ? 0 : std::max<int64_t>(0, file_size(handle_));
        } else {
            replacing_ = true;
            if (resumable(request)) {
                handle_ = replacement_.open_partial(request.local_path, request.partial_path.str());
                offset_ = handle_ == invalid_file_handle ? 0 : std::max<int64_t>(0, file_size(handle_));
            } else {
                handle_ = replacement_.open(request.local_path);
            }
        }
        return handle_ == invalid_file_handle ? status_local_file : status_ok;
    }
    // Only whole bytes restart: binary transfers that replace the target.
    static bool resumable(const transfer_request& request)
    {
        return (request.transfer_type & 0xffff) == 0 && request.transfer_option == 0 &&
               (request.keep_partial || !request.partial_path.view().empty() || !request.direction);
    }
    // Where the transfer begins in the local file: a partial download's end,
    // or the part of an upload the server already holds.
    int64_t offset() const { return offset_; }
    // Starts over from the beginning (the server cannot restart): a partial
    // download is emptied, an upload read from its start.
    bool set_offset(int64_t at, bool receiving)
    {
        if (receiving && at == 0 && ftruncate(handle_, 0) != 0)
            return false;
        if (seek_file(handle_, at, 0) != at)
            return false;
        offset_ = at;
        return true;
    }
    // A failed download's partial file stays for the next attempt.
    std::string keep() { return replacement_.keep(); }
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
    int64_t offset_ = 0;
    replacement_file replacement_;  // discards its temporary unless committed
};

// A local file that failed: the message the user gets, logged at once.
remote_result local_failure(ftp_control& session, const qxval& path, int32_t error_number, int32_t step,
                            int reason_phrase = 0)
{
    remote_result failure(status_local_file);
    failure.local_errno = error_number;
    failure.local_step = step;
    qxval text;
    session.error_text(failure, text);
    std::string line = text.str() + " " + path.str();
    if (reason_phrase)
        line += std::string(": ") + std::string(session.phrase(reason_phrase));
    session.log(log_error, line + "\r\n");
    return failure;
}

remote_result resume_point(ftp_control& session, const transfer_request& request, local_side& local)
{
    const bool receiving = request.direction != 0;
    int64_t offset = local.offset();
    if (!receiving && request.resume && local_side::resumable(request) && (session.features().rest_stream || session.features().size)) {
        // The server's part of an upload, counted in bytes: binary first.
        if (remote_result status = session.set_type(0); !status.ok())
            return status;
        int64_t held = -1;
        if (remote_result status = session.file_size(request.remote_path, held); !status.ok())
            return status;
        offset = held > 0 && held < local.size() ? held : 0;
    }
    if (offset > 0 && !session.features().rest_stream && receiving)
        offset = 0;  // a download continues only with REST
    if ((offset != local.offset() || (!receiving && offset > 0)) && !local.set_offset(offset, receiving))
        return local_failure(session, request.local_path, errno, receiving ? 2 : 1);
    if (offset > 0)
        session.log(log_info, std::string(session.phrase(phrase_resumed_at)) + std::to_string(offset) + "\r\n");
    return status_ok;
}

void stamp_remote(ftp_control& session, const transfer_request& request)
{
    if (!session.features().mfmt)
        return;
    struct stat st;
    if (::stat(request.local_path.c_str(), &st) != 0)
        return;
    // Listings take the server's offset off again.
    const std::time_t when = st.st_mtime + session.time_difference();
    std::tm tm{};
    char text[32];
    if (!::gmtime_r(&when, &tm) || std::strftime(text, sizeof text, "%Y%m%d%H%M%S", &tm) == 0)
        return;
    // Not every file system keeps every time: the upload stands either way.
    (void)session.send_command("MFMT " + std::string(text) + " " + request.remote_path.str());
}

}  // namespace

transfer_record ftp_control::transfer_outcome(int receiving, const remote_result& reply_status) const
{
    transfer_record record;
    record.bytes = bytes_transferred_;
    record.data_failure = data_failure_;
    record.size_tolerance = size_tolerance_;
    record.start_time = start_time_;
    record.end_time = end_time_;
    // The pipe's own record first: the server cannot know that our disk was
    // full or that its data arrived broken, and may answer 226 all the same.
    const uint32_t local_failed = receiving ? (pipe_consumer_failed & ~pipe_consumer_done)
                                            : (pipe_producer_failed & ~pipe_producer_done);
    const uint32_t data_failed = receiving ? (pipe_producer_failed & ~pipe_producer_done)
                                           : (pipe_consumer_failed & ~pipe_consumer_done);
    if (pipe_flags_at_end_ & local_failed)
        record.failed_side = transfer_side::local;
    else if (pipe_flags_at_end_ & data_failed)
        record.failed_side = transfer_side::data;
    if (stopped() || (pipe_flags_at_end_ & pipe_stop))
        record.result = status_stopped;
    else if (pipe_flags_at_end_ & local_failed)
        record.result = status_local_file;
    else if (!reply_status.ok())
        // A stall that kept the final reply away too is reported as what it is.
        record.result = data_failure_ == transport_status::timed_out ? remote_result(transport_status::timed_out)
                                                                     : reply_status;
    else if (reply_code_ != 226 && reply_code_ != 250)
        record.result = reply_code_ == 421 ? reply_failure(status_not_connected) : unexpected_reply();
    else if (pipe_flags_at_end_ & data_failed)
        record.result = data_failure_ ? remote_result(data_failure_) : unexpected_reply();
    return record;
}

namespace {

// Whether the calling thread runs the data connection itself: no pipe, no
// worker, no hand-over. So it does when the data fits in a few buffers, and
// at any size when the connection is protected: encrypting or decrypting on
// the thread that reads or writes the file keeps the bytes in one core's
// cache, which saves more than the overlap of disk and network gains.
bool runs_on_caller(int64_t inline_limit, const transfer_request& request, const local_side& local,
                    bool data_protected)
{
    if (inline_limit < 0)
        return false;
    if (data_protected)
        return true;
    const int64_t size = !request.direction ? local.size() : request.expected_size;
    if (size < 0)
        return inline_limit == std::numeric_limits<int64_t>::max();
    return size <= inline_limit;
}

}  // namespace

transfer_record ftp_control::transfer_with(const transfer_request& request)
{
    const int receiving = request.direction ? 1 : 0;
    transfer_record refused;
    remote_session_lock hold(*this);
    if (!hold) {
        refused.result = hold.status();
        return refused;
    }
    if (stopped()) {
        refused.result = status_stopped;
        return refused;
    }
    pipe_flags_at_end_ = 0;
    bytes_transferred_ = 0;
    data_failure_ = 0;
    size_tolerance_ = 0;
    if (!logged_in()) {
        refused.result = status_not_connected;
        return refused;
    }
    local_side local;
    if (local.open(request) != status_ok) {
        // A pipe or device has its own words; errno says nothing of it.
        refused.result = local_failure(*this, request.local_path, local.not_regular() ? 0 : errno, 0,
                                       local.not_regular() ? phrase_not_regular_file : 0);
        refused.failed_side = transfer_side::local;
        return refused;
    }
    if (remote_result status = resume_point(*this, request, local); !status.ok()) {
        refused.result = status;
        return refused;
    }
    const bool on_caller = runs_on_caller(options_.inline_limit, request, local, security().data_protected);
    if (remote_result status = prepare_data_connection(receiving, request.transfer_type, request.progress, on_caller);
        !status.ok()) {
        refused.result = status;
        return refused;
    }
    ftp_data_connection* here = nullptr;
    if (on_caller) {
        std::lock_guard lock(data_mutex_);
        here = static_cast<ftp_data_connection*>(passive_data_ ? passive_data_.get() : active_data_.get());
    }

    remote_result result = status_ok;
    const int64_t offset = local.offset();
    if (offset > 0 && features_.rest_stream) {
        result = restart_at(offset);
        if (result.ok() && reply_code_ != 350)
            result = unexpected_reply();
    }
    if (result.ok()) {
        if (receiving)
            result = retrieve(request.remote_path);
        else
            result = offset > 0 && !features_.rest_stream ? send_command(command_line("APPE", request.remote_path.view()))
                                                          : store(request.remote_path);
    }
    if (result.ok())
        result = transfer_reply_status(*this);
    if (result.status == status_unexpected_reply)
        result = data_command_failure();
    if (!result.ok()) {
        // Refused: stop the connection's side too.
        {
            std::lock_guard lock(data_mutex_);
            const uint32_t stop = pipe_stop | (receiving ? pipe_consumer_failed : pipe_producer_failed);
            if (pipe_)
                pipe_->raise(stop);
            if (here)
                here->raise(stop);
            if (passive_data_)
                passive_data_->abort_socket();
            if (active_data_)
                active_data_->abort_socket();
        }
        finish_transfer(receiving);
        refused.result = result;
        refused.bytes = bytes_transferred_;
        if (receiving && request.keep_partial)
            refused.partial_path = local.keep();
        return refused;
    }

    // Stamped on the temporary file; the rename keeps it.
    const bool stamp = receiving && request.stamp;
    const std::time_t stamp_time = request.modified_time ? request.modified_time : std::time(nullptr);
    int32_t file_errno = 0;
    if (here) {
        here->run_here(local.release(), stamp, stamp_time);
        file_errno = here->file_errno;
    } else {
        file_reader_writer file(pipe_.get(), receiving ? file_reader_writer::writing : file_reader_writer::reading,
                                request.local_path);
        file.handle = local.release();
        file.set_time = stamp;
        file.time = stamp_time;
        // The file side runs on this thread, which would only wait for it
        // otherwise: one hand-over less per file. A stop that came before
        // the pipe existed is passed on to it first.
        if (stopped())
            pipe_->raise(pipe_stop);
        file.run();
        file_errno = file.error_number;
    }
    finish_transfer(receiving);

    const bool stalled = data_failure_ == transport_status::timed_out;
    if (stalled)
        control_socket_.set_timeout(std::min(options_.timeout, stalled_reply_grace_seconds), 0);
    const remote_result reply_status = read_reply();
    if (stalled)
        control_socket_.set_timeout(options_.timeout, 0);

    transfer_record record = transfer_outcome(receiving, reply_status);
    if (record.result.status == status_unexpected_reply)
        record.result = data_command_failure();
    record.resumed_from = offset;
    record.bytes += offset;
    if (record.result.status == status_local_file && file_errno) {
        record.result.local_errno = file_errno;
        record.result.local_step = receiving ? 2 : 1;
    }
    // A download that moved another number of bytes than the size the server
    // gave is no success: the target stays as it was. A queued one returns
    // as it ran, and the queue sees the difference and tries again; any
    // other fails here.
    if (receiving) {
        if (request.report_size_difference) {
            const int64_t size = request.expected_size;
            const int64_t bytes = record.bytes;
            record.size_differs = size >= 0 && (size > bytes   ? size_tolerance_ >= 0
                                                : size < bytes ? size_tolerance_ <= 0
                                                               : false);
        } else {
            record.size_differs = request.size_differs(record.bytes);
        }
    }
    if (record.result.ok() && record.size_differs && !request.report_size_difference) {
        log(log_error, std::string(phrase(phrase_size_differs)) + " " + request.remote_path.str() + "\r\n");
        record.result = status_size_differs;
    }
    if (record.result.ok() && !record.size_differs && !local.commit()) {
        record.result = local_failure(*this, request.local_path, errno, 2);
        record.failed_side = transfer_side::local;
    }
    // What a broken connection brought stays for the next attempt; a
    // local failure or a file of another size starts again.
    if (receiving && request.keep_partial && !record.result.ok() && record.failed_side != transfer_side::local &&
        record.result.status != status_local_file && record.result.status != status_size_differs)
        record.partial_path = local.keep();
    if (!receiving && record.result.ok() && request.stamp)
        stamp_remote(*this, request);
    return record;
}

transfer_record ftp_control::transfer_file(const transfer_request& request)
{
    return transfer_with(request);
}

}  // namespace qvtf
