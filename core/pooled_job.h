#pragma once
// Short jobs on reused threads. Every file transfer runs two helpers (its
// data connection and its file side); for small files, starting and ending
// two threads each time costs more than the transfer. Idle threads wait a
// few seconds for the next job, then end.

#include <functional>
#include <memory>

namespace qvtf {

// A handle on one job, used like a std::thread: join() waits until the job
// has returned and its callable is destroyed. Unlike a thread, a handle
// that is destroyed or assigned to while its job runs joins it first.
class pooled_job {
public:
    struct state;

    pooled_job() = default;
    pooled_job(pooled_job&&) noexcept = default;
    pooled_job& operator=(pooled_job&& other) noexcept
    {
        if (this != &other) {
            join();
            state_ = std::move(other.state_);
        }
        return *this;
    }
    ~pooled_job() { join(); }

    bool joinable() const { return state_ != nullptr; }
    void join();

private:
    friend pooled_job run_pooled(std::function<void()> job);
    std::shared_ptr<state> state_;
};

// Runs job on an idle pooled thread, or on a new one. The handle is not
// joinable when no thread could be started; the job did not run then.
pooled_job run_pooled(std::function<void()> job);

// The pool's threads now: all of them, and those waiting for a job.
struct pooled_thread_counts {
    int threads = 0;
    int idle = 0;
};
pooled_thread_counts pooled_threads();

}  // namespace qvtf
