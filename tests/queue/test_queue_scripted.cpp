// Worker connections against the scripted server, for what real servers do
// not do on demand: a data connection that breaks, a size that never
// matches, a refused file, and a kill while transfers run.
#include <dirent.h>

#include <gtest/gtest.h>

#include <chrono>
#include <set>
#include <thread>

#include "ftp/test_data_support.h"
#include "queue_test_support.h"
#include "settings/global_ftp_settings.h"
#include "support/ftp_scripted.h"
#include "support/process.h"

namespace qvtf::test {
namespace {

using namespace std::chrono_literals;

const std::string content = pattern_bytes(200000, 3);

struct peers {
    std::vector<std::unique_ptr<data_peer>> all;
    data_peer& add(data_peer::mode m, std::string bytes = "")
    {
        all.push_back(std::make_unique<data_peer>(m, std::move(bytes)));
        all.back()->accept_in_background();
        return *all.back();
    }
};

scripted_ftp_server& login(scripted_ftp_server& s)
{
    return s.send("220 ready\r\n").expect("331 password\r\n").expect("230 in\r\n");
}

// TYPE, PASV to peer, RETR answered with replies.
// A download's replies; typed: the first of its login, which sends TYPE.
scripted_ftp_server& retrieve(scripted_ftp_server& s, const data_peer& peer, const std::string& replies,
                              bool typed = true)
{
    if (typed)
        s.expect("200 binary\r\n");
    return s.expect(peer.pasv_reply()).expect(replies);
}

struct scripted_case {
    const char* name;
    int64_t listed_size;
    std::function<void(scripted_ftp_server&, peers&)> script;
    bool succeeded;
    int32_t tries;
    int32_t result_code;
    int log_kind;
    std::string after;  // the local file afterwards; it held "old" before
};

void PrintTo(const scripted_case& c, std::ostream* os)
{
    *os << c.name;
}

const scripted_case cases[] = {
    {"BrokenDataConnectionIsRetriedOnAFreshLogin", static_cast<int64_t>(content.size()),
     [](scripted_ftp_server& s, peers& p) {
         retrieve(login(s), p.add(data_peer::mode::send_then_reset, content.substr(0, 70000)),
                  "150 here\r\n426 broken\r\n")
             .reconnect();
         retrieve(login(s), p.add(data_peer::mode::send, content), "150 here\r\n226 done\r\n");
     },
     true, 2, 0, log_download_done, content},
    // A server that restarts streams: the retry asks for the rest only.
    {"BrokenDownloadContinuesWhereItStopped", static_cast<int64_t>(content.size()),
     [](scripted_ftp_server& s, peers& p) {
         s.offer("211-Features:\r\n REST STREAM\r\n211 End\r\n");
         retrieve(login(s), p.add(data_peer::mode::send, content.substr(0, 80000)), "150 here\r\n426 broken\r\n")
             .reconnect();
         login(s).expect("200 binary\r\n").expect(p.add(data_peer::mode::send, content.substr(80000)).pasv_reply());
         s.expect([](const std::string& line) {
             return line == "REST 80000" ? "350 restarting\r\n" : "501 not at " + line + "\r\n";
         });
         s.expect("150 here\r\n226 done\r\n");
     },
     true, 2, 0, log_download_done, content},
    {"SizeThatNeverMatchesFailsAfterThreeTries", 100,
     [](scripted_ftp_server& s, peers& p) {
         login(s);
         for (int i = 0; i < 3; ++i)
             retrieve(s, p.add(data_peer::mode::send, std::string(50, 'h')), "150 here\r\n226 done\r\n", i == 0);
     },
     false, 3, status_unexpected_reply, log_error, "old"},
    {"RefusedFileFailsAtOnce", 100,
     [](scripted_ftp_server& s, peers& p) {
         retrieve(login(s), p.add(data_peer::mode::silent), "550 no such file\r\n");
     },
     false, 1, status_refused, log_error, "old"},
};

class QueueScripted : public ::testing::TestWithParam<scripted_case> {};

TEST_P(QueueScripted, OneDownload)
{
    const scripted_case& c = GetParam();
    temp_folder folder("qvtf-queue-scripted");
    ASSERT_TRUE(folder.write("f", "old"));
    peers p;
    scripted_ftp_server server;
    c.script(server, p);
    server.start();

    recording_panes panes;
    panes.worker_ports = {server.port()};
    recording_view view;
    log_capture log;
    std::vector<queue_item_result> results;
    std::mutex results_mutex;
    {
        ftp_queue_process_manager q;
        q.panes = &panes;
        q.view = &view;
        q.language = &test_phrases();
        log.attach(q);
        when_finished(q, [&](const queue_item_result& r) {
            std::lock_guard lock(results_mutex);
            results.push_back(r);
        });
        q.max_threads = 1;
        q.retry_limit = 3;
        q.retry_delay_ms = 20;  // the waits between tries, short for the test
        ASSERT_EQ(q.open(), 0);
        q.start();
        qxfile_node node;
        node.name.set_string("f");
        node.set_size(static_cast<uint64_t>(c.listed_size));
        ASSERT_EQ(q.add_node(node, qxval(folder.path() + "/"), qxval("/"), 1, 0, 0), 0);
        ASSERT_TRUE(q.wait_until_empty(30000));
        EXPECT_LE(q.worker_count(), 1);
    }
    ASSERT_EQ(results.size(), 1u);
    EXPECT_EQ(results[0].succeeded, c.succeeded);
    EXPECT_EQ(results[0].tries, c.tries);
    EXPECT_EQ(results[0].result_code, c.result_code);
    const auto lines = log.finished();
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_EQ(lines[0].kind, c.log_kind);
    EXPECT_NE(lines[0].text.find("/f"), std::string::npos) << lines[0].text;
    EXPECT_EQ(file_text(folder.file("f")), c.after);
    if (c.succeeded) {
        EXPECT_GT(view.progress_calls, 0) << "no progress reached the row";
    }
    // Every attempt's row shows its try; no temporary file is left.
    std::vector<int32_t> shown;
    for (const auto& call : view.calls())
        if (call.what == "update" && call.state == item_running)
            shown.push_back(call.tries);
    std::vector<int32_t> expected;
    for (int32_t t = 1; t <= c.tries; ++t)
        expected.push_back(t);
    EXPECT_EQ(shown, expected);
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(folder.path()), {}), 1);
}

INSTANTIATE_TEST_SUITE_P(Cases, QueueScripted, ::testing::ValuesIn(cases),
                         [](const auto& instance) { return std::string(instance.param.name); });

// Threads other than the pool's idle ones, which are kept for the next job.
int thread_count()
{
    const pooled_thread_counts pool = pooled_threads();
    return static_cast<int>(std::distance(std::filesystem::directory_iterator("/proc/self/task"), {})) - pool.idle;
}

TEST(QueueScriptedKill, KillAllWhileTwoTransfersRun)
{
    // A sanitizer may start a thread of its own with the first one.
    std::thread([] {}).join();
    const int threads_before = thread_count();
    temp_folder folder("qvtf-queue-kill");
    log_capture log;
    recording_view view;
    global_ftp_settings settings;
    settings.download_failures_popups = true;
    settings.extended_data_commands = false;  // the scripts answer PASV
    {
        peers p;
        scripted_ftp_server one, two;
        data_peer& slow1 = p.add(data_peer::mode::send_slowly);
        data_peer& slow2 = p.add(data_peer::mode::send_slowly);
        retrieve(login(one), slow1, "150 here\r\n").expect("");
        retrieve(login(two), slow2, "150 here\r\n").expect("");
        one.start();
        two.start();
        recording_panes panes;
        panes.worker_ports = {one.port(), two.port()};
        ftp_queue_process_manager q;
        q.panes = &panes;
        q.view = &view;
        q.settings = &settings;
        q.language = &test_phrases();
        log.attach(q);
        q.max_threads = 2;
        ASSERT_EQ(q.open(), 0);
        q.start();
        for (const char* name : {"f1", "f2"}) {
            qxfile_node node;
            node.name.set_string(name);
            node.set_size(1 << 30);
            ASSERT_EQ(q.add_node(node, qxval(folder.path() + "/"), qxval("/"), 1, 0, 0), 0);
        }
        for (int i = 0; i < 500 && !(slow1.connected && slow2.connected); ++i)
            std::this_thread::sleep_for(10ms);
        ASSERT_TRUE(slow1.connected && slow2.connected);
        std::this_thread::sleep_for(50ms);
        std::thread killer([&] { q.kill_all(8); });
        killer.join();
        EXPECT_TRUE(q.wait_until_empty(10000));
        EXPECT_EQ(q.item_count(), 0);
        q.kill_all_and_wait();
        EXPECT_EQ(q.worker_count(), 0);
    }
    ftp_control texts;
    texts.set_language(&test_phrases());
    qxval aborted;
    texts.error_text(status_stopped, aborted);
    // A kill the user asked for is logged as information: no failure, no box.
    EXPECT_TRUE(log.finished().empty());
    EXPECT_TRUE(view.errors().empty()) << view.errors().front();
    const auto lines = log.of_kind(log_info);
    ASSERT_EQ(lines.size(), 2u);
    for (const auto& line : lines)
        EXPECT_NE(line.text.find(aborted.str()), std::string::npos) << line.text;
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(folder.path()), {}), 0);
    EXPECT_EQ(thread_count(), threads_before);
}

// Two files refused in one run: one box at the end of the run names both.
TEST(QueueScriptedFailures, OneBoxForTheFailuresOfARun)
{
    temp_folder folder("qvtf-queue-failures");
    peers p;
    scripted_ftp_server server;
    retrieve(login(server), p.add(data_peer::mode::silent), "550 no such file\r\n");
    retrieve(server, p.add(data_peer::mode::silent), "550 no such file\r\n", false);
    server.start();
    recording_panes panes;
    panes.worker_ports = {server.port()};
    recording_view view;
    global_ftp_settings settings;
    settings.download_failures_popups = true;
    settings.extended_data_commands = false;  // the scripts answer PASV
    {
        ftp_queue_process_manager q;
        q.panes = &panes;
        q.view = &view;
        q.settings = &settings;
        q.language = &test_phrases();
        q.max_threads = 1;
        ASSERT_EQ(q.open(), 0);
        for (const char* name : {"f1", "f2"}) {
            qxfile_node node;
            node.name.set_string(name);
            node.set_size(10);
            ASSERT_EQ(q.add_node(node, qxval(folder.path() + "/"), qxval("/"), 1, 0, 0), 0);
        }
        q.start();
        ASSERT_TRUE(q.wait_until_empty(30000));
        // The box comes from the thread that removed the last item, just after.
        for (int i = 0; i < 1000 && view.errors().empty(); ++i)
            std::this_thread::sleep_for(10ms);
        q.close();
    }
    const auto boxes = view.errors();
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_NE(boxes[0].find("[116]/f1"), std::string::npos) << boxes[0];
    EXPECT_NE(boxes[0].find("[116]/f2"), std::string::npos) << boxes[0];
}

}  // namespace
}  // namespace qvtf::test
