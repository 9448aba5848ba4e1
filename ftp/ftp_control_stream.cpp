// Replies and commands on the control connection.
#include <array>
#include <string>

#include "core/qxtext.h"
#include "ftp/ftp_command_text.h"
#include "ftp/ftp_control.h"

namespace qvtf {

namespace {

bool is_digit(char c)
{
    return c >= '0' && c <= '9';
}

// Code of a line that begins with exactly three digits followed by a space or
// the end of the line, else -1.
int closing_code(std::string_view line)
{
    if (line.size() < 3 || !is_digit(line[0]) || !is_digit(line[1]) || !is_digit(line[2]))
        return -1;
    if (line.size() > 3 && line[3] != ' ')
        return -1;
    return (line[0] - '0') * 100 + (line[1] - '0') * 10 + (line[2] - '0');
}

struct verb {
    const char* text;
    int length;
};

// In the order they are tried; the first match wins.
constexpr std::array<verb, 33> verbs = {{
    {"USER", 4}, {"PASS", 4}, {"ACCT", 4}, {"CWD", 3},  {"CDUP", 4}, {"SMNT", 4}, {"QUIT", 4}, {"REIN", 4}, {"PORT", 4},
    {"PASV", 4}, {"TYPE", 4}, {"STRU", 4}, {"MODE", 4}, {"RETR", 4}, {"STOR", 4}, {"STOU", 4}, {"APPE", 4}, {"ALLO", 4},
    {"REST", 4}, {"RNFR", 4}, {"RNTO", 4}, {"ABOR", 4}, {"DELE", 4}, {"RMD", 3},  {"MKD", 3},  {"PWD", 3},  {"LIST", 4},
    {"NLST", 4}, {"SITE", 4}, {"SYST", 4}, {"STAT", 4}, {"HELP", 4}, {"NOOP", 4},
}};

}  // namespace

int ftp_control::command_kind(std::string_view line)
{
    for (std::size_t k = 0; k < verbs.size(); ++k) {
        const verb& v = verbs[k];
        if (line.size() < static_cast<std::size_t>(v.length))
            continue;
        bool same = true;
        for (int i = 0; i < v.length && same; ++i) {
            char c = line[i];
            if (c >= 'a' && c <= 'z')
                c = static_cast<char>(c - 'a' + 'A');
            same = c == v.text[i];
        }
        if (same)
            return static_cast<int>(k) + 1;
    }
    return cmd_other;
}

remote_result ftp_control::read_reply()
{
    if (!connected())
        return status_not_connected;
    if (stop_.killed())
        return status_stopped;
    // A session nobody holds is the reader's until the reply is in.
    remote_session_lock hold(*this);
    if (!hold)
        return hold.status();
    idle_rounds_ = 0;
    reply_lines_.clear();
    reply_code_ = 0;

    bool multi_line = false;
    bool complete = false;
    std::size_t reply_bytes = 0;
    int status = status_ok;
    std::string line;
    while (!complete) {
        if (!connected())
            return status_not_connected;
        status = read_line(line);
        pop_chunk();
        // A server that stays silent past the time-out is reported as such,
        // not as a closed connection.
        if (status == status_stream_ended && control_socket_.last_error == transport_status::timed_out)
            status = transport_status::timed_out;
        if (status != status_ok)
            break;
        if (!multi_line) {
            int digits = 0;
            int code = 0;
            while (digits < 3 && digits < static_cast<int>(line.size()) && is_digit(line[digits]))
                code = code * 10 + (line[digits++] - '0');
            reply_code_ = code;
            if (digits < 3) {
                status = status_bad_reply_line;
                break;
            }
            reply_detail_ = static_cast<uint8_t>(code % 10);
            const int group = (code / 10) % 10;
            reply_group_ = static_cast<uint8_t>(group > 5 ? 9 : group);
            const int cls = code / 100;
            reply_class_ = static_cast<uint8_t>(cls < 1 || cls > 5 ? 9 : cls);
            const char after = line.size() > 3 ? line[3] : ' ';
            if (after == ' ')
                complete = true;
            else if (after == '-')
                multi_line = true;
            // Anything else: the next line is read as a first line again.
        } else if (closing_code(line) == reply_code_) {
            complete = true;
        }
        // Endless continuation lines must not grow the reply without bound.
        reply_bytes += line.size() + 1;
        if (reply_bytes > max_reply_bytes) {
            status = status_input_too_large;
            break;
        }
        qxval value(line);
        reply_lines_.push(value);
    }

    if (status == status_ok && observer_) {
        reply_log_.clear();
        for (const qxval& l : reply_lines_) {
            reply_log_ += l.view();
            reply_log_ += "\r\n";
        }
        observer_->on_log_text(*this, reply_log_, log_reply);
    }
    idle_rounds_ = 0;
    if (status != status_ok) {
        reset_state();
        report_error(status);
        return status;
    }
    // The server is closing the session: the one place that handles 421,
    // whatever command it answers. It stays connected until the server
    // closes the socket.
    if (reply_code_ == 421) {
        set_state(remote_state::closing);
        report_error(status_not_connected);
        return reply_failure(status_not_connected);
    }
    return status_ok;
}

remote_result ftp_control::send_command(std::string_view text)
{
    return send_command(text, text);
}

remote_result ftp_control::send_command(std::string_view text, std::string_view shown)
{
    if (!connected())
        return status_not_connected;
    if (stop_.killed())
        return status_stopped;
    // A value holding a line break would smuggle a second command to the
    // server; nothing of such a line is sent (and a password in it is not
    // logged either).
    if (holds_line_break(text))
        return refuse_line_break(*this);
    // A TYPE of anyone's (a script's, say) leaves the type unknown until
    // set_type has seen its answer.
    if (text.size() >= 4 && ascii_upper(text[0]) == 'T' && ascii_upper(text[1]) == 'Y' && ascii_upper(text[2]) == 'P' &&
        ascii_upper(text[3]) == 'E')
        type_in_force_ = -1;
    // A session nobody holds is the sender's until the reply is read; one
    // another thread holds gets nothing of this line.
    remote_session_lock hold(*this);
    if (!hold)
        return hold.status();
    idle_rounds_ = 0;
    std::string line(text);
    line += "\r\n";

    if (observer_)
        log(log_command, shown_command(shown) + "\r\n");

    const int32_t sent = control_socket_.send_all(line);
    if (sent < static_cast<int32_t>(line.size())) {
        const int status = control_socket_.last_error ? control_socket_.last_error : status_stream_ended;
        idle_rounds_ = 0;
        reset_state();
        report_error(status);
        return status;
    }
    return read_reply();
}

remote_result ftp_control::raw_command(std::string_view line)
{
    remote_result result = send_command(line);
    if (result.ok())
        result.reply = reply_failure(status_ok).reply;
    return result;
}

}  // namespace qvtf
