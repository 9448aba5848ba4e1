// Recursive delete and permission change: walk one remote folder with an
// entry hook for each listed child and a folder hook for the folder itself.
#include <string>

#include "core/folder_trail.h"
#include "ftp/ftp_control.h"
#include "remote/chmod_plan.h"
#include "remote/remote_walk.h"

namespace qvtf {

namespace {

constexpr int phrase_leads_back = 870;

}  // namespace

remote_result ftp_control::remove_folder_hook(const qxval& path)
{
    return remove_folder(path);
}

const qxval* ftp_control::mode_for(bool is_folder) const
{
    return chmod_mode_for(walk_change_, is_folder);
}

remote_result ftp_control::change_mode_folder_hook(const qxval& path)
{
    const qxval* mode = mode_for(true);
    return mode ? change_mode(path, *mode) : remote_result(status_ok);
}

remote_result ftp_control::delete_entry_hook(qxfile_node& entry)
{
    return delete_entry(entry);
}

remote_result ftp_control::change_mode_entry_hook(qxfile_node& entry)
{
    return change_mode_entry(entry, walk_change_);
}

remote_result ftp_control::walk_folder(const qxval& path, entry_hook entry, folder_hook folder)
{
    remote_walk walk{*this, walk_trail_, [this, entry](qxfile_node& e) { return (this->*entry)(e); },
                     [this, folder](const qxval& p) { return (this->*folder)(p); },
                     [this](std::string_view text) {
                         if (observer_)
                             status(text);
                     }};
    return walk.walk(path);
}

remote_result ftp_control::delete_entry(qxfile_node& entry)
{
    if (!logged_in())
        return status_not_connected;
    // A link, even to a folder, is removed itself and never entered.
    if (entry.is_folder && !entry.is_link())
        return walk_folder(entry.name, &ftp_control::delete_entry_hook, &ftp_control::remove_folder_hook);
    return delete_file(entry.name);
}

remote_result ftp_control::change_mode_entry(qxfile_node& entry, const chmod_request& change)
{
    if (!logged_in())
        return status_not_connected;
    walk_change_ = change;
    bool walk = entry.is_folder != 0;
    bool folder = walk;
    bool loop = false;
    if (walk && entry.is_link()) {
        qxfile_node* target = folder_tree_.resolve_link(&entry);
        if (!target) {
            // Unknown target: see whether it can be entered at all, and
            // where a server that names the folder a link leads to puts it.
            // Back by name: the parent of where the link leads may be
            // another folder.
            const qxval back = current_path_;
            remote_result status = change_folder(entry.name);
            if (status.status == status_refused) {
                walk = folder = false;
            } else if (!status.ok()) {
                return status;
            } else {
                const std::string here = current_path_.str();
                loop = path_covers(here, back.view()) || leads_back(here, walk_trail_);
                if (remote_result returned = change_folder(back); !returned.ok())
                    return returned;
            }
        } else {
            loop = is_tree_ancestor(target, &entry);
        }
    }
    if (loop) {
        walk = false;
        std::string text(phrase(phrase_leads_back));
        text += current_path_.view();
        if (!text.ends_with('/'))
            text += '/';
        text += entry.name.view();
        log(log_info, text + "\r\n");
    }
    if (walk)
        return walk_folder(entry.name, &ftp_control::change_mode_entry_hook, &ftp_control::change_mode_folder_hook);
    const qxval* mode = mode_for(folder);
    return mode ? change_mode(entry.name, *mode) : remote_result(status_ok);
}

}  // namespace qvtf
