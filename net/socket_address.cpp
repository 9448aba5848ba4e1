#include "net/socket_address.h"

#include <arpa/inet.h>
#include <netdb.h>
#include <netinet/in.h>

#include <charconv>
#include <cstring>

namespace qvtf {

namespace {

const sockaddr_in6& as_v6(const sockaddr_storage& s)
{
    return reinterpret_cast<const sockaddr_in6&>(s);
}

const sockaddr_in& as_v4(const sockaddr_storage& s)
{
    return reinterpret_cast<const sockaddr_in&>(s);
}

bool parse_port(std::string_view text, int32_t& port)
{
    int32_t value = 0;
    auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (text.empty() || ec != std::errc() || end != text.data() + text.size() || value < 1 || value > 65535)
        return false;
    port = value;
    return true;
}

// Every TCP address getaddrinfo gives for host, in its order, with port.
bool lookup(const std::string& host, int flags, int32_t port, std::vector<socket_address>& out)
{
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    hints.ai_flags = flags;
    addrinfo* result = nullptr;
    if (getaddrinfo(host.c_str(), nullptr, &hints, &result) != 0 || !result)
        return false;
    for (addrinfo* ai = result; ai; ai = ai->ai_next) {
        socket_address a;
        if (a.assign(ai->ai_addr, ai->ai_addrlen)) {
            a.set_port(port);
            out.push_back(a);
        }
    }
    freeaddrinfo(result);
    return !out.empty();
}

}  // namespace

bool socket_address::is_ipv6() const
{
    return family() == AF_INET6 && !IN6_IS_ADDR_V4MAPPED(&as_v6(storage).sin6_addr);
}

int32_t socket_address::port() const
{
    if (family() == AF_INET)
        return ntohs(as_v4(storage).sin_port);
    if (family() == AF_INET6)
        return ntohs(as_v6(storage).sin6_port);
    return 0;
}

void socket_address::set_port(int32_t port)
{
    const uint16_t net = htons(static_cast<uint16_t>(port));
    if (family() == AF_INET)
        reinterpret_cast<sockaddr_in&>(storage).sin_port = net;
    else if (family() == AF_INET6)
        reinterpret_cast<sockaddr_in6&>(storage).sin6_port = net;
}

bool socket_address::ipv4(uint32_t& address) const
{
    if (family() == AF_INET) {
        address = as_v4(storage).sin_addr.s_addr;
        return true;
    }
    if (family() == AF_INET6 && IN6_IS_ADDR_V4MAPPED(&as_v6(storage).sin6_addr)) {
        std::memcpy(&address, as_v6(storage).sin6_addr.s6_addr + 12, 4);
        return true;
    }
    return false;
}

std::string socket_address::host_text() const
{
    char buf[INET6_ADDRSTRLEN] = {};
    uint32_t v4 = 0;
    if (ipv4(v4)) {
        in_addr a{};
        a.s_addr = v4;
        inet_ntop(AF_INET, &a, buf, sizeof buf);
    } else if (family() == AF_INET6) {
        inet_ntop(AF_INET6, &as_v6(storage).sin6_addr, buf, sizeof buf);
    }
    return buf;
}

std::string socket_address::endpoint_text() const
{
    return qvtf::endpoint_text(host_text(), port());
}

bool socket_address::assign(const sockaddr* address, socklen_t size)
{
    if (!address || (address->sa_family != AF_INET && address->sa_family != AF_INET6) || size <= 0 ||
        size > static_cast<socklen_t>(sizeof storage))
        return false;
    storage = {};
    std::memcpy(&storage, address, static_cast<size_t>(size));
    length = size;
    return true;
}

bool parse_numeric_address(std::string_view text, int32_t port, socket_address& out)
{
    if (text.size() >= 2 && text.front() == '[' && text.back() == ']')
        text = text.substr(1, text.size() - 2);
    if (text.empty() || text.size() >= 64 || text.find('\0') != std::string_view::npos)
        return false;
    std::vector<socket_address> found;
    if (!lookup(std::string(text), AI_NUMERICHOST, port, found))
        return false;
    out = found.front();
    return true;
}

bool resolve_addresses(std::string_view host, int32_t port, std::vector<socket_address>& out)
{
    out.clear();
    socket_address numeric;
    if (parse_numeric_address(host, port, numeric)) {
        out.push_back(numeric);
        return true;
    }
    // An embedded zero byte would make the looked-up name differ from the one given.
    if (host.empty() || host.find('\0') != std::string_view::npos)
        return false;
    // Only the families this machine has addresses of.
    return lookup(std::string(host), AI_ADDRCONFIG, port, out);
}

std::string endpoint_text(std::string_view host, int32_t port)
{
    std::string text;
    if (host.find(':') != std::string_view::npos) {
        text += '[';
        text += host;
        text += ']';
    } else {
        text += host;
    }
    return text + ':' + std::to_string(port);
}

bool split_host_port(std::string_view text, std::string& host, int32_t& port)
{
    port = -1;
    if (!text.empty() && text.front() == '[') {
        const size_t close = text.find(']');
        if (close == std::string_view::npos || close == 1)
            return false;
        host = std::string(text.substr(1, close - 1));
        const std::string_view rest = text.substr(close + 1);
        if (rest.empty())
            return true;
        return rest.front() == ':' && parse_port(rest.substr(1), port);
    }
    const size_t colon = text.find(':');
    // Two colons or more: a bare IPv6 address, which cannot carry a port.
    if (colon == std::string_view::npos || text.find(':', colon + 1) != std::string_view::npos) {
        host = std::string(text);
        return true;
    }
    host = std::string(text.substr(0, colon));
    return !host.empty() && parse_port(text.substr(colon + 1), port);
}

}  // namespace qvtf
