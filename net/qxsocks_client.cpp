#include "net/qxsocks_client.h"

#include <netinet/in.h>

#include <cstring>

#include "net/ipv4_address.h"
#include "net/socket_address.h"
#include "net/transport_status.h"

namespace qvtf {

namespace {

// Puts the socket's time-out back on every way out of an exchange.
class timeout_restorer {
public:
    timeout_restorer(qxsocket& s, int32_t seconds)
        : socket_(s), seconds_(s.timeout_seconds), microseconds_(s.timeout_microseconds)
    {
        s.set_timeout(seconds, 0);
    }
    ~timeout_restorer() { socket_.set_timeout(seconds_, microseconds_); }

private:
    qxsocket& socket_;
    int32_t seconds_;
    int32_t microseconds_;
};

void append_port(std::string& out, uint16_t port)
{
    out += static_cast<char>(port >> 8);
    out += static_cast<char>(port & 0xff);
}

void append_address(std::string& out, uint32_t address)
{
    out.append(reinterpret_cast<const char*>(&address), 4);  // already network order
}

uint8_t byte_at(const std::string& s, size_t i)
{
    return static_cast<uint8_t>(s[i]);
}

uint32_t address_at(const std::string& s, size_t i)
{
    uint32_t a;
    std::memcpy(&a, s.data() + i, 4);
    return a;
}

int32_t port_at(const std::string& s, size_t i)
{
    return (byte_at(s, i) << 8) | byte_at(s, i + 1);
}

std::string ipv6_text_at(const std::string& s, size_t i)
{
    sockaddr_in6 a{};
    a.sin6_family = AF_INET6;
    std::memcpy(&a.sin6_addr, s.data() + i, 16);
    socket_address address;
    address.assign(reinterpret_cast<const sockaddr*>(&a), sizeof a);
    return address.host_text();
}

bool is_unspecified(const std::string& text)
{
    return text == "0.0.0.0" || text == "::";
}

}  // namespace

int32_t qxsocks_client::socket_error_or(int32_t fallback) const
{
    return socket->last_error != 0 ? socket->last_error : fallback;
}

std::string qxsocks_client::reply_address(std::string text) const
{
    // The unspecified address stands for the proxy itself.
    return is_unspecified(text) ? socket->remote_address.host_text() : text;
}

// Reads until reply holds `needed` bytes, never more, since the relayed
// stream (a server's greeting) may follow the reply at once. False when a
// receive yields nothing first.
int32_t qxsocks_client::read_reply(std::string& reply, size_t needed)
{
    qxval chunk;
    while (reply.size() < needed) {
        int32_t n = socket->receive(chunk, static_cast<int32_t>(needed - reply.size()));
        if (n <= 0)
            return -1;
        reply.append(chunk.view());
    }
    return 0;
}

int32_t qxsocks_client::exchange(int32_t command, bool send_request, qxval* address, int32_t* port)
{
    if (!socket)
        return transport_status::cannot_write;
    // A code left from an earlier failure must not be taken for this one's.
    socket->last_error = 0;
    const std::string host(destination_host.view());
    std::string request;
    if (send_request) {
        uint32_t ip = 0;
        const bool dotted = parse_dotted(host, ip);
        socket_address v6;
        const bool ipv6 = !dotted && parse_numeric_address(host, destination_port, v6) && v6.is_ipv6();
        if (version == 4) {
            // Four address bytes cannot name an IPv6 host, nor can the
            // proxy be asked to look up a literal.
            if (ipv6)
                return socks_status::ipv6_needs_v5;
            const bool send_name = !dotted && use_4a;
            if (!dotted && !use_4a && !lookup_ipv4(host, ip))
                return transport_status::cannot_resolve;
            address_given = !send_name;
            request += char(4);
            request += static_cast<char>(command);
            append_port(request, destination_port);
            append_address(request, send_name ? htonl(1) : ip);  // 0.0.0.1 announces a name
            request.append(user_name.view());
            request += '\0';
            if (send_name) {
                request.append(host);
                request += '\0';
            }
        } else {
            // Version 5 never resolves locally; a name that does not fit the
            // length byte cannot be sent.
            if (!dotted && host.size() > 255)
                return transport_status::cannot_resolve;
            address_given = dotted || ipv6;
            request += char(5);
            request += static_cast<char>(command);
            request += '\0';
            if (dotted) {
                request += char(1);
                append_address(request, ip);
            } else if (ipv6) {
                request += char(4);
                request.append(reinterpret_cast<const char*>(&reinterpret_cast<const sockaddr_in6&>(v6.storage).sin6_addr), 16);
            } else {
                request += char(3);
                request += static_cast<char>(host.size());
                request.append(host);
            }
            append_port(request, destination_port);
        }
    }

    timeout_restorer restore(*socket, version == 4 ? v4_timeout_seconds : v5_timeout_seconds);
    if (send_request && socket->send_all(request) != static_cast<int32_t>(request.size()))
        return socket_error_or(transport_status::cannot_write);

    std::string reply;
    if (version == 4) {
        if (read_reply(reply, 8) != 0)
            return socket_error_or(transport_status::cannot_read);
        if (byte_at(reply, 1) != 90)
            return socks_status::rejected_v4;
        if (port)
            *port = port_at(reply, 2);
        if (address)
            address->set_bytes(reply_address(dotted_text(address_at(reply, 4))));
        return 0;
    }

    // The fixed part holds REP, the address type and the first byte after it
    // (a name's length).
    if (read_reply(reply, 6) != 0)
        return socket_error_or(socks_status::bad_reply);
    const int rep = byte_at(reply, 1);
    if (rep >= 1 && rep <= 7)
        return socks_status::rep_base + rep;
    if (rep >= 8)
        return socks_status::bad_reply;
    const int type = byte_at(reply, 3);
    if (type != 1 && type != 3 && type != 4)
        return socks_status::bad_address_type;
    const size_t total = type == 1 ? 10 : type == 4 ? 22 : size_t(byte_at(reply, 4)) + 7;
    if (read_reply(reply, total) != 0)
        return socket_error_or(transport_status::cannot_read);
    if (port)
        *port = port_at(reply, total - 2);
    if (address) {
        if (type == 1)
            address->set_bytes(reply_address(dotted_text(address_at(reply, 4))));
        else if (type == 4)
            address->set_bytes(reply_address(ipv6_text_at(reply, 4)));
        else
            address->set_bytes(std::string_view(reply).substr(5, total - 7));
    }
    return 0;
}

int32_t qxsocks_client::negotiate_v5()
{
    if (!socket)
        return transport_status::cannot_write;
    socket->last_error = 0;
    static const char greeting[] = {5, 2, 0, 2};  // no authentication, user name and password
    if (socket->send_all(greeting, sizeof greeting) != sizeof greeting)
        return transport_status::cannot_write;
    std::string reply;
    if (read_reply(reply, 2) != 0)
        return socket_error_or(transport_status::cannot_read);
    const int method = byte_at(reply, 1);
    if (method == 0)
        return 0;
    if (method != 2)
        return socks_status::no_acceptable_method;

    const std::string_view user = user_name.view();
    const std::string_view pass = password.view();
    // RFC 1929 lengths are one byte; a longer text would garble the stream.
    if (user.size() > 255 || pass.size() > 255)
        return socks_status::auth_refused;
    std::string request;
    request += char(1);
    request += static_cast<char>(user.size());
    request.append(user);
    request += static_cast<char>(pass.size());
    request.append(pass);
    if (socket->send_all(request) != static_cast<int32_t>(request.size()))
        return transport_status::cannot_write;
    reply.clear();
    if (read_reply(reply, 2) != 0)
        return socket_error_or(transport_status::cannot_read);
    return byte_at(reply, 1) == 0 ? 0 : socks_status::auth_refused;
}

int32_t qxsocks_client::socks_connect()
{
    if (version == 4) {
        int32_t r = exchange(command_connect, true, nullptr, nullptr);
        if (r == socks_status::rejected_v4 && use_4a && !address_given) {
            // A proxy without 4a: try again with the address looked up here.
            use_4a = false;
            r = exchange(command_connect, true, nullptr, nullptr);
            // SOCKS 4 proxies close the connection right after a rejection,
            // so the retry usually needs a new connection to the proxy.
            if (r == transport_status::cannot_read || r == transport_status::cannot_write) {
                socket->close_gracefully(false);
                if (!socket->connect_with_timeout())
                    return socket->last_error;
                r = exchange(command_connect, true, nullptr, nullptr);
            }
        }
        return r;
    }
    if (version == 5) {
        int32_t r = negotiate_v5();
        return r != 0 ? r : exchange(command_connect, true, nullptr, nullptr);
    }
    return 0;
}

int32_t qxsocks_client::socks_bind(qxval& address, int32_t& port)
{
    if (version == 5) {
        int32_t r = negotiate_v5();
        if (r != 0)
            return r;
    } else if (version != 4) {
        return 0;
    }
    return exchange(command_bind, true, &address, &port);
}

int32_t qxsocks_client::socks_accept()
{
    if (version != 4 && version != 5)
        return 0;
    return exchange(command_bind, false, nullptr, nullptr);
}

}  // namespace qvtf
