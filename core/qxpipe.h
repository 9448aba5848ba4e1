#pragma once
// qxpipe: the bounded queue of data chunks between the two threads of one
// transfer (the data connection and a file or listing thread), with the
// status bits through which each side tells the other how it is doing.
//
// The pipe holds its list privately: every operation here takes the lock,
// so all of them are safe from both threads.
//
// Both ends wait on the pipe itself. A wait ends as soon as what it waits
// for holds, and never lasts longer than wait_step. Each kind of wait has a
// condition variable of its own and is notified only when a thread waits
// there and its condition has come true: a chunk for the consumer, room for
// the producer's chunk, a status change for anyone. So a hand-over costs a
// wake-up only when the other side is asleep, and the caller's thread that
// waits for the end is never woken by the chunks passing through.

#include <algorithm>
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

class qxpipe {
public:
    static constexpr int32_t default_budget = 1048576;
    // The size of the chunks both sides of a file transfer move: large
    // enough that the system calls and hand-overs per chunk cost little
    // beside the copying, small enough that several fit the budget so
    // both sides keep working.
    static constexpr int32_t transfer_chunk = 262144;
    static constexpr std::chrono::milliseconds wait_step{50};

    int32_t budget;  // at most this many queued bytes

    explicit qxpipe(int32_t budget_bytes = default_budget) : budget(budget_bytes) {}
    qxpipe(const qxpipe&) = delete;
    qxpipe& operator=(const qxpipe&) = delete;

    // Queues the chunk (taken over) unless it would take the queued bytes
    // past the budget; then nothing is queued and the chunk stays the caller's.
    bool push_bounded(qxval& chunk);
    // Queues without the budget; counted like any other chunk.
    void push(qxval& chunk);
    // Takes the head chunk; false when the pipe is empty.
    bool shift(qxval& out);
    // As shift; status receives the bits as they were when the pipe was
    // found empty or the chunk taken, so "empty and producer done" is
    // never a stale combination.
    bool shift_or_status(qxval& out, uint32_t& status);

    uint32_t status() const { return status_.load(std::memory_order_acquire); }
    bool any(uint32_t bits) const { return (status() & bits) != 0; }
    // ORs bits into the status and wakes every waiter.
    void raise(uint32_t bits);
    int32_t queued_bytes() const;
    // The chunk size a producer should offer: transfer_chunk, or a quarter
    // of a smaller budget, since a chunk above the budget never fits.
    int32_t chunk_size() const { return std::max(1, std::min(transfer_chunk, budget / 4)); }

    // Each wait ends when its condition holds, when a status bit of stop
    // shows, or after max; the result tells whether the condition holds.
    bool wait_for_room(int32_t length, uint32_t stop, std::chrono::milliseconds max = wait_step);
    bool wait_for_chunk(uint32_t stop, std::chrono::milliseconds max = wait_step);
    bool wait_for_status(uint32_t bits, std::chrono::milliseconds max = wait_step);

    // push_bounded, waiting for room, until queued or a bit of stop shows.
    // A chunk above the whole budget never fits: offer at most 1 MiB.
    bool push_waiting(qxval& chunk, uint32_t stop);

    // Buffer reuse between the two sides. Allocating and freeing a large
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
    struct waits {
        std::condition_variable changed;
        int count = 0;  // threads waiting here, under mutex_
    };
    template <class Pred>
    bool wait_locked(std::unique_lock<std::mutex>& lock, waits& on, std::chrono::milliseconds max, Pred ready);
    static void wake(waits& on)
    {
        if (on.count > 0)
            on.changed.notify_all();
    }
    bool fits_locked(int64_t length) const { return queued_ + length <= budget; }
    void queue_locked(qxval& chunk, int32_t length);

    mutable std::mutex mutex_;
    qxarr chunks_;             // under mutex_
    int32_t queued_ = 0;       // sum of the queued chunk lengths, under mutex_
    waits chunk_waits_;        // a consumer waiting for a chunk
    waits room_waits_;         // a producer waiting for room
    int32_t room_wanted_ = 0;  // the least room a room waiter needs, under mutex_
    waits status_waits_;       // anyone waiting for status bits only
    std::atomic<uint32_t> status_{0};

    std::mutex spare_mutex_;
    std::vector<qxchar> spare_;  // under spare_mutex_
    int64_t spare_bytes_ = 0;    // their capacities, under spare_mutex_
};

}  // namespace qvtf
