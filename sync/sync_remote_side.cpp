#include "sync/sync_remote_side.h"

#include <cstdlib>
#include <ctime>

#include "core/qxfile_node.h"
#include "ftp/ftp_control.h"

namespace qvtf {

namespace {

// The text after "213 " of a one-line reply, or empty.
std::string answer_213(ftp_control& s, const std::string& command)
{
    if (s.send_command(command) != 0 || s.reply_code != 213)
        return "";
    for (const qxval& line : s.reply_lines)
        return line.view().size() > 4 ? std::string(line.view().substr(4)) : "";
    return "";
}

}  // namespace

int sync_remote_side::list(const std::string& path, std::vector<sync_entry>& out)
{
    out.clear();
    ftp_session_lock hold(session_);
    if (!hold)
        return hold.status();
    if (int status = session_.change_folder(qxval(path)))
        return status;
    if (int status = session_.list_directory(qxval("")))
        return status;
    quality_.whole = session_.last_listing.whole();
    quality_.exact_times = session_.last_listing.exact_times;
    quality_.clock_offset = session_.time_difference;
    qxfile_tree::reader tree_hold(session_.folder_tree);
    for (const qxfile_node* n = session_.current_folder ? session_.current_folder->first_child : nullptr; n;
         n = n->next) {
        sync_entry e;
        e.name = n->name.str();
        if (e.name == "." || e.name == "..")
            continue;
        e.is_folder = n->is_folder != 0;
        e.is_link = n->is_link();
        e.link_target = n->link_target.str();
        e.size = n->size();
        e.modified = n->modified;
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
    ftp_session_lock hold(session_);
    if (!hold)
        return;
    entry.kind_known = true;
    if (session_.change_folder(qxval(path)) == 0) {
        entry.is_folder = true;
        return;
    }
    entry.is_folder = false;
    const std::string size = answer_213(session_, "SIZE " + path);
    if (!size.empty()) {
        entry.size = std::strtoull(size.c_str(), nullptr, 10);
        entry.size_known = true;
    }
    const std::string stamp = answer_213(session_, "MDTM " + path);
    std::tm tm{};
    if (stamp.size() >= 14 && ::strptime(stamp.substr(0, 14).c_str(), "%Y%m%d%H%M%S", &tm)) {
        // The server's clock, like its listings.
        entry.modified = ::timegm(&tm) - session_.time_difference;
        entry.time_known = true;
    }
}

}  // namespace qvtf
