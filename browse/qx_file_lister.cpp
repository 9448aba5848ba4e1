// Rows, sorting, columns and the status line of a pane.
#include "browse/qx_file_lister.h"

#include <algorithm>
#include <string>

#include "browse/listing_parser.h"
#include "core/qxlocale.h"
#include "core/qxtime.h"
#include "markup/qxlang.h"

namespace qvtf {

namespace {

qx_lister_view& silent_view()
{
    static qx_lister_view view;
    return view;
}

// The sort key a column gives, or -1 for a column that does not sort.
int key_of_column(int kind, bool case_insensitive)
{
    switch (kind) {
    case column_name: return case_insensitive ? SORT_NAME_NOCASE : SORT_NAME;
    case column_type: return case_insensitive ? SORT_EXTENSION_NOCASE : SORT_EXTENSION;
    case column_size: return SORT_SIZE;
    case column_modified: return SORT_MODIFIED;
    default: return -1;
    }
}

int column_of_key(int key)
{
    switch (key) {
    case SORT_NAME:
    case SORT_NAME_NOCASE: return column_name;
    case SORT_EXTENSION:
    case SORT_EXTENSION_NOCASE: return column_type;
    case SORT_SIZE: return column_size;
    case SORT_MODIFIED: return column_modified;
    default: return -1;
    }
}

qxval grouped(uint64_t number)
{
    return qxval(format_number_text(std::to_string(number), make_integer_format()));
}

}  // namespace

qx_file_lister::qx_file_lister(qxfile_tree& tree, const qxlang* language, qx_lister_view* view)
    : tree_(&tree), language_(language), view_(view ? view : &silent_view()),
      columns_(columns_from_triples(global_ftp_values::default_columns()))
{
    filter_.set_pane_masks(qxval("*"), qxval(""));
}

qx_file_lister::~qx_file_lister()
{
    tasks_.wait_idle();
}

std::string_view qx_file_lister::phrase(int number) const
{
    return language_ ? language_->text(number) : std::string_view();
}

bool qx_file_lister::is_selectable(const qxfile_node* node) const
{
    return node != nullptr;
}

int qx_file_lister::icon_of(qxfile_node* node)
{
    return node && node->icon_known ? node->icon_index : -1;
}

void qx_file_lister::path_of(const qxfile_node* node, qxval& out) const
{
    std::vector<std::string_view> parts;
    for (const qxfile_node* n = node; n && n->parent; n = n->parent)
        parts.push_back(n->name.view());
    std::string path;
    for (auto it = parts.rbegin(); it != parts.rend(); ++it) {
        path += '/';
        path += *it;
    }
    out.set_bytes(path.empty() ? std::string("/") : path);
}

qxfile_node* qx_file_lister::find_path(std::string_view path) const
{
    qxfile_tree::reader hold(*tree_);
    qxfile_node* node = tree_->root;
    std::size_t pos = 0;
    while (node && pos < path.size()) {
        std::size_t slash = path.find('/', pos);
        if (slash == std::string_view::npos)
            slash = path.size();
        const std::string_view part = path.substr(pos, slash - pos);
        pos = slash + 1;
        if (part.empty())
            continue;
        qxfile_node* child = node->first_child;
        while (child && !(child->is_folder && child->name.view() == part))
            child = child->next;
        node = child;
    }
    return node;
}

void qx_file_lister::mark_all_for_listing()
{
    qxfile_tree::reader hold(*tree_);
    std::vector<qxfile_node*> folders;
    for (qxfile_node* top = tree_->root; top; top = top->next)
        folders.push_back(top);
    while (!folders.empty()) {
        qxfile_node* folder = folders.back();
        folders.pop_back();
        folder->needs_listing = 1;
        for (qxfile_node* c = folder->first_child; c; c = c->next)
            if (c->is_folder && c->first_child)
                folders.push_back(c);
    }
}

bool qx_file_lister::is_ancestor(const qxfile_node* maybe, const qxfile_node* node)
{
    for (const qxfile_node* n = node ? node->parent : nullptr; n; n = n->parent)
        if (n == maybe)
            return true;
    return false;
}

void qx_file_lister::set_current(qxfile_node* node)
{
    current_ = node;
    qxval path;
    if (node)
        path_of(node, path);
    std::lock_guard lock(state_mutex_);
    current_path_ = path;
}

qxval qx_file_lister::current_path() const
{
    std::lock_guard lock(state_mutex_);
    return current_path_;
}

void qx_file_lister::sort_rows()
{
    if (!current_)
        return;
    qxfile_tree::reader hold(*tree_);
    tree_->sort_key = settings_.sort ? *settings_.sort : -1;
    tree_->sort_siblings(current_->first_child);
    if (settings_.invert && *settings_.invert)
        tree_->reverse_siblings(current_->first_child);
}

void qx_file_lister::rebuild_rows()
{
    before_rows_rebuilt();
    std::vector<qxfile_node*> rows;
    qxfile_tree::reader hold(*tree_);
    const std::uint64_t generation = tree_->generation();
    if (current_) {
        {
            std::lock_guard lock(filter_mutex_);
            filter_.pass(*tree_, current_);
        }
        sort_rows();
        if (current_->parent)
            rows.push_back(nullptr);
        for (qxfile_node* n = current_->first_child; n; n = n->next)
            if (n->shown)
                rows.push_back(n);
    }
    std::lock_guard lock(state_mutex_);
    rows_.swap(rows);
    rows_generation_ = generation;
}

int32_t qx_file_lister::row_count() const
{
    std::lock_guard lock(state_mutex_);
    return int32_t(rows_.size());
}

qxfile_node* qx_file_lister::row_node(int32_t row) const
{
    std::lock_guard lock(state_mutex_);
    // Rows taken before a listing replaced entries may name freed nodes.
    if (rows_generation_ != tree_->generation())
        return nullptr;
    return row >= 0 && std::size_t(row) < rows_.size() ? rows_[std::size_t(row)] : nullptr;
}

void qx_file_lister::refresh_view(bool select_first)
{
    rebuild_rows();
    view_->item_count_changed(row_count());
    if (select_first || view_->selected_rows().size() > 1)
        view_->first_row_selected();
    view_->toolbar_changed(current_ && current_->parent, is_ready());
    update_sort_indicator();
    update_status();
    view_->rows_redrawn();
}

qxval qx_file_lister::column_text(const qxfile_node& node, int kind) const
{
    switch (kind) {
    case column_name: return node.name;
    case column_size:
        if (node.is_folder && !folder_sizes_shown())
            return qxval("");
        return grouped(node.size());
    case column_modified: {
        const std::time_t local = utc_to_local(node.modified);
        std::string text(format_date(local).view());
        text += ' ';
        // Seconds only where the listing gave them: a rounded time would
        // show a precision it does not have.
        text += format_time(local, node.time_exact ? 0 : TIME_NOSECONDS).view();
        return qxval(text);
    }
    case column_attributes: return format_permissions(node.attributes, node.is_folder != 0);
    case column_type: return node.type_text;
    default: return qxval("");
    }
}

qxval qx_file_lister::row_text(int32_t row, int kind) const
{
    qxfile_tree::reader hold(*tree_);
    const qxfile_node* node = row_node(row);
    if (!node)
        return qxval(row == 0 && kind == column_name && row_count() > 0 ? ".." : "");
    return column_text(*node, kind);
}

std::vector<qxfile_node*> qx_file_lister::selected_nodes()
{
    std::vector<qxfile_node*> out;
    for (int32_t row : view_->selected_rows()) {
        qxfile_node* node = row_node(row);
        if (node && is_selectable(node))
            out.push_back(node);
        else
            view_->row_deselected(row);
    }
    return out;
}

void qx_file_lister::update_status()
{
    if (!current_) {
        view_->status_text_changed(qxval(""));
        return;
    }
    const std::vector<int32_t> selected = view_->selected_rows();
    qxfile_tree::reader hold(*tree_);
    uint64_t count = 0;
    uint64_t bytes = 0;
    auto add = [&](const qxfile_node* n) {
        ++count;
        bytes += n->size();
    };
    if (!selected.empty()) {
        for (int32_t row : selected)
            if (const qxfile_node* n = row_node(row))
                add(n);
    } else {
        std::lock_guard lock(state_mutex_);
        if (rows_generation_ == tree_->generation())
            for (const qxfile_node* n : rows_)
                if (n)
                    add(n);
    }
    std::string text(phrase(selected.empty() ? 142 : 143));
    text += grouped(count).view();
    text += phrase(144);
    text += grouped(bytes).view();
    view_->status_text_changed(qxval(text));
}

bool qx_file_lister::filter_active() const
{
    const pane_settings& s = settings_;
    return (s.time_filter && *s.time_filter) || (s.size_filter && *s.size_filter) ||
           (s.files_skip && !s.files_skip->empty()) || (s.files_include && *s.files_include != "*");
}

void qx_file_lister::update_filter_indicator()
{
    const bool on = filter_active();
    view_->filter_indicator_changed(on ? 14 : 11, on ? 198 : 145);
}

std::vector<lister_column> qx_file_lister::columns() const
{
    std::lock_guard lock(state_mutex_);
    return columns_;
}

int qx_file_lister::column_at(int display_index) const
{
    std::lock_guard lock(state_mutex_);
    int i = 0;
    for (const lister_column& c : columns_)
        if (c.visible && i++ == display_index)
            return c.kind;
    return -1;
}

void qx_file_lister::column_clicked(int display_index)
{
    const bool nocase = settings_.case_insensitive && *settings_.case_insensitive;
    const int key = key_of_column(column_at(display_index), nocase);
    if (key < 0 || !settings_.sort || !settings_.invert)
        return;
    if (key == *settings_.sort) {
        *settings_.invert = !*settings_.invert;
    } else {
        *settings_.sort = key;
        *settings_.invert = false;
    }
    refresh_view(false);
}

void qx_file_lister::update_sort_indicator()
{
    const int kind = column_of_key(settings_.sort ? *settings_.sort : -1);
    int display = -1;
    {
        std::lock_guard lock(state_mutex_);
        int i = 0;
        for (const lister_column& c : columns_) {
            if (!c.visible)
                continue;
            if (c.kind == kind)
                display = i;
            ++i;
        }
    }
    const bool inverted = settings_.invert && *settings_.invert;
    view_->sort_indicator_changed(display, display < 0 ? -1 : inverted ? 0 : 1);
}

void qx_file_lister::set_column_width(int kind, int32_t width)
{
    std::lock_guard lock(state_mutex_);
    for (lister_column& c : columns_)
        if (c.kind == kind)
            c.width = std::max(width, column_min_width);
}

void qx_file_lister::set_column_visible(int kind, bool visible)
{
    std::lock_guard lock(state_mutex_);
    for (lister_column& c : columns_)
        if (c.kind == kind)
            c.visible = visible;
}

void qx_file_lister::move_column(int from_display, int to_display)
{
    std::lock_guard lock(state_mutex_);
    std::vector<std::size_t> shown;
    for (std::size_t i = 0; i < columns_.size(); ++i)
        if (columns_[i].visible)
            shown.push_back(i);
    if (from_display < 0 || to_display < 0 || std::size_t(from_display) >= shown.size() ||
        std::size_t(to_display) >= shown.size())
        return;
    const lister_column moved = columns_[shown[std::size_t(from_display)]];
    columns_.erase(columns_.begin() + std::ptrdiff_t(shown[std::size_t(from_display)]));
    shown.clear();
    for (std::size_t i = 0; i < columns_.size(); ++i)
        if (columns_[i].visible)
            shown.push_back(i);
    const std::size_t at = std::size_t(to_display) < shown.size() ? shown[std::size_t(to_display)]
                                                                  : (shown.empty() ? 0 : shown.back() + 1);
    columns_.insert(columns_.begin() + std::ptrdiff_t(at), moved);
}

void qx_file_lister::bind_settings(const pane_settings& settings)
{
    settings_ = settings;
    // The layout is read once; later loads only recompile the filter, so a
    // changed setting does not undo the user's column widths.
    if (settings_.columns) {
        std::lock_guard lock(state_mutex_);
        columns_ = columns_from_triples(*settings_.columns);
    }
    if (settings_.folder_pane_width)
        folder_pane_width = *settings_.folder_pane_width;
    if (settings_.folder_pane_visible)
        folder_pane_visible = *settings_.folder_pane_visible;
    load_settings();
}

void qx_file_lister::load_settings()
{
    const pane_settings& s = settings_;
    {
        std::lock_guard lock(filter_mutex_);
        filter_.set_pane_masks(qxval(s.files_include ? *s.files_include : std::string("*")),
                               qxval(s.files_skip ? *s.files_skip : std::string()));
        filter_.time_filter = s.time_filter && *s.time_filter;
        filter_.time_start = s.time_start ? *s.time_start : 0;
        filter_.time_end = s.time_end ? *s.time_end : 0;
        filter_.size_filter = s.size_filter && *s.size_filter;
        // The settings keep the low words of the limits.
        filter_.size_minimum = s.size_start ? uint32_t(*s.size_start) : 0;
        filter_.size_maximum = s.size_end ? uint32_t(*s.size_end) : 0;
    }
    update_filter_indicator();
}

void qx_file_lister::save_settings()
{
    const pane_settings& s = settings_;
    if (s.columns) {
        std::lock_guard lock(state_mutex_);
        *s.columns = triples_from_columns(columns_);
    }
    if (s.folder_pane_width)
        *s.folder_pane_width = folder_pane_width;
    if (s.folder_pane_visible)
        *s.folder_pane_visible = folder_pane_visible;
}

void qx_file_lister::set_filter(const qxval& include, const qxval& skip, bool time_on, int32_t time_start,
                                int32_t time_end, bool size_on, int32_t size_minimum, int32_t size_maximum)
{
    const pane_settings& s = settings_;
    if (s.files_include)
        *s.files_include = include.str();
    if (s.files_skip)
        *s.files_skip = skip.str();
    if (s.time_filter)
        *s.time_filter = time_on;
    if (s.time_start)
        *s.time_start = time_start;
    if (s.time_end)
        *s.time_end = time_end;
    if (s.size_filter)
        *s.size_filter = size_on;
    if (s.size_start)
        *s.size_start = size_minimum;
    if (s.size_end)
        *s.size_end = size_maximum;
    load_settings();
}

bool qx_file_lister::filter_shows(const qxfile_node& node) const
{
    std::lock_guard lock(filter_mutex_);
    return filter_.shows(node);
}

}  // namespace qvtf
