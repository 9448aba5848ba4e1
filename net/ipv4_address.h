#pragma once
// IPv4 address helpers shared by the socket layer and the SOCKS client.
// Addresses are kept as stored in a socket address (network byte order).

#include <cstdint>
#include <string>
#include <string_view>

namespace qvtf {

// Strict dotted-quad form ("a.b.c.d"); true and the address when it parses.
bool parse_dotted(std::string_view text, uint32_t& address);

// Looks a host name up (AF_INET only) and takes the first address. Dotted
// text is never looked up.
bool lookup_ipv4(std::string_view host, uint32_t& address);

// "a.b.c.d" for an address in network order.
std::string dotted_text(uint32_t address);

}  // namespace qvtf
