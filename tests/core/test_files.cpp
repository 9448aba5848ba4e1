// File helpers: open modes, reads and writes with their failure results,
// copy and move without losing data, and temporary names.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <filesystem>
#include <fstream>
#include <regex>
#include <sstream>
#include <string>

#include "core/qxarr.h"
#include "core/qxfiles.h"

namespace qvtf {
namespace {

namespace fs = std::filesystem;

class FileHelpers : public ::testing::Test {
protected:
    void SetUp() override
    {
        char tmpl[] = "/tmp/qvtf_files_XXXXXX";
        ASSERT_NE(::mkdtemp(tmpl), nullptr);
        dir = tmpl;
    }
    void TearDown() override { fs::remove_all(dir); }

    qxval path(const std::string& name) const { return qxval((dir / name).string()); }
    void write(const std::string& name, const std::string& content) const
    {
        std::ofstream((dir / name).string(), std::ios::binary) << content;
    }
    std::string read(const std::string& name) const
    {
        std::ifstream in((dir / name).string(), std::ios::binary);
        std::stringstream ss;
        ss << in.rdbuf();
        return ss.str();
    }

    fs::path dir;
};

TEST_F(FileHelpers, MissingFileGivesInvalidHandleAndEmptyReads)
{
    file_handle h = open_file(path("missing"), "r");
    EXPECT_EQ(h, invalid_file_handle);
    qxval v("stale");
    EXPECT_EQ(read_file(v, 100, h), 0);
    EXPECT_TRUE(v.is_string());
    EXPECT_EQ(v.str(), "");
    EXPECT_EQ(write_file(qxval("x"), 1, h), 0);
    EXPECT_EQ(file_size(h), -1);
    EXPECT_EQ(file_size_of(path("missing")), -1);
    close_file(h);  // ignored
}

TEST_F(FileHelpers, OpenModesCreateTruncateAppendAndReadOnly)
{
    write("f", "hello");
    file_handle a = open_file(path("f"), "A");  // first letter decides, any case
    ASSERT_NE(a, invalid_file_handle);
    EXPECT_EQ(seek_file(a, 0, 1), 5);  // positioned at the end
    EXPECT_EQ(write_file(qxval(" world"), 6, a), 6);
    close_file(a);
    EXPECT_EQ(read("f"), "hello world");

    file_handle r = open_file(path("f"), "r+");
    ASSERT_NE(r, invalid_file_handle);
    EXPECT_EQ(write_file(qxval("no"), 2, r), 0);  // read-only
    qxval v;
    EXPECT_EQ(read_file(v, 5, r), 5);
    EXPECT_EQ(v.str(), "hello");
    EXPECT_EQ(read_file(v, 100, r), 6);
    EXPECT_EQ(v.str(), " world");
    EXPECT_EQ(read_file(v, 100, r), 0);  // end of the file
    EXPECT_TRUE(v.is_string());
    EXPECT_EQ(v.str(), "");
    EXPECT_EQ(file_size(r), 11);
    close_file(r);

    file_handle w = open_file(path("f"), "w");
    ASSERT_NE(w, invalid_file_handle);
    EXPECT_EQ(file_size(w), 0);
    close_file(w);
    file_handle created = open_file(path("new"), "a+");
    EXPECT_NE(created, invalid_file_handle);
    close_file(created);
    EXPECT_TRUE(fs::exists(dir / "new"));
}

TEST_F(FileHelpers, WriteNeverReadsPastTheValue)
{
    file_handle w = open_file(path("f"), "w");
    EXPECT_EQ(write_file(qxval("abc"), 1000, w), 3);
    EXPECT_EQ(write_file(qxval(12), 2, w), 2);  // text form of a number
    close_file(w);
    EXPECT_EQ(read("f"), "abc12");
}

TEST_F(FileHelpers, FailedReadsAreNeverTakenForTheEnd)
{
    // Reading a folder fails with EISDIR: that must not look like end of file.
    int fd = ::open(dir.c_str(), O_RDONLY);
    ASSERT_GE(fd, 0);
    qxval v;
    EXPECT_LT(read_file(v, 10, fd), 0);
    EXPECT_EQ(v.str(), "");
    ::close(fd);

    EXPECT_EQ(read_error_result(ENOMEM), -7);
    EXPECT_EQ(read_error_result(EPIPE), -5);
    EXPECT_EQ(read_error_result(EFAULT), -6);
    EXPECT_EQ(read_error_result(EAGAIN), -2);
    EXPECT_EQ(read_error_result(EOVERFLOW), -4);
    EXPECT_EQ(read_error_result(EIO), -8);
}

TEST_F(FileHelpers, WholeFilesAndLists)
{
    write("empty", "");
    qxval v("x");
    EXPECT_TRUE(read_whole_file(path("empty"), v));
    EXPECT_EQ(v.str(), "");
    std::string bin("a\0b\r\n\xff", 6);
    write("bin", bin);
    EXPECT_TRUE(read_whole_file(path("bin"), v));
    EXPECT_EQ(v.str(), bin);
    EXPECT_FALSE(read_whole_file(path("missing"), v));

    qxarr list;
    for (const char* s : {"<a>", "", "text", "</a>"}) {
        qxval item(s);
        list.push(item);
    }
    EXPECT_TRUE(write_list_to_file(path("out"), list, "w+"));
    EXPECT_EQ(list.count(), 0);
    EXPECT_EQ(read("out"), "<a>text</a>");
    qxval tail("!");
    list.push(tail);
    EXPECT_TRUE(write_list_to_file(path("out"), list, "a"));
    EXPECT_EQ(read("out"), "<a>text</a>!");
    EXPECT_FALSE(write_list_to_file(path("no/dir/out"), list, "w"));
}

TEST_F(FileHelpers, CopyKeepsDataAndRefusesToClobber)
{
    write("src", "source data");
    ::chmod((dir / "src").c_str(), 0640);
    struct timespec times[2] = {{1500000000, 0}, {1500000000, 0}};
    ::utimensat(AT_FDCWD, (dir / "src").c_str(), times, 0);

    EXPECT_TRUE(copy_file(path("src"), path("dst"), false));
    EXPECT_EQ(read("dst"), "source data");
    struct stat st;
    ASSERT_EQ(::stat((dir / "dst").c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0640u);
    EXPECT_EQ(st.st_mtime, 1500000000);

    write("dst", "other");
    EXPECT_FALSE(copy_file(path("src"), path("dst"), false));
    EXPECT_EQ(read("dst"), "other");
    EXPECT_TRUE(copy_file(path("src"), path("dst"), true));
    EXPECT_EQ(read("dst"), "source data");

    // Onto itself, directly or through a link: refused, content intact.
    EXPECT_FALSE(copy_file(path("src"), path("src"), true));
    fs::create_symlink(dir / "src", dir / "alias");
    EXPECT_FALSE(copy_file(path("src"), path("alias"), true));
    EXPECT_EQ(read("src"), "source data");
    EXPECT_FALSE(copy_file(path("missing"), path("x"), true));
}

TEST_F(FileHelpers, MoveRefusesAnExistingTarget)
{
    write("a", "A");
    write("b", "B");
    EXPECT_FALSE(move_file(path("a"), path("b")));
    EXPECT_EQ(read("a"), "A");
    EXPECT_EQ(read("b"), "B");
    EXPECT_TRUE(move_file(path("a"), path("c")));
    EXPECT_FALSE(fs::exists(dir / "a"));
    EXPECT_EQ(read("c"), "A");

    EXPECT_TRUE(delete_file(path("c")));
    EXPECT_FALSE(delete_file(path("c")));
    EXPECT_TRUE(create_directory(path("sub")));
    EXPECT_FALSE(create_directory(path("sub")));
    EXPECT_FALSE(delete_file(path("sub")));  // files only
}

TEST_F(FileHelpers, SetFileTimesSetsAccessAndModification)
{
    write("f", "x");
    file_handle h = open_file(path("f"), "r");
    EXPECT_TRUE(set_file_times(h, 86400 * 365));
    close_file(h);
    struct stat st;
    ASSERT_EQ(::stat((dir / "f").c_str(), &st), 0);
    EXPECT_EQ(st.st_mtime, 86400 * 365);
    EXPECT_EQ(st.st_atime, 86400 * 365);
    EXPECT_FALSE(set_file_times(invalid_file_handle, 0));
}

TEST_F(FileHelpers, TempFileNamesAvoidExistingFiles)
{
    qxval wanted = path("report.txt");
    EXPECT_TRUE(temp_file_name(wanted, false));
    EXPECT_EQ(wanted.str(), path("report.txt").str());  // free: unchanged

    write("report.txt", "taken");
    qxval taken = path("report.txt");
    EXPECT_TRUE(temp_file_name(taken, false));
    EXPECT_TRUE(std::regex_match(taken.str(), std::regex(dir.string() + "/[0-9]{8}\\.txt"))) << taken.str();
    EXPECT_FALSE(fs::exists(taken.str()));

    for (const char* bad : {"/tmp/UPPER.TXT", "noslash.txt", "/tmp/noext", "/tmp/.hidden"}) {
        qxval v(bad);
        EXPECT_FALSE(temp_file_name(v, false)) << bad;
        EXPECT_EQ(v.str(), "") << bad;
    }

    qxval fresh;
    ASSERT_TRUE(temp_file_name(fresh, true));
    qxval tmp;
    temp_directory(tmp);
    EXPECT_EQ(fresh.str().rfind(tmp.str(), 0), 0u);
    EXPECT_TRUE(fs::exists(fresh.str()));
    fs::remove(fresh.str());

    qxval r;
    random_file_name(qxval("/x"), qxval("bin"), r);
    EXPECT_TRUE(std::regex_match(r.str(), std::regex("/x/[0-9]{8}\\.bin")));
}

TEST_F(FileHelpers, ProcessAndDiskFacts)
{
    qxval exe;
    ASSERT_TRUE(program_file_name(exe));
    EXPECT_EQ(exe.str().front(), '/');
    EXPECT_TRUE(fs::exists(exe.str()));

    qxval tmp;
    EXPECT_TRUE(temp_directory(tmp));
    EXPECT_EQ(tmp.str().back(), '/');

    qxval cwd, back;
    ASSERT_TRUE(current_directory(cwd));
    EXPECT_TRUE(set_current_directory(qxval(dir.string())));
    current_directory(back);
    EXPECT_EQ(fs::path(back.str()), fs::canonical(dir));
    EXPECT_TRUE(set_current_directory(cwd));
    EXPECT_FALSE(set_current_directory(path("missing")));

    qxval space;
    ASSERT_TRUE(free_disk_space(qxval(dir.string()), space));
    EXPECT_TRUE(space.is(qxval_kind::real));
    EXPECT_GT(space.as_double(), 0.0);
    EXPECT_FALSE(free_disk_space(path("missing"), space));
    EXPECT_TRUE(space.is(qxval_kind::integer));
    EXPECT_EQ(space.as_int(), 0);
}

}  // namespace
}  // namespace qvtf
