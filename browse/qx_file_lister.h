// qx_file_lister: the model behind one browser pane. It shows the children
// of the current folder of a qxfile_tree as rows (filtered, sorted, with a
// leading up-row below the top), binds the pane to its half of the settings,
// and runs every pane operation inside the pane's busy lock:
//     code = acquire(); if (code == 0) code = operation; finish(code);
// The local and the remote pane derive from it.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "browse/lister_settings.h"
#include "browse/lister_view.h"
#include "browse/pane_busy_lock.h"
#include "browse/qxfile_filter.h"
#include "core/qxfile_tree.h"
#include "core/qxval.h"

namespace qvtf {

class qxlang;

// The pane's own error text holds the message.
constexpr int status_pane_text = 7000;

// Pair i moves sources[i] to destinations[i].
struct move_files_structure {
    std::vector<qxval> sources;
    std::vector<qxval> destinations;
};

// Runs after moves that changed something.
using move_done_callback = std::function<void()>;

class qx_file_lister {
public:
    // tree: the pane's entries (not owned; it outlives the pane).
    qx_file_lister(qxfile_tree& tree, const qxlang* language, qx_lister_view* view);
    virtual ~qx_file_lister();
    qx_file_lister(const qx_file_lister&) = delete;
    qx_file_lister& operator=(const qx_file_lister&) = delete;

    // ---- the pane's operations ----
    // Message for a code: 6014 the busy phrase, 7000 the pane's error text.
    virtual void error_text(qxval& out, int code) const;
    virtual bool is_selectable(const qxfile_node* node) const;
    // Image index of an entry (cached in icon_index), -1 when unknown.
    virtual int icon_of(qxfile_node* node);
    int selected_icon_of(qxfile_node* node) { return icon_of(node) + 3; }
    virtual void before_rows_rebuilt() {}
    // "/"-separated from the root "/", without a trailing "/" below it.
    virtual void path_of(const qxfile_node* node, qxval& out) const;
    virtual void show_idle();
    virtual int acquire();
    // Releases the lock when the caller holds it, restores the idle banner
    // and shows the message of a nonzero code.
    virtual void finish(int code);
    virtual bool is_ready() const { return true; }
    virtual void refresh_view(bool select_first);
    virtual void sort_rows();
    // node null: the current folder's parent.
    virtual int enter(qxfile_node* node, bool relist);
    virtual int change_folder(const qxval& path, bool relist);
    virtual int reload();
    // A folder is entered; other entries are the pane's business.
    virtual int open(qxfile_node* node);
    virtual int move_pairs(const move_files_structure& moves, const move_done_callback& done);
    virtual int delete_entries(const std::vector<qxfile_node*>& entries);
    virtual int make_folder(const qxval& name);
    // 1 connect, 2 disconnect, 4 transfer, 8 the end of an operation.
    virtual void play_event(int kind) { (void)kind; }
    virtual void save_settings();
    virtual void load_settings();

    // ---- rows ----
    void rebuild_rows();
    int32_t row_count() const;
    // The entry of a row; null for the up-row and rows out of range.
    qxfile_node* row_node(int32_t row) const;
    // The text of a cell; the up-row shows ".." in the Name column.
    qxval row_text(int32_t row, int kind) const;
    qxval column_text(const qxfile_node& node, int kind) const;
    // The selected rows' entries that may be selected; the view deselects
    // the others.
    std::vector<qxfile_node*> selected_nodes();
    void update_status();
    void update_filter_indicator();
    bool filter_active() const;
    // Whether the pane's view filter shows node (from any thread).
    bool filter_shows(const qxfile_node& node) const;

    // ---- folders ----
    qxfile_node* current_folder() const { return current_; }
    qxval current_path() const;
    qxfile_tree& tree() { return *tree_; }
    // Re-lists node and keeps the current folder (re-entered when node is
    // the current folder or one of its ancestors).
    int refresh_node(qxfile_node* node);

    // ---- columns ----
    std::vector<lister_column> columns() const;
    // The column kind at a display position (visible columns only), or -1.
    int column_at(int display_index) const;
    void column_clicked(int display_index);
    void set_column_width(int kind, int32_t width);
    void set_column_visible(int kind, bool visible);
    void move_column(int from_display, int to_display);
    void update_sort_indicator();
    int32_t folder_pane_width = 150;
    bool folder_pane_visible = true;

    // ---- settings ----
    // Binds the pane to its half of the settings and loads them.
    void bind_settings(const pane_settings& settings);
    // Stores new masks and filters (the filter dialog) and applies them.
    void set_filter(const qxval& include, const qxval& skip, bool time_on, int32_t time_start, int32_t time_end,
                    bool size_on, int32_t size_minimum, int32_t size_maximum);

    // ---- guarded and asynchronous forms ----
    // acquire; when it succeeds, op; finish with the result.
    int run_guarded(const std::function<int()>& op);
    // The same on a worker thread. With a title phrase, the progress pop-up
    // shows while it runs and the end plays event 8.
    bool run_async(std::function<int()> op, int title_phrase = 0);
    bool refresh_view_async(bool select_first);
    bool enter_async(qxfile_node* node, bool relist);
    bool reload_async();
    bool refresh_node_async(qxfile_node* node);
    // Background work (the queue, a sync) changed what the pane shows: it is
    // shown afresh, its folder listed again with relist, as soon as the pane
    // is free. Never refused as busy; requests made while one waits join it.
    bool refresh_when_free(bool relist);
    // As acquire, waiting up to ms for the holder to let go (0 or 6014).
    virtual int acquire_waiting(int ms);
    bool move_pairs_async(move_files_structure moves, move_done_callback done);
    // Moves entries of this pane into target (a folder of this pane).
    bool move_into_async(const std::vector<qxfile_node*>& entries, qxfile_node* target);
    bool delete_entries_async(std::vector<qxfile_node*> entries);
    bool make_folder_async(const qxval& name);
    // The pairs that move entries into target: path_of each entry, and the
    // target's path with one "/" and the entry's name.
    move_files_structure move_pairs_into(const std::vector<qxfile_node*>& entries, qxfile_node* target) const;
    // Blocks until every started operation has ended.
    void wait_for_operations() { tasks_.wait_idle(); }

    // The progress pop-up's abort button: the running operation ends at its
    // next step (any thread).
    virtual void abort_operation() { abort_flag = 1; }
    // Set by abort_operation; cleared when an operation with a pop-up starts.
    std::atomic<int> abort_flag{0};

    // The phrase's text, or "" without a language.
    std::string_view phrase(int number) const;
    qx_lister_view& view() const { return *view_; }
    const qxval& last_error() const { return last_error_; }

protected:
    // Sets the error text (phrase + detail) and returns 7000.
    int fail_with(int phrase_number, std::string_view detail);
    int fail_with(std::string text);
    // The message of a move that failed: "Can't move" source "to" destination.
    int fail_move(const qxval& from, const qxval& to);
    void set_current(qxfile_node* node);
    // The tree node at an absolute path, or null.
    qxfile_node* find_path(std::string_view path) const;
    // Marks every folder of the tree to be listed again when next shown.
    void mark_all_for_listing();
    static bool is_ancestor(const qxfile_node* maybe, const qxfile_node* node);
    // Whether the Size column shows a size for folders.
    virtual bool folder_sizes_shown() const { return true; }
    // The pane's busy lock; the remote pane uses its session's instead.
    virtual void release_lock();

    // Runs one operation inside the busy lock; the remote pane logs in
    // again when the server dropped the connection under it.
    virtual int run_operation(const std::function<int()>& op) { return op(); }
    // Runs work on a thread of its own, outside the busy lock.
    bool start_task(std::function<void()> work) { return tasks_.start(std::move(work)); }
    // First thing a closing pane does: waiting background refreshes give up.
    void stop_background_refreshes();
    // A background refresh holds the lock: users' operations wait it out.
    bool background_holding() const { return background_holding_; }

    qxfile_tree* tree_;
    const qxlang* language_;
    qx_lister_view* view_;
    pane_settings settings_;
    pane_busy_lock lock_;

private:
    qxfile_node* current_ = nullptr;
    mutable std::mutex state_mutex_;  // rows, path and columns for the view's thread
    qxval current_path_{""};
    std::vector<qxfile_node*> rows_;
    std::uint64_t rows_generation_ = 0;  // the tree's generation rows_ was taken at
    std::vector<lister_column> columns_;
    mutable std::mutex filter_mutex_;
    qxfile_filter filter_;
    qxval last_error_{""};
    void background_refresh();
    std::mutex background_mutex_;
    bool background_pending_ = false;  // a refresh waits for the lock
    bool background_relist_ = false;
    std::atomic<bool> background_holding_{false};
    std::atomic<bool> closing_{false};
    lister_tasks tasks_;
};

}  // namespace qvtf
