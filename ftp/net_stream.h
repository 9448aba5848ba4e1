// Buffered input stream under the FTP control connection: bytes arrive in
// chunks through fill_input and are read back one character or one line at a
// time, with bounds on both the unread input and the length of a line.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace qvtf {

class net_stream {
public:
    // Unread input beyond this fails the read (a server flooding us).
    static constexpr std::size_t max_buffered = 16777216;
    static constexpr int end_of_stream = -1;
    static constexpr int need_input = -2;

    net_stream() = default;
    virtual ~net_stream() = default;
    net_stream(const net_stream&) = delete;
    net_stream& operator=(const net_stream&) = delete;

    virtual void push_chunk(std::string_view bytes);
    // Drops the bytes already read, so a long session does not keep them.
    virtual void pop_chunk();
    // 0..255, need_input when the buffer is empty, end_of_stream after
    // mark_end and once everything buffered was read.
    virtual int next_char();
    virtual void reset_stream();
    // Unread bytes in the buffer.
    virtual std::size_t stream_state() const { return buffer_.size() - read_pos_; }

    // Asks the source for more input; the base has none and marks the end.
    virtual void fill_input() { mark_end(); }

    void mark_end() { ended_ = true; }
    bool ended() const { return ended_; }

    // Reads one line into out (line feed removed, carriage returns dropped
    // wherever they stand). Returns 0, 2003 when more than max_buffered bytes
    // are waiting, 2004 at the end of the stream, 2005 when the line reaches
    // line_limit characters.
    int read_line(std::string& out);

    int line_limit() const { return line_limit_; }
    void set_line_limit(int limit) { line_limit_ = limit; }

private:
    std::string buffer_;
    std::size_t read_pos_ = 0;
    bool ended_ = false;
    int line_limit_ = 998;
};

}  // namespace qvtf
