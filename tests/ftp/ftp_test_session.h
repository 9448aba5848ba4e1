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
#include "markup/qxlang.h"
#include "support/ftp_scripted.h"
#include "support/session_inputs.h"
#include "support/test_phrases.h"

namespace qvtf::test {

struct log_entry {
    int kind;
    std::string text;  // the entry's lines joined
    bool operator==(const log_entry&) const = default;
    friend void PrintTo(const log_entry& e, std::ostream* os) { *os << e.kind << ":" << e.text; }
};

// Changes a session's inputs the way its owners do: new values of its site
// and options, handed over whole.
template <class Edit>
void reconfigure(remote_session& session, Edit edit)
{
    remote_site site = session.site();
    remote_options options = session.options();
    edit(site, options);
    session.configure(site, options);
}

// A session that watches itself and keeps every log entry and reported failure.
class logged_session : public ftp_control, public remote_observer {
public:
    logged_session()
    {
        set_language(&test_phrases());
        set_observer(this);
        test::reconfigure(*this, [](remote_site& site, remote_options&) { site.host.set_string("127.0.0.1"); });
    }
    template <class Edit>
    void reconfigure(Edit edit)
    {
        test::reconfigure(*this, edit);
    }
    void set_user(const char* user, const char* password = "")
    {
        reconfigure([&](remote_site& site, remote_options&) {
            site.user_name.set_string(user);
            site.password.set_string(password);
        });
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
    void on_error(remote_session&, int code) override { reported.push_back(code); }
    // The message of a failure, as the user reads it.
    std::string text_of(const remote_result& failure) const
    {
        qxval text;
        error_text(failure, text);
        return text.str();
    }
    // Progress texts of recursive operations.
    std::vector<std::string> statuses;
    void on_status(remote_session&, qxval message) override { statuses.push_back(message.str()); }

    // State changes as the observer saw them: "from -> to".
    void on_state(remote_session&, remote_state from, remote_state to) override
    {
        std::lock_guard lock(log_mutex_);
        states_.push_back(std::string(remote_state_name(from)) + " -> " + remote_state_name(to));
    }
    std::vector<std::string> states() const
    {
        std::lock_guard lock(log_mutex_);
        return states_;
    }

    void on_log_text(remote_session&, std::string_view lines, int kind) override
    {
        std::lock_guard lock(log_mutex_);
        entries_.push_back({kind, std::string(lines)});
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
    for (const qxval& line : session.reply_lines())
        out.push_back(line.str());
    return out;
}

// Points the session at the server and connects (reads the greeting).
inline remote_result connect_to(ftp_control& session, const scripted_ftp_server& server)
{
    reconfigure(session, [&](remote_site& site, remote_options& options) {
        site.host.set_string("127.0.0.1");
        site.port = server.port();
        options.timeout = 5;
    });
    return session.connect_and_greet();
}

using lines = std::vector<std::string>;

}  // namespace qvtf::test
