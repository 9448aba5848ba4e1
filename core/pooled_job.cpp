#include "core/pooled_job.h"

#include <chrono>
#include <condition_variable>
#include <deque>
#include <mutex>
#include <system_error>
#include <thread>
#include <utility>

namespace qvtf {

struct pooled_job::state {
    std::mutex mutex;
    std::condition_variable ended;
    bool done = false;
};

void pooled_job::join()
{
    if (!state_)
        return;
    {
        std::unique_lock lock(state_->mutex);
        state_->ended.wait(lock, [this] { return state_->done; });
    }
    state_.reset();
}

namespace {

constexpr std::chrono::seconds idle_limit{5};

struct queued_job {
    std::function<void()> work;
    std::shared_ptr<pooled_job::state> state;
};

// Never destroyed: a thread that is idle at exit must not find its pool
// gone, and the process ending takes the threads with it.
class job_pool {
public:
    static job_pool& instance()
    {
        static job_pool* pool = new job_pool;
        return *pool;
    }

    bool submit(queued_job job)
    {
        std::lock_guard lock(mutex_);
        jobs_.push_back(std::move(job));
        // An idle thread not yet claimed by an earlier job takes it.
        if (idle_ >= static_cast<int>(jobs_.size())) {
            wanted_.notify_one();
            return true;
        }
        try {
            std::thread([this] { serve(); }).detach();
        } catch (const std::system_error&) {
            jobs_.pop_back();
            return false;
        }
        ++threads_;
        ++idle_;  // it takes the job as soon as it runs
        return true;
    }

    pooled_thread_counts counts() const
    {
        std::lock_guard lock(mutex_);
        return {threads_, idle_};
    }

private:
    void serve()
    {
        std::unique_lock lock(mutex_);
        for (;;) {
            if (!wanted_.wait_for(lock, idle_limit, [this] { return !jobs_.empty(); }))
                break;
            --idle_;
            queued_job job = std::move(jobs_.front());
            jobs_.pop_front();
            lock.unlock();
            job.work();
            job.work = nullptr;  // what it holds is released before join returns
            lock.lock();
            // Idle again before the joiner goes on, so the job it starts
            // next finds this thread instead of starting one.
            ++idle_;
            std::lock_guard ended(job.state->mutex);
            job.state->done = true;
            job.state->ended.notify_all();
        }
        --idle_;
        --threads_;
    }

    mutable std::mutex mutex_;
    std::condition_variable wanted_;
    std::deque<queued_job> jobs_;
    int idle_ = 0;
    int threads_ = 0;
};

}  // namespace

pooled_job run_pooled(std::function<void()> job)
{
    auto state = std::make_shared<pooled_job::state>();
    pooled_job handle;
    if (job_pool::instance().submit({std::move(job), state}))
        handle.state_ = std::move(state);
    return handle;
}

pooled_thread_counts pooled_threads()
{
    return job_pool::instance().counts();
}

}  // namespace qvtf
