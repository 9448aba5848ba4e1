// The listening socket, its admission rules, and the messages for connect
// failures.
#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <thread>

#include "net/ip_checker.h"
#include "net/qx_inet_server.h"
#include "net/qxsocket.h"
#include "net/transport_status.h"
#include "support/test_ports.h"

using namespace qvtf;
using namespace qvtf::test;
using namespace std::chrono_literals;

namespace {

uint32_t ip(const char* dotted)
{
    in_addr a{};
    inet_pton(AF_INET, dotted, &a);
    return a.s_addr;
}

}  // namespace

TEST(IpChecker, NewCheckerAdmitsEveryone)
{
    ip_checker c;
    EXPECT_EQ(c.count(), 1);
    EXPECT_FALSE(c.is_refused(ip("127.0.0.1")));
    EXPECT_FALSE(c.is_refused(ip("203.0.113.9")));
    c.clear_rules();
    EXPECT_FALSE(c.is_refused(ip("203.0.113.9")));  // no rules at all: admitted too
}

TEST(IpChecker, RulesAndRequiredMask)
{
    ip_checker c;
    c.clear_rules();
    c.add_rule(ip("192.168.0.0"), ip("255.255.0.0"));
    c.add_rule(ip("10.0.0.7"), ip("255.255.255.255"));
    EXPECT_FALSE(c.is_refused(ip("192.168.44.1")));
    EXPECT_FALSE(c.is_refused(ip("10.0.0.7")));
    EXPECT_TRUE(c.is_refused(ip("10.0.0.8")));
    EXPECT_TRUE(c.is_refused(ip("127.0.0.1")));

    // The required mask refuses an address lacking one of its bits even if a
    // rule matches.
    c.required_mask = ip("0.0.0.1");
    EXPECT_TRUE(c.is_refused(ip("192.168.44.2")));
    EXPECT_FALSE(c.is_refused(ip("192.168.44.3")));
    EXPECT_FALSE(c.is_refused(ip("10.0.0.7")));
}

TEST(QxInetServer, AcceptsWithAdmitAllChecker)
{
    qx_inet_server server;
    server.set_timeout(5, 0);
    server.accepted_timeout = 7;
    ASSERT_TRUE(server.listen_on(0));
    const int32_t port = server.local_port();
    ASSERT_GT(port, 0);

    int client = connect_loopback(static_cast<uint16_t>(port));
    ASSERT_GE(client, 0);
    auto accepted = server.accept_one();
    ASSERT_TRUE(accepted);
    EXPECT_EQ(accepted->timeout_seconds, 7);
    EXPECT_EQ(accepted->timeout_microseconds, 0);
    qxval peer;
    accepted->peer_address(peer);
    EXPECT_EQ(peer.str(), "127.0.0.1");
    EXPECT_GT(accepted->peer_port(), 0);

    ASSERT_TRUE(write_all(client, "PORT data"));
    qxval got;
    ASSERT_EQ(accepted->receive(got), 9);
    EXPECT_EQ(got.str(), "PORT data");
    ASSERT_EQ(accepted->send_all("back"), 4);
    EXPECT_EQ(read_exact(client, 4), "back");
    ::close(client);
}

TEST(QxInetServer, AcceptWaitsOnlyTheServerTimeout)
{
    qx_inet_server server;
    server.set_timeout(0, 200000);
    ASSERT_TRUE(server.listen_on(0));
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(server.accept_one(), nullptr);
    EXPECT_LT(std::chrono::steady_clock::now() - start, 3s);
}

TEST(QxInetServer, InterruptEndsAPendingAcceptFromAnotherThread)
{
    qx_inet_server server;
    server.set_timeout(30, 0);
    ASSERT_TRUE(server.listen_on(0));
    std::thread aborter([&] {
        std::this_thread::sleep_for(100ms);
        server.interrupt();
    });
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(server.accept_one(), nullptr);
    EXPECT_LT(std::chrono::steady_clock::now() - start, 5s);
    aborter.join();
}

TEST(QxInetServer, RefusedPeerIsClosedAndNotReturned)
{
    qx_inet_server server;
    server.set_timeout(5, 0);
    server.checker.clear_rules();
    server.checker.add_rule(ip("10.0.0.0"), ip("255.0.0.0"));
    ASSERT_TRUE(server.listen_on(0));
    int client = connect_loopback(static_cast<uint16_t>(server.local_port()));
    ASSERT_GE(client, 0);
    EXPECT_EQ(server.accept_one(), nullptr);
    // The refused connection was closed: the client reads the end at once.
    char c;
    EXPECT_LE(::recv(client, &c, 1, 0), 0);
    ::close(client);

    // A rule for loopback admits it again.
    server.checker.add_rule(ip("127.0.0.0"), ip("255.0.0.0"));
    client = connect_loopback(static_cast<uint16_t>(server.local_port()));
    EXPECT_NE(server.accept_one(), nullptr);
    ::close(client);
}

// The listener on ::1 (the active data connection of an IPv6 session), a
// client that reaches it by bracketed text, and the IPv4 rules, which admit
// an IPv6 peer only while they admit everyone.
TEST(QxInetServer, Ipv6LoopbackListenConnectAndAdmission)
{
    if (!ipv6_loopback_available())
        GTEST_SKIP() << no_ipv6_message;
    qx_inet_server server;
    server.set_timeout(5, 0);
    ASSERT_TRUE(server.set_local_address("::1"));
    EXPECT_FALSE(server.set_local_address("localhost"));
    ASSERT_TRUE(server.listen_on(0));
    for (bool admitted : {true, false}) {
        if (!admitted) {
            server.checker.clear_rules();
            server.checker.add_rule(ip("127.0.0.0"), ip("255.0.0.0"));
        }
        qxsocket client;
        ASSERT_TRUE(client.resolve(server.local_port(), "[::1]"));
        ASSERT_TRUE(client.connect_with_timeout());
        qxval text;
        client.local_address(text);
        EXPECT_EQ(text.str(), "::1");
        EXPECT_EQ(client.remote_address.endpoint_text(), "[::1]:" + std::to_string(server.local_port()));
        auto accepted = server.accept_one();
        EXPECT_EQ(accepted != nullptr, admitted);
        if (accepted) {
            accepted->peer_address(text);
            EXPECT_EQ(text.str(), "::1");
            ASSERT_EQ(client.send_all("v6"), 2);
            ASSERT_EQ(accepted->receive(text), 2);
            EXPECT_EQ(text.str(), "v6");
        }
    }
}

TEST(QxInetServer, ListenOnABusyPortFails)
{
    qx_inet_server first, second;
    ASSERT_TRUE(first.listen_on(0));
    EXPECT_FALSE(second.listen_on(first.local_port()));
    // The same object can move on to another port.
    EXPECT_TRUE(second.listen_on(0));
}

TEST(TransportStatus, PhrasesAndConnectErrorText)
{
    EXPECT_EQ(transport_phrase(transport_status::timed_out), 166);
    EXPECT_EQ(transport_phrase(transport_status::cannot_write), 170);
    EXPECT_EQ(transport_phrase(transport_status::startup_failed), 171);
    EXPECT_EQ(transport_phrase(transport_status::unknown), 172);
    EXPECT_EQ(transport_phrase(transport_status::connect_error_base + ECONNREFUSED), 0);

    qxval text("unchanged");
    EXPECT_FALSE(connect_error_text(transport_status::timed_out, "x", text));
    EXPECT_EQ(text.str(), "unchanged");

    ASSERT_TRUE(connect_error_text(transport_status::connect_error_base + ECONNREFUSED,
                                   "TCP/IP error: Unknown TCP error", text));
    EXPECT_EQ(text.str(), "TCP/IP error: Unknown TCP error: Connection refused");

    int asked = 0;
    ASSERT_TRUE(connect_error_text(
        transport_status::connect_error_base + ETIMEDOUT,
        [&](int32_t phrase) {
            asked = phrase;
            return std::string("Unknown");
        },
        text));
    EXPECT_EQ(asked, 172);
    EXPECT_EQ(text.str(), "Unknown: Connection timed out");
}
