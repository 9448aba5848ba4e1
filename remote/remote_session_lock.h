// The busy lock of a remote session. A session is used by one thread at a
// time: the holder. A thread that sends a command (or reads a reply) on a
// session nobody holds holds it for that command only; a thread that needs
// several steps in a row takes the lock first (remote_session_lock). A step
// on a session another thread holds is refused with 6014 and nothing is
// sent. Counted per thread, so an inner release does not free an outer
// holder; a release by any other thread does nothing. A holder may hand the
// session to a thread it starts; until that thread takes it over, nobody
// else can acquire it.
#pragma once

#include <atomic>
#include <condition_variable>
#include <mutex>
#include <thread>

namespace qvtf {

class remote_busy_lock {
public:
    // 0 when the calling thread now holds the session (each acquire is
    // counted and needs its release), 6014 when another thread does.
    int acquire();
    // As acquire, waiting up to ms milliseconds for a release.
    int acquire_waiting(int ms);
    // Undoes one acquire of the calling thread; ignored for any other thread.
    void release();
    // The holder (not nested) gives up the session without freeing it: it
    // stays busy until a thread calls take_over. 0, or 6014 when the caller
    // does not hold it exactly once.
    int hand_over();
    // The calling thread becomes the holder of a handed-over session; 6014
    // when none is in transit.
    int take_over();
    // A hand-over nobody took: the session becomes free.
    void cancel_hand_over();
    // 1 while the session is held or handed over; other threads read it to
    // see whether the session is in use (the scheduler, the idle logic).
    int busy() const { return busy_.load(); }
    bool held_by_caller() const;
    // How often the calling thread holds the session (0: not at all).
    int hold_depth() const;

private:
    bool try_claim_locked();
    void free_locked();

    mutable std::mutex mutex_;
    std::condition_variable released_;
    // Under mutex_: the holder, how often it holds the session, and whether
    // the session is on its way to another thread.
    std::thread::id owner_;
    int depth_ = 0;
    bool in_transit_ = false;
    std::atomic<int> busy_{0};
};

class remote_session;
class remote_session_lock;

// A session on its way from its holder to another thread: move it into the
// thread and construct a remote_session_lock from it there. Destroyed
// without that, it frees the session.
class remote_handover {
public:
    remote_handover() = default;
    remote_handover(remote_handover&& other) noexcept;
    remote_handover& operator=(remote_handover&&) = delete;
    ~remote_handover();
    explicit operator bool() const { return session_ != nullptr; }

private:
    friend class remote_session_lock;
    remote_session* session_ = nullptr;
};

// Holds a session for a scope: acquire (or acquire_waiting) on construction,
// release on destruction. Check it before use: false means 6014.
class remote_session_lock {
public:
    explicit remote_session_lock(remote_session& session, int wait_ms = 0);
    // On the receiving thread: takes over a handed-over session.
    explicit remote_session_lock(remote_handover&& handed);
    remote_session_lock(remote_session_lock&& other) noexcept;
    remote_session_lock& operator=(remote_session_lock&&) = delete;
    ~remote_session_lock();

    explicit operator bool() const;
    int status() const { return status_; }
    // Releases early.
    void unlock();
    // Passes the claim to another thread (see remote_handover); this holder
    // then holds nothing. Empty when the claim cannot be passed (not held,
    // or held more than once by this thread).
    remote_handover hand_over();

private:
    remote_session* session_;
    int status_;
};

}  // namespace qvtf
