// What a file transfer does when its target is already there: the actions
// the user chooses from, and the one decision that turns the facts of both
// files into what the transfer does. No I/O here: the queue gathers the
// facts (queue/exists_check.cpp) and the decision is a pure function.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

namespace qvtf {

enum class exists_action : int32_t {
    ask,
    overwrite,
    newer,         // overwrite when the source is newer
    size,          // overwrite when the sizes differ
    size_or_time,  // overwrite when size or time differs
    resume,        // continue a shorter target from its end
    rename,        // write to another name
    skip,
};

// The names of the settings file and of qvtf-cli's --exists
// ("size-or-time"); nothing for an unknown name.
std::string_view exists_action_name(exists_action action);
std::optional<exists_action> exists_action_from_name(std::string_view name);

// One file as the decision sees it. time: seconds since 1970 UTC on our
// clock (a server's offset already taken off), 0 when not known. A time
// known to precision seconds lies in [time, time + precision): a listing
// that shows minutes gives 60, so a file stamped from it is not "newer".
struct file_facts {
    bool exists = false;
    int64_t size = -1;  // -1: not known
    int64_t time = 0;
    int32_t precision = 1;
};

enum class exists_outcome {
    write,      // no target: the transfer runs as ever
    overwrite,  // replace the target
    resume,     // continue the target from resume_from
    rename,     // write to another name
    skip,       // leave the target, transfer nothing
    ask,        // the user decides
};

struct exists_decision {
    exists_outcome outcome = exists_outcome::write;
    int64_t resume_from = 0;
};

// What cannot be compared (a size or time not known) is transferred: the
// action only saves a transfer where the facts show it is not needed.
exists_decision decide_exists(exists_action action, const file_facts& source, const file_facts& target);

// Whether a is certainly later than b, with both precisions.
bool certainly_later(const file_facts& a, const file_facts& b);

// name with " (1)" before its extension ("report (1).txt"), or the first
// number that taken does not refuse; a dot-file or a name without a dot
// gets the number at its end (".profile (1)"). A name that already ends in
// " (n)" counts on from n. Empty when limit numbers are all taken.
std::string next_free_name(std::string_view name, const std::function<bool(const std::string&)>& taken,
                           int limit = 1000);

}  // namespace qvtf
