// qxfile_tree: the sorted tree of file entries behind one browser pane.
#pragma once

#include <atomic>
#include <cstdint>
#include <mutex>
#include <string_view>

#include "core/qxe_tree.h"
#include "core/qxfile_node.h"

namespace qvtf {

// Natural order of two names: runs of digits compare by value ("note2"
// before "note10"), the rest by text(a, b, context); where only one side
// has a digit, the rest of both names decide as text. Equal values that
// differ in leading zeros put fewer zeros first.
using name_text_compare = int (*)(std::string_view a, std::string_view b, const void* context);
int compare_natural(std::string_view a, std::string_view b, name_text_compare text, const void* context);

enum qxfile_sort_key : int {
    SORT_NAME = 0,
    SORT_EXTENSION = 1,
    SORT_SIZE = 2,
    SORT_MODIFIED = 3,
    SORT_NAME_NOCASE = 4,
    SORT_EXTENSION_NOCASE = 5,
};

class qxfile_tree : public qxe_tree<qxfile_node> {
public:
    // -1 (unsorted: all entries equal apart from folders first) or a qxfile_sort_key.
    int sort_key = -1;

    // Folders first, then by sort_key; names in natural order.
    int compare_nodes(const qxfile_node* a, const qxfile_node* b) const override;
    // The order of names in the lists and the folder trees: natural, by bytes
    // (ASCII letters folded when nocase).
    virtual int compare_names(std::string_view a, std::string_view b, bool nocase) const;
    // The order of a folder's subfolders in a folder tree: by name, folded
    // unless the pane sorts by case-sensitive name.
    int compare_folder_names(std::string_view a, std::string_view b) const
    {
        return compare_names(a, b, sort_key != SORT_NAME);
    }

    // Follows node's link_target through this tree ("/..." from root, else from
    // the link's parent); records it in link_node and copies its folder flag.
    // Null for an empty target, a missing entry, ".." above the top, or a chain
    // of links deeper than link_depth_limit.
    qxfile_node* resolve_link(qxfile_node* node);

    static constexpr int link_depth_limit = 10;

    // A listing runs on its own thread while panes and callers hold nodes of
    // the same tree. Whoever walks a chain of children, or reads entries that
    // a listing may update, holds a reader; a listing swaps its entries in
    // under the same lock. A thread that holds a reader must not wait for a
    // listing of this tree (the listing thread needs the lock to finish).
    class reader {
    public:
        explicit reader(const qxfile_tree& tree) : lock_(tree.mutex_) {}

    private:
        std::unique_lock<std::recursive_mutex> lock_;
    };

    // Moves the entries listed under staging (a node outside the tree) into
    // folder, in staging's order. An entry whose name folder already holds
    // keeps its old node, updated in place with its subtree kept (a folder
    // that became a file loses it); only entries that are gone are freed, so
    // a pointer to an entry that is listed again stays valid. link_node of the
    // updated entries is reset (it may name a freed node). Leaves staging empty
    // and folder's needs_listing 0.
    void adopt_children(qxfile_node* folder, qxfile_node& staging);

    // Frees every node, under the lock.
    void clear();

    // Changes whenever nodes may have been freed; a copy of node pointers taken
    // at one value is stale once it changes.
    std::uint64_t generation() const { return generation_.load(std::memory_order_acquire); }

private:
    mutable std::recursive_mutex mutex_;
    std::atomic<std::uint64_t> generation_{0};

    qxfile_node* resolve_link_at(qxfile_node* node, int depth, bool& too_deep);
};

}  // namespace qvtf
