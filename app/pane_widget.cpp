#include "app/pane_widget.h"

#include <QAction>
#include <QHeaderView>
#include <QItemSelectionModel>
#include <QLabel>
#include <QMenu>
#include <QMessageBox>
#include <QResizeEvent>
#include <QSplitter>
#include <QTimer>
#include <QToolBar>
#include <QToolButton>
#include <QVBoxLayout>
#include <algorithm>

#include "app/node_mime.h"
#include "app/pane_path_field.h"
#include "app/pane_view.h"
#include "app/prompts.h"
#include "app/prompts_messages.h"
#include "app/qt_text.h"
#include "browse/lister_settings.h"
#include "browse/qx_ftp_file_lister.h"
#include "markup/qxlang.h"
#include "queue/ftp_queue_process_manager.h"

namespace {

constexpr int phrase_error_caption = 12;
constexpr int phrase_ready = 251;
constexpr int phrase_filter_off = 145;
constexpr int phrase_filter_on = 198;
constexpr int filter_image_on = 14;
// The folder tree's part of a pane the user has not sized: a share of the
// width, within bounds. The stored width is pixels; its default (150) is
// taken as "not sized".
constexpr int tree_width_default = 150;
constexpr double tree_share = 0.3;
constexpr int tree_min_width = 80;
constexpr double tree_max_share = 0.6;

}  // namespace

pane_widget::pane_widget(bool remote, const qvtf::qxlang* language, QWidget* parent)
    : QWidget(parent), remote_(remote), language_(language), model_(new file_list_model(this)),
      folders_(new folder_tree_model(this))
{
    setObjectName(remote ? "RemoteBrowserPanel" : "LocalBrowserPanel");

    auto* title_bar = new QWidget(this);
    title_bar->setObjectName("title_bar");
    title_bar->setAutoFillBackground(true);
    QPalette title_palette = title_bar->palette();
    title_palette.setColor(QPalette::Window, title_palette.color(QPalette::Highlight));
    title_palette.setColor(QPalette::WindowText, title_palette.color(QPalette::HighlightedText));
    title_bar->setPalette(title_palette);
    title_ = new QLabel(title_bar);
    title_->setObjectName("title");
    QFont bold = title_->font();
    bold.setBold(true);
    title_->setFont(bold);
    title_->setTextFormat(Qt::PlainText);
    title_->setMinimumWidth(40);
    if (remote)
        title_->setText(phrase(196, "Not connected"));
    banner_ = new QLabel(phrase(phrase_ready, "Ready"), title_bar);
    banner_->setObjectName("banner");
    banner_->setTextFormat(Qt::PlainText);
    banner_->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    lock_ = new QLabel(title_bar);
    lock_->setObjectName("lock");
    // No taller than the title's text, so the bar keeps its height.
    const int lock_side = std::min(16, title_->fontMetrics().height());
    lock_->setPixmap(icons_.named(QStringLiteral("lock.png")).pixmap(lock_side, lock_side));
    lock_->setFixedSize(lock_side, lock_side);
    lock_->hide();
    auto* title_layout = new QHBoxLayout(title_bar);
    title_layout->setContentsMargins(6, 2, 6, 2);
    title_layout->addWidget(lock_);
    title_layout->addWidget(title_, 1);
    title_layout->addWidget(banner_);

    toolbar_ = new QToolBar(this);
    toolbar_->setObjectName("toolbar");
    toolbar_->setIconSize(QSize(16, 16));

    splitter_ = new QSplitter(Qt::Horizontal, this);
    splitter_->setObjectName("splitter");
    tree_ = new pane_tree_view(splitter_);
    tree_->setObjectName("folders");
    tree_->setModel(folders_);
    tree_->setHeaderHidden(true);
    tree_->setSelectionMode(QAbstractItemView::SingleSelection);
    // Long names scroll sideways instead of being cut short.
    tree_->header()->setSectionResizeMode(0, QHeaderView::ResizeToContents);
    tree_->header()->setStretchLastSection(false);
    list_ = new pane_list_view(splitter_);
    list_->setObjectName("files");
    list_->setModel(model_);
    list_->setSelectionBehavior(QAbstractItemView::SelectRows);
    list_->setSelectionMode(QAbstractItemView::ExtendedSelection);
    list_->setEditTriggers(QAbstractItemView::NoEditTriggers);
    list_->setShowGrid(false);
    list_->setWordWrap(false);
    list_->setContextMenuPolicy(Qt::CustomContextMenu);
    list_->verticalHeader()->hide();
    list_->verticalHeader()->setDefaultSectionSize(list_->fontMetrics().height() + 4);
    list_->setIconSize(QSize(16, 16));
    QHeaderView* header = list_->horizontalHeader();
    header->setSectionsMovable(true);
    header->setSectionsClickable(true);
    header->setHighlightSections(false);
    header->setMinimumSectionSize(qvtf::column_min_width);
    header->setContextMenuPolicy(Qt::CustomContextMenu);
    header->setStretchLastSection(false);
    splitter_->addWidget(tree_);
    splitter_->addWidget(list_);
    // Both sides grow with the window, the tree by a third of what the list gets.
    splitter_->setStretchFactor(0, 1);
    splitter_->setStretchFactor(1, 2);
    splitter_->setSizes({150, 400});

    status_ = new QLabel(this);
    status_->setObjectName("status");
    status_->setTextFormat(Qt::PlainText);
    status_->setContentsMargins(4, 1, 4, 1);

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->addWidget(title_bar);
    layout->addWidget(toolbar_);
    layout->addWidget(splitter_, 1);
    layout->addWidget(status_);

    progress_ = new qx_notification_pop_up(language_, this);
    progress_->setObjectName("progress");
    progress_->set_cancel_callback(
        [this](void*) {
            if (qvtf::qx_file_lister* l = lister())
                l->abort_operation();
        },
        nullptr);
    folder_prompt_ = new qx_edit_prompt(language_, this);
    folder_prompt_->setObjectName("folder_prompt");

    build_actions();
    path_ = new pane_path_field(folders_, toolbar_);
    path_->setMinimumWidth(120);
    path_->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
    toolbar_->addWidget(path_);
    connect(path_, &pane_path_field::folder_entered, this, &pane_widget::enter_typed_folder);

    // ---- the lister, through the model ----
    model_->icon_for = [this](qvtf::qxfile_node& node) { return icon_of(node); };
    model_->drag_data = [this](const QModelIndexList&) { return drag_of_rows(); };
    model_->question_handler = [this](int caption, const QString& text) { return ask(caption, text); };
    folders_->icon_for = [this](bool listed, bool current) {
        if (!remote_)
            return icons_.local_folder();
        return current ? icons_.named("folder_open.png") : icons_.folder(listed);
    };
    connect(model_, &file_list_model::attached, this, &pane_widget::attach_lister);
    connect(model_, &file_list_model::title_text, this, &pane_widget::on_title);
    connect(model_, &file_list_model::status_text, status_, &QLabel::setText);
    connect(model_, &file_list_model::banner, this, &pane_widget::on_banner);
    connect(model_, &file_list_model::error, this, &pane_widget::on_error);
    connect(model_, &file_list_model::progress_open, this, &pane_widget::on_progress_open);
    connect(model_, &file_list_model::progress_text, progress_, &qx_notification_pop_up::set_status_text);
    connect(model_, &file_list_model::progress_close, progress_, &qx_notification_pop_up::close_pop_up);
    connect(model_, &file_list_model::folders_changed, this, &pane_widget::on_folders_changed);
    connect(model_, &file_list_model::sort_indicator, this, &pane_widget::on_sort_indicator);
    connect(model_, &file_list_model::filter_indicator, this, &pane_widget::on_filter_indicator);
    connect(model_, &file_list_model::rename_requested, this, &pane_widget::on_rename);
    connect(model_, &file_list_model::toolbar_state, this,
            [this](bool up_enabled, bool) { actions_.value(cmd_up)->setEnabled(up_enabled); });
    connect(model_, &file_list_model::select_first_row, this, [this] {
        if (model_->rowCount() == 0 || restore_selection())
            return;
        const QModelIndex first = model_->index(0, 0);
        list_->selectionModel()->setCurrentIndex(first,
                                                 QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
        list_->scrollTo(first);
    });
    connect(model_, &file_list_model::deselect_row, this, [this](int row) {
        if (row >= 0 && row < model_->rowCount())
            list_->selectionModel()->select(model_->index(row, 0),
                                            QItemSelectionModel::Deselect | QItemSelectionModel::Rows);
    });
    connect(model_, &QAbstractItemModel::modelReset, this, &pane_widget::apply_columns);
    // A reset clears the view's selection silently; rows that stayed may now
    // hold other entries. Either way the kept names are selected again.
    connect(model_, &file_list_model::rows_reloaded, this, &pane_widget::restore_selection);
    // A renamed entry stays selected under its new name.
    connect(model_, &file_list_model::rename_requested, this,
            [this](int, const QString& name) { kept_names_ = {name}; });

    // ---- the widgets' own signals ----
    connect(list_->selectionModel(), &QItemSelectionModel::selectionChanged, this, &pane_widget::selection_changed);
    connect(list_, &QAbstractItemView::doubleClicked, this,
            [this](const QModelIndex& index) { open_row(index.row()); });
    connect(list_, &QWidget::customContextMenuRequested, this, &pane_widget::show_list_menu);
    connect(header, &QWidget::customContextMenuRequested, this, &pane_widget::show_header_menu);
    connect(header, &QHeaderView::sectionClicked, this, [this](int logical) {
        qvtf::qx_file_lister* l = lister();
        if (!l)
            return;
        const int display = list_->horizontalHeader()->visualIndex(logical);
        l->run_async([l, display] {
            l->column_clicked(display);
            return 0;
        });
        // The header flips its arrow by itself; put back the lister's until it answers.
        on_sort_indicator(sort_column_, sort_image_);
    });
    connect(header, &QHeaderView::sectionResized, this, [this](int logical, int, int width) {
        if (applying_columns_ || !lister())
            return;
        lister()->set_column_width(model_->kind_at(logical), width);
    });
    connect(header, &QHeaderView::sectionMoved, this, [this](int, int from, int to) {
        if (applying_columns_ || !lister())
            return;
        lister()->move_column(from, to);
        // The model takes the lister's order; the header's own mapping is undone by the reset.
        QTimer::singleShot(0, this, &pane_widget::columns_changed);
    });
    connect(tree_, &QAbstractItemView::clicked, this, [this](const QModelIndex& index) {
        qvtf::qx_file_lister* l = lister();
        const QString path = folders_->path_of(index);
        if (!l || path.isEmpty() || path == to_qt(l->current_path()))
            return;
        const qvtf::qxval target(path.toStdString());
        l->run_async([l, target] { return l->change_folder(target, true); });
    });
    connect(tree_, &QTreeView::expanded, this, [this](const QModelIndex& index) {
        qvtf::qx_file_lister* l = lister();
        if (syncing_tree_ || !l || folders_->is_listed(index))
            return;
        // A folder's subfolders are known once it is listed, which makes it current.
        const qvtf::qxval target(folders_->path_of(index).toStdString());
        l->run_async([l, target] { return l->change_folder(target, true); });
    });
    connect(splitter_, &QSplitter::splitterMoved, this, [this] {
        tree_width_moved_ = true;
        if (lister() && tree_->isVisible())
            lister()->folder_pane_width = splitter_->sizes().value(0);
    });
    list_->drop_handler = [this](const node_mime_data& dropped, const QPoint& at) {
        const QModelIndex index = list_->indexAt(at);
        qvtf::qxfile_node* target = nullptr;
        if (lister() && index.isValid()) {
            qvtf::qxfile_tree::reader hold(lister()->tree());
            qvtf::qxfile_node* node = model_->node_at(index.row());
            if (node && node->is_folder)
                target = node;
        }
        drop_nodes(dropped, target);
    };
    tree_->drop_handler = [this](const node_mime_data& dropped, const QPoint& at) {
        const QModelIndex index = tree_->indexAt(at);
        drop_nodes(dropped, index.isValid() ? node_at_path(folders_->path_of(index)) : nullptr);
    };
    tree_->drag_data = [this] { return drag_of_tree(); };
}

pane_widget::~pane_widget()
{
    // The lister may outlive the widgets for a moment; it must not call into them.
    model_->question_handler = nullptr;
    model_->icon_for = nullptr;
}

QString pane_widget::phrase(int number, const char* fallback) const
{
    return phrase_text(language_, number, fallback);
}

void pane_widget::attach_lister()
{
    folders_->attach(lister());
    qvtf::qx_file_lister* l = lister();
    if (!l)
        return;
    tree_width_moved_ = false;
    set_folders_visible(l->folder_pane_visible);
    apply_tree_width();
    apply_columns();
    l->update_filter_indicator();
    l->update_sort_indicator();
    l->update_status();
    actions_.value(cmd_up)->setEnabled(l->current_folder() && l->current_folder()->parent);
    on_folders_changed(to_qt(l->current_path()));
}

void pane_widget::resizeEvent(QResizeEvent* event)
{
    QWidget::resizeEvent(event);
    if (!tree_width_moved_)
        apply_tree_width();
}

void pane_widget::apply_tree_width()
{
    const int total = splitter_->width();
    if (total <= 0)
        return;
    const int stored = lister() ? lister()->folder_pane_width : tree_width_default;
    int tree = stored == tree_width_default ? int(total * tree_share) : stored;
    tree = std::clamp(tree, std::min(tree_min_width, total / 2), std::max(int(total * tree_max_share), 1));
    splitter_->setSizes({tree, std::max(total - tree - splitter_->handleWidth(), 1)});
}

void pane_widget::set_folders_visible(bool visible)
{
    tree_->setVisible(visible);
    if (folders_action_)
        folders_action_->setChecked(visible);
    if (lister())
        lister()->folder_pane_visible = visible;
}

bool pane_widget::folders_visible() const
{
    return !tree_->isHidden();
}

// ---- columns ----

void pane_widget::columns_changed()
{
    model_->reload();
    apply_columns();
}

void pane_widget::apply_columns()
{
    qvtf::qx_file_lister* l = lister();
    if (!l)
        return;
    applying_columns_ = true;
    QHeaderView* header = list_->horizontalHeader();
    // The model holds the lister's order; a section the user dragged goes back
    // to its place, as the model now has it there already.
    for (int i = 0; i < header->count(); ++i)
        if (header->visualIndex(i) != i)
            header->moveSection(header->visualIndex(i), i);
    for (const qvtf::lister_column& c : l->columns()) {
        const int column = model_->column_of(c.kind);
        if (column >= 0)
            header->resizeSection(column, std::max(c.width, qvtf::column_min_width));
    }
    applying_columns_ = false;
    on_sort_indicator(sort_column_, sort_image_);
}

void pane_widget::on_sort_indicator(int column, int image)
{
    sort_column_ = column;
    sort_image_ = image;
    QHeaderView* header = list_->horizontalHeader();
    header->setSortIndicatorShown(column >= 0);
    if (column >= 0)
        header->setSortIndicator(column, image == 0 ? Qt::DescendingOrder : Qt::AscendingOrder);
}

void pane_widget::show_header_menu(const QPoint& at)
{
    qvtf::qx_file_lister* l = lister();
    if (!l)
        return;
    QMenu menu(this);
    menu.setObjectName("right_header_menu");
    const std::vector<qvtf::lister_column> columns = l->columns();
    int shown = 0;
    for (const qvtf::lister_column& c : columns)
        shown += c.visible ? 1 : 0;
    for (int kind = 0; kind < qvtf::column_kind_count; ++kind) {
        bool visible = false;
        for (const qvtf::lister_column& c : columns)
            if (c.kind == kind)
                visible = c.visible;
        QAction* item = menu.addAction(phrase(qvtf::column_phrase_of(kind), qvtf::column_name_of(kind)));
        item->setCheckable(true);
        item->setChecked(visible);
        // The last shown column stays.
        item->setEnabled(!visible || shown > 1);
        connect(item, &QAction::toggled, this, [this, kind](bool on) {
            if (qvtf::qx_file_lister* pane = lister()) {
                pane->set_column_visible(kind, on);
                columns_changed();
                pane->update_sort_indicator();
            }
        });
    }
    menu.exec(list_->horizontalHeader()->mapToGlobal(at));
}

// ---- what the lister tells ----

void pane_widget::on_folders_changed(const QString& selected)
{
    folders_->resync();
    if (selected.isEmpty())
        return;
    header_folder_ = selected;
    show_header();
    path_->show_path(selected);
    folders_->set_current(selected);
    const QModelIndex index = folders_->index_of(selected);
    if (!index.isValid())
        return;
    syncing_tree_ = true;
    tree_->setCurrentIndex(index);
    tree_->expand(index);
    tree_->scrollTo(index);
    syncing_tree_ = false;
}

void pane_widget::on_title(const QString& text)
{
    // A new connection or its end: the folder shown before is gone.
    lister_title_ = text;
    header_folder_.clear();
    path_->show_path(QString());
    show_header();
}

void pane_widget::set_encrypted(bool encrypted, const QString& detail)
{
    encrypted_ = encrypted;
    lock_->setVisible(encrypted);
    lock_->setToolTip(detail);
    show_header();
}

void pane_widget::show_header()
{
    // The local pane's header is where it is; the remote pane's names its
    // connection and the folder in it (the lock beside it says encrypted).
    if (!remote_)
        title_->setText(header_folder_);
    else if (header_folder_.isEmpty())
        title_->setText(lister_title_);
    else
        title_->setText(lister_title_ + QStringLiteral(" \u2014 ") + header_folder_);
}

void pane_widget::enter_typed_folder(const QString& path)
{
    qvtf::qx_file_lister* l = lister();
    if (!l || (remote_ && !l->is_ready()))
        return;
    const qvtf::qxval target(path.toStdString());
    l->run_async([l, target] { return l->change_folder(target, true); });
}

void pane_widget::remember_selection()
{
    qvtf::qx_file_lister* l = lister();
    if (!l)
        return;
    kept_folder_ = to_qt(l->current_path());
    kept_names_.clear();
    qvtf::qxfile_tree::reader hold(l->tree());
    for (const QModelIndex& index : list_->selectionModel()->selectedRows())
        if (model_->node_at(index.row()))
            kept_names_.insert(to_qt(l->row_text(index.row(), qvtf::column_name)));
}

bool pane_widget::restore_selection()
{
    qvtf::qx_file_lister* l = lister();
    if (!l || kept_names_.isEmpty() || kept_folder_ != to_qt(l->current_path()))
        return false;
    QItemSelection wanted;
    QModelIndex first;
    {
        qvtf::qxfile_tree::reader hold(l->tree());
        for (int row = 0; row < model_->rowCount(); ++row) {
            if (!model_->node_at(row) || !kept_names_.contains(to_qt(l->row_text(row, qvtf::column_name))))
                continue;
            const QModelIndex index = model_->index(row, 0);
            wanted.select(index, index);
            if (!first.isValid())
                first = index;
        }
    }
    if (!first.isValid())
        return false;
    QItemSelectionModel* selection = list_->selectionModel();
    selection->setCurrentIndex(first, QItemSelectionModel::NoUpdate);
    selection->select(wanted, QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
    list_->scrollTo(first);
    return true;
}

void pane_widget::on_filter_indicator(int image, int hint_phrase)
{
    const bool on = image == filter_image_on;
    filter_button_->setIcon(icons_.named(on ? "filter_on.png" : "filter.png"));
    filter_button_->setToolTip(
        phrase(hint_phrase, on ? "File filter (some files are hidden)" : "File filter (all files shown)"));
    (void)phrase_filter_off;
    (void)phrase_filter_on;
}

void pane_widget::on_banner(bool busy, const QString& text)
{
    banner_->setText(text);
    banner_->setProperty("busy", busy);
    QFont font = banner_->font();
    font.setItalic(busy);
    banner_->setFont(font);
}

void pane_widget::on_progress_open(const QString& title)
{
    progress_->set_kind(title == phrase(45) && !title.isEmpty() ? 1 : 2, QString(), title);
    progress_->show_pop_up();
}

void pane_widget::on_error(int, const QString& text)
{
    message(text, phrase_error_caption);
}

void pane_widget::message(const QString& text, int caption_phrase)
{
    last_message_ = text;
    ++message_count_;
    if (quiet || text.isEmpty())
        return;
    message_stack::of(this).show(QMessageBox::Warning, phrase(caption_phrase, "Error"), text);
}

bool pane_widget::ask(int caption_phrase, const QString& text)
{
    if (question_override)
        return question_override(caption_phrase, text);
    return message_stack::of(this).ask(phrase(caption_phrase), text);
}

void pane_widget::selection_changed()
{
    remember_selection();
    std::vector<int32_t> rows;
    // The up-row is no entry: selecting it alone leaves the status on the folder's totals.
    for (const QModelIndex& index : list_->selectionModel()->selectedRows())
        if (index.row() != 0 || model_->node_at(0))
            rows.push_back(index.row());
    std::sort(rows.begin(), rows.end());
    model_->set_selected_rows(std::move(rows));
    if (qvtf::qx_file_lister* l = lister())
        l->update_status();
}

// ---- icons, paths, drags ----

QIcon pane_widget::icon_of(qvtf::qxfile_node& node)
{
    qvtf::qx_file_lister* l = lister();
    if (!l)
        return {};
    if (remote_) {
        auto* remote = static_cast<qvtf::qx_ftp_file_lister*>(l);
        return icons_.remote(remote->icon_of(&node), remote->link_image_base(), remote->types.icon_files);
    }
    return icons_.local(path_of(&node), node.is_folder, node.is_link(), to_qt(node.extension));
}

QString pane_widget::path_of(const qvtf::qxfile_node* node) const
{
    qvtf::qxval path;
    if (lister() && node)
        lister()->path_of(node, path);
    return to_qt(path);
}

qvtf::qxfile_node* pane_widget::node_at_path(const QString& path) const
{
    qvtf::qx_file_lister* l = lister();
    if (!l)
        return nullptr;
    qvtf::qxfile_tree::reader hold(l->tree());
    qvtf::qxfile_node* node = l->tree().root;
    for (const QString& part : path.split('/', Qt::SkipEmptyParts)) {
        if (!node)
            return nullptr;
        const std::string name = part.toStdString();
        qvtf::qxfile_node* child = node->first_child;
        while (child && !(child->is_folder && child->name.view() == name))
            child = child->next;
        node = child;
    }
    return node;
}

std::vector<qvtf::qxfile_node*> pane_widget::selected_nodes() const
{
    qvtf::qx_file_lister* l = lister();
    return l ? l->selected_nodes() : std::vector<qvtf::qxfile_node*>{};
}

QMimeData* pane_widget::drag_of_rows()
{
    std::vector<qvtf::qxfile_node*> nodes = selected_nodes();
    if (nodes.empty())
        return nullptr;
    return new node_mime_data(remote_, lister(), std::move(nodes));
}

QMimeData* pane_widget::drag_of_tree()
{
    qvtf::qxfile_node* node = node_at_path(folders_->path_of(tree_->currentIndex()));
    if (!node || !node->parent || !lister()->is_selectable(node))
        return nullptr;
    return new node_mime_data(remote_, lister(), {node});
}

void pane_widget::drop_nodes(const node_mime_data& dropped, qvtf::qxfile_node* target)
{
    qvtf::qx_file_lister* l = lister();
    if (!l)
        return;
    if (dropped.source() != l) {
        const qvtf::qx_file_lister* remote = remote_ ? l : dropped.source();
        if (remote && !remote->is_ready()) {
            message(phrase(379, "Connect to a site before transferring files."), 196);
            return;
        }
    }
    if (!target || !target->is_folder)
        target = l->current_folder();
    if (!target || !l->is_selectable(target))
        return;
    std::vector<qvtf::qxfile_node*> nodes = dropped.nodes();
    if (nodes.empty() || nodes.front()->parent == target)
        return;
    std::erase(nodes, target);
    if (nodes.empty())
        return;
    if (dropped.source() != l) {
        if (queue_)
            queue_->put_nodes(dropped.from_remote() ? 1 : 0, std::move(nodes), target, 0);
        return;
    }
    l->move_into_async(nodes, target);
}
