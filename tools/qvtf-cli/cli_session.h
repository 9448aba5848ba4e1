#pragma once
// qvtf-cli's session: connects as the options say and runs the commands on
// one remote session. Every behaviour is the engine's; this only prints.
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "ftp/auto_transfer_resolver.h"
#include "markup/qxlang.h"
#include "remote/remote_session.h"
#include "settings/global_ftp_settings.h"
#include "tools/qvtf-cli/cli_options.h"
#include "tools/qvtf-cli/cli_site.h"

namespace qvtf::cli {

// Names and replies from the server with control characters as \xNN and a
// backslash doubled, safe for a terminal.
std::string escaped(std::string_view text);

// The words of a "sync" command.
struct sync_request {
    std::string rule_file;
    std::string local;  // empty: the rule file's
    std::string remote;
    bool dry_run = false;
};
bool parse_sync_words(const std::vector<std::string>& words, sync_request& out, std::string& error);

class cli_session : private remote_observer {
public:
    explicit cli_session(const options& opts, std::FILE* out = stdout, std::FILE* err = stderr);

    // The shipped phrase file; with --site the user's settings and profile;
    // the extension list when the transfer type is automatic (the user's, or
    // the shipped one). false with a message on err.
    bool load_program_files(const program_folders& folders);
    // The session's site and options from the command line, or with --site
    // from the profile and the settings, replaced by the options given
    // explicitly: the one place qvtf-cli turns its options into them.
    void fill_connection();
    // Connects, logs in, enters the start folder and, for a site that asks
    // for it, measures the server's clock offset.
    remote_result connect();
    // Runs one command (printed with report_failure when it fails; -1 with
    // a usage error).
    remote_result run(const std::vector<std::string>& words);
    // Runs every command of the options; the process exit code.
    int run_all();

    // The message of a failure (its status alone when only that is known).
    void report_failure(const remote_result& failure);
    remote_session& session() { return *session_; }
    // The loaded site, or null without --site.
    const cli_site* site() const { return site_.get(); }

private:
    int32_t type_for(const std::string& name) const;
    remote_result list(const std::string& path);
    remote_result get(const std::string& remote, const std::string& local);
    remote_result put(const std::string& local, const std::string& remote);
    // --exists for get and put: false when the target stays as it is; a
    // rename changes the request's target.
    bool settle_target(transfer_request& request);
    // A line of what became of a target, on out as the queue prints its own.
    void say_info(const std::string& text);
    remote_result remove_recursive(const std::string& path, bool chmod, const std::string& mode);
    remote_result run_command(const std::vector<std::string>& words);
    void on_log_text(remote_session& session, std::string_view lines, int kind) override;
    // The clock probe's local file: a fresh, empty, unique name.
    static bool probe_name(qxval& out);
    // download / upload through the queue.
    remote_result queued(const std::vector<std::string>& words);
    // sync RULEFILE [--local DIR] [--remote DIR] [--dry-run]
    remote_result sync(const std::vector<std::string>& words);
    void note(const char* prefix, const std::string& text);
    // Server clock minus ours, stored in the site as the remote pane does. A
    // failure only leaves it unmeasured.
    void measure_clock();

    // Lines of text (each ended by "\r\n", the last maybe not) on f, each
    // after prefix, with control characters escaped.
    static void print_lines(std::FILE* f, const char* prefix, std::string_view text);

    const options& opts_;
    std::FILE* out_;
    std::FILE* err_;
    transfer_kind type_;
    std::unique_ptr<cli_site> site_;
    // The user's settings when there is no --site (a site loads its own).
    global_ftp_settings user_settings_;
    std::string own_known_hosts_;  // the program's known-hosts file
    const global_ftp_settings& user_settings() const { return site_ ? site_->settings : user_settings_; }
    qxlang lang_;
    auto_transfer_resolver resolver_;
    std::unique_ptr<remote_session> session_;
    std::string usage_error_;
    std::string proxy_script_;  // the --proxy-script file, CR LF line ends
    std::string trust_file_;    // the user folder's trusted certificates
};

}  // namespace qvtf::cli
