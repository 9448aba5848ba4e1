// The planner on trees held in memory: one table of trees, settings and the
// plans they must give.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "sync/memory_side.h"
#include "sync/sync_plan.h"

namespace {

using namespace qvtf;
using namespace qvtf::sync_rule;
using lines = std::vector<std::string>;

constexpr int32_t any_time = time_mask;
constexpr int32_t any_size = size_mask;

int32_t word(int32_t direction, int32_t missing, int32_t time = time_source_newer, int32_t size = any_size,
             int32_t links = links_follow)
{
    return direction | missing | time | size | links | transfer_automatic | 0x300;
}

struct plan_case {
    const char* name;
    int32_t rule;
    std::vector<const char*> local;
    std::vector<const char*> remote;
    lines plan;  // "up a", "down a", "mkdir-r a", "mkdir-l a", "del-r a", "del-l a" (folders: "a/")
    bool recursive = true;
    bool delete_missing = false;
    const char* files_include = "*";
    const char* files_skip = "";
    const char* folders_skip = "";
    int time_filter_start = 0;  // with the end, turns the time filter on
    int time_filter_end = 0;
    int size_filter_max = 0;     // turns the size filter on
    const char* note = nullptr;  // a note the plan must hold
    // Times to the minute with 540 s of clock offset: a window of 600 s.
    bool exact_times = false;
    int32_t clock_offset = 540;
    bool remote_whole = true;  // the remote listings left nothing out
    bool local_whole = true;
};

std::string relative(const std::string& path, const char* top)
{
    return path.substr(std::string(top).size() + 1);
}

lines summary(const sync_plan& plan)
{
    lines out;
    for (const sync_action& a : plan.actions) {
        const std::string l = relative(a.local_path, "/L");
        const std::string r = relative(a.remote_path, "/R");
        const std::string slash = a.is_folder ? "/" : "";
        switch (a.kind) {
        case sync_action_kind::upload: out.push_back("up " + l); break;
        case sync_action_kind::download: out.push_back("down " + r); break;
        case sync_action_kind::make_remote_folder: out.push_back("mkdir-r " + r); break;
        case sync_action_kind::make_local_folder: out.push_back("mkdir-l " + l); break;
        case sync_action_kind::delete_remote: out.push_back("del-r " + r + slash); break;
        case sync_action_kind::delete_local: out.push_back("del-l " + l + slash); break;
        }
    }
    return out;
}

// clang-format off
const plan_case cases[] = {
    // Directions and missing/overwrite.
    {"upload copies missing only", word(upload, copy_missing), {"a 1 5000", "b 1 5000"}, {"b 1 1000"}, {"up a"}},
    {"upload overwrites only", word(upload, overwrite), {"a 1 5000", "b 1 5000"}, {"b 1 1000"}, {"up b"}},
    {"upload does both", word(upload, copy_missing | overwrite), {"a 1 5000", "b 1 5000"}, {"b 1 1000"},
     {"up a", "up b"}},
    {"download does both", word(download, copy_missing | overwrite), {"b 1 1000"}, {"a 1 5000", "b 1 5000"},
     {"down a", "down b"}},
    {"download never uploads", word(download, copy_missing | overwrite), {"a 1 9000", "b 1 9000"}, {"b 1 1000"}, {}},
    {"both ways: missing and newer go across, equal stays, nothing is deleted",
     word(both, copy_missing | overwrite),
     {"lonly 1 1", "lnew 1 9000", "rnew 1 1000", "same 1 1000"},
     {"ronly 1 1", "lnew 1 1000", "rnew 1 9000", "same 1 1300"},
     {"up lnew", "up lonly", "down rnew", "down ronly"}, true, true},
    {"both ways: a folder only one side has is made on the other", word(both, copy_missing),
     {"l/", "l/x 1 1"}, {"r/", "r/y 1 1"}, {"mkdir-r l", "up l/x", "mkdir-l r", "down r/y"}},
    // Time rules with the equal interval of 600 seconds.
    {"newer: 700 s is newer", word(upload, overwrite, time_source_newer), {"a 1 1700", "b 1 1500"},
     {"a 1 1000", "b 1 1000"}, {"up a"}},
    {"same: within 600 s either way", word(upload, overwrite, time_same), {"a 1 1600", "b 1 400", "c 1 1700"},
     {"a 1 1000", "b 1 1000", "c 1 1000"}, {"up a", "up b"}},
    {"older", word(upload, overwrite, time_source_older), {"a 1 300", "b 1 1000", "c 1 5000"},
     {"a 1 1000", "b 1 1000", "c 1 1000"}, {"up a"}},
    {"times differ", word(upload, overwrite, time_source_newer | time_source_older),
     {"a 1 300", "b 1 1000", "c 1 5000"}, {"a 1 1000", "b 1 1000", "c 1 1000"}, {"up a", "up c"}},
    // Size rules, whatever the time.
    {"smaller", word(upload, overwrite, any_time, size_source_smaller), {"a 1 1", "b 2 1", "c 3 1"},
     {"a 2 1", "b 2 1", "c 2 1"}, {"up a"}},
    {"same size", word(upload, overwrite, any_time, size_same), {"a 1 1", "b 2 1", "c 3 1"},
     {"a 2 1", "b 2 1", "c 2 1"}, {"up b"}},
    {"larger", word(upload, overwrite, any_time, size_source_larger), {"a 1 1", "b 2 1", "c 3 1"},
     {"a 2 1", "b 2 1", "c 2 1"}, {"up c"}},
    {"both rules must allow", word(upload, overwrite, time_source_newer, size_source_larger),
     {"a 3 9000", "b 1 9000", "c 3 1"}, {"a 2 1", "b 2 1", "c 2 1"}, {"up a"}},
    // Masks, filters and recursion.
    {"file and folder masks", word(upload, copy_missing),
     {"a.html 1 1", "x.html 1 1", "b.txt 1 1", "cgi-bin/", "cgi-bin/s.html 1 1", "w/", "w/i.HTML 1 1"}, {},
     {"up a.html", "mkdir-r w", "up w/i.HTML"}, true, false, "*.html", "x*", "cgi-bin"},
    {"no recursion: subfolders are left out", word(upload, copy_missing), {"a 1 1", "sub/", "sub/b 1 1"}, {},
     {"up a"}, false},
    {"time filter", word(upload, copy_missing), {"old 1 100", "in 1 2000", "new 1 9000"}, {}, {"up in"}, true, false,
     "*", "", "", 1000, 3000},
    {"size filter", word(upload, copy_missing), {"small 10 1", "big 5000 1"}, {}, {"up small"}, true, false, "*", "",
     "", 0, 0, 100},
    // Delete missing.
    {"delete missing removes what only the target has, within the masks",
     word(upload, copy_missing), {"keep 1 1"}, {"keep 1 1", "extra.html 1 1", "extra.txt 1 1", "gone/", "gone/x 1 1"},
     {"del-r extra.html", "del-r gone/"}, true, true, "*.html;keep"},
    {"delete missing downloading", word(download, copy_missing), {"extra 1 1", "d/", "d/e 1 1"}, {},
     {"del-l d/", "del-l extra"}, true, true},
    {"no deletion without delete missing", word(upload, copy_missing | overwrite), {}, {"extra 1 1", "gone/"}, {}},
    {"no deletion of folders without recursion", word(upload, copy_missing), {}, {"extra 1 1", "gone/"},
     {"del-r extra"}, false, true},
    {"a file on one side and a folder on the other is left alone", word(upload, copy_missing | overwrite),
     {"x 1 9000"}, {"x/"}, {}, true, true, "*", "", "", 0, 0, 0, "left alone"},
    // Links, downloading.
    {"links followed: folders as folders, files as files", word(download, copy_missing),
     {}, {"f 7 1", "lf -> f", "d/", "d/g 1 1", "ld -> d", "up -> ..", "self -> ."},
     {"mkdir-l d", "down d/g", "down f", "mkdir-l ld", "down ld/g", "down lf"}, true, false, "*", "", "", 0, 0, 0,
     "leads back"},
    {"links copied as files", word(download, copy_missing, time_source_newer, any_size, links_as_files),
     {}, {"f 7 1", "lf -> f", "ld -> d", "d/"}, {"mkdir-l d", "down f", "down ld", "down lf"}},
    {"links skipped", word(download, copy_missing, time_source_newer, any_size, links_skip), {"lf 1 1"},
     {"f 7 1", "lf -> f", "ld -> d", "d/"}, {"mkdir-l d", "down f"}, true, true},
    {"a loop through two links ends", word(download, copy_missing), {},
     {"a/", "a/to_b -> ../b", "b/", "b/to_a -> ../a"},
     {"mkdir-l a", "mkdir-l a/to_b", "mkdir-l b", "mkdir-l b/to_a"}, true, false, "*", "", "", 0, 0, 0,
     "leads back"},
    {"remote links are never touched by an upload", word(upload, copy_missing | overwrite), {"lf 1 9000", "f 1 1"},
     {"lf -> f", "f 1 1"}, {}, true, true},
    {"local links are followed when uploading, loops are not", word(upload, copy_missing), {"d/", "d/a 1 1",
     "ld -> d", "back -> ."}, {}, {"mkdir-r d", "up d/a", "mkdir-r ld", "up ld/a"}, true, false, "*", "", "", 0, 0,
     0, "leads back"},
    // A listing that left lines out never lets its side's absence delete.
    {"downloading: a remote listing with unread lines deletes nothing", word(download, copy_missing),
     {"extra 1 1", "d/", "d/e 1 1"}, {"new 1 1"}, {"down new"}, true, true, "*", "", "", 0, 0, 0, "left lines out",
     false, 540, false},
    {"uploading: a local listing with unread lines deletes nothing", word(upload, copy_missing), {},
     {"extra 1 1", "gone/"}, {}, true, true, "*", "", "", 0, 0, 0, "left lines out", false, 540, true, false},
    {"uploading: an incomplete remote listing does not stop deletions", word(upload, copy_missing), {},
     {"extra 1 1"}, {"del-r extra"}, true, true, "*", "", "", 0, 0, 0, nullptr, false, 540, false},
    // The same-time window: a minute (plus the clock offset) for minute
    // times, a second for exact ones; a size difference tells an edit.
    {"minute times: an edit two minutes later is newer", word(upload, overwrite, time_source_newer),
     {"a 1 1120", "b 1 1060"}, {"a 1 1000", "b 1 1000"}, {"up a"}, true, false, "*", "", "", 0, 0, 0, nullptr,
     false, 0},
    {"minute times: the clock offset widens the window", word(upload, overwrite, time_source_newer),
     {"a 1 1120", "b 1 1200"}, {"a 1 1000", "b 1 1000"}, {"up b"}, true, false, "*", "", "", 0, 0, 0, nullptr,
     false, -100},
    {"exact times: two seconds are newer", word(upload, overwrite, time_source_newer), {"a 1 1002", "b 1 1001"},
     {"a 1 1000", "b 1 1000"}, {"up a"}, true, false, "*", "", "", 0, 0, 0, nullptr, true, 0},
    {"both ways: within the window a size difference goes to the later copy", word(both, overwrite, any_time),
     {"a 2 1030", "b 1 1030", "c 2 1000"}, {"a 1 1000", "b 1 1000", "c 1 1030"}, {"up a", "down c"}, true, false,
     "*", "", "", 0, 0, 0, nullptr, false, 0},
};
// clang-format on

TEST(SyncPlan, TableOfTreesAndPlans)
{
    for (const plan_case& c : cases) {
        SCOPED_TRACE(c.name);
        dir_sync_settings_ex s;
        s.rules.assign(1, c.rule);
        s.recursive = c.recursive ? -1 : 0;
        s.delete_missing = c.delete_missing ? 1 : 0;
        s.files_include.set_string(c.files_include);
        s.files_skip.set_string(c.files_skip);
        s.folders_skip.set_string(c.folders_skip);
        s.compile_masks();
        if (c.time_filter_end) {
            s.filter.time_filter = 1;
            s.filter.time_start = c.time_filter_start;
            s.filter.time_end = c.time_filter_end;
        }
        if (c.size_filter_max) {
            s.filter.size_filter = 1;
            s.filter.size_maximum = c.size_filter_max;
        }
        s.local_folder.set_string("/L");
        s.remote_folder.set_string("/R");
        test::memory_side local("/L", c.local, true);
        test::memory_side remote("/R", c.remote, false);
        local.quality.whole = c.local_whole;
        remote.quality = {c.remote_whole, c.exact_times, c.clock_offset};
        sync_plan_options options;
        sync_plan plan;
        build_sync_plan(s, local, remote, options, plan);
        EXPECT_EQ(plan.status, 0) << plan.failure;
        EXPECT_EQ(summary(plan), c.plan);
        if (c.note) {
            bool found = false;
            for (const std::string& n : plan.notes)
                found = found || n.find(c.note) != std::string::npos;
            EXPECT_TRUE(found) << "no note with \"" << c.note << "\"";
        }
    }
}

// Listed to the minute, a remote time that decides is asked for to the
// second: equal times copy nothing, ten seconds apart copy; a rule that
// ignores times asks nothing.
TEST(SyncPlan, MinuteTimesThatDecideAreAskedToTheSecond)
{
    struct exact_case {
        const char* name;
        int32_t rule;
        lines plan;
        lines asked;
    };
    const exact_case table[] = {
        {"uploading newer files", word(upload, overwrite, time_source_newer), {"up b"}, {"/R/a", "/R/b", "/R/c"}},
        {"both ways", word(both, overwrite, any_time), {"up b"}, {"/R/a", "/R/b", "/R/c"}},
        {"times do not matter", word(upload, overwrite, any_time, size_source_larger), {}, {}},
    };
    for (const exact_case& c : table) {
        SCOPED_TRACE(c.name);
        dir_sync_settings_ex s;
        s.rules.assign(1, c.rule);
        s.compile_masks();
        s.local_folder.set_string("/L");
        s.remote_folder.set_string("/R");
        test::memory_side local("/L", {"a 1 1030", "b 1 1040", "c 1 1000"}, true);
        // Listed rounded down to the minute; c has no time of day at all.
        test::memory_side remote("/R", {"a 1 1020", "b 1 1020", "c 1 960"}, false);
        remote.quality = {true, false, 0};
        remote.exact = {{"/R/a", 1030}, {"/R/b", 1030}, {"/R/c", 1000}};
        sync_plan plan;
        build_sync_plan(s, local, remote, sync_plan_options{}, plan);
        EXPECT_EQ(summary(plan), c.plan);
        EXPECT_EQ(remote.asked, c.asked);
    }
    // A download stamps its copy with the time to the second, so the next
    // run finds the two the same.
    dir_sync_settings_ex s;
    s.rules.assign(1, word(download, copy_missing));
    s.compile_masks();
    s.local_folder.set_string("/L");
    s.remote_folder.set_string("/R");
    test::memory_side local("/L", {}, true);
    test::memory_side remote("/R", {"a 1 1020"}, false);
    remote.quality = {true, false, 0};
    remote.exact = {{"/R/a", 1030}};
    sync_plan plan;
    build_sync_plan(s, local, remote, sync_plan_options{}, plan);
    ASSERT_EQ(summary(plan), lines{"down a"});
    EXPECT_EQ(plan.actions[0].modified, 1030);
}

// The transfer type comes from the rule word only when the settings leave
// it to the rule; reasons name the sides and the comparison.
TEST(SyncPlan, TransferTypeAndReasons)
{
    dir_sync_settings_ex s;
    s.local_folder.set_string("/L");
    s.remote_folder.set_string("/R");
    test::memory_side local("/L", {"a.txt 5 9000", "b.bin 1 1"}, true);
    test::memory_side remote("/R", {"a.txt 4 1000"}, false);
    struct {
        int32_t global, field;
        int32_t a_type;
    } const types[] = {
        {0, transfer_ascii, 0}, {1, transfer_binary, 1}, {2, transfer_ascii, 1}, {2, transfer_binary, 0}};
    for (const auto& t : types) {
        s.rules.assign(1, (word(upload, copy_missing | overwrite) & ~transfer_mask) | t.field);
        sync_plan_options o;
        o.global_transfer_type = t.global;
        sync_plan plan;
        build_sync_plan(s, local, remote, o, plan);
        ASSERT_EQ(plan.actions.size(), 2u);
        EXPECT_EQ(plan.actions[0].transfer_type, t.a_type) << t.global << " " << t.field;
        EXPECT_EQ(plan.actions[0].describe(), "upload /L/a.txt -> /R/a.txt: overwrite: the source is newer, larger");
        EXPECT_EQ(plan.actions[1].describe(), "upload /L/b.bin -> /R/b.bin: missing on the remote side");
    }
    test::memory_side nowhere("/N", {}, false);
    s.remote_folder.set_string("/missing");
    sync_plan plan;
    build_sync_plan(s, local, nowhere, sync_plan_options{}, plan);
    EXPECT_EQ(plan.status, 550);
    EXPECT_TRUE(plan.actions.empty());
}

// A listed size no signed 64-bit count holds must still fail the size
// check: the download is checked against a count it cannot reach.
TEST(SyncPlan, UnrepresentableSizeIsNeverAPass)
{
    dir_sync_settings_ex s;
    s.rules.assign(1, word(download, copy_missing));
    s.local_folder.set_string("/L");
    s.remote_folder.set_string("/R");
    test::memory_side local("/L", {}, true);
    test::memory_side remote("/R", {"huge 18446744073709551615 1", "max 9223372036854775807 1"}, false);
    sync_plan plan;
    build_sync_plan(s, local, remote, sync_plan_options{}, plan);
    ASSERT_EQ(plan.actions.size(), 2u);
    for (const sync_action& a : plan.actions)
        EXPECT_EQ(a.size, INT64_MAX) << a.remote_path;
}

}  // namespace
