#include "core/qxfiles_atomic.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "core/own_temporaries.h"
#include "core/qxarr.h"

namespace qvtf {

bool make_private_folders(std::string_view folder)
{
    std::string path(folder);
    while (path.size() > 1 && path.back() == '/')
        path.pop_back();
    if (path.empty())
        return false;
    for (std::size_t slash = path.find('/', 1);; slash = path.find('/', slash + 1)) {
        const std::string level = path.substr(0, slash);
        if (::mkdir(level.c_str(), 0700) != 0 && errno != EEXIST)
            return false;
        if (slash == std::string::npos)
            break;
    }
    struct stat info {};
    return ::stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

bool make_private_folders_for(std::string_view file_path)
{
    const std::size_t slash = file_path.rfind('/');
    if (slash == std::string_view::npos)
        return true;  // the current folder
    return make_private_folders(slash == 0 ? std::string_view("/") : file_path.substr(0, slash));
}

file_handle open_private_file(const qxval& path)
{
    int fd;
    do {
        fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    } while (fd < 0 && errno == EINTR);
    if (fd < 0)
        return invalid_file_handle;
    (void)::fchmod(fd, 0600);  // a file made before keeps no wider bits
    return fd;
}

namespace {

// The file the rename must replace, the final target of a symbolic link,
// with that file's facts (stat's), exists telling whether there are any: a
// path that is no link costs one lstat and nothing more.
std::string rename_target(const char* path, struct stat& st, bool& exists)
{
    exists = ::lstat(path, &st) == 0;
    if (!exists || !S_ISLNK(st.st_mode))
        return path;
    char resolved[PATH_MAX];
    std::string target = ::realpath(path, resolved) ? std::string(resolved) : std::string(path);
    exists = ::stat(target.c_str(), &st) == 0;
    return target;
}

std::string rename_target(const char* path)
{
    struct stat st;
    bool exists = false;
    return rename_target(path, st, exists);
}

std::string folder_of(const std::string& path)
{
    auto slash = path.rfind('/');
    if (slash == std::string::npos)
        return ".";
    return slash == 0 ? "/" : path.substr(0, slash);
}

bool write_all(int fd, const char* p, size_t n)
{
    while (n > 0) {
        ssize_t w = ::write(fd, p, n);
        if (w < 0) {
            if (errno == EINTR)
                continue;
            return false;
        }
        p += w;
        n -= static_cast<size_t>(w);
    }
    return true;
}

// The bits a newly created file gets: 0666 less the process's umask, read
// without changing it (umask() would race with other threads creating files).
// Read once: nothing in the program changes its umask.
unsigned new_file_mode()
{
    static const unsigned mode = [] {
        unsigned mask = 022;
        if (std::FILE* f = std::fopen("/proc/self/status", "re")) {
            char line[256];
            while (std::fgets(line, sizeof line, f))
                if (std::strncmp(line, "Umask:", 6) == 0) {
                    mask = static_cast<unsigned>(std::strtoul(line + 6, nullptr, 8));
                    break;
                }
            std::fclose(f);
        }
        return 0666u & ~mask;
    }();
    return mode;
}

// An unnamed file can be given its name only through /proc/self/fd (the
// descriptor-only form of linkat needs a privilege).
bool can_name_unnamed_files()
{
    static const bool usable = ::access("/proc/self/fd", X_OK) == 0;
    return usable;
}

std::string fd_path(int fd)
{
    return "/proc/self/fd/" + std::to_string(fd);
}

class temp_file {
public:
    explicit temp_file(const std::string& target, unsigned mode)
    {
        name_ = own_temporary_template(target);
        fd_ = ::mkostemp(name_.data(), O_CLOEXEC);
        if (fd_ < 0)
            name_.clear();
        else
            slot_ = remember_own_temporary(name_);
        if (fd_ >= 0 && ::fchmod(fd_, mode) != 0)
            discard();
    }
    ~temp_file() { discard(); }
    temp_file(const temp_file&) = delete;
    temp_file& operator=(const temp_file&) = delete;

    int fd() const { return fd_; }

    // Flushes, closes and renames over target; the temporary is gone after.
    bool commit(const std::string& target)
    {
        if (::fsync(fd_) != 0)
            return false;
        int fd = fd_;
        fd_ = -1;
        if (::close(fd) != 0 || ::rename(name_.c_str(), target.c_str()) != 0) {
            int err = errno;
            ::unlink(name_.c_str());
            name_.clear();
            forget_own_temporary(slot_);
            errno = err;
            return false;
        }
        name_.clear();
        forget_own_temporary(slot_);
        // Make the rename itself durable; the content already is.
        int dir = ::open(folder_of(target).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        if (dir >= 0) {
            ::fsync(dir);
            ::close(dir);
        }
        return true;
    }

private:
    void discard()
    {
        int err = errno;
        if (fd_ >= 0)
            ::close(fd_);
        fd_ = -1;
        if (!name_.empty())
            ::unlink(name_.c_str());
        name_.clear();
        forget_own_temporary(slot_);
        slot_ = -1;
        errno = err;
    }

    std::string name_;
    int fd_ = -1;
    int slot_ = -1;
};

}  // namespace

file_handle replacement_file::open(const qxval& target)
{
    discard();
    struct stat st;
    bool exists = false;
    target_ = rename_target(target.c_str(), st, exists);
    if (exists && !S_ISREG(st.st_mode)) {
        // A folder, a pipe or a device: a download never writes into one
        // (a pipe without a reader would block the write for good).
        errno = EINVAL;
        return invalid_file_handle;
    }
    if (can_name_unnamed_files()) {
        // The file starts unnamed: it is made without locking the folder
        // (parallel downloads into one folder do not queue behind each
        // other), gets its name only when complete, and leaves nothing
        // behind when the attempt fails or the program dies. An existing
        // target is replaced at commit, keeping its bits.
        const int fd = ::open(folder_of(target_).c_str(), O_TMPFILE | O_RDWR | O_CLOEXEC, 0600);
        if (fd >= 0) {
            unnamed_ = ::fcntl(fd, F_DUPFD_CLOEXEC, 0);  // the caller closes fd
            if (unnamed_ >= 0)
                return fd;
            ::close(fd);
        }
        // Not every file system has unnamed files: a named temporary then.
    }
    temp_ = own_temporary_template(target_);
    const int fd = ::mkostemp(temp_.data(), O_CLOEXEC);
    if (fd < 0)
        temp_.clear();
    else
        slot_ = remember_own_temporary(temp_);
    return fd < 0 ? invalid_file_handle : fd;
}

file_handle replacement_file::open_partial(const qxval& target, const std::string& partial)
{
    discard();
    struct stat st;
    bool exists = false;
    target_ = rename_target(target.c_str(), st, exists);
    if (exists && !S_ISREG(st.st_mode)) {
        errno = EINVAL;
        return invalid_file_handle;
    }
    if (!partial.empty() && folder_of(partial) == folder_of(target_) &&
        is_own_temporary(partial.substr(partial.rfind('/') + 1))) {
        // Only a file that is still ours as we left it: no link, no second
        // name, nobody else's, nobody else's to read.
        const int fd = ::open(partial.c_str(), O_RDWR | O_NOFOLLOW | O_CLOEXEC);
        if (fd >= 0 && ::fstat(fd, &st) == 0 && S_ISREG(st.st_mode) && st.st_nlink == 1 && st.st_uid == ::geteuid() &&
            (st.st_mode & 077) == 0 && ::lseek(fd, 0, SEEK_END) >= 0) {
            temp_ = partial;
            slot_ = remember_own_temporary(temp_);
            return fd;
        }
        if (fd >= 0)
            ::close(fd);
    }
    temp_ = own_temporary_template(target_);
    const int fd = ::mkostemp(temp_.data(), O_CLOEXEC);
    if (fd < 0)
        temp_.clear();
    else
        slot_ = remember_own_temporary(temp_);
    return fd < 0 ? invalid_file_handle : fd;
}

std::string replacement_file::keep()
{
    std::string kept;
    kept.swap(temp_);
    forget_own_temporary(slot_);
    slot_ = -1;
    return kept;
}

void replacement_file::remove_partial(const std::string& path)
{
    if (!path.empty() && is_own_temporary(path.substr(path.rfind('/') + 1)))
        ::unlink(path.c_str());
}

bool replacement_file::commit_unnamed()
{
    const std::string source = fd_path(unnamed_);
    bool ok = ::fchmod(unnamed_, new_file_mode()) == 0;
    if (ok && ::linkat(AT_FDCWD, source.c_str(), AT_FDCWD, target_.c_str(), AT_SYMLINK_FOLLOW) != 0) {
        ok = false;
        struct stat st;
        if (errno == EEXIST && ::stat(target_.c_str(), &st) == 0 && S_ISREG(st.st_mode)) {
            // The target appeared meanwhile: replace it as a named temporary
            // would, keeping its bits.
            std::string temp = own_temporary_template(target_);
            const int reserved = ::mkostemp(temp.data(), O_CLOEXEC);
            if (reserved >= 0) {
                const int slot = remember_own_temporary(temp);
                ::close(reserved);
                ::unlink(temp.c_str());
                ok = ::fchmod(unnamed_, st.st_mode & 07777) == 0 &&
                     ::linkat(AT_FDCWD, source.c_str(), AT_FDCWD, temp.c_str(), AT_SYMLINK_FOLLOW) == 0;
                if (ok && ::rename(temp.c_str(), target_.c_str()) != 0) {
                    ::unlink(temp.c_str());
                    ok = false;
                }
                forget_own_temporary(slot);
            }
        }
    }
    discard();
    return ok;
}

bool replacement_file::commit()
{
    if (unnamed_ >= 0)
        return commit_unnamed();
    if (temp_.empty())
        return false;
    struct stat st;
    const unsigned mode = ::stat(target_.c_str(), &st) == 0 ? (st.st_mode & 07777) : new_file_mode();
    if (::chmod(temp_.c_str(), mode) != 0 || ::rename(temp_.c_str(), target_.c_str()) != 0) {
        discard();
        return false;
    }
    temp_.clear();
    forget_own_temporary(slot_);
    slot_ = -1;
    return true;
}

void replacement_file::discard()
{
    const int err = errno;
    if (unnamed_ >= 0)
        ::close(unnamed_);  // the file goes with its last descriptor
    unnamed_ = -1;
    if (!temp_.empty())
        ::unlink(temp_.c_str());
    temp_.clear();
    forget_own_temporary(slot_);
    slot_ = -1;
    errno = err;
}

bool write_list_atomic(const qxval& path, qxarr& list, unsigned mode)
{
    std::string target = rename_target(path.c_str());
    temp_file temp(target, mode);
    if (temp.fd() < 0) {
        list.clear();
        return false;
    }
    bool ok = true;
    qxval piece;
    while (list.shift(piece)) {
        if (!ok)
            continue;
        std::string_view text = piece.view();
        if (!text.empty() && !write_all(temp.fd(), text.data(), text.size()))
            ok = false;
    }
    return ok && temp.commit(target);
}

bool write_file_atomic(const qxval& path, std::string_view data, unsigned mode)
{
    std::string target = rename_target(path.c_str());
    temp_file temp(target, mode);
    return temp.fd() >= 0 && write_all(temp.fd(), data.data(), data.size()) && temp.commit(target);
}

}  // namespace qvtf
