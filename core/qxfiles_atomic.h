#pragma once
// Replacing a file without ever leaving a half-written one behind: the new
// content goes to a temporary file in the same folder, is flushed to disk,
// and only then renamed over the old file. A failure at any step removes the
// temporary file and leaves the old one exactly as it was.

#include <string_view>

#include "core/qxval.h"

namespace qvtf {

class qxarr;

// Writes data as the whole new content of path, created with permission bits
// mode (the settings and profile files hold secrets, hence the 0600 default).
// An existing file's bits are not widened: it gets mode too. A path that is a
// symbolic link has the link's target replaced, so the link survives.
// False on any failure, with errno set by the failing call.
bool write_file_atomic(const qxval& path, std::string_view data, unsigned mode = 0600);

// The same with the content given as a list of pieces, which ends empty.
bool write_list_atomic(const qxval& path, qxarr& list, unsigned mode = 0600);

}  // namespace qvtf
