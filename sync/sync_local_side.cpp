#include "sync/sync_local_side.h"

#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <memory>

#include "browse/qx_local_file_lister.h"
#include "core/own_temporaries.h"

namespace qvtf {

namespace {

void fill(const struct stat& st, sync_entry& e)
{
    e.is_folder = S_ISDIR(st.st_mode);
    e.size = e.is_folder ? 0 : static_cast<uint64_t>(st.st_size);
    e.modified = st.st_mtime;
    e.kind_known = e.size_known = e.time_known = true;
    e.time_exact = true;
}

}  // namespace

int sync_local_side::list(const std::string& path, std::vector<sync_entry>& out)
{
    out.clear();
    std::unique_ptr<DIR, int (*)(DIR*)> dir(::opendir(path.c_str()), ::closedir);
    if (!dir)
        return errno == ENOENT ? local_missing : local_no_root;
    while (const dirent* d = ::readdir(dir.get())) {
        sync_entry e;
        e.name = d->d_name;
        // Our own temporaries (a download an earlier run was interrupted in)
        // are no user's files to send.
        if (e.name == "." || e.name == ".." || is_own_temporary(e.name))
            continue;
        const std::string full = join(path, e.name);
        struct stat st;
        if (::lstat(full.c_str(), &st) != 0)
            continue;
        if (S_ISLNK(st.st_mode)) {
            e.is_link = true;
            char target[4096];
            const ssize_t n = ::readlink(full.c_str(), target, sizeof target);
            if (n > 0)
                e.link_target.assign(target, static_cast<size_t>(n));
            resolve_link(full, e);
            if (!e.kind_known)
                continue;  // a dangling link holds nothing to copy
        } else if (!S_ISDIR(st.st_mode) && !S_ISREG(st.st_mode)) {
            continue;  // devices, sockets, pipes
        } else {
            fill(st, e);
        }
        out.push_back(std::move(e));
    }
    return 0;
}

void sync_local_side::resolve_link(const std::string& path, sync_entry& entry)
{
    struct stat st;
    if (::stat(path.c_str(), &st) == 0)
        fill(st, entry);
    else
        entry.kind_known = false;
}

}  // namespace qvtf
