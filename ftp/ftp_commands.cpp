// The single commands of a session: the line each sends and how its reply
// maps to a status. A non-zero status of send_command comes back unchanged;
// A 421 never reaches these: read_reply turns it into 6003.
#include <algorithm>
#include <charconv>
#include <string>

#include "core/qxtext.h"
#include "ftp/ftp_command_text.h"
#include "ftp/ftp_control.h"

namespace qvtf {

int ftp_control::send_user()
{
    ftp_session_lock hold(*this);
    if (!hold)
        return hold.status();
    if (int status = send_command(command_line("USER", user_name.view())))
        return status;
    switch (reply_code) {
    case 230: set_state(ftp_state::logged_in); return status_ok;
    case 331: return send_pass();
    case 500:
    case 501: return status_login_rejected;
    case 530: return status_login_refused;
    default: return unexpected_reply();
    }
}

int ftp_control::send_pass()
{
    if (int status = send_command(command_line("PASS", password.view())))
        return status;
    switch (reply_code) {
    case 202:
    case 230: set_state(ftp_state::logged_in); return status_ok;
    // An account (332) is never supplied on our own; a script may send ACCT.
    case 332:
    case 500:
    case 501:
    case 503: return status_login_rejected;
    case 530: return status_login_refused;
    default: return unexpected_reply();
    }
}

int ftp_control::reinitialize()
{
    ftp_session_lock hold(*this);
    if (!hold)
        return hold.status();
    if (logged_in)
        set_state(ftp_state::connected);
    if (int status = send_command("REIN"))
        return status;
    switch (reply_code) {
    case 120: return status_not_connected;
    case 220:
    case 502: return status_ok;
    default: return unexpected_reply();
    }
}

int ftp_control::allocate(int64_t size)
{
    if (!logged_in)
        return status_not_connected;
    return send_command("ALLO " + std::to_string(size));
}

int ftp_control::restart_at(int64_t offset)
{
    if (!logged_in)
        return status_not_connected;
    return send_command("REST " + std::to_string(offset));
}

int ftp_control::send_port(const qxval& address, int32_t port_number)
{
    if (!logged_in)
        return status_not_connected;
    std::string line = "PORT ";
    for (char c : address.view())
        line += c == '.' ? ',' : c;
    line += ',' + std::to_string(port_number / 256) + ',' + std::to_string(port_number % 256);
    if (int status = send_command(line))
        return status;
    switch (reply_code) {
    case 200: return status_ok;
    default: return unexpected_reply();
    }
}

int ftp_control::send_pasv()
{
    if (!logged_in)
        return status_not_connected;
    if (int status = send_command("PASV"))
        return status;
    switch (reply_code) {
    case 227: {
        const qxval* first = reply_lines.empty() ? nullptr : &reply_lines.head->value;
        return parse_pasv_reply(first ? first->view() : std::string_view(), data_host, data_port);
    }
    case 500:
    case 502:
        if (!allow_passive_drop_to_port)
            return status_pasv_refused;
        passive = 0;
        return status_ok;
    default: return unexpected_reply();
    }
}

int ftp_control::set_type(int32_t type)
{
    if (!logged_in)
        return status_not_connected;
    // The type lasts for the session: one round trip less per file.
    const int32_t wanted = type == 1 ? 1 : 0;
    if (type_in_force_ == wanted)
        return status_ok;
    if (int status = send_command(wanted == 1 ? "TYPE A" : "TYPE I"))
        return status;
    switch (reply_code) {
    case 200: type_in_force_ = wanted; return status_ok;
    default: return unexpected_reply();
    }
}

// The transfer commands leave the reply to the data-connection code.
int ftp_control::retrieve(const qxval& path)
{
    if (!logged_in)
        return status_not_connected;
    return send_command(command_line("RETR", path.view()));
}

int ftp_control::remote_file_size(const qxval& path, int64_t& out)
{
    out = -1;
    if (!logged_in)
        return status_not_connected;
    if (int status = send_command(command_line("SIZE", path.view())))
        return status;
    if (reply_code != 213 || reply_lines.empty())
        return status_ok;
    std::string_view text = reply_lines.begin()->view();
    text.remove_prefix(std::min<size_t>(text.size(), 4));
    while (!text.empty() && (text.back() == ' ' || text.back() == '\t'))
        text.remove_suffix(1);
    int64_t size = -1;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), size);
    if (error == std::errc() && end == text.data() + text.size() && !text.empty() && size >= 0)
        out = size;
    return status_ok;
}

int ftp_control::store(const qxval& path)
{
    if (!logged_in)
        return status_not_connected;
    return send_command(command_line("STOR", path.view()));
}

int ftp_control::send_list(const qxval& path)
{
    if (!logged_in)
        return status_not_connected;
    return send_command(joined(joined("LIST", list_parameters.view()), path.view()));
}

int ftp_control::site(const qxval& text)
{
    if (!logged_in)
        return status_not_connected;
    return send_command(joined("SITE", text.view()));
}

int ftp_control::rename(const qxval& from, const qxval& to)
{
    ftp_session_lock hold(*this);
    if (!hold)
        return hold.status();
    if (!logged_in)
        return status_not_connected;
    // A target that cannot be sent must not leave a rename half begun.
    if (holds_line_break(from.view()) || holds_line_break(to.view()))
        return refuse_line_break(*this);
    if (int status = send_command(command_line("RNFR", from.view())))
        return status;
    switch (reply_code) {
    case 350: break;
    case 450:
    case 550: return status_refused;
    default: return unexpected_reply();
    }
    if (int status = send_command(command_line("RNTO", to.view())))
        return status;
    switch (reply_code) {
    case 250: return status_ok;
    case 450:
    case 550: return status_refused;
    default: return unexpected_reply();
    }
}

namespace {

int removal_status(ftp_control& session)
{
    switch (session.reply_code) {
    case 250: return status_ok;
    case 450:
    case 550: return status_refused;
    default: return session.unexpected_reply();
    }
}

int creation_status(ftp_control& session)
{
    switch (session.reply_code) {
    case 257: return status_ok;
    case 521:
    case 550: return status_refused;
    default: return session.unexpected_reply();
    }
}

// Sends a command line and maps its reply to a status.
int mapped_command(ftp_control& session, const std::string& line, int (*map)(ftp_control&))
{
    if (!session.logged_in)
        return status_not_connected;
    if (int status = session.send_command(line))
        return status;
    return map(session);
}

}  // namespace

int ftp_control::delete_file(const qxval& path)
{
    return mapped_command(*this, command_line("DELE", path.view()), &removal_status);
}

int ftp_control::remove_folder(const qxval& path)
{
    return mapped_command(*this, command_line("RMD", path.view()), &removal_status);
}

int ftp_control::make_folder(const qxval& path)
{
    return mapped_command(*this, command_line("MKD", path.view()), &creation_status);
}

int ftp_control::change_mode(const qxval& path, const qxval* mode)
{
    if (!logged_in)
        return status_not_connected;
    // Once refused as unknown, SITE CHMOD is not asked again on this connection.
    if (!chmod_supported)
        return status_chmod_unsupported;
    const qxval& bits = mode ? *mode : chmod_mode;
    if (int status = send_command("SITE CHMOD " + bits.str() + " " + path.str()))
        return status;
    switch (reply_code) {
    case 200:
    case 250: return status_ok;
    case 202: return status_chmod_unsupported;
    case 500:
    case 501: chmod_supported = 0; return status_refused;
    case 550: return status_refused;
    default: return unexpected_reply();
    }
}

}  // namespace qvtf
