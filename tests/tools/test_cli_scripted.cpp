// qvtf-cli against the scripted server, for what no real server sends:
// hostile names in listings, values that must not reach the wire, a server
// that stops answering, and program files that cannot be read.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <cstdio>
#include <memory>
#include <mutex>

#include "ftp/test_data_support.h"
#include "support/ftp_scripted.h"
#include "support/process.h"
#include "tools/cli_test_output.h"
#include "tools/qvtf-cli/cli_session.h"

namespace {

using namespace qvtf;
using lines = std::vector<std::string>;

using test::slurp;

struct cli_run {
    int code = -1;
    std::string out, err;
    lines entry_names;  // names of the session's folder, as the engine keeps them
};

// Shipped and user files both from folder.
cli_run run_cli(cli::options& o, const std::string& folder = QVTF_PROGRAM_DIR)
{
    std::FILE* out = std::tmpfile();
    std::FILE* err = std::tmpfile();
    cli_run r;
    {
        cli::cli_session s(o, out, err);
        if (!s.load_program_files({folder + "/", folder + "/"})) {
            r.code = 1;
        } else {
            r.code = s.run_all();
            remote_session& session = s.session();
            for (qxfile_node* n = session.current_folder() ? session.current_folder()->first_child : nullptr; n;
                 n = n->next)
                r.entry_names.push_back(n->name.str());
        }
    }
    r.out = slurp(out);
    r.err = slurp(err);
    std::fclose(out);
    std::fclose(err);
    return r;
}

cli::options options_for(const test::scripted_ftp_server& server, std::vector<std::vector<std::string>> commands)
{
    cli::options o;
    o.encryption = "none";  // scripted servers speak plain FTP
    o.host = "127.0.0.1";
    o.port = server.port();
    o.user = "u";
    o.password = "p";
    o.timeout = 5;
    // The scripts play servers of PASV only; EPSV and its fallback are the
    // session tests' business.
    o.extended_data = false;
    o.commands = std::move(commands);
    return o;
}

test::scripted_ftp_server& login_script(test::scripted_ftp_server& server)
{
    return server.send("220 ready\r\n").expect("331 password\r\n").expect("230 in\r\n").expect("257 \"/\"\r\n");
}

const lines login_lines{"USER u", "PASS p", "PWD"};

TEST(CliScripted, ControlCharactersAreEscapedInTheOutputOnly)
{
    const std::string hostile = "evil\x1b]0;pwned\x07\x08\tname\\x";
    test::data_peer peer(test::data_peer::mode::send, "-rw-r--r--   1 u  g   5 Jan  1  2024 " + hostile + "\r\n");
    peer.accept_in_background();
    test::scripted_ftp_server server;
    login_script(server)
        .expect("200 ascii\r\n")
        .expect(peer.pasv_reply())
        .expect("150 here\r\n226 done\r\n")
        .expect("200 \x1b[2Jcleared\r\n");
    server.start();
    cli::options o = options_for(server, {{"ls"}, {"quote", "NOOP"}});
    o.log = true;
    cli_run r = run_cli(o);
    ASSERT_EQ(r.code, 0) << r.err;
    EXPECT_NE(r.out.find("\tevil\\x1b]0;pwned\\x07\\x08\\x09name\\\\x\n"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("200 \\x1b[2Jcleared\n"), std::string::npos) << r.out;
    for (const std::string* text : {&r.out, &r.err})
        for (char c : {'\x1b', '\x07', '\x08'})
            EXPECT_EQ(text->find(c), std::string::npos);
    EXPECT_EQ(r.entry_names, lines{hostile}) << "the engine keeps the name as the server sent it";
}

// Each command is refused with 6015; after the login nothing reaches the
// server, not even the first half of a rename.
TEST(CliScripted, ValuesThatWouldInjectAreRefusedBeforeTheWire)
{
    const std::vector<std::vector<std::string>> refused = {
        {"rm", std::string("important.txt\0.bak", 18)},
        {"mv", "a", "b\r\nDELE victim"},
        {"mv", std::string("a\0b", 3), "c"},
        {"mkdir", "x\nRMD /"},
        {"get", "f", std::string("local\0x", 7)},
        {"quote", "NOOP\r\nDELE victim"},
    };
    for (const auto& command : refused) {
        SCOPED_TRACE(command[0] + " " + command[1]);
        test::scripted_ftp_server server;
        login_script(server).expect("221 bye\r\n");
        server.start();
        cli::options o = options_for(server, {command, {"pwd"}});
        cli_run r = run_cli(o);
        EXPECT_EQ(r.code, 1);
        EXPECT_NE(r.err.find("status 6015\n"), std::string::npos) << r.err;
        ASSERT_TRUE(server.completed());
        lines expected = login_lines;
        expected.push_back("QUIT");
        EXPECT_EQ(server.lines(), expected);
    }
}

// get checks the bytes against the size SIZE gave: a body cut short (or
// longer) and answered 226 keeps the local copy and fails; without a size
// the body is taken as it comes.
TEST(CliScripted, GetChecksTheBodyAgainstTheSizeTheServerGave)
{
    struct row {
        const char* what;
        std::string size_reply;
        std::string body;
        int code;
        std::string after;
    };
    const std::vector<row> rows = {
        {"cut short", "213 100\r\n", std::string(30, 's'), 1, "old"},
        {"longer", "213 100\r\n", std::string(101, 'l'), 1, "old"},
        {"whole", "213 100\r\n", std::string(100, 'w'), 0, std::string(100, 'w')},
        {"no size", "550 no SIZE here\r\n", std::string(30, 'n'), 0, std::string(30, 'n')},
    };
    for (const row& r : rows) {
        SCOPED_TRACE(r.what);
        test::temp_folder folder("qvtf-cli-get");
        ASSERT_TRUE(test::write_bytes(folder.file("f"), "old"));
        test::data_peer peer(test::data_peer::mode::send, r.body);
        peer.accept_in_background();
        test::scripted_ftp_server server;
        login_script(server)
            .expect("200 binary\r\n")
            .expect(r.size_reply)
            .expect(peer.pasv_reply())
            .expect("150 here\r\n226 done\r\n")
            .expect("221 bye\r\n");
        server.start();
        cli::options o = options_for(server, {{"get", "f", folder.file("f")}});
        cli_run run = run_cli(o);
        EXPECT_EQ(run.code, r.code) << run.err;
        if (r.code) {
            EXPECT_NE(run.err.find("status 6016\n"), std::string::npos) << run.err;
        }
        EXPECT_EQ(test::read_bytes(folder.file("f")), r.after);
        const lines wire = server.lines();
        // Binary before SIZE: servers refuse a size in ASCII mode.
        ASSERT_GE(wire.size(), 5u);
        EXPECT_EQ(wire[3], "TYPE I");
        EXPECT_EQ(wire[4], "SIZE f");
    }
}

// A server that answers by verb: the root folder lists two files, and every
// other data connection sends the bytes of one of them. A listing cut by a
// reset still ends with 226.
struct root_server {
    std::mutex mutex;
    bool reset_listing = false;
    int listings = 0;
    std::vector<std::unique_ptr<test::data_peer>> peers;
    static constexpr const char* body = "hello";

    std::string reply(const std::string& line)
    {
        std::lock_guard lock(mutex);
        const std::string verb = line.substr(0, line.find(' '));
        if (verb == "USER")
            return "331 password\r\n";
        if (verb == "PASS")
            return "230 in\r\n";
        if (verb == "PWD")
            return "257 \"/\"\r\n";
        if (verb == "CWD")
            return "250 ok\r\n";
        if (verb == "TYPE")
            return "200 ok\r\n";
        if (verb == "SIZE")
            return "213 5\r\n";
        if (verb == "PASV") {
            const bool listing = listings++ == 0;
            const std::string bytes = listing ? "-rw-r--r-- 1 u g 5 Jan  1  2024 a.txt\r\n"
                                                "-rw-r--r-- 1 u g 5 Jan  1  2024 b.txt\r\n"
                                              : body;
            using mode = test::data_peer::mode;
            peers.push_back(std::make_unique<test::data_peer>(
                listing && reset_listing ? mode::send_then_reset : mode::send,
                listing && reset_listing ? bytes.substr(0, 50) : bytes));  // a line and a half
            peers.back()->accept_in_background();
            return peers.back()->pasv_reply();
        }
        if (verb == "LIST" || verb == "RETR")
            return "150 here\r\n226 done\r\n";
        if (verb == "QUIT")
            return "221 bye\r\n";
        return "502 not here\r\n";
    }
};

// download / DIR fetches the root folder's entries into DIR; ls of a listing
// that broke off fails instead of showing what arrived.
TEST(CliScripted, RootDownloadAndBrokenListing)
{
    struct row {
        const char* what;
        bool reset_listing;
        std::vector<std::string> command;  // DIR stands for the target folder
        int code;
        lines fetched;
    };
    const std::vector<row> rows = {
        {"download / DIR", false, {"download", "/", "DIR"}, 0, {"a.txt", "b.txt"}},
        {"download / DIR, listing cut short", true, {"download", "/", "DIR"}, 1, {}},
        {"ls cut short", true, {"ls"}, 1, {}},
    };
    for (const row& r : rows) {
        SCOPED_TRACE(r.what);
        test::temp_folder folder("qvtf-cli-root");
        root_server state;
        state.reset_listing = r.reset_listing;
        test::scripted_ftp_server server;
        server.send("220 ready\r\n");
        for (int i = 0; i < 30; ++i)
            server.expect([&](const std::string& line) { return state.reply(line); });
        server.start();
        std::vector<std::string> command = r.command;
        for (std::string& word : command)
            if (word == "DIR")
                word = folder.path();
        cli::options o = options_for(server, {command});
        o.threads = 0;
        o.retries = 1;
        cli_run run = run_cli(o);
        EXPECT_EQ(run.code, r.code) << run.err << run.out;
        lines fetched;
        for (const char* name : {"a.txt", "b.txt"})
            if (test::read_bytes(folder.file(name)) == root_server::body)
                fetched.push_back(name);
        EXPECT_EQ(fetched, r.fetched);
        if (r.code) {
            EXPECT_NE(run.err.find("status "), std::string::npos) << run.err;
        }
    }
}

TEST(CliScripted, SilentServerIsReportedAsATimeOut)
{
    test::scripted_ftp_server server;
    login_script(server).expect("").pause(std::chrono::milliseconds(3000));
    server.start();
    cli::options o = options_for(server, {{"pwd"}});
    o.timeout = 1;
    cli_run r = run_cli(o);
    EXPECT_EQ(r.code, 1);
    EXPECT_NE(r.err.find("status 1000\n"), std::string::npos) << r.err;
    EXPECT_NE(r.err.find("timed out"), std::string::npos) << r.err;
}

TEST(CliScripted, UnreadableProgramFilesAreErrorsWithTheSystemsReason)
{
    test::temp_folder folder("qvtf-cli-files");
    ::mkdir(folder.file("dir").c_str(), 0700);
    struct file_case {
        const char* what;
        std::string proxy_script;
        std::string folder;
        const char* reason;
    };
    const std::vector<file_case> cases = {
        {"missing script", folder.file("nothing.txt"), QVTF_PROGRAM_DIR, "No such file or directory"},
        {"script is a folder", folder.file("dir"), QVTF_PROGRAM_DIR, "Is a directory"},
        {"no phrase file", "", folder.path(), "No such file or directory"},
    };
    for (const file_case& c : cases) {
        SCOPED_TRACE(c.what);
        test::scripted_ftp_server server;
        server.send("220 ready\r\n");
        server.start();
        cli::options o = options_for(server, {{"pwd"}});
        o.proxy_type = 1;
        o.proxy_host = "127.0.0.1";
        o.proxy_port = server.port();
        o.proxy_script = c.proxy_script;
        cli_run r = run_cli(o, c.folder);
        EXPECT_EQ(r.code, 1);
        EXPECT_NE(r.err.find(c.reason), std::string::npos) << r.err;
        EXPECT_EQ(r.err.find(": 0\n"), std::string::npos) << r.err;
        EXPECT_EQ(server.connections(), 0) << "no plain login instead";
    }
}

}  // namespace
