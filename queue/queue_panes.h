// What the transfer queue needs of the two browser panes: the browsing
// connection, the paths and filters of their entries, their locks and
// refreshes, the transfer sound, and how a worker connection reaches the
// site. The window layer implements it over its listers; qvtf-cli and tests
// over a bare session.
#pragma once

#include "core/qxfile_node.h"
#include "core/qxval.h"
#include "remote/remote_session.h"

namespace qvtf {

struct ftp_profile;

class queue_panes {
public:
    virtual ~queue_panes() = default;

    // The remote pane's session (the browser connection); null without one.
    virtual remote_session* browser() = 0;
    // With the browser connection held: a connection that dropped while idle
    // logs in again, as the pane's next command would; 0 or the login's code.
    virtual int resume_browser() { return status_ok; }

    // "/"-separated paths of a pane's node; 0 or the pane's code.
    virtual int local_path_of(const qxfile_node* node, qxval& out) = 0;
    virtual int remote_path_of(const qxfile_node* node, qxval& out) = 0;

    // The message of a code from a pane or the browser connection.
    virtual void error_text(int code, qxval& out);

    // The panes' view filters; entries they hide are not queued.
    virtual bool remote_shows(const qxfile_node& node)
    {
        (void)node;
        return true;
    }
    virtual bool local_shows(const qxfile_node& node)
    {
        (void)node;
        return true;
    }

    // The local pane's busy lock, waiting for the pane's own refreshes: 0,
    // or 6014 while another thread keeps it.
    virtual int lock_local() { return status_ok; }
    // Releases it and shows the local pane afresh once it is free.
    virtual void unlock_local() {}
    // Keeps the remote pane from redrawing while the queue lists with its session.
    virtual void lock_remote_display() {}
    virtual void unlock_remote_display() {}
    // The remote pane's busy indicator while it runs a queue item (name:
    // the item's file; empty when it ends).
    virtual void remote_busy(bool busy, const qxval& name)
    {
        (void)busy;
        (void)name;
    }
    // The queue listed with the browser connection: the remote pane shows
    // its rows afresh once it is free (never an error box for being busy).
    virtual void refresh_remote() {}
    // The queue became empty: list the remote pane's current folder again,
    // in a thread of the pane's own, once it is free.
    virtual void relist_remote() {}
    virtual void play_transfer_sound() {}
    // An upload went into folder (ends in "/"): its listing is stale.
    virtual void remote_folder_changed(const qxval& folder) { (void)folder; }

    // A worker connection about to log in: the site and options of the
    // connection the panes browse (the manager has already filled in the
    // current profile's, when there is one).
    virtual void prepare_worker(remote_site& site, remote_options& options)
    {
        (void)site;
        (void)options;
    }
    // Connects the remote pane to a profile (a bookmark of the site already
    // open just changes folder); in a thread of the pane's own.
    virtual void connect_profile(ftp_profile* profile) { (void)profile; }
};

}  // namespace qvtf
