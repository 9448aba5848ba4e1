// Local file operations behind the local pane: whole-tree moves, copies and
// removal, and the platform services (trash, "open") that the window layer
// provides with its toolkit.
#pragma once

#include <string>
#include <vector>

#include "remote/chmod_plan.h"

namespace qvtf {

// Moves a file, link or whole folder; never replaces an existing target.
// Across file systems the tree is copied and the source removed.
bool move_path(const std::string& from, const std::string& to);
// Removes a file, link or whole folder tree (links are not followed).
bool remove_path(const std::string& path);
// chmod(2) of the permission bits; folders recursively when asked (links
// are neither changed nor followed).
bool change_mode_path(const std::string& path, unsigned bits, bool recursive);
// The same with folders and files set apart; a kind the plan leaves alone
// is not changed, though its folders are still walked.
bool change_mode_path(const std::string& path, const chmod_plan& plan, bool recursive);
// "~" and "~/..." become the home folder; "." and ".." are resolved
// textually. Empty when the result is not absolute.
std::string absolute_local_path(const std::string& path);

class local_file_platform {
public:
    virtual ~local_file_platform() = default;
    // Deletes the paths in order, to the trash when asked; the index of the
    // first that failed, or -1. This version deletes for real either way.
    virtual int remove(const std::vector<std::string>& paths, bool to_trash);
    // Runs a verb ("open") on a path; false when it could not.
    virtual bool run_verb(const std::string& path, const std::string& verb);
    // The desktop's name for the kind of an entry ("HTML document") for the
    // Type column; empty when it has none. This version has none.
    virtual std::string type_name(const std::string& path, bool is_folder);
};

}  // namespace qvtf
