// folder_compare: the two panes' current folders side by side. Each entry
// gets a mark against the same-named entry of the other side, for the
// comparison colours; and the path one pane follows when the other enters
// a folder while the panes browse in step.
#pragma once

#include <cstdint>
#include <ctime>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace qvtf {

enum class compare_mark : uint8_t {
    only_here,       // no entry of that name and kind on the other side
    newer,           // modified later than the other side's, beyond the tolerance
    older,           // the other side's is newer
    different_size,  // same time, other size
    same,            // same size and time; folders present on both sides
};

struct compare_entry {
    std::string name;
    bool is_folder = false;
    bool size_known = true;
    uint64_t size = 0;
    std::time_t modified = 0;  // 0: not known
};

// One mark for each of mine, in order. Times closer than tolerance seconds
// count as equal (listings often show minutes only). Names compare exactly.
std::vector<compare_mark> compare_side(const std::vector<compare_entry>& mine, const std::vector<compare_entry>& theirs,
                                       int32_t tolerance = 60);

// The folder the other pane enters when this pane moved to now: the same
// place relative to where browsing in step began (from_base on this side,
// to_base on the other). Nothing when now is outside from_base. Paths use
// "/" and have no trailing "/" except the root.
std::optional<std::string> in_step_path(std::string_view from_base, std::string_view to_base, std::string_view now);

}  // namespace qvtf
