// Downloads and uploads on the calling thread. Reads keep many requests in
// flight, so a file costs one round trip per window, not per chunk; writes
// go out in the largest pieces the server takes, several at once. A
// download goes to a temporary that replaces the target only when every
// byte arrived; one that broke off with the connection is kept for the
// next try.
#include <fcntl.h>
#include <libssh/libssh.h>
#include <libssh/sftp.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <ctime>
#include <algorithm>
#include <deque>
#include <vector>

#include "core/qxfiles.h"
#include "net/transport_status.h"
#include "sftp/sftp_partials.h"
#include "sftp/sftp_session.h"
#include "sftp/sftp_write_pipeline.h"

namespace qvtf {

namespace {

constexpr uint32_t read_chunk = 64 * 1024;
constexpr std::size_t reads_in_flight = 32;
// Bytes of writes in flight: as much as OpenSSH's channel window holds.
constexpr std::size_t write_window = 2 * 1024 * 1024;

constexpr int phrase_not_regular_file = 850;
constexpr int phrase_size_differs = 540;
constexpr int phrase_continued_at = 1211;
constexpr int phrase_upload_continued_at = 1264;

int32_t now()
{
    return static_cast<int32_t>(std::time(nullptr));
}

bool write_all(file_handle h, const char* data, std::size_t n, int64_t offset)
{
    while (n > 0) {
        const ssize_t done = ::pwrite(h, data, n, offset);
        if (done < 0 && errno == EINTR)
            continue;
        if (done <= 0)
            return false;
        data += done;
        n -= static_cast<std::size_t>(done);
        offset += done;
    }
    return true;
}

// Closes libssh's file handle on every path out, unless the channel went.
struct remote_file {
    sftp_file file = nullptr;
    ~remote_file()
    {
        if (file)
            sftp_close(file);
    }
    // The connection is gone (its sftp session may be freed already): the
    // handle's memory goes without a close request that could not be sent.
    void discard()
    {
        if (!file)
            return;
        ssh_string_free(file->handle);
        std::free(file->name);
        std::free(file);
        file = nullptr;
    }
};

}  // namespace

transfer_record sftp_session::transfer_file(const transfer_request& request)
{
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
    if (remote_result ready = check_ready(); !ready.ok()) {
        refused.result = ready;
        return refused;
    }
    // A pipe or a device would hang the transfer, and a download never
    // writes into one.
    if (exists_not_regular(request.local_path)) {
        refused.result = status_local_file;
        refused.failed_side = transfer_side::local;
        qxval text;
        error_text(refused.result, text);
        log(log_error, text.str() + " " + request.local_path.str() + ": " + std::string(phrase(phrase_not_regular_file)) +
                           "\r\n");
        return refused;
    }
    return request.direction ? download(request) : upload(request);
}

transfer_record sftp_session::download(const transfer_request& request)
{
    transfer_record record;
    record.start_time = record.end_time = now();
    const std::string remote = absolute(request.remote_path);
    // The user's resume continues the target itself, as an append does.
    const bool appending =
        request.transfer_option == 1 || request.transfer_option == 2 || request.continue_target;
    auto local_failure = [&](int32_t error_number, int32_t step) {
        record.result = status_local_file;
        record.result.local_errno = error_number;
        record.result.local_step = step;
        record.failed_side = transfer_side::local;
        qxval text;
        error_text(record.result, text);
        log(log_error, text.str() + " " + request.local_path.str() + "\r\n");
        return record;
    };

    // The local side first: a download that cannot be stored asks nothing.
    partial_download partial;
    int64_t start = 0;
    if (appending) {
        partial.handle = open_regular_file(request.local_path, "a");
        if (!partial)
            return local_failure(errno, 0);
        start = qvtf::file_size(partial.handle);
    } else {
        partial = take_partial_download(request.local_path.str(), remote, request.expected_size,
                                        request.modified_time);
        if (partial) {
            start = partial.bytes;
            log(log_info, std::string(phrase(phrase_continued_at)) + std::to_string(start) + ": " +
                              request.local_path.str() + "\r\n");
        } else {
            partial.file = std::make_unique<replacement_file>();
            partial.handle = partial.file->open(request.local_path);
            if (!partial)
                return local_failure(errno, 0);
        }
        partial.local_path = request.local_path.str();
        partial.remote_path = remote;
        partial.size = request.expected_size;
        partial.modified = request.modified_time;
    }

    remote_file source;
    source.file = sftp_open(sftp_, remote.c_str(), O_RDONLY, 0);
    if (!source.file) {
        record.result = sftp_failure(remote);
        if (!logged_in() && partial.file && partial.bytes > 0)
            keep_partial_download(std::move(partial));
        return record;
    }
    if (start > 0)
        sftp_seek64(source.file, static_cast<uint64_t>(start));

    struct pending_read {
        uint32_t id;
        int64_t offset;
    };
    std::deque<pending_read> pending;
    std::vector<char> buffer(read_chunk);
    int64_t written = start;
    int64_t next_offset = start;
    int64_t resume_at = -1;  // after a short read: where to ask again
    bool at_end = false;
    bool channel_failed = false;
    bool file_failed = false;
    int32_t file_errno = 0;
    // A file of known size gets no more requests than it needs, and one to
    // find its end: small files cost two requests, not a whole window.
    std::size_t window = reads_in_flight;
    if (request.expected_size >= start)
        window = static_cast<std::size_t>(
            std::min<int64_t>(reads_in_flight, (request.expected_size - start) / read_chunk + 2));
    auto ask = [&] {
        while (!at_end && resume_at < 0 && !stopped() && pending.size() < window) {
            const int id = sftp_async_read_begin(source.file, read_chunk);
            if (id < 0) {
                channel_failed = true;
                return;
            }
            pending.push_back({static_cast<uint32_t>(id), next_offset});
            next_offset += read_chunk;
        }
    };
    ask();
    while (!pending.empty()) {
        const pending_read read = pending.front();
        pending.pop_front();
        const int n = sftp_async_read(source.file, buffer.data(), read_chunk, read.id);
        if (n < 0) {
            channel_failed = true;
            break;
        }
        // Replies after an end or a short read belong to requests asked at
        // the wrong offsets: read and dropped.
        // After a short read, the end of the file is confirmed by a later
        // request finding nothing; data there means the short read was not
        // the end, and the rest is asked for again from where it stopped.
        if (resume_at >= 0 && !at_end && read.offset > resume_at && n == 0) {
            at_end = true;
            resume_at = -1;
        }
        const bool dropped = at_end || resume_at >= 0 || file_failed || stopped();
        if (!dropped && n == 0) {
            at_end = true;
        } else if (!dropped && !write_all(partial.handle, buffer.data(), static_cast<std::size_t>(n), written)) {
            file_failed = true;
            file_errno = errno;
        } else if (!dropped) {
            written += n;
            partial.bytes = written;
            if (request.progress)
                request.progress->on_progress(written - start, now() - record.start_time);
            if (static_cast<uint32_t>(n) < read_chunk)
                resume_at = read.offset + n;
        }
        if (pending.empty() && resume_at >= 0 && !at_end && !file_failed && !stopped()) {
            sftp_seek64(source.file, static_cast<uint64_t>(resume_at));
            next_offset = resume_at;
            resume_at = -1;
        }
        if (!file_failed && !channel_failed)
            ask();
        if (channel_failed)
            break;
    }
    if (!channel_failed && stop_.killed())
        channel_failed = lose_connection();
    record.bytes = written;
    record.resumed_from = start;
    record.end_time = now();

    if (channel_failed) {
        record.result = sftp_failure(remote);
        source.discard();
        record.failed_side = transfer_side::data;
        record.data_failure = record.result.status;
        // The connection broke: the bytes so far wait for the next try.
        if (!logged_in() && partial.file)
            keep_partial_download(std::move(partial));
        return record;
    }
    if (file_failed)
        return local_failure(file_errno, 2);
    if (stopped()) {
        record.result = status_stopped;
        if (partial.file)
            keep_partial_download(std::move(partial));
        return record;
    }
    if (request.stamp)
        set_file_times(partial.handle, request.modified_time ? request.modified_time : std::time(nullptr));

    // Another number of bytes than the size the server gave is no success:
    // the target stays as it was; a queued download returns as it ran and
    // the queue tries again.
    record.size_differs = request.size_differs(record.bytes);
    if (record.size_differs && !request.report_size_difference) {
        log(log_error, std::string(phrase(phrase_size_differs)) + " " + remote + "\r\n");
        record.result = status_size_differs;
        return record;
    }
    if (!record.size_differs && partial.file) {
        close_file(partial.handle);
        partial.handle = invalid_file_handle;
        if (!partial.file->commit())
            return local_failure(errno, 2);
    }
    return record;
}

transfer_record sftp_session::upload(const transfer_request& request)
{
    transfer_record record;
    record.start_time = record.end_time = now();
    const std::string remote = absolute(request.remote_path);
    bool not_regular = false;
    const file_handle local = open_regular_file(request.local_path, "r", &not_regular);
    if (local == invalid_file_handle) {
        record.result = status_local_file;
        record.result.local_errno = not_regular ? 0 : errno;
        record.failed_side = transfer_side::local;
        qxval text;
        error_text(record.result, text);
        log(log_error, text.str() + " " + request.local_path.str() + "\r\n");
        return record;
    }
    // A resumed upload sends only what the server's shorter file lacks.
    int64_t held = 0;
    if (request.resume && (request.transfer_type & 0xffff) == 0) {
        if (sftp_attributes attributes = sftp_stat(sftp_, remote.c_str())) {
            if ((attributes->flags & SSH_FILEXFER_ATTR_SIZE) &&
                attributes->size < static_cast<uint64_t>(std::max<int64_t>(0, qvtf::file_size(local))))
                held = static_cast<int64_t>(attributes->size);
            sftp_attributes_free(attributes);
        }
        if (held > 0 && seek_file(local, held, 0) != held)
            held = 0;
    }
    remote_file target;
    target.file = sftp_open(sftp_, remote.c_str(), held > 0 ? O_WRONLY : O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (!target.file) {
        close_file(local);
        record.result = sftp_failure(remote);
        return record;
    }
    if (held > 0) {
        if (sftp_seek64(target.file, static_cast<uint64_t>(held)) != 0) {
            close_file(local);
            record.result = sftp_failure(remote);
            return record;
        }
        record.bytes = record.resumed_from = held;
        log(log_info,
            std::string(phrase(phrase_upload_continued_at)) + std::to_string(held) + ": " + remote + "\r\n");
    }
    sftp_write_pipeline pipeline(sftp_, target.file, write_chunk_,
                                 std::max<std::size_t>(4, write_window / write_chunk_));
    int64_t offset = held;
    bool channel_failed = false;
    int32_t read_errno = 0;
    for (;;) {
        if (stopped())
            break;
        const ssize_t n = ::read(local, pipeline.buffer(), write_chunk_);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0) {
            read_errno = errno ? errno : EIO;
            break;
        }
        if (n == 0)
            break;
        if (!pipeline.send(static_cast<std::size_t>(n), static_cast<uint64_t>(offset))) {
            channel_failed = true;
            break;
        }
        offset += n;
        record.bytes = held + pipeline.confirmed();
        if (request.progress)
            request.progress->on_progress(record.bytes, now() - record.start_time);
    }
    // A kill shut the socket: the connection is over even when every reply
    // had already arrived. Otherwise every reply is read before the file
    // closes, also after a stop.
    if (!channel_failed && stop_.killed())
        channel_failed = lose_connection();
    if (!channel_failed && !pipeline.finish())
        channel_failed = true;
    // The replies read at the end confirm the last bytes.
    if (const int64_t confirmed = held + pipeline.confirmed(); confirmed != record.bytes) {
        record.bytes = confirmed;
        if (request.progress)
            request.progress->on_progress(record.bytes, now() - record.start_time);
    }
    close_file(local);
    record.end_time = now();
    if (channel_failed) {
        record.result = sftp_failure(remote);
        if (!logged_in())
            target.discard();
        record.failed_side = transfer_side::data;
        record.data_failure = record.result.status;
        return record;
    }
    if (read_errno) {
        record.result = status_local_file;
        record.result.local_errno = read_errno;
        record.result.local_step = 1;
        record.failed_side = transfer_side::local;
        return record;
    }
    if (stopped()) {
        record.result = status_stopped;
        return record;
    }
    // The server reports a failed write at the latest when the file closes.
    sftp_file closing = target.file;
    target.file = nullptr;
    if (sftp_close(closing) != SSH_NO_ERROR) {
        record.result = sftp_failure(remote);
        record.failed_side = transfer_side::data;
    }
    return record;
}

}  // namespace qvtf
