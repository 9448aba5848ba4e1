// Two small folders compared entry by entry, and the path the other pane
// follows while the panes browse in step.
#include <gtest/gtest.h>

#include "browse/folder_compare.h"

namespace {

using qvtf::compare_mark;

TEST(FolderCompare, MarksOfTwoSmallTrees)
{
    constexpr std::time_t t = 1'700'000'000;
    const std::vector<qvtf::compare_entry> left = {
        {"same.html", false, true, 10, t},         {"newer.css", false, true, 10, t + 3600},
        {"older.js", false, true, 10, t - 3600},   {"size.png", false, true, 11, t},
        {"minute.txt", false, true, 5, t + 59},    {"only-left", false, true, 1, t},
        {"img", true, true, 0, t},                 {"kind", true, true, 0, t},
        {"unknown", false, false, 0, t},           {"Case.txt", false, true, 1, t},
        {"no-time", false, true, 7, 0},
    };
    const std::vector<qvtf::compare_entry> right = {
        {"same.html", false, true, 10, t}, {"newer.css", false, true, 10, t},   {"older.js", false, true, 10, t},
        {"size.png", false, true, 12, t},  {"minute.txt", false, true, 5, t},   {"img", true, true, 0, t - 99999},
        {"kind", false, true, 0, t},       {"unknown", false, true, 3, t},      {"case.txt", false, true, 1, t},
        {"no-time", false, true, 7, t},    {"only-right", false, true, 1, t},
    };
    const std::vector<compare_mark> expected_left = {
        compare_mark::same,      compare_mark::newer,          compare_mark::older,     compare_mark::different_size,
        compare_mark::same,      compare_mark::only_here,      compare_mark::same,      compare_mark::only_here,
        compare_mark::different_size, compare_mark::only_here, compare_mark::same,
    };
    EXPECT_EQ(qvtf::compare_side(left, right), expected_left);
    const std::vector<compare_mark> right_marks = qvtf::compare_side(right, left);
    EXPECT_EQ(right_marks[1], compare_mark::older);
    EXPECT_EQ(right_marks[2], compare_mark::newer);
    EXPECT_EQ(right_marks.back(), compare_mark::only_here);
}

TEST(FolderCompare, InStepPaths)
{
    const struct {
        const char* from_base;
        const char* to_base;
        const char* now;
        const char* expected;  // null: the other pane stays
    } rows[] = {
        {"/home/me/site", "/www", "/home/me/site/img", "/www/img"},
        {"/home/me/site", "/www", "/home/me/site/img/big/", "/www/img/big"},
        {"/home/me/site/", "/www/", "/home/me/site", "/www"},
        {"/home/me/site", "/", "/home/me/site/a", "/a"},
        {"/", "/www", "/a/b", "/www/a/b"},
        {"/home/me/site", "/www", "/home/me", nullptr},
        {"/home/me/site", "/www", "/home/me/site2", nullptr},
        {"/home/me/site", "/www", "/tmp", nullptr},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.now);
        const auto path = qvtf::in_step_path(row.from_base, row.to_base, row.now);
        ASSERT_EQ(path.has_value(), row.expected != nullptr);
        if (path) {
            EXPECT_EQ(*path, row.expected);
        }
    }
}

}  // namespace
