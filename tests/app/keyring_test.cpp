// The program (offscreen, started anew for every step) with a Secret Service
// on a private session bus: passwords of an older version's files move into
// the keyring once, a start without a keyring changes nothing, and a restart
// logs in to a real server with the password only the keyring holds.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <fstream>
#include <thread>

#include <QApplication>
#include <QLineEdit>
#include <QTimer>

#include "app/app_session.h"
#include "app/main_window.h"
#include "app/password_at_connect.h"
#include "app/prompts.h"
#include "browse/qx_ftp_file_lister.h"
#include "gui_support.h"
#include "markup/qxlang.h"
#include "queue/ftp_queue_process_manager.h"
#include "profiles/ftp_profile_tree.h"
#include "settings/global_ftp_settings.h"
#include "support/ftp_servers.h"
#include "support/keyring_session.h"
#include "support/process.h"

namespace {

using qvtf::test::temp_folder;

// Site and proxy files as a version before the keyring wrote them: both
// passwords scrambled in place.
void write_old_files(const temp_folder& home, const qvtf::test::pyftpdlib_server& ftp)
{
    qvtf::global_ftp_settings settings;
    ASSERT_EQ(qvtf::start_settings(settings, qvtf::qxval(home.path())).status, 0);
    settings.proxies.first()->proxy_password.set_string("proxy-pw");
    ASSERT_EQ(settings.save(), 0);
    qvtf::qxlang language;
    qvtf::ftp_profile_tree tree;
    ASSERT_EQ(tree.load(qvtf::qxval(home.file("site_profiles.xml")), settings.key, language), 0);
    qvtf::ftp_profile* site = qvtf::ftp_profile::make(qvtf::profile_site);
    site->label.set_string("Shop");
    site->host.set_string("127.0.0.1");
    site->host_port = ftp.port();
    site->user_name.set_bytes(ftp.user());
    site->password.set_bytes(ftp.password());
    site->encryption = qvtf::encryption_plain;
    site->time_difference_state = qvtf::time_difference_switched_off;
    tree.tree.append_child(site, tree.top());
    ASSERT_EQ(tree.save(qvtf::qxval(home.file("site_profiles.xml")), settings.key), qvtf::profile_ok);
}

// Runs the program to its end (bounded) with the bus address given; its
// output, or a note that it had to be stopped.
std::string run_program(const std::vector<std::string>& args, const std::string& bus, const temp_folder& home)
{
    const char* before = std::getenv("DBUS_SESSION_BUS_ADDRESS");
    const std::string kept = before ? before : "";
    ::setenv("DBUS_SESSION_BUS_ADDRESS", bus.c_str(), 1);
    ::setenv("QT_QPA_PLATFORM", "offscreen", 1);
    std::vector<std::string> argv{std::string(QVTF_PROGRAM_DIR) + "/qvtf", "--home", home.path()};
    argv.insert(argv.end(), args.begin(), args.end());
    qvtf::test::child_process program;
    const std::string output = home.file("program.out");
    const bool started = program.start(argv, output);
    if (before)
        ::setenv("DBUS_SESSION_BUS_ADDRESS", kept.c_str(), 1);
    else
        ::unsetenv("DBUS_SESSION_BUS_ADDRESS");
    if (!started)
        return "did not start";
    for (int i = 0; i < 900 && program.running(); ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    if (program.running()) {
        program.stop();
        return "stopped after 90 s: " + qvtf::test::read_text_file(output);
    }
    return qvtf::test::read_text_file(output);
}

std::size_t count_of(const std::string& text, const std::string& what)
{
    std::size_t n = 0;
    for (std::size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1))
        ++n;
    return n;
}

TEST(Keyring, PasswordsMoveInOnceAndLogInFromThereAfterARestart)
{
    qvtf::test::keyring_session keyring;
    if (!keyring.ok())
        GTEST_SKIP() << keyring.why();
    qvtf::test::pyftpdlib_server ftp("shop", "Sh0p-keyring-pw");
    ASSERT_TRUE(ftp.ok()) << ftp.log();
    std::ofstream(ftp.root() + "/index.html") << "<p>";
    temp_folder home("qvtf-keyring-home");
    temp_folder no_keyring_home("qvtf-keyring-none");
    write_old_files(home, ftp);
    write_old_files(no_keyring_home, ftp);
    const std::string nowhere = "unix:path=" + home.file("no-bus");
    const std::string old_profiles = file_text(no_keyring_home.file("site_profiles.xml"));
    ASSERT_NE(old_profiles.find(" password=\""), std::string::npos);

    struct step {
        const char* name;
        const temp_folder* home;
        bool keyring;
        std::vector<std::string> args;
        bool passwords_in_files;  // afterwards
    };
    const step steps[] = {
        {"no keyring answers: the files keep them", &no_keyring_home, false, {"--setup-only"}, true},
        {"the first start with a keyring moves them in", &home, true, {"--setup-only"}, false},
        {"a start without the keyring loses nothing", &home, false, {"--setup-only"}, false},
        {"a restart logs in with the keyring's password", &home, true,
         {"--connect", "Shop", "--screenshot", home.file("shot.png")}, false},
    };
    for (const step& s : steps) {
        SCOPED_TRACE(s.name);
        const std::size_t logins = count_of(ftp.log(), "logged in");
        const std::string profiles_before = file_text(s.home->file("site_profiles.xml"));
        const std::string output = run_program(s.args, s.keyring ? keyring.address() : nowhere, *s.home);
        EXPECT_EQ(output.find("stopped after"), std::string::npos) << output;

        const std::string profiles = file_text(s.home->file("site_profiles.xml"));
        const std::string settings = file_text(s.home->file("qorx_gfs.txt"));
        EXPECT_EQ(profiles.find(" password=\"") != std::string::npos, s.passwords_in_files) << profiles;
        EXPECT_EQ(profiles.find("password_in=\"keyring\"") != std::string::npos, !s.passwords_in_files) << profiles;
        EXPECT_EQ(settings.find("<proxy_password></proxy_password>") != std::string::npos, !s.passwords_in_files);
        EXPECT_EQ(settings.find("<proxy_password_in>keyring</proxy_password_in>") != std::string::npos,
                  !s.passwords_in_files);
        if (!s.keyring) {
            EXPECT_EQ(profiles, profiles_before) << "a start without a keyring changed the site file";
        }
        if (!s.args.empty() && s.args[0] == "--connect") {
            EXPECT_EQ(output.find("before the demo was ready"), std::string::npos) << output;
            EXPECT_GT(count_of(ftp.log(), "logged in"), logins) << ftp.log();
        }
    }
}

// "Do not store": the files lose the password, the next run asks for it at
// connect, logs in with the answer and keeps it only in memory.
TEST(Keyring, PasswordsNotStoredAreAskedAtConnect)
{
    gui_application();
    qvtf::test::pyftpdlib_server ftp("shop", "Sh0p-asked-pw");
    ASSERT_TRUE(ftp.ok()) << ftp.log();
    temp_folder home("qvtf-keyring-asked");
    write_old_files(home, ftp);
    session_options options;
    options.home = home.path();
    options.first_activation = false;
    {
        app_session session;
        ASSERT_TRUE(session.start(options)) << session.error().toStdString();
        session.settings().password_storage = qvtf::passwords_not_stored;
        EXPECT_TRUE(session.settle_passwords());
        session.stop();
    }
    EXPECT_EQ(file_text(home.file("site_profiles.xml")).find(" password=\""), std::string::npos);
    EXPECT_NE(file_text(home.file("qorx_gfs.txt")).find("<proxy_password></proxy_password>"), std::string::npos);

    app_session session;
    ASSERT_TRUE(session.start(options)) << session.error().toStdString();
    session.window().tell = [](const QString&, const QString& text, bool) { ADD_FAILURE() << text.toStdString(); };
    session.window().show();
    qvtf::ftp_profile* site = session.profiles().find("Shop");
    ASSERT_NE(site, nullptr);
    EXPECT_TRUE(site->password.view().empty());
    int asked = 0;
    QTimer answer;
    QObject::connect(&answer, &QTimer::timeout, [&] {
        if (auto* prompt = qobject_cast<qx_password_prompt*>(QApplication::activeModalWidget())) {
            ++asked;
            prompt->edit().setText(QString::fromStdString(ftp.password()));
            prompt->accept();
        }
    });
    answer.start(50);
    const int32_t storage = session.settings().password_storage;
    ASSERT_TRUE(password_for_connect(&session.window(), &session.language(), storage, site, nullptr));
    EXPECT_EQ(asked, 1);
    EXPECT_EQ(site->password.str(), ftp.password());
    // Known for the rest of the run: the next connect asks nothing.
    EXPECT_FALSE(password_asked_at_connect(*site, storage));
    session.queue().set_profile(site);
    EXPECT_TRUE(process_until([&] { return session.remote().session().logged_in(); }, 20000)) << ftp.log();
    answer.stop();
    session.window().close();
    process_until([&] { return !session.window().isVisible(); });
    session.stop();
    EXPECT_EQ(file_text(home.file("site_profiles.xml")).find(" password=\""), std::string::npos);
}

// A first run's key is on disk before any password is scrambled with it,
// so a run that never reaches its exit (killed, crashed) leaves passwords
// the next run reads. Under a key that is gone they read back as empty,
// never as garbage that would be sent to a server and saved again.
TEST(Keyring, SavedPasswordsOutliveARunThatNeverExits)
{
    gui_application();
    temp_folder home("qvtf-keyring-killed");
    session_options options;
    options.home = home.path();
    options.first_activation = false;
    const std::string password = "Sh0p-kept-pw";
    {
        app_session session;
        ASSERT_TRUE(session.start(options)) << session.error().toStdString();
        qvtf::ftp_profile* site = qvtf::ftp_profile::make(qvtf::profile_site);
        site->label.set_string("Shop");
        site->host.set_string("127.0.0.1");
        site->password.set_bytes(password);
        session.profiles().tree.append_child(site, session.profiles().top());
        ASSERT_EQ(session.save_profiles(), qvtf::profile_ok);
        // No stop(): the run ends without its exit.
    }
    struct restart {
        const char* name;
        bool settings_lost;
        std::string expected;
    };
    for (const restart& r : {restart{"after a killed run", false, password}, restart{"settings file lost", true, ""}}) {
        SCOPED_TRACE(r.name);
        if (r.settings_lost) {
            ASSERT_EQ(std::remove(home.file("qorx_gfs.txt").c_str()), 0);
        }
        app_session session;
        ASSERT_TRUE(session.start(options)) << session.error().toStdString();
        const qvtf::ftp_profile* site = session.profiles().find("Shop");
        ASSERT_NE(site, nullptr);
        EXPECT_EQ(site->password.str(), r.expected);
    }
}

}  // namespace
