// The busy lock of a pane, and the worker threads its operations run on.
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <thread>

namespace qvtf {

// Owned by one thread at a time. The owner may take it again; each take is
// matched by a release, so a nested operation cannot free the lock under the
// one that encloses it. A release by any other thread does nothing.
class pane_busy_lock {
public:
    // 0, or 6014 while another thread holds it.
    int acquire();
    // As acquire, waiting up to ms for a release; the wait also ends when
    // *cancel becomes true (then wake_waiters must be called).
    int acquire_waiting(int ms, const std::atomic<bool>* cancel = nullptr);
    void release();
    bool held_by_caller() const;
    bool held() const;
    void wake_waiters();

private:
    mutable std::mutex mutex_;
    std::condition_variable released_;
    std::thread::id owner_;
    int32_t depth_ = 0;
};

// Threads started for single operations; the destructor waits for them, so
// no operation outlives the pane it works on.
class lister_tasks {
public:
    lister_tasks() = default;
    lister_tasks(const lister_tasks&) = delete;
    lister_tasks& operator=(const lister_tasks&) = delete;
    ~lister_tasks() { wait_idle(); }

    // false when the thread could not be started.
    bool start(std::function<void()> work);
    // Blocks until every started operation has ended.
    void wait_idle();
    int32_t running() const;

private:
    mutable std::mutex mutex_;
    std::condition_variable idle_;
    int32_t running_ = 0;
};

}  // namespace qvtf
