#include "browse/pane_busy_lock.h"

#include <chrono>
#include <system_error>

#include "remote/remote_status.h"

namespace qvtf {

int pane_busy_lock::acquire()
{
    std::lock_guard lock(mutex_);
    const auto me = std::this_thread::get_id();
    if (depth_ > 0 && owner_ != me)
        return status_busy;
    owner_ = me;
    ++depth_;
    return status_ok;
}

int pane_busy_lock::acquire_waiting(int ms, const std::atomic<bool>* cancel)
{
    const auto me = std::this_thread::get_id();
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms > 0 ? ms : 0);
    std::unique_lock lock(mutex_);
    released_.wait_until(lock, deadline, [&] { return depth_ == 0 || owner_ == me || (cancel && cancel->load()); });
    if ((cancel && cancel->load()) || (depth_ > 0 && owner_ != me))
        return status_busy;
    owner_ = me;
    ++depth_;
    return status_ok;
}

void pane_busy_lock::release()
{
    {
        std::lock_guard lock(mutex_);
        if (depth_ == 0 || owner_ != std::this_thread::get_id())
            return;
        if (--depth_ > 0)
            return;
        owner_ = std::thread::id();
    }
    released_.notify_all();
}

bool pane_busy_lock::held_by_caller() const
{
    std::lock_guard lock(mutex_);
    return depth_ > 0 && owner_ == std::this_thread::get_id();
}

bool pane_busy_lock::held() const
{
    std::lock_guard lock(mutex_);
    return depth_ > 0;
}

void pane_busy_lock::wake_waiters()
{
    // Taking the mutex orders the waker's change of *cancel before the
    // waiters' next look at it.
    {
        std::lock_guard lock(mutex_);
    }
    released_.notify_all();
}

bool lister_tasks::start(std::function<void()> work)
{
    {
        std::lock_guard lock(mutex_);
        ++running_;
    }
    try {
        std::thread([this, work = std::move(work)]() mutable {
            work();
            work = nullptr;  // its captures go before the pane may
            std::lock_guard lock(mutex_);
            // Notified under the mutex: once the waiter sees zero it may
            // destroy this object, and nothing here touches it after that.
            if (--running_ == 0)
                idle_.notify_all();
        }).detach();
    } catch (const std::system_error&) {
        std::lock_guard lock(mutex_);
        if (--running_ == 0)
            idle_.notify_all();
        return false;
    }
    return true;
}

void lister_tasks::wait_idle()
{
    std::unique_lock lock(mutex_);
    idle_.wait(lock, [this] { return running_ == 0; });
}

int32_t lister_tasks::running() const
{
    std::lock_guard lock(mutex_);
    return running_;
}

}  // namespace qvtf
