#include "socks_servers.h"

#include <unistd.h>

#include "test_ports.h"

namespace qvtf::test {

namespace {

constexpr const char* danted_path = "/usr/sbin/danted";
constexpr const char* microsocks_path = "/usr/bin/microsocks";

// dante 1.4: "socksmethod"/"clientmethod" name the authentication; the
// "client" rules admit TCP clients, the "socks" rules the requests. BIND's
// incoming connection is checked by a "bindreply" rule.
std::string dante_config(uint16_t port)
{
    return "logoutput: stderr\n"
           "internal: 127.0.0.1 port = " +
           std::to_string(port) +
           "\n"
           "external: 127.0.0.1\n"
           "socksmethod: none\n"
           "clientmethod: none\n" +
           // Switching users is only possible, and only needed, as root.
           std::string(::geteuid() == 0 ? "user.privileged: root\nuser.unprivileged: nobody\n" : "") +
           "client pass {\n"
           "  from: 127.0.0.0/8 to: 0.0.0.0/0\n"
           "}\n"
           "socks pass {\n"
           "  from: 127.0.0.0/8 to: 127.0.0.0/8\n"
           "  command: connect bind bindreply\n"
           "}\n"
           "socks block {\n"
           "  from: 0.0.0.0/0 to: 0.0.0.0/0\n"
           "}\n";
}

}  // namespace

bool dante_available()
{
    return ::access(danted_path, X_OK) == 0;
}
bool microsocks_available()
{
    return ::access(microsocks_path, X_OK) == 0;
}

dante_server::dante_server()
{
    if (!dante_available() || folder_.path().empty())
        return;
    // A free port can be taken by someone else before the server binds it;
    // try a few.
    for (int attempt = 0; attempt < 3 && !ok_; ++attempt) {
        port_ = free_port();
        if (!folder_.write("danted.conf", dante_config(port_)))
            return;
        if (!process_.start({danted_path, "-f", folder_.file("danted.conf"), "-p", folder_.file("danted.pid")},
                            folder_.file("danted.log")))
            return;
        ok_ = wait_until_accepting(port_, std::chrono::milliseconds(10000)) && process_.running();
        if (!ok_)
            process_.stop();
    }
}

dante_server::~dante_server()
{
    process_.stop();
}

std::string dante_server::log() const
{
    return read_text_file(folder_.file("danted.log"));
}

microsocks_server::microsocks_server(std::string user, std::string password)
    : user_(std::move(user)), password_(std::move(password))
{
    if (!microsocks_available() || folder_.path().empty())
        return;
    for (int attempt = 0; attempt < 3 && !ok_; ++attempt) {
        port_ = free_port();
        if (!process_.start(
                {microsocks_path, "-i", "127.0.0.1", "-p", std::to_string(port_), "-u", user_, "-P", password_},
                folder_.file("microsocks.log")))
            return;
        ok_ = wait_until_accepting(port_, std::chrono::milliseconds(10000)) && process_.running();
        if (!ok_)
            process_.stop();
    }
}

microsocks_server::~microsocks_server()
{
    process_.stop();
}

std::string microsocks_server::log() const
{
    return read_text_file(folder_.file("microsocks.log"));
}

}  // namespace qvtf::test
