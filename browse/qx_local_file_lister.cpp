// The local pane: navigation over the file system from "/", and its file
// operations.
#include "browse/qx_local_file_lister.h"

#include <sys/stat.h>

#include <cerrno>
#include <cstring>
#include <string>
#include <utility>

#include "core/qxfiles.h"
#include "core/qxlocale.h"
#include "net/transport_status.h"
#include "remote/remote_status.h"

namespace qvtf {

namespace {

constexpr int phrase_read_failed = 25;
constexpr int phrase_colon = 38;
constexpr int phrase_delete_failed = 30;
constexpr int phrase_mkdir_failed = 99;
constexpr int phrase_busy = 159;
constexpr int phrase_not_available = 136;
constexpr int phrase_verb_failed = 190;
constexpr int phrase_menu_failed = 191;
constexpr int phrase_folder = 22;
constexpr int phrase_file_of_type = 963;

}  // namespace

namespace {

// The user's collation; folded first when case is not to count (the C
// locale's collation is byte order, where every capital comes first).
int collate(std::string_view a, std::string_view b, const void* nocase)
{
    std::string x(a), y(b);
    if (nocase)
        for (std::string* s : {&x, &y})
            for (char& c : *s)
                c = (c >= 'A' && c <= 'Z') ? char(c - 'A' + 'a') : c;
    return strcoll_l(x.c_str(), y.c_str(), user_locale_facts().locale);
}

}  // namespace

int local_file_tree::compare_names(std::string_view a, std::string_view b, bool nocase) const
{
    static const char folded = 0;
    return compare_natural(a, b, &collate, nocase ? &folded : nullptr);
}

qx_local_file_lister::qx_local_file_lister(global_ftp_settings& settings, const qxlang* language, qx_lister_view* view,
                                           local_file_platform* platform)
    : qx_file_lister(local_tree, language, view), settings_store_(settings),
      platform_(platform ? platform : &own_platform_)
{
    bind_settings(pane_settings::local(settings));
    reset();
}

qx_local_file_lister::~qx_local_file_lister()
{
    stop_background_refreshes();
    wait_for_operations();
    stop_watching();
}

void qx_local_file_lister::error_text(qxval& out, int code) const
{
    int number = 0;
    switch (code) {
    case status_busy: number = phrase_busy; break;
    case 6201:
    case 6202:
    case 6204:
    case 6300:
    case 6301: number = phrase_not_available; break;
    case 6206:
    case 6207: number = phrase_verb_failed; break;
    case 6208: number = phrase_menu_failed; break;
    case status_pane_text: qx_file_lister::error_text(out, code); return;
    default: break;
    }
    out.set_bytes(number ? phrase(number) : std::string_view());
}

void qx_local_file_lister::reset()
{
    view_->tree_cleared();
    set_current(nullptr);
    tree_->clear();
    auto* root = new qxfile_node;
    root->name.set_string("/");
    root->is_folder = 1;
    root->attributes = 0755;
    tree_->append_top(root);
    set_current(root);
}

int qx_local_file_lister::list(qxfile_node* folder)
{
    qxval path;
    path_of(folder, path);
    qxfile_node staging;  // read outside the tree, swapped in at once
    const bool listed = list_folder(path, *tree_, &staging, true, qxval("*"));
    const int reason = listed ? 0 : errno;
    if (!listed)
        qxe_tree<qxfile_node>::free_chain(std::exchange(staging.first_child, nullptr));
    tree_->adopt_children(folder, staging);  // a folder that cannot be read shows empty
    if (!listed) {
        qxfile_tree::reader hold(*tree_);
        folder->needs_listing = 1;
    }
    view_->folder_listed(folder);
    if (!listed)
        return fail_with(phrase_read_failed,
                         path.str() + std::string(phrase(phrase_colon)) + system_error_text(reason));
    return status_ok;
}

int qx_local_file_lister::change_to(const std::string& path)
{
    qxfile_node* node = tree_->root;
    std::size_t pos = 1;
    while (pos < path.size()) {
        std::size_t slash = path.find('/', pos);
        if (slash == std::string::npos)
            slash = path.size();
        const std::string_view part = std::string_view(path).substr(pos, slash - pos);
        pos = slash + 1;
        if (node->needs_listing)
            if (int code = list(node))
                return code;
        qxfile_node* child = node->first_child;
        while (child && !(child->is_folder && child->name.view() == part))
            child = child->next;
        if (!child)
            return local_missing;
        node = child;
    }
    // The target is always listed afresh.
    if (int code = list(node))
        return code;
    set_current(node);
    refresh_view(true);
    view_->folder_selected(node);
    if (watching_)
        restart_watcher(path);
    return status_ok;
}

int qx_local_file_lister::change_folder(const qxval& path, bool relist)
{
    (void)relist;
    const std::string absolute = absolute_local_path(path.str());
    if (absolute.empty())
        return local_no_root;
    return change_to(absolute);
}

int qx_local_file_lister::enter(qxfile_node* node, bool relist)
{
    (void)relist;
    if (!node)
        node = current_folder() ? current_folder()->parent : nullptr;
    if (!node || !node->is_folder)
        return status_ok;
    qxval path;
    path_of(node, path);
    return change_to(path.str());
}

int qx_local_file_lister::reload()
{
    const qxval path = current_path();
    // The entries that survive keep their nodes: the queue's item builder
    // and the views may hold them while the folders are read again.
    if (tree_->root)
        mark_all_for_listing();
    else
        reset();
    return change_to(path.view().empty() ? std::string("/") : path.str());
}

int qx_local_file_lister::open(qxfile_node* node)
{
    if (!node || node->is_folder)
        return enter(node, true);
    qxval path;
    path_of(node, path);
    return platform_->run_verb(path.str(), "open") ? status_ok : int(local_verb_failed);
}

int qx_local_file_lister::move_pairs(const move_files_structure& moves, const move_done_callback& done)
{
    int code = status_ok;
    std::size_t moved = 0;
    for (std::size_t i = 0; i < moves.sources.size() && i < moves.destinations.size(); ++i) {
        if (abort_flag) {
            code = status_stopped;
            break;
        }
        view_->progress_text_changed(moves.sources[i]);
        if (!move_path(moves.sources[i].str(), moves.destinations[i].str())) {
            code = fail_move(moves.sources[i], moves.destinations[i]);
            break;
        }
        ++moved;
    }
    if (moved && done)
        done();
    set_changed();
    return code;
}

int qx_local_file_lister::delete_entries(const std::vector<qxfile_node*>& entries)
{
    std::vector<std::string> paths;
    for (qxfile_node* n : entries) {
        qxval path;
        path_of(n, path);
        paths.push_back(path.str());
    }
    const int failed = platform_->remove(paths, settings_store_.local_delete_to_recycler);
    set_changed();
    if (failed >= 0 && std::size_t(failed) < entries.size())
        return fail_with(phrase_delete_failed, entries[std::size_t(failed)]->name.view());
    return status_ok;
}

int qx_local_file_lister::make_folder(const qxval& name)
{
    std::string path = name.str();
    if (!path.starts_with('/')) {
        std::string base = current_path().str();
        while (!base.empty() && base.back() == '/')
            base.pop_back();
        path = base + "/" + path;
    }
    if (::mkdir(path.c_str(), 0777) != 0)
        return fail_with(phrase_mkdir_failed,
                         name.str() + std::string(phrase(phrase_colon)) + system_error_text(errno));
    set_changed();
    return status_ok;
}

int qx_local_file_lister::change_permissions(const std::vector<qxfile_node*>& entries, unsigned bits, bool recursive)
{
    return change_permissions(entries, chmod_plan::same(bits), recursive);
}

int qx_local_file_lister::change_permissions(const std::vector<qxfile_node*>& entries, const chmod_plan& plan,
                                             bool recursive)
{
    for (qxfile_node* n : entries) {
        qxval path;
        path_of(n, path);
        if (!change_mode_path(path.str(), plan, recursive && n->is_folder && !n->is_link())) {
            set_changed();
            return fail_with(phrase_not_available, std::string(" ") + n->name.str());
        }
    }
    set_changed();
    return status_ok;
}

int qx_local_file_lister::icon_of(qxfile_node* node)
{
    if (!node)
        return -1;
    qxfile_tree::reader hold(*tree_);
    if (!node->icon_known) {
        qxval path;
        path_of(node, path);
        std::string type = platform_->type_name(path.str(), node->is_folder != 0);
        if (type.empty() && node->is_folder) {
            type = phrase(phrase_folder);
        } else if (type.empty() && node->extension.view().size() > 1) {
            for (char c : node->extension.view().substr(1))
                type += char(c >= 'a' && c <= 'z' ? c - 'a' + 'A' : c);
            type += phrase(phrase_file_of_type);
        }
        node->type_text.set_bytes(type);
        // The remote pane's image numbers: 3 folder, 4 file.
        node->icon_index = node->is_folder ? 3 : 4;
        node->icon_known = 1;
    }
    return node->icon_index;
}

void qx_local_file_lister::save_settings()
{
    qx_file_lister::save_settings();
    const qxval path = current_path();
    if (!path.view().empty())
        settings_store_.last_used_local_folder = path.str();
}

}  // namespace qvtf
