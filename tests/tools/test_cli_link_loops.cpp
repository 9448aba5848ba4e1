// Folder copies through links that lead back into the folder being copied:
// qvtf-cli's upload and download against vsftpd, whose listings show each
// link's target. Every real file arrives once, a loop is skipped with a log
// line, and a link to a folder outside the copy is still followed.
#include <unistd.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <set>

#include "support/ftp_servers.h"
#include "support/process.h"
#include "tools/cli_test_output.h"

namespace {

using namespace qvtf;
namespace fs = std::filesystem;
using names = std::set<std::string>;

struct loop_case {
    const char* name;
    // Builds the tree to copy under the local folder (upload) or the
    // server's root (download); the other folder is the copy's target.
    bool upload;
    std::vector<std::pair<const char*, const char*>> links;  // path, target
    names arrived;                                           // regular files under the target afterwards
    names skipped;                                           // the paths the log names as not followed
};

void PrintTo(const loop_case& c, std::ostream* os)
{
    *os << c.name;
}

const loop_case cases[] = {
    {"UploadWithALinkToTheParent",
     true,
     {{"top/css/up", ".."}, {"top/lib", "../shared"}},
     {"top/index.html", "top/css/a.css", "top/lib/s.js"},
     {"top/css/up"}},
    {"DownloadWithALoopInEveryFolder",
     false,
     {{"top/loop", "."}, {"top/css/loop", "."}, {"top/css/up", ".."}, {"top/lib", "../shared"}, {"shared/loop", "."}},
     {"top/index.html", "top/css/a.css", "top/lib/s.js"},
     {"top/loop", "top/css/loop", "top/css/up", "top/lib/loop"}},
};

// Regular files below folder, links not followed.
names files_below(const std::string& folder)
{
    names found;
    for (const auto& e : fs::recursive_directory_iterator(folder))
        if (e.is_regular_file() && !e.is_symlink())
            found.insert(fs::relative(e.path(), folder).string());
    return found;
}

class CliLinkLoops : public ::testing::TestWithParam<loop_case> {};

TEST_P(CliLinkLoops, EveryFileArrivesOnceAndLoopsAreLogged)
{
    const loop_case& c = GetParam();
    if (!test::vsftpd_available())
        GTEST_SKIP() << "vsftpd not installed";
    test::vsftpd_server server;
    ASSERT_TRUE(server.ok()) << server.log();
    test::temp_folder local("qvtf-cli-loops");
    const std::string source = c.upload ? local.path() : server.root();
    const std::string target = c.upload ? server.root() + "/in" : local.path();
    fs::create_directories(source + "/top/css");
    fs::create_directories(source + "/shared");
    std::ofstream(source + "/top/index.html") << "index";
    std::ofstream(source + "/top/css/a.css") << "css";
    std::ofstream(source + "/shared/s.js") << "js";
    for (const auto& [path, to] : c.links)
        ASSERT_EQ(::symlink(to, (source + "/" + path).c_str()), 0) << path;
    fs::create_directories(target);
    ::chmod(target.c_str(), 0777);

    cli::options o = test::login_options(server.port(), server.user(), server.password());
    o.threads = 2;
    const std::string script = c.upload ? "upload " + source + "/top in" : "download top " + target;
    std::string error;
    ASSERT_TRUE(cli::split_script(script, o.commands, error)) << error;
    const test::cli_run run = test::run_cli(o);
    EXPECT_EQ(run.code, 0) << run.out << run.err;
    EXPECT_EQ(files_below(target), c.arrived) << run.out;
    names logged;
    const std::string mark = "2 Not followed, the link leads back into a folder it lies in: ";
    for (size_t at = 0; (at = run.out.find(mark, at)) != std::string::npos;) {
        at += mark.size();
        const std::string path = run.out.substr(at, run.out.find('\n', at) - at);
        logged.insert(path.substr(path.find("top/")));
    }
    EXPECT_EQ(logged, c.skipped) << run.out;
}

INSTANTIATE_TEST_SUITE_P(Cases, CliLinkLoops, ::testing::ValuesIn(cases),
                         [](const auto& instance) { return std::string(instance.param.name); });

}  // namespace
