// The view filter of a pane (also used by the synchronisation settings and
// the queue): name masks compiled once, time and size windows, and an
// attribute test.
#pragma once

#include <regex.h>

#include <cstdint>
#include <memory>
#include <string_view>
#include <vector>

#include "core/qxfile_tree.h"
#include "core/qxval.h"

namespace qvtf {

// Masks matched without regard to ASCII case, compiled once and shared by
// copies. The common forms ("name", "*.ext", "prefix*", "*") are looked up
// in hash sets, so a list of many thousands costs a few lookups per name;
// the rest become anchored extended expressions (regexec on one compiled
// expression is safe from several threads).
class compiled_masks {
public:
    // Replaces the list with the masks of text ("*.htm; *.html"); the number
    // of masks that did not compile (left out: they match nothing).
    int compile(const qxval& text);
    void clear()
    {
        patterns_.clear();
        plain_.reset();
        count_ = 0;
    }
    bool empty() const { return count_ == 0; }
    std::size_t size() const { return count_; }
    // Whether name matches at least one mask.
    bool any_matches(std::string_view name) const;

private:
    struct plain_masks;
    std::shared_ptr<const plain_masks> plain_;
    std::size_t count_ = 0;
    struct pattern {
        regex_t re;
        pattern() = default;
        pattern(const pattern&) = delete;
        pattern& operator=(const pattern&) = delete;
        ~pattern() { regfree(&re); }
    };
    std::vector<std::shared_ptr<const pattern>> patterns_;
};

// Attribute modes: only odd modes test anything.
enum qxfile_attribute_mode : int32_t {
    attributes_within_mask = 1,     // hide when a bit outside the mask is set
    attributes_any_of_mask = 3,     // hide when no bit of the mask is set
    attributes_not_all_others = 5,  // hide when every bit outside the mask is set
    attributes_all_of_mask = 7,     // hide unless every mask bit is set
};

struct qxfile_filter {
    compiled_masks files_include;
    compiled_masks files_skip;
    compiled_masks folder_include;
    compiled_masks folder_skip;
    int32_t time_filter = 0;
    int64_t time_start = 0;
    int64_t time_end = 0;
    int32_t size_filter = 0;
    uint64_t size_minimum = 0;
    uint64_t size_maximum = 0;
    int32_t attribute_mode = 0;
    uint32_t attribute_mask = 0;

    // The filter of a pane: its two file masks, "*" for folders, no skipped
    // folders, no attribute test.
    void set_pane_masks(const qxval& include, const qxval& skip);

    bool shows(const qxfile_node& node) const;
    // Sets shown on every child of folder, or with no folder on every node of
    // the tree in pre-order; returns how many are shown.
    int32_t pass(qxfile_tree& tree, qxfile_node* folder) const;
};

}  // namespace qvtf
