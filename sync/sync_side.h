// One side of a synchronisation as the planner sees it: folders listed one
// at a time, and links resolved on demand.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace qvtf {

struct sync_entry {
    std::string name;
    bool is_folder = false;
    bool is_link = false;
    std::string link_target;  // as the side reports it; may be relative
    bool kind_known = true;   // false for a link not yet resolved
    bool size_known = true;
    bool time_known = true;
    uint64_t size = 0;
    int64_t modified = 0;  // seconds since 1970 UTC, on our clock
    // The time is to the second, whatever the listing's quality says.
    bool time_exact = false;
};

// What the latest list() vouches for.
struct sync_listing_quality {
    // Nothing was left out, so what it lacks is missing indeed.
    bool whole = true;
    // The times are exact to the second; otherwise to the minute.
    bool exact_times = true;
    // The clock offset taken off the times, in seconds.
    int32_t clock_offset = 0;
};

class sync_side {
public:
    virtual ~sync_side() = default;
    // The entries of the folder at path (without "." and ".."); 0 or a status.
    virtual int list(const std::string& path, std::vector<sync_entry>& out) = 0;
    // Of the latest successful list().
    virtual sync_listing_quality last_listing() const { return {}; }
    // Finds out what the link at path leads to: sets is_folder, kind_known
    // and, for a file when the side can tell, its size and time.
    virtual void resolve_link(const std::string& path, sync_entry& entry) = 0;
    // Asks the side for the file's time to the second when its listing gave
    // less; sets modified and time_exact when it can tell.
    virtual void exact_time(const std::string& path, sync_entry& entry)
    {
        (void)path;
        (void)entry;
    }
    // The separator-joined path of name inside folder.
    static std::string join(const std::string& folder, const std::string& name)
    {
        if (folder.empty())
            return name;
        return folder.back() == '/' ? folder + name : folder + "/" + name;
    }
};

}  // namespace qvtf
