// Every command of the session against the scripted server: the exact line
// on the wire and the status each reply gives.
#include <gtest/gtest.h>

#include <functional>

#include "ftp_test_session.h"

namespace qvtf::test {
namespace {

using command = std::function<int(ftp_control&)>;

struct row {
    const char* name;
    command run;
    std::vector<std::string> replies;  // one per command line the operation sends
    lines sent;
    int status;
};

// Runs one operation on a fresh, logged-in session.
void check(const row& r)
{
    SCOPED_TRACE(r.name);
    scripted_ftp_server server;
    server.send("220 ready\r\n");
    for (const auto& reply : r.replies)
        server.expect(reply);
    server.start();
    logged_session s;
    ASSERT_EQ(connect_to(s, server), 0);
    s.set_state(remote_state::logged_in);
    s.set_user("bob", "s3cret");
    const size_t before = s.states().size();
    EXPECT_EQ(r.run(s), r.status);
    EXPECT_EQ(server.lines(), r.sent);
    if (!r.replies.empty() && r.replies.back().rfind("421", 0) == 0) {
        EXPECT_EQ(s.logged_in(), 0);
        EXPECT_EQ(s.reported, (std::vector<int>{status_not_connected})) << "421 is handled once";
        // REIN logs out on its own before the server's answer.
        const auto states = s.states();
        const lines changes(states.begin() + before, states.end());
        const lines expected = r.sent.front() == "REIN" ? lines{"logged in -> connected", "connected -> closing"}
                                                        : lines{"logged in -> closing"};
        EXPECT_EQ(changes, expected) << "the 421 is one state change";
    }
}

qxval v(const char* text)
{
    return qxval(text);
}

void with_list_parameters(ftp_control& s)
{
    reconfigure(s, [](remote_site&, remote_options& o) { o.list_parameters.set_string("-al"); });
}

TEST(FtpCommands, Login)
{
    const command user = [](ftp_control& s) { return s.send_user(); };
    const command pass = [](ftp_control& s) { return s.send_pass(); };
    const std::vector<row> rows = {
        {"USER 230", user, {"230 in\r\n"}, {"USER bob"}, 0},
        {"USER 331 then PASS 230", user, {"331 pw\r\n", "230 in\r\n"}, {"USER bob", "PASS s3cret"}, 0},
        {"USER 331 then PASS 530",
         user,
         {"331 pw\r\n", "530 no\r\n"},
         {"USER bob", "PASS s3cret"},
         status_login_refused},
        {"USER 500", user, {"500 ?\r\n"}, {"USER bob"}, status_login_rejected},
        {"USER 501", user, {"501 ?\r\n"}, {"USER bob"}, status_login_rejected},
        {"USER 530", user, {"530 no\r\n"}, {"USER bob"}, status_login_refused},
        {"USER 421", user, {"421 bye\r\n"}, {"USER bob"}, status_not_connected},
        {"USER other", user, {"220 eh\r\n"}, {"USER bob"}, status_unexpected_reply},
        {"PASS 202", pass, {"202 no need\r\n"}, {"PASS s3cret"}, 0},
        {"PASS 230", pass, {"230 in\r\n"}, {"PASS s3cret"}, 0},
        {"PASS 332", pass, {"332 account\r\n"}, {"PASS s3cret"}, status_login_rejected},
        {"PASS 500", pass, {"500 ?\r\n"}, {"PASS s3cret"}, status_login_rejected},
        {"PASS 501", pass, {"501 ?\r\n"}, {"PASS s3cret"}, status_login_rejected},
        {"PASS 503", pass, {"503 order\r\n"}, {"PASS s3cret"}, status_login_rejected},
        {"PASS 530", pass, {"530 no\r\n"}, {"PASS s3cret"}, status_login_refused},
        {"PASS other", pass, {"331 eh\r\n"}, {"PASS s3cret"}, status_unexpected_reply},
    };
    for (const auto& r : rows)
        check(r);
}

TEST(FtpCommands, LoginSetsLoggedInOnlyOnSuccess)
{
    scripted_ftp_server server;
    server.send("220 ready\r\n").expect("331 pw\r\n").expect("530 no\r\n").expect("331 pw\r\n").expect("230 ok\r\n");
    server.start();
    logged_session s;
    ASSERT_EQ(connect_to(s, server), 0);
    s.set_user("bob");
    EXPECT_EQ(s.send_user(), status_login_refused);
    EXPECT_EQ(s.logged_in(), 0);
    EXPECT_EQ(s.send_user(), 0);
    EXPECT_EQ(s.logged_in(), 1);
    EXPECT_EQ(server.lines(), (lines{"USER bob", "PASS ", "USER bob", "PASS "}));
}

TEST(FtpCommands, Folders)
{
    const command cwd = [](ftp_control& s) { return s.change_folder(v("/pub/a b")); };
    const command cdup = [](ftp_control& s) { return s.change_folder(v("")); };
    const command pwd = [](ftp_control& s) { return s.print_folder(); };
    const std::vector<row> rows = {
        {"CWD 250", cwd, {"250 ok\r\n", "257 \"/pub/a b\"\r\n"}, {"CWD /pub/a b", "PWD"}, 0},
        {"CWD 200", cwd, {"200 ok\r\n", "257 \"/pub/a b\"\r\n"}, {"CWD /pub/a b", "PWD"}, 0},
        {"CWD 550", cwd, {"550 no such\r\n"}, {"CWD /pub/a b"}, status_refused},
        {"CWD 421", cwd, {"421 bye\r\n"}, {"CWD /pub/a b"}, status_not_connected},
        {"CWD other", cwd, {"500 ?\r\n"}, {"CWD /pub/a b"}, status_unexpected_reply},
        {"CWD then bad PWD", cwd, {"250 ok\r\n", "550 ?\r\n"}, {"CWD /pub/a b", "PWD"}, status_unexpected_reply},
        {"CDUP", cdup, {"250 ok\r\n", "257 \"/\"\r\n"}, {"CDUP", "PWD"}, 0},
        {"PWD 257", pwd, {"257 \"/x\" is cwd\r\n"}, {"PWD"}, 0},
        {"PWD without path", pwd, {"257\r\n"}, {"PWD"}, status_unexpected_reply},
        {"PWD 421", pwd, {"421 bye\r\n"}, {"PWD"}, status_not_connected},
        {"PWD other", pwd, {"550 ?\r\n"}, {"PWD"}, status_unexpected_reply},
    };
    for (const auto& r : rows)
        check(r);
}

TEST(FtpCommands, ReinitializeAndQuit)
{
    const command rein = [](ftp_control& s) { return s.reinitialize(); };
    const std::vector<row> rows = {
        {"REIN 220", rein, {"220 again\r\n"}, {"REIN"}, 0},
        {"REIN 502", rein, {"502 no\r\n"}, {"REIN"}, 0},
        {"REIN 120", rein, {"120 later\r\n"}, {"REIN"}, status_not_connected},
        {"REIN 421", rein, {"421 bye\r\n"}, {"REIN"}, status_not_connected},
        {"REIN other", rein, {"500 ?\r\n"}, {"REIN"}, status_unexpected_reply},
        {"QUIT", [](ftp_control& s) { return s.quit(); }, {"221 bye\r\n"}, {"QUIT"}, 0},
    };
    for (const auto& r : rows)
        check(r);
}

TEST(FtpCommands, DataConnectionCommands)
{
    const command port = [](ftp_control& s) { return s.send_port(v("127.0.0.1"), 1025); };
    const command pasv = [](ftp_control& s) { return s.send_pasv(); };
    // EPSV's data connection goes to the control connection's peer.
    const command epsv = [](ftp_control& s) {
        const int status = s.send_epsv();
        return status || (s.data_host().str() == "127.0.0.1" && s.data_port() == 6446) ? status : -1;
    };
    auto eprt = [](const char* address) -> command {
        return [address](ftp_control& s) { return s.send_eprt(v(address), 1025); };
    };
    const std::vector<row> rows = {
        {"PORT 200", port, {"200 ok\r\n"}, {"PORT 127,0,0,1,4,1"}, 0},
        {"PORT 421", port, {"421 bye\r\n"}, {"PORT 127,0,0,1,4,1"}, status_not_connected},
        {"PORT other", port, {"500 ?\r\n"}, {"PORT 127,0,0,1,4,1"}, status_unexpected_reply},
        {"PORT high",
         [](ftp_control& s) { return s.send_port(v("10.1.2.3"), 65535); },
         {"200 ok\r\n"},
         {"PORT 10,1,2,3,255,255"},
         0},
        {"PASV 227", pasv, {"227 Entering Passive Mode (10,0,0,1,4,1)\r\n"}, {"PASV"}, 0},
        {"PASV 227 out of range", pasv, {"227 =10,0,0,1,256,1\r\n"}, {"PASV"}, status_bad_pasv_reply},
        {"PASV 227 garbage", pasv, {"227 no numbers\r\n"}, {"PASV"}, status_bad_pasv_reply},
        {"PASV 421", pasv, {"421 bye\r\n"}, {"PASV"}, status_not_connected},
        {"PASV 500 no fallback", pasv, {"500 ?\r\n"}, {"PASV"}, status_pasv_refused},
        {"PASV 502 no fallback", pasv, {"502 ?\r\n"}, {"PASV"}, status_pasv_refused},
        {"PASV other", pasv, {"425 ?\r\n"}, {"PASV"}, status_unexpected_reply},
        {"EPSV 229", epsv, {"229 Entering Extended Passive Mode (|||6446|)\r\n"}, {"EPSV"}, 0},
        {"EPSV 229 no port", epsv, {"229 Entering Extended Passive Mode (|||)\r\n"}, {"EPSV"}, status_bad_pasv_reply},
        {"EPSV 500", epsv, {"500 ?\r\n"}, {"EPSV"}, status_pasv_refused},
        {"EPSV 522", epsv, {"522 use (1)\r\n"}, {"EPSV"}, status_pasv_refused},
        {"EPSV other", epsv, {"425 ?\r\n"}, {"EPSV"}, status_unexpected_reply},
        {"EPRT IPv4", eprt("10.1.2.3"), {"200 ok\r\n"}, {"EPRT |1|10.1.2.3|1025|"}, 0},
        {"EPRT IPv6", eprt("2001:db8::7"), {"200 ok\r\n"}, {"EPRT |2|2001:db8::7|1025|"}, 0},
        {"EPRT 502", eprt("::1"), {"502 ?\r\n"}, {"EPRT |2|::1|1025|"}, status_pasv_refused},
        {"EPRT other", eprt("::1"), {"425 ?\r\n"}, {"EPRT |2|::1|1025|"}, status_unexpected_reply},
        {"TYPE A", [](ftp_control& s) { return s.set_type(1); }, {"200 ok\r\n"}, {"TYPE A"}, 0},
        {"TYPE I", [](ftp_control& s) { return s.set_type(0); }, {"200 ok\r\n"}, {"TYPE I"}, 0},
        {"TYPE I for 3", [](ftp_control& s) { return s.set_type(3); }, {"200 ok\r\n"}, {"TYPE I"}, 0},
        {"TYPE 421", [](ftp_control& s) { return s.set_type(1); }, {"421 bye\r\n"}, {"TYPE A"}, status_not_connected},
        {"TYPE other",
         [](ftp_control& s) { return s.set_type(1); },
         {"504 ?\r\n"},
         {"TYPE A"},
         status_unexpected_reply},
        // The transfer commands leave the reply to the caller.
        {"RETR", [](ftp_control& s) { return s.retrieve(v("/a b.txt")); }, {"550 no\r\n"}, {"RETR /a b.txt"}, 0},
        {"STOR", [](ftp_control& s) { return s.store(v("up.bin")); }, {"150 go\r\n"}, {"STOR up.bin"}, 0},
        {"ALLO", [](ftp_control& s) { return s.allocate(5000000000LL); }, {"202 no need\r\n"}, {"ALLO 5000000000"}, 0},
        {"REST", [](ftp_control& s) { return s.restart_at(16384); }, {"350 ok\r\n"}, {"REST 16384"}, 0},
    };
    for (const auto& r : rows)
        check(r);
}

// The 229 reply's port: any printable delimiter but a digit, three of it
// before the port and one after; nothing else is taken for a port.
TEST(FtpCommands, ExtendedPassiveReply)
{
    const std::pair<const char*, int32_t> rows[] = {
        {"229 Entering Extended Passive Mode (|||6446|)", 6446},
        {"229 (!!!1!)", 1},
        {"229 ok |||65535|", 65535},
        {"229 (###21#) and (|||99|)", 21},
        {"229 Wait... (|||6446|)", 6446},
        {"229 (|||65536|)", -1},
        {"229 (|||0|)", -1},
        {"229 (|||6446)", -1},
        {"229 (|||64a6|)", -1},
        {"229 (|||0000021|)", -1},
        {"229 (||6446|)", -1},
        {"229 (111222|)", -1},
        {"229 (|2|::1|6446|)", -1},
        {"", -1},
    };
    for (const auto& [line, expected] : rows) {
        int32_t port = -1;
        const int status = ftp_control::parse_epsv_reply(line, port);
        EXPECT_EQ(status, expected < 0 ? status_bad_pasv_reply : status_ok) << line;
        if (expected > 0) {
            EXPECT_EQ(port, expected) << line;
        }
    }
}

TEST(FtpCommands, PasvRefusedFallsBackToPortWhenAllowed)
{
    scripted_ftp_server server;
    server.send("220 ready\r\n").expect("502 no passive\r\n").expect("227 (127,0,0,1,200,10)\r\n");
    server.start();
    logged_session s;
    ASSERT_EQ(connect_to(s, server), 0);
    s.set_state(remote_state::logged_in);
    s.reconfigure([](remote_site&, remote_options& o) {
        o.passive = true;
        o.allow_passive_drop_to_port = true;
    });
    EXPECT_EQ(s.send_pasv(), 0);
    EXPECT_EQ(s.passive(), false);
    EXPECT_EQ(s.send_pasv(), 0);
    EXPECT_EQ(s.data_host().str(), "127.0.0.1");
    EXPECT_EQ(s.data_port(), 200 * 256 + 10);
}

TEST(FtpCommands, ListLine)
{
    const std::vector<row> rows = {
        {"LIST params path",
         [](ftp_control& s) {
             with_list_parameters(s);
             return s.send_list(v("/d"));
         },
         {"150 here\r\n"},
         {"LIST -al /d"},
         0},
        {"LIST params",
         [](ftp_control& s) {
             with_list_parameters(s);
             return s.send_list(v(""));
         },
         {"150 here\r\n"},
         {"LIST -al"},
         0},
        {"LIST path", [](ftp_control& s) { return s.send_list(v("x")); }, {"150 here\r\n"}, {"LIST x"}, 0},
        {"LIST bare", [](ftp_control& s) { return s.send_list(v("")); }, {"150 here\r\n"}, {"LIST"}, 0},
    };
    for (const auto& r : rows)
        check(r);
}

TEST(FtpCommands, RenameDeleteMakeFolder)
{
    const command ren = [](ftp_control& s) { return s.rename(v("old name"), v("new name")); };
    const command dele = [](ftp_control& s) { return s.delete_file(v("f.txt")); };
    const command rmd = [](ftp_control& s) { return s.remove_folder(v("d")); };
    const command mkd = [](ftp_control& s) { return s.make_folder(v("d")); };
    const std::vector<row> rows = {
        {"RNFR RNTO", ren, {"350 go on\r\n", "250 done\r\n"}, {"RNFR old name", "RNTO new name"}, 0},
        {"RNFR 450", ren, {"450 busy\r\n"}, {"RNFR old name"}, status_refused},
        {"RNFR 550", ren, {"550 no\r\n"}, {"RNFR old name"}, status_refused},
        {"RNFR 421", ren, {"421 bye\r\n"}, {"RNFR old name"}, status_not_connected},
        {"RNFR other", ren, {"250 eh\r\n"}, {"RNFR old name"}, status_unexpected_reply},
        {"RNTO 450", ren, {"350 ok\r\n", "450 busy\r\n"}, {"RNFR old name", "RNTO new name"}, status_refused},
        {"RNTO 550", ren, {"350 ok\r\n", "550 no\r\n"}, {"RNFR old name", "RNTO new name"}, status_refused},
        {"RNTO 421", ren, {"350 ok\r\n", "421 bye\r\n"}, {"RNFR old name", "RNTO new name"}, status_not_connected},
        {"RNTO other",
         ren,
         {"350 ok\r\n", "553 name\r\n"},
         {"RNFR old name", "RNTO new name"},
         status_unexpected_reply},
        {"DELE 250", dele, {"250 gone\r\n"}, {"DELE f.txt"}, 0},
        {"DELE 450", dele, {"450 busy\r\n"}, {"DELE f.txt"}, status_refused},
        {"DELE 550", dele, {"550 no\r\n"}, {"DELE f.txt"}, status_refused},
        {"DELE 421", dele, {"421 bye\r\n"}, {"DELE f.txt"}, status_not_connected},
        {"DELE other", dele, {"200 eh\r\n"}, {"DELE f.txt"}, status_unexpected_reply},
        {"RMD 250", rmd, {"250 gone\r\n"}, {"RMD d"}, 0},
        {"RMD 450", rmd, {"450 busy\r\n"}, {"RMD d"}, status_refused},
        {"RMD 550", rmd, {"550 not empty\r\n"}, {"RMD d"}, status_refused},
        {"RMD 421", rmd, {"421 bye\r\n"}, {"RMD d"}, status_not_connected},
        {"RMD other", rmd, {"257 eh\r\n"}, {"RMD d"}, status_unexpected_reply},
        {"MKD 257", mkd, {"257 \"d\" made\r\n"}, {"MKD d"}, 0},
        {"MKD 521", mkd, {"521 exists\r\n"}, {"MKD d"}, status_refused},
        {"MKD 550", mkd, {"550 no\r\n"}, {"MKD d"}, status_refused},
        {"MKD 421", mkd, {"421 bye\r\n"}, {"MKD d"}, status_not_connected},
        {"MKD other", mkd, {"250 eh\r\n"}, {"MKD d"}, status_unexpected_reply},
    };
    for (const auto& r : rows)
        check(r);
}

TEST(FtpCommands, SiteAndChangeMode)
{
    const command chmod = [](ftp_control& s) { return s.change_mode(v("f.cgi"), v("755")); };
    const command chmod_given = [](ftp_control& s) { return s.change_mode(v("f.cgi"), v("700")); };
    const std::vector<row> rows = {
        {"SITE text", [](ftp_control& s) { return s.site_command(v("HELP")); }, {"214 help\r\n"}, {"SITE HELP"}, 0},
        {"SITE bare", [](ftp_control& s) { return s.site_command(v("")); }, {"500 ?\r\n"}, {"SITE"}, 0},
        {"CHMOD 200", chmod, {"200 ok\r\n"}, {"SITE CHMOD 755 f.cgi"}, 0},
        {"CHMOD 250", chmod, {"250 ok\r\n"}, {"SITE CHMOD 755 f.cgi"}, 0},
        {"CHMOD given mode", chmod_given, {"200 ok\r\n"}, {"SITE CHMOD 700 f.cgi"}, 0},
        {"CHMOD 202", chmod, {"202 not needed\r\n"}, {"SITE CHMOD 755 f.cgi"}, status_chmod_unsupported},
        {"CHMOD 421", chmod, {"421 bye\r\n"}, {"SITE CHMOD 755 f.cgi"}, status_not_connected},
        {"CHMOD 500", chmod, {"500 ?\r\n"}, {"SITE CHMOD 755 f.cgi"}, status_refused},
        {"CHMOD 501", chmod, {"501 ?\r\n"}, {"SITE CHMOD 755 f.cgi"}, status_refused},
        {"CHMOD 550", chmod, {"550 no\r\n"}, {"SITE CHMOD 755 f.cgi"}, status_refused},
        {"CHMOD other", chmod, {"226 eh\r\n"}, {"SITE CHMOD 755 f.cgi"}, status_unexpected_reply},
    };
    for (const auto& r : rows)
        check(r);
}

TEST(FtpCommands, ChangeModeRefusedOnceIsNotAskedAgain)
{
    scripted_ftp_server server;
    server.send("220 ready\r\n")
        .expect("550 no\r\n")
        .expect("500 unknown SITE command\r\n")
        .reconnect()
        .send("220 again\r\n")
        .expect("200 ok\r\n");
    server.start();
    logged_session s;
    ASSERT_EQ(connect_to(s, server), 0);
    s.set_state(remote_state::logged_in);
    EXPECT_EQ(s.change_mode(v("a"), v("644")), status_refused);
    EXPECT_EQ(s.chmod_supported(), 1) << "550 is about the file, not the command";
    EXPECT_EQ(s.change_mode(v("b"), v("644")), status_refused);
    EXPECT_EQ(s.chmod_supported(), 0);
    EXPECT_EQ(s.change_mode(v("c"), v("644")), status_chmod_unsupported);
    EXPECT_EQ(server.lines(), (lines{"SITE CHMOD 644 a", "SITE CHMOD 644 b"}));
    // A new connection asks again.
    ASSERT_EQ(s.connect_and_greet(), 0);
    s.set_state(remote_state::logged_in);
    EXPECT_EQ(s.change_mode(v("d"), v("644")), 0);
    EXPECT_EQ(server.lines(), (lines{"SITE CHMOD 644 a", "SITE CHMOD 644 b", "SITE CHMOD 644 d"}));
}

TEST(FtpCommands, EveryCommandButLoginNeedsALogin)
{
    scripted_ftp_server server;
    server.send("220 ready\r\n");
    server.start();
    logged_session s;
    ASSERT_EQ(connect_to(s, server), 0);
    const std::vector<command> commands = {
        [](ftp_control& c) { return c.change_folder(v("/")); },
        [](ftp_control& c) { return c.print_folder(); },
        [](ftp_control& c) { return c.enter_start_folder(); },
        [](ftp_control& c) { return c.send_port(v("1.2.3.4"), 5); },
        [](ftp_control& c) { return c.send_pasv(); },
        [](ftp_control& c) { return c.set_type(1); },
        [](ftp_control& c) { return c.retrieve(v("f")); },
        [](ftp_control& c) { return c.store(v("f")); },
        [](ftp_control& c) { return c.send_list(v("")); },
        [](ftp_control& c) { return c.allocate(1); },
        [](ftp_control& c) { return c.restart_at(1); },
        [](ftp_control& c) { return c.rename(v("a"), v("b")); },
        [](ftp_control& c) { return c.delete_file(v("f")); },
        [](ftp_control& c) { return c.remove_folder(v("d")); },
        [](ftp_control& c) { return c.make_folder(v("d")); },
        [](ftp_control& c) { return c.site_command(v("x")); },
        [](ftp_control& c) { return c.change_mode(v("f"), v("644")); },
        [](ftp_control& c) {
            int64_t size = 0;
            return c.file_size(v("f"), size);
        },
        [](ftp_control& c) {
            int64_t time = 0;
            return c.modification_time(v("f"), time);
        },
    };
    for (const auto& c : commands)
        EXPECT_EQ(c(s), status_not_connected);
    EXPECT_TRUE(server.lines().empty());
}

TEST(FtpCommands, EnterStartFolder)
{
    check({"start folder",
           [](ftp_control& s) {
               reconfigure(s, [](remote_site& site, remote_options&) { site.initial_folder.set_string("www"); });
               return s.enter_start_folder();
           },
           {"250 ok\r\n", "257 \"/home/bob/www\"\r\n"},
           {"CWD www", "PWD"},
           0});
    check({"no start folder",
           [](ftp_control& s) { return s.enter_start_folder(); },
           {"257 \"/home/bob\"\r\n"},
           {"PWD"},
           0});
}

}  // namespace
}  // namespace qvtf::test

namespace qvtf::test {
namespace {

// TYPE is sent only when the type in force differs: once per login, again
// after another type, after anyone else's TYPE and after a new login.
TEST(FtpCommands, TypeIsSentOnlyWhenItChanges)
{
    scripted_ftp_server server;
    server.send("220 ready\r\n");
    for (int i = 0; i < 5; ++i)
        server.expect("200 type\r\n");
    server.start();
    logged_session s;
    ASSERT_EQ(connect_to(s, server), 0);
    s.set_state(remote_state::logged_in);
    EXPECT_EQ(s.set_type(0), 0);
    EXPECT_EQ(s.set_type(0), 0);
    EXPECT_EQ(s.set_type(2), 0) << "automatic is resolved before; anything but ASCII is binary";
    EXPECT_EQ(s.set_type(1), 0);
    EXPECT_EQ(s.send_command("type i"), 0);
    EXPECT_EQ(s.set_type(1), 0);
    s.set_state(remote_state::connected);
    s.set_state(remote_state::logged_in);
    EXPECT_EQ(s.set_type(1), 0);
    EXPECT_EQ(server.lines(), (lines{"TYPE I", "TYPE A", "type i", "TYPE A", "TYPE A"}));
}

}  // namespace
}  // namespace qvtf::test
