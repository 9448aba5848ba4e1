// saved_item: what it takes to queue an item again later: its direction,
// paths, size and type, without states, tries or connections. The queue
// file keeps these across a restart, and a failed item keeps one so that
// it can be requeued.
#pragma once

#include <cstdint>
#include <ctime>
#include <memory>
#include <string>
#include <vector>

namespace qvtf {

struct ftp_queue_item;

struct saved_item {
    int32_t is_download = 0;
    int32_t is_folder = 0;
    int32_t is_link = 0;
    std::string name;
    std::string local_folder;   // ends in one separator
    std::string remote_folder;  // ends in one "/"
    int32_t transfer_option = 0;
    int32_t transfer_type = 0;
    int64_t size = 0;
    int32_t size_tolerance = 0;
    std::time_t modified_time = 0;
    int32_t type_extra = 0;
    std::vector<std::string> trail;

    bool empty() const { return name.empty(); }
    bool operator==(const saved_item&) const = default;
};

saved_item saved_of(const ftp_queue_item& item);
// A fresh waiting item, first try, with the paths joined again.
std::unique_ptr<ftp_queue_item> item_of(const saved_item& saved);

}  // namespace qvtf
