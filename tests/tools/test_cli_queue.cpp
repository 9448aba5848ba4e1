// qvtf-cli's download and upload through the queue against vsftpd: whole
// folders both ways with workers or on the session itself, the log line of
// each finished item with its kind, and the exit status.
#include <sys/stat.h>
#include <utime.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <tuple>

#include "settings/global_ftp_settings.h"
#include "support/ftp_servers.h"
#include "support/process.h"
#include "tools/cli_test_output.h"
#include "tools/qvtf-cli/cli_session.h"

namespace {

using namespace qvtf;
namespace fs = std::filesystem;

struct queue_case {
    const char* name;
    std::string script;  // %L: the local folder, %R: the server's folder on disk
    int threads;
    int code;
    int lines_of_kind_5;
    int lines_of_kind_4;
    int lines_of_kind_3;
};

void PrintTo(const queue_case& c, std::ostream* os)
{
    *os << c.name;
}

const queue_case cases[] = {
    {"FolderDownWithWorkers", "download src %L", 2, 0, 6, 0, 0},
    {"FolderDownOnTheSession", "download src %L", 0, 0, 6, 0, 0},
    {"FilesAndFolderUp", "upload %L/up/a.txt %L/up/deep up", 3, 0, 0, 3, 0},
    {"MissingRemoteFails", "download src/a.txt nothing-here %L", 2, 1, 1, 0, 0},
};

std::string replaced(std::string text, const std::string& local)
{
    for (size_t at; (at = text.find("%L")) != std::string::npos;)
        text.replace(at, 2, local);
    return text;
}

class CliQueue : public ::testing::TestWithParam<queue_case> {};

TEST_P(CliQueue, RunsTheQueue)
{
    const queue_case& c = GetParam();
    if (!test::vsftpd_available())
        GTEST_SKIP() << "vsftpd not installed";
    test::vsftpd_server server;
    ASSERT_TRUE(server.ok()) << server.log();
    // src: three files and a folder of three; up: what uploads send.
    const std::string src = server.root() + "/src";
    fs::create_directories(src + "/sub");
    for (const char* name : {"a.txt", "b.bin", "c", "sub/d", "sub/e", "sub/f"})
        std::ofstream(src + "/" + name) << name << std::string(5000, 'x');
    fs::create_directories(server.root() + "/up");
    ::chmod((server.root() + "/up").c_str(), 0777);
    test::temp_folder local("qvtf-cli-queue");
    fs::create_directories(local.path() + "/up/deep");
    for (const char* name : {"a.txt", "deep/g", "deep/h"})
        std::ofstream(local.path() + "/up/" + name) << name;

    cli::options o = test::login_options(server.port(), server.user(), server.password());
    o.threads = c.threads;
    std::string error;
    ASSERT_TRUE(cli::split_script(replaced(c.script, local.path()), o.commands, error)) << error;
    const test::cli_run run = test::run_cli(o);
    const std::string& printed = run.out;
    const std::string& errors = run.err;
    const int code = run.code;
    EXPECT_EQ(code, c.code) << printed << errors;
    int kinds[6] = {};
    std::istringstream lines(printed);
    for (std::string line; std::getline(lines, line);)
        if (!line.empty() && line[0] >= '0' && line[0] <= '5' && line[1] == ' ')
            ++kinds[line[0] - '0'];
    EXPECT_EQ(kinds[5], c.lines_of_kind_5) << printed;
    EXPECT_EQ(kinds[4], c.lines_of_kind_4) << printed;
    EXPECT_EQ(kinds[3], c.lines_of_kind_3) << printed;
    if (c.code == 0 && c.lines_of_kind_5) {
        for (const char* name : {"a.txt", "b.bin", "c", "sub/d", "sub/e", "sub/f"})
            EXPECT_EQ(test::read_text_file(local.path() + "/src/" + name), test::read_text_file(src + "/" + name))
                << name;
    }
    if (c.code == 0 && c.lines_of_kind_4) {
        for (const char* name : {"a.txt", "deep/g", "deep/h"})
            EXPECT_EQ(test::read_text_file(server.root() + "/up/" + name), name) << name;
    }
    if (c.code != 0) {
        EXPECT_NE(errors.find("nothing-here"), std::string::npos) << errors;
    }
}

// Without --threads and without --site the worker count is the user's
// setting; a damaged settings file stops the run instead of giving defaults.
TEST(CliQueueSettings, TheUsersSettingsGiveTheWorkers)
{
    if (!test::vsftpd_available())
        GTEST_SKIP() << "vsftpd not installed";
    test::vsftpd_server server;
    ASSERT_TRUE(server.ok()) << server.log();
    fs::create_directories(server.root() + "/src");
    for (const char* name : {"a", "b", "c"})
        std::ofstream(server.root() + "/src/" + name) << name;
    test::temp_folder home("qvtf-cli-home");
    test::temp_folder local("qvtf-cli-settings");
    const std::string user = home.path() + "/";
    global_ftp_settings stored;
    stored.settings_path.set_string((user + global_ftp_settings::file_name).c_str());
    stored.max_download_threads = 0;
    ASSERT_EQ(stored.save(), 0);

    cli::options o = test::login_options(server.port(), server.user(), server.password());
    o.log = true;
    std::string error;
    ASSERT_TRUE(cli::split_script("download src " + local.path(), o.commands, error)) << error;
    const test::cli_run run = test::run_cli(o, user);
    EXPECT_EQ(run.code, 0) << run.err;
    size_t logins = 0;
    for (size_t at = 0; (at = run.err.find("> USER ", at)) != std::string::npos; ++at)
        ++logins;
    EXPECT_EQ(logins, 1u) << "0 workers: everything on the one session\n" << run.err;
    EXPECT_EQ(test::read_text_file(local.path() + "/src/c"), "c");

    std::ofstream(user + global_ftp_settings::file_name) << "<not xml";
    const test::cli_run damaged = test::run_cli(o, user);
    EXPECT_NE(damaged.code, 0);
    EXPECT_NE(damaged.err.find(global_ftp_settings::file_name), std::string::npos) << damaged.err;
}

// --exists on get, put and download against vsftpd: each row is the target
// before, the command and action, and the bytes after with the line that
// says what became of the target. A resumed target keeps bytes the source
// never had, so anything sent again would show; the server saw REST too.
TEST(CliQueueSettings, ExistsTargetBeforeActionAfter)
{
    if (!test::vsftpd_available())
        GTEST_SKIP() << "vsftpd not installed";
    test::vsftpd_server server;
    ASSERT_TRUE(server.ok()) << server.log();
    test::temp_folder local("qvtf-cli-exists");
    enum class before { absent, older, newer, shorter };
    enum class after { source, unchanged, resumed, renamed };
    constexpr std::time_t source_time = 1700000000;
    using a = exists_action;
    struct row {
        std::string command;  // %N: the file's name, %L: the local folder
        exists_action action;
        before target;
        after expected;
    };
    const row rows[] = {
        {"get %N %L/%N", a::skip, before::older, after::unchanged},
        {"get %N %L/%N", a::newer, before::older, after::source},
        {"get %N %L/%N", a::newer, before::newer, after::unchanged},
        {"get %N %L/%N", a::rename, before::older, after::renamed},
        {"get %N %L/%N", a::resume, before::shorter, after::resumed},
        {"put %L/%N %N", a::skip, before::older, after::unchanged},
        {"put %L/%N %N", a::newer, before::older, after::source},
        {"put %L/%N %N", a::newer, before::newer, after::unchanged},
        {"put %L/%N %N", a::rename, before::older, after::renamed},
        {"put %L/%N %N", a::resume, before::shorter, after::resumed},
        {"download %N %L", a::skip, before::older, after::unchanged},
        {"download %N %L", a::skip, before::absent, after::source},
    };
    int number = 0;
    for (const row& r : rows) {
        const std::string name = "r" + std::to_string(++number) + ".bin";
        std::string command = r.command;
        for (const auto& [key, value] : {std::pair{"%N", name}, std::pair{"%L", local.path()}})
            for (size_t at; (at = command.find(key)) != std::string::npos;)
                command.replace(at, 2, value);
        SCOPED_TRACE(command + " --exists " + std::string(exists_action_name(r.action)));
        const bool download = command.rfind("put", 0) != 0;
        const std::string server_file = server.root() + "/" + name;
        const std::string local_file = local.path() + "/" + name;
        const std::string& source_file = download ? server_file : local_file;
        const std::string& target_file = download ? local_file : server_file;
        std::string source;
        for (int i = 0; i < 1000; ++i)
            source += static_cast<char>('a' + (i * 7 + number) % 26);
        const std::string old_bytes(r.target == before::shorter ? 400 : 500, 'x');
        const std::time_t old_time = source_time + (r.target == before::newer ? 3600 : -3600);
        for (const auto& [path, bytes, when] : {std::tuple{source_file, source, source_time},
                                               std::tuple{target_file, old_bytes, old_time}}) {
            if (path == target_file && r.target == before::absent)
                continue;
            std::ofstream(path) << bytes;
            ::chmod(path.c_str(), 0666);
            const utimbuf times{when, when};
            ::utime(path.c_str(), &times);
        }

        cli::options o = test::login_options(server.port(), server.user(), server.password());
        o.exists = r.action;
        o.log = true;
        std::string error;
        ASSERT_TRUE(cli::split_script(command, o.commands, error)) << error;
        const test::cli_run run = test::run_cli(o);
        EXPECT_EQ(run.code, 0) << run.out << run.err;
        const std::string shown_target = download ? local_file : name;
        const std::string renamed = "r" + std::to_string(number) + " (1).bin";
        switch (r.expected) {
        case after::source: EXPECT_EQ(test::read_text_file(target_file), source); break;
        case after::unchanged:
            EXPECT_EQ(test::read_text_file(target_file), old_bytes);
            EXPECT_NE(run.out.find("2 Skipped, the target exists: " + shown_target), std::string::npos) << run.out;
            break;
        case after::resumed:
            EXPECT_EQ(test::read_text_file(target_file), old_bytes + source.substr(400));
            EXPECT_NE(run.err.find("> REST 400"), std::string::npos) << run.err;
            break;
        case after::renamed:
            EXPECT_EQ(test::read_text_file(target_file), old_bytes);
            EXPECT_EQ(test::read_text_file((download ? local.path() : server.root()) + "/" + renamed), source);
            EXPECT_NE(run.out.find(shown_target + " as " + renamed), std::string::npos) << run.out;
            break;
        }
    }
}

// A server behind a NAT names another address in its PASV replies. The
// queue's worker connections, which never saw a browser connection's
// settings, still connect their data connections to the server itself,
// unless told to trust the reply.
TEST(CliQueueSettings, WorkersKeepTheDataConnectionOnTheServer)
{
    if (!test::pyftpdlib_available())
        GTEST_SKIP() << "pyftpdlib not installed";
    test::pyftpdlib_server server("pyuser", "pypass", "127.0.0.2");
    ASSERT_TRUE(server.ok()) << server.log();
    fs::create_directories(server.root() + "/src");
    for (const char* name : {"a", "b", "c", "d"})
        std::ofstream(server.root() + "/src/" + name) << name << std::string(3000, '.');
    for (const bool trust : {false, true}) {
        SCOPED_TRACE(trust ? "trusting the reply" : "the control connection's address");
        test::temp_folder local("qvtf-cli-nat");
        cli::options o = test::login_options(server.port(), server.user(), server.password());
        o.threads = 2;
        o.retries = 1;
        o.timeout = 3;
        o.trust_pasv_address = trust;
        // Only PASV names an address; EPSV always leads to the server itself.
        o.extended_data = false;
        std::string error;
        ASSERT_TRUE(cli::split_script("download src " + local.path(), o.commands, error)) << error;
        const test::cli_run run = test::run_cli(o);
        if (trust) {
            EXPECT_NE(run.code, 0) << "nothing listens on 127.0.0.2";
        } else {
            EXPECT_EQ(run.code, 0) << run.out << run.err;
            EXPECT_EQ(test::read_text_file(local.path() + "/src/d"), "d" + std::string(3000, '.'));
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Cases, CliQueue, ::testing::ValuesIn(cases),
                         [](const auto& instance) { return std::string(instance.param.name); });

}  // namespace
