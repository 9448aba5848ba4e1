// The busy lock shared by the threads that use one session.
#include <gtest/gtest.h>

#include <atomic>
#include <functional>
#include <memory>
#include <chrono>
#include <thread>
#include <vector>

#include "ftp/ftp_control.h"

namespace qvtf {
namespace {

using namespace std::chrono_literals;

int in_thread(const std::function<int()>& f)
{
    int result = -1;
    std::thread t([&] { result = f(); });
    t.join();
    return result;
}

TEST(FtpBusyLock, ReentrantForItsOwnerWithoutACount)
{
    ftp_control s;
    ASSERT_TRUE(s.create_lock());
    EXPECT_EQ(s.acquire(), 0);
    EXPECT_EQ(s.acquire(), 0);
    EXPECT_EQ(s.busy, 1);
    s.release();
    EXPECT_EQ(s.busy, 0) << "one release frees it, however often it was taken";
    EXPECT_EQ(in_thread([&] { return s.acquire(); }), 0);
}

TEST(FtpBusyLock, OtherThreadsGet6014)
{
    ftp_control s;
    ASSERT_EQ(s.acquire(), 0);
    EXPECT_EQ(in_thread([&] { return s.acquire(); }), status_busy);
    EXPECT_EQ(in_thread([&] { return s.acquire_waiting(150); }), status_busy);
    s.release();
    EXPECT_EQ(in_thread([&] { return s.acquire(); }), 0);
    EXPECT_EQ(s.acquire(), status_busy) << "now the other thread's (which ended without releasing)";
}

TEST(FtpBusyLock, ReleaseByANonOwnerIsIgnored)
{
    ftp_control s;
    ASSERT_EQ(s.acquire(), 0);
    in_thread([&] {
        s.release();
        return 0;
    });
    EXPECT_EQ(s.busy, 1);
    EXPECT_TRUE(s.held_by_caller());
    EXPECT_EQ(in_thread([&] { return s.acquire(); }), status_busy);
    // Releasing a free session does nothing either.
    s.release();
    s.release();
    EXPECT_EQ(s.busy, 0);
}

TEST(FtpBusyLock, WaitingAcquireWakesOnRelease)
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
    std::thread waker([&] {
        std::this_thread::sleep_for(30ms);
        release_now = true;
    });
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(s.acquire_waiting(5000), 0);
    EXPECT_LT(std::chrono::steady_clock::now() - start, 2s);
    EXPECT_TRUE(s.held_by_caller());
    holder.join();
    waker.join();
}

TEST(FtpBusyLock, WaitingAcquireGivesUpAfterItsTime)
{
    ftp_control s;
    ASSERT_EQ(s.acquire(), 0);
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(in_thread([&] { return s.acquire_waiting(250); }), status_busy);
    const auto waited = std::chrono::steady_clock::now() - start;
    EXPECT_GE(waited, 240ms);
    EXPECT_LT(waited, 1500ms);
    EXPECT_EQ(in_thread([&] { return s.acquire_waiting(0); }), status_busy);
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
                if (s.acquire_waiting(2000) != 0)
                    continue;
                if (inside.fetch_add(1) != 0)
                    ++overlaps;
                EXPECT_EQ(s.acquire(), 0);  // re-entrant inside
                ++turns;
                inside.fetch_sub(1);
                s.release();
            }
        });
    for (auto& t : threads)
        t.join();
    EXPECT_EQ(overlaps, 0);
    EXPECT_EQ(turns, 800);
    EXPECT_EQ(s.busy, 0);
}

TEST(FtpBusyLock, AbortFromAnotherThreadStopsThePipe)
{
    ftp_control s;
    s.pipe = std::make_unique<qxpipe>();
    ASSERT_EQ(s.acquire(), 0);
    std::thread aborter([&] { s.abort_transfer(); });
    aborter.join();
    EXPECT_EQ(s.abort_data, 1);
    EXPECT_TRUE(s.pipe->any(pipe_stop));
    EXPECT_TRUE(s.held_by_caller()) << "aborting does not take the session";
}

}  // namespace
}  // namespace qvtf
