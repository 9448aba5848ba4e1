// Folders, temporary names, the program's own path and folder listings.
#include <dirent.h>
#include <fcntl.h>
#include <fnmatch.h>
#include <limits.h>
#include <regex.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "core/qxfiles.h"

namespace qvtf {

bool current_directory(qxval& out)
{
    std::vector<char> buf(PATH_MAX);
    for (;;) {
        if (::getcwd(buf.data(), buf.size())) {
            out.set_string(buf.data());
            return true;
        }
        if (errno != ERANGE || buf.size() > (1u << 20)) {
            out.set_string("");
            return false;
        }
        buf.resize(buf.size() * 2);
    }
}

bool set_current_directory(const qxval& path)
{
    return ::chdir(path.c_str()) == 0;
}

bool temp_directory(qxval& out)
{
    const char* dir = std::getenv("TMPDIR");
    std::string s = (dir && *dir) ? dir : "/tmp";
    if (s.back() != '/')
        s += '/';
    out.set_bytes(s);
    return true;
}

bool program_file_name(qxval& out)
{
    char buf[PATH_MAX];
    ssize_t n = ::readlink("/proc/self/exe", buf, sizeof buf);
    if (n <= 0 || n >= static_cast<ssize_t>(sizeof buf)) {
        out.set_string("");
        return false;
    }
    out.set_bytes(buf, static_cast<int32_t>(n));
    return true;
}

bool free_disk_space(const qxval& path, qxval& out)
{
    struct statvfs vfs;
    if (::statvfs(path.c_str(), &vfs) != 0) {
        out.set_int(0);
        return false;
    }
    uint64_t bytes = static_cast<uint64_t>(vfs.f_bavail) * static_cast<uint64_t>(vfs.f_frsize);
    out.set_double(static_cast<double>(bytes));
    return true;
}

void random_file_name(const qxval& folder, const qxval& extension, qxval& out)
{
    std::string s(folder.view());
    s += '/';
    for (int i = 0; i < 8; ++i)
        s += static_cast<char>('0' + std::rand() % 10);
    s += '.';
    s += extension.view();
    out.set_bytes(s);
}

namespace {

bool path_exists(const char* path)
{
    struct stat st;
    return ::lstat(path, &st) == 0;
}

// Splits ".../name.ext" into folder and lower-case extension.
bool split_wanted_path(const qxval& path, std::string& folder, std::string& ext)
{
    regex_t re;
    if (::regcomp(&re, "(.*)/[^/.]+\\.([a-z0-9_]+)$", REG_EXTENDED) != 0)
        return false;
    regmatch_t m[3];
    std::string subject(path.view());
    bool ok = ::regexec(&re, subject.c_str(), 3, m, 0) == 0 && m[1].rm_so >= 0 && m[2].rm_so >= 0;
    if (ok) {
        folder.assign(subject, m[1].rm_so, m[1].rm_eo - m[1].rm_so);
        ext.assign(subject, m[2].rm_so, m[2].rm_eo - m[2].rm_so);
    }
    ::regfree(&re);
    return ok;
}

}  // namespace

bool temp_file_name(qxval& value, bool in_temp_folder)
{
    if (in_temp_folder) {
        qxval dir;
        temp_directory(dir);
        std::string pattern(dir.view());
        pattern += "XXXXXX.tmp";
        int fd = ::mkstemps(pattern.data(), 4);
        if (fd < 0) {
            value.set_string("");
            return false;
        }
        ::close(fd);
        value.set_bytes(pattern);
        return true;
    }
    std::string folder, ext;
    if (!split_wanted_path(value, folder, ext)) {
        value.set_string("");
        return false;
    }
    qxval qfolder(folder), qext(ext);
    while (path_exists(value.c_str()))
        random_file_name(qfolder, qext, value);
    return true;
}

namespace {

// Fills node from the entry name inside dirfd, not following a final link.
bool fill_node(int dirfd, const char* entry, const char* name, qxfile_node& node)
{
    struct statx sx;
    if (::statx(dirfd, entry, AT_SYMLINK_NOFOLLOW, STATX_BASIC_STATS | STATX_BTIME, &sx) != 0)
        return false;
    node.name.set_string(name);
    node.set_extension_from_name();
    node.set_size(sx.stx_size);
    node.modified = sx.stx_mtime.tv_sec;
    node.accessed = sx.stx_atime.tv_sec;
    node.created = (sx.stx_mask & STATX_BTIME) ? sx.stx_btime.tv_sec : sx.stx_mtime.tv_sec;
    node.attributes = sx.stx_mode & 07777;
    node.is_folder = S_ISDIR(sx.stx_mode) ? 1 : 0;
    if (S_ISLNK(sx.stx_mode)) {
        node.attributes |= ATTR_LINK;
        std::vector<char> target(PATH_MAX);
        ssize_t n = ::readlinkat(dirfd, entry, target.data(), target.size());
        if (n > 0)
            node.link_target.set_bytes(target.data(), static_cast<int32_t>(n));
        struct stat st;
        if (::fstatat(dirfd, entry, &st, 0) == 0 && S_ISDIR(st.st_mode))
            node.is_folder = 1;
    }
    return true;
}

bool matches_pattern(const std::string& pattern, const char* name)
{
    if (pattern.empty() || pattern == "*" || pattern == "*.*")
        return true;
    return ::fnmatch(pattern.c_str(), name, 0) == 0;
}

void attach_chain(qxe_tree<qxfile_node>& tree, qxfile_node* parent, qxfile_node*& last, qxfile_node* node)
{
    if (last)
        tree.insert_after(node, last);
    else if (parent)
        tree.append_child(node, parent);
    else
        tree.append_top(node);
    last = node;
}

}  // namespace

bool list_folder(const qxval& folder, qxe_tree<qxfile_node>& tree, qxfile_node* parent, bool skip_dots,
                 const qxval& pattern)
{
    DIR* dir = ::opendir(folder.c_str());
    if (!dir)
        return false;
    int dfd = ::dirfd(dir);
    std::string pat(pattern.view());
    std::vector<qxfile_node*> folders, files;
    while (struct dirent* e = ::readdir(dir)) {
        bool dot = std::strcmp(e->d_name, ".") == 0 || std::strcmp(e->d_name, "..") == 0;
        if ((dot && skip_dots) || !matches_pattern(pat, e->d_name))
            continue;
        auto* node = new qxfile_node;
        if (!fill_node(dfd, e->d_name, e->d_name, *node)) {
            delete node;  // vanished while we listed
            continue;
        }
        (node->is_folder ? folders : files).push_back(node);
    }
    ::closedir(dir);
    qxfile_node* last = nullptr;
    for (qxfile_node* n : folders)
        attach_chain(tree, parent, last, n);
    for (qxfile_node* n : files)
        attach_chain(tree, parent, last, n);
    return true;
}

bool stat_path(const qxval& path, qxfile_node& node)
{
    std::string p(path.view());
    while (p.size() > 1 && p.back() == '/')
        p.pop_back();
    if (p.empty())
        return false;
    size_t slash = p.rfind('/');
    std::string name = (p == "/") ? p : (slash == std::string::npos ? p : p.substr(slash + 1));
    return fill_node(AT_FDCWD, p.c_str(), name.c_str(), node);
}

}  // namespace qvtf
