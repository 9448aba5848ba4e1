#include "core/qxpipe.h"

namespace qvtf {

namespace {

int32_t chunk_length(qxval& chunk)
{
    chunk.convert_to(qxval_kind::string);
    return chunk.text.length;
}

}  // namespace

void qxpipe::queue_locked(qxval& chunk, int32_t length)
{
    chunks_.push(chunk);
    queued_ += length;
    wake(chunk_waits_);
}

bool qxpipe::push_bounded(qxval& chunk)
{
    int32_t length = chunk_length(chunk);
    std::lock_guard<std::mutex> lock(mutex_);
    if (!fits_locked(length))
        return false;
    queue_locked(chunk, length);
    return true;
}

void qxpipe::push(qxval& chunk)
{
    int32_t length = chunk_length(chunk);
    std::lock_guard<std::mutex> lock(mutex_);
    queue_locked(chunk, length);
}

bool qxpipe::shift_or_status(qxval& out, uint32_t& status)
{
    std::lock_guard<std::mutex> lock(mutex_);
    status = status_.load(std::memory_order_acquire);
    if (!chunks_.shift(out))
        return false;
    queued_ -= out.text.length;
    if (room_waits_.count > 0 && fits_locked(room_wanted_))
        room_waits_.changed.notify_all();
    return true;
}

bool qxpipe::shift(qxval& out)
{
    uint32_t ignored;
    return shift_or_status(out, ignored);
}

void qxpipe::raise(uint32_t bits)
{
    std::lock_guard<std::mutex> lock(mutex_);
    status_.fetch_or(bits, std::memory_order_acq_rel);
    wake(chunk_waits_);
    wake(room_waits_);
    wake(status_waits_);
}

int32_t qxpipe::queued_bytes() const
{
    std::lock_guard<std::mutex> lock(mutex_);
    return queued_;
}

template <class Pred>
bool qxpipe::wait_locked(std::unique_lock<std::mutex>& lock, waits& on, std::chrono::milliseconds max, Pred ready)
{
    if (ready())
        return true;
    ++on.count;
    on.changed.wait_for(lock, max, ready);
    --on.count;
    return ready();
}

bool qxpipe::wait_for_room(int32_t length, uint32_t stop, std::chrono::milliseconds max)
{
    std::unique_lock<std::mutex> lock(mutex_);
    // Several room waiters are woken once the smallest need fits.
    room_wanted_ = room_waits_.count == 0 ? length : std::min(room_wanted_, length);
    wait_locked(lock, room_waits_, max, [&] { return fits_locked(length) || (status_.load() & stop); });
    return fits_locked(length);
}

bool qxpipe::wait_for_chunk(uint32_t stop, std::chrono::milliseconds max)
{
    std::unique_lock<std::mutex> lock(mutex_);
    wait_locked(lock, chunk_waits_, max, [&] { return chunks_.head != nullptr || (status_.load() & stop); });
    return chunks_.head != nullptr;
}

bool qxpipe::wait_for_status(uint32_t bits, std::chrono::milliseconds max)
{
    std::unique_lock<std::mutex> lock(mutex_);
    return wait_locked(lock, status_waits_, max, [&] { return (status_.load() & bits) != 0; });
}

bool qxpipe::push_waiting(qxval& chunk, uint32_t stop)
{
    while (!push_bounded(chunk)) {
        if (any(stop))
            return false;
        wait_for_room(chunk.text.length, stop);
    }
    return true;
}

void qxpipe::make_chunk(qxval& out, int32_t n)
{
    out.set_string("");
    {
        std::lock_guard<std::mutex> lock(spare_mutex_);
        if (!spare_.empty()) {
            spare_bytes_ -= spare_.back().capacity;
            out.text.take(spare_.back());
            spare_.pop_back();
        }
    }
    if (out.text.capacity >= n)
        out.text.length = n < 0 ? 0 : n;
    else
        out.text.set_size(n);
}

void qxpipe::recycle(qxval& chunk)
{
    if (!chunk.is_string() || chunk.text.capacity <= 0) {
        chunk.set_string("");
        return;
    }
    {
        std::lock_guard<std::mutex> lock(spare_mutex_);
        if (spare_bytes_ + chunk.text.capacity <= budget) {
            spare_bytes_ += chunk.text.capacity;
            spare_.emplace_back();
            spare_.back().take(chunk.text);
            return;
        }
    }
    chunk.text.release();
}

int64_t qxpipe::spare_bytes()
{
    std::lock_guard<std::mutex> lock(spare_mutex_);
    return spare_bytes_;
}

}  // namespace qvtf
