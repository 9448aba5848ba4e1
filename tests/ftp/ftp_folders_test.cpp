// The PWD reply and the session's tree of remote folders.
#include <gtest/gtest.h>

#include "ftp_test_session.h"

namespace qvtf::test {
namespace {

std::string pwd_path(std::string_view line)
{
    qxval path("x");
    if (!ftp_control::parse_pwd_reply(line, path))
        return "<none>";
    return path.str();
}

TEST(FtpPwdReply, PathForms)
{
    EXPECT_EQ(pwd_path("257 \"/home/bob\" is the current directory"), "/home/bob");
    EXPECT_EQ(pwd_path("257 '/single quoted'"), "/single quoted");
    EXPECT_EQ(pwd_path("257  \t\"/tabs\""), "/tabs");
    EXPECT_EQ(pwd_path("257 /unquoted/path rest"), "/unquoted/path");
    EXPECT_EQ(pwd_path("257 \"/a \\\"quoted\\\" name\""), "/a \"quoted\" name");
    EXPECT_EQ(pwd_path("257 \"C:\\\\dir\""), "C:\\dir");
    EXPECT_EQ(pwd_path("257"), "<none>");
    EXPECT_EQ(pwd_path("257 \"\""), "<none>");
    EXPECT_EQ(pwd_path(""), "<none>");
}

// The names along the tree's first-child chain from the root.
std::vector<std::string> chain(const qxfile_node* node)
{
    std::vector<std::string> names;
    for (; node; node = node->first_child)
        names.push_back(node->name.str());
    return names;
}

std::string path_of(const qxfile_node* node)
{
    std::string path;
    for (; node && node->parent; node = node->parent)
        path = "/" + node->name.str() + path;
    return path.empty() ? "/" : path;
}

TEST(FtpFolderTree, AbsolutePathsBuildTheTree)
{
    ftp_control s;
    s.set_current_path(qxval("/home/bob/www"), true);
    EXPECT_EQ(s.current_path().str(), "/home/bob/www");
    EXPECT_EQ(chain(s.folder_tree().root), (std::vector<std::string>{"/", "home", "bob", "www"}));
    ASSERT_NE(s.current_folder(), nullptr);
    EXPECT_EQ(path_of(s.current_folder()), "/home/bob/www");
    EXPECT_TRUE(s.current_folder()->is_folder);

    // Known folders are found again, new ones added beside them.
    s.set_current_path(qxval("/home/alice"), true);
    const qxfile_node* home = s.folder_tree().root->first_child;
    ASSERT_NE(home->first_child->next, nullptr);
    EXPECT_EQ(home->first_child->next->name.str(), "alice");
    EXPECT_EQ(home->next, nullptr) << "home was not made twice";
    EXPECT_EQ(path_of(s.current_folder()), "/home/alice");

    // Without make_current only the tree changes.
    s.set_current_path(qxval("/tmp"), false);
    EXPECT_EQ(s.current_path().str(), "/home/alice");
    EXPECT_EQ(path_of(s.current_folder()), "/home/alice");
    EXPECT_EQ(home->next->name.str(), "tmp");
}

TEST(FtpFolderTree, DotsAndEmptyComponentsAreDropped)
{
    ftp_control s;
    s.set_current_path(qxval("//a/./b/../c/"), true);
    EXPECT_EQ(path_of(s.current_folder()), "/a/b/c") << "'..' is dropped, not resolved";
    s.set_current_path(qxval("/"), true);
    EXPECT_EQ(s.current_folder(), s.folder_tree().root);
}

TEST(FtpFolderTree, RelativePathsStartAtTheCurrentFolder)
{
    ftp_control s;
    s.set_current_path(qxval("sub"), true);
    EXPECT_EQ(path_of(s.current_folder()), "/sub") << "an empty tree gets a root to start from";
    s.set_current_path(qxval("deeper/still"), true);
    EXPECT_EQ(path_of(s.current_folder()), "/sub/deeper/still");
    s.set_current_path(qxval("/x"), true);
    s.set_current_path(qxval("y"), false);
    EXPECT_EQ(path_of(s.current_folder()), "/x");
    EXPECT_EQ(s.current_folder()->first_child->name.str(), "y");
}

TEST(FtpFolderTree, MatchesAreExactAndOnlyFolders)
{
    ftp_control s;
    s.set_current_path(qxval("/Data"), false);
    s.set_current_path(qxval("/data"), true);
    EXPECT_NE(s.folder_tree().root->first_child->next, nullptr) << "names compare case-sensitively";
    // A file of the same name is not a folder to walk into.
    auto* file = new qxfile_node;
    file->name.set_string("f");
    s.folder_tree().append_child(file, s.folder_tree().root);
    s.set_current_path(qxval("/f/g"), true);
    EXPECT_EQ(file->first_child, nullptr);
    EXPECT_EQ(path_of(s.current_folder()), "/f/g");
    EXPECT_NE(s.current_folder()->parent, file);
}

TEST(FtpFolderTree, ChangeFolderRecordsWhatTheServerReports)
{
    scripted_ftp_server server;
    server.send("220 ready\r\n").expect("250 ok\r\n").expect("257 \"/srv/ftp/pub\" is cwd\r\n");
    server.start();
    logged_session s;
    ASSERT_EQ(connect_to(s, server), 0);
    s.set_state(remote_state::logged_in);
    ASSERT_EQ(s.change_folder(qxval("pub")), 0);
    EXPECT_EQ(s.current_path().str(), "/srv/ftp/pub");
    EXPECT_EQ(path_of(s.current_folder()), "/srv/ftp/pub");
}

}  // namespace
}  // namespace qvtf::test
