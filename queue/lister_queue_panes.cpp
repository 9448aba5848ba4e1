#include "queue/lister_queue_panes.h"

#include "profiles/ftp_profile_tree.h"

namespace qvtf {

int lister_queue_panes::local_path_of(const qxfile_node* node, qxval& out)
{
    local_.path_of(node, out);
    return status_ok;
}

int lister_queue_panes::remote_path_of(const qxfile_node* node, qxval& out)
{
    remote_.path_of(node, out);
    return status_ok;
}

namespace {
// How long queueing waits for the local pane: its refreshes are short, a
// user's long operation (moving many files) is refused after this.
constexpr int local_lock_wait_ms = 30000;
}  // namespace

int lister_queue_panes::lock_local()
{
    return local_.acquire_waiting(local_lock_wait_ms);
}

void lister_queue_panes::unlock_local()
{
    local_.finish(status_ok);
    local_.refresh_when_free(true);
}

void lister_queue_panes::connect_profile(ftp_profile* profile)
{
    if (!profile || profile->is_group())
        return;
    ftp_profile* site = effective_site(profile);
    const bool bookmark = profile->is_bookmark();
    const qxval folder = profile->directory;
    if (bookmark && remote_.profile() == site && remote_.session().logged_in()) {
        // The site is open: the pane only changes folder.
        remote_.run_async([this, folder] { return remote_.change_folder(folder, false); });
    } else {
        remote_.run_async([this, site, bookmark, folder] {
            int code = remote_.connect_profile(site);
            if (code == status_ok && bookmark && !folder.view().empty())
                code = remote_.change_folder(folder, false);
            return code;
        });
    }
    if (!profile->local_dir.view().empty()) {
        const qxval local = profile->local_dir;
        local_.run_async([this, local] { return local_.change_folder(local, false); });
    }
}

}  // namespace qvtf
