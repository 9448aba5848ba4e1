// Downloads that broke off with their bytes kept, so the next try of the
// same file continues where the last one stopped instead of starting over.
// Shared by every session of the process: the queue may retry an item on
// another worker's connection. A partial is taken only for the same remote
// file with the same size and time; at most a few are kept.
#pragma once

#include <cstdint>
#include <ctime>
#include <memory>
#include <string>

#include "core/qxfiles.h"
#include "core/qxfiles_atomic.h"

namespace qvtf {

struct partial_download {
    std::string local_path;
    std::string remote_path;
    int64_t size = -1;  // the remote file's, as the request gave it
    std::time_t modified = 0;
    std::unique_ptr<replacement_file> file;  // the temporary, not yet committed
    file_handle handle = invalid_file_handle;
    int64_t bytes = 0;  // written to the temporary

    partial_download() = default;
    partial_download(partial_download&& other) noexcept;
    partial_download& operator=(partial_download&& other) noexcept;
    ~partial_download();
    explicit operator bool() const { return handle != invalid_file_handle; }
};

// Keeps the partial (which must have a size and some bytes); drops the
// oldest beyond the limit.
void keep_partial_download(partial_download partial);
// The kept partial of local_path for this remote file, or an empty one. A
// partial of local_path for anything else is dropped.
partial_download take_partial_download(const std::string& local_path, const std::string& remote_path, int64_t size,
                                       std::time_t modified);

}  // namespace qvtf
