// The single commands of a session: the line each sends and how its reply
// maps to a status. A non-zero status of send_command comes back unchanged;
// A 421 never reaches these: read_reply turns it into 6003.
#include <algorithm>
#include <charconv>
#include <ctime>
#include <string>

#include "core/qxtext.h"
#include "ftp/ftp_command_text.h"
#include "ftp/ftp_control.h"

namespace qvtf {

remote_result ftp_control::send_user()
{
    remote_session_lock hold(*this);
    if (!hold)
        return hold.status();
    if (remote_result status = send_command(command_line("USER", site_.user_name.view())))
        return status;
    switch (reply_code_) {
    case 230: set_state(remote_state::logged_in); return status_ok;
    case 331: return send_pass();
    case 500:
    case 501: return status_login_rejected;
    case 530: return status_login_refused;
    default: return unexpected_reply();
    }
}

remote_result ftp_control::send_pass()
{
    if (remote_result status = send_command(command_line("PASS", site_.password.view())))
        return status;
    switch (reply_code_) {
    case 202:
    case 230: set_state(remote_state::logged_in); return status_ok;
    // An account (332) is never supplied on our own; a script may send ACCT.
    case 332:
    case 500:
    case 501:
    case 503: return status_login_rejected;
    case 530: return status_login_refused;
    default: return unexpected_reply();
    }
}

remote_result ftp_control::reinitialize()
{
    remote_session_lock hold(*this);
    if (!hold)
        return hold.status();
    if (logged_in())
        set_state(remote_state::connected);
    if (remote_result status = send_command("REIN"))
        return status;
    switch (reply_code_) {
    case 120: return status_not_connected;
    case 220:
    case 502: return status_ok;
    default: return unexpected_reply();
    }
}

remote_result ftp_control::allocate(int64_t size)
{
    if (!logged_in())
        return status_not_connected;
    return send_command("ALLO " + std::to_string(size));
}

remote_result ftp_control::restart_at(int64_t offset)
{
    if (!logged_in())
        return status_not_connected;
    return send_command("REST " + std::to_string(offset));
}

remote_result ftp_control::send_port(const qxval& address, int32_t port_number)
{
    if (!logged_in())
        return status_not_connected;
    std::string line = "PORT ";
    for (char c : address.view())
        line += c == '.' ? ',' : c;
    line += ',' + std::to_string(port_number / 256) + ',' + std::to_string(port_number % 256);
    if (remote_result status = send_command(line))
        return status;
    switch (reply_code_) {
    case 200: return status_ok;
    default: return unexpected_reply();
    }
}

remote_result ftp_control::send_pasv()
{
    if (!logged_in())
        return status_not_connected;
    if (remote_result status = send_command("PASV"))
        return status;
    switch (reply_code_) {
    case 227: {
        const qxval* first = reply_lines_.empty() ? nullptr : &reply_lines_.head->value;
        return parse_pasv_reply(first ? first->view() : std::string_view(), data_host_, data_port_);
    }
    case 500:
    case 502:
        if (!options_.allow_passive_drop_to_port)
            return status_pasv_refused;
        passive_ = false;
        return status_ok;
    default: return unexpected_reply();
    }
}

remote_result ftp_control::set_type(int32_t type)
{
    if (!logged_in())
        return status_not_connected;
    // The type lasts for the session: one round trip less per file.
    const int32_t wanted = type == 1 ? 1 : 0;
    if (type_in_force_ == wanted)
        return status_ok;
    if (remote_result status = send_command(wanted == 1 ? "TYPE A" : "TYPE I"))
        return status;
    switch (reply_code_) {
    case 200: type_in_force_ = wanted; return status_ok;
    default: return unexpected_reply();
    }
}

// The transfer commands leave the reply to the data-connection code.
remote_result ftp_control::retrieve(const qxval& path)
{
    if (!logged_in())
        return status_not_connected;
    return send_command(command_line("RETR", path.view()));
}

remote_result ftp_control::answer_213(std::string_view verb, const qxval& path, std::string& text)
{
    text.clear();
    if (!logged_in())
        return status_not_connected;
    if (remote_result status = send_command(command_line(verb, path.view())); !status.ok())
        return status;
    if (reply_code_ != 213 || reply_lines_.empty())
        return status_ok;
    std::string_view answer = reply_lines_.begin()->view();
    answer.remove_prefix(std::min<size_t>(answer.size(), 4));
    while (!answer.empty() && (answer.back() == ' ' || answer.back() == '\t'))
        answer.remove_suffix(1);
    text = answer;
    return status_ok;
}

remote_result ftp_control::file_size(const qxval& path, int64_t& out)
{
    out = -1;
    // A size in ASCII mode is refused by many servers (and meaningless with
    // line ends converted): binary first, which most transfers use anyway.
    if (type_in_force_ != 0)
        if (remote_result status = set_type(0); !status.ok() && !logged_in())
            return status;
    std::string text;
    if (remote_result status = answer_213("SIZE", path, text); !status.ok())
        return status;
    int64_t size = -1;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), size);
    if (error == std::errc() && end == text.data() + text.size() && !text.empty() && size >= 0)
        out = size;
    return status_ok;
}

remote_result ftp_control::modification_time(const qxval& path, int64_t& out)
{
    out = -1;
    std::string stamp;
    if (!features_.mdtm && features_.mlst && options_.use_mlsd) {
        // The entry's own facts: " type=file;modify=20200102030405; name".
        if (!logged_in())
            return status_not_connected;
        if (remote_result status = send_command(command_line("MLST", path.view())); !status.ok())
            return status;
        if (reply_code_ != 250 || reply_lines_.count() < 2)
            return status_ok;
        std::string_view facts = std::next(reply_lines_.begin())->view();
        if (!facts.empty() && facts.front() == ' ')
            facts.remove_prefix(1);
        facts = facts.substr(0, facts.find(' '));  // the facts end at the name
        constexpr std::string_view modify = "modify=";
        while (!facts.empty()) {
            const std::size_t end = facts.find(';');
            const std::string_view fact = facts.substr(0, end);
            if (fact.size() > modify.size() &&
                std::equal(modify.begin(), modify.end(), fact.begin(), [](char a, char b) { return a == ascii_lower(b); }))
                stamp = fact.substr(modify.size());
            if (end == std::string_view::npos)
                break;
            facts.remove_prefix(end + 1);
        }
    } else if (remote_result status = answer_213("MDTM", path, stamp); !status.ok()) {
        return status;
    }
    std::tm tm{};
    if (stamp.size() >= 14 && ::strptime(stamp.substr(0, 14).c_str(), "%Y%m%d%H%M%S", &tm))
        out = ::timegm(&tm);
    return status_ok;
}

remote_result ftp_control::store(const qxval& path)
{
    if (!logged_in())
        return status_not_connected;
    return send_command(command_line("STOR", path.view()));
}

remote_result ftp_control::send_list(const qxval& path)
{
    if (!logged_in())
        return status_not_connected;
    return send_command(joined(joined("LIST", options_.list_parameters.view()), path.view()));
}

remote_result ftp_control::send_mlsd(const qxval& path)
{
    if (!logged_in())
        return status_not_connected;
    return send_command(joined("MLSD", path.view()));
}

remote_result ftp_control::site_command(const qxval& text)
{
    if (!logged_in())
        return status_not_connected;
    return send_command(joined("SITE", text.view()));
}

remote_result ftp_control::rename(const qxval& from, const qxval& to)
{
    remote_session_lock hold(*this);
    if (!hold)
        return hold.status();
    if (!logged_in())
        return status_not_connected;
    // A target that cannot be sent must not leave a rename half begun.
    if (holds_line_break(from.view()) || holds_line_break(to.view()))
        return refuse_line_break(*this);
    if (remote_result status = send_command(command_line("RNFR", from.view())))
        return status;
    switch (reply_code_) {
    case 350: break;
    case 450:
    case 550: return reply_failure(status_refused);
    default: return unexpected_reply();
    }
    if (remote_result status = send_command(command_line("RNTO", to.view())))
        return status;
    switch (reply_code_) {
    case 250: return status_ok;
    case 450:
    case 550: return reply_failure(status_refused);
    default: return unexpected_reply();
    }
}

namespace {

remote_result removal_status(const ftp_control& session)
{
    switch (session.reply_code()) {
    case 250: return status_ok;
    case 450:
    case 550: return session.reply_failure(status_refused);
    default: return session.unexpected_reply();
    }
}

remote_result creation_status(const ftp_control& session)
{
    switch (session.reply_code()) {
    case 257: return status_ok;
    case 521:
    case 550: return session.reply_failure(status_refused);
    default: return session.unexpected_reply();
    }
}

// Sends a command line and maps its reply to a status.
remote_result mapped_command(ftp_control& session, const std::string& line, remote_result (*map)(const ftp_control&))
{
    if (!session.logged_in())
        return status_not_connected;
    if (remote_result status = session.send_command(line); !status.ok())
        return status;
    return map(session);
}

}  // namespace

remote_result ftp_control::delete_file(const qxval& path)
{
    return mapped_command(*this, command_line("DELE", path.view()), &removal_status);
}

remote_result ftp_control::remove_folder(const qxval& path)
{
    return mapped_command(*this, command_line("RMD", path.view()), &removal_status);
}

remote_result ftp_control::make_folder(const qxval& path)
{
    return mapped_command(*this, command_line("MKD", path.view()), &creation_status);
}

remote_result ftp_control::change_mode(const qxval& path, const qxval& mode)
{
    if (!logged_in())
        return status_not_connected;
    // Once refused as unknown, SITE CHMOD is not asked again on this connection.
    if (!chmod_supported_)
        return status_chmod_unsupported;
    if (remote_result status = send_command("SITE CHMOD " + mode.str() + " " + path.str()); !status.ok())
        return status;
    switch (reply_code_) {
    case 200:
    case 250: return status_ok;
    case 202: return status_chmod_unsupported;
    case 500:
    case 501: chmod_supported_ = false; return reply_failure(status_refused);
    case 550: return reply_failure(status_refused);
    default: return unexpected_reply();
    }
}

remote_result ftp_control::keep_alive()
{
    // Harmless, and varied: some servers count only "real" commands as activity.
    static constexpr const char* rotation[] = {"TYPE I", "HELP", "SYST", "PWD", "TYPE A", "REST 0"};
    const char* command = rotation[keepalive_rotation_];
    keepalive_rotation_ = (keepalive_rotation_ + 1) % int(std::size(rotation));
    return send_command(command);
}

}  // namespace qvtf
