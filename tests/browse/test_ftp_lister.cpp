// The remote pane against real servers on loopback.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <memory>
#include <thread>

#include "browse/qx_ftp_file_lister.h"
#include "lister_test_util.h"
#include "remote/remote_status.h"
#include "support/fake_remote_session.h"
#include "support/ftp_servers.h"

namespace qvtf {
namespace {

using test::row_names;
using names = std::vector<std::string>;

struct command_log : remote_observer {
    std::mutex mutex;
    std::vector<std::string> commands;
    void on_log(remote_session&, std::unique_ptr<qxarr> lines, int kind) override
    {
        if (kind != log_command)
            return;
        std::lock_guard lock(mutex);
        for (const qxval& l : *lines)
            commands.push_back(std::string(l.view().substr(0, l.view().find('\r'))));
    }
    int count(const std::string& c)
    {
        std::lock_guard lock(mutex);
        return int(std::count(commands.begin(), commands.end(), c));
    }
};

template <class Server>
void run_scenario(Server& ftp)
{
    ASSERT_TRUE(ftp.ok()) << ftp.log();
    const std::string root = ftp.root();
    ::mkdir((root + "/tree").c_str(), 0755);
    ::mkdir((root + "/tree/inner").c_str(), 0755);
    for (const char* f : {"tree/inner/x.txt", "tree/y.html", "loose.txt"}) {
        std::FILE* out = std::fopen((root + "/" + f).c_str(), "w");
        ASSERT_NE(out, nullptr);
        std::fputs("data", out);
        std::fclose(out);
    }
    // The server's user owns what it serves.
    struct stat owner;
    ASSERT_EQ(::stat(root.c_str(), &owner), 0);
    for (const char* f : {"tree", "tree/inner", "tree/inner/x.txt", "tree/y.html", "loose.txt"})
        (void)!::chown((root + "/" + f).c_str(), owner.st_uid, owner.st_gid);

    global_ftp_settings settings;
    settings.is_passive = true;
    test::recording_view view;
    command_log log;
    auto pane = std::make_unique<qx_ftp_file_lister>(settings, &test::test_phrases(), &view);
    pane->watch(&log);
    pane->keepalive_interval = 1;
    pane->keepalive_tick_ms = 50;

    ftp_profile profile;
    profile.host.set_string("127.0.0.1");
    profile.host_port = ftp.port();
    profile.user_name.set_bytes(ftp.user());
    profile.password.set_bytes(ftp.password());
    profile.list_params.set_string("-a");

    ASSERT_EQ(pane->run_guarded([&] { return pane->connect_profile(&profile); }), 0);
    EXPECT_EQ(profile.time_difference_state, time_difference_measured);
    // Listings give minutes, so the measurement is good to a minute.
    EXPECT_LE(std::abs(profile.time_difference), 60);
    EXPECT_EQ(view.title, "[7]127.0.0.1");
    EXPECT_TRUE(pane->is_ready());
    const std::string home = pane->current_path().str();
    EXPECT_EQ(row_names(*pane).back(), "loose.txt");

    auto row = [&](const std::string& name) -> qxfile_node* {
        for (int32_t r = 0; r < pane->row_count(); ++r)
            if (qxfile_node* n = pane->row_node(r); n && n->name.view() == name)
                return n;
        return nullptr;
    };
    auto join = [&](const std::string& rel) { return home == "/" ? "/" + rel : home + "/" + rel; };

    // Into a folder and out again; an ancestor refreshed keeps the folder.
    ASSERT_TRUE(pane->enter_async(row("tree"), true));
    pane->wait_for_operations();
    EXPECT_EQ(pane->current_path().str(), join("tree"));
    EXPECT_EQ(row_names(*pane), (names{"..", "inner", "y.html"}));
    ASSERT_EQ(pane->run_guarded([&] { return pane->make_folder(qxval("made")); }), 0);
    EXPECT_NE(row("made"), nullptr);
    ASSERT_EQ(pane->run_guarded([&] { return pane->refresh_node(pane->current_folder()->parent); }), 0);
    EXPECT_EQ(pane->current_path().str(), join("tree"));

    // Move a file into a folder of the same pane.
    ASSERT_TRUE(pane->move_into_async({row("y.html")}, row("made")));
    pane->wait_for_operations();
    struct stat st;
    EXPECT_EQ(::stat((root + "/tree/made/y.html").c_str(), &st), 0);
    EXPECT_EQ(row("y.html"), nullptr);

    // Permissions, recursively.
    ASSERT_EQ(pane->properties_allowed(), 0);
    ASSERT_TRUE(pane->change_permissions_async(0700, true, {row("inner")}));
    pane->wait_for_operations();
    ASSERT_EQ(::stat((root + "/tree/inner/x.txt").c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0700u);

    // Delete whole trees, then go up.
    ASSERT_TRUE(pane->delete_entries_async({row("inner"), row("made")}));
    pane->wait_for_operations();
    EXPECT_NE(::stat((root + "/tree/inner").c_str(), &st), 0);
    EXPECT_NE(::stat((root + "/tree/made").c_str(), &st), 0);
    EXPECT_EQ(row_names(*pane), (names{".."}));
    ASSERT_EQ(pane->run_guarded([&] { return pane->enter(nullptr, true); }), 0);
    EXPECT_EQ(pane->current_path().str(), home);
    EXPECT_TRUE(view.errors_seen().empty());

    // Idle for more than the interval: one keep-alive, then the next.
    const int before = log.count("TYPE I");
    for (int i = 0; i < 100 && log.count("HELP") == 0; ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    EXPECT_GT(log.count("TYPE I"), before);
    EXPECT_EQ(log.count("HELP"), 1);

    // Busy: a second operation is refused while one runs.
    pane->keepalive_interval = 3600;
    std::atomic<bool> inside{false}, leave{false};
    ASSERT_TRUE(pane->run_async([&] {
        inside = true;
        for (int i = 0; i < 300 && !leave; ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        return 0;
    }));
    for (int i = 0; i < 300 && !inside; ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    ASSERT_TRUE(inside);
    EXPECT_EQ(pane->run_guarded([&] { return pane->reload(); }), status_busy);
    leave = true;
    pane->wait_for_operations();

    ASSERT_EQ(pane->disconnect(false), 0);
    EXPECT_FALSE(pane->is_ready());
    EXPECT_EQ(pane->row_count(), 0);
    EXPECT_EQ(view.title, "[196]");
    EXPECT_EQ(pane->run_guarded([&] { return pane->reload(); }), status_not_connected);
}

TEST(FtpLister, ScenarioAgainstVsftpd)
{
    if (!test::vsftpd_available())
        GTEST_SKIP() << "vsftpd not installed";
    test::vsftpd_server ftp;
    run_scenario(ftp);
}

TEST(FtpLister, ScenarioAgainstPyftpdlib)
{
    if (!test::pyftpdlib_available())
        GTEST_SKIP() << "pyftpdlib not installed";
    test::pyftpdlib_server ftp;
    run_scenario(ftp);
}

TEST(FtpLister, PermissionTextAndPropertiesRule)
{
    global_ftp_settings settings;
    auto owned = std::make_unique<test::fake_remote_session>();
    test::fake_remote_session& server = *owned;
    qx_ftp_file_lister pane(settings, &test::test_phrases(), nullptr, nullptr, std::move(owned));
    EXPECT_EQ(pane.permission_text(04755).str(), "0755");
    settings.owner_exe_bit_enabled = true;
    EXPECT_EQ(pane.permission_text(04755).str(), "04755");
    const struct {
        int styles;
        int chmod;
        int code;
    } cases[] = {{1, 1, 0}, {3, 1, status_pane_text}, {2, 1, status_pane_text}, {1, 0, status_pane_text}};
    for (const auto& c : cases) {
        server.styles = c.styles;
        server.chmod = c.chmod;
        EXPECT_EQ(pane.properties_allowed(), c.code) << c.styles << " " << c.chmod;
    }
    EXPECT_EQ(pane.last_error().str(), "[73]");
    EXPECT_EQ(pane.run_guarded([&] { return pane.change_folder(qxval("/x"), true); }), status_not_connected);
}

}  // namespace
}  // namespace qvtf

namespace qvtf {
namespace {

struct info_log : remote_observer {
    std::mutex mutex;
    std::string info;
    void on_log(remote_session&, std::unique_ptr<qxarr> lines, int kind) override
    {
        if (kind != log_info)
            return;
        std::lock_guard lock(mutex);
        for (const qxval& l : *lines)
            info += l.str();
    }
};

// The server is restarted between two commands: the next command logs in
// again once, silently (the log says so), and the pane stays connected in
// its folder, whether the command itself or the idle keep-alive met the
// closed connection first.
TEST(FtpLister, ServerRestartedBetweenCommandsIsReconnectedOnce)
{
    if (!test::pyftpdlib_available())
        GTEST_SKIP() << "pyftpdlib not installed";
    const struct {
        const char* who_meets_it;
        bool keepalive;
    } rows[] = {{"the command", false}, {"the keep-alive", true}};
    for (const auto& r : rows) {
        SCOPED_TRACE(r.who_meets_it);
        test::pyftpdlib_server ftp;
        ASSERT_TRUE(ftp.ok()) << ftp.log();
        ::mkdir((ftp.root() + "/a").c_str(), 0755);
        ::mkdir((ftp.root() + "/a/b").c_str(), 0755);

        global_ftp_settings settings;
        settings.is_passive = true;
        test::recording_view view;
        info_log log;
        qx_ftp_file_lister pane(settings, &test::test_phrases(), &view);
        pane.watch(&log);
        if (r.keepalive) {
            pane.keepalive_interval = 0;
            pane.keepalive_tick_ms = 20;
        }
        ftp_profile profile;
        profile.host.set_string("127.0.0.1");
        profile.host_port = ftp.port();
        profile.user_name.set_bytes(ftp.user());
        profile.password.set_bytes(ftp.password());
        profile.time_difference_state = time_difference_measured;  // no clock measurement
        ASSERT_EQ(pane.run_guarded([&] { return pane.connect_profile(&profile); }), 0);
        ASSERT_EQ(pane.run_guarded([&] { return pane.change_folder(qxval("/a"), true); }), 0);

        ASSERT_TRUE(ftp.restart());
        if (r.keepalive) {
            for (int i = 0; i < 500 && pane.session().logged_in(); ++i)
                std::this_thread::sleep_for(std::chrono::milliseconds(10));
            ASSERT_FALSE(pane.session().logged_in()) << "the keep-alive met the closed connection";
            pane.wait_for_operations();
            EXPECT_TRUE(pane.is_ready());
            EXPECT_EQ(view.title, "[7]127.0.0.1") << "the pane still shows the site";
            EXPECT_EQ(pane.current_path().str(), "/a");
        }
        EXPECT_EQ(pane.run_guarded([&] { return pane.make_folder(qxval("made")); }), 0);
        pane.wait_for_operations();
        EXPECT_TRUE(pane.session().logged_in());
        EXPECT_EQ(pane.current_path().str(), "/a");
        EXPECT_TRUE(::access((ftp.root() + "/a/made").c_str(), F_OK) == 0) << "made in the folder the pane was in";
        EXPECT_TRUE(view.errors_seen().empty()) << view.errors_seen().front().text;
        {
            std::lock_guard lock(log.mutex);
            EXPECT_NE(log.info.find("[249]127.0.0.1"), std::string::npos) << log.info;
        }
        ASSERT_EQ(pane.run_guarded([&] { return pane.change_folder(qxval("/a/b"), true); }), 0);

        pane.disconnect(false);
        pane.wait_for_operations();
    }
}

}  // namespace
}  // namespace qvtf
