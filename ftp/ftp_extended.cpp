// The extended data commands: EPSV names only a port, so the data
// connection goes to the control connection's peer; EPRT names an address
// of either family. On IPv6 they are the only way; on IPv4 they are tried
// first and, once refused, left alone for the rest of the connection.
#include <cctype>
#include <string>

#include "ftp/ftp_control.h"
#include "net/socket_address.h"

namespace qvtf {

namespace {

constexpr int phrase_extended_refused = 1101;

// Replies that say the server does not do the command (or not for this
// address family), as opposed to a failure of the moment.
bool is_refusal(int32_t code)
{
    switch (code) {
    case 500:
    case 501:
    case 502:
    case 504:
    case 522: return true;
    default: return false;
    }
}

}  // namespace

int ftp_control::parse_epsv_reply(std::string_view line, int32_t& port_out)
{
    // "(|||port|)": three equal delimiters, the port, the same delimiter.
    for (size_t i = 0; i + 4 < line.size(); ++i) {
        const char d = line[i];
        if (d < 33 || d > 126 || std::isdigit(static_cast<unsigned char>(d)) || line[i + 1] != d || line[i + 2] != d)
            continue;
        size_t j = i + 3;
        int32_t port = 0;
        while (j < line.size() && j - (i + 3) < 6 && std::isdigit(static_cast<unsigned char>(line[j])))
            port = port * 10 + (line[j++] - '0');
        // Three dots in the text, say, are no port: look further.
        if (j == i + 3 || j >= line.size() || line[j] != d || port < 1 || port > 65535)
            continue;
        port_out = port;
        return status_ok;
    }
    return status_bad_pasv_reply;
}

bool ftp_control::control_is_ipv6() const
{
    // Through SOCKS the control connection's own peer is the proxy.
    if (site_.proxy && site_.proxy->is_socks()) {
        socket_address target;
        return parse_numeric_address(site_.host.view(), 0, target) && target.is_ipv6();
    }
    return control_socket_.remote_address.is_ipv6();
}

bool ftp_control::extended_data_wanted() const
{
    if (control_is_ipv6())
        return true;
    // A firewall relays the data commands it knows.
    if (site_.proxy && site_.proxy->is_firewall())
        return false;
    return options_.extended_data;
}

remote_result ftp_control::send_epsv()
{
    if (!logged_in())
        return status_not_connected;
    if (remote_result status = send_command("EPSV"))
        return status;
    if (is_refusal(reply_code_))
        return status_pasv_refused;
    if (reply_code_ != 229)
        return unexpected_reply();
    const qxval* first = reply_lines_.empty() ? nullptr : &reply_lines_.head->value;
    if (int status = parse_epsv_reply(first ? first->view() : std::string_view(), data_port_))
        return status;
    // Through SOCKS the proxy connects on to the server by the site's name.
    if (site_.proxy && site_.proxy->is_socks())
        data_host_ = site_.host;
    else
        control_socket_.peer_address(data_host_);
    return status_ok;
}

remote_result ftp_control::send_eprt(const qxval& address, int32_t port_number)
{
    if (!logged_in())
        return status_not_connected;
    socket_address parsed;
    const char family = parse_numeric_address(address.view(), port_number, parsed) && parsed.is_ipv6() ? '2' : '1';
    std::string line = "EPRT |";
    line += family;
    line += '|';
    line += address.view();
    line += '|' + std::to_string(port_number) + '|';
    if (remote_result status = send_command(line))
        return status;
    if (reply_code_ == 200)
        return status_ok;
    return is_refusal(reply_code_) ? reply_failure(status_pasv_refused) : unexpected_reply();
}

remote_result ftp_control::request_passive()
{
    if (extended_data_wanted() && !epsv_refused_) {
        remote_result status = send_epsv();
        if (status.status != status_pasv_refused)
            return status;
        epsv_refused_ = true;
        log(log_info, std::string(phrase(phrase_extended_refused)) + "EPSV -> PASV\r\n");
    }
    return send_pasv();
}

remote_result ftp_control::request_active(const qxval& address, int32_t port_number)
{
    socket_address parsed;
    const bool ipv6 = parse_numeric_address(address.view(), port_number, parsed) && parsed.is_ipv6();
    // PORT cannot carry an IPv6 address: there EPRT's refusal is final.
    if (ipv6 || (extended_data_wanted() && !eprt_refused_)) {
        remote_result status = send_eprt(address, port_number);
        if (status.status != status_pasv_refused)
            return status;
        if (ipv6)
            return unexpected_reply();
        eprt_refused_ = true;
        log(log_info, std::string(phrase(phrase_extended_refused)) + "EPRT -> PORT\r\n");
    }
    return send_port(address, port_number);
}

}  // namespace qvtf
