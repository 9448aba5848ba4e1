// Name masks: every form means what its anchored expression means, and a
// list of 200,000 masks is compiled once and matched by lookup.
#include <gtest/gtest.h>
#include <regex.h>

#include <string>

#include "browse/qxfile_filter.h"
#include "core/qxmask.h"

namespace qvtf {
namespace {

// What the mask list meant when every mask was an expression of its own.
bool by_expressions(const std::string& masks, const std::string& name)
{
    qxarr regexes;
    split_mask_list(qxval(masks.c_str()), regexes);
    bool hit = false;
    for (const qxval& source : regexes) {
        regex_t re;
        if (regcomp(&re, source.c_str(), REG_EXTENDED | REG_ICASE | REG_NOSUB) != 0)
            continue;
        hit = hit || regexec(&re, name.c_str(), 0, nullptr, 0) == 0;
        regfree(&re);
    }
    return hit;
}

TEST(Masks, EveryFormMatchesLikeItsExpression)
{
    struct row {
        const char* masks;
        const char* name;
        bool hit;
    } const rows[] = {
        {"*", "anything.txt", true},
        {"*", "", true},
        {"*.html; *.htm", "INDEX.HTML", true},
        {"*.html; *.htm", "index.html.bak", false},
        {"*.html", ".html", true},
        {"*.html", "html", false},
        {"index.html", "Index.HTML", true},
        {"index.html", "index.htm", false},
        {"cgi-bin", "cgi-bin", true},
        {"tmp*", "TMP-1", true},
        {"tmp*", "tm", false},
        {"tmp*", "tmp", true},
        {"a?c", "ac", true},
        {"a?c", "abc", true},
        {"a?c", "abbc", false},
        {"*cache*", "my-Cache-dir", true},
        {"*.[ch]", "x.[ch]", true},
        {"*.[ch]", "x.c", false},
        {"a+b (1).txt", "A+B (1).TXT", true},
        {"  x.txt ;y.txt  ", "y.txt", true},
        {"x.txt;;", "x.txt", true},
        {"", "x", false},
        {"caf\xc3\xa9.txt", "CAF\xc3\xa9.txt", true},
    };
    for (const row& r : rows) {
        SCOPED_TRACE(std::string(r.masks) + " / " + r.name);
        compiled_masks m;
        m.compile(qxval(r.masks));
        EXPECT_EQ(m.any_matches(r.name), r.hit);
        EXPECT_EQ(by_expressions(r.masks, r.name), r.hit);
        const compiled_masks copy = m;  // copies share the compiled masks
        EXPECT_EQ(copy.any_matches(r.name), r.hit);
    }
}

TEST(Masks, TwoHundredThousandSkipMasks)
{
    std::string text;
    for (int i = 0; i < 200000; ++i)
        text += (i % 3 == 0   ? "file" + std::to_string(i) + ".tmp"
                 : i % 3 == 1 ? "*.x" + std::to_string(i)
                              : "old" + std::to_string(i) + "*") +
                ";";
    compiled_masks m;
    m.compile(qxval(text.c_str()));
    EXPECT_EQ(m.size(), 200000u);
    struct row {
        const char* name;
        bool hit;
    } const rows[] = {{"file3.tmp", true}, {"FILE3.TMP", true},  {"file4.tmp", false}, {"a.x4", true},
                      {"a.x5", false},     {"old5-draft", true}, {"old4", false},      {"keep.html", false}};
    for (int round = 0; round < 15; ++round)
        for (const row& r : rows)
            EXPECT_EQ(m.any_matches(r.name), r.hit) << r.name;
}

}  // namespace
}  // namespace qvtf
