#include "core/qxpipe.h"

namespace qvtf {

namespace {

int32_t chunk_length(qxval& chunk)
{
    chunk.convert_to(qxval_kind::string);
    return chunk.text.length;
}

}  // namespace

bool qxpipe::push_bounded(qxval& chunk)
{
    int32_t length = chunk_length(chunk);
    std::lock_guard<std::mutex> lock(mutex_);
    if (!fits_locked(length))
        return false;
    qxarrnode* node = make_node(chunk);
    if (!node)
        return false;
    link_tail(node);
    queued_ += length;
    wake_locked();
    return true;
}

void qxpipe::push(qxval& chunk)
{
    int32_t length = chunk_length(chunk);
    std::lock_guard<std::mutex> lock(mutex_);
    qxarrnode* node = make_node(chunk);
    if (!node)
        return;
    link_tail(node);
    queued_ += length;
    wake_locked();
}

bool qxpipe::shift_or_status(qxval& out, uint32_t& status)
{
    qxarrnode* node;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        status = status_.load(std::memory_order_acquire);
        node = head;
        if (!node)
            return false;
        unlink(node);
        queued_ -= node->value.text.length;
        wake_locked();
    }
    out.assign_move(node->value);
    delete node;
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
    wake_locked();
}

int32_t qxpipe::queued_bytes() const
{
    std::lock_guard<std::mutex> lock(mutex_);
    return queued_;
}

template <class Pred>
bool qxpipe::wait_locked(std::unique_lock<std::mutex>& lock, std::chrono::milliseconds max, Pred ready)
{
    if (ready())
        return true;
    ++waiters_;
    changed_.wait_for(lock, max, ready);
    --waiters_;
    return ready();
}

bool qxpipe::wait_for_room(int32_t length, uint32_t stop, std::chrono::milliseconds max)
{
    std::unique_lock<std::mutex> lock(mutex_);
    wait_locked(lock, max, [&] { return fits_locked(length) || (status_.load() & stop); });
    return fits_locked(length);
}

bool qxpipe::wait_for_chunk(uint32_t stop, std::chrono::milliseconds max)
{
    std::unique_lock<std::mutex> lock(mutex_);
    wait_locked(lock, max, [&] { return head != nullptr || (status_.load() & stop); });
    return head != nullptr;
}

bool qxpipe::wait_for_status(uint32_t bits, std::chrono::milliseconds max)
{
    std::unique_lock<std::mutex> lock(mutex_);
    return wait_locked(lock, max, [&] { return (status_.load() & bits) != 0; });
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
