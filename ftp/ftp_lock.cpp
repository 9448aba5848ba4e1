// The busy lock: one thread at a time uses a session. Re-entrant for its
// owner without a count; a release by any other thread does nothing.
#include <chrono>

#include "ftp/ftp_control.h"

namespace qvtf {

namespace {
// acquire_waiting looks again at least this often, even without a release.
constexpr std::chrono::milliseconds retry_step{100};
}  // namespace

int ftp_control::acquire()
{
    std::lock_guard lock(lock_mutex_);
    const auto me = std::this_thread::get_id();
    if (busy) {
        if (owner_ == me)
            return status_ok;
        return status_busy;
    }
    busy = 1;
    owner_ = me;
    return status_ok;
}

int ftp_control::acquire_waiting(int ms)
{
    const auto me = std::this_thread::get_id();
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms > 0 ? ms : 0);
    std::unique_lock lock(lock_mutex_);
    for (;;) {
        if (!busy || owner_ == me) {
            busy = 1;
            owner_ = me;
            return status_ok;
        }
        const auto now = std::chrono::steady_clock::now();
        if (now >= deadline)
            return status_busy;
        const auto step = std::min<std::chrono::steady_clock::duration>(retry_step, deadline - now);
        lock_released_.wait_for(lock, step);
    }
}

void ftp_control::release()
{
    {
        std::lock_guard lock(lock_mutex_);
        if (!busy || owner_ != std::this_thread::get_id())
            return;
        busy = 0;
        owner_ = std::thread::id();
    }
    lock_released_.notify_all();
}

bool ftp_control::held_by_caller() const
{
    std::lock_guard lock(lock_mutex_);
    return busy && owner_ == std::this_thread::get_id();
}

void ftp_control::mark_busy()
{
    std::lock_guard lock(lock_mutex_);
    // A session that nobody holds becomes the talking thread's, so that the
    // thread can release it again; a holder is left as it is.
    if (!busy)
        owner_ = std::this_thread::get_id();
    busy = 1;
}

}  // namespace qvtf
