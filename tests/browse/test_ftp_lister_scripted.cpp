// The remote pane against a scripted server, for what no real server does on
// demand: a clock an hour ahead, a refused delete, a DOS-style listing.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <ctime>
#include <memory>
#include <mutex>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "browse/qx_ftp_file_lister.h"
#include "core/qxtime.h"
#include "ftp/test_data_support.h"
#include "lister_test_util.h"
#include "remote/remote_status.h"
#include "support/ftp_scripted.h"

namespace qvtf {
namespace {

using test::data_peer;
using test::row_names;
using names = std::vector<std::string>;

constexpr std::time_t clock_ahead = 3600;

// Stamped with the server's clock, to the minute.
std::string recent_entry(const std::string& name)
{
    const std::time_t when = std::time(nullptr) + clock_ahead;
    char stamp[32];
    std::tm tm{};
    ::gmtime_r(&when, &tm);
    std::strftime(stamp, sizeof stamp, "%b %e %H:%M", &tm);
    return "-rw-r--r-- 1 u g 0 " + std::string(stamp) + " " + name + "\r\n";
}

// A server whose folder /pub holds files; it answers by verb, so the test
// does not depend on how many commands each operation takes. Runs on the
// scripted server's thread; the test changes the state only between
// operations, under the mutex.
struct folder_server {
    std::mutex mutex;
    std::vector<std::string> files{"a.txt", "b.txt", "c.txt"};
    std::set<std::string> refused;  // DELE answered 550
    std::string probe;              // the name STOR created
    bool dos = false;
    std::vector<std::unique_ptr<data_peer>> peers;

    std::string listing()
    {
        if (dos)
            return "01-05-20  09:15PM                    4 a.txt\r\n01-05-20  09:15PM       <DIR>          d\r\n";
        std::string out = "total 3\r\n-rw-r--r-- 1 u g 4 Jan  5  2020 old.txt\r\n";
        for (const std::string& f : files)
            out += f == probe ? recent_entry(f) : "-rw-r--r-- 1 u g 4 Jan  1  2020 " + f + "\r\n";
        return out;
    }

    std::string reply(const std::string& line)
    {
        std::lock_guard lock(mutex);
        const std::string verb = line.substr(0, line.find(' '));
        const std::string arg = line.size() > verb.size() ? line.substr(verb.size() + 1) : "";
        if (verb == "USER")
            return "331 password\r\n";
        if (verb == "PASS")
            return "230 in\r\n";
        if (verb == "PWD")
            return "257 \"/pub\"\r\n";
        if (verb == "CWD")
            return "250 ok\r\n";
        if (verb == "TYPE")
            return "200 ok\r\n";
        if (verb == "PASV") {
            peers.push_back(std::make_unique<data_peer>(data_peer::mode::send, listing()));
            peers.back()->accept_in_background();
            return peers.back()->pasv_reply();
        }
        if (verb == "LIST")
            return "150 here\r\n226 done\r\n";
        if (verb == "STOR") {
            probe = arg;
            files.push_back(arg);
            return "150 go\r\n226 stored\r\n";
        }
        if (verb == "MKD")
            return "550 " + arg + ": Permission denied\r\n";
        if (verb == "DELE") {
            if (refused.count(arg))
                return "550 not yours\r\n";
            std::erase(files, arg);
            return "250 deleted\r\n";
        }
        return "502 not here\r\n";
    }
};

std::vector<std::string> verbs(const std::vector<std::string>& lines, const std::string& verb)
{
    std::vector<std::string> out;
    for (const std::string& l : lines)
        if (l.rfind(verb + " ", 0) == 0)
            out.push_back(l);
    return out;
}

TEST(FtpListerScripted, ClockAheadRefusedDeleteAndDosListing)
{
    folder_server state;
    test::scripted_ftp_server server;
    ASSERT_TRUE(server.ok());
    server.send("220 ready\r\n");
    for (int i = 0; i < 80; ++i)
        server.expect([&](const std::string& line) { return state.reply(line); });
    server.start();

    global_ftp_settings settings;
    settings.is_passive = true;
    settings.trust_pasv_address = true;  // the pane's session takes it over
    test::recording_view view;
    qx_ftp_file_lister pane(settings, &test::test_phrases(), &view);
    pane.keepalive_interval = 3600;
    ftp_profile profile;
    profile.host.set_string("127.0.0.1");
    profile.host_port = server.port();
    profile.user_name.set_string("bob");
    profile.password.set_string("pw");

    // Connecting measures the clock: the probe appears an hour ahead, so the
    // difference is an hour (listings give minutes), and it is taken away
    // from every time listed afterwards.
    ASSERT_EQ(pane.run_guarded([&] { return pane.connect_profile(&profile); }), 0);
    EXPECT_EQ(profile.time_difference_state, time_difference_measured);
    EXPECT_EQ(pane.session().options().trust_pasv_address, true);
    EXPECT_GE(profile.time_difference, clock_ahead - 60);
    EXPECT_LE(profile.time_difference, clock_ahead);
    EXPECT_EQ(pane.session().time_difference(), profile.time_difference);
    const std::vector<std::string> wire = server.lines();
    ASSERT_EQ(verbs(wire, "STOR").size(), 1u);
    EXPECT_EQ(verbs(wire, "DELE"), (names{"DELE " + state.probe}));
    EXPECT_EQ(row_names(pane), (names{"..", "a.txt", "b.txt", "c.txt", "old.txt"}));
    const qxfile_node* old = pane.row_node(4);
    ASSERT_NE(old, nullptr);
    EXPECT_EQ(old->modified, std::time_t(1578182400) - profile.time_difference);  // 2020-01-05 00:00 UTC
    EXPECT_EQ(pane.properties_allowed(), 0);

    // Three deletions, the second refused: the third is never sent, the
    // error names the second, and the folder is listed again.
    {
        std::lock_guard lock(state.mutex);
        state.refused.insert("b.txt");
    }
    const std::size_t sent = server.lines().size();
    std::vector<qxfile_node*> three{pane.row_node(1), pane.row_node(2), pane.row_node(3)};
    EXPECT_EQ(pane.run_guarded([&] { return pane.delete_entries(three); }), status_pane_text);
    const std::vector<std::string> all = server.lines();
    const std::vector<std::string> after(all.begin() + long(sent), all.end());
    EXPECT_EQ(verbs(after, "DELE"), (names{"DELE a.txt", "DELE b.txt"}));
    EXPECT_EQ(verbs(after, "LIST").size(), 1u);
    EXPECT_EQ(row_names(pane), (names{"..", "b.txt", "c.txt", "old.txt"}));
    ASSERT_FALSE(view.errors_seen().empty());
    EXPECT_NE(view.errors_seen().back().text.find("b.txt"), std::string::npos);

    // A folder the server refuses to make: the message carries its reply.
    EXPECT_EQ(pane.run_guarded([&] { return pane.make_folder(qxval("newsub")); }), status_pane_text);
    EXPECT_EQ(pane.last_error().str(), "[99]newsub[38]550 newsub: Permission denied");

    // Reloading keeps the entries that are still there: a node held across
    // it (by the queue, say) is the same entry afterwards.
    qxfile_node* held = pane.row_node(1);
    ASSERT_EQ(pane.run_guarded([&] { return pane.reload(); }), 0);
    EXPECT_EQ(pane.row_node(1), held);
    EXPECT_EQ(held->name.str(), "b.txt");

    // A DOS-style listing: no permissions to show, so no properties dialog.
    {
        std::lock_guard lock(state.mutex);
        state.dos = true;
    }
    ASSERT_EQ(pane.run_guarded([&] { return pane.reload(); }), 0);
    EXPECT_EQ(row_names(pane), (names{"..", "d", "a.txt"}));
    EXPECT_EQ(pane.properties_allowed(), status_pane_text);
    EXPECT_EQ(pane.last_error().str(), "[73]");
}

// The server goes away while the pane is idle: the keep-alive finds out and
// the pane keeps showing the site; the next command logs in again, and when
// the server refuses that, the pane closes the connection by itself, once.
TEST(FtpListerScripted, DroppedConnectionIsClosedByThePane)
{
    folder_server state;
    test::scripted_ftp_server server;
    ASSERT_TRUE(server.ok());
    server.send("220 ready\r\n");
    for (int i = 0; i < 8; ++i)  // log in, folder, one listing
        server.expect([&](const std::string& line) { return state.reply(line); });
    server.reconnect();
    server.send("421 Service not available\r\n");
    server.close();
    server.start();

    global_ftp_settings settings;
    settings.is_passive = true;
    settings.extended_data_commands = false;  // the script answers PASV
    test::recording_view view;
    qx_ftp_file_lister pane(settings, &test::test_phrases(), &view);
    struct ending_link : lister_queue_link {
        std::atomic<int> ended{0};
        void connection_ended() override { ++ended; }
    } link;
    std::atomic<int>& ended = link.ended;
    pane.queue = &link;
    ftp_profile profile;
    profile.host.set_string("127.0.0.1");
    profile.host_port = server.port();
    profile.user_name.set_string("bob");
    profile.password.set_string("pw");
    profile.time_difference_state = time_difference_measured;
    ASSERT_EQ(pane.run_guarded([&] { return pane.connect_profile(&profile); }), 0);
    ASSERT_TRUE(pane.is_ready());
    EXPECT_EQ(pane.row_count(), 5);

    pane.keepalive_interval = 0;
    pane.keepalive_tick_ms = 20;
    for (int i = 0; i < 500 && pane.session().connected(); ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    ASSERT_FALSE(pane.session().connected());
    pane.wait_for_operations();
    EXPECT_EQ(ended, 0);
    EXPECT_TRUE(pane.is_ready()) << "the next command logs in again";
    EXPECT_EQ(pane.row_count(), 5);
    EXPECT_EQ(view.title, "[7]127.0.0.1");

    EXPECT_NE(pane.run_guarded([&] { return pane.reload(); }), 0);
    for (int i = 0; i < 500 && ended == 0; ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    pane.wait_for_operations();
    EXPECT_EQ(ended, 1);
    EXPECT_FALSE(pane.is_ready());
    EXPECT_FALSE(pane.session().connected());
    EXPECT_EQ(pane.row_count(), 0);
    EXPECT_EQ(view.title, "[196]");
    EXPECT_TRUE(server.completed());
    pane.queue = nullptr;
}

// The probe never replaces an entry of the same name: "1" is appended until
// the name is free.
TEST(FtpListerScripted, ProbeNameAlreadyPresentGetsOneAppended)
{
    const std::string local = ::testing::TempDir() + "probe.tmp";
    folder_server state;
    state.files = {"probe.tmp", "probe.tmp1", "x"};
    test::scripted_ftp_server server;
    ASSERT_TRUE(server.ok());
    server.send("220 ready\r\n");
    for (int i = 0; i < 30; ++i)
        server.expect([&](const std::string& line) { return state.reply(line); });
    server.start();

    ftp_control session;
    ASSERT_EQ(test::log_in_to(session, server.port(), "bob", "pw"), 0);
    ASSERT_EQ(session.measure_time_difference(qxval(local)), 0);
    EXPECT_EQ(verbs(server.lines(), "STOR"), (names{"STOR probe.tmp11"}));
    EXPECT_EQ(verbs(server.lines(), "DELE"), (names{"DELE probe.tmp11"}));
    EXPECT_NEAR(double(session.time_difference()), double(clock_ahead), 60.0);
    EXPECT_FALSE(test::file_exists(local));
    session.disconnect();
}

}  // namespace
}  // namespace qvtf
