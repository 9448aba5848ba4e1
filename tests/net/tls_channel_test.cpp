// TLS under the socket: the round trip and clean close against a real TLS
// peer, and the bounds every wait keeps: a handshake or a read that the
// peer leaves waiting ends at the time-out, or at once when another thread
// interrupts the socket.
#include <gtest/gtest.h>

#include <thread>

#include "net/qxsocket.h"
#include "net/tls_channel.h"
#include "net/tls_context.h"
#include "net/transport_status.h"
#include "support/ftp_servers.h"
#include "support/process.h"
#include "support/test_ports.h"

namespace qvtf::test {
namespace {

// Echoes what each client sends, one connection after another; a client
// that sends "quiet" gets nothing back.
constexpr const char* echo_script = R"(import socket, ssl, sys
port, cert, key = int(sys.argv[1]), sys.argv[2], sys.argv[3]
context = ssl.SSLContext(ssl.PROTOCOL_TLS_SERVER)
context.load_cert_chain(cert, key)
server = socket.create_server(("127.0.0.1", port))
while True:
    raw, _ = server.accept()
    try:
        conn = context.wrap_socket(raw, server_side=True)
        while True:
            data = conn.recv(65536)
            if not data:
                conn.unwrap()
                break
            if data != b"quiet":
                conn.sendall(data)
    except Exception:
        pass
    raw.close()
)";

class TlsChannel : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(make_test_certificate(folder_));
        ASSERT_TRUE(folder_.write("echo.py", echo_script));
        port_ = free_port();
        ASSERT_TRUE(server_.start({"/usr/bin/python3", folder_.file("echo.py"), std::to_string(port_),
                                   folder_.file("cert.pem"), folder_.file("key.pem")},
                                  folder_.file("echo.log")));
        ASSERT_TRUE(wait_until_accepting(port_));
        std::string error;
        ASSERT_TRUE(context_.load_authorities(folder_.file("cert.pem"), error)) << error;
    }

    // Connects and, with handshake, starts TLS; the status of the handshake.
    int32_t open(qxsocket& s, uint16_t port, int32_t timeout_seconds, bool interrupt_soon = false)
    {
        if (!s.resolve(port, "127.0.0.1") || !s.connect_with_timeout())
            return -1;
        s.set_timeout(timeout_seconds, 0);
        std::thread cutter;
        if (interrupt_soon)
            cutter = std::thread([&s] {
                std::this_thread::sleep_for(std::chrono::milliseconds(200));
                s.interrupt();
            });
        auto channel = std::make_unique<tls_channel>(context_, true);
        const int32_t status = channel->handshake(s.handle.load(), "127.0.0.1", false, s.timeout_ms());
        if (cutter.joinable())
            cutter.join();
        if (status == 0) {
            verified_ = channel->verified();
            s.attach_tls(std::move(channel));
        }
        return status;
    }

    temp_folder folder_{"qvtf-tls-net"};
    child_process server_;
    uint16_t port_ = 0;
    tls_context context_;
    bool verified_ = false;
};

TEST_F(TlsChannel, RoundTripThroughTheSocket)
{
    qxsocket s;
    ASSERT_EQ(open(s, port_, 10), 0);
    EXPECT_TRUE(verified_) << "the CA file vouches for the certificate, the address matches";
    std::string sent(200000, '\0');
    for (std::size_t i = 0; i < sent.size(); ++i)
        sent[i] = static_cast<char>(i * 31 + 7);
    ASSERT_EQ(s.send_all(sent), static_cast<int32_t>(sent.size()));
    std::string back;
    qxval chunk;
    for (int reads = 0; back.size() < sent.size() && reads < 1000; ++reads) {
        if (s.receive(chunk) <= 0)
            break;
        back += chunk.view();
    }
    EXPECT_TRUE(back == sent);
    // Our close_notify, then the peer's answer: a clean close both ways.
    s.close_gracefully(false);
    EXPECT_EQ(s.handle.load(), -1);
}

TEST_F(TlsChannel, WaitsEndAtTheTimeOutOrAnInterrupt)
{
    // A peer that takes the connection and never speaks TLS.
    uint16_t silent_port = 0;
    const int silent = listen_loopback(&silent_port);
    ASSERT_GE(silent, 0);
    const struct {
        const char* name;
        bool handshake_stalls;  // else the read after a handshake stalls
        bool interrupt;
        int32_t timeout;
    } cases[] = {
        {"handshake, time-out", true, false, 1},
        {"handshake, interrupt", true, true, 60},
        {"read, time-out", false, false, 1},
        {"read, interrupt", false, true, 60},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        qxsocket s;
        if (c.handshake_stalls) {
            const int32_t status = open(s, silent_port, c.timeout, c.interrupt);
            EXPECT_EQ(status, c.interrupt ? transport_status::tls_failed : transport_status::timed_out);
            continue;
        }
        ASSERT_EQ(open(s, port_, c.timeout), 0);
        ASSERT_EQ(s.send_all(std::string_view("quiet")), 5);
        std::thread cutter;
        if (c.interrupt)
            cutter = std::thread([&s] {
                std::this_thread::sleep_for(std::chrono::milliseconds(200));
                s.interrupt();
            });
        qxval chunk;
        s.last_error = 0;
        const int32_t n = s.receive(chunk);
        if (cutter.joinable())
            cutter.join();
        EXPECT_LE(n, 0);
        if (!c.interrupt) {
            EXPECT_EQ(s.last_error, transport_status::timed_out);
        }
    }
    ::close(silent);
}

}  // namespace
}  // namespace qvtf::test
