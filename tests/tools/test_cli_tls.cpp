// qvtf-cli over TLS against vsftpd, which forces TLS on logins and data and
// requires data connections to resume the control connection's session:
// trust by --ca-file and by the user folder's trust file, a certificate
// nobody vouches for (exit 1 before any login, with the line that would
// trust it), large files each way and whole folders through five workers,
// passive and active; a plain server with auto and with explicit; a
// download whose connections die midway, tried again from where it was.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <thread>

#include "remote/certificate_trust.h"
#include "support/ftp_servers.h"
#include "support/process.h"
#include "tools/cli_test_output.h"

namespace {

using namespace qvtf;
namespace fs = std::filesystem;

enum class trust_by { nothing, ca_file, trust_file };

struct cli_tls_case {
    const char* name;
    test::server_tls tls;
    const char* encryption;
    bool passive;
    trust_by trust;
    const char* script;  // %L: a local folder
    int code;
    const char* err_has;  // in what the program wrote to stderr
};

void PrintTo(const cli_tls_case& c, std::ostream* os)
{
    *os << c.name;
}

constexpr std::size_t big = 50u << 20;

// clang-format off
const cli_tls_case cases[] = {
    {"BigFilesBothWaysTrustedByCaFile", test::server_tls::explicit_forced, "explicit", true, trust_by::ca_file,
     "put %L/big big.up; get big.up %L/big.back", 0, ""},
    {"FoldersThroughFiveWorkersActiveTrustFile", test::server_tls::explicit_forced, "auto", false,
     trust_by::trust_file, "upload %L/tree .; download tree %L/down", 0, ""},
    {"ImplicitPassiveFolders", test::server_tls::implicit, "implicit", true, trust_by::ca_file,
     "upload %L/tree .; download tree %L/down", 0, ""},
    {"UntrustedFailsBeforeLogin", test::server_tls::explicit_forced, "explicit", true, trust_by::nothing,
     "ls", 1, "trusted_certificates.txt:\n127.0.0.1:"},
    {"PlainServerWithAutoSaysSo", test::server_tls::none, "auto", true, trust_by::nothing,
     "ls", 0, "NOT encrypted"},
    {"PlainServerWithExplicitFails", test::server_tls::none, "explicit", true, trust_by::nothing,
     "ls", 1, "530"},
};
// clang-format on

std::string replaced(std::string text, const std::string& local)
{
    for (size_t at; (at = text.find("%L")) != std::string::npos;)
        text.replace(at, 2, local);
    return text;
}

bool same_tree(const std::string& a, const std::string& b)
{
    for (const auto& entry : fs::recursive_directory_iterator(a)) {
        const std::string other = b + "/" + fs::relative(entry.path(), a).string();
        if (entry.is_directory() ? !fs::is_directory(other)
                                 : test::read_text_file(entry.path()) != test::read_text_file(other))
            return false;
    }
    return true;
}

class CliTls : public ::testing::TestWithParam<cli_tls_case> {};

TEST_P(CliTls, RunsAsTheTrustAndModeSay)
{
    const cli_tls_case& c = GetParam();
    if (!test::vsftpd_available())
        GTEST_SKIP() << "vsftpd not installed";
    test::vsftpd_server server(c.tls);
    ASSERT_TRUE(server.ok()) << server.log();
    test::temp_folder local("qvtf-cli-tls");
    test::temp_folder home("qvtf-cli-home");
    const std::string script = c.script;
    if (script.find("big") != std::string::npos) {
        std::string bytes(big, '\0');
        for (std::size_t i = 0; i < big; ++i)
            bytes[i] = static_cast<char>((i * 2654435761u) >> 13);
        std::ofstream(local.file("big"), std::ios::binary) << bytes;
    }
    fs::create_directories(local.file("tree/a/b"));
    fs::create_directories(local.file("down"));
    for (int i = 0; i < 12; ++i)
        std::ofstream(local.file("tree/" + std::string(i % 3 == 0 ? "a/" : i % 3 == 1 ? "a/b/" : "") + "f" +
                                 std::to_string(i)))
            << std::string(static_cast<std::size_t>(i) * 40000, static_cast<char>('a' + i));
    if (c.trust == trust_by::trust_file) {
        certificate_trust trust(home.file(trusted_certificates_file));
        ASSERT_TRUE(trust.remember("127.0.0.1", server.port(), test::certificate_fingerprint(server.certificate())));
    }

    cli::options o = test::login_options(server.port(), server.user(), server.password());
    o.encryption = c.encryption;
    o.passive = c.passive;
    o.threads = 5;
    o.log = true;
    if (c.trust == trust_by::ca_file)
        o.ca_file = server.certificate();
    std::string error;
    ASSERT_TRUE(cli::split_script(replaced(script, local.path()), o.commands, error)) << error;
    const test::cli_run run = test::run_cli(o, home.path() + "/");
    ASSERT_EQ(run.code, c.code) << run.err << "\n" << server.log();
    EXPECT_NE(run.err.find(c.err_has), std::string::npos) << run.err;
    if (c.code != 0) {
        EXPECT_EQ(server.log().find("\"USER "), std::string::npos) << server.log();
        return;
    }
    if (script.find("big") != std::string::npos) {
        EXPECT_TRUE(test::read_text_file(server.root() + "/big.up") == test::read_text_file(local.file("big")));
        EXPECT_TRUE(test::read_text_file(local.file("big.back")) == test::read_text_file(local.file("big")));
    }
    if (script.find("upload") != std::string::npos) {
        EXPECT_TRUE(same_tree(local.file("tree"), server.root() + "/tree"));
        EXPECT_TRUE(same_tree(local.file("tree"), local.file("down/tree")));
    }
}

INSTANTIATE_TEST_SUITE_P(Cases, CliTls, ::testing::ValuesIn(cases),
                         [](const auto& instance) { return std::string(instance.param.name); });

// A protected download whose connections die midway (every session of the
// server killed) is a failed attempt: the queue tries again on a new login
// and the file ends byte for byte.
TEST(CliTlsCut, DownloadCutMidwayIsTriedAgainAndEndsWhole)
{
    if (!test::vsftpd_available())
        GTEST_SKIP() << "vsftpd not installed";
    test::vsftpd_server server(test::server_tls::explicit_forced);
    ASSERT_TRUE(server.ok()) << server.log();
    test::temp_folder local("qvtf-cli-tls-cut");
    test::temp_folder home("qvtf-cli-home");
    constexpr std::size_t size = 200u << 20;
    {
        std::string bytes(size, '\0');
        for (std::size_t i = 0; i < size; ++i)
            bytes[i] = static_cast<char>((i * 2654435761u) >> 13);
        std::ofstream(server.root() + "/big", std::ios::binary) << bytes;
    }
    fs::create_directories(local.file("down"));

    cli::options o = test::login_options(server.port(), server.user(), server.password());
    o.encryption = "explicit";
    o.ca_file = server.certificate();
    o.threads = 1;
    o.retries = 3;
    o.log = true;
    std::string error;
    ASSERT_TRUE(cli::split_script("download big " + local.file("down"), o.commands, error)) << error;
    test::cli_run run;
    std::thread client([&] { run = test::run_cli(o, home.path() + "/"); });
    // Cut once a few MiB have come, whatever the part file is called.
    auto arrived = [&] {
        std::uintmax_t most = 0;
        std::error_code ignored;
        for (const auto& entry : fs::directory_iterator(local.file("down"), ignored))
            if (const std::uintmax_t bytes = entry.file_size(ignored); !ignored)
                most = std::max(most, bytes);
        return most;
    };
    bool cut = false;
    for (int i = 0; i < 10000 && !cut; ++i) {
        if (arrived() > (8u << 20)) {
            server.kill_sessions();
            cut = true;
        } else {
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
    }
    client.join();
    ASSERT_TRUE(cut);
    ASSERT_EQ(run.code, 0) << run.err << "\n" << run.out;
    EXPECT_TRUE(test::read_text_file(local.file("down/big")) == test::read_text_file(server.root() + "/big"));
    const std::string log = server.log();
    size_t retrievals = 0;
    for (size_t at = 0; (at = log.find("\"RETR ", at)) != std::string::npos; ++at)
        ++retrievals;
    EXPECT_EQ(retrievals, 2u) << log;
    // The second try went on from what the first had written.
    EXPECT_NE(log.find("\"REST "), std::string::npos) << log;
}

}  // namespace
