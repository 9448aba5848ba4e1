#pragma once
// qxpipe: the bounded queue of data chunks between the two threads of one
// transfer (the data connection and a file or listing thread), with the
// status bits through which each side tells the other how it is doing.
//
// Only the operations declared here are safe from both threads; the other
// list operations inherited from qxarr take no lock.
//
// Both ends wait on the pipe itself: every push, shift and status change
// wakes a waiter at once, and no wait lasts longer than wait_step, so a side
// that polls by habit still sees a change within one step.

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <vector>

#include "core/qxarr.h"

namespace qvtf {

// Status bits. A side that fails raises its finished bit too (3, 48).
enum pipe_status : uint32_t {
    pipe_producer_done = 1,
    pipe_producer_failed = 3,
    pipe_stop = 4,
    pipe_consumer_done = 16,
    pipe_consumer_failed = 48,
};

class qxpipe : public qxarr {
public:
    static constexpr int32_t default_budget = 1048576;
    static constexpr std::chrono::milliseconds wait_step{50};

    int32_t budget;  // at most this many queued bytes

    explicit qxpipe(int32_t budget_bytes = default_budget) : budget(budget_bytes) {}
    ~qxpipe() override = default;

    // Queues the chunk (taken over) unless it would take the queued bytes
    // past the budget; then nothing is queued and the chunk stays the caller's.
    bool push_bounded(qxval& chunk);
    // Queues without the budget; counted like any other chunk.
    void push(qxval& chunk) override;
    // Takes the head chunk; false when the pipe is empty.
    bool shift(qxval& out) override;
    // As shift; status receives the bits as they were when the pipe was
    // found empty or the chunk taken, so "empty and producer done" is
    // never a stale combination.
    bool shift_or_status(qxval& out, uint32_t& status);

    uint32_t status() const { return status_.load(std::memory_order_acquire); }
    bool any(uint32_t bits) const { return (status() & bits) != 0; }
    // ORs bits into the status and wakes every waiter.
    void raise(uint32_t bits);
    int32_t queued_bytes() const;

    // Each wait ends when its condition holds, when a status bit of stop
    // shows, or after max; the result tells whether the condition holds.
    bool wait_for_room(int32_t length, uint32_t stop, std::chrono::milliseconds max = wait_step);
    bool wait_for_chunk(uint32_t stop, std::chrono::milliseconds max = wait_step);
    bool wait_for_status(uint32_t bits, std::chrono::milliseconds max = wait_step);

    // push_bounded, waiting for room, until queued or a bit of stop shows.
    // A chunk above the whole budget never fits: offer at most 1 MiB.
    bool push_waiting(qxval& chunk, uint32_t stop);

    // Buffer reuse between the two sides. Allocating and freeing a 16 KiB
    // block per chunk on different threads makes the allocator hand memory
    // back and fault it in again for every chunk, which costs more than the
    // whole hand-over; so the consumer returns emptied buffers here and the
    // producer takes them for its next chunk.
    // out becomes a string of length n (content undefined).
    void make_chunk(qxval& out, int32_t n);
    // Keeps chunk's buffer for make_chunk while the spare buffers stay within
    // the budget (so a pipe never holds more than twice it); chunk ends empty.
    void recycle(qxval& chunk);
    int64_t spare_bytes();

private:
    template <class Pred>
    bool wait_locked(std::unique_lock<std::mutex>& lock, std::chrono::milliseconds max, Pred ready);
    void wake_locked()
    {
        if (waiters_ > 0)
            changed_.notify_all();
    }
    bool fits_locked(int64_t length) const { return queued_ + length <= budget; }

    mutable std::mutex mutex_;
    std::condition_variable changed_;
    int waiters_ = 0;      // threads inside a wait, under mutex_
    int32_t queued_ = 0;   // sum of the queued chunk lengths, under mutex_
    std::atomic<uint32_t> status_{0};

    std::mutex spare_mutex_;
    std::vector<qxchar> spare_;  // under spare_mutex_
    int64_t spare_bytes_ = 0;    // their capacities, under spare_mutex_
};

}  // namespace qvtf
