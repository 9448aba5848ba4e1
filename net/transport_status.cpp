#include "net/transport_status.h"

#include <cstring>

namespace qvtf {

int32_t transport_phrase(int32_t code)
{
    switch (code) {
    case transport_status::timed_out: return 166;
    case transport_status::cannot_create: return 167;
    case transport_status::cannot_resolve: return 168;
    case transport_status::cannot_read: return 169;
    case transport_status::cannot_write: return 170;
    case transport_status::startup_failed: return 171;
    case transport_status::tls_failed: return 1000;
    case transport_status::tls_untrusted: return 1001;
    case transport_status::unknown: return 172;
    default: return 0;
    }
}

bool is_connect_error(int32_t code)
{
    return code > transport_status::connect_error_base;
}

std::string system_error_text(int error_number)
{
    char buf[256];
    // GNU strerror_r may return a static string instead of filling buf.
    const char* s = strerror_r(error_number, buf, sizeof buf);
    return s ? std::string(s) : std::string();
}

bool connect_error_text(int32_t code, std::string_view unknown_phrase, qxval& out)
{
    if (!is_connect_error(code))
        return false;
    std::string text(unknown_phrase);
    if (!text.empty())
        text += ": ";
    text += system_error_text(code - transport_status::connect_error_base);
    out.set_bytes(text);
    return true;
}

bool connect_error_text(int32_t code, const phrase_lookup& lookup, qxval& out)
{
    if (!is_connect_error(code))
        return false;
    std::string phrase = lookup ? lookup(transport_phrase(transport_status::unknown)) : std::string();
    return connect_error_text(code, phrase, out);
}

}  // namespace qvtf
