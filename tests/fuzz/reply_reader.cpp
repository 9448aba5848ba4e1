// Fuzz target for the control connection's reply reader: arbitrary server
// bytes, cut into chunks of varying size, read as a sequence of replies.
// Checks that reading never crashes, that every reply it accepts has a
// three-digit code, bounded lines and a bounded total, and that a failure
// leaves the session closed, or closing after a 421 (QUIT may still go
// out). Each line is also taken as a command line: the log copy keeps its
// length and hides every byte of a PASS or ACCT argument.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "ftp/ftp_command_text.h"
#include "ftp/ftp_control.h"

namespace {

class fed_session : public qvtf::ftp_control {
public:
    fed_session(const uint8_t* data, size_t size, size_t chunk)
        : data_(reinterpret_cast<const char*>(data), size), chunk_(chunk)
    {
        set_state(qvtf::remote_state::connected);
    }
    void fill_input() override
    {
        if (pos_ >= data_.size()) {
            mark_end();
            return;
        }
        const size_t n = std::min(chunk_, data_.size() - pos_);
        push_chunk(data_.substr(pos_, n));
        pos_ += n;
    }

private:
    std::string_view data_;
    size_t chunk_;
    size_t pos_ = 0;
};

// The log copy of a command line: same length; for PASS and ACCT (after any
// blanks) every byte after the first blank past the verb, or after the verb
// when there is no blank, is a '*'.
void check_shown(std::string_view line)
{
    const std::string shown = qvtf::shown_command(line);
    if (shown.size() != line.size())
        std::abort();
    const size_t verb = line.find_first_not_of(" \t");
    if (verb == std::string_view::npos)
        return;
    const int kind = qvtf::ftp_control::command_kind(line.substr(verb));
    if (kind != qvtf::cmd_pass && kind != qvtf::cmd_acct) {
        if (shown != line)
            std::abort();
        return;
    }
    const size_t blank = line.find_first_of(" \t", verb);
    for (size_t i = blank == std::string_view::npos ? verb + 4 : blank + 1; i < shown.size(); ++i)
        if (shown[i] != '*')
            std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size == 0)
        return 0;
    // The first byte picks the chunk size, so line ends fall on chunk
    // boundaries in every way.
    const size_t chunk = 1 + data[0] % 64 * (data[0] & 0x80 ? 1024 : 1);
    fed_session session(data + 1, size - 1, chunk);
    for (int replies = 0; replies < 10000; ++replies) {
        const int status = session.read_reply();
        if (status != 0) {
            const bool closing = session.reply_code() == 421 && session.state() == qvtf::remote_state::closing;
            if (session.connected() && !closing)
                std::abort();
            break;
        }
        if (session.reply_code() < 0 || session.reply_code() > 999 || session.reply_lines().empty())
            std::abort();
        size_t total = 0;
        for (const qvtf::qxval& line : session.reply_lines()) {
            if (line.view().size() >= static_cast<size_t>(qvtf::ftp_control::reply_line_limit) ||
                line.view().find_first_of("\r\n") != std::string_view::npos)
                std::abort();
            total += line.view().size() + 1;
            check_shown(line.view());
        }
        if (total > qvtf::ftp_control::max_reply_bytes)
            std::abort();
        qvtf::qxval path;
        qvtf::ftp_control::parse_pwd_reply(session.reply_lines().head->value.view(), path);
        qvtf::qxval host;
        int32_t port = 0;
        if (qvtf::ftp_control::parse_pasv_reply(session.reply_lines().head->value.view(), host, port) == 0 &&
            (port < 0 || port > 65535))
            std::abort();
    }
    return 0;
}
