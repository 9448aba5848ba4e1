#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include "core/own_temporaries.h"
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
    {
        std::ofstream(f) << "old content that is longer";
    }
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
    {
        std::ofstream(real) << "x";
    }
    fs::create_symlink(real, link);
    ASSERT_TRUE(write_file_atomic(qxval(link.string()), "through link"));
    EXPECT_TRUE(fs::is_symlink(link));
    EXPECT_EQ(slurp(real), "through link");
}

TEST_F(AtomicWrite, FailedWriteLeavesOldFileIntact)
{
    fs::path f = dir / "profiles.xml";
    {
        std::ofstream(f) << "previous";
    }
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

// A download's local file: a new target has no name until it is complete,
// an existing one keeps its bits, and whatever is not committed leaves the
// folder as it was.
TEST_F(AtomicWrite, ReplacementFileCommitsOrLeavesNoTrace)
{
    struct scenario {
        const char* name;
        bool exists_before;
        bool appears_meanwhile;  // another program makes the target mid-download
        bool commit;
    };
    const scenario cases[] = {
        {"new, committed", false, false, true},
        {"new, discarded", false, false, false},
        {"existing, committed", true, false, true},
        {"existing, discarded", true, false, false},
        {"appears meanwhile, committed", false, true, true},
    };
    const mode_t mask = ::umask(0);
    ::umask(mask);
    for (const scenario& c : cases) {
        SCOPED_TRACE(c.name);
        const fs::path f = dir / "page.html";
        fs::remove(f);
        if (c.exists_before) {
            {
                std::ofstream(f) << "old";
            }
            ::chmod(f.c_str(), 0640);
        }
        {
            replacement_file target;
            const file_handle h = target.open(qxval(f.string()));
            ASSERT_NE(h, invalid_file_handle);
            ASSERT_EQ(::write(h, "new content", 11), 11);
            ::close(h);
            // Before the commit the target is as it was.
            if (c.exists_before) {
                EXPECT_EQ(slurp(f), "old");
            } else {
                EXPECT_FALSE(fs::exists(f));
            }
            if (c.appears_meanwhile) {
                {
                    std::ofstream(f) << "theirs";
                }
                ::chmod(f.c_str(), 0640);
            }
            if (c.commit) {
                EXPECT_TRUE(target.commit());
            }
        }
        const bool had_file = c.exists_before || c.appears_meanwhile;
        EXPECT_EQ(fs::exists(f), c.commit || had_file);
        if (c.commit || had_file) {
            EXPECT_EQ(slurp(f), c.commit ? "new content" : "old");
            struct stat st;
            ASSERT_EQ(::stat(f.c_str(), &st), 0);
            EXPECT_EQ(st.st_mode & 07777, had_file ? 0640u : (0666u & ~mask));
        }
        EXPECT_EQ(entries(), fs::exists(f) ? 1u : 0u) << "no temporary is left behind";
    }
}

// Our temporaries carry a name that listings recognise; one that a signal
// interrupts is removed before the process ends, and a closed output does
// not end the process at all.
TEST_F(AtomicWrite, OwnTemporariesAreRecognisedAndRemovedOnSignals)
{
    const std::string made = own_temporary_template((dir / "report.txt").string());
    EXPECT_EQ(made, (dir / ".report.txt.qvtf-part-XXXXXX").string());
    EXPECT_LE(fs::path(own_temporary_template("/x/" + std::string(300, 'n'))).filename().string().size(), 255u);
    struct name_row {
        const char* name;
        bool ours;
    };
    for (const name_row& r : {name_row{".report.txt.qvtf-part-a1B2c3", true},
                              {".x.qvtf-part-XXXXXX", true},
                              {"report.txt.a1B2c3", false},
                              {"report.txt.qvtf-part-a1B2c3", false},
                              {".report.txt.qvtf-part-a1B2c", false},
                              {".qvtf-part-", false}})
        EXPECT_EQ(is_own_temporary(r.name), r.ours) << r.name;

    for (int signal_number : {SIGTERM, SIGINT, SIGHUP, SIGPIPE}) {
        SCOPED_TRACE(signal_number);
        std::string name = made;
        const pid_t child = ::fork();
        ASSERT_GE(child, 0);
        if (child == 0) {
            remove_own_temporaries_on_signals();
            const int fd = ::mkstemp(name.data());
            if (fd < 0 || remember_own_temporary(name) < 0)
                ::_exit(3);
            int ends[2];
            if (signal_number == SIGPIPE && ::pipe(ends) == 0) {
                ::close(ends[0]);
                ::_exit(::write(ends[1], "x", 1) < 0 ? 4 : 5);  // fails, and the process lives on
            }
            ::raise(signal_number);
            ::_exit(6);
        }
        int status = 0;
        ASSERT_EQ(::waitpid(child, &status, 0), child);
        if (signal_number == SIGPIPE) {
            EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 4) << status;
            for (const auto& e : fs::directory_iterator(dir))
                fs::remove(e.path());
        } else {
            EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == signal_number) << status;
            EXPECT_EQ(entries(), 0u) << "the temporary went with the process";
        }
    }
}

TEST_F(AtomicWrite, MissingFolderFails)
{
    EXPECT_FALSE(write_file_atomic(qxval((dir / "no" / "such.txt").string()), "x"));
}

}  // namespace
}  // namespace qvtf
