// Where a passive data connection goes: to the address the control
// connection is connected to (the server, the firewall, or through SOCKS the
// site), whatever the 227 reply names, unless the session trusts the reply.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include "ftp/ftp_data_connection.h"
#include "ftp/ftp_proxy.h"
#include "ftp_test_session.h"
#include "support/process.h"
#include "support/socks_servers.h"
#include "test_data_support.h"

namespace qvtf::test {
namespace {

// Listens on one loopback address and port; the first connection gets the
// payload, then the listener closes it.
class address_listener {
public:
    address_listener(const char* address, uint16_t port, std::string payload) : payload_(std::move(payload))
    {
        fd_ = ::socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_port = htons(port);
        ::inet_pton(AF_INET, address, &a.sin_addr);
        socklen_t length = sizeof a;
        if (fd_ < 0 || ::bind(fd_, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0 || ::listen(fd_, 4) != 0 ||
            ::getsockname(fd_, reinterpret_cast<sockaddr*>(&a), &length) != 0) {
            close_listener();
            return;
        }
        port_ = ntohs(a.sin_port);
        thread_ = std::thread([this] {
            pollfd p{fd_, POLLIN, 0};
            for (int i = 0; i < 100 && !stop_; ++i) {
                if (::poll(&p, 1, 100) <= 0)
                    continue;
                const int client = ::accept(fd_, nullptr, nullptr);
                if (client < 0)
                    return;
                connected_ = true;
                write_all(client, payload_);
                ::close(client);
                return;
            }
        });
    }
    ~address_listener()
    {
        stop_ = true;
        if (thread_.joinable())
            thread_.join();
        close_listener();
    }
    bool ok() const { return fd_ >= 0; }
    uint16_t port() const { return port_; }
    bool connected() const { return connected_; }

private:
    void close_listener()
    {
        if (fd_ >= 0)
            ::close(fd_);
        fd_ = -1;
    }
    std::string payload_;
    int fd_ = -1;
    uint16_t port_ = 0;
    std::atomic<bool> stop_{false};
    std::atomic<bool> connected_{false};
    std::thread thread_;
};

enum class route { direct, firewall, socks };

struct pasv_case {
    const char* name;
    route via;
    const char* reply_address;  // as the 227 reply writes it
    bool trust;
    bool reaches_other;  // the data came from 127.0.0.2
    const char* logged;  // the line about the replaced address, or ""
};

TEST(PasvAddress, DataConnectionGoesWhereTheControlConnectionGoes)
{
    const std::vector<pasv_case> cases = {
        {"bounce refused", route::direct, "127,0,0,2", false, false, "[520]127.0.0.2 -> 127.0.0.1\r\n"},
        {"bounce trusted", route::direct, "127,0,0,2", true, true, ""},
        {"same address", route::direct, "127,0,0,1", false, false, ""},
        {"private address", route::direct, "10,1,2,3", false, false, "[520]10.1.2.3 -> 127.0.0.1\r\n"},
        {"through a firewall", route::firewall, "127,0,0,2", false, false, "[520]127.0.0.2 -> 127.0.0.1\r\n"},
        {"firewall trusted", route::firewall, "127,0,0,2", true, true, ""},
        {"through SOCKS", route::socks, "127,0,0,2", false, false, "[520]127.0.0.2 -> 127.0.0.1\r\n"},
    };
    for (const pasv_case& c : cases) {
        SCOPED_TRACE(c.name);
        std::unique_ptr<microsocks_server> socks;
        if (c.via == route::socks) {
            if (!microsocks_available())
                continue;
            socks = std::make_unique<microsocks_server>();
            ASSERT_TRUE(socks->ok()) << socks->log();
        }
        // Two listeners on one port number: the server's own address and
        // another host's.
        // The port the system picks on 127.0.0.2 may be taken on 127.0.0.1
        // (another test's connection): then try another pair.
        std::unique_ptr<address_listener> other, own_listener;
        for (int attempt = 0; attempt < 50 && !(own_listener && own_listener->ok()); ++attempt) {
            other = std::make_unique<address_listener>("127.0.0.2", 0, "other host\n");
            ASSERT_TRUE(other->ok());
            own_listener = std::make_unique<address_listener>("127.0.0.1", other->port(), "own server\n");
        }
        ASSERT_TRUE(own_listener && own_listener->ok());
        address_listener& own = *own_listener;
        const uint16_t data_port = own.port();

        scripted_ftp_server server;
        server.send("220 ready\r\n").expect("331 password\r\n").expect("230 in\r\n");
        server.expect("200 binary\r\n")
            .expect("227 Entering Passive Mode (" + std::string(c.reply_address) + "," +
                    std::to_string(data_port / 256) + "," + std::to_string(data_port % 256) + ")\r\n")
            .expect("150 here\r\n226 done\r\n");
        server.start();

        logged_session s;
        ftp_proxy proxy;
        inputs(s).site().host.set_string("127.0.0.1");
        inputs(s).site().port = server.port();
        if (c.via == route::firewall) {
            proxy.type = 1;
            proxy.proxy_host.set_string("127.0.0.1");
            proxy.proxy_port = server.port();
            proxy.ftp_command.set_string("USER %username%@%host%");
            inputs(s).site().host.set_string("ftp.example.org");
            inputs(s).site().proxy = proxy;
        } else if (c.via == route::socks) {
            proxy.type = 5;
            proxy.proxy_host.set_string("127.0.0.1");
            proxy.proxy_port = socks->port();
            proxy.proxy_username.set_string(socks->user().c_str());
            proxy.proxy_password.set_string(socks->password().c_str());
            inputs(s).site().proxy = proxy;
        }
        inputs(s).site().user_name.set_string("u");
        inputs(s).site().password.set_string("p");
        inputs(s).options().timeout = 5;
        inputs(s).options().passive = true;
        inputs(s).options().trust_pasv_address = c.trust ? 1 : 0;
        ASSERT_EQ(s.log_in(), 0);

        temp_folder local("qvtf-pasv");
        EXPECT_EQ(s.transfer_file(transfer_request::make(1, qxval(local.file("down")), qxval("f"), transfer_binary)),
                  0);
        EXPECT_EQ(read_bytes(local.file("down")), c.reaches_other ? "other host\n" : "own server\n");
        EXPECT_EQ(other->connected(), c.reaches_other);
        lines replaced;
        for (const std::string& text : s.texts_of_kind(log_info))
            if (text.rfind("[520]", 0) == 0)
                replaced.push_back(text);
        EXPECT_EQ(replaced, c.logged[0] ? lines{c.logged} : lines{});
    }
}

}  // namespace
}  // namespace qvtf::test
