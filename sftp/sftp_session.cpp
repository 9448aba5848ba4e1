#include "sftp/sftp_session.h"

#include <libssh/libssh.h>
#include <libssh/sftp.h>
#include <sys/socket.h>
#include <unistd.h>

#include "markup/qxlang.h"
#include "net/transport_status.h"
#include "remote/remote_error_text.h"
#include "remote/remote_log.h"

namespace qvtf {

namespace {
constexpr int phrase_sftp_status_base = 1220;
constexpr int phrase_not_for_sftp = 1205;
}  // namespace

sftp_session::sftp_session()
{
    site_.protocol = remote_protocol::sftp;
}

sftp_session::sftp_session(const remote_site& site, const remote_options& options) : sftp_session()
{
    configure(site, options);
}

sftp_session::~sftp_session()
{
    close_connection();
}

void sftp_session::configure(const remote_site& site, const remote_options& options)
{
    site_ = site;
    site_.protocol = remote_protocol::sftp;
    options_ = options;
    // Both ends keep UTC: a clock offset from an FTP past means nothing here.
    site_.time_difference = 0;
    publish_inputs(site_, options_);
}

std::string_view sftp_session::phrase(int number) const
{
    return language_ ? language_->text(number) : std::string_view();
}

void sftp_session::log(int kind, std::string_view text)
{
    log_to_observer(observer_, *this, kind, text);
}

void sftp_session::set_state(remote_state to)
{
    const remote_state from = state_.exchange(to);
    if (from == to)
        return;
    log(log_state, std::string(remote_state_name(from)) + " -> " + remote_state_name(to) + "\r\n");
    if (observer_)
        observer_->on_state(*this, from, to);
}

void sftp_session::stop(int reason)
{
    stop_.request(reason);
    // A stop ends transfers and listings between requests; a kill cannot
    // wait for the server to answer.
    if (!stop_.killed())
        return;
    std::lock_guard lock(socket_mutex_);
    if (socket_ >= 0)
        ::shutdown(socket_, SHUT_RDWR);
}

void sftp_session::close_connection()
{
    {
        std::lock_guard lock(socket_mutex_);
        socket_ = -1;
    }
    if (sftp_) {
        sftp_free(sftp_);
        sftp_ = nullptr;
    }
    if (ssh_) {
        // The socket is ours: libssh leaves a socket it was handed open,
        // except after some failures while connecting, where it closes it
        // and forgets it.
        const socket_t fd = ssh_get_fd(ssh_);
        ssh_disconnect(ssh_);
        ssh_free(ssh_);
        ssh_ = nullptr;
        if (fd != SSH_INVALID_SOCKET)
            ::close(fd);
    }
    set_state(remote_state::disconnected);
}

remote_result sftp_session::quit()
{
    remote_session_lock hold(*this);
    if (!hold)
        return hold.status();
    if (connected())
        set_state(remote_state::closing);
    close_connection();
    return status_ok;
}

void sftp_session::disconnect(int wait_ms)
{
    // The holder's work is cut off first, so the wait for it is short; the
    // stop itself stays as it was, for the holder's next work.
    if (!held_by_caller() && busy()) {
        std::lock_guard lock(socket_mutex_);
        if (socket_ >= 0)
            ::shutdown(socket_, SHUT_RDWR);
    }
    remote_session_lock hold(*this, wait_ms);
    if (!hold)
        return;
    if (connected())
        set_state(remote_state::closing);
    close_connection();
}

remote_result sftp_session::check_ready()
{
    if (!logged_in() || !sftp_)
        return status_not_connected;
    if (stop_.killed())
        return status_stopped;
    return status_ok;
}

remote_result sftp_session::keep_alive()
{
    remote_session_lock hold(*this);
    if (!hold)
        return hold.status();
    if (remote_result ready = check_ready(); !ready.ok())
        return ready;
    char* here = sftp_canonicalize_path(sftp_, ".");
    if (!here)
        return sftp_failure(".");
    ssh_string_free_char(here);
    return status_ok;
}

remote_result sftp_session::measure_time_difference(const qxval& probe)
{
    (void)probe;
    return logged_in() ? remote_result(status_ok) : remote_result(status_not_connected);
}

remote_result sftp_session::run_script(const qxval& text)
{
    // Scripts are FTP commands; an empty one is nothing to refuse.
    if (text.view().find_first_not_of(" \t\r\n") == std::string_view::npos)
        return status_ok;
    remote_result refused(status_refused);
    refused.reply.emplace_back(phrase(phrase_not_for_sftp));
    return refused;
}

remote_result sftp_session::raw_command(std::string_view line)
{
    (void)line;
    remote_result refused(status_refused);
    refused.reply.emplace_back(phrase(phrase_not_for_sftp));
    return refused;
}

void sftp_session::error_text(const remote_result& failure, qxval& out) const
{
    remote_error_text(*this, failure, out);
}

remote_result sftp_session::ssh_failure()
{
    if (stop_.killed())
        return status_stopped;
    remote_result failure(status_ssh_failed);
    if (ssh_)
        failure.detail = ssh_get_error(ssh_);
    log(log_error, std::string(phrase(1202)) + failure.detail + "\r\n");
    return failure;
}

remote_result sftp_session::sftp_failure(const std::string& what, bool question)
{
    const int code = sftp_ ? sftp_get_error(sftp_) : SSH_FX_NO_CONNECTION;
    const bool alive = ssh_ && ssh_is_connected(ssh_) && code != SSH_FX_NO_CONNECTION &&
                       code != SSH_FX_CONNECTION_LOST && code != SSH_FX_OK;
    if (alive) {
        remote_result refused(status_refused);
        std::string line = what + ": ";
        line += phrase(phrase_sftp_status_base + code);
        log(question ? log_reply : log_error, line + "\r\n");
        refused.reply.push_back(std::move(line));
        return refused;
    }
    // The connection is gone: the session starts afresh, as after an FTP
    // control connection that broke.
    const bool killed = stop_.killed();
    remote_result failure = killed ? remote_result(status_stopped) : remote_result(transport_status::cannot_read);
    if (!killed && ssh_)
        failure.detail = ssh_get_error(ssh_);
    // The user's own kill is no failure to report in red; the queue says
    // it stopped.
    if (!killed)
        log(log_error, std::string(phrase(1202)) + (failure.detail.empty() ? what : failure.detail) + "\r\n");
    close_connection();
    if (!killed && observer_)
        observer_->on_error(*this, failure.status);
    return failure;
}

bool sftp_session::lose_connection()
{
    if (sftp_)
        sftp_->errnum = SSH_FX_CONNECTION_LOST;
    return true;
}

void sftp_session::forget_folders()
{
    qxfile_tree::reader hold(folder_tree_);
    current_folder_ = nullptr;
    folder_tree_.clear();
}

std::string sftp_session::absolute(const qxval& path) const
{
    const std::string_view p = path.view();
    if (p.starts_with('/'))
        return std::string(p);
    std::string full = current_path_.str();
    if (full.empty())
        return p.empty() ? std::string(".") : std::string(p);
    if (p.empty())
        return full;
    if (!full.ends_with('/'))
        full += '/';
    full += p;
    return full;
}

}  // namespace qvtf
