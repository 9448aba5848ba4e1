// Recursive delete and permission change, as FTP sessions do them: a link
// is removed or changed itself and never entered by a delete; a permission
// change follows a link to a folder unless it leads back.
#include "core/folder_trail.h"
#include "remote/chmod_plan.h"
#include "remote/remote_walk.h"
#include "sftp/sftp_session.h"

namespace qvtf {

namespace {

constexpr int phrase_leads_back = 870;

}  // namespace

remote_result sftp_session::walk_folder(const qxval& path, entry_hook entry, folder_hook folder)
{
    remote_walk walk{*this, walk_trail_, [this, entry](qxfile_node& e) { return (this->*entry)(e); },
                     [this, folder](const qxval& p) { return (this->*folder)(p); },
                     [this](std::string_view text) {
                         if (observer_)
                             observer_->on_status(*this, qxval(text));
                     }};
    return walk.walk(path);
}

const qxval* sftp_session::mode_for(bool is_folder) const
{
    return chmod_mode_for(walk_change_, is_folder);
}

remote_result sftp_session::change_mode_folder_hook(const qxval& path)
{
    const qxval* mode = mode_for(true);
    return mode ? change_mode(path, *mode) : remote_result(status_ok);
}

remote_result sftp_session::delete_entry(qxfile_node& entry)
{
    if (!logged_in())
        return status_not_connected;
    if (entry.is_folder && !entry.is_link())
        return walk_folder(entry.name, &sftp_session::delete_entry_hook, &sftp_session::remove_folder_hook);
    return delete_file(entry.name);
}

remote_result sftp_session::change_mode_entry(qxfile_node& entry, const chmod_request& change)
{
    if (!logged_in())
        return status_not_connected;
    // The walk's own hooks hand the change it holds back in.
    if (&change != &walk_change_)
        walk_change_ = change;
    bool walk = entry.is_folder != 0;
    bool loop = false;
    if (walk && entry.is_link()) {
        // Where the link leads, as the server resolves it.
        const qxval back = current_path_;
        if (remote_result status = change_folder(entry.name); !status.ok())
            return status;
        const std::string here = current_path_.str();
        qxfile_node* target = folder_tree_.resolve_link(&entry);
        loop = path_covers(here, back.view()) || leads_back(here, walk_trail_) || (target && is_tree_ancestor(target, &entry));
        if (remote_result returned = change_folder(back); !returned.ok())
            return returned;
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
        return walk_folder(entry.name, &sftp_session::change_mode_entry_hook, &sftp_session::change_mode_folder_hook);
    const qxval* mode = mode_for(entry.is_folder != 0);
    return mode ? change_mode(entry.name, *mode) : remote_result(status_ok);
}

}  // namespace qvtf
