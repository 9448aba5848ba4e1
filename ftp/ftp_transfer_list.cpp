// LIST over a data connection; the listing reader parses what arrives into
// the session's folder tree under the current folder. The calling thread
// runs the connection and gathers the listing; a listing that fits the
// pipe's budget is then parsed on the same thread, a longer one by a reader
// thread that takes over the pipe while the calling thread goes on
// receiving.
#include <algorithm>
#include <string>
#include <thread>

#include "core/qxfiles.h"
#include "core/qxfiles_atomic.h"
#include "ftp/ftp_data_connection.h"

namespace qvtf {

namespace {

// Without a parser the reply is still read to its end, so the server's
// final reply arrives; nothing is entered into the tree.
void discard_listing(qxpipe& pipe)
{
    const uint32_t stop = pipe_stop | pipe_consumer_done | pipe_consumer_failed;
    qxval chunk;
    while (!pipe.any(stop)) {
        uint32_t seen;
        if (pipe.shift_or_status(chunk, seen))
            continue;
        if (seen & pipe_producer_done)
            break;
        pipe.wait_for_chunk(stop | pipe_producer_done);
    }
    pipe.raise(pipe_consumer_done);
}

// After a stalled data connection the final reply gets this long, not a
// whole time-out more: the stall has already cost one.
constexpr int32_t stalled_reply_grace_seconds = 2;
constexpr int phrase_lines_left_out = 852;
constexpr int phrase_listing_again = 853;
constexpr int phrase_machine_listing_failed = 1152;

// Every line the parser could not read goes to the log, so the user sees
// what the folder's entries lack.
void log_unparsed(ftp_control& session, const listing_report& report)
{
    if (report.unparsed == 0)
        return;
    session.log(log_error,
                std::string(session.phrase(phrase_lines_left_out)) + std::to_string(report.unparsed) + "\r\n");
    for (const std::string& line : report.unparsed_lines) {
        std::string shown;
        for (char c : line) {
            if (c == '\r' || c == '\n')
                continue;
            shown += c;
        }
        session.log(log_error, "  " + shown + "\r\n");
    }
}

// A listing that broke off may well come whole a moment later; one the
// server refused (no such folder) will not.
bool listing_broke_off(const ftp_control& session, int status, int32_t data_failure)
{
    if (status == status_ok)
        return false;
    if (data_failure != 0 || (session.reply_code() == 226 || session.reply_code() == 250))
        return true;
    return session.reply_code() == 425 || session.reply_code() == 426 || session.reply_code() == 451;
}

remote_result list_reply_status(const ftp_control& session)
{
    switch (session.reply_code()) {
    case 125:
    case 150: return session.logged_in() ? remote_result(status_ok) : remote_result(status_not_connected);
    case 450: return session.reply_failure(status_refused);
    default: return session.unexpected_reply();
    }
}

}  // namespace

remote_result ftp_control::list_directory(const qxval& path)
{
    remote_session_lock hold(*this);
    if (!hold)
        return hold.status();
    // Whoever shows the folder's entries lets go of them first.
    if (current_folder_ && observer_)
        observer_->on_listing(*this, *current_folder_);
    const bool machine = features_.mlsd && options_.use_mlsd && !machine_listing_refused_;
    remote_result status = list_with_tries(path, machine);
    // A machine listing the server refused or garbled: the same folder as
    // text. When that works the server's MLSD is not to be trusted, and the
    // session lists as text from now on; when it fails too, the folder was
    // at fault.
    const bool refused = !status.ok() && reply_class_ == 5;
    if (!machine || stopped() || !logged_in() || !(refused || (status.ok() && last_listing_.unparsed > 0)))
        return status;
    qxval text;
    if (!status.ok())
        error_text(status, text);
    log(log_info, std::string(phrase(phrase_machine_listing_failed)) + text.str() + "\r\n");
    remote_result plain = list_with_tries(path, false);
    if (plain.ok())
        machine_listing_refused_ = true;
    return plain;
}

remote_result ftp_control::list_with_tries(const qxval& path, bool machine)
{
    for (int32_t attempt = 1;; ++attempt) {
        remote_result status = list_directory_once(path, machine);
        const bool aborted = stopped() || (pipe_flags_at_end_ & pipe_stop);
        if (status.ok() || attempt >= options_.listing_tries || aborted || !logged_in() ||
            !listing_broke_off(*this, status, data_failure_))
            return status;
        qxval text;
        error_text(status, text);
        log(log_info, std::string(phrase(phrase_listing_again)) + text.str());
    }
}

remote_result ftp_control::list_directory_once(const qxval& path, bool machine)
{
    if (!logged_in())
        return status_not_connected;
    last_listing_ = listing_report{};
    data_failure_ = 0;
    pipe_flags_at_end_ = 0;
    // A listing is nobody's progress.
    const bool on_caller = options_.inline_limit >= 0;
    if (remote_result status = prepare_data_connection(1, transfer_ascii, nullptr, on_caller); !status.ok())
        return status;
    ftp_data_connection* here = nullptr;
    if (on_caller) {
        std::lock_guard lock(data_mutex_);
        here = static_cast<ftp_data_connection*>(passive_data_ ? passive_data_.get() : active_data_.get());
    }

    remote_result status = machine ? send_mlsd(path) : send_list(path);
    if (status.ok())
        status = list_reply_status(*this);
    if (status.status == status_unexpected_reply)
        status = data_command_failure();
    if (!status.ok()) {
        {
            std::lock_guard lock(data_mutex_);
            if (pipe_)
                pipe_->raise(pipe_stop | pipe_consumer_done);
            if (here)
                here->raise(pipe_stop | pipe_consumer_done);
            if (passive_data_)
                passive_data_->abort_socket();
            if (active_data_)
                active_data_->abort_socket();
        }
        finish_transfer(1);
        return status;
    }

    qxfile_node* folder = current_folder_;
    if (folder) {
        // The reader swaps the new entries in when the listing ends; until
        // then holders of the old ones may go on reading them.
        qxfile_tree::reader hold(folder_tree_);
        folder->needs_listing = 1;
    }
    if (here) {
        // The listing's pipe; a stop from another thread finds it.
        std::lock_guard lock(data_mutex_);
        pipe_ = std::make_unique<qxpipe>();
    }
    qxpipe& listing_pipe = *pipe_;
    int styles = 0;
    listing_report report;
    const remote_listing_reader reader = options_.listing_reader;
    const listing_format format = machine ? listing_format::machine : listing_format::list;
    auto read_listing = [&, folder, format] {
        if (!reader) {
            discard_listing(listing_pipe);
            report.complete = true;
            return;
        }
        file_handle dump = options_.listing_dump_path.view().empty() ? invalid_file_handle
                                                                     : open_private_file(options_.listing_dump_path);
        styles = reader(listing_pipe, folder_tree_, folder, time_difference_, format, dump, &report);
        close_file(dump);
    };
    pooled_job listing_thread;
    bool read = true;
    if (here && here->gather_here(listing_pipe)) {
        read_listing();
    } else {
        listing_thread = run_pooled(read_listing);
        // Without a thread to read it the listing fails, and the connection
        // is still taken to the end of the command so it stays in step.
        read = listing_thread.joinable();
        if (!read)
            listing_pipe.raise(pipe_stop | pipe_consumer_failed);
        if (here)
            here->continue_on(listing_pipe);
    }
    finish_transfer(1, &listing_thread);
    if (listing_thread.joinable())
        listing_thread.join();
    if (styles & listing_line_dropped)
        log(log_error, "A listing line longer than " + std::to_string(listing_line_limit) + " bytes was left out.\r\n");
    listing_styles_ |= styles & ~listing_line_dropped;
    last_listing_ = std::move(report);
    log_unparsed(*this, last_listing_);

    const bool stalled = data_failure_ == transport_status::timed_out;
    if (stalled)
        control_socket_.set_timeout(std::min(options_.timeout, stalled_reply_grace_seconds), 0);
    const remote_result reply_status = read_reply();
    if (stalled)
        control_socket_.set_timeout(options_.timeout, 0);
    // Like a file's, a listing counts only when its data ended by an
    // orderly close and the server then confirmed it: a reset or a stall
    // followed by "226" is still a listing cut short.
    const bool data_broken = pipe_flags_at_end_ & (pipe_producer_failed & ~pipe_producer_done);
    if (!reply_status.ok())
        return stalled ? remote_result(transport_status::timed_out) : reply_status;
    if (!read)
        return transport_status::startup_failed;
    switch (reply_code_) {
    case 226:
    case 250: break;
    case 425:
    case 426:
    case 451: return reply_failure(status_refused);
    default: return data_command_failure();
    }
    if (data_broken || !last_listing_.complete) {
        last_listing_.complete = false;
        if (stopped() || (pipe_flags_at_end_ & pipe_stop))
            return status_stopped;
        return data_failure_ ? remote_result(data_failure_) : unexpected_reply();
    }
    return status_ok;
}

}  // namespace qvtf
