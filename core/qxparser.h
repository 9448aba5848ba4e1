#pragma once
// qxparser: a byte reader over a queue of input chunks (oldest first), the
// base of every incremental scanner. Input arrives with push; the scanner
// pulls bytes with next_byte and may be run again whenever more input has
// arrived. Chunks that have been read completely are "consumed" and can be
// handed back with shift, so a long stream need not stay in memory.

#include <cstdint>

#include "core/qxarr.h"

namespace qvtf {

class qxparser : public qxarr {
public:
    // next_byte results besides 0..255.
    static constexpr int need_input = -2;
    static constexpr int end_of_input = -1;
    // run results.
    static constexpr int run_more = 0;
    static constexpr int run_done = 2;

    int32_t limit = 65536;         // pending-input limit in bytes
    bool ended = false;            // no more input will follow
    int32_t consumed = 0;          // chunks read completely and not yet shifted
    int32_t read_pos = -1;         // last byte read in the current chunk
    qxarrnode* current = nullptr;  // chunk being read
    int64_t bytes_read = -1;       // bytes handed out, -1 at start

    qxparser() = default;

    // Hands back the oldest consumed chunk; false when none is consumed.
    bool shift(qxval& out) override;
    // 0..255, need_input when the queue is exhausted, end_of_input after end.
    virtual int next_byte();
    virtual void reset_reader();
    // Base: counts every chunk as consumed; run_done once the input ended.
    virtual int run();

    void end_input() { ended = true; }
    // Total length of the queued chunks is within limit.
    bool within_limit() const;
    // Splits the current chunk so the bytes read so far become a consumed
    // chunk of their own in front of the unread rest.
    void give_back_unread();
    // Shifts every consumed chunk away.
    void drop_consumed();

protected:
    // Bulk access for scanners that need no per-byte hook: the unread rest of
    // the current chunk (moving on to the next chunk as next_byte does), or
    // need_input / end_of_input. advance() then consumes n of those bytes.
    int peek_span(const char*& data, int32_t& length);
    void advance(int32_t n)
    {
        read_pos += n;
        bytes_read += n;
    }

private:
    bool enter_next_chunk();
    // The current chunk was read to its end and already counted as consumed.
    bool current_counted_ = false;
};

}  // namespace qvtf
