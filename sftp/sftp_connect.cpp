// Logging in: our own socket (directly, or through the site's SOCKS proxy)
// handed to libssh, the SSH handshake, the host key, then the user's proof.
#include <libssh/libssh.h>
#include <libssh/sftp.h>
#include <unistd.h>

#include "net/qxsocket.h"
#include "net/qxsocks_client.h"
#include "net/transport_status.h"
#include "sftp/sftp_session.h"

namespace qvtf {

namespace {

constexpr int phrase_connected = 7;
constexpr int phrase_encrypted = 1004;
constexpr int phrase_cannot_resolve = 9;
constexpr int phrase_cannot_connect = 10;
constexpr int phrase_logging_in_with = 1204;
constexpr int phrase_no_method = 1205;
constexpr int phrase_agent = 1206;
constexpr int phrase_key_file = 1207;
constexpr int phrase_password = 1208;
constexpr int phrase_keyboard = 1209;
constexpr int phrase_server_says = 1210;

// What the user's SSH configuration made of the host and port.
std::string configured_host(ssh_session ssh, const std::string& fallback)
{
    char* host = nullptr;
    if (ssh_options_get(ssh, SSH_OPTIONS_HOST, &host) != SSH_OK || !host)
        return fallback;
    std::string out(host);
    ssh_string_free_char(host);
    return out;
}

// With the processor's AES instructions, AES-GCM moves a big file with a
// fraction of the CPU that ChaCha20 (libssh's first choice) needs; without
// them ChaCha20 is the faster one and keeps its place.
void prefer_fast_ciphers(ssh_session ssh)
{
#if defined(__x86_64__) || defined(__i386__)
    if (!__builtin_cpu_supports("aes"))
        return;
    const char* order = "aes128-gcm@openssh.com,aes256-gcm@openssh.com,chacha20-poly1305@openssh.com,"
                        "aes128-ctr,aes192-ctr,aes256-ctr";
    ssh_options_set(ssh, SSH_OPTIONS_CIPHERS_C_S, order);
    ssh_options_set(ssh, SSH_OPTIONS_CIPHERS_S_C, order);
#else
    (void)ssh;
#endif
}

}  // namespace

remote_result sftp_session::open_socket(const std::string& host, int port, int& fd)
{
    const std::optional<ftp_proxy>& proxy = site_.proxy;
    // An FTP firewall speaks FTP; only a SOCKS proxy carries SSH.
    const bool via_socks = proxy.has_value() && proxy->is_socks();
    const std::string target_host = via_socks ? proxy->proxy_host.str() : host;
    const int target_port = via_socks ? proxy->proxy_port : port;
    qxsocket socket;
    if (!socket.resolve(target_port, target_host)) {
        log(log_error, std::string(phrase(phrase_cannot_resolve)) + target_host + "\r\n");
        return socket.last_error ? socket.last_error : transport_status::cannot_resolve;
    }
    if (stop_.killed())
        return status_stopped;
    if (!socket.connect_with_timeout()) {
        log(log_error, std::string(phrase(phrase_cannot_connect)) + target_host + ":" + std::to_string(target_port) +
                           "\r\n");
        return socket.last_error ? socket.last_error : transport_status::timed_out;
    }
    if (via_socks) {
        qxsocks_client socks;
        socks.socket = &socket;
        socks.version = proxy->type;
        socks.use_4a = site_.socks_4a;
        socks.destination_host = qxval(host);
        socks.destination_port = static_cast<uint16_t>(port);
        socks.user_name = proxy->proxy_username;
        socks.password = proxy->proxy_password;
        if (int status = socks.socks_connect())
            return status;
    }
    log(log_info, std::string(phrase(phrase_connected)) + host + "\r\n");
    // The session keeps the socket from here on (close_connection).
    fd = socket.handle.exchange(-1);
    return stop_.killed() ? remote_result(status_stopped) : remote_result(status_ok);
}

remote_result sftp_session::log_in()
{
    remote_session_lock hold(*this);
    if (!hold)
        return hold.status();
    close_connection();
    if (stop_.killed())
        return status_stopped;
    set_state(remote_state::connecting);
    ssh_ = ssh_new();
    if (!ssh_) {
        set_state(remote_state::disconnected);
        return transport_status::startup_failed;
    }
    const std::string host = site_.host.str();
    bool no = false;
    long timeout = options_.timeout > 0 ? options_.timeout : 60;
    ssh_options_set(ssh_, SSH_OPTIONS_HOST, host.c_str());
    ssh_options_set(ssh_, SSH_OPTIONS_PROCESS_CONFIG, &no);
    ssh_options_set(ssh_, SSH_OPTIONS_TIMEOUT, &timeout);
    // libssh's own messages would go to standard error; the session logs.
    const int quiet = SSH_LOG_NOLOG;
    ssh_options_set(ssh_, SSH_OPTIONS_LOG_VERBOSITY, &quiet);
    // Before the user's configuration, whose Ciphers line wins.
    prefer_fast_ciphers(ssh_);
    // The user's configuration may rename the host and set the port, the
    // user and the identities; what the site states explicitly still wins.
    if (site_.ssh.use_config)
        ssh_options_parse_config(ssh_, nullptr);
    if (!site_.user_name.view().empty())
        ssh_options_set(ssh_, SSH_OPTIONS_USER, site_.user_name.str().c_str());
    if (!site_.ssh.use_config || site_.port != 22) {
        const unsigned port = static_cast<unsigned>(site_.port);
        ssh_options_set(ssh_, SSH_OPTIONS_PORT, &port);
    }
    set_known_hosts_options();

    const std::string target = configured_host(ssh_, host);
    unsigned target_port = 22;
    ssh_options_get_port(ssh_, &target_port);
    int fd = -1;
    if (remote_result reached = open_socket(target, static_cast<int>(target_port), fd); !reached.ok()) {
        close_connection();
        return reached;
    }
    {
        std::lock_guard lock(socket_mutex_);
        socket_ = fd;
    }
    if (stop_.killed()) {
        {
            std::lock_guard lock(socket_mutex_);
            socket_ = -1;
        }
        ::close(fd);
        close_connection();
        return status_stopped;
    }
    socket_t handed = fd;
    ssh_options_set(ssh_, SSH_OPTIONS_FD, &handed);
    if (ssh_connect(ssh_) != SSH_OK) {
        remote_result failure = ssh_failure();
        close_connection();
        return failure;
    }
    set_state(remote_state::connected);
    if (const char* cipher = ssh_get_cipher_out(ssh_))
        log(log_info, std::string(phrase(phrase_encrypted)) + cipher + "\r\n");
    // Nothing of the user's goes out before the server is known to be the
    // one it claims to be.
    remote_result status = check_host_key();
    if (status.ok())
        status = authenticate();
    if (status.ok()) {
        sftp_ = sftp_new(ssh_);
        if (!sftp_ || sftp_init(sftp_) != SSH_OK)
            status = ssh_failure();
        else
            write_chunk_ = sftp_extension_supported(sftp_, "posix-rename@openssh.com", "1") ? large_write : small_write;
    }
    if (!status.ok()) {
        close_connection();
        return status;
    }
    set_state(remote_state::logged_in);
    return status_ok;
}

bool sftp_session::try_key_file(const std::string& path)
{
    log(log_info, std::string(phrase(phrase_logging_in_with)) + std::string(phrase(phrase_key_file)) + path + "\r\n");
    ssh_key key = nullptr;
    const std::string passphrase = site_.ssh.key_passphrase.str();
    if (ssh_pki_import_privkey_file(path.c_str(), passphrase.empty() ? nullptr : passphrase.c_str(), nullptr, nullptr,
                                    &key) != SSH_OK) {
        log(log_error, std::string(phrase(phrase_key_file)) + path + ": " + ssh_get_error(ssh_) + "\r\n");
        return false;
    }
    const int rc = ssh_userauth_publickey(ssh_, nullptr, key);
    ssh_key_free(key);
    return rc == SSH_AUTH_SUCCESS;
}

bool sftp_session::try_keyboard()
{
    log(log_info, std::string(phrase(phrase_logging_in_with)) + std::string(phrase(phrase_keyboard)) + "\r\n");
    const std::string password = site_.password.str();
    // Every prompt gets the password; a server that keeps asking is given
    // up on after a few rounds.
    int rc = ssh_userauth_kbdint(ssh_, nullptr, nullptr);
    for (int round = 0; rc == SSH_AUTH_INFO && round < 8; ++round) {
        const char* instruction = ssh_userauth_kbdint_getinstruction(ssh_);
        if (instruction && *instruction)
            log(log_reply, std::string(phrase(phrase_server_says)) + instruction + "\r\n");
        const int prompts = ssh_userauth_kbdint_getnprompts(ssh_);
        for (int i = 0; i < prompts; ++i)
            ssh_userauth_kbdint_setanswer(ssh_, static_cast<unsigned>(i), password.c_str());
        rc = ssh_userauth_kbdint(ssh_, nullptr, nullptr);
    }
    return rc == SSH_AUTH_SUCCESS;
}

remote_result sftp_session::authenticate()
{
    int rc = ssh_userauth_none(ssh_, nullptr);
    if (rc == SSH_AUTH_SUCCESS)
        return status_ok;
    if (rc == SSH_AUTH_ERROR)
        return ssh_failure();
    const ssh_auth_method method = site_.ssh.method;
    const bool any = method == ssh_auth_method::automatic;
    const std::string key_file = site_.ssh.key_file.str();
    const bool have_password = !site_.password.view().empty();
    // Methods in order; a partial success goes on with what the server
    // still asks for.
    bool tried = false;
    for (int step = 0; step < 4; ++step) {
        if (stop_.killed())
            return status_stopped;
        const int offered = ssh_userauth_list(ssh_, nullptr);
        bool done = false;
        switch (step) {
        case 0:
            if ((any || method == ssh_auth_method::agent) && (offered & SSH_AUTH_METHOD_PUBLICKEY) &&
                (method == ssh_auth_method::agent || key_file.empty())) {
                tried = true;
                log(log_info,
                    std::string(phrase(phrase_logging_in_with)) + std::string(phrase(phrase_agent)) + "\r\n");
                const std::string passphrase = site_.ssh.key_passphrase.str();
                // The agent, then the identities the configuration names.
                done = method == ssh_auth_method::agent
                           ? ssh_userauth_agent(ssh_, nullptr) == SSH_AUTH_SUCCESS
                           : ssh_userauth_publickey_auto(ssh_, nullptr,
                                                         passphrase.empty() ? nullptr : passphrase.c_str()) ==
                                 SSH_AUTH_SUCCESS;
            }
            break;
        case 1:
            if ((any || method == ssh_auth_method::key_file) && !key_file.empty() &&
                (offered & SSH_AUTH_METHOD_PUBLICKEY)) {
                tried = true;
                done = try_key_file(key_file);
            }
            break;
        case 2:
            if ((any ? have_password : method == ssh_auth_method::keyboard_interactive) &&
                (offered & SSH_AUTH_METHOD_INTERACTIVE)) {
                tried = true;
                done = try_keyboard();
            }
            break;
        case 3:
            if ((any ? have_password : method == ssh_auth_method::password) && (offered & SSH_AUTH_METHOD_PASSWORD)) {
                tried = true;
                log(log_info,
                    std::string(phrase(phrase_logging_in_with)) + std::string(phrase(phrase_password)) + "\r\n");
                done = ssh_userauth_password(ssh_, nullptr, site_.password.str().c_str()) == SSH_AUTH_SUCCESS;
            }
            break;
        }
        if (done)
            return status_ok;
        if (!ssh_is_connected(ssh_))
            return ssh_failure();
    }
    if (!tried)
        log(log_error, std::string(phrase(phrase_no_method)) + "\r\n");
    return status_login_refused;
}

}  // namespace qvtf
