#include "app/log_view_files.h"

#include <filesystem>
#include <system_error>

#include "queue/queue_item_result.h"
#include "settings/global_ftp_settings.h"
#include "settings/program_folders.h"

namespace {

std::string local_time_text(std::time_t when)
{
    std::tm parts{};
    localtime_r(&when, &parts);
    char text[32];
    const size_t length = std::strftime(text, sizeof text, "%Y-%m-%d %H:%M:%S", &parts);
    return std::string(text, length);
}

std::string place_of(const std::string& name, const qvtf::program_folders& folders)
{
    if (name.empty() || name.front() == '/')
        return name;
    return folders.user_file(name.c_str());
}

}  // namespace

// ---- rotating_log ----

bool rotating_log::open(const std::string& path, int64_t limit)
{
    std::lock_guard held(lock_);
    if (file_ && path == path_) {
        limit_ = limit;
        return true;
    }
    if (file_)
        std::fclose(file_);
    file_ = nullptr;
    path_ = path;
    limit_ = limit;
    if (path.empty())
        return false;
    file_ = std::fopen(path.c_str(), "ab");
    if (!file_)
        return false;
    std::error_code error;
    const auto size = std::filesystem::file_size(path, error);
    size_ = error ? 0 : static_cast<int64_t>(size);
    return true;
}

void rotating_log::close()
{
    std::lock_guard held(lock_);
    if (file_)
        std::fclose(file_);
    file_ = nullptr;
}

bool rotating_log::is_open() const
{
    std::lock_guard held(lock_);
    return file_ != nullptr;
}

std::string rotating_log::path() const
{
    std::lock_guard held(lock_);
    return path_;
}

bool rotating_log::rotate_locked()
{
    std::fclose(file_);
    // The older half stays as "<name>.1"; should it not move, the file starts
    // afresh all the same rather than grow past its limit.
    std::error_code error;
    std::filesystem::rename(path_, path_ + ".1", error);
    file_ = std::fopen(path_.c_str(), "wb");
    size_ = 0;
    return file_ != nullptr;
}

bool rotating_log::write(std::string_view line)
{
    std::lock_guard held(lock_);
    if (!file_)
        return false;
    const int64_t length = static_cast<int64_t>(line.size()) + 1;
    if (size_ > 0 && size_ + length > limit_ && !rotate_locked())
        return false;
    const bool written = std::fwrite(line.data(), 1, line.size(), file_) == line.size() &&
                         std::fputc('\n', file_) != EOF;
    std::fflush(file_);
    size_ += length;
    return written;
}

// ---- transfer lines ----

std::string format_transfer_line(std::string_view format, const transfer_record& r)
{
    std::string out;
    for (size_t i = 0; i < format.size(); ++i) {
        const char c = format[i];
        if (c != '%' || i + 1 == format.size()) {
            out += c;
            continue;
        }
        switch (format[++i]) {
        case 't': out += local_time_text(r.when); break;
        case 'x': out += r.download ? "<-" : "->"; break;
        case 'c': out += r.ok ? "ok" : "failed"; break;
        case 'f': out += r.remote_path; break;
        case 'F': out += r.local_path; break;
        case 'B': out += std::to_string(r.bytes); break;
        case 'T': out += std::to_string(r.tries); break;
        case 'h': out += r.host; break;
        case 'e': out += r.error; break;
        case '%': out += '%'; break;
        default: out += '%'; out += format[i];
        }
    }
    // One transfer, one line, whatever the names hold.
    for (char& ch : out)
        if (ch == '\r' || ch == '\n')
            ch = ' ';
    return out;
}

// ---- log_files ----

void log_files::configure(const qvtf::global_ftp_values& values, const qvtf::program_folders& folders, int64_t limit)
{
    const bool any = values.do_command_log || values.do_download_log;
    if (any)
        folders.ensure_user_folder();
    if (values.do_command_log)
        commands_.open(place_of(values.command_log_file_name, folders), limit);
    else
        commands_.close();
    if (values.do_download_log)
        transfers_.open(place_of(values.download_file_name, folders), limit);
    else
        transfers_.close();
    std::lock_guard held(format_lock_);
    format_ = values.download_log_format;
}

void log_files::command(std::string_view tag, int kind, std::string_view line)
{
    static constexpr const char* marks[] = {"< ", "> ", "~ ", "! "};
    if (kind < 0 || kind > 3 || kind == 2 || !commands_.is_open())
        return;
    std::string text = local_time_text(std::time(nullptr));
    text += ' ';
    text += tag;
    text += marks[kind];
    text += line;
    commands_.write(text);
}

void log_files::set_host(const std::string& host)
{
    std::lock_guard held(format_lock_);
    host_ = host;
}

void log_files::transfer(const qvtf::queue_item_result& result)
{
    if (result.is_folder || !transfers_.is_open())
        return;
    transfer_record record;
    record.download = result.is_download != 0;
    record.ok = result.succeeded;
    record.remote_path = result.remote_path.str();
    record.local_path = result.local_path.str();
    record.error = result.error_text.str();
    record.bytes = result.bytes;
    record.tries = result.tries;
    record.when = std::time(nullptr);
    std::string format;
    {
        std::lock_guard held(format_lock_);
        format = format_;
        record.host = host_;
    }
    transfers_.write(format_transfer_line(format, record));
}
