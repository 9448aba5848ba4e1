#pragma once
// One IPv4 or IPv6 socket address with its port, the lookup that gives every
// address of a host, and the text forms of host and port the user types and
// the log shows ("[::1]:2121", "127.0.0.1:21").

#include <sys/socket.h>

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace qvtf {

struct socket_address {
    sockaddr_storage storage{};
    socklen_t length = 0;

    int family() const { return storage.ss_family; }
    bool empty() const { return length == 0; }
    // IPv6 proper: an IPv4-mapped address counts as IPv4.
    bool is_ipv6() const;
    // Host order; 0 when empty.
    int32_t port() const;
    void set_port(int32_t port);
    const sockaddr* get() const { return reinterpret_cast<const sockaddr*>(&storage); }
    // The numeric host ("10.0.0.1", "::1"; a mapped address as IPv4), empty
    // when empty.
    std::string host_text() const;
    // Host and port as the log shows them: "10.0.0.1:21", "[::1]:21".
    std::string endpoint_text() const;
    // The IPv4 address in network order, also of a mapped one; false for
    // IPv6 proper and empty addresses.
    bool ipv4(uint32_t& address) const;

    // Copies a system address of either family; false for anything else.
    bool assign(const sockaddr* address, socklen_t size);
};

// Numeric IPv4 or IPv6 text, the latter optionally in brackets; never looked
// up. A zone ("fe80::1%eth0") is accepted.
bool parse_numeric_address(std::string_view text, int32_t port, socket_address& out);

// Every TCP address of host in the system's preferred order, numeric text
// taken as is. False (out empty) when there is none.
bool resolve_addresses(std::string_view host, int32_t port, std::vector<socket_address>& out);

// "host:port", with brackets around a host holding a colon.
std::string endpoint_text(std::string_view host, int32_t port);

// Splits what a user typed for a host, possibly with its port: "name",
// "name:2121", "10.0.0.1:21", "[::1]", "[::1]:2121", and bare IPv6 ("::1",
// more than one colon: no port). port is -1 when none was given. False for
// an unclosed bracket, text after the bracket that is not ":port", or a port
// outside 1..65535.
bool split_host_port(std::string_view text, std::string& host, int32_t& port);

}  // namespace qvtf
