// Helpers shared by the FTP session tests: a session whose log is captured,
// a small phrase table with recognisable texts, and a session connected to
// a scripted server.
#pragma once

#include <memory>
#include <mutex>
#include <ostream>
#include <string>
#include <vector>

#include "ftp/ftp_control.h"
#include "support/ftp_scripted.h"
#include "support/test_phrases.h"
#include "markup/qxlang.h"

namespace qvtf::test {

struct log_entry {
    int kind;
    std::string text;  // the entry's lines joined
    bool operator==(const log_entry&) const = default;
    friend void PrintTo(const log_entry& e, std::ostream* os) { *os << e.kind << ":" << e.text; }
};

// A session that watches itself and keeps every log entry and reported failure.
class logged_session : public ftp_control, public ftp_observer {
public:
    logged_session()
    {
        language = &test_phrases();
        observer = this;
        host.set_string("127.0.0.1");
    }

    // Tests put the session into a state without the dialogue that leads there.
    using ftp_control::set_state;

    std::vector<log_entry> entries() const
    {
        std::lock_guard lock(log_mutex_);
        return entries_;
    }
    std::vector<std::string> texts_of_kind(int kind) const
    {
        std::vector<std::string> out;
        for (const auto& e : entries())
            if (e.kind == kind)
                out.push_back(e.text);
        return out;
    }
    // Status codes the session reported, in order.
    std::vector<int> reported;
    void on_error(ftp_control&, int code) override { reported.push_back(code); }
    // Progress texts of recursive operations.
    std::vector<std::string> statuses;
    void on_status(ftp_control&, qxval message) override { statuses.push_back(message.str()); }

    // State changes as the observer saw them: "from -> to".
    void on_state(ftp_control&, ftp_state from, ftp_state to) override
    {
        std::lock_guard lock(log_mutex_);
        states_.push_back(std::string(ftp_state_name(from)) + " -> " + ftp_state_name(to));
    }
    std::vector<std::string> states() const
    {
        std::lock_guard lock(log_mutex_);
        return states_;
    }

    void on_log(ftp_control&, std::unique_ptr<qxarr> lines, int kind) override
    {
        std::string text;
        for (const qxval& line : *lines)
            text += line.view();
        std::lock_guard lock(log_mutex_);
        entries_.push_back({kind, text});
    }

private:
    mutable std::mutex log_mutex_;
    std::vector<log_entry> entries_;
    std::vector<std::string> states_;
};

// The lines of the last reply.
inline std::vector<std::string> reply_of(const ftp_control& session)
{
    std::vector<std::string> out;
    for (const qxval& line : session.reply_lines)
        out.push_back(line.str());
    return out;
}

// Points the session at the server and connects (reads the greeting).
inline int connect_to(ftp_control& session, const scripted_ftp_server& server)
{
    session.host.set_string("127.0.0.1");
    session.port = server.port();
    session.timeout = 5;
    return session.connect_and_greet();
}

using lines = std::vector<std::string>;

}  // namespace qvtf::test
