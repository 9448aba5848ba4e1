// The connection's state through connect, login, quit, a server that closes
// (421) and a lost connection: every change seen once by the observer and
// logged once, in order.
#include <gtest/gtest.h>

#include <functional>

#include "ftp/ftp_proxy.h"
#include "ftp_test_session.h"

namespace qvtf::test {
namespace {

struct scenario {
    const char* name;
    std::string greeting;
    std::vector<std::string> replies;  // one per line the client sends
    std::function<void(logged_session&)> run;
    lines changes;
    remote_state final_state;
};

void check(const scenario& c)
{
    SCOPED_TRACE(c.name);
    scripted_ftp_server server;
    server.send(c.greeting);
    for (const auto& reply : c.replies)
        server.expect(reply);
    server.close();
    server.start();
    logged_session s;
    inputs(s).site().port = server.port();
    inputs(s).options().timeout = 5;
    inputs(s).site().user_name.set_string("bob");
    inputs(s).site().password.set_string("pw");
    c.run(s);
    EXPECT_EQ(s.states(), c.changes);
    EXPECT_EQ(s.state(), c.final_state);
    lines logged;
    for (const std::string& text : s.texts_of_kind(log_state))
        logged.push_back(text.substr(0, text.size() - 2));
    EXPECT_EQ(logged, c.changes) << "each change is logged once";
    // The two flags callers read follow the state.
    const remote_state f = c.final_state;
    EXPECT_EQ(s.logged_in(), f == remote_state::logged_in);
    EXPECT_EQ(s.connected(),
              f == remote_state::connected || f == remote_state::logged_in || f == remote_state::closing);
}

TEST(FtpState, ChangesOnceEachThroughTheSessionsLife)
{
    const std::string hello = "220 ready\r\n";
    const lines up = {"disconnected -> connecting", "connecting -> connected", "connected -> logged in"};
    auto plus = [](lines a, const lines& b) {
        a.insert(a.end(), b.begin(), b.end());
        return a;
    };
    auto log_in = [](logged_session& s) { EXPECT_EQ(s.log_in(), 0); };
    const std::vector<scenario> table = {
        {"login and disconnect",
         hello,
         {"331 pw\r\n", "230 in\r\n", "221 bye\r\n"},
         [&](logged_session& s) {
             log_in(s);
             s.disconnect();
         },
         plus(up, {"logged in -> closing", "closing -> disconnected"}),
         remote_state::disconnected},
        {"quit alone leaves the socket to the server",
         hello,
         {"230 in\r\n", "221 bye\r\n"},
         [&](logged_session& s) {
             log_in(s);
             EXPECT_EQ(s.quit(), 0);
         },
         plus(up, {"logged in -> closing"}),
         remote_state::closing},
        {"login refused stays connected",
         hello,
         {"331 pw\r\n", "530 no\r\n"},
         [](logged_session& s) { EXPECT_EQ(s.log_in(), status_login_refused); },
         {"disconnected -> connecting", "connecting -> connected"},
         remote_state::connected},
        {"421 to a command, then the closed socket",
         hello,
         {"230 in\r\n", "421 going down\r\n"},
         [&](logged_session& s) {
             log_in(s);
             EXPECT_EQ(s.print_folder(), status_not_connected);
             EXPECT_EQ(s.reported, (std::vector<int>{status_not_connected}));
             // The server has closed: the next command finds the end of the stream.
             EXPECT_NE(s.send_command("NOOP"), 0);
         },
         plus(up, {"logged in -> closing", "closing -> disconnected"}),
         remote_state::disconnected},
        {"421 as the greeting",
         "421 too many users\r\n",
         {},
         [](logged_session& s) { EXPECT_EQ(s.connect_and_greet(), status_not_connected); },
         {"disconnected -> connecting", "connecting -> connected", "connected -> closing"},
         remote_state::closing},
        {"a greeting that never ends the line",
         "22",
         {},
         [](logged_session& s) { EXPECT_EQ(s.connect_and_greet(), status_stream_ended); },
         {"disconnected -> connecting", "connecting -> connected", "connected -> disconnected"},
         remote_state::disconnected},
        {"REIN logs out but stays connected",
         hello,
         {"230 in\r\n", "220 again\r\n"},
         [&](logged_session& s) {
             log_in(s);
             EXPECT_EQ(s.reinitialize(), 0);
         },
         plus(up, {"logged in -> connected"}),
         remote_state::connected},
        {"a firewall script's 230 logs in",
         hello,
         {"230 through\r\n"},
         [](logged_session& s) {
             ftp_proxy wall;
             wall.type = 0;
             wall.proxy_host.set_string("127.0.0.1");
             wall.proxy_port = inputs(s).site().port;
             wall.ftp_command.set_string("USER %username%@%host%");
             inputs(s).site().proxy = wall;
             // The script closes right after the login: nothing asks more.
             inputs(s).options().ask_features = false;
             EXPECT_EQ(s.log_in(), 0);
             inputs(s).site().proxy.reset();
         },
         up,
         remote_state::logged_in},
        {"logging in again goes through closing",
         hello,
         {"230 in\r\n", "221 bye\r\n"},
         [&](logged_session& s) {
             log_in(s);
             // The script's server is gone after its steps: the new connect fails.
             inputs(s).site().port = 1;
             EXPECT_NE(s.log_in(), 0);
         },
         plus(up, {"logged in -> closing", "closing -> disconnected", "disconnected -> connecting",
                   "connecting -> disconnected"}),
         remote_state::disconnected},
    };
    for (const scenario& c : table)
        check(c);
}

}  // namespace
}  // namespace qvtf::test
