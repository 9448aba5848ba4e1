// Rule files: the exact bytes written, and what loading tolerates and where
// it stops.
#include <gtest/gtest.h>

#include <string>

#include "support/process.h"
#include "sync/dir_sync_settings.h"
#include "tools/cli_test_output.h"

namespace {

using namespace qvtf;

std::string read_all(const std::string& path)
{
    std::FILE* f = std::fopen(path.c_str(), "rb");
    if (!f)
        return "";
    std::string s = test::slurp(f);
    std::fclose(f);
    return s;
}

TEST(SyncRuleFile, DefaultsAreWrittenAsFifteenSortedLines)
{
    test::temp_folder dir("qvtf-rules");
    dir_sync_settings_ex s;
    s.filter.time_start = 1000;
    s.filter.time_end = 2000;
    s.local_folder.set_string("/home/u/site");
    s.remote_folder.set_string("/www");
    ASSERT_EQ(s.save_rule_file(qxval(dir.file("r.xml"))), 0);
    EXPECT_EQ(read_all(dir.file("r.xml")),
              "<delete_missing>0</delete_missing>\r\n"
              "<local_dir>/home/u/site</local_dir>\r\n"
              "<recursively>0</recursively>\r\n"
              "<remote_dir>/www</remote_dir>\r\n"
              "<rule>59325</rule>\r\n"
              "<size_end>1048576</size_end>\r\n"
              "<size_filter>0</size_filter>\r\n"
              "<size_start>0</size_start>\r\n"
              "<time_end>2000</time_end>\r\n"
              "<time_filter>0</time_filter>\r\n"
              "<time_start>1000</time_start>\r\n"
              "<ui_files_include>*</ui_files_include>\r\n"
              "<ui_files_skip></ui_files_skip>\r\n"
              "<ui_folder_include>*</ui_folder_include>\r\n"
              "<ui_folder_skip></ui_folder_skip>\r\n");
    EXPECT_NE(s.save_rule_file(qxval(dir.file("missing/r.xml"))), 0);
}

// Another order, a root element and escaped masks all load the same values;
// the reader's error comes back for a file that is not there.
TEST(SyncRuleFile, LoadsInAnyOrderAndInsideARootElement)
{
    test::temp_folder dir("qvtf-rules");
    dir_sync_settings_ex saved;
    saved.recursive = -1;
    saved.rules.assign(1, 0x8ABE);
    saved.delete_missing = 1;
    saved.files_include.set_string("*.htm; a<b&c*");
    saved.files_skip.set_string("&amp;");
    saved.folders_skip.set_string("cgi-bin");
    saved.filter.size_filter = 1;
    saved.filter.size_maximum = 3000000000u;
    saved.filter.time_filter = 1;
    saved.filter.time_start = 1700000000;
    saved.filter.time_end = 1700003600;
    saved.local_folder.set_string("/l");
    saved.remote_folder.set_string("/r <x>");
    ASSERT_EQ(saved.save_rule_file(qxval(dir.file("sorted.xml"))), 0);
    const std::string sorted = read_all(dir.file("sorted.xml"));
    EXPECT_NE(sorted.find("<ui_files_include>*.htm; a&lt;b&amp;c*</ui_files_include>"), std::string::npos);

    // The same lines reversed, inside a root element.
    std::string reversed;
    for (size_t end = sorted.size(); end > 0;) {
        const size_t start = sorted.rfind("\r\n", end - 3);
        const size_t from = start == std::string::npos ? 0 : start + 2;
        reversed += sorted.substr(from, end - from);
        end = from;
    }
    ASSERT_TRUE(dir.write("rooted.xml", "<?xml version=\"1.0\"?>\r\n<sync>\r\n" + reversed + "</sync>\r\n"));

    for (const char* name : {"sorted.xml", "rooted.xml"}) {
        SCOPED_TRACE(name);
        dir_sync_settings_ex loaded;
        ASSERT_EQ(loaded.load_rule_file(qxval(dir.file(name))), rule_file_ok);
        EXPECT_EQ(loaded.recursive, -1);
        EXPECT_EQ(loaded.rules, std::vector<int32_t>{0x8ABE});
        EXPECT_EQ(loaded.delete_missing, 1);
        EXPECT_EQ(loaded.files_include.view(), "*.htm; a<b&c*");
        EXPECT_EQ(loaded.files_skip.view(), "&amp;");
        EXPECT_EQ(loaded.folders_include.view(), "*");
        EXPECT_EQ(loaded.folders_skip.view(), "cgi-bin");
        EXPECT_EQ(loaded.filter.size_filter, 1);
        EXPECT_EQ(loaded.filter.size_minimum, 0u);
        EXPECT_EQ(loaded.filter.size_maximum, 3000000000u);
        EXPECT_EQ(loaded.filter.time_start, 1700000000);
        EXPECT_EQ(loaded.filter.time_end, 1700003600);
        EXPECT_EQ(loaded.remote_folder.view(), "/r <x>");
        EXPECT_EQ(loaded.local_folder.view(), "/l");
        // The masks were compiled from what was read.
        EXPECT_TRUE(loaded.filter.files_include.any_matches("A<B&C.txt"));
        EXPECT_TRUE(loaded.filter.files_skip.any_matches("&AMP"));  // ";" splits masks
        EXPECT_TRUE(loaded.filter.folder_skip.any_matches("CGI-BIN"));
    }

    dir_sync_settings_ex untouched;
    untouched.recursive = 7;
    qxval error;
    EXPECT_EQ(untouched.load_rule_file(qxval(dir.file("nothing.xml")), &error), rule_file_unreadable);
    EXPECT_EQ(untouched.recursive, 7);
    EXPECT_EQ(error.str(), "Can't open file " + dir.file("nothing.xml"));
}

// A value that is not a number of its range is an error, never a default:
// a rule word of "abc", "-1" or 20 digits must not become a two-way rule.
TEST(SyncRuleFile, ValuesOutOfTheirRangeAreErrors)
{
    test::temp_folder dir("qvtf-rules");
    dir_sync_settings_ex saved;
    saved.rules.assign(1, 0xE7BE);  // download
    ASSERT_EQ(saved.save_rule_file(qxval(dir.file("saved.xml"))), 0);
    const std::string good = read_all(dir.file("saved.xml"));
    const auto file_with = [&good](const std::string& name, const std::string& value) {
        const std::string open = "<" + name + ">";
        const size_t from = good.find(open) + open.size();
        return good.substr(0, from) + value + good.substr(good.find("</" + name + ">"));
    };
    struct row {
        const char* element;
        std::string value;
        int32_t status;
    };
    const std::vector<row> rows = {
        {"rule", "abc", rule_file_bad_value},
        {"rule", "-1", rule_file_bad_value},
        {"rule", "99999999999999999999", rule_file_bad_value},
        {"rule", "65536", rule_file_bad_value},
        {"rule", "59324", rule_file_bad_value},  // no direction
        {"rule", "59326", rule_file_ok},
        {"recursively", "yes", rule_file_bad_value},
        {"recursively", "2", rule_file_bad_value},
        {"recursively", "-1", rule_file_ok},
        {"delete_missing", "maybe", rule_file_bad_value},
        {"time_filter", "", rule_file_bad_value},
        {"time_start", "99999999999", rule_file_bad_value},
        {"size_end", "4294967296", rule_file_bad_value},
        {"size_end", "4294967295", rule_file_ok},
        {"size_start", "-5", rule_file_ok},  // older files wrote sizes sign-extended
    };
    for (const row& r : rows) {
        SCOPED_TRACE(std::string(r.element) + "=" + r.value);
        ASSERT_TRUE(dir.write("r.xml", file_with(r.element, r.value)));
        dir_sync_settings_ex s;
        EXPECT_EQ(s.load_rule_file(qxval(dir.file("r.xml"))), r.status);
        EXPECT_NE(s.direction(), sync_rule::both) << "never a two-way rule by accident";
    }
}

TEST(SyncRuleFile, AMissingElementStopsWithTheEarlierOnesApplied)
{
    test::temp_folder dir("qvtf-rules");
    ASSERT_TRUE(dir.write("partial.xml",
                          "<time_start>1234</time_start><recursively>-1</recursively><rule>17</rule>"
                          "<delete_missing>1</delete_missing><ui_files_include>*.php</ui_files_include>"
                          "<ui_files_skip>x</ui_files_skip><ui_folder_include>w*</ui_folder_include>"
                          "<ui_folder_skip>y</ui_folder_skip><time_filter>1</time_filter>"
                          "<size_filter>1</size_filter><size_start>5</size_start><size_end>9</size_end>"));
    dir_sync_settings_ex s;
    s.filter.time_end = 99;
    ASSERT_EQ(s.load_rule_file(qxval(dir.file("partial.xml"))), rule_file_incomplete);
    EXPECT_EQ(s.recursive, -1);
    EXPECT_EQ(s.rule(), 17);
    EXPECT_EQ(s.delete_missing, 1);
    EXPECT_EQ(s.files_include.view(), "*.php");
    EXPECT_EQ(s.folders_skip.view(), "y");
    EXPECT_EQ(s.filter.time_filter, 1);
    EXPECT_EQ(s.filter.time_start, 1234);
    // Nothing after the missing time_end.
    EXPECT_EQ(s.filter.time_end, 99);
    EXPECT_EQ(s.filter.size_filter, 0);
    EXPECT_EQ(s.filter.size_maximum, 1048576u);
}

}  // namespace
