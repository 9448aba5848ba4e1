// Listing lines from real servers, each with the entry it must give.
#include <gtest/gtest.h>

#include <ctime>
#include <string>
#include <vector>

#include "browse/listing_parser.h"
#include "support/utc_time.h"

namespace qvtf {
namespace {

using test::utc;

// All listings below are read on 2024-06-15 12:00 UTC.
const listing_clock clock_now = listing_clock::at(utc(2024, 6, 15, 12, 0), 0);

struct expect_entry {
    const char* line;
    int style;
    bool keep;
    const char* name;
    bool folder;
    std::uint64_t size;
    std::uint32_t attributes;
    std::time_t modified;
    const char* extension;
    const char* target;
};

const expect_entry table[] = {
    // Plain ls -l (vsftpd with numeric ids, pyftpdlib, ProFTPD, Pure-FTPd, IIS in Unix mode).
    {"-rw-r--r--    1 1000     1000         1234 Jan 05 12:30 index.html\r\n", 1, true, "index.html", false, 1234, 0644,
     utc(2024, 1, 5, 12, 30), ".html", ""},
    {"-rw-r--r--   1 user     user         1234 Dec 08 10:00 report.PDF\r\n", 1, true, "report.PDF", false, 1234, 0644,
     utc(2023, 12, 8, 10, 0), ".pdf", ""},
    {"drwxr-xr-x   2 ftp      ftp          4096 Dec 31  2003 two words\r\n", 1, true, "two words", true, 4096, 0755,
     utc(2003, 12, 31), "", ""},
    {"-rw-r--r--   1 ftp      ftp         12345 Mar 15  2021 archive.tar.gz\n", 1, true, "archive.tar.gz", false, 12345,
     0644, utc(2021, 3, 15), ".gz", ""},
    {"-rw-r--r--    1 1001       1001             42 Nov 28 19:59 readme\r\n", 1, true, "readme", false, 42, 0644,
     utc(2023, 11, 28, 19, 59), "", ""},
    {"-rwxrwxrwx   1 owner    group              5 Jan 14 11:52 test.txt\r\n", 1, true, "test.txt", false, 5, 0777,
     utc(2024, 1, 14, 11, 52), ".txt", ""},
    // Owner but no group; no link count; numeric group before the size.
    {"-rw-r--r-- 1 owner 1234 Jan 5 12:30 nogroup.c\n", 1, true, "nogroup.c", false, 1234, 0644,
     utc(2024, 1, 5, 12, 30), ".c", ""},
    {"-rw-r--r-- ftp ftp 777 Feb 29 2020 nolinks\n", 1, true, "nolinks", false, 777, 0644, utc(2020, 2, 29), "", ""},
    {"-rw-r----- 1 owner 100 98765 Jun  1  2019 numeric\n", 1, true, "numeric", false, 98765, 0640, utc(2019, 6, 1), "",
     ""},
    // Past 4 GiB and past January 2038.
    {"-rw-r--r-- 1 u g 5368709120 Mar  1  2040 disk.img\n", 1, true, "disk.img", false, 5368709120ull, 0644,
     utc(2040, 3, 1), ".img", ""},
    {"03-01-40  10:00AM     5368709120 disk.iso\r\n", 2, true, "disk.iso", false, 5368709120ull, 0777,
     utc(2040, 3, 1, 10, 0), "", ""},
    // Special bits with and without execute.
    {"-rwsr-sr-t 1 root root 0 Feb 29 2020 special\n", 1, true, "special", false, 0, 0xE00 | 0755, utc(2020, 2, 29), "",
     ""},
    {"-rwSr-Sr-T 1 root root 0 Feb 29 2020 special2\n", 1, true, "special2", false, 0, 0xE00 | 0644, utc(2020, 2, 29),
     "", ""},
    {"drwxrwxrwt  10 root root 4096 Jun 14 09:00 tmp\n", 1, true, "tmp", true, 4096, 0x200 | 0777,
     utc(2024, 6, 14, 9, 0), "", ""},
    // Links: folder-flagged, target after the first arrow.
    {"lrwxrwxrwx 1 user group 11 Mar  1 08:00 www -> public_html\r\n", 1, true, "www", true, 11, ATTR_LINK | 0777,
     utc(2024, 3, 1, 8, 0), "", "public_html"},
    {"lrwxrwxrwx 1 u g 4 Mar 1 2022 a.lnk -> b -> c\n", 1, true, "a.lnk", true, 4, ATTR_LINK | 0777, utc(2022, 3, 1),
     ".lnk", "b -> c"},
    {"lrwxrwxrwx 1 u g 4 Mar 1 2022 ../up -> /etc\n", 1, false, "../up", true, 4, ATTR_LINK | 0777, 0, "", "/etc"},
    {"-rw-r--r-- 1 u g 4 Mar 1 2022 not -> a link\n", 1, true, "not -> a link", false, 4, 0644, utc(2022, 3, 1), "",
     ""},
    // Odd spacing: runs of spaces between fields; one space ends the date, so the
    // name's own leading, inner and trailing spaces are kept.
    {"-rw-r--r--  1  owner  group   1234  Jan   5   2020   spaced  name  \r\n", 1, true, "  spaced  name  ", false,
     1234, 0644, utc(2020, 1, 5), "", ""},
    {"-rw-r--r-- 1 u g 5 Jan  5 12:30  leading.txt\r\n", 1, true, " leading.txt", false, 5, 0644,
     utc(2024, 1, 5, 12, 30), ".txt", ""},
    // A carriage return inside a name is part of it; only the line end goes.
    {"-rw-r--r-- 1 u g 5 Jan  5  2020 report.txt\rOLD\r\n", 1, true, "report.txt\rOLD", false, 5, 0644, utc(2020, 1, 5),
     ".txt\rold", ""},
    // Marks after the permissions: SELinux context, ACL, extended attributes.
    {"-rw-r--r--. 1 root root 1234 Jan 05 12:30 selinux.conf\n", 1, true, "selinux.conf", false, 1234, 0644,
     utc(2024, 1, 5, 12, 30), ".conf", ""},
    {"drwxrwxr-x+ 3 web web 4096 Mar  1  2022 shared\n", 1, true, "shared", true, 4096, 0775, utc(2022, 3, 1), "", ""},
    {"-rw-r--r--@ 1 alice staff 10 Feb  2  2021 mac.txt\n", 1, true, "mac.txt", false, 10, 0644, utc(2021, 2, 2),
     ".txt", ""},
    // ISO times: GNU long-iso, and full-iso to the second with its zone.
    {"-rw-r--r-- 1 u g 99 2020-01-01 12:00 long-iso.txt\n", 1, true, "long-iso.txt", false, 99, 0644,
     utc(2020, 1, 1, 12, 0), ".txt", ""},
    {"-rw-r--r-- 1 u g 99 2020-01-01 12:00:30.123456789 +0100 full-iso.txt\n", 1, true, "full-iso.txt", false, 99, 0644,
     utc(2020, 1, 1, 11, 0) + 30, ".txt", ""},
    // Owner and group with spaces (Windows domain accounts).
    {"-rw-r--r-- 1 John Smith Domain Users 42 Jan  5 12:30 owner.doc\r\n", 1, true, "owner.doc", false, 42, 0644,
     utc(2024, 1, 5, 12, 30), ".doc", ""},
    // Numeric owner and group: the size is the number a date follows.
    {"-rw-r--r-- 1 1001 1001 12 Nov 28 19:59 numbers\n", 1, true, "numbers", false, 12, 0644, utc(2023, 11, 28, 19, 59),
     "", ""},
    // Month names of other languages; German and French put the day first.
    {"-rw-r--r-- 1 u g 5 M\xc3\xa4r  3  2021 de.txt\n", 1, true, "de.txt", false, 5, 0644, utc(2021, 3, 3), ".txt", ""},
    {"-rw-r--r-- 1 u g 5 Okt  3 10:00 de2\n", 1, true, "de2", false, 5, 0644, utc(2023, 10, 3, 10, 0), "", ""},
    {"-rw-r--r-- 1 u g 5  3. Dez 2019 de3\n", 1, true, "de3", false, 5, 0644, utc(2019, 12, 3), "", ""},
    {"-rw-r--r-- 1 u g 5 janv.  5  2020 fr.txt\n", 1, true, "fr.txt", false, 5, 0644, utc(2020, 1, 5), ".txt", ""},
    {"-rw-r--r-- 1 u g 5  5 f\xc3\xa9vr. 2020 fr2\n", 1, true, "fr2", false, 5, 0644, utc(2020, 2, 5), "", ""},
    {"-rw-r--r-- 1 u g 5 ao\xc3\xbbt 15  2019 fr3\n", 1, true, "fr3", false, 5, 0644, utc(2019, 8, 15), "", ""},
    {"-rw-r--r-- 1 u g 5 ene  5  2020 es\n", 1, true, "es", false, 5, 0644, utc(2020, 1, 5), "", ""},
    {"-rw-r--r-- 1 u g 5 dic. 24  2019 es2\n", 1, true, "es2", false, 5, 0644, utc(2019, 12, 24), "", ""},
    {"-rw-r--r-- 1 u g 5 gen  7  2020 it\n", 1, true, "it", false, 5, 0644, utc(2020, 1, 7), "", ""},
    {"-rw-r--r-- 1 u g 5 mrt  7  2020 nl\n", 1, true, "nl", false, 5, 0644, utc(2020, 3, 7), "", ""},
    // Sizes up to 2^63 - 1 are sizes; anything larger is no size at all.
    {"-rw-r--r-- 1 u g 9223372036854775807 Jan 5 2020 max\n", 1, true, "max", false, 9223372036854775807ull, 0644,
     utc(2020, 1, 5), "", ""},
    {"-rw-r--r-- 1 u g 9223372036854775808 Jan 5 2020 past\n", 1, true, "past", false, qxfile_node::unknown_size, 0644,
     utc(2020, 1, 5), "", ""},
    {"-rw-r--r-- 1 u g 18446744073709551615 Jan 5 2020 huge\n", 1, true, "huge", false, qxfile_node::unknown_size, 0644,
     utc(2020, 1, 5), "", ""},
    {"-rw-r--r-- 1 u g 99999999999999999999999 Jan 5 2020 huger\n", 1, true, "huger", false, qxfile_node::unknown_size,
     0644, utc(2020, 1, 5), "", ""},
    {"12-31-23  11:59PM  18446744073709551615 dos-huge\r\n", 2, true, "dos-huge", false, qxfile_node::unknown_size,
     0777, utc(2023, 12, 31, 23, 59), "", ""},
    {"-rw-r--r-- 1 u g 5000000000 Jan 5 2020 big.iso\n", 1, true, "big.iso", false, 5000000000ull, 0644,
     utc(2020, 1, 5), ".iso", ""},
    {"-rw-r--r-- 1 u g 7 Jan 5 2020 last line without feed", 1, true, "last line without feed", false, 7, 0644,
     utc(2020, 1, 5), "", ""},
    {"-rw-r--r-- 1 u g 7 Jan 5 2020 caf\xc3\xa9.TXT\n", 1, true, "caf\xc3\xa9.TXT", false, 7, 0644, utc(2020, 1, 5),
     ".txt", ""},
    // Entries that are dropped but still count as Unix lines.
    {"drwxr-xr-x 2 u g 4096 Jan 1 2020 .\r\n", 1, false, ".", true, 4096, 0755, 0, "", ""},
    {"drwxr-xr-x 2 u g 4096 Jan 1 2020 ..\r\n", 1, false, "..", true, 4096, 0755, 0, "", ""},
    {"-rw-r--r-- 1 u g 1 Jan 5 2020 ../../etc/passwd\n", 1, false, "../../etc/passwd", false, 1, 0644, 0, "", ""},
    {"-rw-r--r-- 1 u g 1 Jan 5 2020 sub/file\n", 1, false, "sub/file", false, 1, 0644, 0, "", ""},
    {"-rw-r--r-- 1 u g 1 Jan 5 2020 \r\n", 1, false, "", false, 1, 0644, 0, "", ""},
    // Lines that are no entries at all.
    {"total 24\r\n", 0, false, "", false, 0, 0, 0, "", ""},
    {"\r\n", 0, false, "", false, 0, 0, 0, "", ""},
    {"", 0, false, "", false, 0, 0, 0, "", ""},
    {"-rw-r--r-- 1 u g 10 Sept 5 2020 four-letter-month\n", 0, false, "", false, 0, 0, 0, "", ""},
    {"-rw-r--r-- 1 u g 10 Xyz 5 2020 bad-month\n", 0, false, "", false, 0, 0, 0, "", ""},
    {"-rw-r--r-- 1 u g 10 Jan 123 2020 day-digits\n", 0, false, "", false, 0, 0, 0, "", ""},
    {"-rw-r--r-- 1 u g 10 Jan 5 12:345 minute-digits\n", 0, false, "", false, 0, 0, 0, "", ""},
    {"-rw-r--r-- 1 u g 10 Jan 5 2020\n", 1, false, "", false, 0, 0, 0, "", ""},
    {"-rw-r--r-- 1 u g 10 Jan 5 2020", 0, false, "", false, 0, 0, 0, "", ""},
    {"-rw-r--r-- 1 u g 10 Jan", 0, false, "", false, 0, 0, 0, "", ""},
    {"-rwxr-xr-", 0, false, "", false, 0, 0, 0, "", ""},
    // An ACL mark after the permissions is read over; any other letter there is no mark.
    {"-rw-r--r--+ 1 u g 1 Jan 5 2020 acl\n", 1, true, "acl", false, 1, 0644, utc(2020, 1, 5), "", ""},
    {"-rw-r--r--x 1 u g 1 Jan 5 2020 mark\n", 0, false, "", false, 0, 0, 0, "", ""},
    {"-rwxr-xr-q 1 u g 1 Jan 5 2020 badperm\n", 0, false, "", false, 0, 0, 0, "", ""},
    {"crw-rw-rw- 1 root root 1, 3 Jan 1 2020 null\n", 0, false, "", false, 0, 0, 0, "", ""},
    {"brw-rw---- 1 root disk 8, 0 Jan 1 2020 sda\n", 0, false, "", false, 0, 0, 0, "", ""},
    {"srwxrwxrwx 1 root root 0 Jan 1 2020 sock\n", 0, false, "", false, 0, 0, 0, "", ""},
    {"150 Here comes the directory listing.\r\n", 0, false, "", false, 0, 0, 0, "", ""},
    // DOS / IIS.
    {"01-05-04  09:15PM       <DIR>          folder\r\n", 2, true, "folder", true, 0, 0777, utc(2004, 1, 5, 21, 15), "",
     ""},
    {"12-31-2003  11:59AM             1234 file.txt\r\n", 2, true, "file.txt", false, 1234, 0777,
     utc(2003, 12, 31, 11, 59), "", ""},
    {"01-05-04 12:00AM 5 midnight\r\n", 2, true, "midnight", false, 5, 0777, utc(2004, 1, 5, 0, 0), "", ""},
    {"01-05-04 12:00PM 5 noon\r\n", 2, true, "noon", false, 5, 0777, utc(2004, 1, 5, 12, 0), "", ""},
    {"6/15/2024 3:04pm 5 slashes and lower case\r\n", 2, true, "slashes and lower case", false, 5, 0777,
     utc(2024, 6, 15, 15, 4), "", ""},
    {"13-05-04 01:00AM 5 no-month\r\n", 2, true, "no-month", false, 5, 0777, utc(2004, 1, 5, 1, 0), "", ""},
    {"01-05-04  09:15PM       <DIR>          .\r\n", 2, false, ".", true, 0, 0, 0, "", ""},
    {"01-05-04  09:15PM       <DIR>          a/b\r\n", 2, false, "a/b", true, 0, 0, 0, "", ""},
    {"01-05-04 21:15 <DIR> twentyfour\r\n", 0, false, "", false, 0, 0, 0, "", ""},
    {"01-05-04 09:15XM <DIR> badmarker\r\n", 0, false, "", false, 0, 0, 0, "", ""},
    {"01-05-12345 09:15AM <DIR> longyear\r\n", 0, false, "", false, 0, 0, 0, "", ""},
    {"01-05-04 09:15PM ABC name\r\n", 0, false, "", false, 0, 0, 0, "", ""},
    {"01-05-04 09:15P", 0, false, "", false, 0, 0, 0, "", ""},
    {"01-05-04 09:15PM <DI", 0, false, "", false, 0, 0, 0, "", ""},
};

TEST(ListingLine, RealServerLines)
{
    for (const expect_entry& x : table) {
        SCOPED_TRACE(x.line);
        qxfile_node e;
        bool keep = true;
        int style = parse_listing_entry(x.line, clock_now, e, keep);
        EXPECT_EQ(style, x.style);
        EXPECT_EQ(keep, x.keep);
        if (x.style == 0)
            continue;
        EXPECT_EQ(e.name.view(), x.name);
        EXPECT_EQ(e.is_folder != 0, x.folder);
        if (!x.keep)
            continue;
        EXPECT_EQ(e.size(), x.size);
        EXPECT_EQ(e.attributes, x.attributes);
        EXPECT_EQ(e.modified, x.modified);
        EXPECT_EQ(e.extension.view(), x.extension);
        EXPECT_EQ(e.link_target.view(), x.target);
    }
}

std::time_t modified_of(const std::string& date, const listing_clock& clock)
{
    qxfile_node e;
    bool keep = false;
    std::string line = "-rw-r--r-- 1 u g 1 " + date + " f\n";
    EXPECT_EQ(parse_listing_entry(line, clock, e, keep), 1) << line;
    EXPECT_TRUE(keep);
    return e.modified;
}

TEST(ListingLine, YearOfDatesWithATime)
{
    // Last year while less than 350 days ago, else this year (even in the future).
    EXPECT_EQ(modified_of("Dec 20 10:00", clock_now), utc(2023, 12, 20, 10, 0));
    EXPECT_EQ(modified_of("Jun 20 10:00", clock_now), utc(2024, 6, 20, 10, 0));
    EXPECT_EQ(modified_of("Jul 1 12:00", clock_now), utc(2024, 7, 1, 12, 0));  // exactly 350 days
    EXPECT_EQ(modified_of("Jul 1 12:01", clock_now), utc(2023, 7, 1, 12, 1));
    // Month names in any case, day and hour with one digit.
    EXPECT_EQ(modified_of("jUN 3 1:05", clock_now), utc(2024, 6, 3, 1, 5));
    EXPECT_EQ(modified_of("SEP 3 2001", clock_now), utc(2001, 9, 3));
    EXPECT_EQ(modified_of("Jul 4 99", clock_now), utc(1999, 7, 4));
}

TEST(ListingLine, TimeDifferenceIsSubtractedEverywhere)
{
    // The server runs an hour ahead: its 12:01 a year ago is local 11:01.
    const listing_clock ahead = listing_clock::at(utc(2024, 6, 15, 12, 0), 3600);
    EXPECT_EQ(modified_of("Jul 1 12:01", ahead), utc(2024, 7, 1, 11, 1));
    EXPECT_EQ(modified_of("Jul 1 13:01", ahead), utc(2023, 7, 1, 12, 1));
    EXPECT_EQ(modified_of("Mar 15 2021", ahead), utc(2021, 3, 14, 23, 0));
    qxfile_node e;
    bool keep;
    parse_listing_entry("03-15-21 01:00AM 5 dos\r\n", ahead, e, keep);
    EXPECT_EQ(e.modified, utc(2021, 3, 15, 0, 0));
}

// Sizes past 4 GiB and times past January 2038 keep their order through a
// whole listing, its time offset and both sort keys.
TEST(ListingLine, LargeSizesAndLateTimesSurviveParseAndSort)
{
    const listing_clock late = listing_clock::at(utc(2039, 6, 15, 12, 0), 3600);
    const char* reply =
        "-rw-r--r-- 1 u g 5368709120 Jun 10 13:00 five\r\n"
        "-rw-r--r-- 1 u g 4294967296 Mar  1  2038 four\r\n"
        "-rw-r--r-- 1 u g 2147483648 Dec 31  2037 two\r\n";
    qxfile_tree tree;
    auto* folder = new qxfile_node;
    folder->is_folder = 1;
    tree.append_top(folder);
    ASSERT_EQ(parse_listing(reply, tree, folder, late), listing_unix);

    struct step {
        int key;
        const char* order;
    };
    for (const step& s :
         {step{SORT_SIZE, "two four five"}, step{SORT_MODIFIED, "two four five"}, step{SORT_NAME, "five four two"}}) {
        tree.sort_key = s.key;
        tree.sort_siblings(folder->first_child);
        std::string order;
        for (qxfile_node* n = folder->first_child; n; n = n->next)
            order += (order.empty() ? "" : " ") + n->name.str();
        EXPECT_EQ(order, s.order) << "sort key " << s.key;
    }
    std::uint64_t sizes[3];
    std::time_t times[3];
    int i = 0;
    for (qxfile_node* n = folder->first_child; n && i < 3; n = n->next, ++i) {
        sizes[i] = n->size();
        times[i] = n->modified;
    }
    ASSERT_EQ(i, 3);
    EXPECT_EQ(sizes[0], 5368709120ull);
    EXPECT_EQ(times[0], utc(2039, 6, 10, 12, 0));  // the server's hour ahead taken off
    EXPECT_EQ(sizes[1], 4294967296ull);
    EXPECT_EQ(times[1], utc(2038, 2, 28, 23, 0));
    EXPECT_EQ(times[2], utc(2037, 12, 30, 23, 0));
}

TEST(ListingLine, ClockYearFromUtc)
{
    EXPECT_EQ(listing_clock::at(utc(2024, 12, 31, 23, 59), 0).current_year, 2024);
    EXPECT_EQ(listing_clock::at(utc(2025, 1, 1, 0, 0), 0).current_year, 2025);
}

TEST(ListingPermissions, EveryBitPatternRoundTrips)
{
    for (std::uint32_t bits = 0; bits < 0x1000; ++bits) {
        for (int type = 0; type < 3; ++type) {
            std::uint32_t attributes = bits | (type == 2 ? ATTR_LINK : 0);
            bool folder = type != 0;
            qxval text = format_permissions(attributes, folder);
            ASSERT_EQ(text.view().size(), 10u);
            qxfile_node n;
            std::size_t pos = 0;
            std::string line = text.str() + " rest";
            ASSERT_EQ(parse_permissions(line, pos, n), 0) << line;
            EXPECT_EQ(pos, 10u);
            EXPECT_EQ(n.attributes, attributes) << line;
            EXPECT_EQ(n.is_folder != 0, folder) << line;
        }
    }
    EXPECT_EQ(format_permissions(0xE00 | 0755, false).view(), "-rwsr-sr-t");
    EXPECT_EQ(format_permissions(0xE00 | 0644, true).view(), "drwSr-Sr-T");
    EXPECT_EQ(format_permissions(ATTR_LINK | 0777, true).view(), "lrwxrwxrwx");
}

TEST(ListingPermissions, RejectsWithoutTouchingTheNode)
{
    qxfile_node n;
    n.attributes = 0123;
    for (const char* bad : {"", "-rw", "xrw-r--r--", "-rwxr-xr-s", "-rwxr-xr-?", "-rwtr-xr-x", "-rwxS-xr-x"}) {
        std::size_t pos = 0;
        std::string_view s = bad;
        bool valid = parse_permissions(s, pos, n) == 0;
        // "-rwxr-xr-s" is invalid: "s" belongs to the user and group positions only.
        EXPECT_FALSE(valid) << bad;
        EXPECT_EQ(pos, 0u);
        EXPECT_EQ(n.attributes, 0123u);
    }
}

// Every line above with CR, LF, space or tab put at every position: nothing
// may crash or read out of bounds (the sanitizer builds check the latter).
TEST(ListingLine, TortureInsertions)
{
    const char inserts[] = {'\r', '\n', ' ', '\t', '\0'};
    qxfile_tree tree;
    auto* folder = new qxfile_node;
    folder->is_folder = 1;
    tree.append_top(folder);
    std::size_t kept = 0;
    for (const expect_entry& x : table) {
        std::string base = x.line;
        for (std::size_t at = 0; at <= base.size(); ++at) {
            for (char c : inserts) {
                std::string s = base;
                s.insert(s.begin() + std::ptrdiff_t(at), c);
                qxfile_node e;
                bool keep = false;
                int style = parse_listing_entry(s, clock_now, e, keep);
                ASSERT_TRUE(style >= 0 && style <= 2);
                if (keep) {
                    std::string_view name = e.name.view();
                    ASSERT_FALSE(name.empty());
                    ASSERT_EQ(name.find('/'), std::string_view::npos);
                    ASSERT_EQ(name.find('\0'), std::string_view::npos);
                    ASSERT_EQ(name.find('\n'), std::string_view::npos);  // a CR inside is the name's own
                    ++kept;
                }
                parse_listing(s, tree, folder, clock_now);
            }
        }
    }
    EXPECT_GT(kept, 0u);
}

}  // namespace
}  // namespace qvtf
