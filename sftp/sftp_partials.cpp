#include "sftp/sftp_partials.h"

#include <deque>
#include <mutex>

namespace qvtf {

namespace {

constexpr std::size_t partials_kept = 8;

std::mutex partials_mutex;
std::deque<partial_download>& partials()
{
    static std::deque<partial_download> kept;
    return kept;
}

}  // namespace

partial_download::partial_download(partial_download&& other) noexcept
{
    *this = std::move(other);
}

partial_download& partial_download::operator=(partial_download&& other) noexcept
{
    if (this == &other)
        return *this;
    close_file(handle);
    local_path = std::move(other.local_path);
    remote_path = std::move(other.remote_path);
    size = other.size;
    modified = other.modified;
    file = std::move(other.file);
    handle = other.handle;
    bytes = other.bytes;
    other.handle = invalid_file_handle;
    return *this;
}

partial_download::~partial_download()
{
    close_file(handle);
}

void keep_partial_download(partial_download partial)
{
    if (!partial || partial.size < 0 || partial.bytes <= 0 || !partial.file)
        return;
    std::lock_guard lock(partials_mutex);
    auto& kept = partials();
    for (auto it = kept.begin(); it != kept.end(); ++it)
        if (it->local_path == partial.local_path) {
            kept.erase(it);
            break;
        }
    kept.push_back(std::move(partial));
    while (kept.size() > partials_kept)
        kept.pop_front();
}

partial_download take_partial_download(const std::string& local_path, const std::string& remote_path, int64_t size,
                                       std::time_t modified)
{
    std::lock_guard lock(partials_mutex);
    auto& kept = partials();
    for (auto it = kept.begin(); it != kept.end(); ++it) {
        if (it->local_path != local_path)
            continue;
        partial_download found = std::move(*it);
        kept.erase(it);
        if (found.remote_path == remote_path && found.size == size && size >= 0 && found.modified == modified &&
            found.bytes <= size)
            return found;
        return {};
    }
    return {};
}

}  // namespace qvtf
