// The pane model over a hand-built tree: rows, masks and filters, sorting by
// column clicks, the status line, the column layout and the busy lock.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>

#include "browse/qx_file_lister.h"
#include "core/qxlocale.h"
#include "core/qxtime.h"
#include "lister_test_util.h"
#include "remote/remote_status.h"

namespace qvtf {
namespace {

using test::add_entry;
using test::row_names;
using names = std::vector<std::string>;

std::string grouped(const char* number)
{
    return format_number_text(number, make_integer_format());
}

struct pane_fixture {
    global_ftp_values values;
    qxfile_tree tree;
    test::recording_view view;
    qx_file_lister pane{tree, &test::test_phrases(), &view};
    qxfile_node* top;
    qxfile_node* sub;

    pane_fixture()
    {
        values.remote_sort = 0;
        pane.bind_settings(pane_settings::remote(values));
        top = add_entry(tree, nullptr, "/", true);
        sub = add_entry(tree, top, "sub", true);
        add_entry(tree, sub, "b", false, 30, 300);
        add_entry(tree, sub, "A", false, 5'000'000'000ULL, 100);
        add_entry(tree, sub, "a", false, 4'000'000'000ULL, 200);
        add_entry(tree, sub, "dir", true, 0, 50);
        add_entry(tree, sub, "a.HTM", false, 10, 400);
        add_entry(tree, sub, "ab.txt", false, 1, 500);
        add_entry(tree, sub, "a.txt", false, 2, 600);
    }
};

TEST(FileLister, RowsMasksFiltersAndSorting)
{
    struct step {
        const char* what;
        std::function<void(pane_fixture&)> act;
        names rows;
    };
    const std::vector<step> steps = {
        {"top level: no up-row", [](pane_fixture& f) { f.pane.enter(f.top, false); }, {"sub"}},
        {"byte order, folders first",
         [](pane_fixture& f) { f.pane.enter(f.sub, false); },
         {"..", "dir", "A", "a", "a.HTM", "a.txt", "ab.txt", "b"}},
        {"two masks; matching ignores case",
         [](pane_fixture& f) { f.pane.set_filter(qxval("*.htm; *.html"), qxval(""), false, 0, 0, false, 0, 0); },
         {"..", "dir", "a.HTM"}},
        {"? is zero or one character",
         [](pane_fixture& f) { f.pane.set_filter(qxval("a?.txt"), qxval(""), false, 0, 0, false, 0, 0); },
         {"..", "dir", "a.txt", "ab.txt"}},
        {"skip mask",
         [](pane_fixture& f) { f.pane.set_filter(qxval("*"), qxval("a*"), false, 0, 0, false, 0, 0); },
         {"..", "dir", "b"}},
        {"time filter keeps folders",
         [](pane_fixture& f) { f.pane.set_filter(qxval("*"), qxval(""), true, 150, 450, false, 0, 0); },
         {"..", "dir", "a", "a.HTM", "b"}},
        {"size filter compares whole sizes",
         [](pane_fixture& f) { f.pane.set_filter(qxval("*"), qxval(""), false, 0, 0, true, 0, 100); },
         {"..", "dir", "a.HTM", "a.txt", "ab.txt", "b"}},
        {"nothing shown but the folder and the up-row",
         [](pane_fixture& f) { f.pane.set_filter(qxval("none"), qxval(""), false, 0, 0, false, 0, 0); },
         {"..", "dir"}},
        {"Size (display 1) sorts by size",
         [](pane_fixture& f) {
             f.pane.set_filter(qxval("*"), qxval(""), false, 0, 0, false, 0, 0);
             f.pane.column_clicked(1);
         },
         {"..", "dir", "ab.txt", "a.txt", "a.HTM", "b", "a", "A"}},
        {"Size again inverts: files before folders",
         [](pane_fixture& f) { f.pane.column_clicked(1); },
         {"..", "A", "a", "b", "a.HTM", "a.txt", "ab.txt", "dir"}},
        {"Name next: case-insensitive, equal keys keep listing order",
         [](pane_fixture& f) { f.pane.column_clicked(0); },
         {"..", "dir", "A", "a", "a.HTM", "a.txt", "ab.txt", "b"}},
    };

    pane_fixture f;
    for (const step& s : steps) {
        s.act(f);
        f.pane.refresh_view(false);
        EXPECT_EQ(row_names(f.pane), s.rows) << s.what;
    }
    // The indicator of the last click: Name, not inverted; invert was cleared.
    EXPECT_EQ(f.view.sort_column, 0);
    EXPECT_EQ(f.view.sort_image, 1);
    EXPECT_EQ(f.values.remote_sort, SORT_NAME_NOCASE);
    EXPECT_FALSE(f.values.remote_invert);
}

TEST(FileLister, StatusToolbarIndicatorAndTexts)
{
    pane_fixture f;
    f.pane.enter(f.top, false);
    EXPECT_FALSE(f.view.up_enabled);
    EXPECT_EQ(f.view.filter_image, 11);

    f.pane.enter(f.sub, false);
    EXPECT_TRUE(f.view.up_enabled);
    EXPECT_EQ(f.view.item_count, 8);
    // Seven entries; the sum of the shown sizes is 64-bit.
    EXPECT_EQ(f.view.status, "[142]7[144]" + grouped("9000000043"));
    f.view.selection = {0, 2, 3};  // the up-row counts as nothing
    f.pane.update_status();
    EXPECT_EQ(f.view.status, "[143]2[144]" + grouped("9000000000"));
    // The up-row is not selectable: the view is told to deselect it.
    EXPECT_EQ(f.pane.selected_nodes().size(), 2u);

    qxfile_node* big = f.pane.row_node(2);
    ASSERT_EQ(big->name.str(), "A");
    EXPECT_EQ(f.pane.column_text(*big, column_size).str(), grouped("5000000000"));
    big->attributes = 0755;
    EXPECT_EQ(f.pane.column_text(*big, column_attributes).str(), "-rwxr-xr-x");
    // A date past 2038 keeps its day, not a 32-bit wrap of it (1904).
    big->modified = 2223374400;  // 2040-06-15 12:00 UTC
    const std::string shown = f.pane.column_text(*big, column_modified).str();
    EXPECT_EQ(shown.rfind(format_date(utc_to_local(big->modified)).str(), 0), 0u) << shown;
    EXPECT_NE(shown.rfind(format_date(utc_to_local(big->modified - 4294967296LL)).str(), 0), 0u) << shown;
    EXPECT_EQ(f.pane.row_text(0, column_name).str(), "..");

    f.pane.set_filter(qxval("*.txt"), qxval(""), false, 0, 0, false, 0, 0);
    EXPECT_EQ(f.view.filter_image, 14);
    f.pane.change_folder(qxval("/nowhere"), false);
    qxval text;
    f.pane.error_text(text, status_pane_text);
    EXPECT_EQ(text.str(), "[25]/nowhere");
    f.pane.error_text(text, status_busy);
    EXPECT_EQ(text.str(), "[159]");
}

TEST(FileLister, ColumnLayoutRoundTripsThroughTheSettings)
{
    pane_fixture f;
    f.values.remote_columns = {"Size", "1", "80", "Bogus", "1", "9", "Name", "1", "2", "Type", "0", "70"};
    f.pane.bind_settings(pane_settings::remote(f.values));
    EXPECT_EQ(f.pane.column_at(0), column_size);
    EXPECT_EQ(f.pane.column_at(1), column_name);
    EXPECT_EQ(f.pane.column_at(2), -1);
    f.pane.move_column(1, 0);
    f.pane.set_column_width(column_name, 120);
    f.pane.set_column_visible(column_type, true);
    f.pane.folder_pane_width = 222;
    f.pane.save_settings();
    EXPECT_EQ(f.values.remote_columns,
              (std::vector<std::string>{"Name", "1", "120", "Size", "1", "80", "Type", "1", "70", "Modified", "0",
                                        "100", "Attributes", "0", "100"}));
    EXPECT_EQ(f.values.remote_browser_folder_pane_width, 222);
    // Attributes does not sort.
    f.pane.set_column_visible(column_attributes, true);
    const int32_t before = f.values.remote_sort;
    f.pane.column_clicked(3);
    EXPECT_EQ(f.values.remote_sort, before);
}

// A second operation while one runs is refused with 6014, shows the busy
// message and changes nothing; the holder may nest operations.
TEST(FileLister, BusyLockUnderThreads)
{
    pane_fixture f;
    std::atomic<bool> inside{false}, leave{false};
    std::thread holder([&] {
        f.pane.run_guarded([&] {
            EXPECT_EQ(f.pane.run_guarded([] { return 0; }), 0);  // nested: still held after
            inside = true;
            for (int i = 0; i < 500 && !leave; ++i)
                std::this_thread::sleep_for(std::chrono::milliseconds(10));
            return 0;
        });
    });
    for (int i = 0; i < 500 && !inside; ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    ASSERT_TRUE(inside);
    bool ran = false;
    EXPECT_EQ(f.pane.run_guarded([&] {
        ran = true;
        return 0;
    }),
              status_busy);
    ASSERT_TRUE(f.pane.enter_async(f.sub, false));
    f.pane.wait_for_operations();
    EXPECT_EQ(f.pane.current_folder(), nullptr);
    leave = true;
    holder.join();
    EXPECT_FALSE(ran);
    const auto errors = f.view.errors_seen();
    ASSERT_EQ(errors.size(), 2u);
    EXPECT_EQ(errors[0].code, status_busy);
    EXPECT_EQ(errors[1].text, "[159]");
    // Free again: an asynchronous operation now runs.
    ASSERT_TRUE(f.pane.enter_async(f.sub, false));
    f.pane.wait_for_operations();
    EXPECT_EQ(f.pane.current_folder(), f.sub);
}

}  // namespace
}  // namespace qvtf
