// The busy lock shared by the threads that use one session.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "ftp_test_session.h"

namespace qvtf::test {
namespace {

using namespace std::chrono_literals;

int in_thread(const std::function<int()>& f)
{
    int result = -1;
    std::thread t([&] { result = f(); });
    t.join();
    return result;
}

// Each step runs on the main thread ("M") or on a fresh thread ("T") and
// expects a status; busy is the flag afterwards.
TEST(FtpBusyLock, ClaimsAreCountedPerThreadAndReleasedByTheHolder)
{
    enum op { acquire, release, wait150 };
    struct step {
        char where;
        op what;
        int expected;
        int busy_after;
    };
    struct scenario {
        const char* name;
        std::vector<step> steps;
    };
    const std::vector<scenario> scenarios = {
        {"counted re-entry: the inner release keeps the outer claim",
         {{'M', acquire, 0, 1},
          {'M', acquire, 0, 1},
          {'M', release, 0, 1},
          {'T', acquire, status_busy, 1},
          {'M', release, 0, 0},
          {'T', acquire, 0, 1}}},
        {"other threads get 6014, also after waiting",
         {{'M', acquire, 0, 1},
          {'T', acquire, status_busy, 1},
          {'T', wait150, status_busy, 1},
          {'M', release, 0, 0},
          {'T', wait150, 0, 1},
          {'M', acquire, status_busy, 1}}},
        {"a release by a non-holder does nothing; a free session ignores releases",
         {{'M', acquire, 0, 1},
          {'T', release, 0, 1},
          {'T', acquire, status_busy, 1},
          {'M', release, 0, 0},
          {'M', release, 0, 0},
          {'M', acquire, 0, 1},
          {'M', release, 0, 0}}},
    };
    for (const auto& sc : scenarios) {
        ftp_control s;
        int n = 0;
        for (const auto& st : sc.steps) {
            auto run = [&] {
                switch (st.what) {
                case acquire: return s.acquire();
                case wait150: return s.acquire_waiting(150);
                case release: s.release(); return 0;
                }
                return -1;
            };
            EXPECT_EQ(st.where == 'M' ? run() : in_thread(run), st.expected) << sc.name << ", step " << n;
            EXPECT_EQ(s.busy(), st.busy_after) << sc.name << ", step " << n;
            ++n;
        }
    }
}

TEST(FtpBusyLock, ScopedHolderAndHandOverToAStartedThread)
{
    ftp_control s;
    {
        remote_session_lock outer(s);
        ASSERT_TRUE(outer);
        {
            remote_session_lock inner(s);
            EXPECT_TRUE(inner);
            EXPECT_EQ(s.hold_depth(), 2);
            EXPECT_FALSE(inner.hand_over()) << "a nested holder cannot give the session away";
        }
        EXPECT_TRUE(s.held_by_caller());
        EXPECT_EQ(in_thread([&] { return remote_session_lock(s).status(); }), status_busy);
    }
    EXPECT_EQ(s.busy(), 0);

    // The scheduler's way: hold, start a thread, hand the session to it.
    remote_session_lock mine(s);
    ASSERT_TRUE(mine);
    remote_handover handed = mine.hand_over();
    ASSERT_TRUE(handed);
    EXPECT_FALSE(mine);
    EXPECT_EQ(s.busy(), 1) << "in transit the session stays taken";
    EXPECT_EQ(s.acquire(), status_busy) << "even for the thread that handed it over";
    std::atomic<int> worker_held{-1};
    std::atomic<bool> let_go{false};
    std::thread worker([&, h = std::move(handed)]() mutable {
        remote_session_lock lock(std::move(h));
        worker_held = s.held_by_caller() ? 1 : 0;
        while (!let_go)
            std::this_thread::sleep_for(1ms);
    });
    for (int i = 0; i < 2000 && worker_held < 0; ++i)
        std::this_thread::sleep_for(1ms);
    EXPECT_EQ(worker_held, 1);
    EXPECT_EQ(s.acquire(), status_busy);
    let_go = true;
    worker.join();
    EXPECT_EQ(s.busy(), 0) << "the worker's holder released it";

    // A hand-over nobody takes frees the session.
    {
        remote_session_lock again(s);
        remote_handover dropped = again.hand_over();
        EXPECT_EQ(s.busy(), 1);
    }
    EXPECT_EQ(s.busy(), 0);
    EXPECT_EQ(s.take_over(), status_busy) << "nothing is in transit";
}

TEST(FtpBusyLock, WaitingAcquireWakesOnReleaseAndGivesUpInTime)
{
    ftp_control s;
    std::atomic<bool> holding{false};
    std::atomic<bool> release_now{false};
    std::thread holder([&] {
        ASSERT_EQ(s.acquire(), 0);
        holding = true;
        while (!release_now)
            std::this_thread::sleep_for(1ms);
        s.release();
    });
    while (!holding)
        std::this_thread::sleep_for(1ms);
    auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(s.acquire_waiting(250), status_busy);
    const auto waited = std::chrono::steady_clock::now() - start;
    EXPECT_GE(waited, 240ms);
    EXPECT_LT(waited, 1500ms);
    std::thread waker([&] {
        std::this_thread::sleep_for(30ms);
        release_now = true;
    });
    start = std::chrono::steady_clock::now();
    EXPECT_EQ(s.acquire_waiting(5000), 0);
    EXPECT_LT(std::chrono::steady_clock::now() - start, 2s);
    EXPECT_TRUE(s.held_by_caller());
    holder.join();
    waker.join();
}

TEST(FtpBusyLock, OneHolderAtATimeUnderContention)
{
    ftp_control s;
    std::atomic<int> inside{0};
    std::atomic<int> overlaps{0};
    std::atomic<int> turns{0};
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t)
        threads.emplace_back([&] {
            for (int i = 0; i < 200; ++i) {
                remote_session_lock hold(s, 2000);
                if (!hold)
                    continue;
                if (inside.fetch_add(1) != 0)
                    ++overlaps;
                EXPECT_EQ(remote_session_lock(s).status(), 0);  // re-entrant inside
                ++turns;
                inside.fetch_sub(1);
            }
        });
    for (auto& t : threads)
        t.join();
    EXPECT_EQ(overlaps, 0);
    EXPECT_EQ(turns, 800);
    EXPECT_EQ(s.busy(), 0);
}

// A command claims a free session only until its reply is read; on a
// session another thread holds it is refused and nothing reaches the wire.
TEST(FtpBusyLock, CommandsClaimOnlyForTheirReplyAndNeverCutIn)
{
    scripted_ftp_server server;
    server.send("220 ready\r\n").expect("200 one\r\n").expect("200 two\r\n");
    server.start();
    logged_session s;
    ASSERT_EQ(connect_to(s, server), 0);
    EXPECT_EQ(s.busy(), 0) << "reading the greeting left no claim";

    EXPECT_EQ(in_thread([&] { return s.send_command("NOOP"); }), 0);
    EXPECT_EQ(s.busy(), 0) << "the worker's command left no claim behind";
    EXPECT_EQ(s.acquire(), 0);

    EXPECT_EQ(in_thread([&] { return s.send_command("NOOP"); }), status_busy);
    EXPECT_EQ(in_thread([&] { return s.read_reply(); }), status_busy);
    EXPECT_EQ(s.hold_depth(), 1);
    EXPECT_EQ(s.send_command("STAT"), 0) << "the holder still talks";
    s.release();
    ASSERT_TRUE(server.completed());
    EXPECT_EQ(server.lines(), (lines{"NOOP", "STAT"}));
}

TEST(FtpBusyLock, StopFromAnotherThreadLeavesTheHolder)
{
    ftp_control s;
    ASSERT_EQ(s.acquire(), 0);
    std::thread stopper([&] { s.stop(stop_reason_stop); });
    stopper.join();
    EXPECT_EQ(s.stop_reason(), stop_reason_stop);
    EXPECT_TRUE(s.held_by_caller()) << "stopping does not take the session";
    std::thread killer([&] { s.stop(stop_reason_kill); });
    killer.join();
    s.stop(stop_reason_stop);
    EXPECT_EQ(s.stop_reason(), stop_reason_kill) << "a kill is never weakened";
    s.clear_stop();
    EXPECT_EQ(s.stop_reason(), stop_reason_none);
}

TEST(FtpBusyLock, DisconnectFromAnotherThreadLeavesTheHoldersSocket)
{
    struct scenario {
        const char* name;
        std::chrono::milliseconds held;  // how long the holder keeps the session
        int wait_ms;                     // how long the other thread's disconnect waits
        bool closed;
    };
    const std::vector<scenario> table = {
        {"the holder lets go in time", std::chrono::milliseconds(100), 5000, true},
        {"the holder keeps it past the wait", std::chrono::milliseconds(600), 100, false},
    };
    for (const scenario& c : table) {
        SCOPED_TRACE(c.name);
        scripted_ftp_server server;
        server.send("220 ready\r\n").expect("200 noop\r\n").expect("221 bye\r\n");
        server.start();
        logged_session s;
        ASSERT_EQ(connect_to(s, server), 0);
        s.set_state(remote_state::logged_in);
        ASSERT_EQ(s.acquire(), 0);
        std::thread other([&] { s.disconnect(c.wait_ms); });
        std::this_thread::sleep_for(c.held);
        // Until the holder lets go its socket is its own.
        EXPECT_EQ(s.send_command("NOOP"), 0);
        EXPECT_EQ(s.state(), remote_state::logged_in);
        s.release();
        other.join();
        EXPECT_EQ(s.state(), c.closed ? remote_state::disconnected : remote_state::logged_in);
        EXPECT_EQ(server.lines(), (c.closed ? lines{"NOOP", "QUIT"} : lines{"NOOP"}));
    }
}

}  // namespace
}  // namespace qvtf::test
