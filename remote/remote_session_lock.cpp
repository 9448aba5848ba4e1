#include "remote/remote_session_lock.h"

#include <chrono>

#include "remote/remote_session.h"

namespace qvtf {

namespace {
// acquire_waiting looks again at least this often, even without a release.
constexpr std::chrono::milliseconds retry_step{100};
}  // namespace

bool remote_busy_lock::try_claim_locked()
{
    const auto me = std::this_thread::get_id();
    if (depth_ == 0) {
        owner_ = me;
        depth_ = 1;
        busy_ = 1;
        return true;
    }
    if (!in_transit_ && owner_ == me) {
        ++depth_;
        return true;
    }
    return false;
}

int remote_busy_lock::acquire()
{
    std::lock_guard lock(mutex_);
    return try_claim_locked() ? status_ok : status_busy;
}

int remote_busy_lock::acquire_waiting(int ms)
{
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms > 0 ? ms : 0);
    std::unique_lock lock(mutex_);
    for (;;) {
        if (try_claim_locked())
            return status_ok;
        const auto now = std::chrono::steady_clock::now();
        if (now >= deadline)
            return status_busy;
        const auto step = std::min<std::chrono::steady_clock::duration>(retry_step, deadline - now);
        released_.wait_for(lock, step);
    }
}

void remote_busy_lock::free_locked()
{
    depth_ = 0;
    busy_ = 0;
    in_transit_ = false;
    owner_ = std::thread::id();
}

void remote_busy_lock::release()
{
    {
        std::lock_guard lock(mutex_);
        if (depth_ == 0 || in_transit_ || owner_ != std::this_thread::get_id())
            return;
        if (--depth_ != 0)
            return;
        free_locked();
    }
    released_.notify_all();
}

int remote_busy_lock::hand_over()
{
    std::lock_guard lock(mutex_);
    // A nested holder cannot give away what its outer scopes still count on.
    if (depth_ != 1 || in_transit_ || owner_ != std::this_thread::get_id())
        return status_busy;
    in_transit_ = true;
    owner_ = std::thread::id();
    return status_ok;
}

int remote_busy_lock::take_over()
{
    std::lock_guard lock(mutex_);
    if (!in_transit_)
        return status_busy;
    in_transit_ = false;
    owner_ = std::this_thread::get_id();
    return status_ok;
}

void remote_busy_lock::cancel_hand_over()
{
    {
        std::lock_guard lock(mutex_);
        if (!in_transit_)
            return;
        free_locked();
    }
    released_.notify_all();
}

bool remote_busy_lock::held_by_caller() const
{
    std::lock_guard lock(mutex_);
    return depth_ > 0 && !in_transit_ && owner_ == std::this_thread::get_id();
}

int remote_busy_lock::hold_depth() const
{
    std::lock_guard lock(mutex_);
    return owner_ == std::this_thread::get_id() && !in_transit_ ? depth_ : 0;
}

// ---- remote_session_lock ----

remote_session_lock::remote_session_lock(remote_session& session, int wait_ms) : session_(&session)
{
    status_ = wait_ms > 0 ? session.acquire_waiting(wait_ms) : session.acquire();
}

remote_session_lock::remote_session_lock(remote_handover&& handed) : session_(handed.session_)
{
    handed.session_ = nullptr;
    status_ = session_ ? session_->take_over() : status_busy;
    if (status_ != status_ok && session_)
        session_->cancel_hand_over();
}

remote_session_lock::remote_session_lock(remote_session_lock&& other) noexcept
    : session_(other.session_), status_(other.status_)
{
    other.session_ = nullptr;
    other.status_ = status_busy;
}

remote_session_lock::~remote_session_lock()
{
    unlock();
}

remote_session_lock::operator bool() const
{
    return status_ == status_ok;
}

void remote_session_lock::unlock()
{
    if (session_ && status_ == status_ok)
        session_->release();
    session_ = nullptr;
    status_ = status_busy;
}

remote_handover remote_session_lock::hand_over()
{
    remote_handover handed;
    if (session_ && status_ == status_ok && session_->hand_over() == status_ok) {
        handed.session_ = session_;
        session_ = nullptr;
        status_ = status_busy;
    }
    return handed;
}

remote_handover::remote_handover(remote_handover&& other) noexcept : session_(other.session_)
{
    other.session_ = nullptr;
}

remote_handover::~remote_handover()
{
    // Never received (the thread was not started): the session is free again.
    if (session_)
        session_->cancel_hand_over();
}

}  // namespace qvtf
