// The SOCKS client through real proxies (dante, microsocks) to a server of
// the test's own on loopback.
#include <gtest/gtest.h>
#include <unistd.h>

#include <memory>
#include <string>

#include "net/qxsocks_client.h"
#include "support/socks_servers.h"
#include "support/test_ports.h"

using namespace qvtf;
using namespace qvtf::test;

namespace {

struct through_proxy {
    qxsocket socket;
    qxsocks_client client;

    through_proxy(uint16_t proxy_port, int version, const char* host, uint16_t port)
    {
        client.version = version;
        client.socket = &socket;
        client.destination_host.set_string(host);
        client.destination_port = port;
        connected = socket.resolve(proxy_port, "127.0.0.1") && socket.connect_with_timeout();
    }
    // Reads until `want` bytes arrived or the stream ends.
    std::string read(size_t want)
    {
        std::string all;
        qxval chunk;
        while (all.size() < want && socket.receive(chunk) > 0)
            all += chunk.str();
        return all;
    }
    bool connected = false;
};

// Banner first, then an echo: proves the bytes really crossed the proxy both ways.
void expect_round_trip(through_proxy& p)
{
    EXPECT_EQ(p.read(9), "220 echo\n");
    ASSERT_EQ(p.socket.send_all("ping through proxy"), 18);
    EXPECT_EQ(p.read(18), "ping through proxy");
}

}  // namespace

class DanteProxy : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        if (dante_available())
            dante = new dante_server();
    }
    static void TearDownTestSuite()
    {
        delete dante;
        dante = nullptr;
    }
    void SetUp() override
    {
        if (!dante)
            GTEST_SKIP() << "danted is not installed";
        ASSERT_TRUE(dante->ok()) << dante->log();
    }
    static dante_server* dante;
    echo_server target{echo_server::mode::echo, "220 echo\n"};
};
dante_server* DanteProxy::dante = nullptr;

TEST_F(DanteProxy, Version4ConnectByAddress)
{
    through_proxy p(dante->port(), 4, "127.0.0.1", target.port());
    ASSERT_TRUE(p.connected);
    ASSERT_EQ(p.client.socks_connect(), 0);
    expect_round_trip(p);
}

TEST_F(DanteProxy, Version4ConnectByName)
{
    // Whether or not the proxy takes the 4a name, the client ends up connected.
    through_proxy p(dante->port(), 4, "localhost", target.port());
    ASSERT_TRUE(p.connected);
    ASSERT_EQ(p.client.socks_connect(), 0);
    expect_round_trip(p);
}

TEST_F(DanteProxy, Version5ConnectByNameAndAddress)
{
    for (const char* host : {"localhost", "127.0.0.1"}) {
        through_proxy p(dante->port(), 5, host, target.port());
        ASSERT_TRUE(p.connected);
        ASSERT_EQ(p.client.socks_connect(), 0) << host;
        expect_round_trip(p);
    }
}

TEST_F(DanteProxy, ConnectToAClosedPortIsRefusedByTheProxy)
{
    const uint16_t closed = free_port();
    through_proxy v5(dante->port(), 5, "127.0.0.1", closed);
    ASSERT_TRUE(v5.connected);
    EXPECT_EQ(v5.client.socks_connect(), 1610);  // REP 5, connection refused
    through_proxy v4(dante->port(), 4, "127.0.0.1", closed);
    ASSERT_TRUE(v4.connected);
    EXPECT_EQ(v4.client.socks_connect(), socks_status::rejected_v4);
}

TEST_F(DanteProxy, BindThenAcceptTheServersConnection)
{
    for (int version : {4, 5}) {
        // The "server" is this test: it connects to the address the proxy
        // announces, as an FTP server does after PORT.
        through_proxy p(dante->port(), version, "127.0.0.1", 20);
        ASSERT_TRUE(p.connected);
        qxval address;
        int32_t port = 0;
        ASSERT_EQ(p.client.socks_bind(address, port), 0) << "version " << version;
        EXPECT_EQ(address.str(), "127.0.0.1");
        ASSERT_GT(port, 0);

        int server_side = connect_loopback(static_cast<uint16_t>(port));
        ASSERT_GE(server_side, 0);
        ASSERT_EQ(p.client.socks_accept(), 0) << "version " << version;
        ASSERT_TRUE(write_all(server_side, "150 data\n"));
        EXPECT_EQ(p.read(9), "150 data\n");
        ASSERT_EQ(p.socket.send_all("upload"), 6);
        EXPECT_EQ(read_exact(server_side, 6), "upload");
        ::close(server_side);
    }
}

class MicrosocksProxy : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        if (microsocks_available())
            proxy = new microsocks_server("ftpproxy", "pa55word");
    }
    static void TearDownTestSuite()
    {
        delete proxy;
        proxy = nullptr;
    }
    void SetUp() override
    {
        if (!proxy)
            GTEST_SKIP() << "microsocks is not installed";
        ASSERT_TRUE(proxy->ok()) << proxy->log();
    }
    static microsocks_server* proxy;
    echo_server target{echo_server::mode::echo, "220 echo\n"};
};
microsocks_server* MicrosocksProxy::proxy = nullptr;

TEST_F(MicrosocksProxy, UserNameAndPasswordConnect)
{
    for (const char* host : {"127.0.0.1", "localhost"}) {
        through_proxy p(proxy->port(), 5, host, target.port());
        ASSERT_TRUE(p.connected);
        p.client.user_name.set_string("ftpproxy");
        p.client.password.set_string("pa55word");
        ASSERT_EQ(p.client.socks_connect(), 0) << host;
        expect_round_trip(p);
    }
}

TEST_F(MicrosocksProxy, WrongPasswordIsRefused)
{
    through_proxy p(proxy->port(), 5, "127.0.0.1", target.port());
    ASSERT_TRUE(p.connected);
    p.client.user_name.set_string("ftpproxy");
    p.client.password.set_string("wrong");
    EXPECT_EQ(p.client.socks_connect(), socks_status::auth_refused);
    EXPECT_EQ(target.accepted(), 0);
}
