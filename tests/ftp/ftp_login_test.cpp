// log_in: direct, through the four kinds of FTP firewall (the scripted server
// plays the firewall and checks each line), the USER/PASS fallback, and the
// site's custom commands.
#include <gtest/gtest.h>

#include "ftp/ftp_proxy.h"
#include "ftp_test_session.h"

namespace qvtf::test {
namespace {

// A session for site "ftp.example.org":2121, user "bob", password "pw", whose
// firewall is the scripted server.
struct firewall_login {
    scripted_ftp_server server;
    logged_session session;

    explicit firewall_login(const char* script, int type = 0)
    {
        ftp_proxy proxy;
        proxy.type = type;
        proxy.proxy_host.set_string("127.0.0.1");
        proxy.proxy_port = server.port();
        proxy.proxy_username.set_string("fwuser");
        proxy.proxy_password.set_string("fwpass");
        proxy.ftp_command.set_string(script);
        inputs(session).site().proxy = proxy;
        inputs(session).site().host.set_string("ftp.example.org");
        inputs(session).site().port = 2121;
        inputs(session).site().user_name.set_string("bob");
        inputs(session).site().password.set_string("pw");
        inputs(session).options().timeout = 5;
        server.send("220 firewall ready\r\n");
    }
};

TEST(FtpLogin, DirectUserAndPassword)
{
    scripted_ftp_server server;
    server.send("220 ready\r\n").expect("331 pw\r\n").expect("230 in\r\n");
    server.start();
    logged_session s;
    inputs(s).site().port = server.port();
    inputs(s).site().user_name.set_string("bob");
    inputs(s).site().password.set_string("pw");
    EXPECT_EQ(s.log_in(), 0);
    EXPECT_EQ(s.logged_in(), 1);
    EXPECT_EQ(server.lines(), (lines{"USER bob", "PASS pw"}));
}

TEST(FtpLogin, DirectLoginRefused)
{
    scripted_ftp_server server;
    server.send("220 ready\r\n").expect("331 pw\r\n").expect("530 Login incorrect.\r\n");
    server.start();
    logged_session s;
    inputs(s).site().port = server.port();
    inputs(s).site().user_name.set_string("bob");
    EXPECT_EQ(s.log_in(), status_login_refused);
    EXPECT_EQ(s.logged_in(), 0);
    EXPECT_EQ(s.connected(), 1);
}

TEST(FtpLogin, LoggingInAgainQuitsFirst)
{
    scripted_ftp_server server;
    server.send("220 ready\r\n")
        .expect("230 in\r\n")
        .expect("221 bye\r\n")
        .reconnect()
        .send("220 again\r\n")
        .expect("230 in\r\n");
    server.start();
    logged_session s;
    inputs(s).site().port = server.port();
    inputs(s).site().user_name.set_string("bob");
    ASSERT_EQ(s.log_in(), 0);
    ASSERT_EQ(s.log_in(), 0);
    EXPECT_EQ(server.lines(), (lines{"USER bob", "QUIT", "USER bob"}));
}

TEST(FtpLogin, CustomCommandsRunAfterLogin)
{
    scripted_ftp_server server;
    server.send("220 ready\r\n").expect("230 in\r\n").expect("200 umask\r\n").expect("550 no\r\n").expect("250 ok\r\n");
    server.start();
    logged_session s;
    inputs(s).site().port = server.port();
    inputs(s).site().user_name.set_string("bob");
    inputs(s).site().custom_commands.set_string("SITE UMASK 022\r\nDELE gone\r\n\r\nRETR big.iso\nNOOP");
    EXPECT_EQ(s.log_in(), 0) << "error replies do not stop a script";
    EXPECT_EQ(server.lines(), (lines{"USER bob", "SITE UMASK 022", "DELE gone", "NOOP"}));
    EXPECT_EQ(s.texts_of_kind(log_error), (lines{"RETR big.iso[439]\r\n"}));
}

// The four usual schemes, as the default scripts of the firewall types write them.
TEST(FtpFirewall, SiteCommandScheme)
{
    firewall_login f(
        "USER %firewall_username%\r\nPASS %firewall_password%\r\nSITE %host%\r\n"
        "USER %username%\r\nPASS %password%\r\n",
        0);
    f.server.expect("331 fw password\r\n")
        .expect("530 fw: now name the site\r\n")
        .expect("220 connected to site\r\n")
        .expect("331 pw\r\n")
        .expect("230 in\r\n");
    f.server.start();
    EXPECT_EQ(f.session.log_in(), 0);
    EXPECT_EQ(f.server.lines(), (lines{"USER fwuser", "PASS fwpass", "SITE ftp.example.org", "USER bob", "PASS pw"}));
    EXPECT_EQ(f.session.logged_in(), 1);
}

TEST(FtpFirewall, A230ToTheFirewallLoginEndsTheLogin)
{
    // Whatever follows, a 230 to a login command of the script counts as
    // logged in, and no USER/PASS of the site is added.
    firewall_login f("USER %firewall_username%\r\nPASS %firewall_password%\r\nSITE %host%\r\n", 0);
    f.server.expect("331 fw password\r\n").expect("230 fw ok\r\n").expect("200 site\r\n");
    f.server.start();
    EXPECT_EQ(f.session.log_in(), 0);
    EXPECT_EQ(f.session.logged_in(), 1);
    EXPECT_EQ(f.server.lines(), (lines{"USER fwuser", "PASS fwpass", "SITE ftp.example.org"}));
    EXPECT_TRUE(f.server.extra_lines().empty());
}

TEST(FtpFirewall, UserAtHostScheme)
{
    firewall_login f("USER %username%@%host%:%port%\r\n", 1);
    f.server.expect("331 pw\r\n").expect("230 in\r\n");
    f.server.start();
    EXPECT_EQ(f.session.log_in(), 0);
    // The script sent USER, so the login goes on with PASS only.
    EXPECT_EQ(f.server.lines(), (lines{"USER bob@ftp.example.org:2121", "PASS pw"}));
}

TEST(FtpFirewall, OpenCommandScheme)
{
    firewall_login f("OPEN %host%\r\n", 2);
    f.server.expect("220 open\r\n").expect("331 pw\r\n").expect("230 in\r\n");
    f.server.start();
    EXPECT_EQ(f.session.log_in(), 0);
    EXPECT_EQ(f.server.lines(), (lines{"OPEN ftp.example.org", "USER bob", "PASS pw"}));
}

TEST(FtpFirewall, FirewallLoginThenSiteLoginInTheScript)
{
    firewall_login f(
        "USER %firewall_username%@%host%\r\nPASS %firewall_password%\r\n"
        "USER %username%\r\nPASS %password%\r\n",
        3);
    f.server.expect("331 fw pw\r\n").expect("230 fw ok\r\n").expect("331 pw\r\n").expect("230 in\r\n");
    f.server.start();
    EXPECT_EQ(f.session.log_in(), 0);
    EXPECT_EQ(f.server.lines(), (lines{"USER fwuser@ftp.example.org", "PASS fwpass", "USER bob", "PASS pw"}));
    EXPECT_TRUE(f.server.extra_lines().empty()) << "no further USER after a 230";
}

TEST(FtpFirewall, PlaceholdersIgnoreCaseAndUnknownOnesVanish)
{
    firewall_login f("SITE %HOST% %Port% %nothing%x %firewall.user%\r\nUSER %UserName%\r\nPASS %PASSWORD%\r\n");
    f.server.expect("200 ok\r\n").expect("331 pw\r\n").expect("230 in\r\n");
    f.server.start();
    EXPECT_EQ(f.session.log_in(), 0);
    EXPECT_EQ(f.server.lines(), (lines{"SITE ftp.example.org 2121 x ", "USER bob", "PASS pw"}));
    EXPECT_EQ(f.session.texts_of_kind(log_command)[2], "PASS **\r\n");
}

TEST(FtpFirewall, ForbiddenCommandsAreLoggedAndSkipped)
{
    firewall_login f("RETR /etc/passwd\r\nSTOR x\r\nSTOU\r\nAPPE y\r\nlist\r\nNLST\r\nUSER %username%\r\n");
    f.server.expect("331 pw\r\n").expect("230 in\r\n");
    f.server.start();
    EXPECT_EQ(f.session.log_in(), 0);
    EXPECT_EQ(f.server.lines(), (lines{"USER bob", "PASS pw"}));
    EXPECT_EQ(f.session.texts_of_kind(log_error),
              (lines{"RETR /etc/passwd[439]\r\n", "STOR x[439]\r\n", "STOU[439]\r\n", "APPE y[439]\r\n",
                     "list[439]\r\n", "NLST[439]\r\n"}));
}

TEST(FtpFirewall, ScriptAnsweredWith230EndsTheLogin)
{
    firewall_login f("USER %username%\r\nPASS %password%\r\n");
    f.server.expect("331 pw\r\n").expect("230 in\r\n");
    f.server.start();
    EXPECT_EQ(f.session.log_in(), 0);
    EXPECT_EQ(f.session.logged_in(), 1);
    EXPECT_EQ(f.server.lines(), (lines{"USER bob", "PASS pw"}));
}

TEST(FtpFirewall, A230WithoutALoginCommandDoesNotCount)
{
    // A 230 to a SITE line is not a login; the USER/PASS fallback follows.
    firewall_login f("SITE %host%\r\n");
    f.server.expect("230 whatever\r\n").expect("331 pw\r\n").expect("230 in\r\n");
    f.server.start();
    EXPECT_EQ(f.session.log_in(), 0);
    EXPECT_EQ(f.server.lines(), (lines{"SITE ftp.example.org", "USER bob", "PASS pw"}));
}

TEST(FtpFirewall, ScriptWithoutUserOrPassFallsBackToUser)
{
    firewall_login f("");
    f.server.expect("331 pw\r\n").expect("230 in\r\n");
    f.server.start();
    EXPECT_EQ(f.session.log_in(), 0);
    EXPECT_EQ(f.server.lines(), (lines{"USER bob", "PASS pw"}));
}

TEST(FtpFirewall, RefusedPasswordInTheScriptIsNoLogin)
{
    firewall_login f("USER %username%\r\nPASS %password%\r\n");
    f.server.expect("331 pw\r\n").expect("530 wrong\r\n");
    f.server.start();
    EXPECT_EQ(f.session.log_in(), status_login_refused);
    EXPECT_EQ(f.session.logged_in(), 0);
    EXPECT_EQ(f.server.lines(), (lines{"USER bob", "PASS pw"}));
}

TEST(FtpFirewall, ClosingReplyStopsTheScript)
{
    firewall_login f("SITE %host%\r\nUSER %username%\r\n");
    f.server.expect("421 no\r\n");
    f.server.start();
    EXPECT_EQ(f.session.log_in(), status_not_connected);
    EXPECT_EQ(f.server.lines(), (lines{"SITE ftp.example.org"}));
}

TEST(FtpFirewall, ProxyOfNoFirewallTypeRunsNoScript)
{
    // Only types 0 to 3 log in by script; any proxy's address is where the
    // session connects.
    scripted_ftp_server server;
    server.send("220 ready\r\n").expect("230 in\r\n");
    server.start();
    ftp_proxy proxy;
    proxy.type = -1;
    proxy.proxy_host.set_string("127.0.0.1");
    proxy.proxy_port = server.port();
    proxy.ftp_command.set_string("SITE never\r\n");
    logged_session s;
    inputs(s).site().proxy = proxy;
    inputs(s).site().host.set_string("192.0.2.1");
    inputs(s).site().user_name.set_string("bob");
    EXPECT_EQ(s.log_in(), 0);
    EXPECT_EQ(server.lines(), (lines{"USER bob"}));
}

TEST(FtpScript, KindsMaskAndConnection)
{
    scripted_ftp_server server;
    server.send("220 ready\r\n").expect("200 a\r\n").expect("200 b\r\n").expect("331 c\r\n");
    server.start();
    logged_session s;
    int32_t mask = -1;
    EXPECT_EQ(s.run_script(qxval("NOOP"), mask), status_not_connected);
    EXPECT_EQ(mask, 0);
    ASSERT_EQ(connect_to(s, server), 0);
    EXPECT_EQ(s.run_script(qxval("TYPE I\r\nHELP\r\nACCT x\r\nLIST"), mask), 0);
    EXPECT_EQ(mask, (1 << cmd_type) | (1 << cmd_acct)) << "HELP (32) has no bit; LIST was skipped";
}

}  // namespace
}  // namespace qvtf::test

namespace qvtf::test {
namespace {

// The default scripts of the four firewall types as the language file ships
// them (phrases 447 + type), run against the scripted firewall.
TEST(FtpFirewall, ShippedDefaultScripts)
{
    qxlang shipped;
    qxval error;
    ASSERT_EQ(shipped.load_plain(qxval(std::string(QVTF_SOURCE_DIR) + "/data/phrases/en.xml"), error), 0)
        << error.str();
    struct scheme {
        std::vector<std::string> replies;
        lines sent;
    };
    const std::vector<scheme> schemes = {
        {{"331 fw\r\n", "220 fw ok, name the site\r\n", "220 site\r\n", "331 pw\r\n", "230 in\r\n"},
         {"USER fwuser", "PASS fwpass", "SITE ftp.example.org", "USER bob", "PASS pw"}},
        {{"331 pw\r\n", "230 in\r\n"}, {"USER bob@ftp.example.org", "PASS pw"}},
        {{"220 open\r\n", "331 pw\r\n", "230 in\r\n"}, {"OPEN ftp.example.org", "USER bob", "PASS pw"}},
        {{"331 fw\r\n", "200 fw ok\r\n", "331 pw\r\n", "230 in\r\n"},
         {"USER fwuser", "PASS fwpass", "USER bob@ftp.example.org", "PASS pw"}},
    };
    for (int type = 0; type < 4; ++type) {
        SCOPED_TRACE(type);
        const char* script = shipped.phrase(447 + type);
        ASSERT_NE(script, nullptr);
        firewall_login f(script, type);
        for (const auto& reply : schemes[type].replies)
            f.server.expect(reply);
        f.server.start();
        EXPECT_EQ(f.session.log_in(), 0);
        EXPECT_EQ(f.session.logged_in(), 1);
        EXPECT_EQ(f.server.lines(), schemes[type].sent);
    }
}

}  // namespace
}  // namespace qvtf::test

namespace qvtf::test {
namespace {

// A value holding CR, LF or NUL, in any field that a login may send, through
// a direct login, each firewall type's shipped script and scripts of our own:
// the login is refused with 6015 before anything reaches the server.
TEST(FtpLoginInjection, NoValueWithALineBreakReachesTheServer)
{
    qxlang shipped;
    qxval error;
    ASSERT_EQ(shipped.load_plain(qxval(std::string(QVTF_SOURCE_DIR) + "/data/phrases/en.xml"), error), 0)
        << error.str();
    enum field { user, password, host, proxy_user, proxy_password };
    const char* const field_names[] = {"user", "password", "host", "proxy user", "proxy password"};
    struct route {
        const char* name;
        int type;  // -1: direct
        std::string script;
        std::vector<field> fields;  // the fields the route sends
    };
    const std::vector<field> all = {user, password, host, proxy_user, proxy_password};
    const std::vector<route> routes = {
        {"direct", -1, "", {user, password}},
        {"shipped 0", 0, shipped.phrase(447), all},
        {"shipped 1", 1, shipped.phrase(448), {user, password, host}},
        {"shipped 2", 2, shipped.phrase(449), {user, password, host}},
        {"shipped 3", 3, shipped.phrase(450), all},
        {"site login",
         0,
         "SITE LOGIN %firewall_username% %firewall_password%\r\nUSER %username%@%host%:%port%",
         {user, password, host, proxy_user, proxy_password}},
        {"account", 3, "USER %Firewall_Username%\nACCT %FIREWALL_PASSWORD%\nOPEN %host%", all},
    };
    const std::vector<std::string> payloads = {"x\r\nDELE victim", "x\nDELE victim", "x\rDELE victim",
                                               std::string("x\0DELE victim", 13)};
    for (const route& r : routes) {
        for (field f : r.fields) {
            for (const std::string& payload : payloads) {
                SCOPED_TRACE(std::string(r.name) + ", " + field_names[f] + ", payload " +
                             std::to_string(&payload - payloads.data()));
                firewall_login login(r.script.c_str(), r.type < 0 ? 0 : r.type);
                logged_session& s = login.session;
                if (r.type < 0) {
                    inputs(s).site().proxy.reset();
                    inputs(s).site().host.set_string("127.0.0.1");
                    inputs(s).site().port = login.server.port();
                }
                // The session's own copy of the proxy is what the login reads.
                remote_site site = s.site();
                qxval* target[] = {&site.user_name, &site.password, &site.host,
                                   site.proxy ? &site.proxy->proxy_username : nullptr,
                                   site.proxy ? &site.proxy->proxy_password : nullptr};
                ASSERT_NE(target[f], nullptr);
                target[f]->set_bytes(payload);
                s.configure(site, s.options());
                login.server.start();
                EXPECT_EQ(s.log_in(), status_line_break);
                EXPECT_EQ(s.logged_in(), 0);
                EXPECT_EQ(login.server.connections(), 0);
                EXPECT_TRUE(login.server.lines().empty());
                EXPECT_EQ(s.texts_of_kind(log_error), (lines{"[501]\r\n"}));
                EXPECT_TRUE(s.texts_of_kind(log_command).empty());
            }
        }
    }
}

TEST(FtpLoginInjection, ScriptsCheckedBeforeTheirFirstLine)
{
    // Custom commands are checked with the login; a script run on its own
    // sends none of its lines when one of them is refused.
    {
        firewall_login login("");
        inputs(login.session).site().proxy.reset();
        inputs(login.session).site().port = login.server.port();
        inputs(login.session).site().custom_commands.set_bytes(std::string("SITE UMASK 022\r\nDELE a\0b", 25));
        login.server.start();
        EXPECT_EQ(login.session.log_in(), status_line_break);
        EXPECT_EQ(login.server.connections(), 0);
    }
    scripted_ftp_server server;
    server.send("220 ready\r\n");
    server.start();
    logged_session s;
    ASSERT_EQ(connect_to(s, server), 0);
    int32_t mask = -1;
    EXPECT_EQ(s.run_script(qxval(std::string("NOOP\r\nDELE x\0y\r\nNOOP", 20)), mask), status_line_break);
    EXPECT_EQ(mask, 0);
    EXPECT_TRUE(server.lines().empty());
    EXPECT_EQ(s.connected(), 1);
}

TEST(FtpFirewall, PasswordPlaceholdersAreHiddenWhereverTheyStand)
{
    firewall_login f(
        "SITE LOGIN %firewall_username% %firewall_password%\r\n"
        "ACCT %firewall_password%\r\n"
        "SITE %password%/%FIREWALL_PASSWORD%@%host%\r\n"
        "  PASS %password%\r\n"
        "USER %username%\r\n"
        "PASS\t%password%\r\n",
        0);
    inputs(f.session).site().password.set_string("s3cr3t");
    f.server.expect("200 fw\r\n")
        .expect("202 acct\r\n")
        .expect("200 site\r\n")
        .expect("503 first USER\r\n")
        .expect("331 pw\r\n")
        .expect("230 in\r\n");
    f.server.start();
    EXPECT_EQ(f.session.log_in(), 0);
    EXPECT_EQ(f.server.lines(), (lines{"SITE LOGIN fwuser fwpass", "ACCT fwpass", "SITE s3cr3t/fwpass@ftp.example.org",
                                       "  PASS s3cr3t", "USER bob", "PASS\ts3cr3t"}));
    EXPECT_EQ(f.session.texts_of_kind(log_command),
              (lines{"SITE LOGIN fwuser ******\r\n", "ACCT ******\r\n", "SITE ******/******@ftp.example.org\r\n",
                     "  PASS ******\r\n", "USER bob\r\n", "PASS\t******\r\n", "FEAT\r\n"}));
}

}  // namespace
}  // namespace qvtf::test
