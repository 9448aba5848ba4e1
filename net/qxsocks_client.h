#pragma once
// SOCKS client over a socket already connected to the proxy: version 4 with
// the 4a extension for host names (IPv4 only), and version 5 (RFC 1928:
// IPv4, IPv6 and names) with user name and password (RFC 1929). CONNECT,
// and BIND with its second reply.

#include <cstdint>
#include <string>

#include "core/qxval.h"
#include "net/qxsocket.h"

namespace qvtf {

class qxsocks_client {
public:
    static constexpr int32_t command_connect = 1;
    static constexpr int32_t command_bind = 2;
    static constexpr int32_t v4_timeout_seconds = 120;
    static constexpr int32_t v5_timeout_seconds = 60;

    int32_t version = 4;
    // Version 4: send a host name to the proxy instead of resolving it here.
    // Switched off by a proxy that rejects a name.
    bool use_4a = true;
    qxsocket* socket = nullptr;  // not owned
    qxval user_name{""};
    qxval password{""};
    qxval destination_host{""};
    uint16_t destination_port = 0;
    // Set by the last request: the destination went out as 4 address bytes.
    bool address_given = false;

    // CONNECT to the destination. 0 or a status (transport_status, socks_status).
    // A version 4 proxy that rejects a host name gets the locally resolved
    // address, on the same connection if it is still open, else on a new one.
    int32_t socks_connect();
    // BIND: the address and port on which the proxy waits for the server.
    int32_t socks_bind(qxval& address, int32_t& port);
    // Waits for BIND's second reply: the server has connected to the proxy.
    int32_t socks_accept();

private:
    int32_t exchange(int32_t command, bool send_request, qxval* address, int32_t* port);
    int32_t negotiate_v5();
    int32_t read_reply(std::string& reply, size_t needed);
    int32_t socket_error_or(int32_t fallback) const;
    std::string reply_address(std::string text) const;
};

}  // namespace qvtf
