// Transfers through real SOCKS proxies to vsftpd: passive through CONNECT
// (dante, microsocks with a password, the latter also to a server on ::1),
// active through BIND (dante).
#include <gtest/gtest.h>

#include "ftp/ftp_data_connection.h"
#include "ftp/ftp_proxy.h"
#include "support/ftp_servers.h"
#include "support/process.h"
#include "support/socks_servers.h"
#include "test_data_support.h"

namespace qvtf::test {
namespace {

// Up, down and a listing through the proxy; the files match. ipv6: the
// server listens on ::1, which the proxy reaches by the address it is sent.
void round_trip_through(ftp_proxy& proxy, bool passive, bool ipv6 = false)
{
    vsftpd_server server(server_tls::none, ipv6);
    ASSERT_TRUE(server.ok()) << server.log();
    ftp_control session;
    inputs(session).site().proxy = proxy;
    ASSERT_EQ(log_in_to(session, server.port(), server.user(), server.password(), passive, ipv6 ? "::1" : "127.0.0.1"),
              0);
    temp_folder local("qvtf-socks");
    const std::string bytes = pattern_bytes(200000, 11);
    ASSERT_TRUE(write_bytes(local.file("up"), bytes));

    ASSERT_EQ(session.transfer_file(transfer_request::make(0, qxval(local.file("up")), qxval("up"), transfer_binary)),
              0);
    EXPECT_TRUE(read_bytes(server.root() + "/up") == bytes);
    ASSERT_EQ(session.transfer_file(transfer_request::make(1, qxval(local.file("down")), qxval("up"), transfer_binary)),
              0);
    EXPECT_TRUE(read_bytes(local.file("down")) == bytes);
    ASSERT_EQ(session.list_directory(qxval("")), 0);
    ASSERT_TRUE(session.current_folder() && session.current_folder()->first_child);
    EXPECT_EQ(session.current_folder()->first_child->name.str(), "up");
    // The control connection's own SOCKS client is left as it was.
    EXPECT_EQ(session.socks_client().socket, &session.control_socket());
    EXPECT_EQ(session.print_folder(), 0);
}

class DataThroughDante : public ::testing::TestWithParam<int> {
protected:
    void SetUp() override
    {
        if (!dante_available() || !vsftpd_available())
            GTEST_SKIP() << "danted or vsftpd not installed";
        ASSERT_TRUE(dante.ok()) << dante.log();
        proxy.type = GetParam();
        proxy.proxy_host.set_string("127.0.0.1");
        proxy.proxy_port = dante.port();
    }
    dante_server dante;
    ftp_proxy proxy;
};

TEST_P(DataThroughDante, PassiveThroughConnect)
{
    round_trip_through(proxy, true);
}

TEST_P(DataThroughDante, ActiveThroughBind)
{
    round_trip_through(proxy, false);
}

INSTANTIATE_TEST_SUITE_P(Socks, DataThroughDante, ::testing::Values(4, 5),
                         [](const auto& instance) { return "v" + std::to_string(instance.param); });

TEST(DataThroughMicrosocks, PassiveWithPasswordToIpv4AndIpv6)
{
    if (!microsocks_available() || !vsftpd_available())
        GTEST_SKIP() << "microsocks or vsftpd not installed";
    microsocks_server socks;
    ASSERT_TRUE(socks.ok()) << socks.log();
    ftp_proxy proxy;
    proxy.type = 5;
    proxy.proxy_host.set_string("127.0.0.1");
    proxy.proxy_port = socks.port();
    proxy.proxy_username.set_string(socks.user().c_str());
    proxy.proxy_password.set_string(socks.password().c_str());
    round_trip_through(proxy, true);
    if (!ipv6_loopback_available())
        GTEST_SKIP() << no_ipv6_message;
    round_trip_through(proxy, true, true);
}

}  // namespace
}  // namespace qvtf::test
