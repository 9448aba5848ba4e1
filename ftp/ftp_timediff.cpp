// The server's clock offset: upload an empty file, list it, compare its
// time with the moment of the upload, delete it again.
#include <unistd.h>

#include <ctime>

#include "core/qxfiles.h"
#include "core/qxtime.h"
#include "ftp/ftp_control.h"

namespace qvtf {

remote_result ftp_control::measure_time_difference(const qxval& probe)
{
    remote_session_lock hold(*this);
    if (!hold)
        return hold.status();
    time_difference_ = 0;
    if (!current_folder_)
        return status_not_connected;
    if (current_folder_->needs_listing) {
        if (remote_result status = list_directory(qxval("")); !status.ok())
            return status;
    }
    file_handle created = open_file(probe, "w");
    if (created == invalid_file_handle)
        return status_local_file;
    close_file(created);

    const std::string_view local = probe.view();
    const size_t slash = local.find_last_of("/\\");
    std::string name(slash == std::string_view::npos ? local : local.substr(slash + 1));
    auto listed = [&](const std::string& n) {
        for (qxfile_node* c = current_folder_ ? current_folder_->first_child : nullptr; c; c = c->next)
            if (c->name.view() == n)
                return c;
        return static_cast<qxfile_node*>(nullptr);
    };
    while (listed(name))
        name += '1';

    // The probe is nobody's queue item: no progress, no stamp, and a
    // pending stop is honoured, not cleared.
    const std::time_t t1 = std::time(nullptr);
    transfer_request request;
    request.direction = 0;
    request.local_path = probe;
    request.remote_path = qxval(name);
    remote_result status = transfer_file(request).result;
    if (status.ok()) {
        const std::time_t t2 = std::time(nullptr);
        status = list_directory(qxval(""));
        if (status.ok()) {
            // The listing reader already subtracted the old offset (0).
            if (qxfile_node* entry = listed(name)) {
                time_difference_ = clamp_seconds((2 * int64_t(entry->modified) - t1 - t2) / 2);
                // The session's site knows it from now on.
                site_.time_difference = time_difference_;
            } else
                status = unexpected_reply();  // the listing lacks the file just stored
        }
        remote_result deleted = delete_file(qxval(name));
        if (status.ok())
            status = deleted;
    }
    qvtf::delete_file(probe);
    return status;
}

}  // namespace qvtf
