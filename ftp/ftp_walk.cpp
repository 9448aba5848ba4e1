// Recursive delete and permission change: walk one remote folder with an
// entry hook for each listed child and a folder hook for the folder itself.
#include <string>

#include "ftp/chmod_plan.h"
#include "core/folder_trail.h"
#include "ftp/ftp_control.h"

namespace qvtf {

namespace {

constexpr int phrase_entering = 39;
constexpr int phrase_listing = 40;
constexpr int phrase_entry = 41;
constexpr int phrase_returning = 43;
constexpr int phrase_folder_done = 44;
constexpr int phrase_leads_back = 870;

void tell(ftp_control& s, int phrase, std::string_view what)
{
    if (!s.observer)
        return;
    std::string text(s.phrase(phrase));
    text += what;
    s.status(text);
}

bool stopped(const ftp_control& s)
{
    return (s.stop_flag && s.stop_flag->load() != 0) || s.stop_request != 0;
}

int remove_folder_hook(ftp_control& s, const qxval& path)
{
    return s.remove_folder(path);
}

// The mode a change gives an entry of this kind; null when it leaves the kind alone.
const qxval* mode_for(const ftp_control& s, bool is_folder)
{
    if (!chmod_plan{0, 0, s.chmod_targets}.changes(is_folder))
        return nullptr;
    return !is_folder && !s.chmod_file_mode.view().empty() ? &s.chmod_file_mode : &s.chmod_mode;
}

int change_mode_folder_hook(ftp_control& s, const qxval& path)
{
    const qxval* mode = mode_for(s, true);
    return mode ? s.change_mode(path, mode) : status_ok;
}

int delete_entry_hook(ftp_control& s, qxfile_node& entry)
{
    return s.delete_entry(entry);
}

int change_mode_entry_hook(ftp_control& s, qxfile_node& entry)
{
    return s.change_mode_entry(entry);
}

bool is_ancestor(const qxfile_node* maybe, const qxfile_node* node)
{
    for (const qxfile_node* n = node ? node->parent : nullptr; n; n = n->parent)
        if (n == maybe)
            return true;
    return false;
}

}  // namespace

int ftp_control::walk_folder(const qxval& path, ftp_entry_hook entry_hook, ftp_folder_hook folder_hook)
{
    ftp_session_lock hold(*this);
    if (!hold)
        return hold.status();
    const qxval remembered = current_path;
    tell(*this, phrase_entering, path.view());
    bool inside = false;
    int status = change_folder(path);
    std::string bound_text;
    if (status == status_ok) {
        inside = true;
        const std::string here = current_path.str();
        // Back where we came from, in a folder the walk is inside, or above
        // one of them: a loop.
        if (path_covers(here, remembered.view()) || leads_back(here, walk_trail_))
            bound_text = "The folder " + here + " contains itself; it is not entered again.\r\n";
        else if (walk_trail_.size() >= static_cast<size_t>(walk_depth_limit))
            bound_text = "Folders nest deeper than " + std::to_string(walk_depth_limit) + " levels at " + here + "\r\n";
    }
    if (!bound_text.empty()) {
        status = status_recursive_failed;
        stored_error_text.set_bytes(bound_text);
        log(log_error, bound_text);
    } else if (status == status_ok) {
        walk_trail_.push_back(current_path.str());
        if (stopped(*this))
            status = status_stopped;
        else {
            tell(*this, phrase_listing, path.view());
            status = list_directory(qxval(""));
        }
        for (qxfile_node* child = (status == 0 && current_folder) ? current_folder->first_child : nullptr;
             child && status == 0; child = child->next) {
            if (stopped(*this)) {
                status = status_stopped;
                break;
            }
            tell(*this, phrase_entry, child->name.view());
            status = entry_hook(*this, *child);
        }
        if (status == 0 && stopped(*this))
            status = status_stopped;
        if (status == 0) {
            tell(*this, phrase_returning, remembered.view());
            status = change_folder(remembered);
            inside = status != 0 ? inside : false;
        }
        if (status == 0 && stopped(*this))
            status = status_stopped;
        walk_trail_.pop_back();
        if (status == 0) {
            tell(*this, phrase_folder_done, "");
            status = folder_hook(*this, path);
        }
    }
    if (status == status_refused) {
        status = status_recursive_failed;
        std::string text;
        for (const qxval& line : refusal_lines) {
            text += line.view();
            text += "\r\n";
        }
        stored_error_text.set_bytes(text);
    }
    if (inside && status != 0)
        change_folder(remembered);
    return status;
}

int ftp_control::delete_entry(qxfile_node& entry)
{
    if (!logged_in)
        return status_not_connected;
    delete_entry_hook = &qvtf::delete_entry_hook;
    remove_folder_hook = &qvtf::remove_folder_hook;
    // A link, even to a folder, is removed itself and never entered.
    if (entry.is_folder && !entry.is_link())
        return walk_folder(entry.name, &qvtf::delete_entry_hook, &qvtf::remove_folder_hook);
    return delete_file(entry.name);
}

int ftp_control::change_mode_entry(qxfile_node& entry)
{
    if (!logged_in)
        return status_not_connected;
    bool walk = entry.is_folder != 0;
    bool folder = walk;
    bool loop = false;
    if (walk && entry.is_link()) {
        qxfile_node* target = folder_tree.resolve_link(&entry);
        if (!target) {
            // Unknown target: see whether it can be entered at all, and
            // where a server that names the folder a link leads to puts it.
            // Back by name: the parent of where the link leads may be
            // another folder.
            const qxval back = current_path;
            int status = change_folder(entry.name);
            if (status == status_refused) {
                walk = folder = false;
            } else if (status != status_ok) {
                return status;
            } else {
                const std::string here = current_path.str();
                loop = path_covers(here, back.view()) || leads_back(here, walk_trail_);
                if (int returned = change_folder(back))
                    return returned;
            }
        } else {
            loop = is_ancestor(target, &entry);
        }
    }
    if (loop) {
        walk = false;
        std::string text(phrase(phrase_leads_back));
        text += current_path.view();
        if (!text.ends_with('/'))
            text += '/';
        text += entry.name.view();
        log(log_info, text + "\r\n");
    }
    if (walk)
        return walk_folder(entry.name, &qvtf::change_mode_entry_hook, &qvtf::change_mode_folder_hook);
    const qxval* mode = mode_for(*this, folder);
    return mode ? change_mode(entry.name, mode) : status_ok;
}

}  // namespace qvtf
