#include <gtest/gtest.h>

#include <string>

#include "core/qx_3des_keys.h"
#include "core/qxscramble.h"
#include "settings/global_ftp_settings.h"
#include "settings_test_folder.h"

namespace qvtf::test {
namespace {

using SettingsStart = SettingsFolder;

TEST_F(SettingsStart, FirstRunStartsFromDefaultsWithANewKeyAndWritesNothing)
{
    global_ftp_settings settings;
    const settings_start_result result = start_settings(settings, qxval(dir.string()));
    EXPECT_EQ(result.status, 0);
    EXPECT_TRUE(result.first_run);
    EXPECT_TRUE(result.new_key);
    EXPECT_FALSE(std::filesystem::exists(file()));
    EXPECT_EQ(settings.program_folder.str(), dir.string() + "/");
    EXPECT_EQ(settings.settings_path.str(), file().string());

    ASSERT_EQ(settings.key.view().size(), 32u);
    qx_3des_keys keys;
    EXPECT_EQ(derive_keys(settings.key, keys), 0);
    qxval from_record;
    ASSERT_TRUE(key_from_record(settings.user_data, from_record));
    EXPECT_EQ(from_record.view(), settings.key.view());
    ASSERT_EQ(settings.proxies.count(), 1);
    EXPECT_EQ(settings.proxies.default_key.view(), settings.proxies.first()->key.view());
    EXPECT_EQ(settings.top_zone_controls, std::vector<std::string>{"LogRichEdit"});
    EXPECT_EQ(settings.last_used_local_folder, global_ftp_values::default_local_folder());

    // The exit's save; the next start finds the same key.
    ASSERT_EQ(settings.save(), 0);
    global_ftp_settings again;
    const settings_start_result second = start_settings(again, qxval(dir.string()));
    EXPECT_EQ(second.status, 0);
    EXPECT_FALSE(second.first_run);
    EXPECT_FALSE(second.new_key);
    EXPECT_EQ(again.key.view(), settings.key.view());
}

TEST_F(SettingsStart, KeyAndProxyPasswordsSurviveARestart)
{
    global_ftp_settings settings;
    ASSERT_EQ(start_settings(settings, qxval(dir.string())).status, 0);
    settings.proxies.first()->proxy_password = "first & secret";
    ftp_proxy* second = settings.proxies.add_new();
    second->proxy_host = "socks.local";
    second->proxy_password = std::string(100, 'p');
    ASSERT_EQ(settings.save(), 0);
    // On disk the passwords are scrambled.
    EXPECT_EQ(read().find("first & secret"), std::string::npos);

    // A site password scrambled with the same key, as the profile file holds it.
    qxval stored_site;
    store_password(qxval("site-pw"), settings.key, stored_site);

    global_ftp_settings loaded;
    const settings_start_result result = start_settings(loaded, qxval(dir.string()));
    ASSERT_EQ(result.status, 0);
    EXPECT_FALSE(result.new_key);
    EXPECT_EQ(loaded.key.view(), settings.key.view());
    ASSERT_EQ(loaded.proxies.count(), 2);
    EXPECT_EQ(loaded.proxies.at(0)->proxy_password.view(), "first & secret");
    // Every proxy, not just the first, is clear text again, so a second save
    // does not scramble it twice.
    EXPECT_EQ(loaded.proxies.at(1)->proxy_password.str(), std::string(100, 'p'));
    qxval site_password;
    read_stored_password(stored_site, loaded.key, site_password);
    EXPECT_EQ(site_password.view(), "site-pw");

    ASSERT_EQ(loaded.save(), 0);
    global_ftp_settings third;
    ASSERT_EQ(start_settings(third, qxval(dir.string())).status, 0);
    EXPECT_EQ(third.proxies.at(1)->proxy_password.str(), std::string(100, 'p'));
}

TEST_F(SettingsStart, DamagedKeyRecordGivesANewKeyAndDropsUnreadablePasswords)
{
    global_ftp_settings settings;
    ASSERT_EQ(start_settings(settings, qxval(dir.string())).status, 0);
    const std::string old_key = settings.key.str();
    settings.proxies.first()->proxy_password = "secret";
    const std::string record = settings.user_data;

    const std::string damaged[] = {
        record.substr(0, record.size() - 1),                              // truncated
        record + "x",                                                     // too long
        std::string("QVK\x02") + record.substr(4),                        // unknown version
        record.substr(0, 10) + char(record[10] ^ 1) + record.substr(11),  // bit flipped in the key
        std::string(32, 'k'),                                             // a bare key of another format
    };
    for (const std::string& bad : damaged) {
        settings.user_data = bad;
        ASSERT_EQ(settings.save(), 0);
        global_ftp_settings loaded;
        const settings_start_result result = start_settings(loaded, qxval(dir.string()));
        ASSERT_EQ(result.status, 0);
        EXPECT_TRUE(result.new_key);
        EXPECT_FALSE(result.first_run);
        EXPECT_EQ(loaded.key.view().size(), 32u);
        EXPECT_NE(loaded.key.str(), old_key);
        qxval back;
        ASSERT_TRUE(key_from_record(loaded.user_data, back));
        EXPECT_EQ(back.view(), loaded.key.view());
        EXPECT_EQ(loaded.proxies.first()->proxy_password.view(), "");
    }
}

TEST_F(SettingsStart, UnreadableFileIsNoFirstRun)
{
    write("<local_columns>a,b</local_columns>");
    global_ftp_settings settings;
    settings_start_result result = start_settings(settings, qxval(dir.string()));
    EXPECT_EQ(result.status, settings_bad_list);
    EXPECT_FALSE(result.first_run);
    EXPECT_EQ(read(), "<local_columns>a,b</local_columns>");

    // A folder in the file's place cannot be read either.
    std::filesystem::remove(file());
    std::filesystem::create_directory(file());
    global_ftp_settings other;
    result = start_settings(other, qxval(dir.string()));
    EXPECT_NE(result.status, 0);
    EXPECT_FALSE(result.first_run);
}

}  // namespace
}  // namespace qvtf::test
