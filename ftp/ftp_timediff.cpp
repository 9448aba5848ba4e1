// The server's clock offset: upload an empty file, list it, compare its
// time with the moment of the upload, delete it again.
#include <unistd.h>

#include <ctime>

#include "core/qxfiles.h"
#include "core/qxtime.h"
#include "ftp/ftp_control.h"

namespace qvtf {

int ftp_control::measure_time_difference()
{
    ftp_session_lock hold(*this);
    if (!hold)
        return hold.status();
    time_difference = 0;
    if (!current_folder)
        return status_not_connected;
    if (current_folder->needs_listing) {
        if (int status = list_directory(qxval("")))
            return status;
    }
    file_handle created = open_file(local_path, "w");
    if (created == invalid_file_handle)
        return status_local_file;
    close_file(created);

    // The probe is nobody's queue item: no progress, no tolerance change.
    // The item (and the direction and option the queue set) stay the
    // caller's, and a pending stop is honoured, not cleared.
    ftp_queue_item* const item = current_item;
    current_item = nullptr;
    const std::string_view local = local_path.view();
    const size_t slash = local.find_last_of("/\\");
    std::string name(slash == std::string_view::npos ? local : local.substr(slash + 1));
    auto listed = [&](const std::string& n) {
        for (qxfile_node* c = current_folder ? current_folder->first_child : nullptr; c; c = c->next)
            if (c->name.view() == n)
                return c;
        return static_cast<qxfile_node*>(nullptr);
    };
    while (listed(name))
        name += '1';

    const std::time_t t1 = std::time(nullptr);
    ftp_transfer_request probe;
    probe.direction = 0;
    probe.local_path = local_path;
    probe.remote_path = qxval(name);
    int status = transfer_file(probe);
    if (status == status_ok) {
        const std::time_t t2 = std::time(nullptr);
        status = list_directory(qxval(""));
        if (status == status_ok) {
            // The listing reader already subtracted the old offset (0).
            if (qxfile_node* entry = listed(name))
                time_difference = clamp_seconds((2 * int64_t(entry->modified) - t1 - t2) / 2);
            else
                status = unexpected_reply();  // the listing lacks the file just stored
        }
        const int deleted = delete_file(qxval(name));
        if (status == status_ok)
            status = deleted;
    }
    qvtf::delete_file(local_path);
    current_item = item;
    return status;
}

}  // namespace qvtf
