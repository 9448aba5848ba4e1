#pragma once
// Replacing a file without ever leaving a half-written one behind: the new
// content goes to a temporary file in the same folder, is flushed to disk,
// and only then renamed over the old file. A failure at any step removes the
// temporary file and leaves the old one exactly as it was.

#include <string_view>

#include <string>

#include "core/qxfiles.h"
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

// Creates folder and every missing parent with mode 0700 (user files hold
// secrets); true when folder is a folder afterwards. Existing levels keep
// their bits.
bool make_private_folders(std::string_view folder);
// The same for the folder that holds file_path.
bool make_private_folders_for(std::string_view file_path);

// open_file(path, "w"), but the file is made with mode 0600 and an existing
// one is narrowed to it: for user files that nobody else should read.
file_handle open_private_file(const qxval& path);

// The local file of a download. The bytes go to a temporary file in the
// target's folder (mode 0600; unnamed where the file system allows, else a
// name of our own, see own_temporaries.h) that becomes the target only on commit, so a failed
// download leaves an existing file as it was and a new one absent. A target
// that exists and is not a regular file (a folder, a device, a pipe) is
// refused with EINVAL. An uncommitted temporary is removed on destruction.
class replacement_file {
public:
    replacement_file() = default;
    ~replacement_file() { discard(); }
    replacement_file(const replacement_file&) = delete;
    replacement_file& operator=(const replacement_file&) = delete;

    // The handle to write to (the caller closes it), or the invalid handle
    // with errno set.
    file_handle open(const qxval& target);
    // The temporary gets the target's permission bits (a new file's when
    // there is none) and is renamed over it. False, and the temporary
    // removed, when that fails.
    bool commit();
    // Removes the temporary.
    void discard();

    // A temporary that survives a failed attempt: always named, and, when
    // partial is such a file of an earlier attempt for the same target
    // (ours, private, a regular file beside it), that file opened for
    // writing at its end. The handle as open's.
    file_handle open_partial(const qxval& target, const std::string& partial);
    // Lets go of the named temporary without removing it: its path, or ""
    // when there is none. The caller removes it (remove_partial) when no
    // attempt will continue it.
    std::string keep();
    // Removes a temporary that keep handed out; nothing else is touched.
    static void remove_partial(const std::string& path);

private:
    bool commit_unnamed();

    std::string target_;
    std::string temp_;  // a named temporary
    int slot_ = -1;     // its registration for removal on a signal
    int unnamed_ = -1;  // our own descriptor of an unnamed one
};

}  // namespace qvtf
