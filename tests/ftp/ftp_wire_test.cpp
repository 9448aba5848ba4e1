// The control connection on a real socket against the scripted server:
// greeting, the exact bytes of commands, the log, and failures of the
// transport.
#include <gtest/gtest.h>

#include <cerrno>

#include "ftp_test_session.h"
#include "support/test_ports.h"

namespace qvtf::test {
namespace {

TEST(FtpConnect, GreetingOfClassTwoConnects)
{
    scripted_ftp_server server;
    server.send("220-Welcome\r\n220 ready\r\n");
    server.start();
    logged_session s;
    ASSERT_EQ(connect_to(s, server), 0);
    EXPECT_EQ(s.connected(), 1);
    EXPECT_EQ(s.logged_in(), 0);
    EXPECT_EQ(s.control_socket().timeout_seconds, 5) << "the session's time-out applies once connected";
    EXPECT_EQ(s.entries(), (std::vector<log_entry>{{log_state, "disconnected -> connecting\r\n"},
                                                   {log_info, "[7]127.0.0.1:" + std::to_string(server.port()) + "\r\n"},
                                                   {log_state, "connecting -> connected\r\n"},
                                                   {log_reply, "220-Welcome\r\n220 ready\r\n"}}));
}

TEST(FtpConnect, GreetingOf120IsNoSession)
{
    scripted_ftp_server server;
    server.send("120 try again in 5 minutes\r\n");
    server.start();
    logged_session s;
    EXPECT_EQ(connect_to(s, server), status_not_connected);
    EXPECT_EQ(s.connected(), 1) << "left connected: the server may still send 220";
    EXPECT_EQ(s.reply_code(), 120);
}

TEST(FtpConnect, RefusedConnectionFailsAtOnceAndIsLogged)
{
    logged_session s;
    inputs(s).site().port = free_port();
    inputs(s).options().timeout = 5;
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(s.connect_and_greet(), 100000 + ECONNREFUSED);
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(3));
    EXPECT_EQ(s.connected(), 0);
    // The address with its port: the one the user typed may be wrong.
    EXPECT_EQ(s.texts_of_kind(log_error), (lines{"[10]127.0.0.1:" + std::to_string(inputs(s).site().port) + "\r\n"}));
}

TEST(FtpConnect, StopRequestPreventsTheConnect)
{
    scripted_ftp_server server;
    server.send("220 ready\r\n");
    server.start();
    logged_session s;
    s.stop(stop_reason_kill);
    EXPECT_EQ(connect_to(s, server), status_stopped);
    EXPECT_EQ(server.connections(), 0);
}

TEST(FtpConnect, ReconnectStartsAFreshSession)
{
    scripted_ftp_server server;
    server.send("220 one\r\n").expect("230 in\r\n").expect("500 unknown\r\n").reconnect().send("220 two\r\n");
    server.start();
    logged_session s;
    ASSERT_EQ(connect_to(s, server), 0);
    inputs(s).site().user_name.set_string("u");
    ASSERT_EQ(s.send_user(), 0);
    ASSERT_EQ(s.change_mode(qxval("f"), qxval("644")), status_refused);
    ASSERT_EQ(s.chmod_supported(), 0);
    ASSERT_EQ(s.connect_and_greet(), 0);
    EXPECT_EQ(s.logged_in(), 0);
    EXPECT_EQ(s.chmod_supported(), 1);
    EXPECT_EQ(reply_of(s), (lines{"220 two"}));
    EXPECT_EQ(server.connections(), 2);
}

TEST(FtpSend, LineIsSentAsGivenWithCrLf)
{
    scripted_ftp_server server;
    server.send("220 ready\r\n").expect("200 ok\r\n").expect("200 ok\r\n");
    server.start();
    logged_session s;
    ASSERT_EQ(connect_to(s, server), 0);
    ASSERT_EQ(s.send_command("site  Odd case  "), 0);
    ASSERT_EQ(s.send_command(""), 0);
    ASSERT_TRUE(server.completed());
    EXPECT_EQ(server.lines(), (lines{"site  Odd case  ", ""}));
    EXPECT_EQ(s.reply_code(), 200);
}

TEST(FtpSend, PasswordsAreMaskedInTheLogOnly)
{
    struct masked {
        const char* sent;
        const char* logged;
    };
    const std::vector<masked> cases = {
        {"PASS se cret", "PASS *******\r\n"},
        {"pass secret", "pass ******\r\n"},
        {"PASSWORD x", "PASSWORD *\r\n"},
        {"PAS x", "PAS x\r\n"},
        {"PASS\tsecret", "PASS\t******\r\n"},
        {"   PASS secret", "   PASS ******\r\n"},
        {"\tpass\t\tsecret", "\tpass\t*******\r\n"},
        {"PASSsecret", "PASS******\r\n"},
        {"ACCT money", "ACCT *****\r\n"},
        {"  acct\tmoney", "  acct\t*****\r\n"},
        {"SITE PASS x", "SITE PASS x\r\n"},
    };
    scripted_ftp_server server;
    server.send("220 ready\r\n");
    for (std::size_t i = 0; i < cases.size(); ++i)
        server.expect("230 ok\r\n");
    server.start();
    logged_session s;
    ASSERT_EQ(connect_to(s, server), 0);
    lines sent, logged;
    for (const masked& c : cases) {
        ASSERT_EQ(s.send_command(c.sent), 0) << c.sent;
        sent.push_back(c.sent);
        logged.push_back(c.logged);
    }
    ASSERT_TRUE(server.completed());
    EXPECT_EQ(server.lines(), sent) << "the wire keeps every line as given";
    EXPECT_EQ(s.texts_of_kind(log_command), logged);
}

TEST(FtpSend, LineBreakInsideACommandIsRefused)
{
    scripted_ftp_server server;
    server.send("220 ready\r\n").expect("250 deleted\r\n");
    server.start();
    logged_session s;
    ASSERT_EQ(connect_to(s, server), 0);
    s.set_state(remote_state::logged_in);
    EXPECT_EQ(s.send_command("DELE a\r\nDELE b"), status_line_break);
    EXPECT_EQ(s.delete_file(qxval("evil\nRMD /")), status_line_break);
    EXPECT_EQ(s.send_command("PASS x\ry"), status_line_break);
    EXPECT_EQ(s.delete_file(qxval(std::string("important.txt\0.bak", 18))), status_line_break);
    EXPECT_EQ(s.rename(qxval("a"), qxval("b\r\nDELE c")), status_line_break) << "RNFR is not sent either";
    EXPECT_EQ(s.rename(qxval(std::string("a\0b", 3)), qxval("b")), status_line_break);
    EXPECT_EQ(s.connected(), 1);
    EXPECT_EQ(s.logged_in(), 1);
    // Nothing of the refused lines reached the server; the next command does.
    EXPECT_EQ(s.delete_file(qxval("fine")), 0);
    ASSERT_TRUE(server.completed());
    EXPECT_EQ(server.lines(), (lines{"DELE fine"}));
    EXPECT_EQ(s.texts_of_kind(log_error), lines(6, "[501]\r\n"));
    for (const auto& text : s.texts_of_kind(log_command))
        EXPECT_EQ(text.find('y'), std::string::npos) << "a refused password is not logged";
}

TEST(FtpSend, ServerClosingEndsTheSession)
{
    scripted_ftp_server server;
    server.send("220 ready\r\n").expect("").close();
    server.start();
    logged_session s;
    ASSERT_EQ(connect_to(s, server), 0);
    s.set_state(remote_state::logged_in);
    EXPECT_EQ(s.send_command("NOOP"), status_stream_ended);
    EXPECT_EQ(s.connected(), 0);
    EXPECT_EQ(s.logged_in(), 0);
    EXPECT_EQ(s.reported, (std::vector<int>{status_stream_ended}));
    EXPECT_EQ(s.send_command("NOOP"), status_not_connected);
}

TEST(FtpSend, SilentServerTimesOut)
{
    scripted_ftp_server server;
    server.send("220 ready\r\n").expect("").pause(std::chrono::milliseconds(3000));
    server.start();
    logged_session s;
    inputs(s).site().port = server.port();
    inputs(s).options().timeout = 1;
    ASSERT_EQ(s.connect_and_greet(), 0);
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(s.send_command("NOOP"), transport_status::timed_out) << "a time-out, not a closed connection";
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(2900));
    EXPECT_EQ(s.connected(), 0);
    EXPECT_EQ(s.reported, (std::vector<int>{transport_status::timed_out}));
}

TEST(FtpSend, ClosingReplyInTheMiddleOfASession)
{
    scripted_ftp_server server;
    server.send("220 ready\r\n").expect("257 \"/\" ok\r\n").expect("421 Timeout, closing\r\n").close();
    server.start();
    logged_session s;
    ASSERT_EQ(connect_to(s, server), 0);
    s.set_state(remote_state::logged_in);
    ASSERT_EQ(s.print_folder(), 0);
    EXPECT_EQ(s.make_folder(qxval("x")), status_not_connected);
    EXPECT_EQ(s.logged_in(), 0);
    EXPECT_EQ(s.connected(), 1);
    EXPECT_EQ(s.reported, (std::vector<int>{status_not_connected}));
    // Commands that need a login are refused without traffic.
    EXPECT_EQ(s.make_folder(qxval("y")), status_not_connected);
    EXPECT_EQ(server.lines(), (lines{"PWD", "MKD x"}));
}

TEST(FtpSend, QuitAndDisconnect)
{
    scripted_ftp_server server;
    server.send("220 ready\r\n").expect("221 bye\r\n");
    server.start();
    logged_session s;
    ASSERT_EQ(connect_to(s, server), 0);
    s.set_state(remote_state::logged_in);
    s.disconnect();
    EXPECT_EQ(s.connected(), 0);
    EXPECT_EQ(s.logged_in(), 0);
    EXPECT_EQ(s.control_socket().handle.load(), -1);
    ASSERT_TRUE(server.completed());
    EXPECT_EQ(server.lines(), (lines{"QUIT"}));
    // Disconnecting a closed session sends nothing.
    s.disconnect();
    EXPECT_EQ(server.lines(), (lines{"QUIT"}));

    // Nor does one that said goodbye already (the pane quits, then closes).
    scripted_ftp_server second;
    second.send("220 ready\r\n").expect("221 bye\r\n");
    second.start();
    logged_session t;
    ASSERT_EQ(connect_to(t, second), 0);
    t.set_state(remote_state::logged_in);
    EXPECT_EQ(t.quit().status, 0);
    t.disconnect();
    EXPECT_FALSE(t.connected());
    ASSERT_TRUE(second.completed());
    EXPECT_EQ(second.lines(), (lines{"QUIT"}));
}

TEST(FtpSend, QuitClearsTheLoginWhateverTheAnswer)
{
    scripted_ftp_server server;
    server.send("220 ready\r\n").expect("500 what\r\n");
    server.start();
    logged_session s;
    ASSERT_EQ(connect_to(s, server), 0);
    s.set_state(remote_state::logged_in);
    EXPECT_EQ(s.quit(), 0);
    EXPECT_EQ(s.logged_in(), 0);
}

TEST(FtpCommandKind, VerbsByTheirFirstLetters)
{
    const std::vector<std::pair<std::string, int>> cases = {
        {"USER bob", cmd_user}, {"users", cmd_user},      {"pass x", cmd_pass}, {"PaSs", cmd_pass},
        {"ACCT a", cmd_acct},   {"CWD /", cmd_cwd},       {"cwdx", cmd_cwd},    {"CDUP", cmd_cdup},
        {"SMNT x", cmd_smnt},   {"QUIT", cmd_quit},       {"REIN", cmd_rein},   {"PORT 1,2", cmd_port},
        {"PASV", cmd_pasv},     {"TYPE A", cmd_type},     {"STRU F", cmd_stru}, {"MODE S", cmd_mode},
        {"RETR f", cmd_retr},   {"STOR f", cmd_stor},     {"STOU", cmd_stou},   {"APPE f", cmd_appe},
        {"ALLO 5", cmd_allo},   {"REST 0", cmd_rest},     {"RNFR a", cmd_rnfr}, {"RNTO b", cmd_rnto},
        {"ABOR", cmd_abor},     {"DELE f", cmd_dele},     {"RMD d", cmd_rmd},   {"MKD d", cmd_mkd},
        {"PWD", cmd_pwd},       {"LIST -al", cmd_list},   {"NLST", cmd_nlst},   {"SITE CHMOD", cmd_site},
        {"SYST", cmd_syst},     {"STAT", cmd_stat},       {"HELP", cmd_help},   {"NOOP", cmd_noop},
        {"FEAT", cmd_other},    {"", cmd_other},          {"US", cmd_other},    {" USER", cmd_other},
        {"CW", cmd_other},      {"OPEN host", cmd_other},
    };
    for (const auto& [line, kind] : cases)
        EXPECT_EQ(ftp_control::command_kind(line), kind) << line;
}

}  // namespace
}  // namespace qvtf::test
