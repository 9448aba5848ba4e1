#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include "core/qxarr.h"
#include "core/qxfiles_atomic.h"
#include "support/file_size_limit.h"
#include "support/process.h"

namespace qvtf {
namespace {

namespace fs = std::filesystem;

class AtomicWrite : public ::testing::Test {
protected:
    test::temp_folder folder{"qvtf-atomic"};
    fs::path dir{folder.path()};

    static std::string slurp(const fs::path& p)
    {
        std::ifstream in(p, std::ios::binary);
        std::stringstream s;
        s << in.rdbuf();
        return s.str();
    }
    size_t entries() const { return static_cast<size_t>(std::distance(fs::directory_iterator(dir), {})); }

};

TEST_F(AtomicWrite, ReplacesContentWithOwnerOnlyBitsAndNoLeftovers)
{
    fs::path f = dir / "settings.txt";
    { std::ofstream(f) << "old content that is longer"; }
    ::chmod(f.c_str(), 0644);
    ASSERT_TRUE(write_file_atomic(qxval(f.string()), "new"));
    EXPECT_EQ(slurp(f), "new");
    struct stat st;
    ASSERT_EQ(::stat(f.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0600u);
    EXPECT_EQ(entries(), 1u);

    qxarr list;
    for (const char* piece : {"a", "", "bc"}) {
        qxval v(piece);
        list.push(v);
    }
    ASSERT_TRUE(write_list_atomic(qxval(f.string()), list));
    EXPECT_EQ(slurp(f), "abc");
    EXPECT_TRUE(list.empty());
}

TEST_F(AtomicWrite, FollowsSymbolicLinkAndKeepsIt)
{
    fs::path real = dir / "real.xml";
    fs::path link = dir / "link.xml";
    { std::ofstream(real) << "x"; }
    fs::create_symlink(real, link);
    ASSERT_TRUE(write_file_atomic(qxval(link.string()), "through link"));
    EXPECT_TRUE(fs::is_symlink(link));
    EXPECT_EQ(slurp(real), "through link");
}

TEST_F(AtomicWrite, FailedWriteLeavesOldFileIntact)
{
    fs::path f = dir / "profiles.xml";
    { std::ofstream(f) << "previous"; }
    bool ok = true;
    {
        test::file_size_limit full_disk(4096);
        ASSERT_TRUE(full_disk.active());
        ok = write_file_atomic(qxval(f.string()), std::string(100000, 'z'));
    }
    EXPECT_FALSE(ok);
    EXPECT_EQ(slurp(f), "previous");
    EXPECT_EQ(entries(), 1u);
}

TEST_F(AtomicWrite, MissingFolderFails)
{
    EXPECT_FALSE(write_file_atomic(qxval((dir / "no" / "such.txt").string()), "x"));
}

}  // namespace
}  // namespace qvtf
