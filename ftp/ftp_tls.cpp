// FTP over TLS on the control connection: TLS from the first byte
// (implicit) or after AUTH TLS (explicit), the server's certificate judged
// before anything else is sent, then PBSZ 0 and PROT P so that every data
// connection is protected too.
#include "ftp/ftp_control.h"
#include "net/tls_channel.h"
#include "net/tls_context.h"

namespace qvtf {

namespace {
constexpr int phrase_tls_failed = 1000;
constexpr int phrase_auth_refused = 1002;
constexpr int phrase_encrypted = 1004;
constexpr int phrase_certificate_accepted = 1005;
constexpr int phrase_certificate_changed = 1007;
constexpr int phrase_certificate_refused = 1008;
constexpr int phrase_fingerprint = 1009;
constexpr int phrase_data_unprotected = 1012;

// The codes of a server that has no TLS to offer: RFC 4217's answers to
// an AUTH it does not support or allow, and the 530 of servers that take
// every command before the login for a wrong one.
bool auth_unsupported(int32_t code)
{
    return code == 500 || code == 502 || code == 504 || code == 530 || code == 534;
}
}  // namespace

connection_security ftp_control::security() const
{
    std::lock_guard lock(security_mutex_);
    return security_;
}

void ftp_control::set_security(const connection_security& security)
{
    std::lock_guard lock(security_mutex_);
    security_ = security;
}

remote_result ftp_control::start_control_tls()
{
    const std::string ca_file = options_.trust ? options_.trust->ca_file() : std::string();
    // A context lives as long as its authorities: data connections of this
    // connection hold it, the next connection may need another.
    if (!tls_context_ || tls_ca_file_ != ca_file) {
        auto context = std::make_shared<tls_context>();
        std::string error;
        if (!context->load_authorities(ca_file, error)) {
            log(log_error, std::string(phrase(phrase_tls_failed)) + error + "\r\n");
            remote_result failure(transport_status::tls_failed);
            failure.detail = error;
            return failure;
        }
        tls_context_ = std::move(context);
        tls_ca_file_ = ca_file;
    }
    tls_context_->forget_sessions();
    auto channel = std::make_unique<tls_channel>(*tls_context_, true);
    const int32_t status =
        channel->handshake(control_socket_.handle.load(), site_.host.view(), false, control_socket_.timeout_ms());
    if (status) {
        log(log_error, std::string(phrase(phrase_tls_failed)) + channel->error_text() + "\r\n");
        remote_result failure(status);
        failure.detail = channel->error_text();
        return failure;
    }

    connection_security security;
    security.encrypted = true;
    security.version = channel->version();
    security.cipher = channel->cipher();
    security.verified = channel->verified();
    const tls_certificate cert = channel->peer_certificate();
    certificate_facts& facts = security.certificate;
    facts.host = site_.host.str();
    facts.port = site_.port;
    facts.subject = cert.subject;
    facts.issuer = cert.issuer;
    facts.not_before = cert.not_before;
    facts.not_after = cert.not_after;
    facts.sha256 = cert.sha256;
    facts.reason = security.verified ? std::string() : channel->verify_reason();
    if (!security.verified) {
        const bool accepted = options_.trust && options_.trust->accept(facts);
        if (!facts.stored_sha256.empty())
            log(log_error, std::string(phrase(phrase_certificate_changed)) + facts.stored_sha256 + "\r\n");
        const std::string described = facts.reason + "\r\n" + facts.subject + "\r\n" +
                                      std::string(phrase(phrase_fingerprint)) + facts.sha256 + "\r\n";
        if (!accepted) {
            log(log_error, std::string(phrase(phrase_certificate_refused)) + described);
            // Nothing more goes out on a connection whose server is not trusted.
            control_socket_.close_with_reset();
            remote_result failure(transport_status::tls_untrusted);
            failure.detail = facts.sha256;
            failure.reply = {facts.reason, certificate_trust::line_for(facts.host, facts.port, facts.sha256)};
            return failure;
        }
        log(log_info, std::string(phrase(phrase_certificate_accepted)) + described);
    }
    control_socket_.attach_tls(std::move(channel));
    log(log_info, std::string(phrase(phrase_encrypted)) + security.version + ", " + security.cipher + "\r\n");
    set_security(security);
    return status_ok;
}

remote_result ftp_control::negotiate_tls()
{
    const remote_encryption mode = site_.encryption;
    if (mode == remote_encryption::plain)
        return status_ok;
    if (mode != remote_encryption::implicit) {
        if (remote_result status = send_command("AUTH TLS"); !status.ok())
            return status;
        if (reply_code_ != 234) {
            if (mode == remote_encryption::explicit_if_available && auth_unsupported(reply_code_)) {
                log(log_error, std::string(phrase(phrase_auth_refused)) + site_.host.str() + "\r\n");
                return status_ok;
            }
            return reply_failure(status_tls_refused);
        }
        if (remote_result status = start_control_tls(); !status.ok())
            return status;
    }
    // PBSZ 0 must precede PROT; a server that refuses PROT P leaves the
    // data in the clear, which only "if available" accepts.
    if (remote_result status = send_command("PBSZ 0"); !status.ok())
        return status;
    if (remote_result status = send_command("PROT P"); !status.ok())
        return status;
    if (reply_class_ != 2) {
        if (mode != remote_encryption::explicit_if_available)
            return reply_failure(status_tls_refused);
        log(log_error, std::string(phrase(phrase_data_unprotected)) + "\r\n");
        return status_ok;
    }
    connection_security security = this->security();
    security.data_protected = true;
    set_security(security);
    return status_ok;
}

remote_result ftp_control::data_command_failure()
{
    // 522 to a protected data connection: the server no longer takes this
    // control connection's TLS session, as one that insists on reuse does
    // after a data connection was cut off (a stop, a reset). Only a new
    // login brings a new session, so the login ends as after a 421 and its
    // owner logs in again.
    if (reply_code_ == 522 && security().data_protected) {
        set_state(remote_state::closing);
        report_error(status_not_connected);
        return reply_failure(status_not_connected);
    }
    return unexpected_reply();
}

}  // namespace qvtf
