#include "core/qxmask.h"
#include "core/qxregex.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

using namespace qvtf;

namespace {

std::vector<std::string> texts(const qxarr& list)
{
    std::vector<std::string> out;
    for (const qxval& v : list)
        out.push_back(v.str());
    return out;
}

using strings = std::vector<std::string>;

}  // namespace

TEST(Split, CutsAtEverySeparatorKeepingEmptyPieces)
{
    qxarr list;
    split(qxval(";"), qxval("a;;b"), list);
    EXPECT_EQ(texts(list), (strings{"a", "", "b"}));
    split(qxval(";"), qxval("a;b;"), list);
    EXPECT_EQ(texts(list), (strings{"a", "b", ""}));
    split(qxval(";"), qxval(";"), list);
    EXPECT_EQ(texts(list), (strings{"", ""}));
    split(qxval("::"), qxval("x::y:z::"), list);
    EXPECT_EQ(texts(list), (strings{"x", "y:z", ""}));
    split(qxval(","), qxval("no separator"), list);
    EXPECT_EQ(texts(list), (strings{"no separator"}));
}

TEST(Split, LimitKeepsTheRestWhole)
{
    qxarr list;
    split(qxval(";"), qxval("a;;b"), list, 2);
    EXPECT_EQ(texts(list), (strings{"a", ";b"}));
    split(qxval(";"), qxval("a;b;c;d"), list, 3);
    EXPECT_EQ(texts(list), (strings{"a", "b", "c;d"}));
    split(qxval(";"), qxval("a;b"), list, 5);
    EXPECT_EQ(texts(list), (strings{"a", "b"}));
}

TEST(Split, DegenerateInputsLeaveTheListEmpty)
{
    qxarr list;
    list.push_copy(qxval("old"));
    split(qxval(""), qxval("abc"), list);
    EXPECT_EQ(list.count(), 0);
    list.push_copy(qxval("old"));
    split(qxval(";"), qxval("a;b"), list, 1);
    EXPECT_EQ(list.count(), 0);
    split(qxval(";"), qxval("a;b"), list, -3);
    EXPECT_EQ(list.count(), 0);
    split(qxval(";;"), qxval(";"), list);
    EXPECT_EQ(list.count(), 0);
    split(qxval(";"), qxval(""), list);
    EXPECT_EQ(list.count(), 0);
}

TEST(Split, JoinIsTheInverseOfSplit)
{
    qxarr list;
    qxval out("stale");
    join(qxval(", "), list, out);
    EXPECT_EQ(out.str(), "");
    list.push_copy(qxval("a"));
    list.push_copy(qxval(7));
    list.push_copy(qxval(""));
    list.push_copy(qxval(2.5));
    join(qxval(", "), list, out);
    EXPECT_EQ(out.str(), "a, 7, , 2.5");

    split(qxval(";"), qxval("x;;y;"), list);
    join(qxval(";"), list, out);
    EXPECT_EQ(out.str(), "x;;y;");
}

TEST(FileMask, BecomesAnAnchoredExtendedRegex)
{
    EXPECT_EQ(mask_regex_of("*.htm"), "^.*\\.htm$");
    EXPECT_EQ(mask_regex_of("a?c"), "^a.?c$");
    EXPECT_EQ(mask_regex_of("a\\b|c+(d){2}[e]^$"), "^a\\\\b\\|c\\+\\(d\\)\\{2\\}\\[e\\]\\^\\$$");
    qxval mask("*.txt");
    mask_to_regex(mask);
    EXPECT_EQ(mask.str(), "^.*\\.txt$");
}

TEST(FileMask, PatternsMatchTheNamesTheMaskMeans)
{
    auto matches = [](const char* mask, const char* name, int flags = 0) {
        return regex_match(mask_regex_of(mask).c_str(), flags, name, int32_t(std::string(name).size()), nullptr) == 0;
    };
    EXPECT_TRUE(matches("*.htm", "index.htm"));
    EXPECT_FALSE(matches("*.htm", "index.html"));
    EXPECT_FALSE(matches("*.htm", "indexxhtm"));  // the dot is literal
    EXPECT_FALSE(matches("*.htm", "INDEX.HTM"));
    EXPECT_TRUE(matches("*.htm", "INDEX.HTM", REGEX_ICASE));
    EXPECT_TRUE(matches("a?c", "abc"));
    EXPECT_TRUE(matches("a?c", "ac"));
    EXPECT_FALSE(matches("a?c", "abbc"));
    EXPECT_TRUE(matches("f(1)+[x].txt", "f(1)+[x].txt"));
    EXPECT_FALSE(matches("f(1)+[x].txt", "f11x.txt"));
    EXPECT_TRUE(matches("a\\b", "a\\b"));
}

TEST(FileMask, ListSplitsAtSemicolonsWithSpaces)
{
    qxarr list;
    list.push_copy(qxval("old"));
    split_mask_list(qxval("  *.html ;*.htm;; ; a?  "), list);
    EXPECT_EQ(texts(list), (strings{"^.*\\.html$", "^.*\\.htm$", "^a.?$"}));
    split_mask_list(qxval("   "), list);
    EXPECT_EQ(list.count(), 0);
    split_mask_list(qxval("*"), list);
    EXPECT_EQ(texts(list), (strings{"^.*$"}));
}
