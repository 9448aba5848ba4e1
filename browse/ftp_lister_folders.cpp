// The remote pane's folders and entries: CWD and LIST, links, icons and
// type texts, and the file operations.
#include <string>
#include <vector>

#include "browse/listing_parser.h"
#include "browse/qx_ftp_file_lister.h"
#include "core/qxtext.h"
#include "markup/xml_io.h"

namespace qvtf {

namespace {

constexpr int phrase_folder = 22;
constexpr int phrase_delete_failed = 30;
constexpr int phrase_going_up = 34;
constexpr int phrase_colon = 38;
constexpr int phrase_changing_to = 39;
constexpr int phrase_listing = 40;
constexpr int phrase_working_on = 41;
constexpr int phrase_moving = 63;
constexpr int phrase_link_to = 70;
constexpr int phrase_hidden = 71;
constexpr int phrase_chmod_title = 72;
constexpr int phrase_no_properties = 73;
constexpr int phrase_deleting = 75;
constexpr int phrase_mkdir_failed = 99;

constexpr int image_folder = 3;
constexpr int image_file = 4;
constexpr int image_unresolved_link = 5;
constexpr int image_hidden = 6;

}  // namespace

int32_t remote_type_map::load(const qxval& path)
{
    xml_tree tree;
    qxval error;
    if (int32_t status = xml_read_file(path, tree, error))
        return status;
    std::unordered_map<std::string, int> images;
    auto fill = [&](const char* section, std::unordered_map<std::string, entry>& map, bool lower) {
        const xml_node* s = xml_find(tree, section);
        for (const xml_node* n = s ? s->first_child : nullptr; n; n = n->next) {
            const qxval* name = n->attributes.find(qxval("name"));
            const qxval* icon = n->attributes.find(qxval("icon"));
            const qxval* type = n->attributes.find(qxval("type"));
            if (!name || (!icon && !type))
                continue;
            entry e;
            e.image = image_file;
            if (icon && !icon->view().empty()) {
                auto [it, added] = images.emplace(icon->str(), first_image + int(icon_files.size()));
                if (added)
                    icon_files.push_back(icon->str());
                e.image = it->second;
            }
            if (type)
                e.type_text = *type;
            qxval key = *name;
            if (lower)
                to_lower(key);
            map[key.str()] = e;
        }
    };
    fill("/ext/extensions", extensions, true);
    fill("/ext/names", names, false);
    return 0;
}

const remote_type_map::entry* qx_ftp_file_lister::type_of(const qxfile_node& node) const
{
    if (auto it = types.names.find(node.name.str()); it != types.names.end())
        return &it->second;
    if (auto it = types.extensions.find(node.extension.str()); it != types.extensions.end())
        return &it->second;
    return nullptr;
}

int qx_ftp_file_lister::icon_of(qxfile_node* node)
{
    if (!node || !session().logged_in())
        return -1;
    int base = 0;
    const qxfile_node* target = nullptr;
    if (node->is_link()) {
        node->type_text.set_bytes(std::string(phrase(phrase_link_to)) + node->link_target.str());
        target = session().folder_tree().resolve_link(node);
        if (!target) {
            node->icon_index = node->link_tried ? link_image_base() + 3 + (node->is_folder ? 0 : 1)
                                                : image_unresolved_link;
            node->icon_known = 1;
            return node->icon_index;
        }
        base = link_image_base();
    } else if (!node->is_folder && (node->attributes & 0111)) {
        base = executable_image_base();
    }
    auto set_type = [&](const qxval& text) {
        if (node->type_text.view().empty())
            node->type_text = text;
    };
    int image = image_file;
    const remote_type_map::entry* found = nullptr;
    if (node->is_folder) {
        image = image_folder;
        set_type(qxval(phrase(phrase_folder)));
    } else if ((found = type_of(*node)) || (target && (found = type_of(*target)))) {
        image = found->image;
        set_type(found->type_text);
    } else if (node->name.view().starts_with('.') || (target && target->name.view().starts_with('.'))) {
        image = image_hidden;
        set_type(qxval(phrase(phrase_hidden)));
    } else if (target && target->icon_known) {
        image = target->icon_index;
        if (image >= executable_image_base())
            image -= executable_image_base();
        else if (image >= link_image_base())
            image -= link_image_base();
    }
    node->icon_index = base + image;
    node->icon_known = 1;
    return node->icon_index;
}

void qx_ftp_file_lister::error_text(qxval& out, int code) const
{
    if (code == status_busy || code == status_pane_text) {
        qx_file_lister::error_text(out, code);
        return;
    }
    // The failure as it happened when it is the one kept, else the code's text.
    remote_result failure(code);
    {
        std::lock_guard hold(failure_mutex_);
        if (last_failure_.status == code)
            failure = last_failure_;
    }
    session().error_text(failure, out);
}

int qx_ftp_file_lister::change_folder(const qxval& path, bool relist)
{
    if (!session().logged_in())
        return status_not_connected;
    if (path.view().empty() && current_folder() && !current_folder()->parent)
        return status_ok;
    if (path.view().empty())
        show_banner(phrase_going_up, "");
    else
        show_banner(phrase_changing_to, path.view());
    if (int code = keep_result(session().change_folder(path)))
        return code;
    qxfile_node* folder = session().current_folder();
    if (folder && (take_stale(session().current_path().view()) || relist))
        folder->needs_listing = 1;
    if (folder && folder->needs_listing) {
        show_banner(phrase_listing, folder->name.view());
        if (int code = keep_result(session().list_directory(qxval(""))))
            return code;
    }
    set_current(session().current_folder());
    if (current_folder())
        icon_of(current_folder());
    view_->folder_selected(current_folder());
    refresh_view(true);
    return status_ok;
}

namespace {

std::string_view without_trailing_slash(std::string_view path)
{
    while (path.size() > 1 && path.back() == '/')
        path.remove_suffix(1);
    return path;
}

}  // namespace

void qx_ftp_file_lister::folder_changed(std::string_view folder)
{
    std::lock_guard hold(stale_mutex_);
    stale_folders_.emplace(without_trailing_slash(folder));
}

bool qx_ftp_file_lister::take_stale(std::string_view path)
{
    std::lock_guard hold(stale_mutex_);
    const auto it = stale_folders_.find(without_trailing_slash(path));
    if (it == stale_folders_.end())
        return false;
    stale_folders_.erase(it);
    return true;
}

void qx_ftp_file_lister::queue_busy(bool busy, const qxval& name)
{
    if (busy)
        show_banner(phrase_working_on, name.view());
    else
        show_idle();
}

int qx_ftp_file_lister::enter(qxfile_node* node, bool relist)
{
    if (!node) {
        if (!current_folder() || !current_folder()->parent)
            return status_ok;
        node = current_folder()->parent;
    }
    qxval path;
    path_of(node, path);
    if (!node->is_link())
        return node->is_folder ? change_folder(path, relist) : int(status_ok);
    const int code = change_folder(path, relist);
    // The node survives: only the link's own folder, if any, was listed.
    const qxfile_node* target = session().folder_tree().resolve_link(node);
    node->is_folder = (code == status_ok || (target && target->is_folder)) ? 1 : 0;
    node->link_tried = 1;
    node->icon_known = 0;
    icon_of(node);
    return code;
}

int qx_ftp_file_lister::reload()
{
    if (!session().logged_in())
        return status_not_connected;
    const qxval path = current_path();
    // Every folder is listed afresh when next entered, the current one now;
    // the tree stays, for the queue and the views hold its nodes.
    mark_all_for_listing();
    return change_folder(path.view().empty() ? qxval("/") : path, true);
}

int qx_ftp_file_lister::delete_entries(const std::vector<qxfile_node*>& entries)
{
    if (!session().logged_in())
        return status_not_connected;
    int code = status_ok;
    for (qxfile_node* n : entries) {
        if (abort_flag) {
            code = status_stopped;
            break;
        }
        view_->progress_text_changed(qxval(std::string(phrase(phrase_deleting)) + n->name.str()));
        if (keep_result(session().delete_entry(*n)) != status_ok) {
            code = fail_with(phrase_delete_failed, n->name.view());
            break;
        }
    }
    if (session().logged_in() && current_folder())
        refresh_node(current_folder());
    return code;
}

int qx_ftp_file_lister::make_folder(const qxval& name)
{
    if (!session().logged_in())
        return status_not_connected;
    if (const remote_result result = session().make_folder(name); !result.ok()) {
        // The server's reply says why.
        keep_result(result);
        qxval reason;
        session().error_text(result, reason);
        return fail_with(phrase_mkdir_failed,
                         name.str() + std::string(phrase(phrase_colon)) + std::string(trimmed(reason.view())));
    }
    return refresh_node(current_folder());
}

int qx_ftp_file_lister::move_pairs(const move_files_structure& moves, const move_done_callback& done)
{
    if (!session().logged_in())
        return status_not_connected;
    int code = status_ok;
    for (std::size_t i = 0; i < moves.sources.size() && i < moves.destinations.size(); ++i) {
        if (abort_flag) {
            code = status_stopped;
            break;
        }
        view_->progress_text_changed(qxval(std::string(phrase(phrase_moving)) + moves.sources[i].str()));
        if (keep_result(session().rename(moves.sources[i], moves.destinations[i])) != status_ok) {
            code = fail_move(moves.sources[i], moves.destinations[i]);
            break;
        }
    }
    if (session().logged_in() && done)
        done();
    return code;
}

qxval qx_ftp_file_lister::permission_text(unsigned bits) const
{
    std::string text = "0";
    if (settings_store_.owner_exe_bit_enabled)
        text += char('0' + ((bits >> 9) & 7));
    text += char('0' + ((bits >> 6) & 7));
    text += char('0' + ((bits >> 3) & 7));
    text += char('0' + (bits & 7));
    return qxval(text);
}

int qx_ftp_file_lister::change_permissions(const CHMOD_FILES_STRUCT& change)
{
    if (!session().logged_in())
        return status_not_connected;
    const chmod_request request{change.permission_text, change.file_text, change.targets};
    const chmod_plan kinds{0, 0, change.targets};
    int code = status_ok;
    for (qxfile_node* n : change.entries) {
        if (abort_flag) {
            code = status_stopped;
            break;
        }
        view_->progress_text_changed(n->name);
        if (change.recursive)
            code = keep_result(session().change_mode_entry(*n, request));
        else if (kinds.changes(n->is_folder != 0))
            code = keep_result(session().change_mode(
                n->name, n->is_folder || change.file_text.view().empty() ? change.permission_text : change.file_text));
        if (code != status_ok)
            break;
    }
    if (session().logged_in() && current_folder())
        refresh_node(current_folder());
    return code;
}

bool qx_ftp_file_lister::change_permissions_async(unsigned bits, bool recursive, std::vector<qxfile_node*> entries)
{
    CHMOD_FILES_STRUCT change{std::move(entries), recursive, permission_text(bits)};
    return run_async([this, change = std::move(change)] { return change_permissions(change); }, phrase_chmod_title);
}

bool qx_ftp_file_lister::change_permissions_async(const chmod_plan& plan, bool recursive,
                                                  std::vector<qxfile_node*> entries)
{
    CHMOD_FILES_STRUCT change{std::move(entries), recursive, permission_text(plan.folder_bits),
                              permission_text(plan.file_bits), plan.targets};
    return run_async([this, change = std::move(change)] { return change_permissions(change); }, phrase_chmod_title);
}

int qx_ftp_file_lister::properties_allowed()
{
    // Unix permissions come from Unix listings and from machine listings.
    const int32_t styles = session().listing_styles();
    if (styles != 0 && (styles & ~(listing_unix | listing_machine)) == 0 && session().chmod_supported())
        return status_ok;
    return fail_with(phrase_no_properties, "");
}

}  // namespace qvtf
