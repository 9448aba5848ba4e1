#include "net/ipv4_address.h"

#include <arpa/inet.h>
#include <netdb.h>
#include <netinet/in.h>
#include <sys/socket.h>

#include <cstring>

namespace qvtf {

bool parse_dotted(std::string_view text, uint32_t& address)
{
    if (text.empty() || text.size() > 15)
        return false;
    char buf[16];
    std::memcpy(buf, text.data(), text.size());
    buf[text.size()] = '\0';
    in_addr a{};
    if (inet_pton(AF_INET, buf, &a) != 1)
        return false;
    address = a.s_addr;
    return true;
}

bool lookup_ipv4(std::string_view host, uint32_t& address)
{
    if (parse_dotted(host, address))
        return true;
    // An embedded zero byte would make the looked-up name differ from the one given.
    if (host.empty() || host.find('\0') != std::string_view::npos)
        return false;
    std::string name(host);
    addrinfo hints{};
    hints.ai_family = AF_INET;
    hints.ai_socktype = SOCK_STREAM;
    addrinfo* result = nullptr;
    if (getaddrinfo(name.c_str(), nullptr, &hints, &result) != 0 || !result)
        return false;
    bool found = false;
    for (addrinfo* ai = result; ai; ai = ai->ai_next) {
        if (ai->ai_family == AF_INET && ai->ai_addr) {
            address = reinterpret_cast<const sockaddr_in*>(ai->ai_addr)->sin_addr.s_addr;
            found = true;
            break;
        }
    }
    freeaddrinfo(result);
    return found;
}

std::string dotted_text(uint32_t address)
{
    in_addr a{};
    a.s_addr = address;
    char buf[INET_ADDRSTRLEN] = {};
    inet_ntop(AF_INET, &a, buf, sizeof buf);
    return buf;
}

}  // namespace qvtf
