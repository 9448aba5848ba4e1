// Items from file nodes: one node (add_node), or a pane's selection with the
// folders it goes between (add_nodes).
#include "ftp/auto_transfer_resolver.h"
#include "queue/ftp_queue_process_manager.h"

namespace qvtf {

namespace {

// path without its trailing separators, and exactly one.
qxval one_separator(const qxval& path)
{
    std::string_view text = path.view();
    while (!text.empty() && text.back() == '/')
        text.remove_suffix(1);
    std::string out(text);
    out += '/';
    return qxval(out);
}

// A name that could leave its folder never becomes an item.
bool plain_name(std::string_view name)
{
    return !name.empty() && name != "." && name != ".." && name.find('/') == std::string_view::npos &&
           name.find('\0') == std::string_view::npos;
}

}  // namespace

int ftp_queue_process_manager::add_node(qxfile_node& node, const qxval& local_folder, const qxval& remote_folder,
                                        int32_t is_download, int32_t default_type, int32_t transfer_option,
                                        std::vector<std::string> trail)
{
    if (!open_)
        return 1;
    if (!plain_name(node.name.view()))
        return name_refused;
    auto item = std::make_unique<ftp_queue_item>();
    item->is_download = is_download ? 1 : 0;
    item->state_flags = item_waiting;
    item->name = node.name;
    item->local_folder = local_folder;
    item->local_path.set_bytes(local_folder.str() + node.name.str());
    item->remote_folder = remote_folder;
    item->remote_path.set_bytes(remote_folder.str() + node.name.str());
    item->is_folder = node.is_folder ? 1 : 0;
    if (item->is_folder)
        item->trail = std::move(trail);
    // A listed size past a signed 64-bit count checks against a count no
    // transfer reaches: such a file is never taken as downloaded whole.
    auto queued_size = [](const qxfile_node& n) {
        return n.size_known() && n.size() <= uint64_t(INT64_MAX) ? static_cast<int64_t>(n.size()) : INT64_MAX;
    };
    item->size = queued_size(node);
    if (item->is_download && node.is_link()) {
        item->is_link = 1;
        remote_session* browser = panes ? panes->browser() : nullptr;
        const qxfile_node* target = node.link_node;
        if (!target && browser)
            target = browser->folder_tree().resolve_link(&node);
        item->size = target ? queued_size(*target) : -1;
    }
    item->modified_time = node.modified;
    item->time_exact = node.time_exact != 0;
    item->transfer_option = transfer_option;
    item->transfer_type = default_type;
    if (!item->is_folder && default_type == 2) {
        const transfer_pair pair = resolver ? resolver->resolve(item->name) : transfer_pair{};
        item->transfer_type = pair.type;
        item->type_extra = pair.permissions;
    }
    return append_item(std::move(item));
}

int ftp_queue_process_manager::add_nodes(const PUT_NODES_QUEUE_STRUCT& request)
{
    if (request.nodes.empty() || !panes)
        return status_ok;
    const int32_t download = request.from_remote ? 1 : 0;
    const qxfile_node* source_folder = request.nodes.front()->parent;
    qxval local, remote;
    if (int code = panes->local_path_of(download ? request.destination : source_folder, local))
        return code;
    if (int code = panes->remote_path_of(download ? source_folder : request.destination, remote))
        return code;
    local = one_separator(local);
    remote = one_separator(remote);
    const int32_t type = default_transfer_type;

    if (view)
        view->begin_update();
    for (qxfile_node* node : request.nodes) {
        if (!open_)
            break;
        // A refused name is skipped; a shut-down queue ends the loop.
        const int added = add_node(*node, local, remote, download, type, request.transfer_option);
        if (added == 1)
            break;
        if (added == target_taken)
            report_target_taken(*node, local, remote, download);
    }
    if (view)
        view->end_update();
    // Shown at once when the item that holds the target has already left.
    report_run_failures();
    return status_ok;
}

}  // namespace qvtf
