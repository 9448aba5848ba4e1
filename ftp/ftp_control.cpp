#include "ftp/ftp_control.h"

#include <cerrno>

#include "ftp/ftp_proxy.h"
#include "markup/qxlang.h"
#include "net/socket_address.h"
#include "net/tls_context.h"
#include "remote/remote_log.h"

namespace qvtf {

namespace {
// Phrases of the connection log.
constexpr int phrase_connected = 7;
constexpr int phrase_cannot_resolve = 9;
constexpr int phrase_cannot_connect = 10;
constexpr int phrase_colon = 38;

// The reason of one failed connect, in the system's words where it has them.
std::string failure_reason(int32_t status)
{
    if (is_connect_error(status))
        return system_error_text(status - transport_status::connect_error_base);
    return status == transport_status::timed_out ? system_error_text(ETIMEDOUT) : std::to_string(status);
}
}  // namespace

ftp_control::ftp_control()
{
    set_line_limit(reply_line_limit);
}

ftp_control::ftp_control(const remote_site& site, const remote_options& options) : ftp_control()
{
    configure(site, options);
}

ftp_control::~ftp_control()
{
    // The data connection's threads must be gone before the pipe they use.
    active_data_.reset();
    passive_data_.reset();
    pipe_.reset();
}

void ftp_control::configure(const remote_site& site, const remote_options& options)
{
    site_ = site;
    options_ = options;
    passive_ = options.passive;
    time_difference_ = site.time_difference;
    publish_inputs(site_, options_);
}

void ftp_control::fill_input()
{
    qxval chunk;
    // Cleared first, so an end of the stream tells a time-out (1000) from a
    // close.
    control_socket_.last_error = 0;
    if (control_socket_.receive(chunk) < 1) {
        mark_end();
        return;
    }
    push_chunk(chunk.view());
}

void ftp_control::set_state(remote_state to)
{
    const remote_state from = state_.exchange(to);
    if (from == to)
        return;
    // A new login starts with the server's default type.
    if (to != remote_state::logged_in)
        type_in_force_ = -1;
    log(log_state, std::string(remote_state_name(from)) + " -> " + remote_state_name(to) + "\r\n");
    if (observer_)
        observer_->on_state(*this, from, to);
}

void ftp_control::reset_state()
{
    set_state(remote_state::disconnected);
    listing_styles_ = 0;
    reset_stream();
    chmod_supported_ = true;
    epsv_refused_ = false;
    eprt_refused_ = false;
    features_ = server_features{};
    machine_listing_refused_ = false;
    // A new connection asks for PASV again, as the options say.
    passive_ = options_.passive;
    set_security({});
}

remote_result ftp_control::reply_failure(int status) const
{
    remote_result failure(status);
    for (const qxval& line : reply_lines_)
        failure.reply.emplace_back(line.view());
    return failure;
}

void ftp_control::report_error(int code)
{
    if (observer_)
        observer_->on_error(*this, code);
}

std::string_view ftp_control::phrase(int number) const
{
    return language_ ? language_->text(number) : std::string_view();
}

void ftp_control::log(int kind, std::string_view text)
{
    log_to_observer(observer_, *this, kind, text);
}

void ftp_control::status(std::string_view text)
{
    if (observer_)
        observer_->on_status(*this, qxval(text));
}

void ftp_control::forget_folders()
{
    qxfile_tree::reader hold(folder_tree_);
    current_folder_ = nullptr;
    folder_tree_.clear();
}

remote_result ftp_control::connect_and_greet()
{
    remote_session_lock hold(*this);
    if (!hold)
        return hold.status();
    reset_state();
    control_socket_.close_gracefully(false);
    abort_transfer();
    if (stop_.killed())
        return status_stopped;
    set_state(remote_state::connecting);
    if (remote_result failure = reach_server(); !failure.ok()) {
        set_state(remote_state::disconnected);
        return failure;
    }
    set_state(remote_state::connected);
    // Implicit TLS: not even the greeting is read before the certificate
    // is accepted.
    if (site_.encryption == remote_encryption::implicit) {
        if (remote_result failure = start_control_tls(); !failure.ok()) {
            reset_state();
            control_socket_.close_with_reset();
            return failure;
        }
    }
    if (remote_result failure = read_reply(); !failure.ok())
        return failure;
    // A greeting of 120 (ready later) or worse is no session.
    if (reply_class_ != 2)
        return reply_failure(status_not_connected);
    if (remote_result failure = negotiate_tls(); !failure.ok()) {
        reset_state();
        control_socket_.close_with_reset();
        return failure;
    }
    return status_ok;
}

remote_result ftp_control::reach_server()
{
    const std::optional<ftp_proxy>& proxy = site_.proxy;
    const bool via_proxy = proxy.has_value();
    const qxval& target_host = via_proxy ? proxy->proxy_host : site_.host;
    const int32_t target_port = via_proxy ? proxy->proxy_port : site_.port;
    const std::string host_line = target_host.str() + "\r\n";

    if (!control_socket_.resolve(target_port, target_host)) {
        log(log_error, std::string(phrase(phrase_cannot_resolve)) + host_line);
        return control_socket_.last_error ? control_socket_.last_error : transport_status::cannot_resolve;
    }
    if (stop_.killed())
        return status_stopped;
    const bool connected = control_socket_.connect_with_timeout();
    // With several addresses, each one that failed, and why.
    if (control_socket_.addresses.size() > 1)
        for (const qxsocket::connect_failure& failed : control_socket_.failures)
            log(log_info, std::string(phrase(phrase_cannot_connect)) + failed.address.endpoint_text() +
                              std::string(phrase(phrase_colon)) + failure_reason(failed.status) + "\r\n");
    if (!connected) {
        log(log_error,
            std::string(phrase(phrase_cannot_connect)) + endpoint_text(target_host.view(), target_port) + "\r\n");
        return control_socket_.last_error ? control_socket_.last_error : transport_status::timed_out;
    }
    if (via_proxy && proxy->is_socks()) {
        socks_client_.socket = &control_socket_;
        socks_client_.version = proxy->type;
        socks_client_.use_4a = site_.socks_4a;
        socks_client_.destination_host = site_.host;
        socks_client_.destination_port = static_cast<uint16_t>(site_.port);
        socks_client_.user_name = proxy->proxy_username;
        socks_client_.password = proxy->proxy_password;
        if (int status = socks_client_.socks_connect())
            return status;
    }
    control_socket_.set_timeout(options_.timeout, 0);
    // The address that answered, unless the host was given as that address.
    const std::string reached = control_socket_.remote_address.endpoint_text();
    const std::string numeric = control_socket_.remote_address.host_text();
    std::string_view host = target_host.view();
    if (host.size() > 2 && host.front() == '[' && host.back() == ']')
        host = host.substr(1, host.size() - 2);
    log(log_info, std::string(phrase(phrase_connected)) +
                      (host == numeric ? reached : target_host.str() + " " + reached) + "\r\n");
    return stop_.killed() ? status_stopped : status_ok;
}

remote_result ftp_control::quit()
{
    // Held, so no other thread's QUIT can change the state under the holder.
    remote_session_lock hold(*this);
    if (!hold)
        return hold.status();
    // Logged out whatever the answer; the server closes after its reply.
    if (connected())
        set_state(remote_state::closing);
    return send_command("QUIT");
}

void ftp_control::disconnect(int wait_ms)
{
    // Another thread's operation must not lose its socket under it: stop its
    // transfer, then wait (bounded) until it lets go. If it never does, the
    // session stays as it is and closing is left to its holder.
    if (!held_by_caller())
        abort_transfer();
    remote_session_lock hold(*this, wait_ms);
    if (!hold)
        return;
    // After a QUIT (closing) the goodbye has been said once already.
    if (connected() && state() != remote_state::closing)
        (void)quit();
    reset_state();
    control_socket_.close_gracefully(false);
    abort_transfer();
}

void ftp_control::stop(int reason)
{
    stop_.request(reason);
    abort_transfer();
    // Given up: a reply being waited for is not waited for any longer.
    if (stop_.killed())
        control_socket_.interrupt();
}

void ftp_control::abort_transfer()
{
    std::lock_guard lock(data_mutex_);
    if (pipe_)
        pipe_->raise(pipe_stop);
    // At most one of them exists.
    for (auto* connection : {passive_data_.get(), active_data_.get()})
        if (connection)
            connection->abort_socket();
}

std::string ftp_control::command_line(std::string_view verb, std::string_view argument)
{
    std::string line(verb);
    line += ' ';
    line += argument;
    return line;
}

std::string ftp_control::joined(std::string_view verb, std::string_view argument)
{
    std::string line(verb);
    if (!argument.empty()) {
        line += ' ';
        line += argument;
    }
    return line;
}

}  // namespace qvtf
