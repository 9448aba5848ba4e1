#include "queue/saved_item.h"

#include "queue/ftp_queue_item.h"

namespace qvtf {

saved_item saved_of(const ftp_queue_item& item)
{
    saved_item s;
    s.is_download = item.is_download;
    s.is_folder = item.is_folder;
    s.is_link = item.is_link;
    s.name = item.name.str();
    s.local_folder = item.local_folder.str();
    s.remote_folder = item.remote_folder.str();
    s.transfer_option = item.transfer_option;
    s.transfer_type = item.transfer_type;
    s.size = item.size;
    s.size_tolerance = item.size_tolerance;
    s.modified_time = item.modified_time;
    s.type_extra = item.type_extra;
    s.trail = item.trail;
    return s;
}

std::unique_ptr<ftp_queue_item> item_of(const saved_item& s)
{
    auto item = std::make_unique<ftp_queue_item>();
    item->is_download = s.is_download;
    item->is_folder = s.is_folder;
    item->is_link = s.is_link;
    item->name.set_bytes(s.name);
    item->local_folder.set_bytes(s.local_folder);
    item->local_path.set_bytes(s.local_folder + s.name);
    item->remote_folder.set_bytes(s.remote_folder);
    item->remote_path.set_bytes(s.remote_folder + s.name);
    item->transfer_option = s.transfer_option;
    item->transfer_type = s.transfer_type;
    item->size = s.size;
    item->size_tolerance = s.size_tolerance;
    item->modified_time = s.modified_time;
    item->type_extra = s.type_extra;
    item->trail = s.trail;
    return item;
}

}  // namespace qvtf
