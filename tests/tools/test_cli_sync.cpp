// qvtf-cli sync against vsftpd and pyftpdlib: one pair of real trees taken
// through a sequence of runs (a dry run, an upload with deletions, the same
// again, downloads through links, both ways), each with the plan it must print and
// what it must leave on both sides.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <ctime>
#include <fstream>
#include <functional>
#include <memory>
#include <sstream>

#include <gtest/gtest.h>

#include "support/ftp_servers.h"
#include "support/process.h"
#include "sync/dir_sync_settings.h"
#include "tools/cli_test_output.h"
#include "tools/qvtf-cli/cli_session.h"

namespace {

using namespace qvtf;
using namespace qvtf::sync_rule;
using lines = std::vector<std::string>;

// The server's name for its root folder.
std::string remote_root(const test::real_server& server)
{
    return server.vs ? server.vs->root() : "";
}

// The files a test puts there belong to the server's local user.
void own_files(const test::real_server& server)
{
    if (server.vs) {
        EXPECT_EQ(std::system(("chown -hR " + server.user() + " " + server.root()).c_str()), 0);
    }
}

bool exists(const std::string& p)
{
    struct stat st;
    return ::lstat(p.c_str(), &st) == 0;
}

std::string read_all(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

void write(const std::string& path, const std::string& text, std::time_t mtime = 0)
{
    std::ofstream(path, std::ios::binary) << text;
    if (mtime) {
        struct timespec t[2] = {{mtime, 0}, {mtime, 0}};
        ::utimensat(AT_FDCWD, path.c_str(), t, 0);
    }
}

struct sync_step {
    const char* name;
    int32_t rule;
    const char* local;  // folder below the local temporary folder
    bool dry_run;
    lines printed;  // stdout, with the folders written as L and R
    std::function<void(const std::string& local, const std::string& remote)> check;
    bool delete_missing = true;
    int exit_code = 0;
};

class CliSync : public ::testing::TestWithParam<bool> {};

TEST_P(CliSync, RunsOnRealTrees)
{
    const bool vsftpd = GetParam();
    const test::server_kind kind = vsftpd ? test::server_kind::vsftpd : test::server_kind::pyftpdlib;
    if (!test::server_available(kind))
        GTEST_SKIP() << "server not installed";
    test::real_server server(kind);
    ASSERT_TRUE(server.ok());
    test::temp_folder local("qvtf-cli-sync");
    const std::string L = local.path() + "/up";
    const std::string R = server.root() + "/site";
    const std::time_t yesterday = std::time(nullptr) - 86400;

    for (const char* d : {"/up", "/up/sub", "/up/skip", "/down", "/fresh"})
        ::mkdir((local.path() + d).c_str(), 0755);
    write(L + "/a.txt", "new a");
    write(L + "/b.html", "b");
    write(L + "/sub/c.html", "c");
    write(L + "/sub/d.txt", "d");
    write(L + "/skip/x.html", "x");
    ASSERT_EQ(::symlink(".", (L + "/loop").c_str()), 0);
    ::mkdir(R.c_str(), 0755);
    ::mkdir((R + "/oldsub").c_str(), 0755);
    write(R + "/a.txt", "old", yesterday);
    write(R + "/old.html", "o");
    write(R + "/oldsub/e.html", "e");
    write(R + "/keep.txt", "k", yesterday);
    own_files(server);

    const int32_t up = upload | copy_missing | overwrite | time_source_newer | size_mask | transfer_automatic;
    const int32_t down = download | copy_missing | overwrite | time_source_newer | size_mask | transfer_automatic;
    const int32_t both_ways = both | copy_missing | overwrite | time_source_newer | size_mask | transfer_automatic;
    ::mkdir((local.path() + "/both").c_str(), 0755);
    write(local.path() + "/both/z.html", "z");
    const lines upload_plan = {
        "note: not followed: the link L/loop leads back to L",
        "upload L/a.txt -> R/a.txt: overwrite: the source is newer, larger",
        "upload L/b.html -> R/b.html: missing on the remote side",
        "delete remote R/old.html: only on the remote side (delete missing)",
        "delete remote folder R/oldsub: only on the remote side (delete missing)",
        "mkdir remote R/sub: missing on the remote side",
        "upload L/sub/c.html -> R/sub/c.html: missing on the remote side",
    };
    lines upload_done = upload_plan;
    for (const char* order : {"mkdir remote R/sub", "upload L/a.txt", "upload L/b.html", "upload L/sub/c.html",
                              "delete remote R/old.html", "delete remote folder R/oldsub"})
        for (size_t i = 1; i < upload_plan.size(); ++i)
            if (upload_plan[i].rfind(order, 0) == 0)
                upload_done.push_back("done: " + upload_plan[i]);
    upload_done.push_back("Synchronisation finished: every action succeeded.");
    lines upload_again = {upload_plan[0], "Nothing to synchronise."};

    const sync_step steps[] = {
        {"a dry run changes nothing", up, "up", true, upload_plan,
         [&](const std::string&, const std::string& r) {
             EXPECT_EQ(read_all(r + "/a.txt"), "old");
             EXPECT_TRUE(exists(r + "/old.html") && exists(r + "/oldsub/e.html"));
             EXPECT_FALSE(exists(r + "/b.html") || exists(r + "/sub"));
         }},
        {"upload with delete missing", up, "up", false, upload_done,
         [&](const std::string&, const std::string& r) {
             EXPECT_EQ(read_all(r + "/a.txt"), "new a");
             EXPECT_EQ(read_all(r + "/sub/c.html"), "c");
             EXPECT_FALSE(exists(r + "/old.html") || exists(r + "/oldsub") || exists(r + "/sub/d.txt") ||
                          exists(r + "/skip"));
             EXPECT_TRUE(exists(r + "/keep.txt")) << "outside the masks, never deleted";
         }},
        {"the same run again plans nothing", up, "up", false, upload_again, nullptr},
        {"download through links",
         down,
         "down",
         false,
         {},
         [&](const std::string& l, const std::string&) {
             EXPECT_EQ(read_all(l + "/lf"), "new a") << "a link to a file arrives as the file";
             EXPECT_EQ(read_all(l + "/ld/c.html"), "c") << "a link to a folder arrives as the folder";
             EXPECT_EQ(read_all(l + "/keep.txt"), "k");
             EXPECT_FALSE(exists(l + "/sub/back"));
         },
         false},
        {"downloading again plans nothing",
         down,
         "down",
         false,
         {"note: not followed: the link R/ld/back leads back to R",
          "note: not followed: the link R/sub/back leads back to R", "Nothing to synchronise."},
         nullptr,
         false},
        {"both ways",
         both_ways,
         "both",
         false,
         {},
         [&](const std::string& l, const std::string& r) {
             EXPECT_EQ(read_all(r + "/z.html"), "z");
             EXPECT_EQ(read_all(l + "/sub/c.html"), "c");
         },
         false},
        {"both ways again plans nothing",
         both_ways,
         "both",
         false,
         {"note: not followed: the link R/ld/back leads back to R",
          "note: not followed: the link R/sub/back leads back to R", "Nothing to synchronise."},
         nullptr,
         false},
        {"links skipped", (down & ~links_mask) | links_skip, "fresh", true, {}, nullptr, false},
        // A link to a folder cannot be fetched as a file: that one action fails.
        {"links as files",
         (down & ~links_mask) | links_as_files,
         "fresh",
         false,
         {},
         [&](const std::string& l, const std::string&) {
             EXPECT_EQ(read_all(l + "/lf"), "new a");
             EXPECT_FALSE(exists(l + "/ld"));
         },
         false,
         1},
    };

    const std::string remote_name = remote_root(server) + "/site";
    for (const sync_step& step : steps) {
        SCOPED_TRACE(step.name);
        if (std::string(step.name) == "download through links") {
            ASSERT_EQ(::symlink("a.txt", (R + "/lf").c_str()), 0);
            ASSERT_EQ(::symlink("sub", (R + "/ld").c_str()), 0);
            ASSERT_EQ(::symlink("..", (R + "/sub/back").c_str()), 0);
            own_files(server);
        }
        dir_sync_settings_ex rules;
        rules.rules.assign(1, step.rule);
        rules.recursive = -1;
        rules.delete_missing = step.delete_missing ? 1 : 0;
        rules.files_include.set_string(step.delete_missing ? "*.html;a.txt" : "*");
        rules.folders_skip.set_string("skip");
        rules.local_folder.set_string("/nowhere");  // replaced by --local
        rules.remote_folder.set_string("site");     // below the login folder
        ASSERT_EQ(rules.save_rule_file(qxval(local.file("rules.xml"))), 0);

        cli::options o = test::login_options(server.port(), server.user(), server.password());
        // pyftpdlib's machine listings follow links and so hide them; the
        // steps here are about links.
        o.machine_listings = false;
        o.commands = {{"sync", local.file("rules.xml"), "--local", local.path() + "/" + step.local}};
        if (step.dry_run)
            o.commands[0].push_back("--dry-run");
        const test::cli_run run = test::run_cli(o);
        const std::string& text = run.out;
        const std::string& errors = run.err;
        const int code = run.code;
        EXPECT_EQ(code, step.exit_code) << errors << text;
        lines printed, queue_log;
        std::istringstream in(text);
        for (std::string line; std::getline(in, line);) {
            for (const auto& [from, to] : {std::pair{local.path() + "/" + step.local, std::string("L")},
                                           std::pair{remote_name, std::string("R")}})
                for (size_t at; (at = line.find(from)) != std::string::npos;)
                    line.replace(at, from.size(), to);
            // The queue's own log lines come in whatever order its workers end.
            if (line.size() > 2 && line[0] >= '3' && line[0] <= '5' && line[1] == ' ')
                queue_log.push_back(line);
            else
                printed.push_back(line);
        }
        std::sort(queue_log.begin(), queue_log.end());
        const std::string name = step.name;
        if (name == "download through links") {
            // Every entry arrives; the loops are only noted.
            for (const char* want :
                 {"download R/lf -> L/lf: missing on the local side", "mkdir local L/ld: missing on the local side",
                  "download R/ld/c.html -> L/ld/c.html: missing on the local side",
                  "note: not followed: the link R/sub/back leads back to R"})
                EXPECT_NE(std::find(printed.begin(), printed.end(), want), printed.end()) << want << "\n" << text;
        } else if (name == "both ways") {
            for (const char* want : {"upload L/z.html -> R/z.html: missing on the remote side",
                                     "download R/sub/c.html -> L/sub/c.html: missing on the local side"})
                EXPECT_NE(std::find(printed.begin(), printed.end(), want), printed.end()) << want << "\n" << text;
        } else if (name == "links skipped" || name == "links as files") {
            const bool files = name == "links as files";
            const auto has = [&](const std::string& want) {
                return std::find(printed.begin(), printed.end(), want) != printed.end();
            };
            EXPECT_EQ(has("download R/lf -> L/lf: missing on the local side"), files) << text;
            EXPECT_EQ(has("download R/ld -> L/ld: missing on the local side"), files) << text;
            EXPECT_EQ(has("note: skipped: the link R/lf"), !files) << text;
            EXPECT_EQ(has("done: download R/lf -> L/lf: missing on the local side"), files) << text;
            const bool failed_line = std::any_of(printed.begin(), printed.end(), [](const std::string& l) {
                return l.rfind("failed: download R/ld -> L/ld: missing on the local side: ", 0) == 0;
            });
            EXPECT_EQ(failed_line, files) << text;
            EXPECT_TRUE(has("download R/a.txt -> L/a.txt: missing on the local side")) << text;
        } else {
            EXPECT_EQ(printed, step.printed) << text;
        }
        if (name == "upload with delete missing") {
            EXPECT_EQ(queue_log, (lines{"4 Uploaded: L/a.txt ", "4 Uploaded: L/b.html ", "4 Uploaded: L/sub/c.html "}));
        }
        if (step.dry_run || name.find("again") != std::string::npos) {
            EXPECT_TRUE(queue_log.empty()) << text;
        }
        if (step.check)
            step.check(local.path() + "/" + step.local, R);
    }
}

INSTANTIATE_TEST_SUITE_P(Servers, CliSync, ::testing::Values(true, false),
                         [](const auto& instance) { return instance.param ? "vsftpd" : "pyftpdlib"; });

}  // namespace
