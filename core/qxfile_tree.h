// qxfile_tree: the sorted tree of file entries behind one browser pane.
#pragma once

#include "core/qxe_tree.h"
#include "core/qxfile_node.h"

namespace qvtf {

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

    // Folders first, then by sort_key.
    int compare_nodes(const qxfile_node* a, const qxfile_node* b) const override;

    // Follows node's link_target through this tree ("/..." from root, else from
    // the link's parent); records it in link_node and copies its folder flag.
    // Null for an empty target, a missing entry, ".." above the top, or a chain
    // of links deeper than link_depth_limit.
    qxfile_node* resolve_link(qxfile_node* node);

    static constexpr int link_depth_limit = 10;

private:
    qxfile_node* resolve_link_at(qxfile_node* node, int depth, bool& too_deep);
};

}  // namespace qvtf
