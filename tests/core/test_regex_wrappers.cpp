#include "core/qxregex.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

using namespace qvtf;

namespace {

using strings = std::vector<std::string>;

strings texts(const qxarr& list)
{
    strings out;
    for (const qxval& v : list)
        out.push_back(v.str());
    return out;
}

int match(const char* pattern, int flags, const char* subject, qxarr* list)
{
    return regex_match(pattern, flags, subject, int32_t(std::strlen(subject)), list);
}

}  // namespace

TEST(RegexMatch, CapturesPassiveReplyNumbers)
{
    qxarr list;
    const char* reply = "227 Entering Passive Mode (127,0,0,1,195,80).";
    ASSERT_EQ(match("([0-9]{1,3},[0-9]{1,3},[0-9]{1,3},[0-9]{1,3}),([0-9]{1,3}),([0-9]{1,3})", 0, reply, &list), 0);
    EXPECT_EQ(texts(list), (strings{"127,0,0,1,195,80", "127,0,0,1", "195", "80"}));
    EXPECT_TRUE(regex_load());
}

TEST(RegexMatch, ResultCodesAndListClearing)
{
    qxarr list;
    list.push_copy(qxval("old"));
    EXPECT_NE(match("x+", 0, "abc", &list), 0);
    EXPECT_EQ(list.count(), 0);

    list.push_copy(qxval("old"));
    int error = match("(unclosed", 0, "(unclosed", &list);
    EXPECT_NE(error, 0);
    EXPECT_NE(error, match("x", 0, "y", nullptr));  // a compile error, not "no match"
    EXPECT_EQ(list.count(), 0);

    EXPECT_EQ(match("^a+$", 0, "aaa", nullptr), 0);
    EXPECT_NE(match("^a+$", 0, "AAA", nullptr), 0);
    EXPECT_EQ(match("^a+$", REGEX_ICASE, "AAA", nullptr), 0);
    // Extended syntax is always on: "+" and "|" are operators.
    EXPECT_EQ(match("^(ab|cd)+$", 0, "abcdab", nullptr), 0);
}

TEST(RegexMatch, UnmatchedGroupsAndNoSubGiveEmptyStrings)
{
    qxarr list;
    ASSERT_EQ(match("(a)|(b)", 0, "b", &list), 0);
    EXPECT_EQ(texts(list), (strings{"b", "", "b"}));

    ASSERT_EQ(match("x(y*)z", 0, "xz", &list), 0);
    EXPECT_EQ(texts(list), (strings{"xz", ""}));

    // With no-sub reporting asked for, the library reports no offsets at all.
    ASSERT_EQ(match("(a)(b)", REGEX_NOSUB, "ab", &list), 0);
    EXPECT_EQ(texts(list), (strings{"", "", ""}));

    // Offsets beyond the stated subject length are not trusted.
    ASSERT_EQ(regex_match("cd", 0, "abcd", 3, &list), 0);
    EXPECT_EQ(texts(list), (strings{""}));
}

TEST(RegexMatch, ValueFormWorksOnTextForms)
{
    qxarr list;
    EXPECT_EQ(regex_match_value(qxval("^([0-9]+)\\.([0-9]+)$"), 0, qxval(2.25), &list), 0);
    EXPECT_EQ(texts(list), (strings{"2.25", "2", "25"}));
    // The subject may be an element of the list that is cleared.
    qxarr own;
    own.push_copy(qxval("key=value"));
    EXPECT_EQ(regex_match_value(qxval("^([a-z]+)="), 0, *own.begin(), &own), 0);
    EXPECT_EQ(texts(own), (strings{"key=", "key"}));
}

TEST(RegexSplit, SplitsAtMatches)
{
    qxarr list;
    regex_split(qxval(" *; *"), qxval("a ;b"), list, 0);
    EXPECT_EQ(texts(list), (strings{"a", "b"}));
    regex_split(qxval(" *; *"), qxval(";a;  ;b; "), list, 0);
    EXPECT_EQ(texts(list), (strings{"", "a", "", "b", ""}));
    regex_split(qxval(","), qxval("no match"), list, 0);
    EXPECT_EQ(texts(list), (strings{"no match"}));
    regex_split(qxval(","), qxval(""), list, 0);
    EXPECT_EQ(list.count(), 0);
    regex_split(qxval("A"), qxval("xaya"), list, 0, REGEX_ICASE);
    EXPECT_EQ(texts(list), (strings{"x", "y", ""}));
    // No-sub reporting would hide the positions; splitting still works.
    regex_split(qxval(","), qxval("p,q"), list, 0, REGEX_NOSUB);
    EXPECT_EQ(texts(list), (strings{"p", "q"}));
}

TEST(RegexSplit, LimitsEmptyMatchesAndBadPatterns)
{
    qxarr list;
    regex_split(qxval(","), qxval("a,b"), list, 1);
    EXPECT_EQ(list.count(), 0);
    regex_split(qxval(","), qxval("a,b"), list, -1);
    EXPECT_EQ(list.count(), 0);
    regex_split(qxval(","), qxval("a,b,c"), list, 2);  // other limits are not applied
    EXPECT_EQ(texts(list), (strings{"a", "b", "c"}));
    // A pattern that can match nothing stops the split instead of looping.
    regex_split(qxval("x*"), qxval("abc"), list, 0);
    EXPECT_EQ(texts(list), (strings{"abc"}));
    regex_split(qxval("(bad"), qxval("a(bad"), list, 0);
    EXPECT_EQ(list.count(), 0);
    // "^" anchors at the start of the subject only, not after each match.
    regex_split(qxval("^a"), qxval("aaa"), list, 0);
    EXPECT_EQ(texts(list), (strings{"", "aa"}));
}

namespace {

int32_t bracket(std::string_view matched, void* arg, qxhash*, const char** replacement)
{
    auto* buffer = static_cast<std::string*>(arg);
    if (matched == "skip")
        return -1;
    *buffer = "[" + std::string(matched) + "]";
    *replacement = buffer->data();
    return int32_t(buffer->size());
}

}  // namespace

TEST(RegexReplace, CallbackSeesTheTrimmedMatch)
{
    std::string buffer;
    qxval v("<one> <skip> <> <two>");
    int32_t n = regex_replace(v, "<[a-z]*>", 1, 1, bracket, &buffer, nullptr, "?", 1);
    EXPECT_EQ(n, 4);
    EXPECT_EQ(v.str(), "[one] ? [] [two]");

    qxval number(12012);
    EXPECT_EQ(regex_replace(number, "1", 0, 0, nullptr, nullptr, nullptr, "one", 3), 2);
    EXPECT_EQ(number.str(), "one20one2");

    qxval untouched(42);
    EXPECT_EQ(regex_replace(untouched, "x", 0, 0, bracket, &buffer, nullptr, "", 0), 0);
    EXPECT_TRUE(untouched.is_string());
    EXPECT_EQ(untouched.str(), "42");

    qxval anchored("aaa");
    EXPECT_EQ(regex_replace(anchored, "^a", 0, 0, nullptr, nullptr, nullptr, "b", 1), 1);
    EXPECT_EQ(anchored.str(), "baa");

    qxval bad("a(b");
    EXPECT_EQ(regex_replace(bad, "(", 0, 0, bracket, &buffer, nullptr, "", 0), 0);
    EXPECT_EQ(bad.str(), "a(b");

    // Skips longer than the match leave the callback an empty text.
    qxval tiny("ab");
    EXPECT_EQ(regex_replace(tiny, "a", 3, 3, bracket, &buffer, nullptr, "", 0), 1);
    EXPECT_EQ(tiny.str(), "[]b");
}

TEST(Entities, NumericEntitiesBecomeBytes)
{
    qxval v("&#65;&#x41;&#x4a;&#065;&#233;&#1234;&#256;&#x141;&#x;&#12a;!");
    replace_numeric_entities(v);
    EXPECT_EQ(v.str(), "AAJA\xe9!!!&#x;\x0c!");
    qxval nul("a&#0;b&#x0;c&#ff;");
    replace_numeric_entities(nul);
    EXPECT_EQ(nul.str(), "a!b!c!");
    qxval plain("AT&T; x&#;");
    replace_numeric_entities(plain);
    EXPECT_EQ(plain.str(), "AT&T; x&#;");
}

TEST(Entities, NamedEntitiesLookUpTheMap)
{
    qxhash map;
    map.set(qxval("amp"), qxval("&"));
    map.set(qxval("lt"), qxval("<"));
    map.set(qxval("my.name-2"), qxval("value"));
    qxval v("a &amp; b &lt;&AMP; &my.name-2; &unknown; & amp; &1x;");
    replace_named_entities(v, &map, false);
    EXPECT_EQ(v.str(), "a & b <! value ! & amp; &1x;");

    qxval folded("&AMP;&Lt;");
    replace_named_entities(folded, &map, true);
    EXPECT_EQ(folded.str(), "&<");

    // A replacement is not rescanned for entities.
    map.set(qxval("nest"), qxval("&amp;"));
    qxval nested("&nest;");
    replace_named_entities(nested, &map, false);
    EXPECT_EQ(nested.str(), "&amp;");

    qxhash empty;
    qxval all("&amp;&quot;x");
    replace_named_entities(all, &empty, false);
    EXPECT_EQ(all.str(), "!!x");
    qxval none("&amp;");
    replace_named_entities(none, nullptr, false);
    EXPECT_EQ(none.str(), "!");
}

TEST(Entities, VariablesAreReplacedOrRemoved)
{
    qxhash map;
    map.set(qxval("host"), qxval("example.org"));
    map.set(qxval("user.name"), qxval("anna"));
    map.set(qxval("port"), qxval(21));
    qxval v("USER %user.name%@%host%:%port% %missing%% 100%");
    replace_variables(v, &map, false);
    EXPECT_EQ(v.str(), "USER anna@example.org:21 % 100%");

    qxval upper("%HOST%");
    replace_variables(upper, &map, true);
    EXPECT_EQ(upper.str(), "example.org");
    qxval exact("%HOST%");
    replace_variables(exact, &map, false);
    EXPECT_EQ(exact.str(), "");
}
