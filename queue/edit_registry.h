// edit_registry: the remote files the user edits in place. One local copy
// per site and remote path, in a private folder of this run; a save is
// found by comparing the copy's size, time and inode with what they were
// at the last download or upload, so an editor that writes a new file and
// renames it over the old one is seen too. No threads: the owner calls it
// from one thread.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <string_view>
#include <vector>

namespace qvtf {

// What a local file looked like; exists false when there was none.
struct file_stamp {
    bool exists = false;
    int64_t size = 0;
    int64_t modified_ns = 0;
    uint64_t inode = 0;

    static file_stamp of(const std::string& path);
    bool operator==(const file_stamp&) const = default;
};

enum class edit_state { downloading, open, changed, uploading, uploaded, failed };

struct edit_entry {
    int id = 0;
    std::string site;         // the site's key ("host:port user")
    std::string remote_path;  // absolute, "/"-separated
    std::string local_path;   // the copy: <session folder>/<id>/<safe name>
    edit_state state = edit_state::downloading;
    std::string reason;    // why it failed
    bool unsaved = false;  // holds changes the server does not have
    file_stamp synced;     // at the last download or upload
    file_stamp sending;    // at the start of the running upload

    std::string name() const;
    std::string remote_folder() const;  // ends in "/"
    std::string local_folder() const;   // ends in "/"
};

class edit_registry {
public:
    // base: the folder the session folder goes into; empty: $XDG_RUNTIME_DIR,
    // else the system's temporary folder.
    explicit edit_registry(std::string base = {});
    // Removes the session folder when nothing in it is unsaved.
    ~edit_registry();
    edit_registry(const edit_registry&) = delete;
    edit_registry& operator=(const edit_registry&) = delete;

    // A name that stays in its folder: no "/", no NUL, never "." or "..".
    // Anything else is kept, so the editor still knows the type.
    static std::string safe_name(std::string_view remote_name);

    // The entry of the remote file, made (state downloading, its folder
    // created) when there is none yet; created tells which. Null with error
    // set when the private folder cannot be made.
    edit_entry* open(const std::string& site, const std::string& remote_path, bool& created, std::string& error);
    edit_entry* find(int id);
    edit_entry* find_local(std::string_view local_path);
    const std::map<int, edit_entry>& entries() const { return entries_; }

    // A download ended: the copy's stamp is the one saves are compared with.
    void downloaded(int id);
    // An upload starts with the copy as it is now.
    void uploading(int id);
    // The upload ended well: false when the copy was saved again meanwhile
    // (the entry is changed then, and still unsaved).
    bool uploaded(int id);
    void failed(int id, std::string reason);

    // Compares every copy that is open or uploaded with its last stamp, and
    // one whose upload failed with what was sent: the ids of those that
    // became changed. A copy that is missing (an
    // editor half-way through a rename) is left for the next check.
    std::vector<int> check_changes();

    // Forgets the entry and deletes its copy and folder.
    void forget(int id);
    bool has_unsaved() const;
    // The session folder; empty until the first open made it.
    const std::string& folder() const { return folder_; }
    // Deletes every copy and the session folder; entries are forgotten.
    void remove_all();

private:
    bool make_folder(std::string& error);

    std::string base_;
    std::string folder_;
    std::map<int, edit_entry> entries_;
    int next_id_ = 1;
};

}  // namespace qvtf
