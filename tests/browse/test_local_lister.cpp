// The local pane over a real temporary folder tree.
#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>

#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <thread>

#include "browse/qx_local_file_lister.h"
#include "lister_test_util.h"
#include "remote/remote_status.h"
#include "support/process.h"

namespace qvtf {
namespace {

using test::row_names;
using names = std::vector<std::string>;

// Deletes for real, and records whether the trash was asked for.
class recording_platform : public local_file_platform {
public:
    int remove(const std::vector<std::string>& paths, bool to_trash) override
    {
        trash_requests.push_back(to_trash);
        return local_file_platform::remove(paths, to_trash);
    }
    bool run_verb(const std::string& path, const std::string& verb) override
    {
        verbs.push_back(verb + " " + path);
        return true;
    }
    std::vector<bool> trash_requests;
    std::vector<std::string> verbs;
};

// Counts the refreshes that reach the view.
class counting_view : public test::recording_view {
public:
    void item_count_changed(int32_t rows) override
    {
        ++refreshes;
        recording_view::item_count_changed(rows);
    }
    std::atomic<int> refreshes{0};
};

bool exists(const std::string& path)
{
    struct stat st;
    return ::lstat(path.c_str(), &st) == 0;
}

struct local_fixture {
    test::temp_folder dir{"qvtf-local"};
    global_ftp_settings settings;
    counting_view view;
    recording_platform platform;
    std::unique_ptr<qx_local_file_lister> pane;

    local_fixture()
    {
        settings.local_sort = SORT_SIZE;
        ::mkdir((dir.path() + "/sub").c_str(), 0755);
        dir.write("big", std::string(300, 'x'));
        dir.write("mid", std::string(200, 'x'));
        dir.write("small", "x");
        pane = std::make_unique<qx_local_file_lister>(settings, &test::test_phrases(), &view, &platform);
    }
    int go(const std::string& path) { return pane->change_folder(qxval(path), true); }
    qxfile_node* row(const std::string& name)
    {
        for (int32_t r = 0; r < pane->row_count(); ++r)
            if (qxfile_node* n = pane->row_node(r); n && n->name.view() == name)
                return n;
        return nullptr;
    }
    std::string text_of(int code)
    {
        qxval t;
        pane->error_text(t, code);
        return t.str();
    }
};

TEST(LocalLister, NavigationAndPaths)
{
    local_fixture f;
    ASSERT_EQ(f.go(f.dir.path() + "/./sub/.."), 0);
    EXPECT_EQ(f.pane->current_path().str(), f.dir.path());
    // Folders first, then by size; local folders show no size.
    EXPECT_EQ(row_names(*f.pane), (names{"..", "sub", "small", "mid", "big"}));
    EXPECT_EQ(f.pane->row_text(1, column_size).str(), "");
    EXPECT_EQ(f.pane->row_text(4, column_size).str(), "300");

    ASSERT_EQ(f.pane->enter(f.row("sub"), true), 0);
    EXPECT_EQ(f.pane->current_path().str(), f.dir.path() + "/sub");
    ASSERT_EQ(f.pane->enter(nullptr, true), 0);  // up
    EXPECT_EQ(f.pane->current_path().str(), f.dir.path());

    const struct {
        std::string path;
        int code;
        std::string message;
    } cases[] = {
        {"relative/path", local_no_root, "[136]"},
        {f.dir.path() + "/nothing/here", local_missing, "[136]"},
        {f.dir.path() + "/big", local_missing, "[136]"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(f.go(c.path), c.code) << c.path;
        EXPECT_EQ(f.text_of(c.code), c.message) << c.path;
        EXPECT_EQ(f.pane->current_path().str(), f.dir.path()) << "unchanged after " << c.path;
    }
    ASSERT_EQ(f.go("~"), 0);
    EXPECT_EQ(f.pane->current_path().str(), global_ftp_values::default_local_folder());
    ASSERT_EQ(f.go("/"), 0);
    EXPECT_FALSE(f.view.up_enabled);

    ASSERT_EQ(f.go(f.dir.path()), 0);
    EXPECT_EQ(f.pane->open(f.row("big")), 0);
    EXPECT_EQ(f.platform.verbs, (names{"open " + f.dir.path() + "/big"}));
    f.pane->save_settings();
    EXPECT_EQ(f.settings.last_used_local_folder, f.dir.path());
}

// Moving three entries where the second target exists moves the first,
// reports the second, never replaces the target and leaves the third.
TEST(LocalLister, MovesStopAtTheFirstTakenTarget)
{
    local_fixture f;
    f.dir.write("sub/mid", "keep");
    ASSERT_EQ(f.go(f.dir.path()), 0);
    const std::string d = f.dir.path();
    move_files_structure moves;
    for (const char* name : {"big", "mid", "small"}) {
        moves.sources.push_back(qxval(d + "/" + name));
        moves.destinations.push_back(qxval(d + "/sub/" + name));
    }
    int done = 0;
    EXPECT_EQ(f.pane->move_pairs(moves, [&] { ++done; }), status_pane_text);
    EXPECT_EQ(f.pane->last_error().str(), "[32]" + d + "/mid[33]" + d + "/sub/mid");
    EXPECT_EQ(done, 1);
    EXPECT_TRUE(f.pane->changed());
    EXPECT_TRUE(exists(d + "/sub/big") && !exists(d + "/big"));
    EXPECT_EQ(test::read_text_file(d + "/sub/mid"), "keep");
    EXPECT_TRUE(exists(d + "/mid") && exists(d + "/small"));

    // The drop form: a folder into a sibling folder, with the pane refreshed.
    // The reload keeps the entries that are still there: nodes held across
    // it (by the queue's item builder, say) stay the same entries.
    qxfile_node* held = f.row("sub");
    ::mkdir((d + "/other").c_str(), 0755);
    ASSERT_EQ(f.pane->reload(), 0);
    EXPECT_EQ(f.row("sub"), held);
    EXPECT_EQ(held->name.str(), "sub");
    ASSERT_TRUE(f.pane->move_into_async({f.row("other")}, f.row("sub")));
    f.pane->wait_for_operations();
    EXPECT_TRUE(exists(d + "/sub/other"));
    EXPECT_EQ(row_names(*f.pane), (names{"..", "sub", "small", "mid"}));
}

TEST(LocalLister, DeleteMakeFolderAndPermissions)
{
    local_fixture f;
    const std::string d = f.dir.path();
    f.dir.write("sub/inner", "x");
    ASSERT_EQ(f.go(d), 0);
    for (bool trash : {false, true}) {
        f.settings.local_delete_to_recycler = trash;
        const std::string name = trash ? "big" : "sub";
        ASSERT_TRUE(f.pane->delete_entries_async({f.row(name)}));
        f.pane->wait_for_operations();
        EXPECT_FALSE(exists(d + "/" + name)) << name;
        EXPECT_EQ(f.platform.trash_requests.back(), trash);
        ASSERT_EQ(f.pane->reload(), 0);
    }
    EXPECT_EQ(f.view.progress_seen(), (names{"open:[45]", "closed", "open:[45]", "closed"}));

    // A vanished entry is reported by name.
    qxfile_node* mid = f.row("mid");
    ::unlink((d + "/mid").c_str());
    EXPECT_EQ(f.pane->delete_entries({mid}), status_pane_text);
    EXPECT_EQ(f.pane->last_error().str(), "[30]mid");

    EXPECT_EQ(f.pane->make_folder(qxval("made")), 0);
    EXPECT_TRUE(exists(d + "/made"));
    EXPECT_EQ(f.pane->make_folder(qxval("made")), status_pane_text);
    // The system's reason follows the name.
    EXPECT_EQ(f.pane->last_error().str(), "[99]made[38]" + std::string(std::strerror(EEXIST)));
    // So does a folder that cannot be read.
    ASSERT_EQ(f.pane->make_folder(qxval("gone")), 0);
    ASSERT_EQ(f.pane->reload(), 0);
    ASSERT_NE(f.row("gone"), nullptr);
    ASSERT_EQ(::rmdir((d + "/gone").c_str()), 0);
    EXPECT_EQ(f.pane->enter(f.row("gone"), true), status_pane_text);
    EXPECT_EQ(f.pane->last_error().str(), "[25]" + d + "/gone[38]" + std::strerror(ENOENT));
    ASSERT_EQ(f.go(d), 0);

    f.dir.write("made/f", "x");
    ASSERT_EQ(f.pane->reload(), 0);
    ASSERT_EQ(f.pane->change_permissions({f.row("made")}, 0750, true), 0);
    struct stat st;
    ASSERT_EQ(::stat((d + "/made/f").c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0750u);

    // Files and folders apart, and one kind left as it was (from 0711 and 0640).
    const struct {
        chmod_plan plan;
        unsigned folder_after, file_after;
    } plans[] = {
        {{0755, 0644, chmod_all}, 0755, 0644},
        {{0700, 0600, chmod_files_only}, 0711, 0600},
        {{0700, 0600, chmod_folders_only}, 0700, 0640},
    };
    for (const auto& p : plans) {
        ::chmod((d + "/made").c_str(), 0711);
        ::chmod((d + "/made/f").c_str(), 0640);
        ASSERT_EQ(f.pane->change_permissions({f.row("made")}, p.plan, true), 0);
        ASSERT_EQ(::stat((d + "/made").c_str(), &st), 0);
        EXPECT_EQ(st.st_mode & 07777, p.folder_after) << p.plan.targets;
        ASSERT_EQ(::stat((d + "/made/f").c_str(), &st), 0);
        EXPECT_EQ(st.st_mode & 07777, p.file_after) << p.plan.targets;
    }
}

bool wait_for(const std::function<bool()>& condition, int ms)
{
    for (int waited = 0; waited < ms; waited += 20) {
        if (condition())
            return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return condition();
}

// Another process creates a file in the shown folder: it shows within about
// two seconds. A file created in a subfolder does not refresh the pane, and
// a busy pane is not refreshed until it is free.
TEST(LocalLister, WatcherRefreshesTheShownFolderOnly)
{
    local_fixture f;
    const std::string d = f.dir.path();
    f.pane->start_watching();
    ASSERT_TRUE(f.pane->run_async([&] { return f.go(d); }));
    f.pane->wait_for_operations();

    auto touch = [](const std::string& path) {
        test::child_process p;
        ASSERT_TRUE(p.start({"touch", path}));
        for (int i = 0; i < 200 && p.running(); ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
    };
    touch(d + "/sub/deeper");
    std::this_thread::sleep_for(std::chrono::milliseconds(700));
    const int before = f.view.refreshes;
    EXPECT_FALSE(f.pane->changed());

    touch(d + "/fresh");
    EXPECT_TRUE(wait_for([&] { return f.view.refreshes > before; }, 2500));
    f.pane->run_guarded([&] {
        EXPECT_NE(f.row("fresh"), nullptr);
        return 0;
    });

    // Held by another operation: the change waits for the lock.
    std::atomic<bool> release{false};
    std::thread holder([&] {
        f.pane->run_guarded([&] {
            touch(d + "/later");
            wait_for([&] { return release.load(); }, 5000);
            return 0;
        });
    });
    std::this_thread::sleep_for(std::chrono::milliseconds(600));
    const int while_busy = f.view.refreshes;
    EXPECT_TRUE(f.pane->changed());
    release = true;
    holder.join();
    EXPECT_TRUE(wait_for([&] { return f.view.refreshes > while_busy; }, 4500));
    f.pane->stop_watching();
    EXPECT_NE(f.row("later"), nullptr);
}

}  // namespace
}  // namespace qvtf
