// qx_ftp_file_lister: the remote browser pane. It owns the program's
// browsing session (a remote_session of the site's protocol): its tree is
// the session's folder tree and its busy lock the session's. It connects
// with a site profile, measures the server's clock difference, changes and
// lists folders, deletes, renames, creates folders, changes permissions and
// keeps the idle connection alive.
#pragma once

#include <atomic>
#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <set>
#include <string>
#include <thread>
#include <unordered_map>
#include <vector>

#include "browse/qx_file_lister.h"
#include "profiles/ftp_profile.h"
#include "remote/chmod_plan.h"
#include "remote/remote_session.h"
#include "settings/global_ftp_settings.h"

namespace qvtf {

// Sound output; the window layer plays the files.
class lister_sound {
public:
    virtual ~lister_sound() = default;
    virtual void play_file(const qxval& path) { (void)path; }
    virtual void beep() {}
};

// What the pane needs of the transfer queue. Called on the pane's worker
// threads.
class lister_queue_link {
public:
    virtual ~lister_queue_link() = default;
    // Items still waiting or running.
    virtual bool has_work() { return false; }
    // The browsing connection closed.
    virtual void connection_ended() {}
};

// A permission change of the selected entries.
struct CHMOD_FILES_STRUCT {
    std::vector<qxfile_node*> entries;
    bool recursive = false;
    qxval permission_text{""};  // "0755" or "04755"; folders, and files unless file_text is set
    qxval file_text{""};        // files' own value; empty: permission_text
    int targets = chmod_all;    // chmod_targets
};

// The image and type text of names and extensions from the extension file.
struct remote_type_map {
    struct entry {
        int image = 0;
        qxval type_text{""};
    };
    std::unordered_map<std::string, entry> extensions;  // lower-case ".ext"
    std::unordered_map<std::string, entry> names;       // exact names
    std::vector<std::string> icon_files;                // image first_image + i
    static constexpr int first_image = 12;
    // 0, or the XML reader's code.
    int32_t load(const qxval& path);
};

class qx_ftp_file_lister;

namespace detail {
// The pane's session, made before the pane's base, which shows its tree.
struct remote_session_holder {
    std::unique_ptr<remote_session> owned;
};

// The pane's watch on its session: passes every call on to the owner's
// observer, tells the view when a folder is listed afresh, and notices the
// connection dropping under the pane.
class pane_watch : public remote_observer {
public:
    pane_watch(qx_lister_view* view, qx_ftp_file_lister& pane) : view_(view), pane_(pane) {}
    std::atomic<remote_observer*> next{nullptr};
    // Set while the pane closes the connection itself.
    std::atomic<bool> closing{false};
    // Set while the keep-alive sends. A drop it meets closes nothing: the
    // pane keeps the site and its folder, and dropped stays set until the
    // next command logs in again.
    std::atomic<bool> idle{false};
    std::atomic<bool> dropped{false};

    void on_log_text(remote_session& s, std::string_view lines, int kind) override;
    void on_status(remote_session& s, qxval message) override;
    void on_state(remote_session& s, remote_state from, remote_state to) override;
    void on_error(remote_session& s, int code) override;
    void on_listing(remote_session& s, qxfile_node& folder) override;

private:
    qx_lister_view* view_;
    qx_ftp_file_lister& pane_;
};
}  // namespace detail

class qx_ftp_file_lister : private detail::remote_session_holder, public qx_file_lister {
public:
    // connection: the pane's session; an FTP one when null.
    qx_ftp_file_lister(global_ftp_settings& settings, const qxlang* language, qx_lister_view* view,
                       lister_sound* sound = nullptr, std::unique_ptr<remote_session> connection = nullptr);
    ~qx_ftp_file_lister() override;

    // Who decides on SSH host keys the known-hosts files do not vouch for,
    // and the program's own known-hosts file.
    void set_host_keys(host_key_judge* judge, const qxval& known_hosts_file)
    {
        host_keys_ = judge;
        known_hosts_file_ = known_hosts_file;
    }
    remote_session& session() { return *owned; }
    const remote_session& session() const { return *owned; }
    // The queue runs an item on this pane's session: the banner says so
    // until it ends (any thread).
    void queue_busy(bool busy, const qxval& name);
    // A queue upload went into folder (any thread; a trailing "/" is
    // ignored): the pane lists it afresh the next time it enters it.
    void folder_changed(std::string_view folder);
    // Who else watches the session (the window, a test); the pane keeps the
    // session's own observer slot. Not owned; may be null.
    void watch(remote_observer* observer) { watch_.next = observer; }
    // The queue's side of the pane; not owned, may be null.
    lister_queue_link* queue = nullptr;
    remote_type_map types;
    // Keep-alive: a command after more than interval seconds of idleness,
    // looked at every tick.
    std::atomic<int32_t> keepalive_interval{60};
    std::atomic<int32_t> keepalive_tick_ms{200};

    // Creates the listing dump ("qx_listing_debug.txt", mode 0600) empty in
    // the user folder, making that folder when needed; every listing goes
    // there afterwards. False when it cannot be made (listings go on).
    bool open_listing_dump(const program_folders& folders);
    const qxval& listing_dump_path() const { return listing_dump_path_; }

    // ---- connection ----
    // Groups are ignored; a connection open already is closed first.
    int connect_profile(ftp_profile* profile);
    // The certificates this pane's connections accept beyond the system's
    // authorities (with the window's prompt as judge); none: only those.
    void set_certificate_trust(std::shared_ptr<certificate_trust> trust) { trust_ = std::move(trust); }
    int connect();
    // With confirm and work in the queue, the view is asked first (false:
    // the user said No, nothing happens).
    int disconnect(bool confirm);
    // The connection broke: disconnect on a worker thread, waiting up to
    // 10,000 ms for the pane to be free. Runs by itself when the session
    // drops without the pane closing it (a failed send or read, a 421).
    void connection_lost();
    ftp_profile* profile() const { return profile_; }
    // The connection the keep-alive found dropped logs in again, once, and
    // returns to its folder; 0 when there was nothing to do. The caller
    // holds the session. A failed login goes the lost-connection path.
    int resume_dropped();

    // ---- pane operations ----
    void error_text(qxval& out, int code) const override;
    int icon_of(qxfile_node* node) override;
    int acquire() override;
    int acquire_waiting(int ms) override;
    // Also while a connection the keep-alive found dropped waits for the
    // next command to log in again.
    bool is_ready() const override { return session().logged_in() || watch_.dropped; }
    // The pop-up's abort button: the running operation and its session stop.
    void abort_operation() override;
    // Keeps a failure of the session, so its message carries the reply or
    // the reason it came with; returns its status for the pane's codes.
    int keep_result(const remote_result& result);
    int enter(qxfile_node* node, bool relist) override;
    int change_folder(const qxval& path, bool relist) override;
    int reload() override;
    int move_pairs(const move_files_structure& moves, const move_done_callback& done) override;
    int delete_entries(const std::vector<qxfile_node*>& entries) override;
    int make_folder(const qxval& name) override;
    void play_event(int kind) override;
    // "0" and the octal digits of bits: three, or four with the owner
    // execute setting (set-user-id, set-group-id, sticky first).
    qxval permission_text(unsigned bits) const;
    int change_permissions(const CHMOD_FILES_STRUCT& change);
    bool change_permissions_async(unsigned bits, bool recursive, std::vector<qxfile_node*> entries);
    bool change_permissions_async(const chmod_plan& plan, bool recursive, std::vector<qxfile_node*> entries);
    // 0 when the permissions dialog may be offered, else 7000 (phrase 73).
    int properties_allowed();

    int link_image_base() const { return image_count(); }
    int executable_image_base() const { return 2 * image_count(); }

protected:
    void release_lock() override;
    // A server that closed the connection since the last command (it was
    // restarted, or dropped an idle client) is logged in to again, once,
    // and the operation runs again.
    int run_operation(const std::function<int()>& op) override;

private:
    std::shared_ptr<certificate_trust> trust_;
    int image_count() const { return remote_type_map::first_image + int(types.icon_files.size()); }
    int measure_time_difference();
    // Logs in again (the log says so) and enters folder; 0 or the login's code.
    int log_in_again(const qxval& folder);
    // true once for a folder that folder_changed named.
    bool take_stale(std::string_view path);
    void reset_pane();
    int close_connection(int wait_ms);
    // A site of another protocol than the session's: a new session of that
    // protocol takes over the pane (6014 while another thread uses the old
    // one). The old one is kept until the pane closes, as a thread that
    // still names it may finish with it.
    int use_protocol(remote_protocol protocol);
    host_key_judge* host_keys_ = nullptr;
    qxval known_hosts_file_{""};
    std::vector<std::unique_ptr<remote_session>> retired_sessions_;
    void start_keepalive();
    void stop_keepalive();
    void keepalive_body();
    void show_banner(int phrase_number, std::string_view detail);
    const remote_type_map::entry* type_of(const qxfile_node& node) const;

    global_ftp_settings& settings_store_;
    lister_sound* sound_;
    lister_sound silent_;
    ftp_profile* profile_ = nullptr;
    qxval listing_dump_path_{""};
    mutable std::mutex failure_mutex_;
    remote_result last_failure_;

    detail::pane_watch watch_;
    std::atomic<bool> lost_pending_{false};
    std::atomic<int> connects_{0};  // counts connect(): an operation that connected is not redone

    std::mutex keepalive_mutex_;
    std::condition_variable keepalive_cv_;
    bool keepalive_stop_ = false;
    std::atomic<bool> keepalive_holding_{false};  // the keep-alive holds the session
    std::thread keepalive_;
    std::atomic<int> idle_ticks_{0};
    std::mutex stale_mutex_;
    std::set<std::string, std::less<>> stale_folders_;
};

}  // namespace qvtf
