// Logging in: directly, through a SOCKS proxy (negotiated by the connect),
// or through an FTP firewall by its command script; then the site's custom
// commands.
#include <string>
#include <vector>

#include "core/qxhash.h"
#include "core/qxregex.h"
#include "ftp/ftp_command_text.h"
#include "ftp/ftp_control.h"
#include "ftp/ftp_proxy.h"

namespace qvtf {

namespace {

constexpr int phrase_forbidden_in_script = 439;

// Commands that need a data connection have no place in a script.
bool forbidden_in_script(int kind)
{
    return (kind >= cmd_retr && kind <= cmd_appe) || kind == cmd_list || kind == cmd_nlst;
}

constexpr int32_t login_bits = (1 << cmd_user) | (1 << cmd_pass) | (1 << cmd_acct);

// One line of a script: what is sent, and what the log shows of it.
struct script_line {
    std::string sent;
    std::string shown;
};
using script_lines = std::vector<script_line>;

// Lines end at CR, LF or CR LF: scripts typed or read back from XML files
// carry bare line feeds. Empty lines are skipped. A script is split before
// its placeholders are filled in, so no value can add a line.
template <class Each>
void for_each_line(std::string_view script, Each each)
{
    std::size_t start = 0;
    while (start < script.size()) {
        std::size_t end = script.find_first_of("\r\n", start);
        if (end == std::string_view::npos)
            end = script.size();
        if (end > start)
            each(script.substr(start, end - start));
        start = end + 1;
    }
}

script_lines plain_lines(std::string_view script)
{
    script_lines lines;
    for_each_line(script, [&](std::string_view line) { lines.push_back({std::string(line), std::string(line)}); });
    return lines;
}

std::string filled_in(std::string_view line, qxhash& table)
{
    qxval text{std::string(line)};
    replace_variables(text, &table, true);
    return text.str();
}

void set_placeholders(qxhash& table, const remote_site& site, const ftp_proxy& proxy, const qxval& password,
                      const qxval& firewall_password)
{
    table.set("host", site.host);
    table.set("port", qxval(std::to_string(site.port)));
    table.set("username", site.user_name);
    table.set("password", password);
    table.set("firewall_username", proxy.proxy_username);
    table.set("firewall_password", firewall_password);
}

qxval stars(const qxval& secret)
{
    return qxval(std::string(secret.view().size(), '*'));
}

// The firewall's script with its placeholders filled in; the log copy has
// every password placeholder's value hidden, wherever it stands.
script_lines firewall_lines(const remote_site& site, const ftp_proxy& proxy)
{
    qxhash table;
    set_placeholders(table, site, proxy, site.password, proxy.proxy_password);
    qxhash hidden;
    set_placeholders(hidden, site, proxy, stars(site.password), stars(proxy.proxy_password));

    qxval script = proxy.ftp_command;
    script.convert_to(qxval_kind::string);
    script_lines lines;
    for_each_line(script.view(), [&](std::string_view line) {
        lines.push_back({filled_in(line, table), filled_in(line, hidden)});
    });
    return lines;
}

bool any_line_break(const script_lines& lines)
{
    for (const script_line& line : lines)
        if (holds_line_break(line.sent))
            return true;
    return false;
}

// logged_in: called when a login line of the script was answered 230.
template <class LoggedIn>
remote_result run_lines(ftp_control& session, const script_lines& lines, int32_t& kinds_mask, LoggedIn logged_in)
{
    kinds_mask = 0;
    if (!session.connected())
        return status_not_connected;
    // A refused line must not leave the script half sent.
    if (any_line_break(lines))
        return refuse_line_break(session);
    for (const script_line& line : lines) {
        const int kind = ftp_control::command_kind(line.sent);
        if (forbidden_in_script(kind)) {
            session.log(log_error, line.shown + std::string(session.phrase(phrase_forbidden_in_script)) + "\r\n");
            continue;
        }
        if (kind >= 1 && kind <= 31)
            kinds_mask |= 1 << kind;
        if (remote_result status = session.send_command(line.sent, line.shown); !status.ok())
            return status;
        if (!session.connected())
            return status_not_connected;
        if (session.reply_code() == 230 && (kinds_mask & login_bits))
            logged_in();
        // Error replies are accepted: the login is judged at the end.
    }
    return status_ok;
}

}  // namespace

remote_result ftp_control::run_script(const qxval& text)
{
    int32_t kinds_mask = 0;
    return run_script(text, kinds_mask);
}

remote_result ftp_control::run_script(const qxval& text, int32_t& kinds_mask)
{
    return run_lines(*this, plain_lines(text.view()), kinds_mask, [this] { set_state(remote_state::logged_in); });
}

remote_result ftp_control::log_in()
{
    remote_session_lock hold(*this);
    if (!hold)
        return hold.status();
    if (connected())
        (void)quit();
    reset_stream();

    const std::optional<ftp_proxy>& proxy = site_.proxy;
    const bool firewall = proxy && proxy->is_firewall();
    const script_lines script = firewall ? firewall_lines(site_, *proxy) : script_lines();
    const script_lines custom = plain_lines(site_.custom_commands.view());
    // Every value this login may send is checked before the connection is
    // even made, so a refusal leaves nothing half done on the server.
    if (holds_line_break(site_.user_name.view()) || holds_line_break(site_.password.view()) || any_line_break(script) ||
        any_line_break(custom))
        return refuse_line_break(*this);

    if (remote_result status = connect_and_greet(); !status.ok())
        return status;

    auto now_logged_in = [this] { set_state(remote_state::logged_in); };
    if (firewall) {
        int32_t mask = 0;
        if (remote_result status = run_lines(*this, script, mask, now_logged_in); !status.ok())
            return status;
        if (!logged_in() && !(mask & (1 << cmd_pass))) {
            remote_result status = (mask & (1 << cmd_user)) ? send_pass() : send_user();
            if (!status.ok())
                return status;
        }
        // A script whose PASS was refused has not logged in; that is no
        // success, whatever the script's own replies were.
        if (!logged_in())
            return reply_code_ == 530 ? reply_failure(status_login_refused) : unexpected_reply();
    } else if (remote_result status = send_user(); !status.ok()) {
        return status;
    }

    if (remote_result status = ask_features(); !status.ok())
        return status;
    if (!custom.empty()) {
        int32_t mask = 0;
        return run_lines(*this, custom, mask, now_logged_in);
    }
    return status_ok;
}

}  // namespace qvtf
