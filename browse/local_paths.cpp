#include "browse/local_paths.h"

#include <dirent.h>
#include <fcntl.h>
#include <limits.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "core/qxfiles.h"
#include "settings/global_ftp_settings.h"

namespace qvtf {

namespace {

std::vector<std::string> entries_of(const std::string& folder, bool& ok)
{
    std::vector<std::string> out;
    DIR* dir = ::opendir(folder.c_str());
    ok = dir != nullptr;
    if (!dir)
        return out;
    while (struct dirent* e = ::readdir(dir))
        if (std::strcmp(e->d_name, ".") != 0 && std::strcmp(e->d_name, "..") != 0)
            out.push_back(e->d_name);
    ::closedir(dir);
    return out;
}

bool copy_tree(const std::string& from, const std::string& to)
{
    struct stat st;
    if (::lstat(from.c_str(), &st) != 0)
        return false;
    if (S_ISLNK(st.st_mode)) {
        std::vector<char> target(PATH_MAX);
        const ssize_t n = ::readlink(from.c_str(), target.data(), target.size() - 1);
        if (n < 0)
            return false;
        target[std::size_t(n)] = 0;
        return ::symlink(target.data(), to.c_str()) == 0;
    }
    if (!S_ISDIR(st.st_mode))
        return S_ISREG(st.st_mode) && copy_file(qxval(from), qxval(to), false);
    if (::mkdir(to.c_str(), (st.st_mode & 07777) | S_IRWXU) != 0)
        return false;
    bool ok = false;
    for (const std::string& name : entries_of(from, ok))
        if (!copy_tree(from + "/" + name, to + "/" + name))
            return false;
    ::chmod(to.c_str(), st.st_mode & 07777);
    return ok;
}

}  // namespace

bool move_path(const std::string& from, const std::string& to)
{
    if (::renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) == 0)
        return true;
    const int err = errno;
    struct stat st;
    if (err == EINVAL || err == ENOSYS) {
        // The file system cannot refuse to replace; check first instead.
        if (::lstat(to.c_str(), &st) == 0)
            return false;
        return ::rename(from.c_str(), to.c_str()) == 0;
    }
    if (err != EXDEV || ::lstat(to.c_str(), &st) == 0)
        return false;
    if (!copy_tree(from, to)) {
        remove_path(to);
        return false;
    }
    return remove_path(from);
}

bool remove_path(const std::string& path)
{
    struct stat st;
    if (::lstat(path.c_str(), &st) != 0)
        return false;
    if (!S_ISDIR(st.st_mode))
        return ::unlink(path.c_str()) == 0;
    bool ok = false;
    for (const std::string& name : entries_of(path, ok))
        if (!remove_path(path + "/" + name))
            return false;
    return ok && ::rmdir(path.c_str()) == 0;
}

bool change_mode_path(const std::string& path, unsigned bits, bool recursive)
{
    return change_mode_path(path, chmod_plan::same(bits), recursive);
}

bool change_mode_path(const std::string& path, const chmod_plan& plan, bool recursive)
{
    struct stat st;
    if (::lstat(path.c_str(), &st) != 0)
        return false;
    if (S_ISLNK(st.st_mode))
        return true;
    const bool folder = S_ISDIR(st.st_mode);
    if (plan.changes(folder) && ::chmod(path.c_str(), plan.bits_for(folder) & 07777) != 0)
        return false;
    if (!recursive || !folder)
        return true;
    bool ok = false;
    for (const std::string& name : entries_of(path, ok))
        if (!change_mode_path(path + "/" + name, plan, true))
            return false;
    return ok;
}

std::string absolute_local_path(const std::string& path)
{
    std::string text = path;
    if (text == "~" || text.starts_with("~/"))
        text = global_ftp_values::default_local_folder() + text.substr(1);
    if (!text.starts_with('/'))
        return {};
    std::vector<std::string> parts;
    std::size_t pos = 0;
    while (pos <= text.size()) {
        std::size_t slash = text.find('/', pos);
        if (slash == std::string::npos)
            slash = text.size();
        const std::string part = text.substr(pos, slash - pos);
        pos = slash + 1;
        if (part.empty() || part == ".")
            continue;
        if (part == "..") {
            if (!parts.empty())
                parts.pop_back();
            continue;
        }
        parts.push_back(part);
    }
    std::string out;
    for (const std::string& p : parts)
        out += "/" + p;
    return out.empty() ? "/" : out;
}

int local_file_platform::remove(const std::vector<std::string>& paths, bool to_trash)
{
    (void)to_trash;
    for (std::size_t i = 0; i < paths.size(); ++i)
        if (!remove_path(paths[i]))
            return int(i);
    return -1;
}

bool local_file_platform::run_verb(const std::string& path, const std::string& verb)
{
    (void)path;
    (void)verb;
    return false;
}

std::string local_file_platform::type_name(const std::string& path, bool is_folder)
{
    (void)path;
    (void)is_folder;
    return {};
}

}  // namespace qvtf
