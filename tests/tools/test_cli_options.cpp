#include "tools/qvtf-cli/cli_options.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>

using qvtf::cli::options;

namespace {

bool parse_args(std::vector<std::string> args, options& o, std::string& err, std::FILE* in = nullptr)
{
    std::vector<char*> argv;
    for (auto& a : args)
        argv.push_back(a.data());
    return qvtf::cli::parse(static_cast<int>(argv.size()), argv.data(), o, err, in);
}

}  // namespace

TEST(CliWords, QuotesAndEscapesGroupWords)
{
    std::vector<std::string> w;
    std::string err;
    ASSERT_TRUE(qvtf::cli::split_words("put  'my file.txt' \"a b\\\"c\" x\\ y", w, err));
    EXPECT_EQ(w, (std::vector<std::string>{"put", "my file.txt", "a b\"c", "x y"}));
    ASSERT_TRUE(qvtf::cli::split_words("mkdir ''", w, err));
    EXPECT_EQ(w, (std::vector<std::string>{"mkdir", ""}));
    EXPECT_FALSE(qvtf::cli::split_words("get 'open", w, err));
}

TEST(CliWords, ScriptSplitsAtUnquotedSemicolonsOnly)
{
    std::vector<std::vector<std::string>> cmds;
    std::string err;
    ASSERT_TRUE(qvtf::cli::split_script("cd /www; put 'a;b' ;; quote SITE X\\;Y;ls", cmds, err));
    ASSERT_EQ(cmds.size(), 4u);
    EXPECT_EQ(cmds[0], (std::vector<std::string>{"cd", "/www"}));
    EXPECT_EQ(cmds[1], (std::vector<std::string>{"put", "a;b"}));
    EXPECT_EQ(cmds[2], (std::vector<std::string>{"quote", "SITE", "X;Y"}));
    EXPECT_EQ(cmds[3], (std::vector<std::string>{"ls"}));
}

TEST(CliOptions, ConnectionOptionsAndPasswordsFromEnvironment)
{
    setenv("QVTF_PASSWORD", "s3cret", 1);
    setenv("QVTF_PROXY_PASSWORD", "pp", 1);
    options o;
    std::string err;
    ASSERT_TRUE(parse_args({"--host",
                            "127.0.0.1",
                            "--port",
                            "2121",
                            "--user",
                            "bob",
                            "--active",
                            "--no-port-fallback",
                            "--timeout",
                            "5",
                            "--proxy-type",
                            "5",
                            "--proxy-host",
                            "127.0.0.1",
                            "--proxy-port",
                            "1080",
                            "--type",
                            "auto",
                            "--log",
                            "get",
                            "a",
                            "b"},
                           o, err))
        << err;
    EXPECT_EQ(o.host, "127.0.0.1");
    EXPECT_EQ(o.port, 2121);
    EXPECT_EQ(o.user, "bob");
    EXPECT_EQ(o.password, "s3cret");
    EXPECT_EQ(o.proxy_password, "pp");
    EXPECT_FALSE(o.passive);
    EXPECT_FALSE(o.port_fallback);
    EXPECT_EQ(o.timeout, 5);
    EXPECT_EQ(o.proxy_type, 5);
    EXPECT_EQ(o.type, qvtf::cli::transfer_kind::automatic);
    EXPECT_TRUE(o.log);
    ASSERT_EQ(o.commands.size(), 1u);
    EXPECT_EQ(o.commands[0], (std::vector<std::string>{"get", "a", "b"}));
    // What --site lets replace its profile's fields.
    EXPECT_TRUE(o.was_given("--user"));
    EXPECT_TRUE(o.was_given("--active"));
    EXPECT_FALSE(o.was_given("--list-params"));
    EXPECT_FALSE(o.was_given("--passive"));
    unsetenv("QVTF_PASSWORD");
    unsetenv("QVTF_PROXY_PASSWORD");
}

TEST(CliOptions, DefaultsAndRejections)
{
    options o;
    std::string err;
    ASSERT_TRUE(parse_args({"pwd"}, o, err));
    EXPECT_EQ(o.port, 21);
    EXPECT_EQ(o.user, "anonymous");
    EXPECT_TRUE(o.passive);
    EXPECT_EQ(o.list_params, "-al");
    EXPECT_TRUE(o.given.empty());
    EXPECT_EQ(o.exists, qvtf::exists_action::overwrite);
    options chosen;
    ASSERT_TRUE(parse_args({"--exists", "size-or-time", "pwd"}, chosen, err));
    EXPECT_EQ(chosen.exists, qvtf::exists_action::size_or_time);
    for (auto bad : std::vector<std::vector<std::string>>{{"--port", "0", "ls"},
                                                          {"--port", "70000"},
                                                          {"--proxy-type", "6"},
                                                          {"--type", "text"},
                                                          {"--timeout"},
                                                          {"--password", "x"},
                                                          {"--exists", "ask", "ls"},
                                                          {"--exists", "sometimes", "ls"}}) {
        options b;
        EXPECT_FALSE(parse_args(bad, b, err)) << bad[0];
    }
}

// A host typed with its port, IPv6 in brackets; the port counts as given
// (so it replaces a site's), and a later --port wins.
TEST(CliOptions, HostWithPortAndIpv6)
{
    struct row {
        std::vector<std::string> args;
        bool ok;
        const char* host;
        int port;
        const char* proxy_host;
        int proxy_port;
    };
    const row rows[] = {
        {{"--host", "::1", "pwd"}, true, "::1", 21, "", 0},
        {{"--host", "[::1]:2121", "pwd"}, true, "::1", 2121, "", 0},
        {{"--host", "ftp.example.test:990", "--port", "21", "pwd"}, true, "ftp.example.test", 21, "", 0},
        {{"--proxy-host", "[::1]:1081", "pwd"}, true, "", 21, "::1", 1081},
        {{"--host", "[::1", "pwd"}, false, "", 21, "", 0},
        {{"--host", "h:0", "pwd"}, false, "", 21, "", 0},
        {{"--proxy-host", "[::1]x", "pwd"}, false, "", 21, "", 0},
    };
    for (const row& r : rows) {
        options o;
        std::string err;
        EXPECT_EQ(parse_args(r.args, o, err), r.ok) << r.args[1];
        if (!r.ok)
            continue;
        EXPECT_EQ(o.host, r.host) << r.args[1];
        EXPECT_EQ(o.port, r.port) << r.args[1];
        EXPECT_EQ(o.proxy_host, r.proxy_host) << r.args[1];
        EXPECT_EQ(o.proxy_port, r.proxy_port) << r.args[1];
        EXPECT_EQ(o.was_given("--port"), r.port != 21 || r.args.size() > 3) << r.args[1];
    }
    options o;
    std::string err;
    ASSERT_TRUE(parse_args({"--no-epsv", "pwd"}, o, err));
    EXPECT_FALSE(o.extended_data);
}

TEST(CliOptions, DashReadsOneCommandPerLineSkippingCommentsAndBlanks)
{
    std::FILE* in = tmpfile();
    std::fputs("cd /www\n\n# comment\nput 'index.html'\r\nls\n", in);
    std::rewind(in);
    options o;
    std::string err;
    ASSERT_TRUE(parse_args({"--host", "h", "-"}, o, err, in));
    std::fclose(in);
    ASSERT_EQ(o.commands.size(), 3u);
    EXPECT_EQ(o.commands[1], (std::vector<std::string>{"put", "index.html"}));
}

// Usage errors are found by parse, before anything connects.
TEST(CliOptions, UsageErrorsAreFoundBeforeConnecting)
{
    struct usage_case {
        std::vector<std::string> args;
        bool ok;
        const char* error;  // part of the message
    };
    const std::vector<usage_case> cases = {
        {{"frobnicate"}, false, "unknown command: frobnicate"},
        {{"get"}, false, "get: missing argument"},
        {{"get", "a", "b", "c"}, false, "extra argument \"c\""},
        {{"mv", "a"}, false, "mv: missing argument"},
        {{"rm", "-r"}, false, "rm: missing argument"},
        {{"rm", "a", "b"}, false, "extra argument"},
        {{"chmod", "-r", "644"}, false, "chmod: missing argument"},
        {{"pwd", "x"}, false, "extra argument"},
        {{"quote"}, false, "quote: missing argument"},
        {{"-x", "ls"}, false, "unknown option -x"},
        {{"--frob", "ls"}, false, "unknown option --frob"},
        {{"-c", "pwd; cd"}, false, "cd: missing argument"},
        {{"-c", "pwd; sites"}, false, "sites runs on its own"},
        {{"sync"}, false, "sync: missing argument"},
        {{"sync", "r.xml", "--local"}, false, "sync: --local needs a folder"},
        {{"sync", "r.xml", "--dry"}, false, "sync: unknown option --dry"},
        {{"sync", "r.xml", "s.xml"}, false, "sync: extra argument \"s.xml\""},
        {{"sync", "r.xml", "--remote", "/www", "--local", "/l", "--dry-run"}, true, ""},
        {{"rm", "-r", "d"}, true, ""},
        {{"chmod", "-r", "644", "d"}, true, ""},
        {{"quote", "SITE", "X", "Y"}, true, ""},
        {{"--trust-pasv-address", "ls", "/"}, true, ""},
    };
    for (const usage_case& c : cases) {
        options o;
        std::string err;
        EXPECT_EQ(parse_args(c.args, o, err), c.ok) << c.args[0];
        EXPECT_NE(err.find(c.error), std::string::npos) << err;
    }
    options o;
    std::string err;
    ASSERT_TRUE(parse_args({"--trust-pasv-address", "pwd"}, o, err));
    EXPECT_TRUE(o.trust_pasv_address);
}

TEST(CliOptions, StandardInputKeepsNulBytesAndBoundsLines)
{
    std::FILE* in = tmpfile();
    std::fwrite("rm important.txt\0.bak\nls\n", 1, 25, in);
    std::rewind(in);
    options o;
    std::string err;
    ASSERT_TRUE(parse_args({"-"}, o, err, in)) << err;
    std::fclose(in);
    ASSERT_EQ(o.commands.size(), 2u);
    EXPECT_EQ(o.commands[0][1], std::string("important.txt\0.bak", 18)) << "the argument is not cut";

    in = tmpfile();
    const std::string long_line = "quote " + std::string(70000, 'x') + "\n";
    std::fputs(long_line.c_str(), in);
    std::rewind(in);
    options l;
    EXPECT_FALSE(parse_args({"-"}, l, err, in)) << "a long line is not split into two commands";
    std::fclose(in);
}
