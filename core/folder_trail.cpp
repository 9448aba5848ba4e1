#include "core/folder_trail.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>

namespace qvtf {

namespace {

std::string identity(const struct stat& st)
{
    return std::to_string(st.st_dev) + ':' + std::to_string(st.st_ino);
}

bool held(const std::vector<std::string>& trail, const std::string& id)
{
    return std::find(trail.begin(), trail.end(), id) != trail.end();
}

}  // namespace

std::string normal_path(const std::string& path)
{
    std::vector<std::string> parts;
    size_t i = 0;
    while (i <= path.size()) {
        const size_t slash = path.find('/', i);
        const std::string part = path.substr(i, slash == std::string::npos ? std::string::npos : slash - i);
        if (part == "..") {
            if (!parts.empty())
                parts.pop_back();
        } else if (!part.empty() && part != ".") {
            parts.push_back(part);
        }
        if (slash == std::string::npos)
            break;
        i = slash + 1;
    }
    std::string out = path.empty() || path[0] != '/' ? "" : "/";
    for (size_t k = 0; k < parts.size(); ++k)
        out += (k ? "/" : "") + parts[k];
    return out.empty() ? "." : out;
}

std::string link_destination(const std::string& folder, std::string_view target)
{
    if (!target.empty() && target.front() == '/')
        return normal_path(std::string(target));
    return normal_path(folder + "/" + std::string(target));
}

bool path_covers(std::string_view a, std::string_view b)
{
    if (a == "/")
        return true;
    return b.compare(0, a.size(), a) == 0 && (b.size() == a.size() || b[a.size()] == '/');
}

bool leads_back(std::string_view real, const std::vector<std::string>& trail)
{
    return std::any_of(trail.begin(), trail.end(),
                       [real](const std::string& above) { return path_covers(real, above); });
}

bool local_leads_back(const std::string& path, std::vector<std::string>& trail)
{
    int fd = ::open(path.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC);
    struct stat st;
    if (fd < 0 || ::fstat(fd, &st) != 0) {
        if (fd >= 0)
            ::close(fd);
        return false;
    }
    std::string id = identity(st);
    if (held(trail, id)) {
        ::close(fd);
        return true;
    }
    // Upwards through "..", the folder's real parent whatever links the path
    // went through, until a folder the trail already has or the root (its
    // own parent).
    for (;;) {
        trail.push_back(id);
        const int up = ::openat(fd, "..", O_PATH | O_DIRECTORY | O_CLOEXEC);
        ::close(fd);
        fd = up;
        if (fd < 0 || ::fstat(fd, &st) != 0)
            break;
        std::string parent = identity(st);
        if (parent == id || held(trail, parent))
            break;
        id = std::move(parent);
    }
    if (fd >= 0)
        ::close(fd);
    return false;
}

}  // namespace qvtf
