#include "queue/edit_registry.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <system_error>

namespace qvtf {

namespace fs = std::filesystem;

namespace {

std::string parent_of(const std::string& path)
{
    const auto slash = path.rfind('/');
    return slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
}

// A folder only this user can enter: made with mode 0700, or an existing one
// that is a real folder of this user (never a link someone else planted).
bool private_folder(const std::string& path, std::string& error)
{
    if (::mkdir(path.c_str(), 0700) == 0)
        return true;
    if (errno != EEXIST) {
        error = path + ": " + std::strerror(errno);
        return false;
    }
    struct stat st {};
    if (::lstat(path.c_str(), &st) != 0 || !S_ISDIR(st.st_mode) || st.st_uid != ::getuid()) {
        error = path + ": not a folder of this user";
        return false;
    }
    if ((st.st_mode & 0777) != 0700 && ::chmod(path.c_str(), 0700) != 0) {
        error = path + ": " + std::strerror(errno);
        return false;
    }
    return true;
}

}  // namespace

file_stamp file_stamp::of(const std::string& path)
{
    file_stamp s;
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode))
        return s;
    s.exists = true;
    s.size = st.st_size;
    s.modified_ns = int64_t(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec;
    s.inode = st.st_ino;
    return s;
}

std::string edit_entry::name() const
{
    const auto slash = remote_path.rfind('/');
    return slash == std::string::npos ? remote_path : remote_path.substr(slash + 1);
}

std::string edit_entry::remote_folder() const
{
    std::string folder = parent_of(remote_path);
    return folder.empty() ? "/" : folder;
}

std::string edit_entry::local_folder() const
{
    return parent_of(local_path);
}

edit_registry::edit_registry(std::string base) : base_(std::move(base)) {}

edit_registry::~edit_registry()
{
    if (!has_unsaved())
        remove_all();
}

std::string edit_registry::safe_name(std::string_view remote_name)
{
    std::string name(remote_name);
    for (char& c : name)
        if (c == '/' || c == '\0')
            c = '_';
    if (name.empty() || name == "." || name == "..")
        name.insert(0, "_");
    return name;
}

bool edit_registry::make_folder(std::string& error)
{
    if (!folder_.empty())
        return true;
    std::string base = base_;
    if (base.empty()) {
        const char* runtime = std::getenv("XDG_RUNTIME_DIR");
        std::error_code ec;
        base = runtime && *runtime && fs::is_directory(runtime, ec) ? runtime : fs::temp_directory_path(ec).string();
        if (base.empty())
            base = "/tmp";
    }
    // Under a shared temporary folder the user's number keeps users apart.
    const std::string parent = base + "/qvtf-edit-" + std::to_string(::getuid());
    if (!private_folder(parent, error))
        return false;
    std::string pattern = parent + "/session-XXXXXX";
    if (!::mkdtemp(pattern.data())) {
        error = parent + ": " + std::strerror(errno);
        return false;
    }
    folder_ = pattern;
    return true;
}

edit_entry* edit_registry::open(const std::string& site, const std::string& remote_path, bool& created,
                                std::string& error)
{
    created = false;
    for (auto& [id, e] : entries_)
        if (e.site == site && e.remote_path == remote_path)
            return &e;
    if (!make_folder(error))
        return nullptr;
    const int id = next_id_++;
    // A folder per file: index.html of two folders are two copies.
    const std::string folder = folder_ + "/" + std::to_string(id);
    if (!private_folder(folder, error))
        return nullptr;
    edit_entry& e = entries_[id];
    e.id = id;
    e.site = site;
    e.remote_path = remote_path;
    e.local_path = folder + "/" + safe_name(e.name());
    created = true;
    return &e;
}

edit_entry* edit_registry::find(int id)
{
    auto it = entries_.find(id);
    return it == entries_.end() ? nullptr : &it->second;
}

edit_entry* edit_registry::find_local(std::string_view local_path)
{
    for (auto& [id, e] : entries_)
        if (e.local_path == local_path)
            return &e;
    return nullptr;
}

void edit_registry::downloaded(int id)
{
    if (edit_entry* e = find(id)) {
        e->synced = file_stamp::of(e->local_path);
        e->state = edit_state::open;
        e->unsaved = false;
        e->reason.clear();
    }
}

void edit_registry::uploading(int id)
{
    if (edit_entry* e = find(id)) {
        e->sending = file_stamp::of(e->local_path);
        e->state = edit_state::uploading;
        e->reason.clear();
    }
}

bool edit_registry::uploaded(int id)
{
    edit_entry* e = find(id);
    if (!e)
        return false;
    e->synced = e->sending;
    if (file_stamp::of(e->local_path) != e->sending) {
        e->state = edit_state::changed;
        e->unsaved = true;
        return false;
    }
    e->state = edit_state::uploaded;
    e->unsaved = false;
    return true;
}

void edit_registry::failed(int id, std::string reason)
{
    if (edit_entry* e = find(id)) {
        e->state = edit_state::failed;
        e->reason = std::move(reason);
    }
}

std::vector<int> edit_registry::check_changes()
{
    std::vector<int> changed;
    for (auto& [id, e] : entries_) {
        // After a failed upload, a new save counts against what was sent.
        const bool after_failure = e.state == edit_state::failed && e.unsaved;
        if (e.state != edit_state::open && e.state != edit_state::uploaded && !after_failure)
            continue;
        const file_stamp now = file_stamp::of(e.local_path);
        if (!now.exists || now == (after_failure ? e.sending : e.synced))
            continue;
        e.state = edit_state::changed;
        e.unsaved = true;
        changed.push_back(id);
    }
    return changed;
}

void edit_registry::forget(int id)
{
    auto it = entries_.find(id);
    if (it == entries_.end())
        return;
    std::error_code ec;
    fs::remove_all(it->second.local_folder(), ec);
    entries_.erase(it);
}

bool edit_registry::has_unsaved() const
{
    for (const auto& [id, e] : entries_)
        if (e.unsaved)
            return true;
    return false;
}

void edit_registry::remove_all()
{
    entries_.clear();
    if (folder_.empty())
        return;
    std::error_code ec;
    fs::remove_all(folder_, ec);
    folder_.clear();
}

}  // namespace qvtf
