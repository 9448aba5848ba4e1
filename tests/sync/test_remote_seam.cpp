// The browser pane, the queue and sync need nothing of a protocol: each runs
// here through a double of remote_session, its calls checked as the scripted
// server's tests check wire lines, and the bytes checked on disk.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "browse/lister_test_util.h"
#include "browse/qx_ftp_file_lister.h"
#include "queue/ftp_queue_process_manager.h"
#include "support/fake_remote_session.h"
#include "support/process.h"
#include "support/queue_finished.h"
#include "sync/sync_engine.h"

namespace qvtf::test {
namespace {

using calls = std::vector<std::string>;

std::string read_text(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

void write_text(const std::string& path, const std::string& text)
{
    std::ofstream(path, std::ios::binary) << text;
}

// The calls after the first `from` ones.
calls after(const fake_remote_session& s, std::size_t from)
{
    const calls all = s.calls();
    return calls(all.begin() + static_cast<std::ptrdiff_t>(std::min(from, all.size())), all.end());
}

// The queue's view of a session that is the browser connection.
class session_panes : public queue_panes {
public:
    explicit session_panes(remote_session& s) : session_(s) {}
    remote_session* browser() override { return &session_; }
    int local_path_of(const qxfile_node*, qxval& out) override { return out.set_bytes(""), 0; }
    int remote_path_of(const qxfile_node*, qxval& out) override { return out.set_bytes(""), 0; }

private:
    remote_session& session_;
};

// A queue whose items run on the browser connection.
struct browser_queue {
    explicit browser_queue(remote_session& s) : panes(s)
    {
        queue.panes = &panes;
        queue.view = &view;
        queue.language = &test_phrases();
        queue.max_threads = 0;
        queue.retry_limit = 1;
    }
    session_panes panes;
    queue_view view;
    ftp_queue_process_manager queue;
};

TEST(RemoteSeam, PaneQueueAndSyncRunThroughTheInterface)
{
    temp_folder local("qvtf-seam");
    auto owned = std::make_unique<fake_remote_session>();
    fake_remote_session& server = *owned;
    server.add_folder("/www");
    server.add_file("/www/index.html", "<html>");
    server.add_folder("/www/img");
    server.add_file("/www/img/logo.png", "PNG");
    server.add_folder("/www/old");
    server.add_file("/www/old/gone.txt", "bye");

    // ---- the browser pane ----
    global_ftp_settings settings;
    recording_view view;
    qx_ftp_file_lister pane(settings, &test_phrases(), &view, nullptr, std::move(owned));
    ftp_profile profile;
    profile.host.set_string("example.org");
    profile.user_name.set_string("bob");
    profile.directory.set_string("/www");
    profile.time_difference_state = time_difference_measured;
    ASSERT_EQ(pane.run_guarded([&] { return pane.connect_profile(&profile); }), 0);
    EXPECT_EQ(server.calls(), (calls{"LOGIN bob@example.org", "CWD /www", "CWD /www", "LIST /www"}));
    EXPECT_EQ(pane.current_path().str(), "/www");
    EXPECT_EQ(pane.row_count(), 4) << "the up-row and three entries";

    std::size_t seen = server.calls().size();
    ASSERT_EQ(pane.run_guarded([&] { return pane.make_folder(qxval("new")); }), 0);
    qxfile_node* old = nullptr;
    for (qxfile_node* n = pane.current_folder()->first_child; n; n = n->next)
        if (n->name.view() == "old")
            old = n;
    ASSERT_NE(old, nullptr);
    ASSERT_EQ(pane.run_guarded([&] { return pane.delete_entries({old}); }), 0);
    EXPECT_EQ(after(server, seen), (calls{"MKD /www/new", "CWD /www", "LIST /www", "DELE /www/old/gone.txt",
                                          "RMD /www/old", "CWD /www", "LIST /www"}));
    EXPECT_FALSE(server.exists("/www/old"));
    // A refusal's reply reaches the pane's message.
    server.refuse("/www/img");
    seen = server.calls().size();
    EXPECT_EQ(pane.run_guarded([&] { return pane.change_folder(qxval("img"), false); }), status_refused);
    EXPECT_EQ(after(server, seen), (calls{"CWD /www/img"}));
    ASSERT_FALSE(view.errors_seen().empty());
    EXPECT_NE(view.errors_seen().back().text.find("550 refused"), std::string::npos);

    // ---- a queued download of a file and a folder, on the browser connection ----
    fake_remote_session plain;
    plain.add_folder("/d");
    plain.add_file("/d/a.txt", "alpha");
    plain.add_folder("/d/sub");
    plain.add_file("/d/sub/b.txt", "beta");
    plain.add_file("/top.txt", "top");
    ASSERT_EQ(plain.log_in(), 0);
    ASSERT_EQ(plain.change_folder(qxval("/")), 0);
    ASSERT_EQ(plain.list_directory(qxval("")), 0);
    seen = plain.calls().size();
    {
        browser_queue q(plain);
        std::vector<queue_item_result> results;
        std::mutex results_mutex;
        when_finished(q.queue, [&](const queue_item_result& r) {
            std::lock_guard lock(results_mutex);
            results.push_back(r);
        });
        ASSERT_EQ(q.queue.open(), 0);
        for (qxfile_node* n = plain.current_folder()->first_child; n; n = n->next)
            ASSERT_EQ(q.queue.add_node(*n, qxval(local.path() + "/"), qxval("/"), 1, 0, 0), 0);
        q.queue.start();
        ASSERT_TRUE(q.queue.wait_until_empty(20000));
        q.queue.close();
        std::lock_guard lock(results_mutex);
        for (const queue_item_result& r : results)
            EXPECT_TRUE(r.succeeded) << r.remote_path.str() << ": " << r.error_text.str();
    }
    EXPECT_EQ(read_text(local.file("top.txt")), "top");
    EXPECT_EQ(read_text(local.file("d/a.txt")), "alpha");
    EXPECT_EQ(read_text(local.file("d/sub/b.txt")), "beta");
    const calls queued = after(plain, seen);
    // Each folder is listed where it is and the connection put back after it.
    for (const char* folder : {"/d", "/d/sub"}) {
        const auto listed = std::find(queued.begin(), queued.end(), std::string("LIST ") + folder);
        ASSERT_NE(listed, queued.end()) << folder;
        ASSERT_NE(listed + 1, queued.end());
        EXPECT_EQ(*(listed + 1), "CWD /") << "back where the browser was after " << folder;
    }
    EXPECT_EQ(plain.current_path().str(), "/");

    // ---- a synchronisation up, deleting what is missing locally; stopped, it deletes nothing ----
    for (const bool stopped : {true, false}) {
        SCOPED_TRACE(stopped ? "stopped" : "whole");
        temp_folder site("qvtf-seam-sync");
        write_text(site.file("new.txt"), "fresh");
        std::filesystem::create_directories(site.file("css"));
        write_text(site.file("css/a.css"), "body{}");
        fake_remote_session remote;
        remote.add_folder("/site");
        remote.add_file("/site/stale.txt", "old");
        ASSERT_EQ(remote.log_in(), 0);
        ASSERT_EQ(remote.change_folder(qxval("/")), 0);
        dir_sync_settings_ex rules;
        rules.rules.assign(1, sync_rule::upload | sync_rule::copy_missing | sync_rule::links_follow |
                                  sync_rule::transfer_binary | sync_rule::time_source_newer | sync_rule::size_mask);
        rules.recursive = -1;
        rules.delete_missing = 1;
        rules.local_folder.set_string(site.path().c_str());
        rules.remote_folder.set_string("/site");
        browser_queue q(remote);
        sync_engine engine(remote, q.queue);
        sync_plan plan;
        engine.compare(rules, sync_plan_options{}, plan);
        ASSERT_EQ(plan.status, 0) << plan.failure;
        EXPECT_EQ(remote.current_path().str(), "/") << "the comparison puts the folder back";
        ASSERT_EQ(plan.actions.size(), 4u);
        if (stopped)
            engine.stop();
        const sync_summary summary = engine.run(plan, rules.direction());
        EXPECT_EQ(summary.stopped, stopped);
        EXPECT_EQ(remote.exists("/site/stale.txt"), stopped) << "a stopped run never deletes";
        EXPECT_EQ(remote.bytes_of("/site/new.txt"), stopped ? "" : "fresh");
        EXPECT_EQ(remote.bytes_of("/site/css/a.css"), stopped ? "" : "body{}");
        EXPECT_TRUE(remote.exists("/site/css")) << "folders are made before the transfers, stopped or not";
        EXPECT_EQ(summary.failed, stopped ? 3u : 0u);
        // A folder the server refuses to list: the plan keeps the reply. A
        // stopped engine compares nothing more.
        remote.refuse("/site");
        sync_plan refused;
        engine.compare(rules, sync_plan_options{}, refused);
        EXPECT_EQ(refused.status, stopped ? status_stopped : status_refused);
        EXPECT_EQ(refused.cause.reply, stopped ? calls{} : calls{"550 refused"});
    }
}

}  // namespace
}  // namespace qvtf::test
