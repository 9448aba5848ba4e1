// The queue against vsftpd and pyftpdlib: a tree of three levels and 500
// files goes down and back up with five workers, byte for byte, queued
// breadth-first; the server never sees more connections than workers plus
// the browsing one; idle workers close after their idle limit.
#include <sys/stat.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <fstream>
#include <set>
#include <sstream>
#include <thread>

#include "ftp/test_data_support.h"
#include "queue_test_support.h"
#include "support/ftp_servers.h"
#include "support/process.h"

namespace qvtf::test {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

// Level 1: 100 files and 4 folders; each has 50 files and 2 folders of 25
// files: 500 files in all.
int make_tree(const std::string& top)
{
    int files = 0;
    auto fill = [&](const std::string& folder, int count) {
        fs::create_directories(folder);
        ::chmod(folder.c_str(), 0777);
        for (int i = 0; i < count; ++i, ++files)
            write_text(folder + "/f" + std::to_string(i) + ".bin", pattern_bytes(100 + 37 * files, files));
    };
    fill(top, 100);
    for (int a = 0; a < 4; ++a) {
        const std::string level2 = top + "/d" + std::to_string(a);
        fill(level2, 50);
        for (int b = 0; b < 2; ++b)
            fill(level2 + "/e" + std::to_string(b), 25);
    }
    return files;
}

// Relative path -> content of every file below top.
std::map<std::string, std::string> contents(const std::string& top)
{
    std::map<std::string, std::string> out;
    for (const auto& e : fs::recursive_directory_iterator(top))
        if (e.is_regular_file())
            out[fs::relative(e.path(), top).string()] = file_text(e.path().string());
    return out;
}

// Established connections whose local end is the server's port. The file
// is read in pieces while it changes, so one socket may be listed twice.
int server_connections(uint16_t port)
{
    std::set<std::string> seen;
    char wanted[8];
    std::snprintf(wanted, sizeof wanted, ":%04X", port);
    std::ifstream in("/proc/net/tcp");
    std::string line;
    std::getline(in, line);
    while (std::getline(in, line)) {
        std::istringstream words(line);
        std::string slot, local, remote, state;
        words >> slot >> local >> remote >> state;
        if (state == "01" && local.size() > 5 && local.substr(local.size() - 5) == wanted)
            seen.insert(local + " " + remote);
    }
    return static_cast<int>(seen.size());
}

// The largest number of server connections seen while it runs.
class connection_sampler {
public:
    connection_sampler(uint16_t port, const ftp_queue_process_manager& q)
        : thread_([this, port, &q] {
              while (!stop_) {
                  const int now = server_connections(port);
                  peak_ = std::max(peak_.load(), now);
                  workers_ = std::max(workers_.load(), q.worker_count());
                  std::this_thread::sleep_for(2ms);
              }
          })
    {
    }
    ~connection_sampler() { stop(); }
    int stop()
    {
        stop_ = true;
        if (thread_.joinable())
            thread_.join();
        return peak_;
    }

private:
    std::atomic<bool> stop_{false};
    std::atomic<int> peak_{0};
    std::atomic<int> workers_{0};

public:
    int workers() const { return workers_; }

private:
    std::thread thread_;
};

qxfile_node* child_named(qxfile_node* folder, const std::string& name)
{
    for (qxfile_node* n = folder ? folder->first_child : nullptr; n; n = n->next)
        if (n->name.str() == name)
            return n;
    return nullptr;
}

// Depths of the local paths below top, in the order their rows were added.
std::vector<int> queued_depths(const recording_view& view, const std::string& top)
{
    std::vector<int> depths;
    for (const auto& call : view.calls())
        if (call.what == "add") {
            const std::string rel = fs::relative(call.local_path, top).string();
            depths.push_back(static_cast<int>(std::count(rel.begin(), rel.end(), '/')));
        }
    return depths;
}

class QueueServers : public ::testing::TestWithParam<server_kind> {};

TEST_P(QueueServers, TreeDownAndUpWithFiveWorkers)
{
    real_server server(GetParam());
    if (!server.ok())
        GTEST_SKIP() << "server not available";
    const int files = make_tree(server.root() + "/tree");
    fs::create_directories(server.root() + "/up");
    ::chmod((server.root() + "/up").c_str(), 0777);
    temp_folder local("qvtf-queue-real");

    ftp_control browser;
    browser.set_language(&test_phrases());
    ASSERT_EQ(log_in_to(browser, server.port(), server.user(), server.password()), 0);
    const qxval base = browser.current_path();
    ASSERT_EQ(browser.list_directory(qxval("")), 0);
    qxfile_node* remote_tree = child_named(browser.current_folder(), "tree");
    ASSERT_NE(remote_tree, nullptr);

    recording_panes panes;
    panes.session = &browser;
    panes.worker_ports = {server.port()};
    panes.user = server.user();
    panes.password = server.password();
    qxfile_node download_target;
    panes.paths[&download_target] = local.path();
    recording_view view;
    log_capture log;
    std::atomic<int> failures{0};
    ftp_queue_process_manager q;
    q.panes = &panes;
    q.view = &view;
    q.language = &test_phrases();
    log.attach(q);
    std::atomic<int> retried{0};
    when_finished(q, [&](const queue_item_result& r) {
        failures += r.succeeded ? 0 : 1;
        retried += r.tries > 1 ? 1 : 0;
    });
    q.max_threads = 5;
    q.worker_idle_ms = 60000;
    ASSERT_EQ(q.open(), 0);
    q.start();

    auto run = [&](int32_t from_remote, qxfile_node* node, qxfile_node* destination) {
        const size_t rows_before = view.calls().size();
        connection_sampler sampler(server.port(), q);
        q.put_nodes(from_remote, {node}, destination, 0);
        for (int i = 0; i < 500 && view.calls().size() == rows_before; ++i)
            std::this_thread::sleep_for(10ms);
        EXPECT_TRUE(q.wait_until_empty(120000));
        // Five workers and the browsing connection.
        EXPECT_LE(sampler.stop(), 6) << "workers seen: " << sampler.workers() << " retried " << retried;
    };

    // Down.
    run(1, remote_tree, &download_target);
    EXPECT_EQ(failures, 0);
    EXPECT_EQ(contents(local.path() + "/tree"), contents(server.root() + "/tree"));
    const std::vector<int> depths = queued_depths(view, local.path());
    EXPECT_TRUE(std::is_sorted(depths.begin(), depths.end())) << "not breadth-first";
    EXPECT_EQ(std::count(depths.begin(), depths.end(), 3), 200);

    // Idle workers close after their limit; the browsing connection stays.
    q.worker_idle_ms = 300;
    for (int i = 0; i < 500 && q.worker_count() > 0; ++i)
        std::this_thread::sleep_for(10ms);
    EXPECT_EQ(q.worker_count(), 0);
    for (int i = 0; i < 200 && server_connections(server.port()) > 1; ++i)
        std::this_thread::sleep_for(10ms);
    EXPECT_EQ(server_connections(server.port()), 1);

    // Up, from the copy just made.
    q.worker_idle_ms = 60000;
    qxfile_tree local_tree;
    qxfile_node* local_top = local_folder_node(local_tree, local.path());
    ASSERT_TRUE(list_folder(qxval(local.path()), local_tree, local_top, true, qxval("*")));
    ASSERT_EQ(browser.change_folder(qxval(base.str() + (base.str() == "/" ? "up" : "/up"))), 0);
    qxfile_node* remote_up = browser.current_folder();
    run(0, child_named(local_top, "tree"), remote_up);
    EXPECT_EQ(failures, 0);
    EXPECT_EQ(contents(server.root() + "/up/tree"), contents(server.root() + "/tree"));
    EXPECT_EQ(static_cast<int>(contents(server.root() + "/up/tree").size()), files);

    const auto lines = log.finished();
    EXPECT_EQ(std::count_if(lines.begin(), lines.end(), [](auto& l) { return l.kind == log_download_done; }), files);
    EXPECT_EQ(std::count_if(lines.begin(), lines.end(), [](auto& l) { return l.kind == log_upload_done; }), files);
    q.close();
}

INSTANTIATE_TEST_SUITE_P(Servers, QueueServers, ::testing::Values(server_kind::vsftpd, server_kind::pyftpdlib),
                         [](const auto& instance) {
                             return std::string(instance.param == server_kind::vsftpd ? "vsftpd" : "pyftpdlib");
                         });

}  // namespace
}  // namespace qvtf::test
