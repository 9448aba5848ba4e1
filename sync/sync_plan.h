// A synchronisation plan: every action the run would take, each with the
// reason it was chosen, built from the two sides under the settings.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "core/folder_trail.h"  // normal_path
#include "remote/remote_result.h"
#include "sync/dir_sync_settings.h"
#include "sync/sync_side.h"

namespace qvtf {

class auto_transfer_resolver;

enum class sync_action_kind { make_remote_folder, make_local_folder, upload, download, delete_remote, delete_local };

struct sync_action {
    sync_action_kind kind = sync_action_kind::upload;
    std::string local_path;
    std::string remote_path;
    bool is_folder = false;     // deletions: a whole folder tree
    int64_t size = -1;          // the source's bytes, -1 when unknown
    int64_t modified = 0;       // the source's time
    bool is_link = false;       // a remote link downloaded as a file
    int32_t transfer_type = 0;  // 0 binary, 1 ASCII
    std::string reason;

    bool is_transfer() const { return kind == sync_action_kind::upload || kind == sync_action_kind::download; }
    // "upload LOCAL -> REMOTE: REASON" and the like.
    std::string describe() const;
};

struct sync_plan {
    std::vector<sync_action> actions;
    // What was left alone and why (conflicting kinds, skipped links, loops).
    std::vector<std::string> notes;
    int status = 0;       // a listing failed: its status
    std::string failure;  // and what could not be listed
    // The failure as the remote side met it (its reply), when it was there.
    remote_result cause;
};

struct sync_plan_options {
    // Seconds that still count as the same time, at most: the times' own
    // precision decides below that (1 s for exact times, a minute plus the
    // clock offset for times to the minute).
    int32_t time_equal_interval = 600;
    int32_t global_transfer_type = 2;                  // 0 binary, 1 ASCII, 2 by the rule word
    const auto_transfer_resolver* resolver = nullptr;  // automatic types; null: binary
    int32_t depth_limit = 64;                          // folder levels below the top
};

// Compares local folder settings.local_folder with remote folder
// settings.remote_folder (both existing) and fills plan.
void build_sync_plan(const dir_sync_settings_ex& settings, sync_side& local, sync_side& remote,
                     const sync_plan_options& options, sync_plan& plan);

}  // namespace qvtf
