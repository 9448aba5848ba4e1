// The session against real servers on loopback: vsftpd and pyftpdlib
// directly, and vsftpd through dante (SOCKS 4, 4a and 5) and microsocks
// (SOCKS 5 with a user name and password).
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <memory>

#include "ftp/ftp_proxy.h"
#include "ftp_test_session.h"
#include "support/ftp_servers.h"
#include "support/socks_servers.h"

namespace qvtf::test {
namespace {

namespace fs = std::filesystem;

void prepare(logged_session& s, uint16_t port, const std::string& user, const std::string& password)
{
    inputs(s).site().host.set_string("127.0.0.1");
    inputs(s).site().port = port;
    inputs(s).site().user_name.set_string(user.c_str());
    inputs(s).site().password.set_string(password.c_str());
    inputs(s).options().timeout = 10;
}

// A file in the served folder, owned like the folder so the server's user
// may change it.
void make_file(const std::string& root, const std::string& name)
{
    const std::string path = root + "/" + name;
    std::ofstream(path) << "content\n";
    struct stat st {};
    ASSERT_EQ(::stat(root.c_str(), &st), 0);
    ASSERT_EQ(::chown(path.c_str(), st.st_uid, st.st_gid), 0);
}

unsigned mode_of(const std::string& path)
{
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 ? (st.st_mode & 07777) : 0;
}

// The working session of a real server: folders, rename, delete, chmod.
void exercise(logged_session& s, const std::string& root, const std::string& root_as_seen)
{
    ASSERT_EQ(s.log_in(), 0);
    EXPECT_EQ(s.logged_in(), 1);
    ASSERT_EQ(s.print_folder(), 0);
    EXPECT_EQ(s.current_path().str(), root_as_seen);

    EXPECT_EQ(s.make_folder(qxval("made here")), 0);
    EXPECT_TRUE(fs::is_directory(root + "/made here"));
    EXPECT_EQ(s.make_folder(qxval("made here")), status_refused) << "it exists";

    ASSERT_EQ(s.change_folder(qxval("made here")), 0);
    const std::string inside = root_as_seen == "/" ? "/made here" : root_as_seen + "/made here";
    EXPECT_EQ(s.current_path().str(), inside);
    ASSERT_NE(s.current_folder(), nullptr);
    EXPECT_EQ(s.current_folder()->name.str(), "made here");
    EXPECT_EQ(s.change_folder(qxval("")), 0) << "CDUP";
    EXPECT_EQ(s.current_path().str(), root_as_seen);
    EXPECT_EQ(s.change_folder(qxval("no such folder")), status_refused);

    make_file(root, "old.txt");
    EXPECT_EQ(s.rename(qxval("old.txt"), qxval("new name.txt")), 0);
    EXPECT_TRUE(fs::exists(root + "/new name.txt"));
    EXPECT_EQ(s.rename(qxval("missing"), qxval("x")), status_refused);

    EXPECT_EQ(s.change_mode(qxval("new name.txt"), qxval("640")), 0);
    EXPECT_EQ(mode_of(root + "/new name.txt"), 0640u);
    EXPECT_EQ(s.change_mode(qxval("new name.txt"), qxval("604")), 0);
    EXPECT_EQ(mode_of(root + "/new name.txt"), 0604u);

    EXPECT_EQ(s.delete_file(qxval("new name.txt")), 0);
    EXPECT_FALSE(fs::exists(root + "/new name.txt"));
    EXPECT_EQ(s.delete_file(qxval("new name.txt")), status_refused);
    EXPECT_EQ(s.remove_folder(qxval("made here")), 0);
    EXPECT_FALSE(fs::exists(root + "/made here"));
    EXPECT_EQ(s.remove_folder(qxval("made here")), status_refused);

    EXPECT_EQ(s.quit(), 0);
    EXPECT_EQ(s.logged_in(), 0);
    EXPECT_EQ(s.reply_class(), 2);
}

TEST(FtpRealVsftpd, SessionWorksEndToEnd)
{
    vsftpd_server ftp;
    if (!vsftpd_available())
        GTEST_SKIP() << "vsftpd is not installed or we are not root";
    ASSERT_TRUE(ftp.ok()) << ftp.log();
    logged_session s;
    prepare(s, ftp.port(), ftp.user(), ftp.password());
    exercise(s, ftp.root(), ftp.root());
}

TEST(FtpRealVsftpd, WrongPasswordIsRefused)
{
    vsftpd_server ftp;
    if (!vsftpd_available())
        GTEST_SKIP() << "vsftpd is not installed or we are not root";
    ASSERT_TRUE(ftp.ok()) << ftp.log();
    logged_session s;
    prepare(s, ftp.port(), ftp.user(), "wrong");
    EXPECT_EQ(s.log_in(), status_login_refused);
    EXPECT_EQ(s.logged_in(), 0);
    EXPECT_EQ(s.reply_code(), 530);
}

TEST(FtpRealVsftpd, ReinitializeIsNotImplementedThere)
{
    vsftpd_server ftp;
    if (!vsftpd_available())
        GTEST_SKIP() << "vsftpd is not installed or we are not root";
    ASSERT_TRUE(ftp.ok()) << ftp.log();
    logged_session s;
    prepare(s, ftp.port(), ftp.user(), ftp.password());
    ASSERT_EQ(s.log_in(), 0);
    EXPECT_EQ(s.reinitialize(), 0);
    EXPECT_EQ(s.reply_code(), 502);
    EXPECT_EQ(s.logged_in(), 0);
}

TEST(FtpRealVsftpd, StartFolderAndCustomCommands)
{
    vsftpd_server ftp;
    if (!vsftpd_available())
        GTEST_SKIP() << "vsftpd is not installed or we are not root";
    ASSERT_TRUE(ftp.ok()) << ftp.log();
    fs::create_directory(ftp.root() + "/www");
    struct stat st {};
    ::stat(ftp.root().c_str(), &st);
    ASSERT_EQ(::chown((ftp.root() + "/www").c_str(), st.st_uid, st.st_gid), 0);
    logged_session s;
    prepare(s, ftp.port(), ftp.user(), ftp.password());
    inputs(s).site().custom_commands.set_string("MKD www/from-script\nSITE CHMOD 700 www/from-script\n");
    inputs(s).site().initial_folder.set_string("www");
    ASSERT_EQ(s.log_in(), 0);
    EXPECT_EQ(mode_of(ftp.root() + "/www/from-script"), 0700u);
    ASSERT_EQ(s.enter_start_folder(), 0);
    EXPECT_EQ(s.current_path().str(), ftp.root() + "/www");
}

TEST(FtpRealPyftpdlib, SessionWorksEndToEnd)
{
    if (!pyftpdlib_available())
        GTEST_SKIP() << "pyftpdlib is not installed";
    pyftpdlib_server ftp;
    ASSERT_TRUE(ftp.ok()) << ftp.log();
    logged_session s;
    prepare(s, ftp.port(), ftp.user(), ftp.password());
    exercise(s, ftp.root(), "/");
}

TEST(FtpRealPyftpdlib, WrongPasswordAndReinitialize)
{
    if (!pyftpdlib_available())
        GTEST_SKIP() << "pyftpdlib is not installed";
    pyftpdlib_server ftp;
    ASSERT_TRUE(ftp.ok()) << ftp.log();
    logged_session s;
    prepare(s, ftp.port(), ftp.user(), "wrong");
    EXPECT_EQ(s.log_in(), status_login_refused);
    inputs(s).site().password.set_string(ftp.password().c_str());
    ASSERT_EQ(s.log_in(), 0);
    // This server answers REIN with 230, which is not one of REIN's replies.
    EXPECT_EQ(s.reinitialize(), status_unexpected_reply);
    EXPECT_EQ(s.logged_in(), 0);
    EXPECT_EQ(s.send_user(), 0) << "a new login on the same connection";
}

// vsftpd through a SOCKS proxy; the site's address is what the proxy connects to.
void through_proxy(int type, const std::string& site_host, uint16_t proxy_port, const std::string& proxy_user,
                   const std::string& proxy_password, int expected)
{
    vsftpd_server ftp;
    ASSERT_TRUE(ftp.ok()) << ftp.log();
    ftp_proxy proxy;
    proxy.type = type;
    proxy.proxy_host.set_string("127.0.0.1");
    proxy.proxy_port = proxy_port;
    proxy.proxy_username.set_string(proxy_user.c_str());
    proxy.proxy_password.set_string(proxy_password.c_str());
    logged_session s;
    prepare(s, ftp.port(), ftp.user(), ftp.password());
    inputs(s).site().host.set_string(site_host.c_str());
    inputs(s).site().proxy = proxy;
    ASSERT_EQ(s.log_in(), expected);
    if (expected != 0)
        return;
    EXPECT_EQ(s.socks_client().version, type);
    ASSERT_EQ(s.print_folder(), 0);
    EXPECT_EQ(s.current_path().str(), ftp.root());
    EXPECT_EQ(s.make_folder(qxval("via proxy")), 0);
    EXPECT_TRUE(fs::is_directory(ftp.root() + "/via proxy"));
    EXPECT_EQ(s.quit(), 0);
}

class FtpThroughDante : public ::testing::Test {
protected:
    void SetUp() override
    {
        if (!dante_available() || !vsftpd_available())
            GTEST_SKIP() << "dante or vsftpd missing";
        dante = std::make_unique<dante_server>();
        ASSERT_TRUE(dante->ok()) << dante->log();
    }
    std::unique_ptr<dante_server> dante;
};

TEST_F(FtpThroughDante, Version4)
{
    through_proxy(4, "127.0.0.1", dante->port(), "", "", 0);
}

TEST_F(FtpThroughDante, Version4aWithAHostName)
{
    through_proxy(4, "localhost", dante->port(), "", "", 0);
}

TEST_F(FtpThroughDante, Version5)
{
    through_proxy(5, "127.0.0.1", dante->port(), "", "", 0);
}

TEST(FtpThroughSocks, MicrosocksWithPassword)
{
    if (!microsocks_available() || !vsftpd_available())
        GTEST_SKIP() << "microsocks or vsftpd missing";
    microsocks_server socks;
    ASSERT_TRUE(socks.ok()) << socks.log();
    through_proxy(5, "127.0.0.1", socks.port(), socks.user(), socks.password(), 0);
}

TEST(FtpThroughSocks, MicrosocksRefusesAWrongPassword)
{
    if (!microsocks_available() || !vsftpd_available())
        GTEST_SKIP() << "microsocks or vsftpd missing";
    microsocks_server socks;
    ASSERT_TRUE(socks.ok()) << socks.log();
    through_proxy(5, "127.0.0.1", socks.port(), socks.user(), "wrong", 1604);
}

}  // namespace
}  // namespace qvtf::test
