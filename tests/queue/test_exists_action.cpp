// The file-exists decision: each row is the facts of both files and the
// action, and what the transfer then does; and the automatic new names.
#include <gtest/gtest.h>

#include <set>

#include "queue/exists_action.h"

namespace qvtf::test {
namespace {

constexpr int64_t t0 = 1700000000;  // a whole minute

file_facts file(int64_t size, int64_t time, int32_t precision = 1)
{
    return {true, size, time, precision};
}

TEST(ExistsAction, DecisionTable)
{
    using a = exists_action;
    using o = exists_outcome;
    const file_facts none{};
    struct row {
        const char* what;
        exists_action action;
        file_facts source, target;
        exists_outcome outcome;
        int64_t resume_from;
    };
    const row rows[] = {
        {"no target writes whatever the action", a::skip, file(10, t0), none, o::write, 0},
        {"no target, ask", a::ask, file(10, t0), none, o::write, 0},
        {"ask", a::ask, file(10, t0), file(10, t0), o::ask, 0},
        {"overwrite", a::overwrite, file(10, t0), file(10, t0), o::overwrite, 0},
        {"skip", a::skip, file(10, t0 + 999), file(5, t0), o::skip, 0},
        {"rename", a::rename, file(10, t0), file(10, t0), o::rename, 0},
        {"newer source", a::newer, file(10, t0 + 1), file(10, t0), o::overwrite, 0},
        {"older source", a::newer, file(10, t0 - 1), file(10, t0), o::skip, 0},
        {"same time", a::newer, file(10, t0), file(10, t0), o::skip, 0},
        // A listing that shows minutes: the target may be as late as t0+59.
        {"within the target's minute", a::newer, file(10, t0 + 59), file(10, t0, 60), o::skip, 0},
        {"past the target's minute", a::newer, file(10, t0 + 60), file(10, t0, 60), o::overwrite, 0},
        {"minute source stamped on the target", a::newer, file(10, t0, 60), file(10, t0), o::skip, 0},
        {"unknown time transfers", a::newer, file(10, 0), file(10, t0), o::overwrite, 0},
        {"same size", a::size, file(10, t0 + 500), file(10, t0), o::skip, 0},
        {"other size", a::size, file(11, t0), file(10, t0), o::overwrite, 0},
        {"unknown size transfers", a::size, file(-1, t0), file(10, t0), o::overwrite, 0},
        {"same size and time", a::size_or_time, file(10, t0), file(10, t0), o::skip, 0},
        {"same size, same minute", a::size_or_time, file(10, t0 + 30), file(10, t0, 60), o::skip, 0},
        {"same size, older source", a::size_or_time, file(10, t0 - 120), file(10, t0), o::overwrite, 0},
        {"other size, same time", a::size_or_time, file(9, t0), file(10, t0), o::overwrite, 0},
        {"same size, no time", a::size_or_time, file(10, 0), file(10, t0), o::overwrite, 0},
        {"shorter target resumes", a::resume, file(100, t0), file(40, t0), o::resume, 40},
        {"whole target stays", a::resume, file(100, t0), file(100, t0), o::skip, 0},
        {"longer target is replaced", a::resume, file(100, t0), file(140, t0), o::overwrite, 0},
        {"empty target is replaced", a::resume, file(100, t0), file(0, t0), o::overwrite, 0},
        {"unknown source size", a::resume, file(-1, t0), file(40, t0), o::overwrite, 0},
    };
    for (const row& r : rows) {
        const exists_decision d = decide_exists(r.action, r.source, r.target);
        EXPECT_EQ(d.outcome, r.outcome) << r.what;
        EXPECT_EQ(d.resume_from, r.resume_from) << r.what;
    }
}

TEST(ExistsAction, NamesAndFreeNames)
{
    for (const auto* name : {"ask", "overwrite", "newer", "size", "size-or-time", "resume", "rename", "skip"})
        EXPECT_EQ(exists_action_name(exists_action_from_name(name).value()), name);
    EXPECT_FALSE(exists_action_from_name("Overwrite"));
    EXPECT_FALSE(exists_action_from_name(""));

    const std::set<std::string> taken = {"a (1).txt", "b (4).txt", "full (1)", "full (2)"};
    auto free = [&](const char* name) {
        return next_free_name(name, [&](const std::string& n) { return taken.count(n) != 0; }, 5);
    };
    EXPECT_EQ(free("report.txt"), "report (1).txt");
    EXPECT_EQ(free("a.txt"), "a (2).txt");
    EXPECT_EQ(free("archive.tar.gz"), "archive.tar (1).gz");
    EXPECT_EQ(free("README"), "README (1)");
    EXPECT_EQ(free(".profile"), ".profile (1)");
    EXPECT_EQ(free("..x"), "..x (1)");
    EXPECT_EQ(free("b (3).txt"), "b (5).txt");
    EXPECT_EQ(free("x (1"), "x (1 (1)");
    EXPECT_EQ(next_free_name("full", [](const std::string&) { return true; }, 5), "");
}

}  // namespace
}  // namespace qvtf::test
