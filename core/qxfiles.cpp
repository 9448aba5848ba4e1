#include "core/qxfiles.h"

#include "core/qxarr.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cctype>
#include <cerrno>
#include <cstdio>
#include <vector>

namespace qvtf {

namespace {

int open_flags(const char* mode)
{
    char first = (mode && mode[0]) ? static_cast<char>(std::tolower(static_cast<unsigned char>(mode[0]))) : 'r';
    switch (first) {
    case 'a': return O_RDWR | O_CREAT;
    case 'w': return O_RDWR | O_CREAT | O_TRUNC;
    default: return O_RDONLY;
    }
}

// Reads until n bytes or the end of the file, as a whole-file read would.
ssize_t read_full(int fd, char* buf, size_t n)
{
    size_t got = 0;
    while (got < n) {
        ssize_t r = ::read(fd, buf + got, n - got);
        if (r < 0) {
            if (errno == EINTR)
                continue;
            return got > 0 ? static_cast<ssize_t>(got) : -1;
        }
        if (r == 0)
            break;
        got += static_cast<size_t>(r);
    }
    return static_cast<ssize_t>(got);
}

bool write_full(int fd, const char* buf, size_t n, size_t* written)
{
    size_t done = 0;
    while (done < n) {
        ssize_t w = ::write(fd, buf + done, n - done);
        if (w < 0) {
            if (errno == EINTR)
                continue;
            break;
        }
        if (w == 0)
            break;
        done += static_cast<size_t>(w);
    }
    *written = done;
    return done == n;
}

}  // namespace

namespace {

int open_retrying(const qxval& path, int flags)
{
    int fd;
    do {
        fd = ::open(path.c_str(), flags, 0666);
    } while (fd < 0 && errno == EINTR);
    return fd;
}

// "r+" continues at the end of the file; false when that seek fails.
bool at_end_if_updating(int fd, int flags)
{
    return (flags & O_ACCMODE) != O_RDWR || (flags & O_TRUNC) || ::lseek(fd, 0, SEEK_END) >= 0;
}

}  // namespace

file_handle open_file(const qxval& path, const char* mode)
{
    const int flags = open_flags(mode) | O_CLOEXEC;
    const int fd = open_retrying(path, flags);
    if (fd < 0)
        return invalid_file_handle;
    if (!at_end_if_updating(fd, flags)) {
        ::close(fd);
        return invalid_file_handle;
    }
    return fd;
}

file_handle open_regular_file(const qxval& path, const char* mode, bool* not_regular)
{
    if (not_regular)
        *not_regular = false;
    const int flags = open_flags(mode) | O_CLOEXEC | O_NONBLOCK | O_NOCTTY;
    const int fd = open_retrying(path, flags);
    if (fd < 0)
        return invalid_file_handle;
    struct stat st;
    const bool known = ::fstat(fd, &st) == 0;
    if (!known || !S_ISREG(st.st_mode)) {
        const int err = known ? EINVAL : errno;
        ::close(fd);
        if (not_regular)
            *not_regular = known;
        errno = err;
        return invalid_file_handle;
    }
    const int status_flags = ::fcntl(fd, F_GETFL);
    const bool blocking = status_flags >= 0 && ::fcntl(fd, F_SETFL, status_flags & ~O_NONBLOCK) == 0;
    if (!blocking || !at_end_if_updating(fd, flags)) {
        ::close(fd);
        return invalid_file_handle;
    }
    return fd;
}

bool exists_not_regular(const qxval& path)
{
    struct stat st;
    return ::stat(path.c_str(), &st) == 0 && !S_ISREG(st.st_mode);
}

void close_file(file_handle h)
{
    if (h != invalid_file_handle)
        ::close(h);
}

int32_t read_error_result(int err)
{
    switch (err) {
    case ENOMEM:
    case ENOBUFS: return read_out_of_memory;
    case EPIPE: return read_broken_pipe;
    case EOVERFLOW: return read_insufficient_buffer;
    case EMSGSIZE: return read_more_data;
    case EFAULT: return read_invalid_buffer;
    case EAGAIN:
    case EINPROGRESS: return read_io_pending;
    default:
        // Anything else (EIO, EISDIR, EBADF...) also means the read did not
        // complete. Reporting it as 0 would look like the end of the file and
        // turn a failing disk into a silently truncated transfer.
        return read_aborted;
    }
}

int32_t read_file(qxval& value, int32_t n, file_handle h)
{
    // A buffer the value already has is reused (a pipe's recycled chunk).
    if (!value.is_string())
        value.set_string("");
    value.text.length = 0;
    if (h == invalid_file_handle || n <= 0)
        return 0;
    if (value.text.capacity < n)
        value.text.set_size(n);
    if (value.text.capacity < n) {
        value.text.length = 0;
        return read_out_of_memory;
    }
    ssize_t got = read_full(h, value.text.data, static_cast<size_t>(n));
    if (got < 0) {
        int err = errno;
        value.text.length = 0;
        return read_error_result(err);
    }
    value.text.length = static_cast<int32_t>(got);
    return static_cast<int32_t>(got);
}

int32_t write_file(const qxval& value, int32_t n, file_handle h)
{
    if (h == invalid_file_handle || n <= 0)
        return 0;
    const qxchar& t = value.text_view();
    size_t want = static_cast<size_t>(n < t.length ? n : t.length);
    if (want == 0)
        return 0;
    size_t written = 0;
    write_full(h, t.data, want, &written);
    return static_cast<int32_t>(written);
}

int64_t seek_file(file_handle h, int64_t distance, int origin)
{
    if (h == invalid_file_handle)
        return -1;
    int whence = origin == 1 ? SEEK_CUR : origin == 2 ? SEEK_END : SEEK_SET;
    off_t pos = ::lseek(h, static_cast<off_t>(distance), whence);
    return pos < 0 ? -1 : static_cast<int64_t>(pos);
}

int64_t file_size(file_handle h)
{
    struct stat st;
    if (h == invalid_file_handle || ::fstat(h, &st) != 0)
        return -1;
    return static_cast<int64_t>(st.st_size);
}

int64_t file_size_of(const qxval& path)
{
    file_handle h = open_file(path, "r+");
    int64_t size = file_size(h);
    close_file(h);
    return size;
}

bool read_whole_file(const qxval& path, qxval& out)
{
    out.set_string("");
    file_handle h = open_file(path, "r");
    if (h == invalid_file_handle)
        return false;
    int64_t size = file_size(h);
    bool ok = false;
    if (size == 0)
        ok = true;
    else if (size > 0 && size <= INT32_MAX)
        ok = read_file(out, static_cast<int32_t>(size), h) == size;
    close_file(h);
    return ok;
}

bool write_list_to_file(const qxval& path, qxarr& list, const char* mode)
{
    file_handle h = open_file(path, mode);
    if (h == invalid_file_handle)
        return false;
    bool ok = true;
    qxval piece;
    while (ok && list.shift(piece)) {
        int32_t n = piece.text_view().length;
        if (n > 0 && write_file(piece, n, h) != n)
            ok = false;
    }
    close_file(h);
    return ok;
}

bool delete_file(const qxval& path)
{
    return ::unlink(path.c_str()) == 0;
}

bool create_directory(const qxval& path)
{
    return ::mkdir(path.c_str(), 0777) == 0;
}

bool copy_file(const qxval& from, const qxval& to, bool overwrite)
{
    int in = ::open(from.c_str(), O_RDONLY | O_CLOEXEC);
    if (in < 0)
        return false;
    struct stat src;
    if (::fstat(in, &src) != 0 || !S_ISREG(src.st_mode)) {
        ::close(in);
        return false;
    }
    // Copying a file onto itself would truncate it before reading it.
    struct stat dst;
    if (::stat(to.c_str(), &dst) == 0 && dst.st_dev == src.st_dev && dst.st_ino == src.st_ino) {
        ::close(in);
        return false;
    }
    int flags = O_WRONLY | O_CREAT | O_CLOEXEC | (overwrite ? O_TRUNC : O_EXCL);
    int out = ::open(to.c_str(), flags, src.st_mode & 0777);
    if (out < 0) {
        ::close(in);
        return false;
    }
    std::vector<char> buf(256 * 1024);
    bool ok = true;
    for (;;) {
        ssize_t r = ::read(in, buf.data(), buf.size());
        if (r < 0 && errno == EINTR)
            continue;
        if (r < 0) {
            ok = false;
            break;
        }
        if (r == 0)
            break;
        size_t written;
        if (!write_full(out, buf.data(), static_cast<size_t>(r), &written)) {
            ok = false;
            break;
        }
    }
    if (ok) {
        ::fchmod(out, src.st_mode & 0777);
        struct timespec times[2] = {src.st_atim, src.st_mtim};
        ::futimens(out, times);
    }
    ::close(in);
    if (::close(out) != 0)
        ok = false;
    if (!ok)
        ::unlink(to.c_str());
    return ok;
}

bool move_file(const qxval& from, const qxval& to)
{
    if (::renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) == 0)
        return true;
    int err = errno;
    if (err == EINVAL || err == ENOSYS) {
        // The file system cannot refuse to replace; check first instead.
        struct stat st;
        if (::lstat(to.c_str(), &st) == 0)
            return false;
        return ::rename(from.c_str(), to.c_str()) == 0;
    }
    if (err == EXDEV) {
        if (!copy_file(from, to, false))
            return false;
        if (::unlink(from.c_str()) != 0) {
            ::unlink(to.c_str());
            return false;
        }
        return true;
    }
    return false;
}

bool set_file_times(file_handle h, std::time_t seconds)
{
    if (h == invalid_file_handle)
        return false;
    struct timespec times[2];
    times[0].tv_sec = times[1].tv_sec = seconds;
    times[0].tv_nsec = times[1].tv_nsec = 0;
    return ::futimens(h, times) == 0;
}

}  // namespace qvtf
