#include "queue/folder_loops.h"

#include "core/folder_trail.h"
#include "queue/ftp_queue_process_manager.h"

namespace qvtf {

namespace {

constexpr int phrase_leads_back = 870;
constexpr int phrase_too_deep = 871;

void log_skip(ftp_queue_process_manager& queue, int phrase, const std::string& path)
{
    if (!queue.log_sink)
        return;
    queue.log_sink(queue.sink_context, std::string(queue.phrase(phrase)) + path + "\r\n", log_info);
}

}  // namespace

// A download's trail: the resolved remote paths of the folders above and of
// the item's own, last ("" until entered when a link named no target). An
// upload's: device and inode of its local folder and of every folder above.
bool enter_folder_item(ftp_queue_process_manager& queue, ftp_queue_item& item, const std::string& place)
{
    std::vector<std::string>& trail = item.trail;
    if (!item.is_download) {
        if (trail.empty())
            local_leads_back(place, trail);
        return true;
    }
    if (trail.empty()) {
        trail.push_back(place);
        return true;
    }
    if (!trail.back().empty())
        return true;
    // Only a server that names the folder a link leads to tells a loop here.
    trail.pop_back();
    if (leads_back(place, trail)) {
        log_skip(queue, phrase_leads_back, item.remote_path.str());
        return false;
    }
    trail.push_back(place);
    return true;
}

bool child_trail(ftp_queue_process_manager& queue, const ftp_queue_item& item, const qxfile_node& child,
                 const std::string& path, std::vector<std::string>& trail)
{
    trail = item.trail;
    if (!item.is_download) {
        if (!local_leads_back(path, trail))
            return true;
        log_skip(queue, phrase_leads_back, path);
        return false;
    }
    // A link whose target the listing hides is still bounded by depth.
    if (trail.size() >= static_cast<size_t>(folder_depth_limit)) {
        log_skip(queue, phrase_too_deep, path);
        return false;
    }
    const std::string here = trail.empty() ? std::string() : trail.back();
    std::string real;
    if (!here.empty() && !child.is_link())
        real = link_destination(here, child.name.view());
    else if (!here.empty() && !child.link_target.view().empty())
        real = link_destination(here, child.link_target.view());
    if (child.is_link() && !real.empty() && leads_back(real, trail)) {
        log_skip(queue, phrase_leads_back, path);
        return false;
    }
    trail.push_back(real);
    return true;
}

}  // namespace qvtf
