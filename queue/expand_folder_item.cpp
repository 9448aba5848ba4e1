// Folder expansion: a folder item runs on the browser connection and turns
// into the items of its folder's entries, appended at the tail; sub-folders
// become folder items of their own, so a tree is copied breadth-first.
#include <cerrno>

#include "core/own_temporaries.h"
#include "core/qxfiles.h"
#include "net/transport_status.h"
#include "queue/folder_loops.h"
#include "queue/queue_worker.h"
#include "remote/remote_folder_guard.h"

namespace qvtf {

namespace {

constexpr int phrase_cannot_read_folder = 25;
constexpr int phrase_colon = 38;
constexpr int phrase_cannot_create_folder = 99;
constexpr int phrase_not_a_folder = 107;
constexpr int phrase_cannot_create_remote = 288;

qxval one_separator(const qxval& path)
{
    std::string_view text = path.view();
    while (!text.empty() && text.back() == '/')
        text.remove_suffix(1);
    return qxval(std::string(text) + "/");
}

// The folder node of an absolute path in the session's tree, or null.
qxfile_node* folder_node(qxfile_tree& tree, std::string_view path)
{
    qxfile_node* node = tree.root;
    while (node && !path.empty()) {
        while (path.starts_with('/'))
            path.remove_prefix(1);
        if (path.empty())
            break;
        const std::size_t slash = path.find('/');
        const std::string_view part = path.substr(0, slash);
        path = slash == std::string_view::npos ? std::string_view() : path.substr(slash);
        qxfile_node* child = node->first_child;
        while (child && !(child->is_folder && child->name.view() == part))
            child = child->next;
        node = child;
    }
    return node;
}

}  // namespace

bool ftp_queue_process_manager::expansion_stopped(const ftp_queue_item& item)
{
    std::lock_guard held(lock_);
    return !open_ || (item.state_flags & (item_stopped | item_kill_requested)) != 0;
}

void ftp_queue_process_manager::mark_remote_stale(remote_session& browser, const qxval& remote_folder)
{
    if (qxfile_node* node = folder_node(browser.folder_tree(), remote_folder.view()))
        node->needs_listing = 1;
}

void ftp_queue_process_manager::expand_folder_item(remote_handover handed, ftp_queue_item* item)
{
    remote_session_lock hold(std::move(handed));
    remote_session* browser = panes ? panes->browser() : nullptr;
    panes->lock_remote_display();
    {
        std::lock_guard held(lock_);
        if (view)
            view->update_row(*item);
    }
    // Paths, direction and type do not change while the item exists, and
    // it exists until this thread removes it.
    const qxval local = one_separator(item->local_path);
    const qxval remote = one_separator(item->remote_path);
    bool turned_to_file = false;
    int code = hold ? status_ok : hold.status();
    if (code == status_ok && browser)
        browser->clear_stop();
    if (code == status_ok && browser)
        code = item->is_download ? expand_download(*browser, *item, local, remote, turned_to_file)
                                 : expand_upload(*browser, *item, local, remote);

    bool now_empty = false;
    std::unique_ptr<ftp_queue_item> gone;
    {
        std::lock_guard held(lock_);
        const uint32_t flags = item->state_flags;
        if (turned_to_file) {
            // Downloaded as a file by the scheduler.
        } else if ((flags & item_stopped) && !(flags & item_kill_requested) && open_) {
            item->state_flags = (flags & ~item_state_mask) | item_stopped;
            item->connection = nullptr;
            if (view)
                view->update_row(*item);
        } else {
            gone = unlink_locked(item, now_empty);
        }
        expanding_ = false;
        browser_in_use_ = false;
        wake_ = true;
    }
    if (gone && observer) {
        queue_item_result outcome;
        outcome.is_download = gone->is_download;
        outcome.again = saved_of(*gone);
        outcome.is_folder = 1;
        outcome.local_path = gone->local_path;
        outcome.remote_path = gone->remote_path;
        const bool killed = (gone->state_flags & item_kill_requested) != 0;
        outcome.result_code = killed ? status_stopped : code;
        outcome.succeeded = outcome.result_code == status_ok;
        outcome.tries = 1;
        observer->on_finished(outcome);
    }
    panes->unlock_remote_display();
    panes->refresh_remote();
    hold.unlock();
    scheduler_cv_.notify_one();
    if (gone)
        after_removal(now_empty);
    else
        note_changed();
}

int ftp_queue_process_manager::expand_download(remote_session& browser, ftp_queue_item& item, const qxval& local,
                                               const qxval& remote, bool& turned_to_file)
{
    remote_folder_guard back(browser);
    const qxval remote_folder = without_trailing_slash(remote);
    remote_result code = browser.change_folder(remote_folder);
    if (!code.ok()) {
        back.dismiss();
        if (item.is_link) {
            // A link that cannot be entered is downloaded as a file.
            std::lock_guard held(lock_);
            item.is_folder = 0;
            item.state_flags = (item.state_flags & ~item_state_mask) | item_stopped;
            if (view)
                view->update_row(item);
            item.state_flags = (item.state_flags & ~item_state_mask) | item_waiting;
            item.connection = nullptr;
            turned_to_file = true;
            return status_ok;
        }
        qxval text;
        browser.error_text(code, text);
        report(text.str());
        return code;
    }
    // The guard takes the session back when the folder is skipped.
    if (!enter_folder_item(*this, item, browser.current_path().str()))
        return status_ok;
    code = browser.list_directory(qxval(""));
    if (!code.ok()) {
        qxval text;
        browser.error_text(code, text);
        report(text.str());
        return code;
    }
    qxfile_node* folder = browser.current_folder();
    const qxval local_folder = without_trailing_slash(local);
    qxfile_node probe;
    if (stat_path(local_folder, probe)) {
        if (!probe.is_folder) {
            report(local_folder.str() + std::string(phrase(phrase_not_a_folder)));
            return status_local_file;
        }
    } else if (!create_directory(local_folder)) {
        report(std::string(phrase(phrase_cannot_create_folder)) + local_folder.str() +
               std::string(phrase(phrase_colon)) + system_error_text(errno));
        return status_local_file;
    }

    std::vector<qxfile_node*> passed;
    for (qxfile_node* child = folder ? folder->first_child : nullptr; child; child = child->next) {
        if (expansion_stopped(item))
            break;
        if (child->is_link())
            browser.folder_tree().resolve_link(child);
        if (panes->remote_shows(*child))
            passed.push_back(child);
    }
    add_children(item, passed, local, remote);
    return status_ok;
}

void ftp_queue_process_manager::add_children(ftp_queue_item& item, const std::vector<qxfile_node*>& children,
                                             const qxval& local, const qxval& remote)
{
    if (children.empty())
        return;
    if (view)
        view->begin_update();
    for (qxfile_node* child : children) {
        if (expansion_stopped(item))
            break;
        std::vector<std::string> trail;
        const qxval& side = item.is_download ? remote : local;
        if (child->is_folder && !child_trail(*this, item, *child, side.str() + child->name.str(), trail))
            continue;
        const int added = add_node(*child, local, remote, item.is_download, item.transfer_type, item.transfer_option,
                                   std::move(trail));
        if (added == 1)
            break;
        if (added == target_taken)
            report_target_taken(*child, local, remote, item.is_download);
    }
    if (view)
        view->end_update();
}

int ftp_queue_process_manager::expand_upload(remote_session& browser, ftp_queue_item& item, const qxval& local,
                                             const qxval& remote)
{
    const qxval remote_folder = without_trailing_slash(remote);
    remote_result code;
    {
        // Whether the folder is there; made when it is not.
        remote_folder_guard back(browser);
        code = browser.change_folder(remote_folder);
        if (!code.ok()) {
            back.dismiss();
            if (expansion_stopped(item))
                return status_stopped;
            code = browser.make_folder(remote_folder);
            if (code.ok())
                mark_remote_stale(browser, item.remote_folder);
        }
    }
    if (!code.ok()) {
        qxval text;
        browser.error_text(code, text);
        report(std::string(phrase(phrase_cannot_create_remote)) + remote_folder.str() +
               std::string(phrase(phrase_colon)) + text.str());
        return code;
    }

    // Read from the disk into a tree of its own: the local pane's lock is
    // not needed, and its refreshes can neither refuse nor disturb this.
    const qxval local_folder = without_trailing_slash(local);
    enter_folder_item(*this, item, local_folder.str());
    qxfile_tree entries;
    if (!list_folder(local_folder, entries, nullptr, true, qxval("*"))) {
        const int reason = errno;
        report(std::string(phrase(phrase_cannot_read_folder)) + local_folder.str() + std::string(phrase(phrase_colon)) +
               system_error_text(reason));
        return status_local_file;
    }
    std::vector<qxfile_node*> passed;
    for (qxfile_node* child = entries.root; child; child = child->next)
        if (panes->local_shows(*child) && !is_own_temporary(child->name.view()))
            passed.push_back(child);
    add_children(item, passed, local, remote);
    return status_ok;
}

}  // namespace qvtf
