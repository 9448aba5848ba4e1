// The recursive walk of one remote folder through the session interface
// alone: enter it, list it, call the entry hook for each child, come back
// and call the folder hook for the folder itself. Loops (a folder inside
// itself through a link) and nesting past the depth limit end the walk
// with 6013; a refusal becomes 6013 with the server's words.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "remote/remote_session.h"

namespace qvtf {

struct remote_walk {
    remote_session& session;
    // The resolved paths of the folders the running walk is inside.
    std::vector<std::string>& trail;
    std::function<remote_result(qxfile_node& entry)> entry;
    std::function<remote_result(const qxval& path)> folder;
    // Progress text for the observer; may be empty.
    std::function<void(std::string_view text)> status;

    remote_result walk(const qxval& path);
};

// Whether maybe is one of node's ancestors in the folder tree.
bool is_tree_ancestor(const qxfile_node* maybe, const qxfile_node* node);

// The mode a permission change gives an entry of this kind; null when it
// leaves the kind alone.
const qxval* chmod_mode_for(const chmod_request& change, bool is_folder);

}  // namespace qvtf
