// Local folder listings: entry fields from the file system, links, the
// folders-first order, patterns, and the process's folder left alone.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "core/qxfile_tree.h"
#include "core/qxfiles.h"

namespace qvtf {
namespace {

namespace fs = std::filesystem;

class FolderListing : public ::testing::Test {
protected:
    void SetUp() override
    {
        char tmpl[] = "/tmp/qvtf_list_XXXXXX";
        ASSERT_NE(::mkdtemp(tmpl), nullptr);
        dir = tmpl;
        std::ofstream((dir / "b.TXT").string()) << "12345";
        fs::create_directory(dir / "zfolder");
        std::ofstream((dir / "a.tar.gz").string()) << "";
        fs::create_directory(dir / "afolder");
        fs::create_symlink("zfolder", dir / "link_to_folder");
        fs::create_symlink("missing-target", dir / "dangling");
        ::chmod((dir / "b.TXT").c_str(), 04754);
        struct timespec times[2] = {{1200000000, 0}, {1300000000, 0}};
        ::utimensat(AT_FDCWD, (dir / "b.TXT").c_str(), times, 0);
    }
    void TearDown() override { fs::remove_all(dir); }

    static std::vector<std::string> names(qxfile_node* first)
    {
        std::vector<std::string> out;
        for (qxfile_node* n = first; n; n = n->next)
            out.push_back(n->name.str());
        return out;
    }
    static qxfile_node* find(qxfile_node* first, const std::string& name)
    {
        for (qxfile_node* n = first; n; n = n->next)
            if (n->name.str() == name)
                return n;
        return nullptr;
    }

    fs::path dir;
};

TEST_F(FolderListing, FillsEntriesFoldersFirst)
{
    qxfile_tree tree;
    qxval cwd_before;
    current_directory(cwd_before);
    ASSERT_TRUE(list_folder(qxval(dir.string()), tree, nullptr, true, qxval("*")));
    qxval cwd_after;
    current_directory(cwd_after);
    EXPECT_EQ(cwd_after.str(), cwd_before.str());

    std::vector<std::string> all = names(tree.root);
    ASSERT_EQ(all.size(), 6u);
    // Folders (and the link to one) come before every file.
    size_t folders = 0;
    for (qxfile_node* n = tree.root; n && n->is_folder; n = n->next)
        ++folders;
    EXPECT_EQ(folders, 3u);
    for (qxfile_node* n = tree.root; n; n = n->next)
        EXPECT_TRUE(n->name.str() != "." && n->name.str() != "..");

    qxfile_node* b = find(tree.root, "b.TXT");
    ASSERT_NE(b, nullptr);
    EXPECT_EQ(b->size(), 5u);
    EXPECT_EQ(b->extension.str(), ".txt");
    EXPECT_EQ(b->attributes, 04754u);
    EXPECT_EQ(b->modified, 1300000000);
    EXPECT_EQ(b->accessed, 1200000000);
    EXPECT_EQ(b->is_folder, 0);
    EXPECT_EQ(find(tree.root, "a.tar.gz")->extension.str(), ".gz");
    EXPECT_EQ(find(tree.root, "afolder")->extension.str(), "");

    qxfile_node* link = find(tree.root, "link_to_folder");
    ASSERT_NE(link, nullptr);
    EXPECT_TRUE(link->is_link());
    EXPECT_EQ(link->is_folder, 1);
    EXPECT_EQ(link->link_target.str(), "zfolder");
    qxfile_node* dangling = find(tree.root, "dangling");
    ASSERT_NE(dangling, nullptr);
    EXPECT_TRUE(dangling->is_link());
    EXPECT_EQ(dangling->is_folder, 0);
    EXPECT_EQ(dangling->link_target.str(), "missing-target");
}

TEST_F(FolderListing, PatternsDotsAndParents)
{
    qxfile_tree tree;
    auto* top = new qxfile_node;
    top->name.set_string("top");
    tree.append_top(top);
    auto* existing = new qxfile_node;
    existing->name.set_string("existing");
    tree.append_child(existing, top);

    ASSERT_TRUE(list_folder(qxval(dir.string()), tree, top, false, qxval("*.TXT")));
    EXPECT_EQ(names(top->first_child), (std::vector<std::string>{"existing", "b.TXT"}));
    EXPECT_EQ(top->first_child->next->parent, top);
    EXPECT_EQ(top->next, nullptr);

    qxfile_tree dots;
    ASSERT_TRUE(list_folder(qxval(dir.string() + "/"), dots, nullptr, false, qxval("")));
    EXPECT_NE(find(dots.root, "."), nullptr);
    EXPECT_NE(find(dots.root, ".."), nullptr);
    EXPECT_EQ(names(dots.root).size(), 8u);

    qxfile_tree none;
    EXPECT_FALSE(list_folder(qxval((dir / "missing").string()), none, nullptr, true, qxval("*")));
    EXPECT_EQ(none.root, nullptr);
}

TEST_F(FolderListing, LargeSizesKeepAll64Bits)
{
    int fd = ::open((dir / "sparse").c_str(), O_CREAT | O_WRONLY, 0644);
    ASSERT_GE(fd, 0);
    ASSERT_EQ(::ftruncate(fd, 5000000000LL), 0);
    ::close(fd);
    qxfile_node node;
    ASSERT_TRUE(stat_path(qxval((dir / "sparse").string()), node));
    EXPECT_EQ(node.size(), 5000000000ULL);
}

TEST_F(FolderListing, StatPathIgnoresATrailingSlash)
{
    qxfile_node node;
    ASSERT_TRUE(stat_path(qxval((dir / "zfolder").string() + "/"), node));
    EXPECT_EQ(node.name.str(), "zfolder");
    EXPECT_EQ(node.is_folder, 1);

    qxfile_node link;
    ASSERT_TRUE(stat_path(qxval((dir / "link_to_folder").string()), link));
    EXPECT_TRUE(link.is_link());
    EXPECT_EQ(link.is_folder, 1);

    qxfile_node root;
    ASSERT_TRUE(stat_path(qxval("/"), root));
    EXPECT_EQ(root.is_folder, 1);

    qxfile_node missing;
    EXPECT_FALSE(stat_path(qxval((dir / "nope").string()), missing));
    EXPECT_FALSE(stat_path(qxval(""), missing));
}

}  // namespace
}  // namespace qvtf
