// Real SOCKS proxies for tests, each started on a free loopback port with a
// configuration in a temporary folder and stopped when the object goes away.
//
//   dante_server     SOCKS 4 and 5 (no authentication), CONNECT and BIND,
//                    clients and destinations on 127.0.0.0/8.
//   microsocks_server SOCKS 5 with user name and password (RFC 1929).
//
// Usage:
//   qvtf::test::dante_server dante;
//   ASSERT_TRUE(dante.ok()) << dante.log();
//   ... connect to 127.0.0.1:dante.port() ...
#pragma once

#include <cstdint>
#include <string>

#include "process.h"

namespace qvtf::test {

class dante_server {
public:
    dante_server();
    ~dante_server();

    bool ok() const { return ok_; }
    uint16_t port() const { return port_; }
    // The server's own log (stderr), for failure messages.
    std::string log() const;

private:
    temp_folder folder_{"qvtf-dante"};
    child_process process_;
    uint16_t port_ = 0;
    bool ok_ = false;
};

class microsocks_server {
public:
    microsocks_server(std::string user = "proxyuser", std::string password = "proxypass");
    ~microsocks_server();

    bool ok() const { return ok_; }
    uint16_t port() const { return port_; }
    const std::string& user() const { return user_; }
    const std::string& password() const { return password_; }
    std::string log() const;

private:
    std::string user_;
    std::string password_;
    temp_folder folder_{"qvtf-microsocks"};
    child_process process_;
    uint16_t port_ = 0;
    bool ok_ = false;
};

// Where the server programs are; tests skip when they are not installed.
bool dante_available();
bool microsocks_available();

}  // namespace qvtf::test
