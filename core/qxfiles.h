#pragma once
// Thin file-system helpers used by every subsystem. Paths are byte strings
// with "/" as the separator; nothing throws, failures come back as the
// invalid handle, false, 0 or -1.
//
// Sharing: the open modes carry a share request ("+" as second letter), but
// POSIX has no mandatory sharing modes. Advisory locks would only guard us
// against ourselves and would make two of our own readers of one file fail,
// so the request is accepted and ignored: every file is opened shared.

#include <cstdint>
#include <ctime>

#include "core/qxe_tree.h"
#include "core/qxfile_node.h"
#include "core/qxval.h"

namespace qvtf {

class qxarr;

using file_handle = int;
inline constexpr file_handle invalid_file_handle = -1;

// Negative results of read_file.
enum read_file_error : int32_t {
    read_io_pending = -2,
    read_more_data = -3,
    read_insufficient_buffer = -4,
    read_broken_pipe = -5,
    read_invalid_buffer = -6,
    read_out_of_memory = -7,
    read_aborted = -8,
};

// mode's first letter, lower-cased: "a" read/write at the end (created when
// missing), "w" read/write truncated (created), anything else read-only.
file_handle open_file(const qxval& path, const char* mode);
void close_file(file_handle h);
// open_file for a regular file only. The file is opened without blocking (a
// named pipe without a peer would block open for good, a device could have
// side effects), then checked; anything else is closed again, and the
// invalid handle comes back with *not_regular set (when given).
file_handle open_regular_file(const qxval& path, const char* mode, bool* not_regular = nullptr);
// True when path names something that exists and is not a regular file
// (a folder, a pipe, a device, a socket), links followed.
bool exists_not_regular(const qxval& path);

// value becomes a string of up to n bytes; returns the count, 0 at the end
// of the file or for the invalid handle, or a read_file_error.
int32_t read_file(qxval& value, int32_t n, file_handle h);
// The read_file result for a failed read with this errno.
int32_t read_error_result(int err);
// Writes the first n bytes of the value's text (at most its length); returns
// the count written, short on a failure part way, 0 on failure.
int32_t write_file(const qxval& value, int32_t n, file_handle h);

// origin 0 start, 1 current, 2 end; the new position, or -1.
int64_t seek_file(file_handle h, int64_t distance, int origin);
int64_t file_size(file_handle h);         // -1 for the invalid handle
int64_t file_size_of(const qxval& path);  // -1 when it cannot be opened

// True when the file is empty or its whole length was read into out.
bool read_whole_file(const qxval& path, qxval& out);
// Shifts every value off the list and writes its text in full.
bool write_list_to_file(const qxval& path, qxarr& list, const char* mode);

bool delete_file(const qxval& path);
// Copies content, permission bits and times; fails for the same file.
bool copy_file(const qxval& from, const qxval& to, bool overwrite);
// Fails when the target exists; across file systems a file is copied.
bool move_file(const qxval& from, const qxval& to);
bool create_directory(const qxval& path);

// Access and modification time (there is no settable creation time here).
bool set_file_times(file_handle h, std::time_t seconds);

bool current_directory(qxval& out);
bool set_current_directory(const qxval& path);
// $TMPDIR or /tmp, always ending in "/".
bool temp_directory(qxval& out);
bool program_file_name(qxval& out);
// Bytes available to this user, as a double; false and int 0 on failure.
bool free_disk_space(const qxval& path, qxval& out);

// folder + "/" + eight random digits + "." + extension.
void random_file_name(const qxval& folder, const qxval& extension, qxval& out);
// in_temp_folder: create a fresh file in the temporary folder and name it.
// Otherwise value is a wanted path ".../name.ext" (lower-case extension);
// while it exists a random name in the same folder replaces it.
bool temp_file_name(qxval& value, bool in_temp_folder);

// One node per entry of folder matching pattern (shell wildcards; empty,
// "*" and "*.*" take all), folders first then files, each in directory
// order, appended under parent (or at the top level). The current folder
// of the process is not changed.
bool list_folder(const qxval& folder, qxe_tree<qxfile_node>& tree, qxfile_node* parent, bool skip_dots,
                 const qxval& pattern);
// Fills node from the entry at path (a trailing "/" is ignored).
bool stat_path(const qxval& path, qxfile_node& node);

}  // namespace qvtf
