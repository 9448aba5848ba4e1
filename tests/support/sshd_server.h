// OpenSSH's sshd for tests: started on a free loopback port with a host key,
// client keys (one with a passphrase) and authorized_keys made in a
// temporary folder, SFTP served in-process from a fresh folder the test user
// owns. As root the test user is the shared local account, so password
// logins work; otherwise sshd runs as the caller, who is its only user, and
// password logins are not possible (password_login() is false).
#pragma once

#include <cstdint>
#include <string>

#include "process.h"

namespace qvtf::test {

class sshd_server {
public:
    sshd_server();
    ~sshd_server();

    bool ok() const { return ok_; }
    uint16_t port() const { return port_; }
    const std::string& user() const { return user_; }
    const std::string& password() const { return password_; }
    bool password_login() const { return password_login_; }
    // Local path of the folder SFTP sessions start in.
    std::string root() const { return root_.path(); }
    // Private keys: one without a passphrase, one with key_passphrase().
    std::string key_file() const { return folder_.file("client_ed25519"); }
    std::string key_file_with_passphrase() const { return folder_.file("client_rsa"); }
    static constexpr const char* key_passphrase = "qvtf key phrase";
    // A known-hosts file that holds the server's key, and one that holds
    // another key for the same host and port.
    std::string known_hosts() const { return folder_.file("known_hosts"); }
    std::string wrong_known_hosts() const { return folder_.file("wrong_known_hosts"); }
    // The server's key as a SHA-256 fingerprint ("SHA256:...").
    std::string fingerprint() const { return fingerprint_; }
    // Ends every running session (the listener stays): a connection killed
    // on the server's side.
    int kill_sessions();
    std::string log() const;

private:
    temp_folder folder_{"qvtf-sshd"};
    temp_folder root_{"qvtf-sshd-root"};
    child_process process_;
    std::string user_;
    std::string password_;
    std::string fingerprint_;
    bool password_login_ = false;
    uint16_t port_ = 0;
    bool ok_ = false;
};

bool sshd_available();

}  // namespace qvtf::test
