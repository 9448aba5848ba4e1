// ftp_queue_process_manager: owns the transfer queue and moves its items
// through their states. A scheduler thread hands the first waiting item to a
// free connection: a worker connection of its own (up to max_threads), or
// the browser connection when max_threads is 0. Folder items expand on the
// browser connection into the items of their contents, one level at a time,
// so a tree is copied breadth-first. Each finished attempt is checked
// against the item's size and retried up to retry_limit tries.
//
// Where each part lives:
//   queue_items.cpp        append_item, remove_item, item_count, waits
//   queue_add_node.cpp     add_node, add_nodes
//   put_nodes.cpp          put_nodes and its thread
//   expand_folder_item.cpp folder expansion
//   queue_scheduler.cpp    open, start, close, the scheduler loop
//   queue_worker.cpp       worker threads, the browser transfer thread
//   transfer_done.cpp      the end of each attempt
//   queue_kill.cpp         kill_items, kill_all, kill_all_and_wait
//   failure_report.cpp     the failures of a run, in one box at its end
//   queue_settings.cpp     apply_settings, store_settings, set_profile
//   queue_snapshot.cpp     pause, the items left
//   exists_check.cpp       what a file does with a target that exists
//
// Locks: the manager's lock guards the items, their states, tries and
// connection references, and the worker list; the view's lock is taken
// after it. log_sink and the observer run outside it. Connections are unlinked
// under it and destroyed after it.
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <list>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <thread>
#include <unordered_map>
#include <utility>
#include <vector>

#include "browse/pane_busy_lock.h"
#include "queue/exists_judge.h"
#include "queue/ftp_queue_item.h"
#include "queue/put_nodes_queue_struct.h"
#include "queue/queue_item_result.h"
#include "queue/queue_observer.h"
#include "queue/queue_panes.h"
#include "queue/queue_view.h"
#include "queue/saved_item.h"
#include "remote/remote_session.h"

namespace qvtf {

// Where the queue's own log lines go: (context, lines, kind), the lines each
// ending in "\r\n" and valid during the call only, kinds as the main
// window's log (5 download done, 4 upload done, 3 failure).
using queue_log_sink = void (*)(void* context, std::string_view lines, int kind);

class auto_transfer_resolver;
class global_ftp_settings;
class qxlang;
struct ftp_profile;

class ftp_queue_process_manager {
public:
    ftp_queue_process_manager();
    // Runs close.
    ~ftp_queue_process_manager();
    ftp_queue_process_manager(const ftp_queue_process_manager&) = delete;
    ftp_queue_process_manager& operator=(const ftp_queue_process_manager&) = delete;

    // ---- references, set before start (none owned; each may be null) ----
    queue_panes* panes = nullptr;
    queue_view* view = nullptr;
    const qxlang* language = nullptr;
    const auto_transfer_resolver* resolver = nullptr;
    // Read for passive mode, proxies, sounds and download_failures_popups.
    const global_ftp_settings* settings = nullptr;
    queue_log_sink log_sink = nullptr;
    void* sink_context = nullptr;
    // Sees the log, state and errors of every worker connection (their
    // progress goes to the view).
    remote_observer* worker_observer = nullptr;
    // Hears of each item that leaves the queue.
    queue_observer* observer = nullptr;
    // Keeps an observer alive as long as the queue (one of a window that
    // may go first).
    void keep_observer(std::shared_ptr<queue_observer> kept) { kept_observers_.push_back(std::move(kept)); }

    // ---- copies of the settings (apply_settings) ----
    std::atomic<int32_t> retry_limit{3};
    std::atomic<int32_t> max_threads{2};
    std::atomic<int32_t> default_transfer_type{0};
    std::atomic<int32_t> stamp_downloads{0};
    // Scheduler round when nothing wakes it, and a worker's idle life.
    std::atomic<int32_t> poll_interval_ms{200};
    std::atomic<int32_t> worker_idle_ms{60000};
    // The wait before the second try; it doubles for each further one.
    std::atomic<int32_t> retry_delay_ms{1000};
    // What a download's and an upload's existing target gets (exists_action).
    std::atomic<exists_action> download_exists{exists_action::overwrite};
    std::atomic<exists_action> upload_exists{exists_action::overwrite};
    // Answers "ask"; without one, ask skips the file.
    void set_exists_judge(std::shared_ptr<exists_judge> judge);

    // ---- life ----
    // 0; the queue accepts work.
    int open();
    // Starts the scheduler thread unless it runs.
    void start();
    // Kills everything, waits for every thread of the queue, empties it.
    void close();
    bool is_open() const { return open_.load(); }

    void apply_settings(const global_ftp_settings& values);
    void store_settings(global_ftp_settings& values) const;
    // The site worker connections log in to; the remote pane connects to it.
    void set_profile(ftp_profile* profile);
    ftp_profile* profile() const;
    // Runs change under the queue's lock: for edits of the settings or of
    // the profile that a starting worker copies.
    void edit_shared(const std::function<void()>& change);

    // ---- items ----
    // Queues a pane's selection from a thread of its own; returns at once.
    void put_nodes(int32_t from_remote, std::vector<qxfile_node*> nodes, qxfile_node* destination,
                   int32_t transfer_option);
    // The items of the request's nodes; 0 or the first code that stopped it.
    int add_nodes(const PUT_NODES_QUEUE_STRUCT& request);
    // One item from node. Folders end in one separator each. default_type 2
    // resolves a file's type by its name. 1 when the queue is shut down,
    // name_refused for a name that is not a plain name (one with a "/").
    // A folder's item keeps trail (see ftp_queue_item).
    static constexpr int name_refused = 2;
    int add_node(qxfile_node& node, const qxval& local_folder, const qxval& remote_folder, int32_t is_download,
                 int32_t default_type, int32_t transfer_option, std::vector<std::string> trail = {});
    // 0, or 1 when the queue is shut down, or target_taken when a file item
    // already queued writes the same target (the local file of a download,
    // the remote file of an upload) from another source: one of the two
    // copies would be lost while both reported success. The same file
    // queued twice is no collision. The item is then destroyed.
    static constexpr int target_taken = 3;
    int append_item(std::unique_ptr<ftp_queue_item> item);
    void remove_item(ftp_queue_item* item);
    int32_t item_count() const;
    // Blocks until the queue is empty, the item that emptied it has been
    // reported (on_finished) and no folder expands, at most timeout_ms
    // (negative: no limit); whether it is.
    bool wait_until_empty(int32_t timeout_ms = -1);

    // ---- kills (request 8 kill, 4 stop) ----
    void kill_items(const std::vector<ftp_queue_item*>& items, int request);
    void kill_all(int request);
    // Kills everything, closes every worker connection and waits until
    // none is left.
    void kill_all_and_wait();

    // ---- connections ----
    // The completion of one attempt of item on connection, on the thread
    // that ran it; stop: the connection's stop reason then.
    void transfer_done(ftp_queue_item* item, const transfer_record& record, int stop, remote_session& connection);
    int32_t worker_count() const;
    // 1 while the browser connection runs a queue item or expands a folder.
    bool browser_in_use() const { return browser_in_use_.load(); }
    // Waits until no queue item runs on the browser connection; false when
    // one still does after timeout_ms.
    bool wait_browser_free(int32_t timeout_ms) const;
    // 1 while a folder item expands.
    bool expanding() const { return expanding_.load(); }

    // ---- pause and the items left (queue_snapshot.cpp) ----
    // While paused no item starts; the running ones finish.
    void set_paused(bool on);
    bool paused() const { return paused_.load(); }
    // The items that wait or run, in queue order, as they would be queued again.
    std::vector<saved_item> snapshot() const;

    // The phrase's text, or "".
    std::string_view phrase(int number) const;

private:
    struct worker;
    using item_list = std::list<std::unique_ptr<ftp_queue_item>>;

    // Scheduling.
    void scheduler_loop();
    bool schedule_one(std::unique_lock<std::mutex>& held);
    worker* free_worker_locked(bool& may_create);
    // Whether the worker's session is of the protocol the site now asks for.
    bool protocol_current_locked(const worker& w);
    ftp_queue_item* first_waiting_locked() const;
    // Gives item to w: the item runs, the connection has its paths.
    void assign_locked(worker& w, ftp_queue_item& item);
    bool start_on_browser_locked(remote_session& browser, ftp_queue_item& item, bool expansion);
    bool prestart_worker_locked();
    worker& add_worker_locked();
    void wake_scheduler();
    void worker_loop(worker* w);
    // Whether the connection may take more work.
    bool run_worker_item(worker* w, ftp_queue_item* item);
    // What the user asked of the worker's running item (0, 4 or 8).
    int stop_request_of(const worker* w) const;
    void retire_worker(worker* w);
    void reap_retired();
    void browser_transfer(remote_handover handed, ftp_queue_item* item);
    void expand_folder_item(remote_handover handed, ftp_queue_item* item);
    // The site and options a worker connection logs in with.
    void worker_inputs_locked(remote_site& site, remote_options& options);
    // Before the first attempt of a file: applies the action for an existing
    // target to item and request. go, or the item ends: skipped, or stopped
    // while the user was asked.
    enum class target_step { go, skip, stopped };
    target_step settle_target(ftp_queue_item& item, transfer_request& request, remote_session& c);
    // The user's answer for the item's conflict, or nothing when stopped.
    std::optional<exists_answer> ask_exists(ftp_queue_item& item, exists_question question);
    // The item leaves the queue as done, its target left as it was.
    void skip_done(ftp_queue_item* item);
    // Writes the item to new_name in its target's folder.
    void retarget(ftp_queue_item& item, transfer_request& request, const std::string& new_name);
    // An item's transfer as a request: its paths, type and facts.
    transfer_request request_for(const ftp_queue_item& item, transfer_progress* progress) const;

    // Items.
    bool contains_locked(const ftp_queue_item* item) const;
    // Unlinks item (row first); whether the queue became empty. The item is
    // destroyed when the returned holder goes.
    std::unique_ptr<ftp_queue_item> unlink_locked(ftp_queue_item* item, bool& now_empty);
    void after_removal(bool now_empty);
    void kill_items_locked(const std::vector<ftp_queue_item*>& items, int request,
                           std::vector<std::unique_ptr<ftp_queue_item>>& removed, bool& now_empty);
    // The owner's result for an item removed before it ran.
    void report_killed(const ftp_queue_item& item);
    // A failure of this run, for the one box at its end.
    void report(const std::string& text);
    // Shows the gathered failures in one box once nothing waits or runs.
    void report_run_failures();
    // The node add_node refused as target_taken: the run's failures and the
    // log name both sources and the target.
    void report_target_taken(const qxfile_node& node, const qxval& local_folder, const qxval& remote_folder,
                             int32_t is_download);
    void note_changed();

    // Folder expansion steps.
    int expand_download(remote_session& browser, ftp_queue_item& item, const qxval& local, const qxval& remote,
                        bool& turned_to_file);
    int expand_upload(remote_session& browser, ftp_queue_item& item, const qxval& local, const qxval& remote);
    void add_children(ftp_queue_item& item, const std::vector<qxfile_node*>& children, const qxval& local,
                      const qxval& remote);
    bool expansion_stopped(const ftp_queue_item& item);
    void mark_remote_stale(remote_session& browser, const qxval& remote_folder);

    mutable std::mutex lock_;
    std::condition_variable scheduler_cv_;        // appends, free connections, shutdown
    std::condition_variable worker_cv_;           // assignments and shutdown for idle workers
    mutable std::condition_variable changed_cv_;  // items removed, workers gone, expansion ended
    bool wake_ = false;
    item_list items_;
    std::unordered_map<const ftp_queue_item*, item_list::iterator> index_;
    // Target of each file item queued: its source and how many items have it.
    std::unordered_map<std::string, std::pair<std::string, int>> targets_;
    std::list<std::unique_ptr<worker>> workers_;
    std::vector<std::unique_ptr<worker>> retired_;
    std::vector<std::string> run_failures_;
    std::vector<std::shared_ptr<queue_observer>> kept_observers_;
    std::atomic<bool> open_{false};
    std::atomic<bool> scheduler_running_{false};
    std::atomic<bool> expanding_{false};
    // A login ahead of the files failed: no more of them until a file's own
    // login succeeds or another site is chosen (under lock_).
    bool prestart_refused_ = false;
    // Removals that emptied the queue and are not reported yet (under lock_):
    // a waiter for the empty queue also waits for the last item's outcome.
    int emptied_unreported_ = 0;
    std::atomic<bool> browser_in_use_{false};
    std::atomic<bool> paused_{false};
    ftp_profile* profile_ = nullptr;
    // "Ask": the judge, the questions waiting (one shown at a time) and the
    // answers kept for the rest of the run, by direction and folder ("" for
    // all folders); forgotten when the queue runs empty.
    std::shared_ptr<exists_judge> exists_judge_;
    std::vector<std::pair<const ftp_queue_item*, std::shared_ptr<exists_asking>>> asking_;
    bool question_shown_ = false;
    std::condition_variable asking_cv_;
    std::map<std::pair<bool, std::string>, exists_answer> exists_answers_;
    // Cancels the questions of item (null: all of them).
    void cancel_questions_locked(const ftp_queue_item* item);
    // One line to the log sink.
    void log_line(const std::string& text, int kind);
    std::thread scheduler_;
    // put_nodes, expansion, browser transfers and kills.
    lister_tasks tasks_;
};

}  // namespace qvtf
