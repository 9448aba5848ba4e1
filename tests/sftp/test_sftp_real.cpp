// SFTP sessions against OpenSSH's sshd on loopback: the logins and host-key
// decisions, one scenario of listing and changing entries, large files both
// ways, a connection killed in the middle of a download, and qvtf-cli's
// queue and sync over SFTP.
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <atomic>
#include <cstring>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <thread>
#include <fstream>
#include <random>
#include <sstream>

#include "markup/qxlang.h"
#include "remote/host_key_judge.h"
#include "sftp/sftp_session.h"
#include "support/process.h"
#include "support/sshd_server.h"
#include "sync/dir_sync_settings.h"
#include "tools/cli_test_output.h"

namespace {

using namespace qvtf;
namespace fs = std::filesystem;

std::string read_all(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

void write_random(const std::string& path, std::size_t size, unsigned seed)
{
    std::mt19937_64 random(seed);
    std::string bytes(size, '\0');
    for (std::size_t i = 0; i + 8 <= size; i += 8) {
        const uint64_t v = random();
        std::memcpy(&bytes[i], &v, 8);
    }
    std::ofstream(path, std::ios::binary) << bytes;
}

// The files a test puts on the server belong to the server's user.
void own_files(const test::sshd_server& server)
{
    if (::geteuid() == 0) {
        EXPECT_EQ(std::system(("chown -hR " + server.user() + " " + server.root()).c_str()), 0);
    }
}

// Progress that makes one call when the bytes pass a mark.
class once_past : public transfer_progress {
public:
    once_past(int64_t mark, std::function<void()> call) : mark_(mark), call_(std::move(call)) {}
    void on_progress(int64_t bytes, int32_t) override
    {
        if (bytes >= mark_ && !called.exchange(true))
            call_();
    }
    std::atomic<bool> called{false};

private:
    int64_t mark_;
    std::function<void()> call_;
};

class fixed_judge : public host_key_judge {
public:
    explicit fixed_judge(host_key_verdict verdict) : verdict_(verdict) {}
    host_key_verdict judge(const host_key_question& question) override
    {
        asked.push_back(question);
        return verdict_;
    }
    std::vector<host_key_question> asked;

private:
    host_key_verdict verdict_;
};

class SftpReal : public ::testing::Test {
protected:
    void SetUp() override
    {
        if (!test::sshd_available())
            GTEST_SKIP() << "sshd not installed";
        server = std::make_unique<test::sshd_server>();
        ASSERT_TRUE(server->ok()) << server->log();
        qxval error;
        ASSERT_EQ(language.load(qxval(QVTF_PROGRAM_DIR "/qorx.bin"), error), 0) << error.str();
    }

    remote_site site() const
    {
        remote_site s;
        s.protocol = remote_protocol::sftp;
        s.host.set_string("127.0.0.1");
        s.port = server->port();
        s.user_name.set_bytes(server->user());
        s.ssh.method = ssh_auth_method::key_file;
        s.ssh.key_file.set_bytes(server->key_file());
        return s;
    }
    remote_options options(const std::string& known_hosts) const
    {
        remote_options o;
        o.timeout = 20;
        o.known_hosts_file.set_bytes(known_hosts);
        o.user_known_hosts = false;
        return o;
    }
    std::unique_ptr<sftp_session> logged_in()
    {
        auto session = std::make_unique<sftp_session>(site(), options(server->known_hosts()));
        session->set_language(&language);
        EXPECT_EQ(session->log_in().status, 0) << server->log();
        EXPECT_EQ(session->enter_start_folder().status, 0);
        return session;
    }

    std::unique_ptr<test::sshd_server> server;
    qxlang language;
    test::temp_folder local{"qvtf-sftp-local"};
};

struct login_case {
    const char* name;
    ssh_auth_method method;
    int key;  // 0 none, 1 plain, 2 with passphrase
    const char* passphrase;
    const char* password;  // "" none, "*" the right one
    int known;             // 0 the server's key, 1 none, 2 another key
    int verdict;           // -1 no judge, else a host_key_verdict
    int status;
    int status_again;  // a second login without a judge; -1 not tried
};

// clang-format off
const login_case login_cases[] = {
    {"Password",          ssh_auth_method::password,     0, "",                 "*",     0, -1, 0, -1},
    {"AutomaticPassword", ssh_auth_method::automatic,    0, "",                 "*",       0, -1, 0, -1},
    {"WrongPassword",     ssh_auth_method::password,     0, "",                 "wrong", 0, -1, 6004, -1},
    {"Key",               ssh_auth_method::key_file,     1, "",                 "",      0, -1, 0, -1},
    {"KeyWithPassphrase", ssh_auth_method::key_file,     2, "qvtf key phrase",  "",      0, -1, 0, -1},
    {"WrongPassphrase",   ssh_auth_method::key_file,     2, "not it",           "",      0, -1, 6004, -1},
    {"UnknownKeyRefused", ssh_auth_method::key_file,     1, "",                 "",      1, -1, 6201, -1},
    {"UnknownKeyCancelled", ssh_auth_method::key_file,   1, "",                 "",      1, 0, 6201, -1},
    {"UnknownKeyRemembered", ssh_auth_method::key_file,  1, "",                 "",      1, 2, 0, 0},
    // Trusted once: the rest of the run (the queue's connections) takes it.
    {"UnknownKeyOnce",    ssh_auth_method::key_file,     1, "",                 "",      1, 1, 0, 0},
    {"ChangedKeyNotOnce", ssh_auth_method::key_file,     1, "",                 "",      2, 1, 6202, -1},
    {"ChangedKeyRefused", ssh_auth_method::key_file,     1, "",                 "",      2, -1, 6202, -1},
    {"ChangedKeyReplaced", ssh_auth_method::key_file,    1, "",                 "",      2, 2, 0, 0},
};
// clang-format on

std::size_t open_descriptors()
{
    std::size_t n = 0;
    for ([[maybe_unused]] const auto& entry : fs::directory_iterator("/proc/self/fd"))
        ++n;
    return n;
}

TEST_F(SftpReal, Logins)
{
    // Every socket handed to libssh is closed with its session.
    const std::size_t descriptors = open_descriptors();
    for (const login_case& c : login_cases) {
        SCOPED_TRACE(c.name);
        if (std::string_view(c.password) == "*" && !server->password_login()) {
            std::printf("[ skipped  ] %s: password logins need root to make the test account\n", c.name);
            continue;
        }
        remote_site s = site();
        s.ssh.method = c.method;
        s.ssh.key_file.set_bytes(c.key == 0 ? "" : c.key == 1 ? server->key_file() : server->key_file_with_passphrase());
        s.ssh.key_passphrase.set_bytes(c.passphrase);
        s.password.set_bytes(std::string_view(c.password) == "*" ? server->password() : c.password);
        // The program's own file, which a remembered key goes into.
        const std::string own = local.file(std::string(c.name) + "_known_hosts");
        if (c.known != 1)
            fs::copy_file(c.known == 0 ? server->known_hosts() : server->wrong_known_hosts(), own);
        const std::string before = read_all(own);
        fixed_judge judge(c.verdict < 0 ? host_key_verdict::refuse : static_cast<host_key_verdict>(c.verdict));
        remote_options o = options(own);
        if (c.verdict >= 0)
            o.host_keys = &judge;
        sftp_session session(s, o);
        session.set_language(&language);
        const std::size_t log_before = server->log().size();
        const remote_result result = session.log_in();
        EXPECT_EQ(result.status, c.status) << result.detail << server->log();
        EXPECT_EQ(session.logged_in(), c.status == 0);
        qxval text;
        session.error_text(result, text);
        if (c.status == 6201 || c.status == 6202) {
            // Named with its fingerprint; nothing of the user's went out.
            EXPECT_NE(text.str().find(server->fingerprint()), std::string::npos) << text.str();
            const std::string after = server->log().substr(log_before);
            EXPECT_EQ(after.find("Accepted"), std::string::npos) << after;
            EXPECT_EQ(after.find("Failed"), std::string::npos) << after;
        }
        if (c.status == 6202) {
            EXPECT_NE(text.str().find("WARNING"), std::string::npos) << text.str();
        }
        if (c.verdict >= 0 && c.known != 0) {
            ASSERT_EQ(judge.asked.size(), 1u);
            EXPECT_EQ(judge.asked[0].fingerprint, server->fingerprint());
            EXPECT_EQ(judge.asked[0].changed, c.known == 2);
            EXPECT_EQ(judge.asked[0].key_type, "ssh-ed25519");
            EXPECT_EQ(judge.asked[0].known_fingerprint.empty(), c.known != 2);
        }
        if (c.verdict != 2) {
            EXPECT_EQ(read_all(own), before);  // only a remembered key changes the file
        }
        if (c.status_again >= 0) {
            session.disconnect();
            sftp_session again(s, options(own));
            EXPECT_EQ(again.log_in().status, c.status_again);
        }
    }
    EXPECT_EQ(open_descriptors(), descriptors);
}

TEST_F(SftpReal, ListsAndChangesEntries)
{
    const std::string R = server->root();
    fs::create_directories(R + "/tree/deep/deeper");
    std::ofstream(R + "/a.txt") << "alpha";
    std::ofstream(R + "/tree/f1") << "1";
    std::ofstream(R + "/tree/deep/f2") << "22";
    std::ofstream(R + "/tree/deep/deeper/f3") << "333";
    ASSERT_EQ(::symlink("tree", (R + "/to_tree").c_str()), 0);
    ASSERT_EQ(::symlink("a.txt", (R + "/to_file").c_str()), 0);
    ASSERT_EQ(::symlink("gone", (R + "/dangling").c_str()), 0);
    ASSERT_EQ(::chmod((R + "/a.txt").c_str(), 0640), 0);
    own_files(*server);
    struct stat st {};
    ASSERT_EQ(::stat((R + "/a.txt").c_str(), &st), 0);

    auto session = logged_in();
    EXPECT_EQ(session->current_path().str(), R);
    ASSERT_EQ(session->list_directory(qxval("")).status, 0);
    EXPECT_TRUE(session->last_listing().whole());
    EXPECT_TRUE(session->last_listing().exact_times);
    struct expected_entry {
        const char* name;
        bool folder;
        bool link;
        const char* target;
        int64_t size;
    };
    const expected_entry entries[] = {
        {"a.txt", false, false, "", 5},         {"tree", true, false, "", -1},
        {"to_tree", true, true, "tree", -1},    {"to_file", false, true, "a.txt", -1},
        {"dangling", false, true, "gone", -1},
    };
    int found = 0;
    for (qxfile_node* n = session->current_folder()->first_child; n; n = n->next)
        for (const expected_entry& e : entries) {
            if (n->name.view() != e.name)
                continue;
            SCOPED_TRACE(e.name);
            ++found;
            EXPECT_EQ(n->is_folder != 0, e.folder);
            EXPECT_EQ(n->is_link(), e.link);
            EXPECT_EQ(n->link_target.str(), e.target);
            if (e.size >= 0) {
                EXPECT_EQ(static_cast<int64_t>(n->size()), e.size);
            }
            if (std::string_view(e.name) == "a.txt") {
                EXPECT_EQ(n->modified, st.st_mtime);
                EXPECT_EQ(n->attributes & 07777u, 0640u);
            }
        }
    EXPECT_EQ(found, 5);

    // Single operations, each checked on the disk.
    int64_t size = 0, mtime = 0;
    EXPECT_EQ(session->file_size(qxval("a.txt"), size).status, 0);
    EXPECT_EQ(size, 5);
    EXPECT_EQ(session->modification_time(qxval("a.txt"), mtime).status, 0);
    EXPECT_EQ(mtime, st.st_mtime);
    EXPECT_EQ(session->make_folder(qxval("made")).status, 0);
    EXPECT_EQ(session->rename(qxval("made"), qxval("renamed")).status, 0);
    EXPECT_TRUE(fs::is_directory(R + "/renamed"));
    EXPECT_EQ(session->change_mode(qxval("a.txt"), qxval("604")).status, 0);
    ASSERT_EQ(::stat((R + "/a.txt").c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0604u);
    EXPECT_EQ(session->remove_folder(qxval("renamed")).status, 0);
    EXPECT_EQ(session->delete_file(qxval("nothing-here")).status, status_refused);
    EXPECT_EQ(session->change_folder(qxval("a.txt")).status, status_refused);
    EXPECT_EQ(session->change_folder(qxval("tree")).status, 0);
    EXPECT_EQ(session->change_folder(qxval("")).status, 0);
    EXPECT_EQ(session->current_path().str(), R);
    EXPECT_EQ(session->keep_alive().status, 0);
    EXPECT_EQ(session->time_difference(), 0);

    // Recursive permission change: folders 0750, files 0640, through the
    // link too; then the recursive delete, which removes the link itself.
    ASSERT_EQ(session->list_directory(qxval("")).status, 0);
    qxfile_node* tree = nullptr;
    qxfile_node* link = nullptr;
    for (qxfile_node* n = session->current_folder()->first_child; n; n = n->next) {
        if (n->name.view() == "tree")
            tree = n;
        if (n->name.view() == "to_tree")
            link = n;
    }
    ASSERT_TRUE(tree && link);
    chmod_request change;
    change.mode.set_bytes("750");
    change.file_mode.set_bytes("640");
    EXPECT_EQ(session->change_mode_entry(*tree, change).status, 0);
    for (const char* p : {"/tree", "/tree/deep", "/tree/deep/deeper"}) {
        ASSERT_EQ(::stat((R + p).c_str(), &st), 0);
        EXPECT_EQ(st.st_mode & 07777, 0750u) << p;
    }
    for (const char* p : {"/tree/f1", "/tree/deep/f2", "/tree/deep/deeper/f3"}) {
        ASSERT_EQ(::stat((R + p).c_str(), &st), 0);
        EXPECT_EQ(st.st_mode & 07777, 0640u) << p;
    }
    EXPECT_EQ(session->current_path().str(), R);
    EXPECT_EQ(session->delete_entry(*link).status, 0);
    EXPECT_TRUE(fs::exists(R + "/tree/deep/deeper/f3"));
    ASSERT_EQ(session->list_directory(qxval("")).status, 0);
    for (qxfile_node* n = session->current_folder()->first_child; n; n = n->next)
        if (n->name.view() == "tree")
            tree = n;
    EXPECT_EQ(session->delete_entry(*tree).status, 0);
    EXPECT_FALSE(fs::exists(R + "/tree"));
    EXPECT_EQ(session->current_path().str(), R);
}

class counting_progress : public transfer_progress {
public:
    void on_progress(int64_t bytes, int32_t) override { last = bytes; }
    int64_t last = 0;
};

TEST_F(SftpReal, LargeFilesBothWaysAndAKilledConnection)
{
    constexpr std::size_t size = 50u << 20;
    const std::string original = local.file("original");
    write_random(original, size, 7);
    auto session = logged_in();

    counting_progress progress;
    transfer_request up = transfer_request::make(0, qxval(original), qxval("big"), 0);
    up.progress = &progress;
    ASSERT_EQ(session->transfer_file(up).result.status, 0);
    EXPECT_EQ(progress.last, static_cast<int64_t>(size));
    EXPECT_TRUE(read_all(server->root() + "/big") == read_all(original));

    transfer_request down = transfer_request::make(1, qxval(local.file("down")), qxval("big"), 0);
    down.expected_size = size;
    down.stamp = true;
    down.modified_time = 1700000000;
    const transfer_record record = session->transfer_file(down);
    ASSERT_EQ(record.result.status, 0);
    EXPECT_EQ(record.bytes, static_cast<int64_t>(size));
    EXPECT_TRUE(read_all(local.file("down")) == read_all(original));
    struct stat st {};
    ASSERT_EQ(::stat(local.file("down").c_str(), &st), 0);
    EXPECT_EQ(st.st_mtime, 1700000000);

    // A download broken off halfway, by the server killing the connection
    // or by a kill from another thread: the target is untouched, the next
    // try continues from the bytes kept and the result is the whole file.
    struct break_case {
        const char* name;
        std::function<void()> breaks;
        int status;
    };
    const break_case breaks[] = {
        {"server kills", [this] { server->kill_sessions(); }, -1},
        {"kill from another thread",
         [&session] { std::thread([&session] { session->stop(stop_reason_kill); }).join(); }, status_stopped},
    };
    for (const break_case& b : breaks) {
        SCOPED_TRACE(b.name);
        std::ofstream(local.file("again")) << "old content";
        once_past halfway(20 << 20, b.breaks);
        transfer_request broken = transfer_request::make(1, qxval(local.file("again")), qxval("big"), 0);
        broken.expected_size = size;
        broken.progress = &halfway;
        const transfer_record first = session->transfer_file(broken);
        EXPECT_NE(first.result.status, 0);
        if (b.status >= 0) {
            EXPECT_EQ(first.result.status, b.status);
        }
        EXPECT_TRUE(halfway.called);
        EXPECT_FALSE(session->logged_in());
        EXPECT_TRUE(read_all(local.file("again")) == "old content");
        session->clear_stop();
        ASSERT_EQ(session->log_in().status, 0);
        counting_progress rest;
        broken.progress = &rest;
        const transfer_record second = session->transfer_file(broken);
        ASSERT_EQ(second.result.status, 0);
        EXPECT_GT(first.bytes, 0);
        // Only what was missing came again.
        EXPECT_LT(rest.last, static_cast<int64_t>(size));
        EXPECT_TRUE(read_all(local.file("again")) == read_all(original));
    }
}

// Uploads keep several writes in flight. Each way an upload can end early
// must leave the session as it says: usable after a stop or a refused
// write (every reply still owed was read), logged out after a kill; and a
// resumed upload afterwards ends byte-identical.
TEST_F(SftpReal, UploadsEndedEarlyLeaveTheSessionSound)
{
    constexpr std::size_t size = 24u << 20;
    const std::string original = local.file("up-original");
    write_random(original, size, 11);
    auto session = logged_in();

    struct cut_case {
        const char* name;
        const char* target;
        std::function<void()> cuts;  // empty: the server refuses a write
        int status;                  // -1: any failure
        bool stays_logged_in;
    };
    const cut_case cases[] = {
        {"stop", "stopped", [&session] { session->stop(stop_reason_stop); }, status_stopped, true},
        {"kill", "killed", [&session] { std::thread([&session] { session->stop(stop_reason_kill); }).join(); },
         status_stopped, false},
        {"server kills", "cut", [this] { server->kill_sessions(); }, -1, false},
        // A device that is always full refuses the first write; the others
        // already sent are answered the same way.
        {"refused write", "/dev/full", nullptr, status_refused, true},
    };
    for (const cut_case& c : cases) {
        SCOPED_TRACE(c.name);
        once_past when(6 << 20, c.cuts ? c.cuts : [] {});
        transfer_request up = transfer_request::make(0, qxval(original), qxval(c.target), 0);
        up.progress = &when;
        const transfer_record first = session->transfer_file(up);
        if (c.status >= 0) {
            EXPECT_EQ(first.result.status, c.status);
        } else {
            EXPECT_NE(first.result.status, 0);
        }
        EXPECT_LT(first.bytes, static_cast<int64_t>(size));
        EXPECT_EQ(session->logged_in(), c.stays_logged_in);
        session->clear_stop();
        if (!c.stays_logged_in) {
            ASSERT_EQ(session->log_in().status, 0);
        }
        // The channel holds no stray reply: the next requests get their own.
        ASSERT_EQ(session->list_directory(qxval(".")).status, 0);
        if (!c.cuts)
            continue;
        up.progress = nullptr;
        up.resume = true;
        const transfer_record rest = session->transfer_file(up);
        ASSERT_EQ(rest.result.status, 0);
        EXPECT_GT(rest.resumed_from, 0);
        EXPECT_TRUE(read_all(server->root() + "/" + c.target) == read_all(original));
    }
}

TEST_F(SftpReal, CliQueueAndSync)
{
    const std::string R = server->root();
    // 500 files in 10 folders, downloaded by 5 workers, then uploaded back.
    for (int f = 0; f < 10; ++f) {
        fs::create_directories(R + "/many/d" + std::to_string(f));
        for (int i = 0; i < 50; ++i)
            std::ofstream(R + "/many/d" + std::to_string(f) + "/file" + std::to_string(i))
                << std::string(100 + i * 37, static_cast<char>('a' + f));
    }
    own_files(*server);
    cli::options o = test::login_options(server->port(), server->user(), "");
    o.protocol = "sftp";
    o.key_file = server->key_file();
    o.known_hosts = server->known_hosts();
    o.threads = 5;
    o.commands = {{"download", "many", local.path()}};
    test::cli_run run = test::run_cli(o);
    ASSERT_EQ(run.code, 0) << run.err << run.out;
    int same = 0;
    for (const auto& entry : fs::recursive_directory_iterator(R + "/many"))
        if (entry.is_regular_file()) {
            const std::string relative = entry.path().string().substr(R.size());
            same += read_all(entry.path().string()) == read_all(local.path() + relative);
        }
    EXPECT_EQ(same, 500);

    fs::create_directories(R + "/back");
    own_files(*server);
    o.commands = {{"upload", local.path() + "/many", "back"}};
    run = test::run_cli(o);
    ASSERT_EQ(run.code, 0) << run.err << run.out;
    EXPECT_EQ(read_all(R + "/back/many/d9/file49"), read_all(R + "/many/d9/file49"));

    // Sync both ways: each side gets what only the other had.
    fs::create_directories(R + "/site");
    fs::create_directories(local.path() + "/mirror");
    std::ofstream(R + "/site/remote-only.txt") << "from the server";
    std::ofstream(local.path() + "/mirror/local-only.txt") << "from here";
    own_files(*server);
    dir_sync_settings_ex rules;
    rules.rules.assign(1, sync_rule::both | sync_rule::transfer_binary | sync_rule::copy_missing);
    rules.recursive = -1;
    rules.files_include.set_string("*");
    rules.local_folder.set_string("/nowhere");
    rules.remote_folder.set_string("site");
    ASSERT_EQ(rules.save_rule_file(qxval(local.file("rules.xml"))), 0);
    o.commands = {{"sync", local.file("rules.xml"), "--local", local.path() + "/mirror"}};
    run = test::run_cli(o);
    EXPECT_EQ(run.code, 0) << run.err << run.out;
    EXPECT_EQ(read_all(local.path() + "/mirror/remote-only.txt"), "from the server") << run.out;
    EXPECT_EQ(read_all(R + "/site/local-only.txt"), "from here");
}

TEST_F(SftpReal, CliRefusesUnknownHostKeyWithItsFingerprint)
{
    std::ofstream(local.file("empty_known_hosts")) << "";
    cli::options o = test::login_options(server->port(), server->user(), "");
    o.protocol = "sftp";
    o.key_file = server->key_file();
    o.known_hosts = local.file("empty_known_hosts");
    o.commands = {{"pwd"}};
    const test::cli_run run = test::run_cli(o);
    EXPECT_EQ(run.code, 1);
    EXPECT_NE((run.out + run.err).find(server->fingerprint()), std::string::npos) << run.err;
}

}  // namespace
