// The user's message for a status code, whatever the session's protocol.
#include "remote/remote_error_text.h"

#include <cerrno>
#include <string>

#include "markup/qxlang.h"
#include "net/socket_address.h"
#include "net/transport_status.h"

namespace qvtf {

namespace {

constexpr int phrase_success = 286;
constexpr int phrase_cannot_connect = 10;
constexpr int phrase_colon = 38;
constexpr int phrase_local_write = 118;
constexpr int phrase_local_read = 119;
constexpr int socks_phrase_offset = 1121;
constexpr int phrase_socks4_ipv6 = 1100;

// Phrase of each session code; 0 for codes whose text is something else.
int session_phrase(int code)
{
    switch (code) {
    case status_login_rejected: return 49;
    case status_stopped: return 50;
    case status_not_connected: return 52;
    case status_login_refused: return 53;
    case status_unexpected_reply: return 54;
    case status_no_local_port: return 55;
    case status_pasv_refused: return 57;
    case status_bad_pasv_reply: return 58;
    case status_local_file: return 59;
    case status_chmod_unsupported: return 60;
    case status_busy: return 68;
    case status_line_break: return 501;
    case status_size_differs: return 540;
    case status_tls_refused: return 1003;
    case status_bad_reply_line: return 61;
    case status_host_key_unknown: return 1200;
    case status_host_key_changed: return 1201;
    case status_ssh_failed: return 1202;
    default: return 0;
    }
}

// A system error that ended an established connection (a reset data
// connection, say): no connect failed, so "Can't connect to" would mislead.
bool broke_after_connect(int code)
{
    switch (code - transport_status::connect_error_base) {
    case ECONNRESET:
    case ECONNABORTED:
    case EPIPE:
    case ENOTCONN:
    case ESHUTDOWN: return true;
    default: return false;
    }
}

}  // namespace

void remote_error_text(const remote_session& session, const remote_result& failure, qxval& out)
{
    const remote_site& site = session.site();
    auto phrase = [&session](int number) { return session.phrase(number); };
    const int code = failure.status;
    std::string text;
    auto reply_text = [&text](const std::vector<std::string>& lines) {
        for (const std::string& line : lines) {
            text += line;
            text += "\r\n";
        }
    };

    if (code == status_ok) {
        text = phrase(phrase_success);
    } else if (is_connect_error(code) && broke_after_connect(code)) {
        qxval neutral;
        connect_error_text(code, phrase(transport_phrase(transport_status::unknown)), neutral);
        text = neutral.str();
    } else if (is_connect_error(code)) {
        // A connect refused or failed with a system error: say where and why.
        const bool via_proxy = site.proxy.has_value();
        text = phrase(phrase_cannot_connect);
        text += endpoint_text((via_proxy ? site.proxy->proxy_host : site.host).view(),
                              via_proxy ? site.proxy->proxy_port : site.port);
        text += phrase(phrase_colon);
        text += system_error_text(code - transport_status::connect_error_base);
    } else if (code == status_local_file) {
        // What failed with the file, and the system's reason.
        text = phrase(failure.local_step == 2 ? phrase_local_write : failure.local_step == 1 ? phrase_local_read : 59);
        if (failure.local_errno)
            text += " " + system_error_text(failure.local_errno) + ".";
    } else if (code == socks_status::ipv6_needs_v5) {
        text = phrase(phrase_socks4_ipv6);
    } else if (code >= socks_status::rejected_v4 && code <= socks_status::bad_address_type) {
        text = phrase(code - socks_phrase_offset);
    } else if (code > 0 && code < 6000) {
        const int number = transport_phrase_number(code);
        if (number >= 0)
            text = phrase(number);
        if (code == transport_status::tls_untrusted && !failure.detail.empty())
            text += "\r\n" + std::string(phrase(1009)) + failure.detail;
        else if (code == transport_status::tls_failed)
            text += failure.detail;
    } else if (code == status_refused) {
        reply_text(failure.reply);
    } else if (code == status_host_key_unknown || code == status_host_key_changed || code == status_ssh_failed) {
        if (int number = session_phrase(code))
            text = phrase(number);
        text += failure.detail;
    } else if (code == status_recursive_failed) {
        text = failure.detail;
    } else if (int number = session_phrase(code)) {
        text = phrase(number);
        // The reply that caused the failure, not whatever came after it.
        if ((code == status_not_connected || code == status_unexpected_reply || code == status_tls_refused) &&
            !failure.reply.empty()) {
            if (!text.empty() && text.back() != '\n')
                text += "\r\n";
            reply_text(failure.reply);
        }
    }
    out.set_bytes(text);
}

}  // namespace qvtf
