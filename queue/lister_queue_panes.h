// The queue's view of the two browser panes of the window: the remote
// lister's session is the browser connection, and paths, filters, locks,
// refreshes and sounds are the listers' own.
#pragma once

#include "browse/qx_ftp_file_lister.h"
#include "browse/qx_local_file_lister.h"
#include "queue/queue_panes.h"

namespace qvtf {

class lister_queue_panes : public queue_panes {
public:
    lister_queue_panes(qx_ftp_file_lister& remote, qx_local_file_lister& local) : remote_(remote), local_(local) {}

    remote_session* browser() override { return &remote_.session(); }
    int resume_browser() override { return remote_.resume_dropped(); }
    void error_text(int code, qxval& out) override { remote_.error_text(out, code); }
    int local_path_of(const qxfile_node* node, qxval& out) override;
    int remote_path_of(const qxfile_node* node, qxval& out) override;
    bool remote_shows(const qxfile_node& node) override { return remote_.filter_shows(node); }
    bool local_shows(const qxfile_node& node) override { return local_.filter_shows(node); }
    int lock_local() override;
    void unlock_local() override;
    void remote_busy(bool busy, const qxval& name) override { remote_.queue_busy(busy, name); }
    void remote_folder_changed(const qxval& folder) override { remote_.folder_changed(folder.view()); }
    void refresh_remote() override { remote_.refresh_when_free(false); }
    void relist_remote() override { remote_.refresh_when_free(true); }
    void play_transfer_sound() override { remote_.play_event(sound_transfer); }
    void connect_profile(ftp_profile* profile) override;

private:
    qx_ftp_file_lister& remote_;
    qx_local_file_lister& local_;
};

}  // namespace qvtf
