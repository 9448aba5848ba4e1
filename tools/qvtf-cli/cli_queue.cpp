#include "tools/qvtf-cli/cli_queue.h"

#include <unistd.h>

#include <cinttypes>
#include <climits>
#include <cstdlib>

#include "core/qxfiles.h"
#include "markup/qxlang.h"
#include "remote/remote_folder_guard.h"
#include "remote/remote_log.h"

namespace qvtf::cli {

namespace {

constexpr auto redraw_interval = std::chrono::milliseconds(100);

std::string without_trailing_slashes(std::string path)
{
    while (path.size() > 1 && path.back() == '/')
        path.pop_back();
    return path;
}

std::string folder_with_slash(std::string path)
{
    path = without_trailing_slashes(std::move(path));
    if (path != "/")
        path += '/';
    return path;
}

// Splits "/a/b/c" into "/a/b" and "c".
void split_path(const std::string& path, std::string& folder, std::string& name)
{
    const std::string p = without_trailing_slashes(path);
    const size_t slash = p.find_last_of('/');
    folder = slash == 0 ? "/" : p.substr(0, slash);
    name = p.substr(slash + 1);
}

std::string absolute_local(const std::string& path)
{
    if (!path.empty() && path[0] == '/')
        return path;
    char buf[PATH_MAX];
    const std::string cwd = ::getcwd(buf, sizeof buf) ? buf : ".";
    return cwd + "/" + path;
}

std::string human_bytes(double bytes)
{
    static const char* const units[] = {"B", "KiB", "MiB", "GiB", "TiB"};
    int unit = 0;
    while (bytes >= 1024 && unit < 4) {
        bytes /= 1024;
        ++unit;
    }
    char buf[32];
    std::snprintf(buf, sizeof buf, unit ? "%.1f %s" : "%.0f %s", bytes, units[unit]);
    return buf;
}

}  // namespace

cli_queue::cli_queue(remote_session& session, const qxlang& language, const auto_transfer_resolver* resolver,
                     const queue_run_options& options, std::FILE* out, std::FILE* err, remote_observer* sessions)
    : session_(session), language_(language), resolver_(resolver), options_(options), out_(out), err_(err)
{
    queue_.panes = this;
    queue_.view = this;
    queue_.language = &language_;
    queue_.resolver = resolver_;
    queue_.log_sink = &cli_queue::log_sink;
    queue_.sink_context = this;
    queue_.worker_observer = sessions;
    queue_.observer = this;
    queue_.max_threads = options_.threads < 0 ? 0 : options_.threads;
    queue_.retry_limit = options_.retries < 1 ? 1 : options_.retries;
    // Folder listings are tried as often as the transfers they lead to.
    remote_options listing = session_.options();
    listing.listing_tries = queue_.retry_limit;
    session_.configure(session_.site(), listing);
    queue_.default_transfer_type = options_.transfer_type;
    queue_.download_exists = options_.exists;
    queue_.upload_exists = options_.exists;
}

int cli_queue::local_path_of(const qxfile_node* node, qxval& out)
{
    (void)node;
    out.set_bytes("");
    return status_ok;
}

int cli_queue::remote_path_of(const qxfile_node* node, qxval& out)
{
    (void)node;
    out.set_bytes("");
    return status_ok;
}

void cli_queue::prepare_worker(remote_site& site, remote_options& options)
{
    // The session's own connection, with the offset it measured.
    site = session_.site();
    options = session_.options();
}

std::string cli_queue::absolute_remote(const std::string& path) const
{
    if (!path.empty() && path[0] == '/')
        return path;
    std::string base(session_.current_path().view());
    if (base.empty())
        base = "/";
    return folder_with_slash(base) + path;
}

int cli_queue::queue_download(const std::string& remote, const qxval& local_folder)
{
    std::string folder, name;
    split_path(absolute_remote(remote), folder, name);
    if (name.empty() && folder == "/")
        return queue_root(local_folder);
    if (name.empty()) {
        say_error(remote + ": not a file or folder name");
        return status_refused;
    }
    if (remote_result status = session_.change_folder(qxval(folder)); !status.ok()) {
        qxval text;
        session_.error_text(status, text);
        say_error(folder + ": " + text.str());
        return status;
    }
    if (remote_result status = session_.list_directory(qxval("")); !status.ok()) {
        qxval text;
        session_.error_text(status, text);
        say_error(folder + ": " + text.str());
        return status;
    }
    qxfile_node* entry = nullptr;
    for (qxfile_node* n = session_.current_folder() ? session_.current_folder()->first_child : nullptr; n; n = n->next)
        if (n->name.view() == name) {
            entry = n;
            break;
        }
    if (!entry) {
        say_error(remote + ": no such file or folder");
        return status_refused;
    }
    if (entry->is_link())
        session_.folder_tree().resolve_link(entry);
    const int added =
        queue_.add_node(*entry, local_folder, qxval(folder_with_slash(folder)), 1, options_.transfer_type, 0);
    if (added == ftp_queue_process_manager::target_taken) {
        say_error(remote + ": not queued: another item already downloads to " + local_folder.str() + name);
        return status_refused;
    }
    if (added != 0) {
        say_error(remote + ": not queued");
        return status_refused;
    }
    return status_ok;
}

// The root has no name to make a local folder of: its entries go straight
// into the target folder.
int cli_queue::queue_root(const qxval& local_folder)
{
    remote_result status = session_.change_folder(qxval("/"));
    if (status.ok())
        status = session_.list_directory(qxval(""));
    if (!status.ok()) {
        qxval text;
        session_.error_text(status, text);
        say_error("/: " + text.str());
        return status;
    }
    int refused = 0;
    for (qxfile_node* n = session_.current_folder() ? session_.current_folder()->first_child : nullptr; n;
         n = n->next) {
        if (n->is_link())
            session_.folder_tree().resolve_link(n);
        if (queue_.add_node(*n, local_folder, qxval("/"), 1, options_.transfer_type, 0) != 0) {
            say_error("/" + n->name.str() + ": not queued");
            ++refused;
        }
    }
    return refused ? status_refused : status_ok;
}

int cli_queue::queue_upload(const std::string& local, const qxval& remote_folder)
{
    const std::string path = without_trailing_slashes(absolute_local(local));
    qxfile_node entry;
    if (!stat_path(qxval(path), entry)) {
        say_error(local + ": no such file or folder");
        return status_local_file;
    }
    std::string folder, name;
    split_path(path, folder, name);
    const int added =
        queue_.add_node(entry, qxval(folder_with_slash(folder)), remote_folder, 0, options_.transfer_type, 0);
    if (added == ftp_queue_process_manager::target_taken) {
        say_error(local + ": not queued: another item already uploads to " + remote_folder.str() + name);
        return status_local_file;
    }
    if (added != 0) {
        say_error(local + ": not queued");
        return status_local_file;
    }
    return status_ok;
}

remote_result cli_queue::run(bool is_download, const std::vector<std::string>& sources, const std::string& target)
{
    if (queue_.open() != 0)
        return status_unexpected_reply;
    int refused = 0;
    // Everything is queued before the queue starts: until then this thread
    // has the session to itself for listing.
    if (is_download) {
        const std::string local = absolute_local(target);
        qxfile_node probe;
        if (!stat_path(qxval(local), probe) || !probe.is_folder) {
            say_error(target + ": not a local folder");
            return status_local_file;
        }
        remote_folder_guard back(session_);
        for (const std::string& remote : sources)
            refused += queue_download(remote, qxval(folder_with_slash(local))) ? 1 : 0;
    } else {
        const qxval remote(folder_with_slash(absolute_remote(target)));
        for (const std::string& local : sources)
            refused += queue_upload(local, remote) ? 1 : 0;
    }

    started_ = std::chrono::steady_clock::now();
    std::thread ticker;
    {
        std::lock_guard lock(output_mutex_);
        running_ = true;
    }
    if (options_.progress)
        ticker = std::thread([this] { progress_ticker(); });
    queue_.start();
    queue_.wait_until_empty();
    queue_.close();
    {
        std::lock_guard lock(output_mutex_);
        running_ = false;
    }
    ticker_cv_.notify_all();
    if (ticker.joinable())
        ticker.join();

    const int32_t failures = failed_ + refused;
    if (failures == 0)
        return status_ok;
    remote_result failure(status_recursive_failed);
    failure.detail =
        std::to_string(failures) + " of " + std::to_string(done_ + failed_ + refused) + " items failed\r\n";
    return failure;
}

void cli_queue::log_sink(void* user, std::string_view lines, int kind)
{
    auto* self = static_cast<cli_queue*>(user);
    std::lock_guard lock(self->output_mutex_);
    self->clear_progress_locked();
    while (!lines.empty()) {
        const std::string_view text = take_log_line(lines);
        std::string line;
        for (const char ch : text) {
            const auto c = static_cast<unsigned char>(ch);
            if (c < 0x20 || c == 0x7f) {
                char hex[8];
                std::snprintf(hex, sizeof hex, "\\x%02x", c);
                line += hex;
            } else {
                line += ch;
            }
        }
        std::fprintf(self->out_, "%d %s\n", kind, line.c_str());
    }
    std::fflush(self->out_);
}

void cli_queue::on_finished(const queue_item_result& result)
{
    std::lock_guard lock(output_mutex_);
    if (result.succeeded) {
        if (!result.is_folder)
            ++done_;
        bytes_done_ += result.bytes;
    } else {
        ++failed_;
    }
}

void cli_queue::say_error(const std::string& text)
{
    std::lock_guard lock(output_mutex_);
    clear_progress_locked();
    std::fprintf(err_, "qvtf-cli: %s\n", text.c_str());
}

void cli_queue::add_row(ftp_queue_item& item)
{
    std::lock_guard lock(output_mutex_);
    if (!item.is_folder)
        ++queued_;
}

void cli_queue::remove_row(ftp_queue_item& item)
{
    std::lock_guard lock(output_mutex_);
    in_flight_.erase(&item);
}

void cli_queue::progress(ftp_queue_item& item, int64_t bytes, int32_t seconds)
{
    (void)seconds;
    std::lock_guard lock(output_mutex_);
    in_flight_[&item] = bytes;
}

void cli_queue::show_error(int caption_phrase, const qxval& text)
{
    (void)caption_phrase;
    std::string t(text.view());
    while (!t.empty() && (t.back() == '\n' || t.back() == '\r'))
        t.pop_back();
    say_error(t);
}

void cli_queue::clear_progress_locked()
{
    if (!line_drawn_)
        return;
    std::fputs("\r\x1b[K", err_);
    std::fflush(err_);
    line_drawn_ = false;
}

void cli_queue::draw_progress_locked()
{
    int64_t bytes = bytes_done_;
    for (const auto& [item, moved] : in_flight_)
        bytes += moved;
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - started_).count();
    const int32_t waiting = std::max(0, queued_ - done_ - failed_);
    std::fprintf(err_, "\r\x1b[K%d done, %d failed, %d waiting, %s, %s/s", done_, failed_, waiting,
                 human_bytes(static_cast<double>(bytes)).c_str(),
                 human_bytes(seconds > 0 ? static_cast<double>(bytes) / seconds : 0).c_str());
    std::fflush(err_);
    line_drawn_ = true;
}

void cli_queue::progress_ticker()
{
    std::unique_lock lock(output_mutex_);
    while (running_) {
        draw_progress_locked();
        ticker_cv_.wait_for(lock, redraw_interval, [&] { return !running_; });
    }
    clear_progress_locked();
}

}  // namespace qvtf::cli
