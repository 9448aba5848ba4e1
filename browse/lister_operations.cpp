// The busy-lock protocol of a pane, its guarded and asynchronous forms, and
// the base versions of the navigation operations (over the tree as it is).
#include <string>

#include "browse/qx_file_lister.h"
#include "remote/remote_status.h"

namespace qvtf {

namespace {

constexpr int phrase_read_failed = 25;
constexpr int phrase_move_failed = 32;
constexpr int phrase_move_to = 33;
constexpr int phrase_deleting = 45;
constexpr int phrase_creating_folder = 98;
constexpr int phrase_moving = 138;
constexpr int phrase_busy = 159;
constexpr int phrase_ready = 251;
// A waiting background refresh looks at the closing flag this often.
constexpr int background_wait_step_ms = 200;

}  // namespace

void qx_file_lister::error_text(qxval& out, int code) const
{
    if (code == status_busy)
        out.set_bytes(phrase(phrase_busy));
    else if (code == status_pane_text)
        out = last_error_;
    else
        out.set_bytes("", 0);
}

int qx_file_lister::fail_with(int phrase_number, std::string_view detail)
{
    std::string text(phrase(phrase_number));
    text += detail;
    return fail_with(std::move(text));
}

int qx_file_lister::fail_with(std::string text)
{
    last_error_.set_bytes(text);
    return status_pane_text;
}

int qx_file_lister::fail_move(const qxval& from, const qxval& to)
{
    std::string text(phrase(phrase_move_failed));
    text += from.view();
    text += phrase(phrase_move_to);
    text += to.view();
    return fail_with(std::move(text));
}

void qx_file_lister::show_idle()
{
    view_->banner_changed(false, qxval(phrase(phrase_ready)));
}

int qx_file_lister::acquire()
{
    return lock_.acquire();
}

int qx_file_lister::acquire_waiting(int ms)
{
    return lock_.acquire_waiting(ms, &closing_);
}

void qx_file_lister::release_lock()
{
    lock_.release();
}

void qx_file_lister::finish(int code)
{
    // A caller that never got the lock leaves the running operation's
    // banner alone.
    if (code != status_busy) {
        release_lock();
        show_idle();
    }
    if (code) {
        qxval text;
        error_text(text, code);
        view_->error_shown(code, text);
    }
}

int qx_file_lister::run_guarded(const std::function<int()>& op)
{
    int code = acquire();
    if (code == status_ok)
        code = run_operation(op);
    finish(code);
    return code;
}

bool qx_file_lister::run_async(std::function<int()> op, int title_phrase)
{
    if (title_phrase) {
        abort_flag = 0;
        view_->progress_opened(qxval(phrase(title_phrase)));
    }
    const bool started = tasks_.start([this, op = std::move(op), title_phrase] {
        run_guarded(op);
        if (title_phrase) {
            view_->progress_closed();
            play_event(8);
        }
    });
    if (!started && title_phrase)
        view_->progress_closed();
    return started;
}

bool qx_file_lister::refresh_view_async(bool select_first)
{
    return run_async([this, select_first] {
        refresh_view(select_first);
        return status_ok;
    });
}

bool qx_file_lister::enter_async(qxfile_node* node, bool relist)
{
    return run_async([this, node, relist] { return enter(node, relist); });
}

bool qx_file_lister::reload_async()
{
    return run_async([this] { return reload(); });
}

bool qx_file_lister::refresh_node_async(qxfile_node* node)
{
    return run_async([this, node] { return refresh_node(node); });
}

bool qx_file_lister::refresh_when_free(bool relist)
{
    {
        std::lock_guard lock(background_mutex_);
        background_relist_ = background_relist_ || relist;
        if (background_pending_)
            return true;
        background_pending_ = true;
    }
    if (tasks_.start([this] { background_refresh(); }))
        return true;
    std::lock_guard lock(background_mutex_);
    background_pending_ = false;
    return false;
}

void qx_file_lister::background_refresh()
{
    int code = status_busy;
    while (code == status_busy && !closing_)
        code = acquire_waiting(background_wait_step_ms);
    bool relist = false;
    {
        // Cleared once the lock is ours: a later request starts a refresh
        // of its own, which sees what happens from here on.
        std::lock_guard lock(background_mutex_);
        relist = background_relist_;
        background_relist_ = false;
        background_pending_ = false;
    }
    if (code != status_ok)
        return;
    background_holding_ = true;
    if (relist && is_ready()) {
        code = run_operation([this] { return reload(); });
    } else {
        refresh_view(false);
        code = status_ok;
    }
    // Cleared after the release, so no user's operation that met the hold
    // is refused for it.
    finish(code);
    background_holding_ = false;
}

void qx_file_lister::stop_background_refreshes()
{
    closing_ = true;
    lock_.wake_waiters();
}

bool qx_file_lister::move_pairs_async(move_files_structure moves, move_done_callback done)
{
    return run_async([this, moves = std::move(moves), done = std::move(done)] { return move_pairs(moves, done); },
                     phrase_moving);
}

move_files_structure qx_file_lister::move_pairs_into(const std::vector<qxfile_node*>& entries,
                                                     qxfile_node* target) const
{
    move_files_structure moves;
    qxval folder;
    path_of(target, folder);
    std::string base(folder.view());
    while (!base.empty() && base.back() == '/')
        base.pop_back();
    base += '/';
    for (qxfile_node* entry : entries) {
        qxval source;
        path_of(entry, source);
        moves.sources.push_back(source);
        moves.destinations.push_back(qxval(base + entry->name.str()));
    }
    return moves;
}

bool qx_file_lister::move_into_async(const std::vector<qxfile_node*>& entries, qxfile_node* target)
{
    if (!target || entries.empty())
        return false;
    move_done_callback done = [this, target] { refresh_node(is_ancestor(target, current_) ? target : current_); };
    return move_pairs_async(move_pairs_into(entries, target), std::move(done));
}

bool qx_file_lister::delete_entries_async(std::vector<qxfile_node*> entries)
{
    return run_async([this, entries = std::move(entries)] { return delete_entries(entries); }, phrase_deleting);
}

bool qx_file_lister::make_folder_async(const qxval& name)
{
    return run_async([this, name] { return make_folder(name); }, phrase_creating_folder);
}

int qx_file_lister::refresh_node(qxfile_node* node)
{
    if (!node)
        return status_ok;
    if (node == current_)
        return enter(node, true);
    if (is_ancestor(node, current_)) {
        // Re-listing the ancestor destroys the current folder's node.
        const qxval path = current_path();
        if (int code = enter(node, true))
            return code;
        return change_folder(path, true);
    }
    qxfile_node* keep = current_;
    const int code = enter(node, true);
    set_current(keep);
    refresh_view(false);
    return code;
}

int qx_file_lister::enter(qxfile_node* node, bool relist)
{
    (void)relist;
    if (!node)
        node = current_ ? current_->parent : nullptr;
    if (!node || !node->is_folder)
        return status_ok;
    set_current(node);
    view_->folder_selected(node);
    refresh_view(true);
    return status_ok;
}

int qx_file_lister::change_folder(const qxval& path, bool relist)
{
    qxfile_node* node = find_path(path.view());
    if (!node)
        return fail_with(phrase_read_failed, path.view());
    return enter(node, relist);
}

int qx_file_lister::reload()
{
    refresh_view(true);
    return status_ok;
}

int qx_file_lister::open(qxfile_node* node)
{
    if (!node || node->is_folder)
        return enter(node, true);
    return status_ok;
}

int qx_file_lister::move_pairs(const move_files_structure& moves, const move_done_callback& done)
{
    (void)moves;
    (void)done;
    return status_refused;
}

int qx_file_lister::delete_entries(const std::vector<qxfile_node*>& entries)
{
    (void)entries;
    return status_refused;
}

int qx_file_lister::make_folder(const qxval& name)
{
    (void)name;
    return status_refused;
}

}  // namespace qvtf
