// queue_store: the queue file. Items still queued when the program closes
// are kept with the site they were queued for, so the next start can offer
// them again. One record a line, fields separated by tabs; tabs, line ends
// and backslashes inside fields are escaped. A first line names the format,
// so a later version can add fields at the end of a record and still read
// this one.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "queue/saved_item.h"

namespace qvtf {

struct saved_queue {
    // The site the items were queued for: its place in the site tree (empty
    // for a site that was never saved there) and where it logs in.
    std::string site_path;
    std::string host;
    int32_t port = 21;
    std::string user;
    std::vector<saved_item> items;

    bool operator==(const saved_queue&) const = default;
};

std::string queue_text(const saved_queue& queue);
// False for text that is not a queue file; records that cannot be read are
// skipped (bad_records counts them).
bool parse_queue_text(std::string_view text, saved_queue& out, int* bad_records = nullptr);

// Replaces path in one step (mode 0600); with no items, removes it instead.
bool save_queue_file(const std::string& path, const saved_queue& queue);
// False when there is no readable queue file at path.
bool load_queue_file(const std::string& path, saved_queue& out);

}  // namespace qvtf
