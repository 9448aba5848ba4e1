#include "core/file_reader_writer.h"

#include <cerrno>

namespace qvtf {

int file_reader_writer::open()
{
    if (direction == reading)
        handle = open_file(file_name, "r+");
    else
        handle = open_file(file_name, append ? "a" : "w");
    if (handle == invalid_file_handle) {
        error_number = errno;
        pipe->raise(direction == reading ? pipe_producer_failed : pipe_consumer_failed);
        return 1;
    }
    if ((resume && direction == reading) || append)
        seek_file(handle, resume_offset, 0);
    return 0;
}

void file_reader_writer::run()
{
    if (handle == invalid_file_handle && open() != 0)
        return;
    if (direction == reading)
        read_into_pipe();
    else
        write_from_pipe();
}

void file_reader_writer::read_into_pipe()
{
    uint32_t done = pipe_producer_done;
    const int32_t size = pipe->chunk_size();
    qxval chunk;
    for (;;) {
        pipe->make_chunk(chunk, size);
        int32_t n = read_file(chunk, size, handle);
        if (n < 0) {
            // A failed read must not pass for the end of the file.
            error_number = errno;
            done = pipe_producer_failed;
            break;
        }
        if (n == 0 || pipe->status() != 0)
            break;
        if (!pipe->push_waiting(chunk, ~0u))
            break;
    }
    close_file(handle);
    handle = invalid_file_handle;
    pipe->raise(done);
}

void file_reader_writer::write_from_pipe()
{
    const uint32_t stop = pipe_stop | pipe_consumer_done | pipe_consumer_failed;
    qxval chunk;
    while (!pipe->any(stop)) {
        uint32_t seen;
        if (pipe->shift_or_status(chunk, seen)) {
            int32_t n = chunk.text.length;
            errno = 0;
            if (n > 0 && write_file(chunk, n, handle) != n) {
                // A short write sets no errno; write_file tried again first.
                error_number = errno ? errno : ENOSPC;
                pipe->raise(pipe_consumer_failed);
                break;
            }
            pipe->recycle(chunk);
            continue;
        }
        // Empty, and the producer had finished before we looked: all is here.
        if (seen & pipe_producer_done)
            break;
        pipe->wait_for_chunk(stop | pipe_producer_done);
    }
    // Writing after setting the times would move them to now again.
    if (set_time)
        set_file_times(handle, time);
    close_file(handle);
    handle = invalid_file_handle;
    pipe->raise(pipe_consumer_done);
}

}  // namespace qvtf
