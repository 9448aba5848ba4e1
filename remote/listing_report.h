// What a listing run reports besides its entries: whether it may be trusted
// as the whole folder, and what it could not read.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace qvtf {

struct listing_report {
    // Every byte arrived (the data connection ended by an orderly close) and
    // every line was read. Anything less leaves the folder's entries as they
    // were.
    bool complete = false;
    // Lines that named no entry and were neither blank nor a "total" line.
    int32_t unparsed = 0;
    // The first of them, as received, for the log.
    std::vector<std::string> unparsed_lines;
    static constexpr std::size_t unparsed_lines_kept = 20;
    // Every entry carried its time to the second (ISO times with seconds).
    bool exact_times = false;

    // Whether the listing shows the folder exactly: complete and nothing
    // left out. Deleting what it does not list is safe only then.
    bool whole() const { return complete && unparsed == 0; }
};

}  // namespace qvtf
