// The busy lock: one thread at a time uses a session. Counted per thread,
// so an inner release does not free an outer holder; a release by any
// other thread does nothing. A holder may hand the session to a thread it
// starts; until that thread takes it over, nobody else can acquire it.
#include <chrono>

#include "ftp/ftp_control.h"

namespace qvtf {

namespace {
// acquire_waiting looks again at least this often, even without a release.
constexpr std::chrono::milliseconds retry_step{100};
}  // namespace

bool ftp_control::try_claim_locked()
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

int ftp_control::acquire()
{
    std::lock_guard lock(lock_mutex_);
    return try_claim_locked() ? status_ok : status_busy;
}

int ftp_control::acquire_waiting(int ms)
{
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms > 0 ? ms : 0);
    std::unique_lock lock(lock_mutex_);
    for (;;) {
        if (try_claim_locked())
            return status_ok;
        const auto now = std::chrono::steady_clock::now();
        if (now >= deadline)
            return status_busy;
        const auto step = std::min<std::chrono::steady_clock::duration>(retry_step, deadline - now);
        lock_released_.wait_for(lock, step);
    }
}

void ftp_control::free_locked()
{
    depth_ = 0;
    busy_ = 0;
    in_transit_ = false;
    owner_ = std::thread::id();
}

void ftp_control::release()
{
    {
        std::lock_guard lock(lock_mutex_);
        if (depth_ == 0 || in_transit_ || owner_ != std::this_thread::get_id())
            return;
        if (--depth_ != 0)
            return;
        free_locked();
    }
    lock_released_.notify_all();
}

int ftp_control::hand_over()
{
    std::lock_guard lock(lock_mutex_);
    // A nested holder cannot give away what its outer scopes still count on.
    if (depth_ != 1 || in_transit_ || owner_ != std::this_thread::get_id())
        return status_busy;
    in_transit_ = true;
    owner_ = std::thread::id();
    return status_ok;
}

int ftp_control::take_over()
{
    std::lock_guard lock(lock_mutex_);
    if (!in_transit_)
        return status_busy;
    in_transit_ = false;
    owner_ = std::this_thread::get_id();
    return status_ok;
}

void ftp_control::cancel_hand_over()
{
    {
        std::lock_guard lock(lock_mutex_);
        if (!in_transit_)
            return;
        free_locked();
    }
    lock_released_.notify_all();
}

bool ftp_control::held_by_caller() const
{
    std::lock_guard lock(lock_mutex_);
    return depth_ > 0 && !in_transit_ && owner_ == std::this_thread::get_id();
}

int ftp_control::hold_depth() const
{
    std::lock_guard lock(lock_mutex_);
    return owner_ == std::this_thread::get_id() && !in_transit_ ? depth_ : 0;
}

// ---- ftp_session_lock ----

ftp_session_lock::ftp_session_lock(ftp_control& session, int wait_ms) : session_(&session)
{
    status_ = wait_ms > 0 ? session.acquire_waiting(wait_ms) : session.acquire();
}

ftp_session_lock::ftp_session_lock(ftp_handover&& handed) : session_(handed.session_)
{
    handed.session_ = nullptr;
    status_ = session_ ? session_->take_over() : status_busy;
    if (status_ != status_ok && session_)
        session_->cancel_hand_over();
}

ftp_session_lock::ftp_session_lock(ftp_session_lock&& other) noexcept
    : session_(other.session_), status_(other.status_)
{
    other.session_ = nullptr;
    other.status_ = status_busy;
}

ftp_session_lock::~ftp_session_lock() { unlock(); }

void ftp_session_lock::unlock()
{
    if (session_ && status_ == status_ok)
        session_->release();
    session_ = nullptr;
    status_ = status_busy;
}

ftp_handover ftp_session_lock::hand_over()
{
    ftp_handover handed;
    if (session_ && status_ == status_ok && session_->hand_over() == status_ok) {
        handed.session_ = session_;
        session_ = nullptr;
        status_ = status_busy;
    }
    return handed;
}

ftp_handover::ftp_handover(ftp_handover&& other) noexcept : session_(other.session_)
{
    other.session_ = nullptr;
}

ftp_handover::~ftp_handover()
{
    // Never received (the thread was not started): the session is free again.
    if (session_)
        session_->cancel_hand_over();
}

}  // namespace qvtf
