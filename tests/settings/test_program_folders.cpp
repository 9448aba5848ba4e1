// Where the user's files live: the rule's cases in one table, then the
// extension list choice and the private folder it creates.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>
#include <fstream>
#include <string>

#include "settings/global_ftp_settings.h"
#include "settings/program_folders.h"
#include "settings_test_folder.h"

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
        {"a folder named like the settings file is no install", (dir / "odd").string(), {"", "", "", "/h"},
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

}  // namespace
}  // namespace qvtf::test
