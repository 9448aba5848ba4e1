// qvtf-cli's commands against vsftpd: what they print, what they leave on
// the server, and the exit status with the error on stderr.
#include <sys/stat.h>

#include <cstdlib>
#include <fstream>
#include <sstream>

#include <gtest/gtest.h>

#include "support/ftp_servers.h"
#include "support/process.h"
#include "tools/cli_test_output.h"
#include "tools/qvtf-cli/cli_session.h"

namespace {

using namespace qvtf;

using test::cli_run;

cli_run run_cli(const test::vsftpd_server& server, const std::string& script, bool log = false)
{
    cli::options o = test::login_options(server.port(), server.user(), server.password());
    o.log = log;
    std::string error;
    EXPECT_TRUE(cli::split_script(script, o.commands, error)) << error;
    return test::run_cli(o);
}

std::string read_all(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

class CliSession : public ::testing::Test {
protected:
    void SetUp() override
    {
        if (!test::vsftpd_available())
            GTEST_SKIP();
        server = std::make_unique<test::vsftpd_server>();
        ASSERT_TRUE(server->ok()) << server->log();
    }
    std::unique_ptr<test::vsftpd_server> server;
    test::temp_folder local{"qvtf-cli"};
};

TEST_F(CliSession, CommandsOnOneSessionAndTheirOutput)
{
    {
        std::ofstream(local.file("up.txt")) << "hello";
    }
    const std::string script = "mkdir d; put " + local.file("up.txt") +
                               " up.txt; mv up.txt d/x.txt; cd d; ls; get x.txt " + local.file("back.txt") +
                               "; chmod 600 x.txt; quote NOOP; pwd";
    cli_run r = run_cli(*server, script);
    ASSERT_EQ(r.code, 0) << r.err;
    EXPECT_EQ(read_all(local.file("back.txt")), "hello");
    struct stat st {};
    ASSERT_EQ(::stat((server->root() + "/d/x.txt").c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0600u);
    // ls: type, permissions, size, UTC time, name; tab-separated.
    std::istringstream lines(r.out);
    std::string first;
    std::getline(lines, first);
    EXPECT_EQ(first.substr(0, 15), "-\t-rw-r--r--\t5\t") << first;
    EXPECT_EQ(first.substr(first.size() - 10), " UTC\tx.txt") << first;
    EXPECT_NE(r.out.find("\n200 "), std::string::npos) << "quote prints the reply";
    EXPECT_NE(r.out.find(server->root() + "/d\n"), std::string::npos) << r.out;
}

TEST_F(CliSession, FailureGivesExit1TheMessageAndTheStatus)
{
    cli_run r = run_cli(*server, "pwd; get no-such-file " + local.file("x") + "; pwd", true);
    EXPECT_EQ(r.code, 1);
    EXPECT_NE(r.err.find("\nstatus 6011\n"), std::string::npos) << r.err;
    EXPECT_NE(r.err.find("> RETR no-such-file\n"), std::string::npos) << "the log has the prefixes";
    EXPECT_NE(r.err.find("> PASS *"), std::string::npos) << "the password stays hidden";
    EXPECT_EQ(r.err.find(server->password()), std::string::npos);
}

TEST_F(CliSession, RecursiveRemoveAndTimeDifference)
{
    const std::string root = server->root();
    ::mkdir((root + "/t").c_str(), 0777);
    ::mkdir((root + "/t/u").c_str(), 0777);
    {
        std::ofstream(root + "/t/u/f") << "f";
    }
    ASSERT_EQ(std::system(("chown -R " + server->user() + " " + root).c_str()), 0);
    cli_run r = run_cli(*server, "rm -r t; timediff");
    ASSERT_EQ(r.code, 0) << r.err;
    EXPECT_FALSE(test::read_text_file(root + "/t/u/f").size());
    struct stat st {};
    EXPECT_NE(::stat((root + "/t").c_str(), &st), 0);
    const int diff = std::atoi(r.out.c_str());
    EXPECT_LE(std::abs(diff), 60) << "the server shares our clock: " << r.out;
}

}  // namespace
