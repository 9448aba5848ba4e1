// Logging in: directly, through a SOCKS proxy (negotiated by the connect),
// or through an FTP firewall by its command script; then the site's custom
// commands.
#include <string>

#include "core/qxhash.h"
#include "core/qxregex.h"
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

}  // namespace

int ftp_control::run_script(const qxval& text, int32_t& kinds_mask)
{
    kinds_mask = 0;
    if (!connected)
        return status_not_connected;
    // Lines end at CR, LF or CR LF: scripts typed or read back from XML
    // files carry bare line feeds, and no line may keep a line break.
    const std::string_view script = text.view();
    std::size_t start = 0;
    while (start < script.size()) {
        std::size_t end = script.find_first_of("\r\n", start);
        if (end == std::string_view::npos)
            end = script.size();
        const std::string_view line = script.substr(start, end - start);
        start = end + 1;
        if (line.empty())
            continue;

        const int kind = command_kind(line);
        if (forbidden_in_script(kind)) {
            log(log_error, std::string(line) + std::string(phrase(phrase_forbidden_in_script)) + "\r\n");
            continue;
        }
        if (kind >= 1 && kind <= 31)
            kinds_mask |= 1 << kind;
        if (int status = send_command(line))
            return status;
        if (!connected)
            return status_not_connected;
        if (reply_code == 230 && (kinds_mask & login_bits))
            logged_in = 1;
        if (reply_code == 421) {
            logged_in = 0;
            return status_not_connected;
        }
        // Error replies are accepted: the login is judged at the end.
    }
    return status_ok;
}

int ftp_control::log_in()
{
    if (connected)
        quit();
    reset_stream();
    if (int status = connect_and_greet())
        return status;

    if (proxy && proxy->is_firewall()) {
        qxhash table;
        table.set("host", host);
        table.set("port", qxval(std::to_string(port)));
        table.set("username", user_name);
        table.set("password", password);
        table.set("firewall_username", proxy->proxy_username);
        table.set("firewall_password", proxy->proxy_password);
        qxval script = proxy->ftp_command;
        script.convert_to(qxval_kind::string);
        replace_variables(script, &table, true);

        int32_t mask = 0;
        if (int status = run_script(script, mask))
            return status;
        if (!logged_in && !(mask & (1 << cmd_pass))) {
            const int status = (mask & (1 << cmd_user)) ? send_pass() : send_user();
            if (status)
                return status;
        }
        // A script whose PASS was refused has not logged in; that is no
        // success, whatever the script's own replies were.
        if (!logged_in)
            return reply_code == 530 ? status_login_refused : status_unexpected_reply;
    } else if (int status = send_user()) {
        return status;
    }

    if (!custom_commands.view().empty()) {
        int32_t mask = 0;
        return run_script(custom_commands, mask);
    }
    return status_ok;
}

}  // namespace qvtf
