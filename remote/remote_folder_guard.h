// remote_folder_guard: remember the session's folder, work, change back.
// Work that moves the session elsewhere (a listing for the queue, a picker,
// a comparison) leaves it where its owner, usually the remote pane, expects
// it. Going back is a single command, which a stop never refuses.
#pragma once

#include "remote/remote_session.h"

namespace qvtf {

class remote_folder_guard {
public:
    // only_when_moved: no change back when the session is still there.
    explicit remote_folder_guard(remote_session& session, bool only_when_moved = false)
        : session_(session), folder_(session.current_path()), only_when_moved_(only_when_moved)
    {
    }
    ~remote_folder_guard() { (void)restore(); }
    remote_folder_guard(const remote_folder_guard&) = delete;
    remote_folder_guard& operator=(const remote_folder_guard&) = delete;

    const qxval& folder() const { return folder_; }
    // The work did not move the session: nothing to put back.
    void dismiss() { done_ = true; }
    // Changes back now (once); a session that had no folder stays.
    remote_result restore()
    {
        if (done_)
            return status_ok;
        done_ = true;
        if (folder_.view().empty())
            return status_ok;
        if (only_when_moved_ && session_.current_path().view() == folder_.view())
            return status_ok;
        return session_.change_folder(folder_);
    }

private:
    remote_session& session_;
    const qxval folder_;
    const bool only_when_moved_;
    bool done_ = false;
};

}  // namespace qvtf
