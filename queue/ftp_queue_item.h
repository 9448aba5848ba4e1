// ftp_queue_item: one queued upload or download. The record alone; the
// queue that owns, schedules and shows items is built on top of it.
#pragma once

#include <chrono>
#include <cstdint>
#include <ctime>
#include <string>
#include <vector>

#include "core/qxfiles_atomic.h"
#include "core/qxval.h"
#include "core/qxview_id.h"

namespace qvtf {

class remote_session;

// State values (low four bits of state_flags) and the retry mark.
enum ftp_queue_item_state : uint32_t {
    item_waiting = 1,
    item_running = 2,
    item_stopped = 4,
    item_kill_requested = 8,
    item_state_mask = 0x0f,
    item_retried = 0x20,
};

struct ftp_queue_item {
    int32_t is_download = 0;  // 1: remote to local
    int32_t is_folder = 0;    // a folder to expand, not a file to move
    int32_t is_link = 0;      // downloads: the remote source is a symbolic link
    qxval name{""};
    qxval local_path{""};     // local_folder + name
    qxval local_folder{""};   // ends in exactly one separator
    qxval remote_path{""};    // remote_folder + name
    qxval remote_folder{""};  // ends in exactly one "/"
    int32_t transfer_option = 0;
    int32_t transfer_type = 0;  // 0 binary, 1 ASCII, 2 automatic
    int64_t size = 0;           // bytes; -1 when unknown
    // 0: the byte count must equal size; > 0 allows more, < 0 fewer.
    // ASCII transfers set 1 (line ends may grow).
    int32_t size_tolerance = 0;
    std::time_t modified_time = 0;  // stamps a downloaded file
    int32_t type_extra = 0;         // second value of an automatically resolved type
    // Folder items: the folders the item lies in, to tell a link that leads
    // back (queue/folder_loops.cpp). Empty for a transfer's first folder.
    std::vector<std::string> trail;
    uint32_t state_flags = item_waiting;
    int32_t tries = 1;  // number of the attempt that runs next
    // A retry waits until then; a kill removes the waiting item at once.
    std::chrono::steady_clock::time_point not_before{};
    double shown_fraction = 0;
    remote_session* connection = nullptr;  // while running; not owned
    void* manager = nullptr;               // not owned
    void* queue_node = nullptr;            // not owned
    qxview_id view_row = no_view_id;       // the queue view's row, set by the view
    int64_t shown_size = 0;
    // A download's partial file that the next attempt continues; removed
    // with the item, whether it succeeded, failed for good or was removed.
    std::string partial_path;
    // The last attempt that moved bytes broke off on the way (not locally,
    // not at the size check): an upload's next attempt may continue what
    // the server holds.
    bool may_resume = false;
    // The listing gave the source's time to the second (downloads).
    bool time_exact = false;
    // What to do with an existing target was settled (at the first attempt;
    // sync's items come settled: it makes its own decisions).
    bool exists_settled = false;
    // The existing target continues from its end (the "resume" action).
    bool continue_target = false;

    ~ftp_queue_item() { replacement_file::remove_partial(partial_path); }

    uint32_t state() const { return state_flags & item_state_mask; }

    // Whether bytes moved differ from size under size_tolerance: fewer bytes
    // count unless the tolerance allows fewer, more bytes unless it allows more.
    bool size_differs(int64_t bytes) const
    {
        if (size > bytes)
            return size_tolerance >= 0;
        if (size < bytes)
            return size_tolerance <= 0;
        return false;
    }
};

}  // namespace qvtf
