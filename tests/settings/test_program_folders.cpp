// Where the user's files live: the rule's cases in one table, then the
// extension list choice and the private folder it creates.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <string>

#include "browse/listing_parser.h"
#include "browse/qx_ftp_file_lister.h"
#include "profiles/ftp_profile_tree.h"
#include "settings/global_ftp_settings.h"
#include "settings/program_folders.h"
#include "settings_test_folder.h"
#include "support/test_phrases.h"

namespace qvtf::test {
namespace {

namespace fs = std::filesystem;

class ProgramFolders : public SettingsFolder {
protected:
    void touch(const fs::path& path) const
    {
        fs::create_directories(path.parent_path());
        std::ofstream(path) << "x";
    }
};

TEST_F(ProgramFolders, UserFolderRule)
{
    const std::string program = (dir / "bin").string();
    const std::string portable = (dir / "portable").string();
    touch(dir / "bin" / "qorx.bin");
    touch(dir / "portable" / global_ftp_settings::file_name);

    struct row {
        const char* what;
        std::string program;
        user_folder_sources sources;
        std::string expected;
    };
    const row rows[] = {
        {"--home wins over everything", portable, {"/u/opt", "/u/env", "/u/xdg", "/u/home"}, "/u/opt/"},
        {"QVTF_HOME next", portable, {"", "/u/env/", "/u/xdg", "/u/home"}, "/u/env/"},
        {"portable install", portable, {"", "", "/u/xdg", "/u/home"}, portable + "/"},
        {"installed: XDG_CONFIG_HOME", program, {"", "", "/u/xdg", "/u/home"}, "/u/xdg/qvtf/"},
        {"installed: ~/.config", program, {"", "", "", "/u/home"}, "/u/home/.config/qvtf/"},
        {"relative XDG_CONFIG_HOME ignored", program, {"", "", "rel", "/u/home"}, "/u/home/.config/qvtf/"},
        {"a folder named like the settings file is no install",
         (dir / "odd").string(),
         {"", "", "", "/h"},
         "/h/.config/qvtf/"},
    };
    fs::create_directories(dir / "odd" / global_ftp_settings::file_name);
    for (const row& r : rows)
        EXPECT_EQ(choose_user_folder(r.program, r.sources), r.expected) << r.what;
}

TEST_F(ProgramFolders, ExtensionListAndSettingsPathFollowTheUserFolder)
{
    const program_folders folders{(dir / "bin").string() + "/", (dir / "cfg" / "qvtf").string() + "/"};
    EXPECT_EQ(folders.extension_list(), folders.program + "ext.txt") << "shipped one while the user has none";

    // Created private, parents too, and again without complaint.
    ASSERT_TRUE(folders.ensure_user_folder());
    ASSERT_TRUE(folders.ensure_user_folder());
    struct stat info {};
    ASSERT_EQ(::stat(folders.user.c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0700u);
    ASSERT_EQ(::stat((dir / "cfg").c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0700u);

    touch(folders.user_file("ext.txt"));
    EXPECT_EQ(folders.extension_list(), folders.user + "ext.txt");

    global_ftp_settings settings;
    const settings_start_result started = start_settings(settings, folders);
    EXPECT_TRUE(started.first_run);
    EXPECT_EQ(settings.settings_path.str(), folders.user + global_ftp_settings::file_name);
    EXPECT_EQ(settings.sound_path("connect.wav").str(), folders.program + "sounds/connect.wav");
}

// Whichever user file is written first makes the user folder, private; the
// files themselves are private too.
TEST_F(ProgramFolders, FirstUserFileMakesThePrivateFolder)
{
    struct writer {
        const char* file;
        std::function<bool(const program_folders&)> write;
    };
    const writer writers[] = {
        {global_ftp_settings::file_name,
         [](const program_folders& f) {
             global_ftp_settings settings;
             settings.set_folders(f);
             return settings.save() == 0;
         }},
        {"site_profiles.xml",
         [](const program_folders& f) {
             ftp_profile_tree profiles;
             profiles.reset(test_phrases());
             return profiles.save(qxval(f.user_file("site_profiles.xml")), qxval("")) == 0;
         }},
        {listing_dump_name,
         [](const program_folders& f) {
             global_ftp_settings settings;
             qx_ftp_file_lister pane(settings, nullptr, nullptr);
             return pane.open_listing_dump(f) && pane.listing_dump_path().view() == f.user_file(listing_dump_name);
         }},
    };
    int n = 0;
    for (const writer& w : writers) {
        const fs::path user = dir / ("cfg" + std::to_string(++n)) / "qvtf";
        const program_folders folders{(dir / "bin").string() + "/", user.string() + "/"};
        ASSERT_TRUE(w.write(folders)) << w.file;
        struct stat info {};
        ASSERT_EQ(::stat(user.c_str(), &info), 0) << w.file;
        EXPECT_EQ(info.st_mode & 0777, 0700u) << w.file;
        ASSERT_EQ(::stat((user / w.file).c_str(), &info), 0) << w.file;
        EXPECT_EQ(info.st_mode & 0777, 0600u) << w.file;
    }
}

}  // namespace
}  // namespace qvtf::test
