#include "sftp/sftp_write_pipeline.h"

#include <libssh/libssh.h>
#include <libssh/sftp.h>

#include <algorithm>
#include <cstring>

namespace qvtf {

namespace {

constexpr unsigned char fxp_write = 6;
constexpr unsigned char fxp_status = 101;
// A status reply is small; anything larger is not one.
constexpr uint32_t largest_reply = 16 * 1024;

void put32(char* at, uint32_t v)
{
    at[0] = static_cast<char>(v >> 24);
    at[1] = static_cast<char>(v >> 16);
    at[2] = static_cast<char>(v >> 8);
    at[3] = static_cast<char>(v);
}

void put64(char* at, uint64_t v)
{
    put32(at, static_cast<uint32_t>(v >> 32));
    put32(at + 4, static_cast<uint32_t>(v));
}

uint32_t get32(const unsigned char* at)
{
    return (uint32_t{at[0]} << 24) | (uint32_t{at[1]} << 16) | (uint32_t{at[2]} << 8) | uint32_t{at[3]};
}

}  // namespace

sftp_write_pipeline::sftp_write_pipeline(sftp_session_struct* sftp, sftp_file_struct* file, std::size_t chunk,
                                         std::size_t depth)
    : sftp_(sftp),
      depth_(std::max<std::size_t>(1, depth)),
      handle_size_(ssh_string_len(file->handle)),
      // length, type, id, handle, offset, data length
      header_size_(4 + 1 + 4 + 4 + handle_size_ + 8 + 4)
{
    packet_.resize(header_size_ + chunk);
    reply_.resize(largest_reply);
    put32(packet_.data() + 9, static_cast<uint32_t>(handle_size_));
    std::memcpy(packet_.data() + 13, ssh_string_data(file->handle), handle_size_);
}

bool sftp_write_pipeline::send(std::size_t n, uint64_t offset)
{
    if (failed_)
        return false;
    if (pending_.size() >= depth_ && !collect())
        return settle();
    const uint32_t id = ++sftp_->id_counter;
    char* p = packet_.data();
    put32(p, static_cast<uint32_t>(header_size_ - 4 + n));
    p[4] = static_cast<char>(fxp_write);
    put32(p + 5, id);
    put64(p + 13 + handle_size_, offset);
    put32(p + 21 + handle_size_, static_cast<uint32_t>(n));
    const std::size_t total = header_size_ + n;
    // Blocks while the channel's window is full; libssh keeps the replies
    // that arrive meanwhile in the channel's buffer.
    if (ssh_channel_write(sftp_->channel, p, static_cast<uint32_t>(total)) != static_cast<int>(total)) {
        broken_ = true;
        return settle();
    }
    pending_.push_back({id, n});
    return true;
}

bool sftp_write_pipeline::finish()
{
    while (!pending_.empty())
        if (!collect())
            return settle();
    return !failed_;
}

bool sftp_write_pipeline::settle()
{
    failed_ = true;
    // A refused write leaves the others in flight; their replies are read
    // and dropped, so the session's next request finds the channel clear.
    while (!broken_ && !pending_.empty())
        collect();
    sftp_->errnum = broken_ ? SSH_FX_CONNECTION_LOST : refusal_;
    return false;
}

bool sftp_write_pipeline::read_exact(unsigned char* to, std::size_t n)
{
    while (n > 0) {
        // Blocks up to the session's time-out; 0 means it passed or the
        // server ended the channel.
        const int got = ssh_channel_read(sftp_->channel, to, static_cast<uint32_t>(n), 0);
        if (got <= 0)
            return false;
        to += got;
        n -= static_cast<std::size_t>(got);
    }
    return true;
}

bool sftp_write_pipeline::collect()
{
    unsigned char length[4];
    if (!read_exact(length, sizeof length)) {
        broken_ = true;
        return false;
    }
    const uint32_t size = get32(length);
    // Not a status reply: the channel no longer carries what we think.
    if (size < 9 || size > largest_reply || !read_exact(reply_.data(), size) || reply_[0] != fxp_status) {
        broken_ = true;
        return false;
    }
    const uint32_t id = get32(reply_.data() + 1);
    const auto answered =
        std::find_if(pending_.begin(), pending_.end(), [id](const in_flight& w) { return w.id == id; });
    if (answered == pending_.end()) {
        broken_ = true;
        return false;
    }
    const std::size_t bytes = answered->bytes;
    pending_.erase(answered);
    const uint32_t code = get32(reply_.data() + 5);
    if (code == SSH_FX_OK) {
        confirmed_ += static_cast<int64_t>(bytes);
        return true;
    }
    if (refusal_ == SSH_FX_OK) {
        refusal_ = static_cast<int>(code);
        if (size >= 13) {
            const uint32_t text = get32(reply_.data() + 9);
            if (text <= size - 13)
                message_.assign(reinterpret_cast<const char*>(reply_.data() + 13), text);
        }
    }
    return false;
}

}  // namespace qvtf
