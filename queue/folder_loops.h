#pragma once
// Which sub-folders a folder expansion follows. Each folder item carries
// the trail of the folders it lies in (core/folder_trail.h); a sub-folder,
// or a link to one, that leads back into that trail is skipped with a log
// line instead of being copied again inside itself, level after level.

#include <string>
#include <vector>

#include "core/qxfile_node.h"
#include "core/qxval.h"

namespace qvtf {

class ftp_queue_process_manager;
struct ftp_queue_item;

// The expanding item's own place, once its folder is entered: the
// resolved path the server names (remote) or the local folder's path. A
// folder item whose trail was not known before, the first of a transfer or
// a link with no target given, gets it now; false, with the log line, when
// that place leads back.
bool enter_folder_item(ftp_queue_process_manager& queue, ftp_queue_item& item, const std::string& place);

// The trail a sub-folder's item carries, or false, with the log line, when
// following child leads back or nests too deep. path: child's path on the
// side being walked.
bool child_trail(ftp_queue_process_manager& queue, const ftp_queue_item& item, const qxfile_node& child,
                 const std::string& path, std::vector<std::string>& trail);

}  // namespace qvtf
