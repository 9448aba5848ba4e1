// The folder tree a remote session keeps of what it has seen: every
// protocol records the folders it enters the same way.
#pragma once

#include <string_view>

#include "core/qxfile_tree.h"

namespace qvtf {

// The node of the folder at path, creating the folders missing on the way;
// a relative path starts at relative_to (the root when null). "." and ".."
// are dropped, not resolved: servers report canonical paths. The root "/"
// is made when the tree is empty.
qxfile_node* folder_node_at(qxfile_tree& tree, qxfile_node* relative_to, std::string_view path);

}  // namespace qvtf
