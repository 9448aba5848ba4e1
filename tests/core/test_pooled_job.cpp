// Jobs on reused threads: join waits for the job and its callable, threads
// are reused when idle, and jobs that wait for each other all run at once.
#include <gtest/gtest.h>

#include <atomic>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include "core/pooled_job.h"

namespace qvtf {
namespace {

TEST(PooledJob, JoinsReusesAndRunsWaitingJobsSideBySide)
{
    // One after the other: the same idle thread serves every job.
    const int before = pooled_threads().threads;
    auto token = std::make_shared<int>(0);
    for (int i = 0; i < 200; ++i) {
        pooled_job job = run_pooled([token] { ++*token; });
        ASSERT_TRUE(job.joinable());
        job.join();
        EXPECT_FALSE(job.joinable());
        EXPECT_EQ(token.use_count(), 1) << "the callable is gone once join returns";
    }
    EXPECT_EQ(*token, 200);
    EXPECT_LE(pooled_threads().threads, before + 1);

    // Eight jobs that each wait until all eight have started: the pool must
    // not queue one behind another.
    std::mutex m;
    std::condition_variable cv;
    int started = 0;
    std::vector<pooled_job> jobs;
    for (int i = 0; i < 8; ++i)
        jobs.push_back(run_pooled([&] {
            std::unique_lock lock(m);
            ++started;
            cv.notify_all();
            cv.wait_for(lock, std::chrono::seconds(10), [&] { return started == 8; });
        }));
    for (auto& j : jobs)
        j.join();
    EXPECT_EQ(started, 8);

    // A handle that is assigned to, or destroyed, joins its running job first.
    std::atomic<int> done{0};
    {
        pooled_job slow = run_pooled([&] {
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
            ++done;
        });
        slow = run_pooled([&] { ++done; });
        EXPECT_GE(done.load(), 1);
    }
    EXPECT_EQ(done.load(), 2);
}

}  // namespace
}  // namespace qvtf
