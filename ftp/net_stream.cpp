#include "ftp/net_stream.h"

#include <cstring>

#include "remote/remote_status.h"

namespace qvtf {

void net_stream::push_chunk(std::string_view bytes)
{
    buffer_.append(bytes.data(), bytes.size());
}

void net_stream::pop_chunk()
{
    // Compact only once the consumed prefix is large, so a reply of many short
    // lines does not move the rest of the buffer for every line.
    if (read_pos_ == buffer_.size()) {
        buffer_.clear();
        read_pos_ = 0;
    } else if (read_pos_ > 65536 && read_pos_ > buffer_.size() / 2) {
        buffer_.erase(0, read_pos_);
        read_pos_ = 0;
    }
}

int net_stream::next_char()
{
    if (read_pos_ < buffer_.size())
        return static_cast<unsigned char>(buffer_[read_pos_++]);
    return ended_ ? end_of_stream : need_input;
}

void net_stream::reset_stream()
{
    buffer_.clear();
    buffer_.shrink_to_fit();
    read_pos_ = 0;
    ended_ = false;
}

int net_stream::read_line(std::string& out)
{
    out.clear();
    const std::size_t limit = line_limit_ > 0 ? static_cast<std::size_t>(line_limit_) : 1;
    for (;;) {
        if (read_pos_ >= buffer_.size()) {
            if (ended_)
                return status_stream_ended;
            pop_chunk();
            fill_input();
            if (stream_state() > max_buffered)
                return status_input_too_large;
            if (read_pos_ >= buffer_.size()) {
                if (ended_)
                    return status_stream_ended;
                continue;
            }
        }
        // Scan the buffered run up to the next line feed in one step.
        const char* start = buffer_.data() + read_pos_;
        const std::size_t avail = buffer_.size() - read_pos_;
        const void* lf = std::memchr(start, '\n', avail);
        const std::size_t run = lf ? static_cast<std::size_t>(static_cast<const char*>(lf) - start) : avail;
        for (std::size_t i = 0; i < run; ++i) {
            if (start[i] == '\r')
                continue;
            out.push_back(start[i]);
            if (out.size() >= limit) {
                read_pos_ += i + 1;
                return status_line_too_long;
            }
        }
        read_pos_ += run;
        if (lf) {
            ++read_pos_;
            return 0;
        }
    }
}

}  // namespace qvtf
