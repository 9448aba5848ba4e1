// remote_session: what the browser pane, the queue's workers, sync and
// qvtf-cli ask of a connection to a server, whatever its protocol. A site
// and options go in as values (configure); operations return results that
// carry their own failure; one stop token ends the running work; events go
// out to one observer. ftp_control is the FTP implementation; the factory
// (remote_factory.h) picks the implementation from the site's protocol.
//
// Every session has the same busy lock (remote_session_lock.h): one thread
// at a time, 6014 for any other. Operations take it for their duration, so a
// caller that needs several in a row holds it around them.
#pragma once

#include <mutex>
#include <string_view>

#include "core/qxfile_tree.h"
#include "core/qxval.h"
#include "remote/certificate_trust.h"
#include "remote/chmod_plan.h"
#include "remote/listing_report.h"
#include "remote/remote_observer.h"
#include "remote/remote_result.h"
#include "remote/remote_session_lock.h"
#include "remote/remote_site.h"
#include "remote/server_features.h"
#include "remote/remote_stop.h"
#include "remote/transfer_request.h"

namespace qvtf {

class qxlang;

// A permission change of entries: mode for folders, and for files unless
// file_mode is set; targets (chmod_plan.h) may leave one kind alone.
struct chmod_request {
    qxval mode{""};
    qxval file_mode{""};
    int targets = chmod_all;
};

class remote_session {
public:
    remote_session() = default;
    virtual ~remote_session() = default;
    remote_session(const remote_session&) = delete;
    remote_session& operator=(const remote_session&) = delete;

    // ---- inputs (not while another thread holds it) ----
    // Given while connected, they apply to what follows. A measured clock
    // offset goes into the session's copy of the site.
    virtual void configure(const remote_site& site, const remote_options& options) = 0;
    virtual const remote_site& site() const = 0;
    virtual const remote_options& options() const = 0;
    // A copy of the inputs as last configured, for a thread that does not
    // hold the session (the queue takes the browser's) while the holder
    // may configure it anew.
    void published_inputs(remote_site& site_out, remote_options& options_out) const
    {
        std::lock_guard held(published_lock_);
        site_out = published_site_;
        options_out = published_options_;
    }
    // Not owned; may be null.
    virtual void set_observer(remote_observer* observer) = 0;
    virtual void set_language(const qxlang* language) = 0;
    // The phrase's text, or "" without a language or phrase.
    virtual std::string_view phrase(int number) const = 0;

    // ---- state (any thread) ----
    virtual remote_state state() const = 0;
    // From just before the greeting is read until the session is reset
    // (closing included: the goodbye still goes out).
    bool connected() const
    {
        const remote_state s = state();
        return s == remote_state::connected || s == remote_state::logged_in || s == remote_state::closing;
    }
    bool logged_in() const { return state() == remote_state::logged_in; }
    // How the connection is protected right now (nothing while unencrypted).
    virtual connection_security security() const { return {}; }

    // ---- busy lock ----
    int acquire() { return lock_.acquire(); }
    int acquire_waiting(int ms) { return lock_.acquire_waiting(ms); }
    void release() { lock_.release(); }
    int hand_over() { return lock_.hand_over(); }
    int take_over() { return lock_.take_over(); }
    void cancel_hand_over() { lock_.cancel_hand_over(); }
    int busy() const { return lock_.busy(); }
    bool held_by_caller() const { return lock_.held_by_caller(); }
    int hold_depth() const { return lock_.hold_depth(); }

    // ---- the stop (remote_stop.h) ----
    // Any thread: raises the stop and cuts off what it ends.
    virtual void stop(int reason) = 0;
    // The holder, beginning new work.
    void clear_stop() { stop_.clear(); }
    int stop_reason() const { return stop_.reason(); }

    // ---- connection ----
    // Connects (directly or through the site's proxy), logs in and sends the
    // site's custom commands.
    virtual remote_result log_in() = 0;
    // The site's start folder, or the one the server puts us in.
    virtual remote_result enter_start_folder() = 0;
    // Says goodbye; logged out whatever the answer.
    virtual remote_result quit() = 0;
    // Goodbye when connected, then reset and close. From a thread that does
    // not hold the session: cuts its transfer off and waits up to wait_ms for
    // the holder; when the wait runs out nothing is closed.
    virtual void disconnect(int wait_ms = 10000) = 0;
    // A harmless exchange that keeps an idle connection open.
    virtual remote_result keep_alive() = 0;
    // Server clock minus ours, measured with an empty file of probe's name
    // stored in the current folder and deleted again.
    virtual remote_result measure_time_difference(const qxval& probe) = 0;
    virtual int32_t time_difference() const = 0;
    // What the server offered when this login asked (none before).
    virtual server_features features() const { return {}; }

    // ---- folders: the tree of the remote folders this session has seen ----
    virtual qxfile_tree& folder_tree() = 0;
    virtual qxfile_node* current_folder() const = 0;
    virtual qxval current_path() const = 0;
    // Empty path: the parent.
    virtual remote_result change_folder(const qxval& path) = 0;
    virtual remote_result print_folder() = 0;
    // Lists path (empty: the current folder) into the current folder's node.
    virtual remote_result list_directory(const qxval& path) = 0;
    // Of the latest listing: whether it was whole, and the lines left out.
    virtual listing_report last_listing() const = 0;
    // OR of the listing styles seen on this connection (listing_parser.h).
    virtual int32_t listing_styles() const = 0;
    // The pane closes: the tree is emptied.
    virtual void forget_folders() = 0;

    // ---- entries ----
    virtual remote_result make_folder(const qxval& path) = 0;
    virtual remote_result remove_folder(const qxval& path) = 0;
    virtual remote_result delete_file(const qxval& path) = 0;
    virtual remote_result rename(const qxval& from, const qxval& to) = 0;
    virtual remote_result change_mode(const qxval& path, const qxval& mode) = 0;
    // An entry of the current folder; a folder with everything in it.
    virtual remote_result delete_entry(qxfile_node& entry) = 0;
    virtual remote_result change_mode_entry(qxfile_node& entry, const chmod_request& change) = 0;
    // Until the server has said it cannot change permissions.
    virtual bool chmod_supported() const = 0;
    // The file's size, or -1 when the server does not say.
    virtual remote_result file_size(const qxval& path, int64_t& out) = 0;
    // The file's modification time (seconds since 1970 UTC, the server's
    // clock), or -1 when the server does not say.
    virtual remote_result modification_time(const qxval& path, int64_t& out) = 0;

    // ---- transfers ----
    virtual transfer_record transfer_file(const transfer_request& request) = 0;

    // ---- commands of the user's own ----
    // A command script, one command a line.
    virtual remote_result run_script(const qxval& text) = 0;
    // One command line; the reply's lines come back in the result.
    virtual remote_result raw_command(std::string_view line) = 0;

    // ---- messages and log ----
    // out becomes the user's message for a failure.
    // A bare status code converts: error_text(6014, out).
    virtual void error_text(const remote_result& failure, qxval& out) const = 0;
    // One entry of the log; text holds whole lines, each ending in "\r\n".
    virtual void log(int kind, std::string_view text) = 0;

protected:
    remote_stop stop_;

    // Every configure ends with this.
    void publish_inputs(const remote_site& site_in, const remote_options& options_in)
    {
        std::lock_guard held(published_lock_);
        published_site_ = site_in;
        published_options_ = options_in;
    }

private:
    mutable std::mutex published_lock_;
    remote_site published_site_;
    remote_options published_options_;
    remote_busy_lock lock_;
};

}  // namespace qvtf
