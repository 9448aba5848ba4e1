#include "ftp/ftp_control.h"

#include "ftp/ftp_proxy.h"
#include "markup/qxlang.h"

namespace qvtf {

namespace {
// Phrases of the connection log.
constexpr int phrase_connected = 7;
constexpr int phrase_cannot_resolve = 9;
constexpr int phrase_cannot_connect = 10;
}  // namespace

const char* ftp_state_name(ftp_state state)
{
    switch (state) {
    case ftp_state::disconnected: return "disconnected";
    case ftp_state::connecting: return "connecting";
    case ftp_state::connected: return "connected";
    case ftp_state::logged_in: return "logged in";
    case ftp_state::closing: return "closing";
    }
    return "?";
}

ftp_control::ftp_control()
{
    set_line_limit(reply_line_limit);
}

ftp_control::~ftp_control()
{
    // The data connection's threads must be gone before the pipe they use.
    active_data.reset();
    passive_data.reset();
    pipe.reset();
}

void ftp_control::fill_input()
{
    qxval chunk;
    // Cleared first, so an end of the stream tells a time-out (1000) from a
    // close.
    control_socket.last_error = 0;
    if (control_socket.receive(chunk) < 1) {
        mark_end();
        return;
    }
    push_chunk(chunk.view());
}

void ftp_control::set_state(ftp_state to)
{
    const ftp_state from = state_.exchange(to);
    if (from == to)
        return;
    // A new login starts with the server's default type.
    if (to != ftp_state::logged_in)
        type_in_force_ = -1;
    log(log_state, std::string(ftp_state_name(from)) + " -> " + ftp_state_name(to) + "\r\n");
    if (observer)
        observer->on_state(*this, from, to);
}

void ftp_control::reset_state()
{
    set_state(ftp_state::disconnected);
    listing_styles = 0;
    reset_stream();
    chmod_supported = 1;
}

int ftp_control::unexpected_reply()
{
    keep_lines(reply_lines, failure_lines);
    return status_unexpected_reply;
}

void ftp_control::report_error(int code)
{
    if (observer)
        observer->on_error(*this, code);
}

std::string_view ftp_control::phrase(int number) const
{
    return language ? language->text(number) : std::string_view();
}

void ftp_control::log(int kind, std::string_view text)
{
    if (!observer)
        return;
    auto lines = std::make_unique<qxarr>();
    qxval line(text);
    lines->push(line);
    observer->on_log(*this, std::move(lines), kind);
}

void ftp_control::status(std::string_view text)
{
    if (observer)
        observer->on_status(*this, qxval(text));
}

int ftp_control::connect_and_greet()
{
    ftp_session_lock hold(*this);
    if (!hold)
        return hold.status();
    reset_state();
    control_socket.close_gracefully(false);
    abort_transfer();
    if (stop_request)
        return status_stopped;
    set_state(ftp_state::connecting);
    if (int status = reach_server()) {
        set_state(ftp_state::disconnected);
        return status;
    }
    set_state(ftp_state::connected);
    if (int status = read_reply())
        return status;
    // A greeting of 120 (ready later) or worse is no session.
    return reply_class == 2 ? status_ok : status_not_connected;
}

int ftp_control::reach_server()
{
    const bool via_proxy = proxy.has_value();
    const qxval& target_host = via_proxy ? proxy->proxy_host : host;
    const int32_t target_port = via_proxy ? proxy->proxy_port : port;
    const std::string host_line = target_host.str() + "\r\n";

    if (!control_socket.resolve(target_port, target_host)) {
        log(log_error, std::string(phrase(phrase_cannot_resolve)) + host_line);
        return control_socket.last_error ? control_socket.last_error : transport_status::cannot_resolve;
    }
    if (stop_request)
        return status_stopped;
    if (!control_socket.connect_with_timeout()) {
        log(log_error, std::string(phrase(phrase_cannot_connect)) + target_host.str() + ":" +
                           std::to_string(target_port) + "\r\n");
        return control_socket.last_error ? control_socket.last_error : transport_status::timed_out;
    }
    if (via_proxy && proxy->is_socks()) {
        socks_client.socket = &control_socket;
        socks_client.version = proxy->type;
        socks_client.use_4a = true;
        socks_client.destination_host = host;
        socks_client.destination_port = static_cast<uint16_t>(port);
        socks_client.user_name = proxy->proxy_username;
        socks_client.password = proxy->proxy_password;
        if (int status = socks_client.socks_connect())
            return status;
    }
    control_socket.set_timeout(timeout, 0);
    log(log_info, std::string(phrase(phrase_connected)) + host_line);
    return stop_request ? int(status_stopped) : int(status_ok);
}

int ftp_control::quit()
{
    // Held, so no other thread's QUIT can change the state under the holder.
    ftp_session_lock hold(*this);
    if (!hold)
        return hold.status();
    // Logged out whatever the answer; the server closes after its reply.
    if (connected)
        set_state(ftp_state::closing);
    return send_command("QUIT");
}

void ftp_control::disconnect(int wait_ms)
{
    // Another thread's operation must not lose its socket under it: stop its
    // transfer, then wait (bounded) until it lets go. If it never does, the
    // session stays as it is and closing is left to its holder.
    if (!held_by_caller())
        abort_transfer();
    ftp_session_lock hold(*this, wait_ms);
    if (!hold)
        return;
    if (connected)
        quit();
    reset_state();
    control_socket.close_gracefully(false);
    abort_transfer();
}

void ftp_control::abort_transfer()
{
    abort_data = 1;
    std::lock_guard lock(lock_mutex_);
    if (pipe)
        pipe->raise(pipe_stop);
    // At most one of them exists; looking at both spares reading `passive`,
    // which the session's own thread may be changing.
    for (auto* connection : {passive_data.get(), active_data.get()})
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
