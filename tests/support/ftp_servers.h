// Real FTP servers for tests, each started on a free loopback port with its
// configuration in a temporary folder and stopped when the object goes away.
//
//   vsftpd_server     local user "qvtftest" (created once with useradd), the
//                     served folder is a fresh temporary folder it owns; on
//                     127.0.0.1, or on ::1.
//   pyftpdlib_server  a virtual user with write access to a temporary folder.
//
// Usage:
//   qvtf::test::vsftpd_server ftp;
//   ASSERT_TRUE(ftp.ok()) << ftp.log();
//   ... log in to 127.0.0.1:ftp.port() as ftp.user() / ftp.password() ...
//   ... the login folder is ftp.root() on the local disk ...
#pragma once

#include <sys/types.h>

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "process.h"

namespace qvtf::test {

// The local account the servers that log in system users serve (vsftpd,
// sshd): made once per machine, its password set on each call; root only.
inline constexpr const char* test_user = "qvtftest";
inline constexpr const char* test_password = "Qvtf-test-pw1";
bool ensure_test_user(uid_t& uid, gid_t& gid);

// How a server speaks TLS: not at all, after AUTH TLS (logins and data
// forced into TLS), or from the first byte.
enum class server_tls { none, explicit_forced, implicit };

// A self-signed certificate for 127.0.0.1 and localhost, made with the
// openssl tool into folder as cert.pem and key.pem; false when it cannot be.
bool make_test_certificate(const temp_folder& folder);
// The SHA-256 fingerprint of a PEM certificate as the openssl tool prints
// it (upper-case hex pairs joined by colons); "" when it cannot be read.
std::string certificate_fingerprint(const std::string& pem);

class vsftpd_server {
public:
    // With TLS, data connections must resume the control connection's session.
    // ipv6: listens on ::1 only.
    explicit vsftpd_server(server_tls tls = server_tls::none, bool ipv6 = false);
    ~vsftpd_server();
    // The server's certificate (PEM), with TLS.
    std::string certificate() const { return folder_.file("cert.pem"); }

    bool ok() const { return ok_; }
    uint16_t port() const { return port_; }
    const std::string& user() const { return user_; }
    const std::string& password() const { return password_; }
    // Local path of the folder the user lands in after login.
    std::string root() const { return root_.path(); }
    // Kills the processes of every session, as a crash or a cut line would
    // end them; the server goes on taking new connections.
    void kill_sessions() const;
    // First and last port of the passive range.
    uint16_t pasv_min() const { return pasv_min_; }
    uint16_t pasv_max() const { return pasv_max_; }
    std::string log() const;

private:
    temp_folder folder_{"qvtf-vsftpd"};
    temp_folder root_{"qvtf-vsftpd-root"};
    child_process process_;
    std::string user_;
    std::string password_;
    uint16_t port_ = 0;
    uint16_t pasv_min_ = 0;
    uint16_t pasv_max_ = 0;
    bool ok_ = false;
};

class pyftpdlib_server {
public:
    // nat_address: the address its PASV replies name instead of its own.
    // tls: its TLS handler, requiring TLS on the control and data connections.
    explicit pyftpdlib_server(std::string user = "pyuser", std::string password = "pypass",
                              std::string nat_address = "", bool tls = false);
    ~pyftpdlib_server();
    std::string certificate() const { return folder_.file("cert.pem"); }

    bool ok() const { return ok_; }
    uint16_t port() const { return port_; }
    const std::string& user() const { return user_; }
    const std::string& password() const { return password_; }
    std::string root() const { return root_.path(); }
    std::string log() const;
    // Stops the server and starts it again on the same port, as an
    // administrator's restart does; whether it accepts again.
    bool restart();

private:
    std::vector<std::string> args_;
    std::string user_;
    std::string password_;
    temp_folder folder_{"qvtf-pyftpd"};
    temp_folder root_{"qvtf-pyftpd-root"};
    child_process process_;
    uint16_t port_ = 0;
    bool ok_ = false;
};

// pure-ftpd with one virtual user (its own password file) that works as the
// local test user in a temporary folder; it offers MLSD, MFMT and REST STREAM.
// Debian lets only one FTP server package be installed, and the package list
// has vsftpd: tools/deps.sh unpacks pure-ftpd's package without installing it.
class pure_ftpd_server {
public:
    pure_ftpd_server();
    ~pure_ftpd_server();

    bool ok() const { return ok_; }
    uint16_t port() const { return port_; }
    const std::string& user() const { return user_; }
    const std::string& password() const { return password_; }
    std::string root() const { return root_.path(); }
    std::string log() const;

private:
    temp_folder folder_{"qvtf-pureftpd"};
    temp_folder root_{"qvtf-pureftpd-root"};
    child_process process_;
    std::string user_ = "pureuser";
    std::string password_ = "Pure-pw1";
    uint16_t port_ = 0;
    bool ok_ = false;
};

// Where the server programs are; tests skip when they are not installed.
bool vsftpd_available();
bool pyftpdlib_available();
bool pure_ftpd_available();

// One of the real servers, for tests that run on each: started when it is
// installed; ok() is false when it is not or when it did not start.
enum class server_kind { vsftpd, pyftpdlib };
bool server_available(server_kind k);

class real_server {
public:
    explicit real_server(server_kind k);
    bool ok() const { return vs ? vs->ok() : py && py->ok(); }
    uint16_t port() const { return vs ? vs->port() : py->port(); }
    std::string user() const { return vs ? vs->user() : py->user(); }
    std::string password() const { return vs ? vs->password() : py->password(); }
    std::string root() const { return vs ? vs->root() : py->root(); }
    std::string log() const { return vs ? vs->log() : py ? py->log() : std::string(); }
    std::unique_ptr<vsftpd_server> vs;
    std::unique_ptr<pyftpdlib_server> py;
};

}  // namespace qvtf::test
