// Pause, and the queue's items as values for the queue file.
#include "queue/ftp_queue_process_manager.h"

namespace qvtf {

void ftp_queue_process_manager::set_paused(bool on)
{
    paused_ = on;
    if (!on)
        wake_scheduler();
}

std::vector<saved_item> ftp_queue_process_manager::snapshot() const
{
    std::lock_guard held(lock_);
    std::vector<saved_item> out;
    out.reserve(items_.size());
    for (const auto& item : items_)
        if (!(item->state_flags & item_kill_requested))
            out.push_back(saved_of(*item));
    return out;
}

}  // namespace qvtf
