// qvtf-cli with a program folder of its own: "sites" on a written profile
// file, and --site connecting to vsftpd as the profile and the settings say,
// directly and through SOCKS proxies named in the settings.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>

#include "ftp/ftp_control.h"
#include "profiles/ftp_profile_tree.h"
#include "settings/global_ftp_settings.h"
#include "support/ftp_servers.h"
#include "support/process.h"
#include "support/socks_servers.h"
#include "tools/qvtf-cli/cli_program.h"
#include "tools/qvtf-cli/cli_session.h"

namespace qvtf::test {
namespace {

namespace fs = std::filesystem;

// A program folder written with the engine's own save functions.
struct cli_home {
    temp_folder dir{"qvtf-cli-home"};
    qxlang language;
    global_ftp_settings settings;
    ftp_profile_tree profiles;

    cli_home()
    {
        for (const char* name : {"qorx.bin", "ext.txt"})
            fs::copy_file(fs::path(QVTF_PROGRAM_DIR) / name, fs::path(dir.path()) / name);
        qxval error;
        EXPECT_EQ(language.load(qxval(dir.file("qorx.bin")), error), lang_ok) << error.c_str();
        EXPECT_TRUE(start_settings(settings, qxval(dir.path())).first_run);
        EXPECT_EQ(profiles.reset(language), profile_ok);
    }
    ftp_profile* add(ftp_profile* parent, int32_t kind, const char* label)
    {
        ftp_profile* node = ftp_profile::make(kind);
        node->label = label;
        profiles.tree.append_child(node, parent ? parent : profiles.top());
        return node;
    }
    ftp_profile* add_site(ftp_profile* parent, const char* label, const vsftpd_server& ftp)
    {
        ftp_profile* site = add(parent, profile_site, label);
        site->host = "127.0.0.1";
        site->host_port = ftp.port();
        site->user_name = ftp.user();
        site->password = ftp.password();
        return site;
    }
    void save()
    {
        ASSERT_EQ(settings.save(), 0);
        ASSERT_EQ(profiles.save(qxval(dir.file("site_profiles.xml")), settings.key), profile_ok);
    }
};

struct cli_result {
    int code = -1;
    std::string out, err;
};

std::string drain(std::FILE* f)
{
    std::fflush(f);
    std::rewind(f);
    std::string s;
    char buf[4096];
    for (size_t n; (n = std::fread(buf, 1, sizeof buf, f)) > 0;)
        s.append(buf, n);
    std::fclose(f);
    return s;
}

cli_result run(cli::options o)
{
    o.timeout = 10;
    std::FILE* out = std::tmpfile();
    std::FILE* err = std::tmpfile();
    cli_result r;
    r.code = cli::run_program(o, out, err);
    r.out = drain(out);
    r.err = drain(err);
    return r;
}

cli::options site_options(const cli_home& home, const std::string& site, const std::string& command)
{
    cli::options o;
    o.home = home.dir.path();
    o.site = site;
    o.log = true;
    o.commands = {{command}};
    return o;
}

// A folder in the server's tree that its user may write to.
std::string server_folder(const vsftpd_server& ftp, const std::string& name)
{
    const std::string path = ftp.root() + "/" + name;
    fs::create_directories(path);
    EXPECT_EQ(std::system(("chown -R " + ftp.user() + " " + ftp.root()).c_str()), 0);
    return path;
}

TEST(CliSites, PrintsEveryNodeWithItsKindAndPath)
{
    cli_home home;
    ftp_profile* work = home.add(nullptr, profile_group, "Work & <Play>");
    ftp_profile* alpha = home.add(work, profile_site, "Alpha \"A\"");
    home.add(alpha, profile_bookmark, "Logs");
    ftp_profile* sub = home.add(work, profile_group, "Sub");
    home.add(sub, profile_site, "Beta");
    home.add(nullptr, profile_site, "Solo");
    home.save();

    cli::options o;
    o.home = home.dir.path();
    o.commands = {{"sites"}};
    cli_result r = run(o);
    ASSERT_EQ(r.code, 0) << r.err;
    EXPECT_EQ(r.out,
              "group\tWork & <Play>\n"
              "site\tWork & <Play>/Alpha \"A\"\n"
              "bookmark\tWork & <Play>/Alpha \"A\"/Logs\n"
              "group\tWork & <Play>/Sub\n"
              "site\tWork & <Play>/Sub/Beta\n"
              "site\tSolo\n");

    // No profile file: an empty tree. A damaged one is an error, not empty.
    fs::remove(home.dir.file("site_profiles.xml"));
    r = run(o);
    EXPECT_EQ(r.code, 0);
    EXPECT_EQ(r.out, "");
    ASSERT_TRUE(home.dir.write("site_profiles.xml", "<sites><group label=\"x\"><site"));
    r = run(o);
    EXPECT_EQ(r.code, 1);
    EXPECT_NE(r.err.find("cannot read"), std::string::npos) << r.err;
}

class CliSite : public ::testing::Test {
protected:
    void SetUp() override
    {
        if (!vsftpd_available())
            GTEST_SKIP() << "vsftpd missing";
        ftp = std::make_unique<vsftpd_server>();
        ASSERT_TRUE(ftp->ok()) << ftp->log();
    }
    std::unique_ptr<vsftpd_server> ftp;
    cli_home home;
};

TEST_F(CliSite, ConnectsAsTheProfileIntoItsStartFolderAndMeasuresTheClock)
{
    ftp_profile* site = home.add_site(home.add(nullptr, profile_group, "Work"), "Alpha", *ftp);
    site->directory = server_folder(*ftp, "start");
    home.save();
    const std::string settings_before = read_text_file(home.settings.settings_path.str());

    cli_result r = run(site_options(home, "Alpha", "pwd"));
    ASSERT_EQ(r.code, 0) << r.err;
    EXPECT_EQ(r.out, ftp->root() + "/start\n");
    EXPECT_NE(r.err.find("> STOR qvtf-timediff"), std::string::npos) << r.err;
    EXPECT_NE(r.err.find("~ time difference "), std::string::npos) << r.err;
    EXPECT_EQ(r.err.find(ftp->password()), std::string::npos);
    // The probe is gone and the window program's files are untouched.
    EXPECT_EQ(std::distance(fs::directory_iterator(ftp->root() + "/start"), {}), 0);
    EXPECT_EQ(read_text_file(home.settings.settings_path.str()), settings_before);

    // An explicit option replaces the profile's field.
    cli::options o = site_options(home, "Work/Alpha", "pwd");
    o.user = "nobody";
    o.given = {"--user"};
    r = run(o);
    EXPECT_EQ(r.code, 1);
    EXPECT_NE(r.err.find("> USER nobody"), std::string::npos) << r.err;
}

TEST_F(CliSite, BookmarkEntersItsFolderAndASwitchedOffClockIsLeftAlone)
{
    ftp_profile* site = home.add_site(home.add(nullptr, profile_group, "Work"), "Alpha", *ftp);
    site->directory = server_folder(*ftp, "start");
    site->time_difference_state = time_difference_switched_off;
    home.add(site, profile_bookmark, "Logs")->directory = server_folder(*ftp, "logs");
    home.save();

    cli_result r = run(site_options(home, "Work/Alpha/Logs", "pwd"));
    ASSERT_EQ(r.code, 0) << r.err;
    EXPECT_EQ(r.out, ftp->root() + "/logs\n");
    EXPECT_EQ(r.err.find("STOR"), std::string::npos) << r.err;
}

TEST_F(CliSite, UnknownSiteOrAGroupFailsWithExit1)
{
    home.add_site(home.add(nullptr, profile_group, "Work"), "Alpha", *ftp);
    home.save();
    cli_result r = run(site_options(home, "Work/Nope", "pwd"));
    EXPECT_EQ(r.code, 1);
    EXPECT_NE(r.err.find("no site \"Work/Nope\""), std::string::npos) << r.err;
    EXPECT_EQ(r.err.find("USER"), std::string::npos) << "nothing was sent";
    r = run(site_options(home, "Work", "pwd"));
    EXPECT_EQ(r.code, 1);
    EXPECT_NE(r.err.find("is a group"), std::string::npos) << r.err;
    // A damaged settings file stops it as it stops the window program, with
    // the settings' own code for a column list of the wrong length.
    ASSERT_TRUE(home.dir.write("qorx_gfs.txt", "<q_cw>1,2</q_cw>"));
    r = run(site_options(home, "Alpha", "pwd"));
    EXPECT_EQ(r.code, 1);
    EXPECT_NE(r.err.find("status 3002"), std::string::npos) << r.err;
}

TEST_F(CliSite, LostKeyDropsStoredPasswordsForTheEnvironmentOne)
{
    home.add_site(nullptr, "Alpha", *ftp);
    home.save();
    // A damaged key record: start-up makes a new key, and the password the
    // profile file holds can no longer be read back.
    std::string text = read_text_file(home.settings.settings_path.str());
    const auto from = text.find("<user_data>") + 11;
    text.replace(from, text.find("</user_data>") - from, "AAAA");
    ASSERT_TRUE(home.dir.write("qorx_gfs.txt", text));

    cli::options o = site_options(home, "Alpha", "pwd");
    cli_result r = run(o);
    EXPECT_EQ(r.code, 1);
    EXPECT_NE(r.err.find("> PASS \n"), std::string::npos) << "an empty password, not garbage: " << r.err;
    o.password = ftp->password();
    r = run(o);
    EXPECT_EQ(r.code, 0) << r.err;
}

// Connects as the site through the proxy the settings choose and lists.
int connect_and_list(const cli_home& home, const std::string& site, int expected_socks_version)
{
    cli::options o = site_options(home, site, "ls");
    o.timeout = 10;
    std::FILE* out = std::tmpfile();
    std::FILE* err = std::tmpfile();
    int status = -1;
    {
        cli::cli_session session(o, out, err);
        EXPECT_TRUE(session.load_program_files({QVTF_PROGRAM_DIR "/", home.dir.path() + "/"}));
        session.fill_connection();
        EXPECT_TRUE(session.session().site().proxy.has_value());
        status = session.connect();
        if (status == 0) {
            EXPECT_EQ(dynamic_cast<ftp_control&>(session.session()).socks_client().version, expected_socks_version);
            status = session.run({"ls"});
            session.session().disconnect();
        }
    }
    const std::string log = drain(err);
    drain(out);
    // Refused by the proxy, the server never saw a login.
    EXPECT_EQ(log.find("> USER ") != std::string::npos, status == 0) << log;
    return status;
}

TEST_F(CliSite, ThroughTheSiteProxyOfTheSettings)
{
    if (!microsocks_available())
        GTEST_SKIP() << "microsocks missing";
    microsocks_server socks;
    ASSERT_TRUE(socks.ok()) << socks.log();
    ftp_proxy* proxy = home.settings.proxies.first();
    proxy->type = proxy_type_socks5;
    proxy->proxy_host = "127.0.0.1";
    proxy->proxy_port = socks.port();
    proxy->proxy_username = socks.user();
    proxy->proxy_password = socks.password();
    home.settings.proxies.default_proxy_type = proxy_choice_per_site;
    home.add_site(nullptr, "Socks site", *ftp)->proxy_key = proxy->key;
    home.save();
    // The proxy password went through the settings file scrambled.
    EXPECT_EQ(read_text_file(home.settings.settings_path.str()).find(socks.password()), std::string::npos);
    EXPECT_EQ(connect_and_list(home, "Socks site", 5), 0);

    // The proxy really is in the way: its refusal is the connection's.
    proxy->proxy_password = "wrong";
    home.save();
    EXPECT_EQ(connect_and_list(home, "Socks site", 5), 1604);
}

TEST_F(CliSite, ThroughTheDefaultProxyOfTheSettings)
{
    if (!dante_available())
        GTEST_SKIP() << "dante missing";
    dante_server dante;
    ASSERT_TRUE(dante.ok()) << dante.log();
    ftp_proxy* proxy = home.settings.proxies.first();
    proxy->type = proxy_type_socks4;
    proxy->proxy_host = "127.0.0.1";
    proxy->proxy_port = dante.port();
    home.settings.proxies.default_proxy_type = proxy_choice_default;
    home.add_site(nullptr, "Dante site", *ftp);
    home.save();
    EXPECT_EQ(connect_and_list(home, "Dante site", 4), 0);
    cli_result r = run(site_options(home, "Dante site", "ls"));
    EXPECT_EQ(r.code, 0) << r.err;
}

}  // namespace
}  // namespace qvtf::test
