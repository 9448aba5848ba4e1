#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>

#include <string>
#include <vector>

#include "core/qxencode.h"
#include "settings/global_ftp_keys.h"
#include "settings/global_ftp_settings.h"
#include "settings_test_folder.h"
#include "support/file_size_limit.h"

namespace qvtf::test {
namespace {

using GlobalFtpSettings = SettingsFolder;

std::vector<std::string> lines_of(const std::string& text)
{
    std::vector<std::string> lines;
    std::size_t start = 0;
    for (std::size_t at; (at = text.find("\r\n", start)) != std::string::npos; start = at + 2)
        lines.push_back(text.substr(start, at - start));
    lines.push_back(text.substr(start));
    return lines;
}

TEST_F(GlobalFtpSettings, DefaultsSaveAndLoadBackEqual)
{
    global_ftp_settings saved;
    aim(saved);
    saved.key = "0123456789abcdef0123456789abcdef";
    ASSERT_TRUE(saved.ensure_default_proxy());
    ASSERT_EQ(saved.save(), 0);

    global_ftp_settings loaded;
    aim(loaded);
    ASSERT_EQ(loaded.load(), 0);
    EXPECT_TRUE(static_cast<const global_ftp_values&>(loaded) == saved);
    EXPECT_EQ(loaded.top_zone_controls, std::vector<std::string>{"LogRichEdit"});
    EXPECT_EQ(loaded.q_cw.size(), 11u);
    ASSERT_EQ(loaded.proxies.count(), 1);
    EXPECT_EQ(loaded.proxies.first()->key.view(), saved.proxies.first()->key.view());
    EXPECT_EQ(loaded.proxies.default_key.view(), saved.proxies.first()->key.view());

    struct stat info {};
    ASSERT_EQ(::stat(file().c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 07777, 0600u);
}

TEST_F(GlobalFtpSettings, FileHoldsOneLinePerKeyInOrderThenTheProxies)
{
    global_ftp_settings settings;
    aim(settings);
    settings.lf_files_include = "Tom & Jerry <*>";
    settings.user_data = std::string("\x00\xff rec", 6);
    settings.q_cw[0] = 41;
    ASSERT_TRUE(settings.ensure_default_proxy());
    ASSERT_EQ(settings.save(), 0);

    const std::vector<std::string> lines = lines_of(read());
    const auto keys = settings_keys();
    ASSERT_GT(lines.size(), keys.size());
    for (std::size_t i = 0; i < keys.size(); ++i) {
        const std::string name = keys[i].name;
        EXPECT_EQ(lines[i].rfind("<" + name + ">", 0), 0u) << lines[i];
        EXPECT_EQ(lines[i].substr(lines[i].size() - name.size() - 3), "</" + name + ">");
    }
    EXPECT_EQ(lines[0],
              "<local_columns>Name,1,150,Size,1,80,Type,1,100,Modified,1,100,Attributes,1,100</local_columns>");
    EXPECT_EQ(lines[15], "<q_cw>41,150,70,90,90,80,80,150,150,45,70</q_cw>");
    EXPECT_EQ(lines[20], "<top_zone_controls>LogRichEdit</top_zone_controls>");
    EXPECT_EQ(lines[35], "<lf_files_include>Tom &amp; Jerry &lt;*&gt;</lf_files_include>");
    EXPECT_EQ(lines[55], "<user_data>" + base64_encode(qxval(settings.user_data), false).str() + "</user_data>");
    EXPECT_EQ(lines[63], "<sounds>15</sounds>");
    EXPECT_EQ(lines[64], "<trust_pasv_address>0</trust_pasv_address>") << "new keys go last";
    EXPECT_EQ(lines[65], "<extended_data_commands>1</extended_data_commands>");
    // Settings of before have neither: their transfers overwrite, as they did.
    EXPECT_EQ(lines[66], "<download_exists>overwrite</download_exists>");
    EXPECT_EQ(lines[67], "<upload_exists>overwrite</upload_exists>");
    EXPECT_EQ(lines[68], "<edit_command></edit_command>");
    EXPECT_EQ(lines[keys.size() - 1], "<password_storage>0</password_storage>");
    EXPECT_EQ(lines[keys.size()], "<proxies>");
    EXPECT_EQ(lines.back(), "</proxies>");

    global_ftp_settings loaded;
    aim(loaded);
    ASSERT_EQ(loaded.load(), 0);
    EXPECT_EQ(loaded.lf_files_include, "Tom & Jerry <*>");
    EXPECT_EQ(loaded.user_data, settings.user_data);
}

TEST_F(GlobalFtpSettings, EveryValueSurvivesARoundTrip)
{
    global_ftp_settings settings;
    aim(settings);
    settings.key = "0123456789abcdef0123456789abcdef";
    settings.local_columns[0] = "Nom";
    settings.remote_sort = -3;
    settings.remote_invert = true;
    settings.is_passive = false;
    settings.bottom_zone_controls = {"QueuePanel", "LogRichEdit"};
    settings.coolband_config = "  line 1\r\nline\t2 \"quoted\" 'x'\r\n";
    settings.last_used_local_folder = "/home/b\xc3\xa9la/docs & more";
    settings.rf_size_end = 2147483647;
    settings.lf_time_start = -1;
    settings.sounds = 5;
    settings.trust_pasv_address = true;
    settings.extended_data_commands = false;
    settings.edit_command = "gvim -f";
    settings.edit_upload_at_once = true;
    settings.remote_double_click = 1;
    ftp_proxy* proxy = settings.proxies.add_new();
    proxy->type = proxy_type_socks5;
    proxy->proxy_host = "127.0.0.1";
    proxy->proxy_password = "s3cret";
    ASSERT_TRUE(settings.ensure_default_proxy());
    ASSERT_EQ(settings.save(), 0);

    global_ftp_settings loaded;
    aim(loaded);
    ASSERT_EQ(loaded.load(), 0);
    for (const settings_key& key : settings_keys())
        EXPECT_EQ(settings_key_text(loaded, key), settings_key_text(settings, key)) << key.name;
    EXPECT_TRUE(static_cast<const global_ftp_values&>(loaded) == settings);
    ASSERT_EQ(loaded.proxies.count(), 1);
    EXPECT_EQ(loaded.proxies.first()->type, proxy_type_socks5);
}

TEST_F(GlobalFtpSettings, LoadFailuresChangeNothing)
{
    const std::string fifteen = "a,1,2,b,1,2,c,1,2,d,1,2,e,1,2";
    struct bad_file {
        const char* what;
        std::string content;
        int32_t status;
    };
    const std::vector<bad_file> cases = {
        {"unparsable", "<retry_count>1</retry_count>\r\n<local_sort><</local_sort", 2},
        {"14 local columns", "<local_columns>a,1,2,b,1,2,c,1,2,d,1,2,e,1</local_columns>", settings_bad_list},
        {"16 remote columns", "<remote_columns>" + fifteen + ",x</remote_columns>", settings_bad_list},
        {"empty columns", "<local_columns></local_columns>", settings_bad_list},
        {"10 widths", "<q_cw>1,2,3,4,5,6,7,8,9,10</q_cw>", settings_bad_list},
        {"12 widths", "<q_cw>1,2,3,4,5,6,7,8,9,10,11,12</q_cw>", settings_bad_list},
    };
    for (const bad_file& bad : cases) {
        write("<retry_count>9</retry_count>\r\n" + bad.content);
        global_ftp_settings settings;
        aim(settings);
        EXPECT_EQ(settings.load(), bad.status) << bad.what;
        EXPECT_EQ(settings.retry_count, 3) << bad.what;
        EXPECT_EQ(read(), "<retry_count>9</retry_count>\r\n" + bad.content) << bad.what;
    }
    // Fifteen and eleven are accepted.
    write("<local_columns>" + fifteen + "</local_columns><q_cw>1,2,3,4,5,6,7,8,9,10,11</q_cw>");
    global_ftp_settings settings;
    aim(settings);
    EXPECT_EQ(settings.load(), 0);
    EXPECT_EQ(settings.local_columns[3], "b");
    EXPECT_EQ(settings.q_cw[10], 11);

    std::filesystem::remove(file());
    EXPECT_NE(settings.load(), 0);
}

// A number that is not one or is out of its key's range, bytes XML forbids
// and a file of another program are damage, not a file of defaults; the
// worker count is brought into the bounds of --threads.
TEST_F(GlobalFtpSettings, NumbersOutOfRangeAndForeignFilesAreDamage)
{
    const std::string eleven = "1,2,3,4,5,6,7,8,9,10,";
    struct row {
        const char* what;
        std::string content;
        int32_t status;
        int32_t threads = 5;  // max_download_threads after a load that succeeded
    };
    const std::vector<row> rows = {
        {"5000 threads are clamped", "<max_download_threads>5000</max_download_threads>", 0, 64},
        {"negative threads are clamped", "<max_download_threads>-3</max_download_threads>", 0, 0},
        {"threads that are no number", "<max_download_threads>abc</max_download_threads>", settings_bad_value},
        {"a 20-digit number", "<max_download_threads>99999999999999999999</max_download_threads>", settings_bad_value},
        {"transfer type 7", "<transfer_type>7</transfer_type>", settings_bad_value},
        {"a sort key that is no number", "<local_sort>4x</local_sort>", settings_bad_value},
        {"a width that is no number", "<q_cw>" + eleven + "x</q_cw>", settings_bad_value},
        {"a negative width", "<q_cw>" + eleven + "-5</q_cw>", settings_bad_value},
        {"an empty number", "<sounds></sounds>", settings_bad_value},
        {"a file of NUL bytes", std::string(4096, '\0'), 2},
        {"NUL bytes after a key", "<retry_count>2</retry_count>\r\n" + std::string(64, '\0'), 2},
        {"a foreign XML file", "<html><body>hello</body></html>", settings_foreign},
        {"an empty file", "", settings_foreign},
        {"blanks around a number", "<max_download_threads> 7 </max_download_threads>", 0, 7},
    };
    for (const row& r : rows) {
        write(r.content);
        global_ftp_settings settings;
        aim(settings);
        EXPECT_EQ(settings.load(), r.status) << r.what;
        EXPECT_EQ(settings.max_download_threads, r.threads) << r.what;
        EXPECT_EQ(read(), r.content) << r.what << ": the file is left as it was";
    }
}

TEST_F(GlobalFtpSettings, PartialFileKeepsTheOtherDefaults)
{
    write("<retry_count>0</retry_count>\r\n<unknown_key>7</unknown_key>\r\n");
    global_ftp_settings settings;
    aim(settings);
    ASSERT_EQ(settings.load(), 0);
    EXPECT_EQ(settings.retry_count, 0);

    global_ftp_values expected;
    expected.retry_count = 0;
    // The zone lists are the exception: absent means empty.
    expected.top_zone_controls.clear();
    expected.bottom_zone_controls.clear();
    EXPECT_TRUE(static_cast<const global_ftp_values&>(settings) == expected);

    // No proxies block: one new proxy, which is the default.
    ASSERT_EQ(settings.proxies.count(), 1);
    EXPECT_EQ(settings.proxies.default_key.view(), settings.proxies.first()->key.view());
    EXPECT_EQ(settings.proxies.first()->key.view().substr(0, 4), std::string_view("\x01\0\0\0", 4));
    EXPECT_EQ(settings.proxies.default_proxy_type, proxy_choice_none);

    write(
        "<top_zone_controls>QueuePanel;LogRichEdit</top_zone_controls><bottom_zone_controls></bottom_zone_controls>"
        "<is_passive>7</is_passive><local_invert>1</local_invert><remote_invert>x</remote_invert>");
    ASSERT_EQ(settings.load(), 0);
    EXPECT_EQ(settings.top_zone_controls, (std::vector<std::string>{"QueuePanel", "LogRichEdit"}));
    EXPECT_TRUE(settings.bottom_zone_controls.empty());
    EXPECT_TRUE(settings.is_passive);
    EXPECT_TRUE(settings.local_invert);
    EXPECT_FALSE(settings.remote_invert);
}

TEST_F(GlobalFtpSettings, FirstProxyBecomesTheDefault)
{
    global_ftp_settings settings;
    aim(settings);
    settings.key = "0123456789abcdef0123456789abcdef";
    settings.proxies.add_new()->proxy_host = "first";
    settings.proxies.add_new()->proxy_host = "second";
    settings.proxies.set_default(settings.proxies.at(1));
    settings.proxies.default_proxy_type = proxy_choice_per_site;
    ASSERT_EQ(settings.save(), 0);

    global_ftp_settings loaded;
    aim(loaded);
    ASSERT_EQ(loaded.load(), 0);
    ASSERT_EQ(loaded.proxies.count(), 2);
    EXPECT_EQ(loaded.proxies.default_key.view(), loaded.proxies.first()->key.view());
    EXPECT_EQ(loaded.proxies.default_proxy_type, proxy_choice_per_site);
}

TEST_F(GlobalFtpSettings, FailedSaveLeavesTheOldFile)
{
    global_ftp_settings settings;
    aim(settings);
    settings.key = "0123456789abcdef0123456789abcdef";
    ASSERT_TRUE(settings.ensure_default_proxy());
    ASSERT_EQ(settings.save(), 0);
    const std::string before = read();

    settings.coolband_config.assign(200000, 'z');
    int32_t status{};
    {
        test::file_size_limit full_disk(8192);
        ASSERT_TRUE(full_disk.active());
        status = settings.save();
    }
    EXPECT_NE(status, 0);
    EXPECT_EQ(read(), before);
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir), {}), 1);

    // A proxy password with no key to scramble it would be lost: no save.
    settings.coolband_config.clear();
    settings.key = "";
    settings.proxies.first()->proxy_password = "pw";
    EXPECT_EQ(settings.save(), settings_no_key);
    EXPECT_EQ(read(), before);
}

}  // namespace
}  // namespace qvtf::test
