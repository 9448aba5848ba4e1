// Real FTP servers for tests, each started on a free loopback port with its
// configuration in a temporary folder and stopped when the object goes away.
//
//   vsftpd_server     local user "qvtftest" (created once with useradd), the
//                     served folder is a fresh temporary folder it owns.
//   pyftpdlib_server  a virtual user with write access to a temporary folder.
//
// Usage:
//   qvtf::test::vsftpd_server ftp;
//   ASSERT_TRUE(ftp.ok()) << ftp.log();
//   ... log in to 127.0.0.1:ftp.port() as ftp.user() / ftp.password() ...
//   ... the login folder is ftp.root() on the local disk ...
#pragma once

#include <cstdint>
#include <string>

#include "process.h"

namespace qvtf::test {

class vsftpd_server {
public:
    vsftpd_server();
    ~vsftpd_server();

    bool ok() const { return ok_; }
    uint16_t port() const { return port_; }
    const std::string& user() const { return user_; }
    const std::string& password() const { return password_; }
    // Local path of the folder the user lands in after login.
    std::string root() const { return root_.path(); }
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
    pyftpdlib_server(std::string user = "pyuser", std::string password = "pypass");
    ~pyftpdlib_server();

    bool ok() const { return ok_; }
    uint16_t port() const { return port_; }
    const std::string& user() const { return user_; }
    const std::string& password() const { return password_; }
    std::string root() const { return root_.path(); }
    std::string log() const;

private:
    std::string user_;
    std::string password_;
    temp_folder folder_{"qvtf-pyftpd"};
    temp_folder root_{"qvtf-pyftpd-root"};
    child_process process_;
    uint16_t port_ = 0;
    bool ok_ = false;
};

// Where the server programs are; tests skip when they are not installed.
bool vsftpd_available();
bool pyftpdlib_available();

}  // namespace qvtf::test
