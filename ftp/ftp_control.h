// ftp_control: one FTP session. The control connection and its replies, the
// login state, the remote folders seen so far, the busy lock that lets several
// threads share the session, and the slots for the data connection of the
// transfer in progress.
//
// Where each part lives:
//   ftp_control.cpp         construction, connect, disconnect, reset, abort, log
//   ftp_control_stream.cpp  reading replies, sending commands, command_kind
//   ftp_lock.cpp            the busy lock
//   ftp_error_text.cpp      messages for status codes
//   ftp_commands.cpp        the single commands (USER ... SITE CHMOD)
//   ftp_folders.cpp         CWD/PWD, the PWD reply, the remote folder tree
//   ftp_login.cpp           log_in, firewall and custom command scripts
//   ftp_pasv_reply.cpp      the 227 reply
//   ftp_pending.cpp         operations that need data connections (seams)
// Data connections and transfers (ftp_data*.cpp, ftp_transfer*.cpp) add the
// rest of the operations declared below.
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "core/pooled_job.h"
#include "core/qxarr.h"
#include "core/qxfile_tree.h"
#include "core/qxfiles.h"
#include "core/qxpipe.h"
#include "core/qxval.h"
#include "ftp/ftp_observer.h"
#include "ftp/ftp_proxy.h"
#include "ftp/ftp_status.h"
#include "ftp/ftp_transfer_request.h"
#include "ftp/listing_report.h"
#include "ftp/net_stream.h"
#include "net/qxsocket.h"
#include "net/qxsocks_client.h"

namespace qvtf {

class qxlang;

// Replaces to's lines with copies of from's.
inline void keep_lines(const qxarr& from, qxarr& to)
{
    to.clear();
    for (const qxval& l : from)
        to.push_copy(l);
}

class ftp_control;
struct ftp_proxy;
struct ftp_queue_item;

// Kinds of log entries, as the main window colours them.
enum ftp_log_kind : int {
    log_reply = 0,
    log_command = 1,
    log_info = 2,
    log_error = 3,
    log_upload_done = 4,
    log_download_done = 5,
    log_state = 6,  // the connection's state changed: "from -> to"
};

// A flag that callers read as before (connected, logged_in) but that is only
// a view of the session's state: nothing can write it.
class ftp_state_flag {
public:
    enum which { is_connected, is_logged_in };
    constexpr ftp_state_flag(const std::atomic<ftp_state>& state, which w) : state_(&state), which_(w) {}
    ftp_state_flag(const ftp_state_flag&) = delete;
    ftp_state_flag& operator=(const ftp_state_flag&) = delete;
    operator int() const
    {
        const ftp_state s = state_->load();
        if (which_ == is_logged_in)
            return s == ftp_state::logged_in;
        return s == ftp_state::connected || s == ftp_state::logged_in || s == ftp_state::closing;
    }

private:
    const std::atomic<ftp_state>* state_;
    which which_;
};

// Hooks of the recursive walk: one entry of a listed folder, and the folder
// itself once its entries are done.
using ftp_entry_hook = int (*)(ftp_control& session, qxfile_node& entry);
using ftp_folder_hook = int (*)(ftp_control& session, const qxval& path);
// The listing thread's body: parses the pipe's chunks into entries under
// folder, raises the consumer bits when done, returns the style bits and
// fills in the report. The parser lives with the panes, so the session's
// owner supplies it.
using ftp_listing_reader = int (*)(qxpipe& pipe, qxfile_tree& tree, qxfile_node* folder,
                                   int32_t time_difference, file_handle dump, listing_report* report);
// Listing lines are bounded like reply lines. A reader ORs this bit into
// its result when it dropped a longer line; the session logs it and keeps
// it out of listing_styles.
constexpr int32_t listing_line_limit = 65536;
constexpr int listing_line_dropped = 0x100;

// The verb of a command line (command_kind).
enum ftp_command_kind : int {
    cmd_other = 0,
    cmd_user = 1, cmd_pass = 2, cmd_acct = 3, cmd_cwd = 4, cmd_cdup = 5, cmd_smnt = 6,
    cmd_quit = 7, cmd_rein = 8, cmd_port = 9, cmd_pasv = 10, cmd_type = 11, cmd_stru = 12,
    cmd_mode = 13, cmd_retr = 14, cmd_stor = 15, cmd_stou = 16, cmd_appe = 17, cmd_allo = 18,
    cmd_rest = 19, cmd_rnfr = 20, cmd_rnto = 21, cmd_abor = 22, cmd_dele = 23, cmd_rmd = 24,
    cmd_mkd = 25, cmd_pwd = 26, cmd_list = 27, cmd_nlst = 28, cmd_site = 29, cmd_syst = 30,
    cmd_stat = 31, cmd_help = 32, cmd_noop = 33,
};

// What the session needs of a data connection (active or passive); the
// connections themselves, their fields and worker threads are built with
// the transfers.
class ftp_data_connection_virtual {
public:
    virtual ~ftp_data_connection_virtual() = default;
    // Begins the connection and its worker thread.
    virtual int start() = 0;
    virtual void close_sockets() = 0;
    // Called from another thread to stop a transfer: ends every wait on the
    // data socket (the worker then closes it).
    virtual void abort_socket() = 0;
};

class ftp_control : public net_stream {
    // First, so the flags below may refer to it.
    std::atomic<ftp_state> state_{ftp_state::disconnected};

public:
    static constexpr int reply_line_limit = 65536;
    // A reply of many continuation lines is bounded like unread input.
    static constexpr std::size_t max_reply_bytes = max_buffered;

    ftp_control();
    ~ftp_control() override;

    // ---- fields, in the order the session is described ----
    qxsocket control_socket;
    qxsocks_client socks_client;       // used when the proxy is SOCKS (type 4 or 5)
    // A copy, so editing the settings' proxies during a transfer cannot
    // pull it away; none for a direct connection.
    std::optional<ftp_proxy> proxy;
    qxval host{""};
    int32_t port = 21;
    // 1 from just before the greeting is read until the session is reset
    // (closing included: QUIT still goes out).
    const ftp_state_flag connected{state_, ftp_state_flag::is_connected};
    qxval user_name{""};
    qxval password{""};
    const ftp_state_flag logged_in{state_, ftp_state_flag::is_logged_in};
    int32_t transfer_type = 0;         // from the queue item being run
    // The TYPE the server last accepted on this login (0 I, 1 A); -1 unknown.
    int32_t type_in_force_ = -1;
    int32_t transfer_option = 0;
    int32_t passive = 0;               // 1: PASV, 0: PORT
    int32_t allow_passive_drop_to_port = 0;
    qxval list_parameters{""};         // between LIST and the path
    int32_t chmod_supported = 1;       // until SITE CHMOD is answered 500/501
    const qxlang* language = nullptr;  // not owned
    int32_t timeout = 60;              // seconds, control and data sockets
    int32_t accept_tries = 30;         // one-second waits for an active connection
    qxval initial_folder{""};
    qxval local_path{""};
    qxval remote_path{""};
    int32_t direction = 1;             // 1 download, 0 upload
    qxfile_tree folder_tree;           // remote folders seen by this session
    qxfile_node* current_folder = nullptr;
    qxval current_path{""};            // as last reported by PWD
    int32_t listing_styles = 0;
    int32_t time_difference = 0;       // server clock minus local clock, seconds
    int32_t idle_limit = 60;
    std::atomic<int> idle_rounds{0};
    int32_t reply_code = 0;
    uint8_t reply_class = 9;           // first digit 1..5, else 9
    uint8_t reply_group = 9;           // second digit 0..5, else 9
    uint8_t reply_detail = 0;          // third digit
    qxarr reply_lines;                 // the last reply, without line ends
    qxarr refusal_lines;               // the last 4xx/5xx reply: the text of 6011
    qxarr failure_lines;               // the reply behind the last 6003 (421) or 6005
    qxval stored_error_text{""};       // the text of status 6013
    // Log, progress, state changes, failures and completions go here (see
    // ftp_observer.h for the thread of each call). Not owned; may be null.
    // Set it before the session is used.
    ftp_observer* observer = nullptr;
    std::unique_ptr<ftp_data_connection_virtual> active_data;
    std::unique_ptr<ftp_data_connection_virtual> passive_data;
    std::atomic<int> abort_data{0};
    std::unique_ptr<qxpipe> pipe;
    qxval data_host{""};
    int32_t data_port = 0;
    qxval local_address{""};           // of the control connection, for PORT
    int32_t next_port = 0;
    ftp_queue_item* current_item = nullptr;  // not owned
    int32_t result_code = 0;
    uint32_t pipe_flags_at_end = 0;
    int32_t data_failure = 0;          // why the data connection failed, 0 if it did not
    // The last 6010: the errno where the local file failed (0 unknown) and
    // the step: 0 opening, 1 reading, 2 writing.
    int32_t local_errno = 0;
    int32_t local_step = 0;
    int64_t bytes_transferred = 0;
    int32_t start_time = 0;
    int32_t end_time = 0;
    // 0 none; any other value stops operations with 6001 (the queue uses 4
    // stop and 8 kill). Set from other threads.
    std::atomic<int> stop_request{0};
    int32_t stamp_downloads = 0;
    qxval custom_commands{""};
    ftp_entry_hook delete_entry_hook = nullptr;
    ftp_folder_hook remove_folder_hook = nullptr;
    const std::atomic<int>* stop_flag = nullptr;  // stops recursive operations
    qxval chmod_mode{""};
    // A recursive change's files take chmod_file_mode when it is set (folders
    // keep chmod_mode); chmod_targets (chmod_plan.h) leaves a kind alone.
    qxval chmod_file_mode{""};
    int32_t chmod_targets = 0;
    // Data connections and listings.
    ftp_listing_reader listing_reader = nullptr;
    // Of the latest listing: whether it was whole, and the lines left out.
    listing_report last_listing;
    int32_t listing_tries = 1;         // attempts per listing (see list_directory)
    qxval listing_dump_path{""};       // raw copy of each listing; empty: none
    // 1: passive data connections go to the address of the 227 reply; 0:
    // to the control connection's own peer (the site through SOCKS).
    int32_t trust_pasv_address = 0;
    // A file transfer of a known size up to this many bytes runs its data
    // connection on the calling thread; larger ones, and those of unknown
    // size, on a worker with the file side across a pipe. -1: never (and
    // listings too go to a worker); the largest value: every transfer.
    int64_t inline_limit = 1048576;

    // Any thread may read it; the session's own operations change it.
    ftp_state state() const { return state_.load(); }

    // ---- stream ----
    // One receive (16,384 bytes at most) from the control socket; nothing
    // received (end of stream, time-out, error) marks the end.
    void fill_input() override;

    // ---- connection and replies ----
    // Connects (directly, or through the proxy) and reads the greeting.
    // 0 for a greeting of class 2; 6003 for any other; or a failure status.
    virtual int connect_and_greet();
    virtual void reset_state();
    // A failure the session reports on its own: tells the observer.
    void report_error(int code);
    // 6005, keeping the reply that caused it: the message shown later must
    // not come from the replies of the commands that clean up after it.
    int unexpected_reply();
    // Reads one whole reply into reply_code, the digits and reply_lines.
    // A 421 reply (the server is closing) gives 6003 and clears the login.
    int read_reply();
    // Sends text + "\r\n" and reads the reply. A text holding CR, LF or NUL
    // is refused with 6015 and nothing is sent.
    int send_command(std::string_view text);
    // As above; the log shows `shown` (the line with secrets hidden) instead.
    int send_command(std::string_view text, std::string_view shown);
    static int command_kind(std::string_view line);
    int quit();
    // QUIT when connected, then reset and close. From a thread that does not
    // hold the session: aborts its transfer and waits up to wait_ms for the
    // holder; when the wait runs out nothing is closed.
    void disconnect(int wait_ms = 10000);
    // From any thread: stops the running transfer's pipe and data socket.
    void abort_transfer();

    // ---- busy lock ----
    // A session is used by one thread at a time: the holder. A thread that
    // sends a command (or reads a reply) on a session nobody holds holds it
    // for that command only, until the reply is read; a thread that needs
    // several commands in a row takes the lock first (ftp_session_lock). A
    // command on a session another thread holds is refused with 6014 and
    // nothing is sent.
    // The lock always exists here; kept so owners follow the same steps.
    bool create_lock() { return true; }
    // 0 when the calling thread now holds the session (each acquire is
    // counted and needs its release), 6014 when another thread does.
    int acquire();
    // As acquire, waiting up to ms milliseconds for a release.
    int acquire_waiting(int ms);
    // Undoes one acquire of the calling thread; ignored for any other thread.
    void release();
    // The holder (not nested) gives up the session without freeing it: it
    // stays busy until a thread calls take_over. 0, or 6014 when the caller
    // does not hold it exactly once.
    int hand_over();
    // The calling thread becomes the holder of a handed-over session; 6014
    // when none is in transit.
    int take_over();
    // A hand-over nobody took: the session becomes free.
    void cancel_hand_over();
    // 1 while the session is held or handed over; other threads read it to
    // see whether the session is in use (the scheduler, the idle logic).
    int busy() const { return busy_.load(); }
    bool held_by_caller() const;
    // How often the calling thread holds the session (0: not at all).
    int hold_depth() const;
    // The lock's critical section: data connections and the pipe are made
    // and destroyed under it, and abort_transfer takes it.
    std::mutex& critical_section() { return lock_mutex_; }

    // ---- messages and log ----
    // out becomes the user's message for a status code.
    void error_text(int code, qxval& out) const;
    // One entry of the log; text holds whole lines, each ending in "\r\n".
    void log(int kind, std::string_view text);
    // Progress text of a recursive operation, for the observer.
    void status(std::string_view text);
    // The phrase's text, or "" without a language or phrase.
    std::string_view phrase(int number) const;

    // ---- commands (every one but USER, PASS, QUIT, REIN and scripts needs
    // a login; 421 gives 6003) ----
    virtual int send_user();
    virtual int send_pass();
    virtual int reinitialize();
    virtual int allocate(int64_t size);
    virtual int restart_at(int64_t offset);
    int change_folder(const qxval& path);  // empty path: CDUP
    int print_folder();
    int enter_start_folder();
    int send_port(const qxval& address, int32_t port_number);
    int send_pasv();
    int set_type(int32_t type);
    int retrieve(const qxval& path);
    // SIZE: the file's size in out, or -1 when the server does not say
    // (refused, unknown command, a number out of range). 0, or the status of
    // a failed exchange.
    int remote_file_size(const qxval& path, int64_t& out);
    int store(const qxval& path);
    int send_list(const qxval& path);
    int rename(const qxval& from, const qxval& to);
    int delete_file(const qxval& path);
    int remove_folder(const qxval& path);
    int make_folder(const qxval& path);
    int site(const qxval& text);
    // mode: the session's chmod_mode when null.
    int change_mode(const qxval& path, const qxval* mode = nullptr);

    // ---- login and scripts ----
    int log_in();
    // Runs a command script; kinds_mask gets bit k for each verb k (1..31) sent.
    int run_script(const qxval& text, int32_t& kinds_mask);

    // ---- folders ----
    // Records a folder path in folder_tree, creating the missing folders.
    virtual void set_current_path(const qxval& path, bool make_current);
    // The path of a PWD reply's first line; false when it has none.
    static bool parse_pwd_reply(std::string_view line, qxval& path);

    // ---- the 227 reply: data_host and data_port; 0 or 6009 ----
    static int parse_pasv_reply(std::string_view line, qxval& host, int32_t& port_number);

    // ---- data connections and transfers ----
    // TYPE, PASV or PORT, and a started data connection with its pipe; or,
    // on_caller, a connection that the calling thread runs itself, without
    // a pipe (connected already in passive mode).
    int prepare_data_connection(int receiving, int32_t type, bool on_caller = false);
    // Waits for both sides of the pipe, then releases connection and pipe.
    int finish_transfer(int receiving);
    // As above; local_side (the file or listing thread) is joined before the
    // pipe it uses goes away.
    int finish_transfer(int receiving, pooled_job* local_side);
    // One RETR or STOR. The local file is opened (an upload's checked to be
    // a readable regular file) before anything is sent; a download goes to
    // a temporary file that replaces the local file only on success. Fails
    // when either side of the pipe failed, whatever the server's final reply
    // says: 6001 after an abort, 6010 for the local file, the transport
    // status of the data connection (1000 when it stalled).
    int transfer_file(const ftp_transfer_request& request);
    // The same with the session's local_path and transfer_option.
    // command: &ftp_control::retrieve or &ftp_control::store.
    int transfer_file(int receiving, const qxval& remote, int32_t type, int (ftp_control::*command)(const qxval&));
    // transfer_file; result_code, then the observer's on_completion.
    int run_item(const ftp_transfer_request& request);
    // As above for the session's direction, paths and option.
    int run_item(int32_t type);
    // Prepares the session for one queue item (stop_request cleared, the
    // item current, the item's paths, direction, type and option in the
    // session's fields) and returns the item's request.
    ftp_transfer_request take_item(ftp_queue_item& item);
    // The recursive walk of one folder with the session's entry and folder
    // hooks. At most walk_depth_limit levels deep; deeper, or into a folder
    // whose path the walk is already inside, fails with 6013.
    static constexpr int walk_depth_limit = 512;
    int walk_folder(const qxval& path, ftp_entry_hook entry_hook, ftp_folder_hook folder_hook);

private:
    int list_directory_once(const qxval& path);

public:

    // ---- operations that need data connections ----
    // Tries up to listing_tries times while the listing breaks off (its data
    // connection reset or stalled, or the server answered 425, 426 or 451).
    virtual int list_directory(const qxval& path);
    int delete_entry(qxfile_node& entry);
    int change_mode_entry(qxfile_node& entry);
    int measure_time_difference();

protected:
    // The one place the state changes: logs the change (log_state) and tells
    // the observer, once per change; setting the state it has does nothing.
    void set_state(ftp_state to);
    // Resolves and connects to the server or the proxy, and negotiates
    // with a SOCKS proxy: 0, a failure status, or 6001 when stopped.
    int reach_server();
    // Without trust_pasv_address, points data_host at the control
    // connection's peer, logging when the reply named another address.
    void aim_passive_connection(bool via_socks);
    // verb + " " + argument, even an empty one.
    static std::string command_line(std::string_view verb, std::string_view argument);
    // verb + " " + argument, or the verb alone without an argument.
    static std::string joined(std::string_view verb, std::string_view argument);

private:
    bool try_claim_locked();
    void free_locked();

    mutable std::mutex lock_mutex_;
    std::condition_variable lock_released_;
    // Under lock_mutex_: the holder, how often it holds the session, and
    // whether the session is on its way to another thread.
    std::thread::id owner_;
    int depth_ = 0;
    bool in_transit_ = false;
    std::atomic<int> busy_{0};
    // The server's paths of the folders the running walk is inside, outermost first.
    std::vector<std::string> walk_trail_;
};

class ftp_session_lock;

// A session on its way from its holder to another thread: move it into the
// thread and construct an ftp_session_lock from it there. Destroyed without
// that, it frees the session.
class ftp_handover {
public:
    ftp_handover() = default;
    ftp_handover(ftp_handover&& other) noexcept;
    ftp_handover& operator=(ftp_handover&&) = delete;
    ~ftp_handover();
    explicit operator bool() const { return session_ != nullptr; }

private:
    friend class ftp_session_lock;
    ftp_control* session_ = nullptr;
};

// Holds a session for a scope: acquire (or acquire_waiting) on construction,
// release on destruction. Check it before use: false means 6014.
class ftp_session_lock {
public:
    explicit ftp_session_lock(ftp_control& session, int wait_ms = 0);
    // On the receiving thread: takes over a handed-over session.
    explicit ftp_session_lock(ftp_handover&& handed);
    ftp_session_lock(ftp_session_lock&& other) noexcept;
    ftp_session_lock& operator=(ftp_session_lock&&) = delete;
    ~ftp_session_lock();

    explicit operator bool() const { return status_ == status_ok; }
    int status() const { return status_; }
    // Releases early.
    void unlock();
    // Passes the claim to another thread (see ftp_handover); this holder
    // then holds nothing. Empty when the claim cannot be passed (not held,
    // or held more than once by this thread).
    ftp_handover hand_over();

private:
    ftp_control* session_;
    int status_;
};

}  // namespace qvtf
