// Machine listing lines (MLSD), each with the entry it must give, and a
// whole listing read into a folder.
#include <gtest/gtest.h>

#include <ctime>
#include <string>

#include "browse/listing_parser.h"
#include "support/utc_time.h"
#include "remote/listing_report.h"

namespace qvtf {
namespace {

using test::utc;

const listing_clock clock_now = listing_clock::at(utc(2024, 6, 15, 12, 0, 0), 0);
constexpr std::uint64_t unknown = qxfile_node::unknown_size;

struct fact_case {
    const char* line;
    int style;
    bool keep;
    const char* name;
    bool folder;
    std::uint64_t size;
    std::time_t modified;  // 0: none given
    std::uint32_t attributes;
    const char* owner;
    const char* target;
};

const fact_case table[] = {
    {"type=file;size=120;modify=20200102030405;unix.mode=0644;UNIX.ownername=ann;unix.groupname=staff; a.txt\r\n",
     listing_machine, true, "a.txt", false, 120, utc(2020, 1, 2, 3, 4, 5), 0644, "ann", ""},
    // Fractions of a second, upper-case fact names, names with spaces.
    {"type=file;unix.mode=0o640;perm=r; py\r\n", listing_machine, true, "py", false, 0, 0, 0640, "", ""},
    {"Type=dir;Modify=20231231235959.123;Perm=elcmp; my folder\r\n", listing_machine, true, "my folder", true, 0,
     utc(2023, 12, 31, 23, 59, 59), 0700, "", ""},
    // The name is everything after the first space: leading spaces stay.
    {"type=file;size=3;modify=20200102030405;  two spaces\n", listing_machine, true, " two spaces", false, 3,
     utc(2020, 1, 2, 3, 4, 5), 0, "", ""},
    // A name holding "; " and "=" after the facts is still one name.
    {"type=file;size=1; x; y=z\r\n", listing_machine, true, "x; y=z", false, 1, 0, 0, "", ""},
    // No facts at all.
    {" bare\r\n", listing_machine, true, "bare", false, 0, 0, 0, "", ""},
    // The folder itself and its parent are no entries.
    {"type=cdir;modify=20200102030405; /pub\r\n", listing_machine, false, ".", false, 0, 0, 0, "", ""},
    {"type=pdir; ..\r\n", listing_machine, false, "", false, 0, 0, 0, "", ""},
    {"type=file; .\r\n", listing_machine, false, ".", false, 0, 0, 0, "", ""},
    {"type=file; a/b\r\n", listing_machine, false, "a/b", false, 0, 0, 0, "", ""},
    // Links, with and without their target; the uid when no name is given.
    {"type=OS.unix=slink:/etc/hosts;unix.uid=1000; ln\r\n", listing_machine, true, "ln", false, 0, 0, ATTR_LINK,
     "1000", "/etc/hosts"},
    {"type=OS.unix=symlink; ln2\r\n", listing_machine, true, "ln2", false, 0, 0, ATTR_LINK, "", ""},
    // A size past 64 bits is unknown; a malformed time is none.
    {"type=file;size=99999999999999999999999;modify=2020010203; big\r\n", listing_machine, true, "big", false,
     unknown, 0, 0, "", ""},
    {"type=file;modify=20201302030405;size=4; bad month\r\n", listing_machine, true, "bad month", false, 4, 0, 0, "",
     ""},
    // Malformed: no space before the name, a fact without "=", facts that
    // do not end in ";".
    {"type=file;size=3;name\r\n", 0, false, "", false, 0, 0, 0, "", ""},
    {"type=file;size; x\r\n", 0, false, "", false, 0, 0, 0, "", ""},
    {"type=file;size=3 x\r\n", 0, false, "", false, 0, 0, 0, "", ""},
    {"\r\n", 0, false, "", false, 0, 0, 0, "", ""},
};

TEST(ListingFacts, EachLineGivesItsEntry)
{
    for (const fact_case& c : table) {
        SCOPED_TRACE(c.line);
        qxfile_node e;
        bool keep = true;
        EXPECT_EQ(parse_machine_entry(c.line, clock_now, e, keep), c.style);
        EXPECT_EQ(keep, c.keep);
        if (c.style == 0)
            continue;
        EXPECT_EQ(e.name.view(), c.name);
        if (!c.keep)
            continue;
        EXPECT_EQ(e.is_folder != 0, c.folder);
        EXPECT_EQ(e.size(), c.size);
        EXPECT_EQ(e.modified, c.modified);
        EXPECT_EQ(e.time_exact != 0, c.modified != 0);
        EXPECT_EQ(e.attributes, c.attributes);
        EXPECT_EQ(e.owner, c.owner);
        EXPECT_EQ(e.link_target.view(), c.target);
    }
}

TEST(ListingFacts, AWholeListingIsExactAndOffsetByTheServersClock)
{
    const std::string reply =
        "type=cdir;modify=20200102030405; .\r\n"
        "type=dir;modify=20200102030405; sub\r\n"
        "type=file;size=5;modify=20200102030405; f\r\n"
        "garbage without facts\r\n";
    qxfile_tree tree;
    auto* folder = new qxfile_node;
    folder->is_folder = 1;
    tree.append_top(folder);
    listing_report report;
    const listing_clock ahead = listing_clock::at(utc(2024, 6, 15, 12, 0, 0), 100);
    EXPECT_EQ(parse_listing(reply, tree, folder, ahead, &report, listing_format::machine), listing_machine);
    EXPECT_TRUE(report.exact_times);
    EXPECT_EQ(report.unparsed, 1);
    ASSERT_NE(folder->first_child, nullptr);
    EXPECT_EQ(folder->first_child->name.view(), "sub");
    ASSERT_NE(folder->first_child->next, nullptr);
    EXPECT_EQ(folder->first_child->next->modified, utc(2020, 1, 2, 3, 4, 5) - 100);
}

// Servers whose machine listings follow links show a link back as a plain
// folder; its identity gives it away as a link up to where it leads.
TEST(ListingFacts, AFolderThatIsAFolderAboveIsALinkBack)
{
    qxfile_tree tree;
    auto* top = new qxfile_node;
    top->is_folder = 1;
    top->name.set_string("top");
    tree.append_top(top);
    ASSERT_EQ(parse_listing("type=cdir;unique=T; .\r\ntype=dir;unique=S; sub\r\ntype=dir;unique=T; self\r\n", tree,
                            top, clock_now, nullptr, listing_format::machine),
              listing_machine);
    EXPECT_EQ(top->unique, "T");
    qxfile_node* sub = top->first_child;
    ASSERT_NE(sub, nullptr);
    ASSERT_NE(sub->next, nullptr);
    EXPECT_FALSE(sub->is_link());
    EXPECT_TRUE(sub->next->is_link());
    EXPECT_EQ(sub->next->link_target.view(), ".");
    parse_listing("type=dir;unique=T; back\r\ntype=dir;unique=X; other\r\n", tree, sub, clock_now, nullptr,
                  listing_format::machine);
    ASSERT_NE(sub->first_child, nullptr);
    EXPECT_EQ(sub->first_child->name.view(), "back");
    EXPECT_EQ(sub->first_child->link_target.view(), "..");
    ASSERT_NE(sub->first_child->next, nullptr);
    EXPECT_FALSE(sub->first_child->next->is_link());
    EXPECT_EQ(tree.resolve_link(sub->first_child), top);
}

}  // namespace
}  // namespace qvtf
