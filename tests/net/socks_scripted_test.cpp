// The SOCKS client against a scripted proxy: the exact request bytes, and
// every reply the client must tell apart.
#include <gtest/gtest.h>

#include <chrono>
#include <memory>
#include <string>

#include "net/qxsocks_client.h"
#include "support/socks_scripted.h"

using namespace qvtf;
using namespace qvtf::test;
using namespace std::chrono_literals;
using bytes = std::string;

namespace {

// A client connected to a scripted proxy; the script must be set before
// connect() starts the proxy.
struct socks_session {
    scripted_socks_server proxy;
    qxsocket socket;
    qxsocks_client client;

    explicit socks_session(int version)
    {
        client.version = version;
        client.socket = &socket;
        client.destination_host.set_string("127.0.0.1");
        client.destination_port = 21;
    }
    void connect()
    {
        proxy.start();
        ASSERT_TRUE(socket.resolve(proxy.port(), "127.0.0.1"));
        ASSERT_TRUE(socket.connect_with_timeout());
    }
};

bytes v4_request(int command, uint16_t port, const bytes& address, const bytes& user)
{
    return bytes{4, static_cast<char>(command)} + socks_port_bytes(port) + socks_ipv4_bytes(address) + user +
           bytes(1, '\0');
}

const bytes v5_greeting{5, 2, 0, 2};

bytes v5_request(int command, const bytes& address, uint16_t port)
{
    return bytes{5, static_cast<char>(command), 0, 1} + socks_ipv4_bytes(address) + socks_port_bytes(port);
}

}  // namespace

// ------------------------------------------------------------ version 4

TEST(SocksClientV4, ConnectSendsAddressAndUserName)
{
    socks_session s(4);
    s.client.user_name.set_string("alice");
    s.client.destination_port = 2121;
    s.proxy.read_v4_request().send(socks4_reply(90));
    s.connect();
    EXPECT_EQ(s.client.socks_connect(), 0);
    EXPECT_TRUE(s.client.address_given);
    auto got = s.proxy.requests();
    ASSERT_EQ(got.size(), 1u);
    EXPECT_EQ(got[0], v4_request(1, 2121, "127.0.0.1", "alice"));
}

TEST(SocksClientV4, EmptyUserNameSendsOneZeroByte)
{
    socks_session s(4);
    s.proxy.read_v4_request().send(socks4_reply(90));
    s.connect();
    EXPECT_EQ(s.client.socks_connect(), 0);
    auto got = s.proxy.requests();
    ASSERT_EQ(got.size(), 1u);
    EXPECT_EQ(got[0].size(), 9u);
    EXPECT_EQ(got[0], v4_request(1, 21, "127.0.0.1", ""));
}

TEST(SocksClientV4, HostNameGoesToProxyAndRejectionRetriesWithLocalAddress)
{
    socks_session s(4);
    s.client.user_name.set_string("u");
    s.client.destination_host.set_string("localhost");
    s.proxy.read_v4_request().send(socks4_reply(91)).read_v4_request().send(socks4_reply(90));
    s.connect();
    EXPECT_EQ(s.client.socks_connect(), 0);
    auto got = s.proxy.requests();
    ASSERT_EQ(got.size(), 2u);
    // 4a: address 0.0.0.1, then the name after the user name's zero byte.
    const bytes named =
        bytes{4, 1} + socks_port_bytes(21) + bytes{0, 0, 0, 1} + "u" + bytes(1, '\0') + "localhost" + bytes(1, '\0');
    EXPECT_EQ(got[0], named);
    // The retry on the same connection carries the address resolved here.
    EXPECT_EQ(got[1], v4_request(1, 21, "127.0.0.1", "u"));
    EXPECT_EQ(s.proxy.connections(), 1);
    EXPECT_FALSE(s.client.use_4a);
    EXPECT_TRUE(s.client.address_given);
}

TEST(SocksClientV4, RetryReconnectsWhenTheProxyClosedAfterRejecting)
{
    // What SOCKS 4 proxies do: reply 91 and close the connection.
    socks_session s(4);
    s.client.destination_host.set_string("localhost");
    s.proxy.read_v4_request().send(socks4_reply(91)).next_connection().read_v4_request().send(socks4_reply(90));
    s.connect();
    EXPECT_EQ(s.client.socks_connect(), 0);
    auto got = s.proxy.requests();
    ASSERT_EQ(got.size(), 2u);
    EXPECT_EQ(got[1], v4_request(1, 21, "127.0.0.1", ""));
    EXPECT_EQ(s.proxy.connections(), 2);
    EXPECT_FALSE(s.client.use_4a);
}

TEST(SocksClientV4, RejectionOfAnAddressIsNotRetried)
{
    socks_session s(4);
    s.proxy.read_v4_request().send(socks4_reply(91));
    s.connect();
    EXPECT_EQ(s.client.socks_connect(), socks_status::rejected_v4);
    EXPECT_TRUE(s.client.use_4a);
    EXPECT_EQ(s.proxy.requests().size(), 1u);
}

TEST(SocksClientV4, RejectedRetryStillFails)
{
    socks_session s(4);
    s.client.destination_host.set_string("localhost");
    s.proxy.read_v4_request().send(socks4_reply(91)).read_v4_request().send(socks4_reply(92));
    s.connect();
    EXPECT_EQ(s.client.socks_connect(), socks_status::rejected_v4);
    EXPECT_EQ(s.proxy.requests().size(), 2u);
}

TEST(SocksClientV4, Without4aAnUnknownNameFailsBeforeAnyTraffic)
{
    socks_session s(4);
    s.client.use_4a = false;
    s.client.destination_host.set_string("no-such-host.invalid");
    s.proxy.read_bytes(1);
    s.connect();
    EXPECT_EQ(s.client.socks_connect(), transport_status::cannot_resolve);
    s.socket.close_gracefully(false);
    auto got = s.proxy.requests();
    ASSERT_EQ(got.size(), 1u);
    EXPECT_EQ(got[0], "");  // nothing was sent
}

TEST(SocksClientV4, ShortReplyGives1003)
{
    socks_session s(4);
    s.socket.last_error = transport_status::timed_out;  // left from an earlier failure
    s.proxy.read_v4_request().send(bytes{0, 90, 0});
    s.connect();
    EXPECT_EQ(s.client.socks_connect(), transport_status::cannot_read);
}

TEST(SocksClientV4, BindReturnsReplyAddressOrTheProxysOwn)
{
    {
        socks_session s(4);
        s.proxy.read_v4_request().send(socks4_reply(90, 40001, "127.0.0.5"));
        s.connect();
        qxval address;
        int32_t port = 0;
        EXPECT_EQ(s.client.socks_bind(address, port), 0);
        EXPECT_EQ(address.str(), "127.0.0.5");
        EXPECT_EQ(port, 40001);
        EXPECT_EQ(s.proxy.requests()[0], v4_request(2, 21, "127.0.0.1", ""));
    }
    {
        socks_session s(4);
        s.proxy.read_v4_request().send(socks4_reply(90, 40002, "0.0.0.0")).send(socks4_reply(90));
        s.connect();
        qxval address;
        int32_t port = 0;
        EXPECT_EQ(s.client.socks_bind(address, port), 0);
        EXPECT_EQ(address.str(), "127.0.0.1");  // where the client reached the proxy
        EXPECT_EQ(port, 40002);
        EXPECT_EQ(s.client.socks_accept(), 0);  // the second reply
    }
}

TEST(SocksClientV4, BindIsNotRetriedWithoutThe4aExtension)
{
    socks_session s(4);
    s.client.destination_host.set_string("localhost");
    s.proxy.read_v4_request().send(socks4_reply(91));
    s.connect();
    qxval address;
    int32_t port = 0;
    EXPECT_EQ(s.client.socks_bind(address, port), socks_status::rejected_v4);
    EXPECT_TRUE(s.client.use_4a);
    EXPECT_EQ(s.proxy.requests().size(), 1u);
}

// ------------------------------------------------------------ version 5

TEST(SocksClientV5, MethodNoneSkipsAuthenticationAndSendsAddressType1)
{
    socks_session s(5);
    s.client.user_name.set_string("ignored");
    s.client.destination_port = 2100;
    s.proxy.read_v5_greeting().send(bytes{5, 0}).read_v5_request().send(socks5_reply(0, "127.0.0.1", 5000));
    s.connect();
    EXPECT_EQ(s.client.socks_connect(), 0);
    EXPECT_TRUE(s.client.address_given);
    auto got = s.proxy.requests();
    ASSERT_EQ(got.size(), 2u);
    EXPECT_EQ(got[0], v5_greeting);
    EXPECT_EQ(got[1], v5_request(1, "127.0.0.1", 2100));
}

TEST(SocksClientV5, UserNameAndPasswordAndHostNameUnchanged)
{
    socks_session s(5);
    s.client.user_name.set_string("proxyuser");
    s.client.password.set_string("s3cret");
    s.client.destination_host.set_string("Ftp.Example.Test");
    s.proxy.read_v5_greeting()
        .send(bytes{5, 2})
        .read_v5_auth()
        .send(bytes{1, 0})
        .read_v5_request()
        .send(socks5_reply(0, "10.0.0.1", 21));
    s.connect();
    EXPECT_EQ(s.client.socks_connect(), 0);
    EXPECT_FALSE(s.client.address_given);
    auto got = s.proxy.requests();
    ASSERT_EQ(got.size(), 3u);
    const bytes auth = bytes{1, 9} + "proxyuser" + bytes{6} + "s3cret";
    const bytes request = bytes{5, 1, 0, 3, 16} + "Ftp.Example.Test" + socks_port_bytes(21);
    EXPECT_EQ(got[1], auth);
    EXPECT_EQ(got[2], request);
}

TEST(SocksClientV5, RefusedMethodsAndCredentials)
{
    {
        socks_session s(5);
        s.proxy.read_v5_greeting().send(bytes{5, char(0xff)});
        s.connect();
        EXPECT_EQ(s.client.socks_connect(), socks_status::no_acceptable_method);
    }
    {
        socks_session s(5);
        s.proxy.read_v5_greeting().send(bytes{5, 2}).read_v5_auth().send(bytes{1, 1});
        s.connect();
        EXPECT_EQ(s.client.socks_connect(), socks_status::auth_refused);
    }
    {
        // A user name that does not fit RFC 1929's length byte is not sent.
        socks_session s(5);
        s.client.user_name.set_string(std::string(256, 'u').c_str());
        s.proxy.read_v5_greeting().send(bytes{5, 2});
        s.connect();
        EXPECT_EQ(s.client.socks_connect(), socks_status::auth_refused);
    }
}

TEST(SocksClientV5, EveryReplyCodeHasItsStatus)
{
    for (int rep = 1; rep <= 9; ++rep) {
        socks_session s(5);
        s.proxy.read_v5_greeting().send(bytes{5, 0}).read_v5_request().send(socks5_reply(rep));
        s.connect();
        const int32_t expected = rep <= 7 ? 1605 + rep : socks_status::bad_reply;
        EXPECT_EQ(s.client.socks_connect(), expected) << "REP " << rep;
    }
}

TEST(SocksClientV5, MalformedReplies)
{
    {
        socks_session s(5);  // an address type that does not exist
        s.proxy.read_v5_greeting().send(bytes{5, 0}).read_v5_request().send(bytes{5, 0, 0, 5} + bytes(18, '\0'));
        s.connect();
        EXPECT_EQ(s.client.socks_connect(), socks_status::bad_address_type);
    }
    {
        socks_session s(5);  // 5 bytes and the end of the stream
        s.proxy.read_v5_greeting().send(bytes{5, 0}).read_v5_request().send(bytes{5, 0, 0, 1, 127});
        s.connect();
        EXPECT_EQ(s.client.socks_connect(), socks_status::bad_reply);
    }
    {
        socks_session s(5);  // an IPv4 reply cut off in its port
        s.proxy.read_v5_greeting().send(bytes{5, 0}).read_v5_request().send(socks5_reply(0).substr(0, 9));
        s.connect();
        EXPECT_EQ(s.client.socks_connect(), transport_status::cannot_read);
    }
    {
        socks_session s(5);  // a one-byte method reply
        s.proxy.read_v5_greeting().send(bytes{5});
        s.connect();
        EXPECT_EQ(s.client.socks_connect(), transport_status::cannot_read);
    }
}

TEST(SocksClientV5, BindWithDomainNameAndZeroAddressReplies)
{
    {
        socks_session s(5);
        s.proxy.read_v5_greeting()
            .send(bytes{5, 0})
            .read_v5_request()
            .send(socks5_domain_reply(0, "proxy.example.test", 50123))
            .send(socks5_domain_reply(0, "ftp.example.test", 20));
        s.connect();
        qxval address;
        int32_t port = 0;
        EXPECT_EQ(s.client.socks_bind(address, port), 0);
        EXPECT_EQ(address.str(), "proxy.example.test");
        EXPECT_EQ(port, 50123);
        EXPECT_EQ(s.proxy.requests()[1], v5_request(2, "127.0.0.1", 21));
        EXPECT_EQ(s.client.socks_accept(), 0);
    }
    {
        socks_session s(5);
        s.proxy.read_v5_greeting().send(bytes{5, 0}).read_v5_request().send(socks5_reply(0, "0.0.0.0", 1025));
        s.connect();
        qxval address;
        int32_t port = 0;
        EXPECT_EQ(s.client.socks_bind(address, port), 0);
        EXPECT_EQ(address.str(), "127.0.0.1");
        EXPECT_EQ(port, 1025);
    }
}

TEST(SocksClientV5, AcceptReportsAFailedSecondReply)
{
    socks_session s(5);
    s.proxy.read_v5_greeting()
        .send(bytes{5, 0})
        .read_v5_request()
        .send(socks5_reply(0, "127.0.0.1", 1026))
        .send(socks5_reply(4));
    s.connect();
    qxval address;
    int32_t port = 0;
    ASSERT_EQ(s.client.socks_bind(address, port), 0);
    EXPECT_EQ(s.client.socks_accept(), 1609);
}

// IPv6 destinations go as address type 4 to a version 5 proxy, whose
// replies may name IPv6 addresses too; a version 4 proxy cannot carry them
// and is not asked.
TEST(SocksClient, Ipv6Destinations)
{
    const bytes loopback6 = bytes(15, '\0') + bytes{1};
    const bytes v6_request = bytes{5, 1, 0, 4} + loopback6 + socks_port_bytes(21);
    const bytes v6_reply = bytes{5, 0, 0, 4} + loopback6 + socks_port_bytes(40000);
    struct row {
        const char* what;
        int version;
        const char* host;
        bytes reply;
        int32_t status;
        bytes request;  // what the proxy receives after the greeting
    };
    const row rows[] = {
        {"v5 IPv6 literal", 5, "::1", socks5_reply(0), 0, v6_request},
        {"v5 bracketed literal", 5, "[::1]", socks5_reply(0), 0, v6_request},
        {"v5 IPv6 reply", 5, "::1", v6_reply, 0, v6_request},
        {"v4 refuses IPv6", 4, "::1", "", socks_status::ipv6_needs_v5, ""},
    };
    for (const row& r : rows) {
        SCOPED_TRACE(r.what);
        socks_session s(r.version);
        s.client.destination_host.set_string(r.host);
        if (r.version == 5)
            s.proxy.read_v5_greeting().send(bytes{5, 0}).read_v5_request().send(r.reply);
        else
            s.proxy.read_bytes(1);
        s.connect();
        EXPECT_EQ(s.client.socks_connect(), r.status);
        s.socket.close_gracefully(false);
        auto got = s.proxy.requests();
        ASSERT_FALSE(got.empty());
        EXPECT_EQ(got.back(), r.request);
    }
    // BIND: an IPv6 answer, and "::" for the proxy's own address.
    for (const bytes& address : {loopback6, bytes(16, '\0')}) {
        socks_session s(5);
        s.proxy.read_v5_greeting().send(bytes{5, 0}).read_v5_request().send(bytes{5, 0, 0, 4} + address +
                                                                            socks_port_bytes(1025));
        s.connect();
        qxval bound;
        int32_t port = 0;
        EXPECT_EQ(s.client.socks_bind(bound, port), 0);
        EXPECT_EQ(bound.str(), address == loopback6 ? "::1" : "127.0.0.1");
        EXPECT_EQ(port, 1025);
    }
}

// ------------------------------------------------------------ both versions

TEST(SocksClient, RelayedBytesAfterTheReplyStayOnTheSocket)
{
    // A server greeting that arrives in the same segment as the proxy's
    // reply must not be eaten by the reply reader.
    for (int version : {4, 5}) {
        socks_session s(version);
        const bytes greeting = "220 server ready\r\n";
        if (version == 4)
            s.proxy.read_v4_request().send(socks4_reply(90) + greeting);
        else
            s.proxy.read_v5_greeting()
                .send(bytes{5, 0})
                .read_v5_request()
                .send(socks5_domain_reply(0, "relay.test", 21) + greeting);
        s.connect();
        ASSERT_EQ(s.client.socks_connect(), 0) << "version " << version;
        qxval got;
        ASSERT_GT(s.socket.receive(got), 0);
        EXPECT_EQ(got.str(), greeting) << "version " << version;
    }
}

TEST(SocksClient, ExchangeUsesItsOwnTimeoutAndRestoresTheSocketsOnEveryPath)
{
    // The reply comes after the socket's own 1-second time-out: the exchange
    // waits with its longer one, and the socket's time-out is back afterwards.
    {
        socks_session s(5);
        s.socket.set_timeout(1, 250000);
        s.proxy.read_v5_greeting().send(bytes{5, 0}).read_v5_request().pause(1500ms).send(socks5_reply(0));
        s.connect();
        EXPECT_EQ(s.client.socks_connect(), 0);
        EXPECT_EQ(s.socket.timeout_seconds, 1);
        EXPECT_EQ(s.socket.timeout_microseconds, 250000);
    }
    {
        socks_session s(4);
        s.socket.set_timeout(3, 7);
        s.proxy.read_v4_request().send(socks4_reply(93));
        s.connect();
        EXPECT_EQ(s.client.socks_connect(), socks_status::rejected_v4);
        EXPECT_EQ(s.socket.timeout_seconds, 3);
        EXPECT_EQ(s.socket.timeout_microseconds, 7);
    }
    {
        socks_session s(5);
        s.socket.set_timeout(2, 0);
        s.proxy.read_v5_greeting().send(bytes{5, 0}).read_v5_request().send(socks5_reply(5));
        s.connect();
        EXPECT_EQ(s.client.socks_connect(), 1610);
        EXPECT_EQ(s.socket.timeout_seconds, 2);
    }
}

TEST(SocksClient, OtherVersionsPassWithoutTraffic)
{
    socks_session s(0);
    s.proxy.read_bytes(1);
    s.connect();
    EXPECT_EQ(s.client.socks_connect(), 0);
    qxval address;
    int32_t port = 0;
    EXPECT_EQ(s.client.socks_bind(address, port), 0);
    EXPECT_EQ(s.client.socks_accept(), 0);
    s.socket.close_gracefully(false);
    EXPECT_EQ(s.proxy.requests()[0], "");
}

TEST(SocksClient, NoSocketIsAFailedSend)
{
    qxsocks_client c;
    c.version = 5;
    EXPECT_EQ(c.socks_connect(), transport_status::cannot_write);
    c.version = 4;
    EXPECT_EQ(c.socks_connect(), transport_status::cannot_write);
}
