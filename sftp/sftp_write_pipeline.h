// sftp_write_pipeline: writes to an open remote file with several requests
// in flight. libssh's sftp_write waits for each write's status before the
// next goes out, which leaves both ends idle for a round trip per chunk;
// here the next chunks travel while the server stores the earlier ones.
//
// The requests go out on the SFTP channel itself, numbered from the
// session's own counter, and every reply is read back before the caller
// uses the session again: libssh reads whole packets only, so between its
// requests the channel is at a packet boundary and none of its own replies
// can be waiting there.
#pragma once

#include <cstddef>
#include <cstdint>
#include <deque>
#include <string>
#include <vector>

struct sftp_session_struct;
struct sftp_file_struct;

namespace qvtf {

class sftp_write_pipeline {
public:
    // depth: writes in flight at most; chunk: the largest write.
    sftp_write_pipeline(sftp_session_struct* sftp, sftp_file_struct* file, std::size_t chunk, std::size_t depth);

    // Where the caller puts the next chunk's bytes (chunk bytes of room).
    char* buffer() { return packet_.data() + header_size_; }
    // Sends the n bytes in buffer() for the given offset; when depth writes
    // are in flight, the oldest reply is awaited first. false: a reply
    // refused a write or the channel failed; nothing more is sent then.
    bool send(std::size_t n, uint64_t offset);
    // Waits for every reply still owed. false as for send().
    bool finish();

    // Bytes the server confirmed.
    int64_t confirmed() const { return confirmed_; }
    bool failed() const { return failed_; }
    // The server's words with a refused write; empty after a channel failure.
    const std::string& message() const { return message_; }

private:
    // Reads one reply and settles the write it answers.
    bool collect();
    bool read_exact(unsigned char* to, std::size_t n);
    // After a failure: drains what is still owed where the channel allows,
    // and leaves the failure in the session's error, where sftp_get_error
    // finds it as after libssh's own requests. Always false.
    bool settle();

    struct in_flight {
        uint32_t id;
        std::size_t bytes;
    };
    sftp_session_struct* sftp_;
    std::size_t depth_;
    std::size_t handle_size_;
    std::size_t header_size_;
    std::vector<char> packet_;
    std::vector<unsigned char> reply_;
    std::deque<in_flight> pending_;
    int64_t confirmed_ = 0;
    bool failed_ = false;
    bool broken_ = false;   // the channel failed or carried a stranger
    int refusal_ = 0;       // the first refused write's status
    std::string message_;
};

}  // namespace qvtf
