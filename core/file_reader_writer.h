#pragma once
// file_reader_writer: the thread body that moves one local file into a pipe
// (uploads) or a pipe into the file (downloads).

#include <cstdint>
#include <ctime>

#include "core/qxfiles.h"
#include "core/qxpipe.h"
#include "core/qxval.h"

namespace qvtf {

class file_reader_writer {
public:
    enum direction_kind { reading, writing };

    qxpipe* pipe = nullptr;  // not owned
    direction_kind direction = reading;
    qxval file_name{""};
    bool append = false;
    bool resume = false;
    int64_t resume_offset = 0;
    bool set_time = false;
    std::time_t time = 0;  // Unix seconds
    file_handle handle = invalid_file_handle;
    // The errno of the failure that raised the side's failed bit, or 0.
    int error_number = 0;

    file_reader_writer() = default;
    file_reader_writer(qxpipe* p, direction_kind d, const qxval& name) : pipe(p), direction(d), file_name(name) {}
    file_reader_writer(const file_reader_writer&) = delete;
    file_reader_writer& operator=(const file_reader_writer&) = delete;
    ~file_reader_writer() { close_file(handle); }

    // 0 when open; 1 after raising the side's failure bits on the pipe.
    int open();
    // Opens when not yet open, then moves the data; always ends by raising
    // the side's finished bit.
    void run();

private:
    void read_into_pipe();
    void write_from_pipe();
};

}  // namespace qvtf
