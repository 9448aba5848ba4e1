#pragma once
// Telling a link that leads a recursive walk back into itself. A walk keeps
// a trail of the folders it is inside; a folder that is one of them, or lies
// above one of them, is a loop and is not entered. A link to any other
// folder is followed.
//
// Remote folders are told by their resolved path: the folder's path with
// the links on the way replaced by their targets. Local folders are told by
// device and inode, which also see through bind mounts and links written in
// any spelling.

#include <string>
#include <string_view>
#include <vector>

namespace qvtf {

// How many folder levels a recursive walk or folder copy goes at most.
constexpr int folder_depth_limit = 512;

// A slash path with "." and ".." and doubled separators resolved textually.
std::string normal_path(const std::string& path);
// Where a link named in the folder whose resolved path is folder leads.
std::string link_destination(const std::string& folder, std::string_view target);

// Whether the folder a is b or one of b's ancestors (normal paths).
bool path_covers(std::string_view a, std::string_view b);
// Whether the folder with resolved path real is one of trail's folders or
// lies above one of them.
bool leads_back(std::string_view real, const std::vector<std::string>& trail);

// Whether the local folder at path is one that trail holds. When it is not,
// it and every folder above it are added to trail, which then serves the
// folders below path. A folder that cannot be read is not held against
// anything and adds nothing.
bool local_leads_back(const std::string& path, std::vector<std::string>& trail);

}  // namespace qvtf
