// Messages for status codes.
#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>

#include "ftp_test_session.h"

namespace qvtf::test {
namespace {

std::string text_of(const ftp_control& s, const remote_result& failure)
{
    qxval out("left over");
    s.error_text(failure, out);
    return out.str();
}

remote_result with_reply(int code, std::vector<std::string> reply)
{
    remote_result failure(code);
    failure.reply = std::move(reply);
    return failure;
}

TEST(FtpErrorText, PhraseOfEveryCode)
{
    ftp_control s;
    s.set_language(&test_phrases());
    const std::vector<std::pair<int, std::string>> cases = {
        {0, "[286]"},
        {1000, "[166]"},
        {1001, "[167]"},
        {1002, "[168]"},
        {1003, "[169]"},
        {1004, "[170]"},
        {1005, "[1000]"},
        {1006, "[1001]"},
        {1099, "[171]"},
        {1100, "[172]"},
        {2003, "[180]"},
        {2004, "[181]"},
        {2005, "[182]"},
        {1601, "[480]"},
        {1604, "[483]"},
        {1614, "[493]"},
        {6000, "[49]"},
        {6001, "[50]"},
        {6004, "[53]"},
        {6006, "[55]"},
        {6008, "[57]"},
        {6009, "[58]"},
        {6010, "[59]"},
        {6012, "[60]"},
        {6014, "[68]"},
        {6015, "[501]"},
        {6017, "[1003]"},
        {6100, "[61]"},
        // Codes without a message.
        {1007, ""},
        {1602, "[481]"},
        {6002, ""},
        {6007, ""},
        {7000, ""},
        {-1, ""},
    };
    for (const auto& [code, expected] : cases)
        EXPECT_EQ(text_of(s, code), expected) << code;
}

TEST(FtpErrorText, ReplyLinesFollowWhereTheyExplain)
{
    logged_session s;
    const std::vector<std::string> reply = {"550 No such file", "550 really"};
    EXPECT_EQ(text_of(s, with_reply(6003, reply)), "[52]\r\n550 No such file\r\n550 really\r\n");
    EXPECT_EQ(text_of(s, with_reply(6005, reply)), "[54]\r\n550 No such file\r\n550 really\r\n");
    EXPECT_EQ(text_of(s, with_reply(6011, reply)), "550 No such file\r\n550 really\r\n");
    remote_result walk(6013);
    walk.detail = "folder x: 550 denied\r\n";
    EXPECT_EQ(text_of(s, walk), "folder x: 550 denied\r\n");
    EXPECT_EQ(text_of(s, 6003), "[52]");
    EXPECT_EQ(text_of(s, 6011), "");
}

// The message of a failure names the reply that caused it, even after later
// commands have been answered; the clock probe's codes have messages.
TEST(FtpErrorText, TheCauseSurvivesLaterReplies)
{
    scripted_ftp_server server;
    server.send("220 ready\r\n");
    server.expect("299 odd\r\n");
    server.expect("200 fine\r\n");
    server.expect("421 going\r\n");
    server.start();
    logged_session s;
    ASSERT_EQ(connect_to(s, server), 0);
    s.set_state(remote_state::logged_in);
    const remote_result odd = s.change_folder(qxval("x"));
    EXPECT_EQ(odd, status_unexpected_reply);
    EXPECT_EQ(s.send_command("NOOP"), 0);
    EXPECT_EQ(text_of(s, odd), "[54]\r\n299 odd\r\n");
    const remote_result going = s.send_command("NOOP");
    EXPECT_EQ(going, status_not_connected);
    EXPECT_EQ(text_of(s, going), "[52]\r\n421 going\r\n");

    ftp_control bare;
    bare.set_language(&test_phrases());
    EXPECT_EQ(bare.measure_time_difference(qxval("/tmp/none")), status_not_connected)
        << "no folder: a code with a message";
}

// Failures of the system carry its reason, and a connect the address with its port.
TEST(FtpErrorText, SystemFailuresNameTheReasonAndWhere)
{
    struct row {
        const char* what;
        int code;
        bool via_proxy;
        int local_step;
        int local_errno;
        std::string expected;
    };
    const std::string refused = std::strerror(ECONNREFUSED);
    const row rows[] = {
        {"connect", 100000 + ECONNREFUSED, false, 0, 0, "[10]127.0.0.1:2121[38]" + refused},
        {"connect by proxy", 100000 + ECONNREFUSED, true, 0, 0, "[10]127.0.0.9:1080[38]" + refused},
        // A connection that broke after it was made is no failed connect.
        {"reset data connection", 100000 + ECONNRESET, false, 0, 0, std::string("[172]: ") + std::strerror(ECONNRESET)},
        {"open denied", 6010, false, 0, EACCES, std::string("[59] ") + std::strerror(EACCES) + "."},
        {"disk full", 6010, false, 2, ENOSPC, std::string("[118] ") + std::strerror(ENOSPC) + "."},
        {"quota", 6010, false, 2, EDQUOT, std::string("[118] ") + std::strerror(EDQUOT) + "."},
        {"read failed", 6010, false, 1, EIO, std::string("[119] ") + std::strerror(EIO) + "."},
        {"reason unknown", 6010, false, 0, 0, "[59]"},
    };
    for (const row& r : rows) {
        ftp_control s;
        s.set_language(&test_phrases());
        reconfigure(s, [&](remote_site& site, remote_options&) {
            site.host = qxval("127.0.0.1");
            site.port = 2121;
            if (r.via_proxy) {
                site.proxy.emplace();
                site.proxy->proxy_host = qxval("127.0.0.9");
                site.proxy->proxy_port = 1080;
            }
        });
        remote_result failure(r.code);
        failure.local_step = r.local_step;
        failure.local_errno = r.local_errno;
        EXPECT_EQ(text_of(s, failure), r.expected) << r.what;
    }
}

TEST(FtpErrorText, WithoutALanguageTextsAreEmpty)
{
    ftp_control s;
    EXPECT_EQ(text_of(s, 0), "");
    EXPECT_EQ(text_of(s, 6014), "");
    EXPECT_EQ(text_of(s, with_reply(6011, {"421 bye"})), "421 bye\r\n");
}

}  // namespace
}  // namespace qvtf::test
