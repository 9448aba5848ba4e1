#include "sync/sync_remote_side.h"

#include "core/qxfile_node.h"
#include "remote/remote_session.h"

namespace qvtf {

int sync_remote_side::list(const std::string& path, std::vector<sync_entry>& out)
{
    out.clear();
    remote_session_lock hold(session_);
    if (!hold)
        return hold.status();
    failure_ = session_.change_folder(qxval(path));
    if (failure_.ok())
        failure_ = session_.list_directory(qxval(""));
    if (!failure_.ok())
        return failure_.status;
    const listing_report report = session_.last_listing();
    quality_.whole = report.whole();
    quality_.exact_times = report.exact_times;
    quality_.clock_offset = session_.time_difference();
    qxfile_tree::reader tree_hold(session_.folder_tree());
    qxfile_node* folder = session_.current_folder();
    for (const qxfile_node* n = folder ? folder->first_child : nullptr; n; n = n->next) {
        sync_entry e;
        e.name = n->name.str();
        if (e.name == "." || e.name == "..")
            continue;
        e.is_folder = n->is_folder != 0;
        e.is_link = n->is_link();
        e.link_target = n->link_target.str();
        e.size = n->size();
        e.modified = n->modified;
        e.time_exact = n->time_exact != 0;
        if (e.is_link) {
            // What the listing shows is the link's own; its target is unknown.
            e.kind_known = e.size_known = e.time_known = false;
            e.is_folder = false;
        }
        out.push_back(std::move(e));
    }
    return 0;
}

void sync_remote_side::resolve_link(const std::string& path, sync_entry& entry)
{
    remote_session_lock hold(session_);
    if (!hold)
        return;
    entry.kind_known = true;
    if (session_.change_folder(qxval(path)) == 0) {
        entry.is_folder = true;
        return;
    }
    entry.is_folder = false;
    int64_t size = -1;
    if (session_.file_size(qxval(path), size) == 0 && size >= 0) {
        entry.size = static_cast<uint64_t>(size);
        entry.size_known = true;
    }
    int64_t stamp = -1;
    if (session_.modification_time(qxval(path), stamp) == 0 && stamp >= 0) {
        // The server's clock, like its listings.
        entry.modified = stamp - session_.time_difference();
        entry.time_known = true;
        entry.time_exact = true;
    }
}

void sync_remote_side::exact_time(const std::string& path, sync_entry& entry)
{
    if (!session_.features().mdtm && !session_.features().mlst)
        return;
    remote_session_lock hold(session_);
    if (!hold)
        return;
    int64_t stamp = -1;
    if (session_.modification_time(qxval(path), stamp) == 0 && stamp >= 0) {
        entry.modified = stamp - session_.time_difference();
        entry.time_known = true;
        entry.time_exact = true;
    }
}

}  // namespace qvtf
