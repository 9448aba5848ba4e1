#pragma once
// Status codes of the socket layer and the SOCKS client, and the message for
// connect failures that carry the system's own error number.

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

#include "core/qxval.h"

namespace qvtf {

namespace transport_status {
constexpr int32_t timed_out = 1000;             // a wait ended without the socket becoming ready
constexpr int32_t cannot_create = 1001;         // the TCP handle could not be created
constexpr int32_t cannot_resolve = 1002;        // the host name could not be resolved
constexpr int32_t cannot_read = 1003;           // the connection was lost while reading
constexpr int32_t cannot_write = 1004;          // a block could not be written whole
constexpr int32_t tls_failed = 1005;            // the TLS handshake or a TLS record failed
constexpr int32_t tls_untrusted = 1006;         // the server's certificate was not accepted
constexpr int32_t startup_failed = 1099;        // the socket library could not be started
constexpr int32_t unknown = 1100;               // any other socket failure
constexpr int32_t connect_error_base = 100000;  // + errno of a failed connect
}  // namespace transport_status

namespace socks_status {
constexpr int32_t rejected_v4 = 1601;           // version 4 reply code other than 90
constexpr int32_t no_acceptable_method = 1603;  // version 5 method 255 (or any but 0 and 2)
constexpr int32_t auth_refused = 1604;          // RFC 1929 status non-zero
constexpr int32_t rep_base = 1605;              // + REP 1..7
constexpr int32_t bad_reply = 1613;             // REP of 8 or more, or a reply of 5 bytes or fewer
constexpr int32_t bad_address_type = 1614;      // reply address type other than 1, 3 and 4
constexpr int32_t ipv6_needs_v5 = 1615;         // an IPv6 destination asked of a version 4 proxy
}  // namespace socks_status

// Language phrase that names a transport code (166 to 172, 1000, 1001), or 0 for codes
// without one (including 100000 + n).
int32_t transport_phrase(int32_t code);

// True when code has the form 100000 + n, n a system error number.
bool is_connect_error(int32_t code);

// The message for 100000 + n: the phrase for unknown transport errors (the
// caller's text of phrase 172) followed by the system's text for error n, e.g.
// "TCP/IP error: Unknown TCP error: Connection refused". Returns false and
// leaves out alone for any other code.
bool connect_error_text(int32_t code, std::string_view unknown_phrase, qxval& out);

// As above, with the phrase taken from a lookup (phrase number -> text).
using phrase_lookup = std::function<std::string(int32_t phrase)>;
bool connect_error_text(int32_t code, const phrase_lookup& lookup, qxval& out);

// The system's text for an error number (thread-safe).
std::string system_error_text(int error_number);

}  // namespace qvtf
