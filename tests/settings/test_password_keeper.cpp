// Passwords moving between the files and a keyring: one scenario per row,
// from the files (or the keyring) of an earlier run to where the settings
// want them, through a keyring that may refuse, garble or be absent. At
// every keyring removal the files on disk must already hold the password.
#include <gtest/gtest.h>

#include <map>
#include <set>

#include "markup/qxlang.h"
#include "profiles/ftp_profile_tree.h"
#include "settings/global_ftp_settings.h"
#include "settings/password_keeper.h"
#include "settings_test_folder.h"

namespace qvtf::test {
namespace {

constexpr const char* site_secret = "site-secret";
constexpr const char* proxy_secret = "proxy-secret";

class fake_vault : public password_vault {
public:
    bool answers = true;
    std::set<std::string> refuses;  // writes that fail
    bool garbles = false;           // reads give back something else
    std::map<std::string, std::string> entries;
    std::function<void(const std::string&)> before_remove;

    bool available(std::string& why) override
    {
        why = answers ? "" : "no bus";
        return answers;
    }
    bool write(const std::string& name, const std::string& secret, std::string& why) override
    {
        if (!answers || refuses.count(name.substr(0, name.find(':')))) {
            why = "refused";
            return false;
        }
        entries[name] = secret;
        return true;
    }
    bool read(const std::string& name, std::string& secret, bool& found, std::string& why) override
    {
        if (!answers) {
            why = "no bus";
            return false;
        }
        auto it = entries.find(name);
        found = it != entries.end();
        if (found)
            secret = garbles ? it->second + "?" : it->second;
        return true;
    }
    bool remove(const std::string& name, std::string& why) override
    {
        if (!answers) {
            why = "no bus";
            return false;
        }
        if (before_remove)
            before_remove(name);
        entries.erase(name);
        return true;
    }
};

// Where a password is after the run: only one of the three holds.
enum where { in_file, in_keyring, nowhere };

struct row {
    const char* name;
    bool start_in_keyring;  // an earlier run moved both in
    bool answers;
    int32_t storage;
    const char* refuses;  // "site", "proxy" or ""
    bool garbles;
    where site;
    where proxy;
    bool logs_error;
    bool retyped = false;  // the site's password typed again this run (asked at connect)
};

class PasswordKeeper : public SettingsFolder {
protected:
    std::string profiles_path() const { return (dir / "site_profiles.xml").string(); }

    // The files as a fresh start reads them (no keyring involved).
    void load(global_ftp_settings& settings, ftp_profile_tree& tree) const
    {
        ASSERT_EQ(start_settings(settings, qxval(dir.string())).status, 0);
        ASSERT_EQ(tree.load(qxval(profiles_path()), settings.key, test_language()), 0);
    }
    bool save(global_ftp_settings& settings, ftp_profile_tree& tree) const
    {
        return settings.save() == 0 && tree.save(qxval(profiles_path()), settings.key) == profile_ok;
    }
    static const qxlang& test_language()
    {
        static qxlang language;
        return language;
    }
};

TEST_F(PasswordKeeper, PasswordsMoveWithoutEverBeingLost)
{
    const row rows[] = {
        {"old files move in", false, true, passwords_in_keyring, "", false, in_keyring, in_keyring, false},
        {"a refused write stays in the file", false, true, passwords_in_keyring, "site", false, in_file, in_keyring,
         true},
        {"a garbled read-back stays in the file", false, true, passwords_in_keyring, "", true, in_file, in_file, true},
        {"no keyring: the files keep them", false, false, passwords_in_keyring, "", false, in_file, in_file, false},
        {"turned off: out to the files", true, true, passwords_in_files, "", false, in_file, in_file, false},
        {"not stored: gone from both", true, true, passwords_not_stored, "", false, nowhere, nowhere, false},
        {"keyring gone later: marks stay", true, false, passwords_in_keyring, "", false, in_keyring, in_keyring, true},
        {"keyring gone, a typed password: to the file", true, false, passwords_in_keyring, "", false, in_file,
         in_keyring, true, true},
    };
    for (const row& r : rows) {
        SCOPED_TRACE(r.name);
        std::filesystem::remove(file());
        std::filesystem::remove(profiles_path());
        fake_vault vault;
        {
            global_ftp_settings settings;
            ftp_profile_tree tree;
            load(settings, tree);
            ftp_profile* site = ftp_profile::make(profile_site);
            site->label.set_string("Web/Shop");
            site->user_name.set_string("u");
            site->password.set_string(site_secret);
            tree.tree.append_child(site, tree.top());
            settings.proxies.first()->proxy_password.set_string(proxy_secret);
            ASSERT_TRUE(save(settings, tree));
            if (r.start_in_keyring) {
                password_keeper earlier(&vault, nullptr, nullptr);
                ASSERT_TRUE(earlier.settle(tree, settings, [&] { return save(settings, tree); }));
                ASSERT_EQ(vault.entries.size(), 2u);
            }
        }
        vault.answers = r.answers;
        vault.refuses = {r.refuses};
        vault.garbles = r.garbles;
        vault.before_remove = [&](const std::string& name) {
            if (r.storage == passwords_not_stored || !vault.entries.count(name))
                return;
            global_ftp_settings on_disk;
            ftp_profile_tree tree;
            load(on_disk, tree);
            const bool is_site = name.rfind("site:", 0) == 0;
            const qxval& kept = is_site ? tree.find("Web/Shop")->password : on_disk.proxies.first()->proxy_password;
            EXPECT_EQ(kept.str(), vault.entries[name]) << name << " removed before its file held it";
        };

        // The run: start, settle, and the exit's save.
        bool error_logged = false;
        global_ftp_settings settings;
        ftp_profile_tree tree;
        load(settings, tree);
        settings.password_storage = r.storage;
        password_keeper keeper(&vault, nullptr, [&](const std::string&, bool error) { error_logged |= error; });
        keeper.load(tree, settings);
        if (r.retyped)
            tree.find("Web/Shop")->password.set_string(site_secret);
        ASSERT_TRUE(keeper.settle(tree, settings, [&] { return save(settings, tree); }));
        // Whatever happened, the run itself still has both for its connections.
        if (r.answers || !r.start_in_keyring) {
            EXPECT_EQ(tree.find("Web/Shop")->password.str(), site_secret);
            EXPECT_EQ(settings.proxies.first()->proxy_password.str(), proxy_secret);
        }
        ASSERT_TRUE(save(settings, tree));
        EXPECT_EQ(error_logged, r.logs_error);

        // The next start, from the files alone and from the keyring.
        global_ftp_settings next;
        ftp_profile_tree next_tree;
        load(next, next_tree);
        const ftp_profile* site = next_tree.find("Web/Shop");
        ASSERT_NE(site, nullptr);
        const ftp_proxy* proxy = next.proxies.first();
        const auto check = [&](where expected, const qxval& in_memory, int32_t place, const std::string& prefix,
                               const char* secret) {
            bool in_vault = false;
            for (const auto& [name, value] : vault.entries)
                in_vault |= name.rfind(prefix, 0) == 0 && value == secret;
            EXPECT_EQ(in_memory.str(), expected == in_file ? secret : "") << prefix;
            EXPECT_EQ(place, expected == in_keyring ? password_in_keyring : password_in_file) << prefix;
            // A stale entry the absent keyring could not drop is harmless: the marker is gone.
            if (!(r.retyped && prefix == "site:")) {
                EXPECT_EQ(in_vault, expected == in_keyring) << prefix;
            }
        };
        vault.answers = true;
        check(r.site, site->password, site->password_place, "site:", site_secret);
        check(r.proxy, proxy->proxy_password, proxy->password_place, "proxy:", proxy_secret);
        password_keeper restarted(&vault, nullptr, nullptr);
        restarted.load(next_tree, next);
        if (r.site != nowhere) {
            EXPECT_EQ(site->password.str(), site_secret);
        }
        if (r.proxy != nowhere) {
            EXPECT_EQ(proxy->proxy_password.str(), proxy_secret);
        }
    }
}

}  // namespace
}  // namespace qvtf::test
