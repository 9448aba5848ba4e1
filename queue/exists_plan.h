// From an action to what one transfer does with a target that exists: the
// facts of both files as the session and the disk give them, and the plan
// (skip, overwrite, continue, another name). The queue and qvtf-cli's get
// and put both settle their targets with these.
#pragma once

#include <cstdint>
#include <string>

#include "core/qxval.h"
#include "queue/exists_action.h"
#include "remote/transfer_request.h"

namespace qvtf {

class remote_session;

// The lines that say what became of a target: the phrase, then its path.
constexpr int phrase_exists_skipped = 1400;
// Renamed: phrase_exists_renamed, the old path, phrase_exists_renamed_as, the new name.
constexpr int phrase_exists_renamed = 1403;
constexpr int phrase_exists_renamed_as = 1404;

// What an action compares; nothing needs asking for overwrite, rename, skip
// (their own facts tell only whether the target is there).
struct exists_needs {
    bool size = true;
    bool time = false;
};
exists_needs needs_of(exists_action action);

// A regular file; anything else is no conflict: the transfer refuses it.
file_facts local_facts(const qxval& path);
// The server's file, asked with what is needed: SIZE, MDTM (or MLST), or
// both; a server that offers neither has no conflicts to tell. The time is
// on our clock, the session's offset taken off.
file_facts remote_facts(remote_session& c, const qxval& path, exists_needs needs);

// Where a transfer writes: its folder (ends in '/'; empty: the current one)
// and the name in it.
struct exists_target {
    bool download = true;
    // Line ends change on the wire in an ASCII transfer: no byte count of
    // its target says where to go on.
    bool binary = true;
    std::string folder;
    std::string name;

    std::string path() const { return folder + name; }
    // path split at its last '/'.
    static exists_target at(bool download, bool binary, const std::string& path);
};

// The first "name (n).ext" in the target's folder free of any entry, a
// folder or a link included; empty when none is.
std::string free_name(remote_session& c, const exists_target& target);

struct exists_plan {
    exists_outcome outcome = exists_outcome::write;
    std::string new_name;  // rename: the name in the target's folder
    // A phrase for a line before the target's path: why a resume overwrites.
    int note = 0;
};

// The decision as the transfer can carry it out: a resume that it cannot do
// (ASCII, a server that does not restart downloads) overwrites, and a rename
// writes to typed when that is a plain name, else to the first free name,
// and skips when none is free.
exists_plan plan_exists(remote_session& c, const exists_decision& decision, const exists_target& target,
                        const std::string& typed = {});

// The request continues its target from the target's end: a download the
// local file, an upload the server's.
void continue_target(transfer_request& request);

}  // namespace qvtf
