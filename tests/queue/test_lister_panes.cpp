// The queue over the window's two panes, against pyftpdlib: connecting
// through set_profile, a remote folder put onto the local pane's folder,
// the remote pane's filter keeping its hidden files out of the queue, and
// folder trees both ways while both panes refresh by themselves.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <thread>

#include "queue/ftp_queue_process_manager.h"
#include "queue/lister_queue_panes.h"
#include "queue_test_support.h"
#include "support/ftp_servers.h"
#include "support/process.h"
#include "support/test_phrases.h"
#include "support/test_site.h"

namespace qvtf::test {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

qxfile_node* child_named(qxfile_node* folder, const std::string& name)
{
    for (qxfile_node* n = folder ? folder->first_child : nullptr; n; n = n->next)
        if (n->name.str() == name)
            return n;
    return nullptr;
}

// Also when the keep-alive found the connection dropped (the server was
// restarted) before the folder was put: the queue logs in again first.
TEST(ListerPanes, RemoteFolderOntoTheLocalPane)
{
    if (!pyftpdlib_available())
        GTEST_SKIP() << "pyftpdlib not installed";
    for (const bool dropped : {false, true}) {
        SCOPED_TRACE(dropped ? "dropped while idle" : "connected");
        pyftpdlib_server server;
        ASSERT_TRUE(server.ok()) << server.log();
        fs::create_directories(server.root() + "/src/sub");
        std::ofstream(server.root() + "/src/a.txt") << "alpha";
        std::ofstream(server.root() + "/src/b.skip") << "hidden";
        std::ofstream(server.root() + "/src/sub/c.txt") << "gamma";
        temp_folder local_folder("qvtf-lister-panes");

        global_ftp_settings settings;
        qx_lister_view lister_view;
        qx_ftp_file_lister remote(settings, &test_phrases(), &lister_view);
        qx_local_file_lister local(settings, &test_phrases(), &lister_view);
        ASSERT_EQ(local.change_folder(qxval(local_folder.path()), true), 0);
        remote.set_filter(qxval("*"), qxval("*.skip"), false, 0, 0, false, 0, 0);

        const auto site = loopback_site(server.port(), server.user(), server.password());

        lister_queue_panes panes(remote, local);
        std::atomic<int> finished{0}, failed{0};
        {
            ftp_queue_process_manager q;
            q.panes = &panes;
            q.language = &test_phrases();
            q.settings = &settings;
            when_finished(q, [&](const queue_item_result& r) {
                ++finished;
                failed += r.succeeded ? 0 : 1;
            });
            q.max_threads = 2;
            ASSERT_EQ(q.open(), 0);
            q.set_profile(site.get());
            remote.wait_for_operations();
            ASSERT_TRUE(remote.session().logged_in());
            q.start();
            qxfile_node* src = child_named(remote.current_folder(), "src");
            ASSERT_NE(src, nullptr);
            if (dropped) {
                remote.keepalive_interval = 0;
                remote.keepalive_tick_ms = 20;
                ASSERT_TRUE(server.restart());
                for (int i = 0; i < 500 && remote.session().logged_in(); ++i)
                    std::this_thread::sleep_for(10ms);
                ASSERT_FALSE(remote.session().logged_in());
                ASSERT_TRUE(remote.is_ready());
            }
            q.put_nodes(1, {src}, local.current_folder(), 0);
            // src, a.txt, sub, c.txt
            for (int i = 0; i < 1000 && finished < 4; ++i)
                std::this_thread::sleep_for(10ms);
            EXPECT_TRUE(q.wait_until_empty(30000));
            q.close();
            remote.wait_for_operations();
            local.wait_for_operations();
        }
        EXPECT_EQ(finished, 4);
        EXPECT_EQ(failed, 0);
        EXPECT_EQ(read_text_file(local_folder.file("src/a.txt")), "alpha");
        EXPECT_EQ(read_text_file(local_folder.file("src/sub/c.txt")), "gamma");
        EXPECT_FALSE(fs::exists(local_folder.file("src/b.skip")));
    }
}

// The banner the remote pane shows while the queue runs an item on its own
// session (no workers), kept apart from the pane's own texts.
class banner_log : public qx_lister_view {
public:
    void banner_changed(bool busy, const qxval& text) override
    {
        std::lock_guard hold(mutex_);
        if (busy)
            texts_.push_back(text.str());
    }
    bool saw(const std::string& text) const
    {
        std::lock_guard hold(mutex_);
        return std::find(texts_.begin(), texts_.end(), text) != texts_.end();
    }

private:
    mutable std::mutex mutex_;
    std::vector<std::string> texts_;
};

// An upload on the browser connection into a folder the pane listed before:
// the banner names the file, and entering the folder again lists it afresh.
TEST(ListerPanes, UploadOnTheBrowserConnectionMakesItsFolderStale)
{
    if (!pyftpdlib_available())
        GTEST_SKIP() << "pyftpdlib not installed";
    pyftpdlib_server server;
    ASSERT_TRUE(server.ok()) << server.log();
    fs::create_directories(server.root() + "/up");
    temp_folder local_folder("qvtf-lister-stale");
    std::ofstream(local_folder.file("new.txt")) << "fresh";

    global_ftp_settings settings;
    banner_log remote_view;
    qx_lister_view local_view;
    qx_ftp_file_lister remote(settings, &test_phrases(), &remote_view);
    qx_local_file_lister local(settings, &test_phrases(), &local_view);
    ASSERT_EQ(local.change_folder(qxval(local_folder.path()), true), 0);
    const auto site = loopback_site(server.port(), server.user(), server.password());

    lister_queue_panes panes(remote, local);
    ftp_queue_process_manager q;
    q.panes = &panes;
    q.language = &test_phrases();
    q.settings = &settings;
    q.max_threads = 0;
    ASSERT_EQ(q.open(), 0);
    q.set_profile(site.get());
    remote.wait_for_operations();
    ASSERT_TRUE(remote.session().logged_in());
    ASSERT_EQ(remote.change_folder(qxval("/up"), false), 0);
    ASSERT_EQ(remote.change_folder(qxval("/"), false), 0);
    qxfile_node* up = child_named(remote.current_folder(), "up");
    qxfile_node* file = child_named(local.current_folder(), "new.txt");
    ASSERT_TRUE(up && file);
    q.start();
    q.put_nodes(0, {file}, up, 0);
    // The items are built in a thread of their own: wait for the file first.
    for (int i = 0; i < 1500 && read_text_file(server.root() + "/up/new.txt") != "fresh"; ++i)
        std::this_thread::sleep_for(10ms);
    EXPECT_TRUE(q.wait_until_empty(30000));
    q.close();
    remote.wait_for_operations();
    EXPECT_TRUE(remote_view.saw("[41]new.txt"));

    ASSERT_EQ(remote.change_folder(qxval("/up"), false), 0);
    bool listed = false;
    for (int32_t row = 0; row < remote.row_count(); ++row)
        listed = listed || (remote.row_node(row) && remote.row_node(row)->name.str() == "new.txt");
    EXPECT_TRUE(listed) << "the folder is listed again, not shown from before the upload";
    local.wait_for_operations();
}

// Every error either pane would show as a box.
class error_log : public qx_lister_view {
public:
    void error_shown(int code, const qxval& text) override
    {
        std::lock_guard hold(mutex_);
        errors_ += std::to_string(code) + " " + text.str() + "\n";
    }
    std::string errors() const
    {
        std::lock_guard hold(mutex_);
        return errors_;
    }

private:
    mutable std::mutex mutex_;
    std::string errors_;
};

// Writes files of a tree three folders deep under root; their paths below it.
std::vector<std::string> write_tree(const std::string& root, const std::string& tag)
{
    std::vector<std::string> files;
    std::string folder;
    for (const char* level : {"", "one/", "one/two/", "one/two/three/"}) {
        folder = level;
        fs::create_directories(root + "/" + folder);
        for (int i = 0; i < 3; ++i) {
            const std::string name = folder + tag + std::to_string(i) + ".txt";
            std::ofstream(root + "/" + name) << name;
            files.push_back(name);
        }
    }
    fs::create_directories(root + "/one/empty");
    return files;
}

// Folder trees queued up and down at once, while the local pane's watcher
// re-lists the folder the downloads arrive in and each expansion asks the
// remote pane to show itself afresh: every file arrives, and neither the
// queue nor a pane shows a box (the expansions used to meet the panes'
// own refreshes as "busy" and drop files without a failed entry).
TEST(ListerPanes, FolderTreesBothWaysWhileThePanesRefresh)
{
    if (!pyftpdlib_available())
        GTEST_SKIP() << "pyftpdlib not installed";
    pyftpdlib_server server;
    ASSERT_TRUE(server.ok()) << server.log();
    const auto down_files = write_tree(server.root() + "/down", "d");
    temp_folder local_folder("qvtf-lister-trees");
    const auto up_files = write_tree(local_folder.file("up"), "u");
    fs::create_directories(server.root() + "/target");

    global_ftp_settings settings;
    error_log remote_view, local_view;
    qx_ftp_file_lister remote(settings, &test_phrases(), &remote_view);
    qx_local_file_lister local(settings, &test_phrases(), &local_view);
    ASSERT_EQ(local.change_folder(qxval(local_folder.path()), true), 0);
    local.start_watching();
    const auto site = loopback_site(server.port(), server.user(), server.password());

    lister_queue_panes panes(remote, local);
    recording_view queue_view;
    std::atomic<int> failed{0};
    std::mutex failures_mutex;
    std::string failures;
    {
        ftp_queue_process_manager q;
        q.panes = &panes;
        q.view = &queue_view;
        q.language = &test_phrases();
        q.settings = &settings;
        when_finished(q, [&](const queue_item_result& r) {
            if (r.succeeded)
                return;
            ++failed;
            std::lock_guard lock(failures_mutex);
            failures += r.remote_path.str() + " " + r.error_text.str() + "\n";
        });
        q.max_threads = 2;
        ASSERT_EQ(q.open(), 0);
        q.set_profile(site.get());
        remote.wait_for_operations();
        ASSERT_TRUE(remote.session().logged_in());
        q.start();
        qxfile_node* down = child_named(remote.current_folder(), "down");
        qxfile_node* target = child_named(remote.current_folder(), "target");
        qxfile_node* up = child_named(local.current_folder(), "up");
        ASSERT_TRUE(down && target && up);
        q.put_nodes(1, {down}, local.current_folder(), 0);
        q.put_nodes(0, {up}, target, 0);
        // Both requests are queued in threads of their own: wait for the last file.
        const std::string last_up = server.root() + "/target/up/" + up_files.back();
        const std::string last_down = local_folder.file("down/" + down_files.back());
        for (int i = 0; i < 3000 && !(fs::exists(last_up) && fs::exists(last_down)); ++i)
            std::this_thread::sleep_for(10ms);
        EXPECT_TRUE(q.wait_until_empty(60000));
        q.close();
        remote.wait_for_operations();
        local.wait_for_operations();
    }
    local.stop_watching();
    EXPECT_EQ(failed, 0) << failures;
    for (const std::string& name : down_files)
        EXPECT_EQ(read_text_file(local_folder.file("down/" + name)), name);
    for (const std::string& name : up_files)
        EXPECT_EQ(read_text_file(server.root() + "/target/up/" + name), name);
    EXPECT_TRUE(fs::is_directory(local_folder.file("down/one/empty")));
    EXPECT_TRUE(fs::is_directory(server.root() + "/target/up/one/empty"));
    EXPECT_EQ(remote_view.errors(), "");
    EXPECT_EQ(local_view.errors(), "");
    EXPECT_TRUE(queue_view.errors().empty()) << queue_view.errors().front();
}

}  // namespace
}  // namespace qvtf::test
