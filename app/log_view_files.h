// The log files beside the log view, in the user data folder: the command
// log (every line on the wire, with its time and connection) and the
// transfer log (one line per finished transfer, in the user's format).
// Both may be written from any thread, and each moves aside to "<name>.1"
// when it reaches its size limit, so neither grows without end.
#pragma once

#include <cstdint>
#include <cstdio>
#include <ctime>
#include <mutex>
#include <string>
#include <string_view>

namespace qvtf {
struct global_ftp_values;
struct program_folders;
struct queue_item_result;
}  // namespace qvtf

class rotating_log {
public:
    static constexpr int64_t default_limit = 2 * 1024 * 1024;

    rotating_log() = default;
    rotating_log(const rotating_log&) = delete;
    rotating_log& operator=(const rotating_log&) = delete;
    ~rotating_log() { close(); }

    // Appends to path from now on; false (and off) when it cannot be opened.
    bool open(const std::string& path, int64_t limit = default_limit);
    void close();
    bool is_open() const;
    std::string path() const;
    // One line; a line that would take the file past its limit goes into a
    // fresh file after the old one has moved to "<path>.1".
    bool write(std::string_view line);

private:
    bool rotate_locked();
    mutable std::mutex lock_;
    std::string path_;
    std::FILE* file_ = nullptr;
    int64_t size_ = 0;
    int64_t limit_ = default_limit;
};

// One finished transfer as the transfer log sees it.
struct transfer_record {
    bool download = false;
    bool ok = false;
    std::string remote_path;
    std::string local_path;
    std::string host;
    std::string error;
    int64_t bytes = 0;
    int32_t tries = 0;
    std::time_t when = 0;
};

// The line for format: %t date and time, %x "<-" download or "->" upload,
// %c "ok" or "failed", %f remote path, %F local path, %B bytes, %T attempts,
// %h host, %e the reason of a failure, %% a percent sign. Anything else is
// copied as it stands.
std::string format_transfer_line(std::string_view format, const transfer_record& record);

class log_files {
public:
    // Opens or closes each log by the settings' switches; a file name that
    // is not absolute lives in the user data folder.
    void configure(const qvtf::global_ftp_values& values, const qvtf::program_folders& folders,
                   int64_t limit = rotating_log::default_limit);
    // Lines of the wire and errors: kind 0 reply, 1 command, 3 error.
    void command(std::string_view tag, int kind, std::string_view line);
    void transfer(const qvtf::queue_item_result& result);
    // The site the queue transfers from and to, for %h.
    void set_host(const std::string& host);

    rotating_log& commands() { return commands_; }
    rotating_log& transfers() { return transfers_; }

private:
    rotating_log commands_;
    rotating_log transfers_;
    std::mutex format_lock_;
    std::string format_;
    std::string host_;
};
