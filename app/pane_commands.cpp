// The pane's commands: its context menu, their shortcuts, and what each
// does through the lister's guarded wrappers.
#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QDesktopServices>
#include <QFileInfo>
#include <QHeaderView>
#include <QItemSelectionModel>
#include <QMenu>
#include <QMimeData>
#include <QPlainTextEdit>
#include <QToolBar>
#include <QToolButton>
#include <QUrl>
#include <algorithm>
#include <filesystem>
#include <system_error>

#include "app/pane_view.h"
#include "app/pane_widget.h"
#include "app/prompts.h"
#include "app/qt_text.h"
#include "browse/local_paths.h"
#include "browse/qx_ftp_file_lister.h"
#include "browse/qx_local_file_lister.h"
#include "queue/ftp_queue_process_manager.h"
#include "settings/global_ftp_settings.h"

namespace {

constexpr int phrase_warning_caption = 196;
constexpr int phrase_connect_first = 379;
constexpr int phrase_delete_caption = 35;
constexpr int phrase_delete_one = 36;
constexpr int phrase_delete_many = 31;
constexpr int phrase_delete_folder = 930;
constexpr int phrase_delete_many_folders = 931;
constexpr int phrase_new_folder_title = 97;
constexpr int phrase_new_folder_label = 140;
constexpr int phrase_command_label = 339;
constexpr int phrase_command_keys = 972;
constexpr int phrase_copying = 48;
constexpr int phrase_moving = 138;
constexpr int phrase_folders = 0;  // no phrase: the toggle shows its picture

const char* const cut_marker = "x-special/gnome-copied-files";
const char* const kde_cut_marker = "application/x-kde-cutselection";

}  // namespace

QAction* pane_widget::add_command(int id, const char* fallback, const QKeySequence& shortcut)
{
    auto* item = new QAction(phrase(id, fallback), this);
    item->setObjectName(QStringLiteral("command_%1").arg(id));
    if (!shortcut.isEmpty()) {
        item->setShortcut(shortcut);
        // The list holds the shortcuts, so an open name editor keeps its own keys.
        item->setShortcutContext(Qt::WidgetShortcut);
        list_->addAction(item);
    }
    connect(item, &QAction::triggered, this, [this, id] { run_command(id); });
    actions_.insert(id, item);
    menu_actions_.append(item);
    return item;
}

void pane_widget::build_actions()
{
    if (remote_) {
        add_command(cmd_download, "Download");
        add_command(cmd_view_edit, "View/Edit", QKeySequence(Qt::Key_F4));
    } else {
        add_command(cmd_upload, "Upload");
        add_command(cmd_open, "Open", QKeySequence(Qt::Key_Return));
        add_command(cmd_shell_menu, "Shell menu...");
    }
    add_command(cmd_rename, "Rename", QKeySequence(Qt::Key_F2));
    add_command(cmd_delete, "Delete", QKeySequence(QKeySequence::Delete));
    if (remote_)
        add_command(cmd_permissions, "Permissions");
    else
        add_command(cmd_attributes, "Attributes");
    add_command(cmd_up, "Up one folder", QKeySequence(Qt::Key_Backspace))->setIcon(icons_.named("up.png"));
    if (remote_)
        add_command(cmd_command, "FTP command");
    add_command(cmd_reload, "Refresh", QKeySequence(Qt::Key_F5))->setIcon(icons_.named("reload.png"));
    add_command(cmd_filter, "Filter...");
    add_command(cmd_new_folder, "New folder...");
    add_command(cmd_select_all, "Select all", QKeySequence(QKeySequence::SelectAll));
    add_command(cmd_invert_selection, "Invert selection");
    if (!remote_) {
        add_command(cmd_cut, "Cut", QKeySequence(QKeySequence::Cut));
        add_command(cmd_copy, "Copy", QKeySequence(QKeySequence::Copy));
        add_command(cmd_paste, "Paste", QKeySequence(QKeySequence::Paste));
    }
    if (remote_) {
        // Enter opens in the remote pane too, though the menu has no item for it.
        auto* enter = new QAction(this);
        enter->setShortcut(QKeySequence(Qt::Key_Return));
        enter->setShortcutContext(Qt::WidgetShortcut);
        list_->addAction(enter);
        connect(enter, &QAction::triggered, this, [this] { run_command(cmd_open); });
    }

    menu_ = new QMenu(this);
    menu_->setObjectName("pane_menu");
    for (QAction* item : menu_actions_) {
        menu_->addAction(item);
        const int id = actions_.key(item);
        if (id == cmd_up || id == cmd_reload || id == cmd_new_folder || id == cmd_invert_selection)
            menu_->addSeparator();
    }

    toolbar_->addAction(actions_.value(cmd_up));
    toolbar_->addAction(actions_.value(cmd_reload));
    filter_button_ = new QToolButton(toolbar_);
    filter_button_->setObjectName("filter_indicator");
    filter_button_->setIcon(icons_.named("filter.png"));
    filter_button_->setToolTip(phrase(145, "File filter (all files shown)"));
    connect(filter_button_, &QToolButton::clicked, this, [this] { run_command(cmd_filter); });
    toolbar_->addWidget(filter_button_);
    folders_action_ = toolbar_->addAction(icons_.named("folders.png"), QString());
    folders_action_->setObjectName("folders_toggle");
    folders_action_->setCheckable(true);
    folders_action_->setChecked(true);
    folders_action_->setToolTip(phrase(phrase_folders, "Folders"));
    connect(folders_action_, &QAction::toggled, this, &pane_widget::set_folders_visible);
}

void pane_widget::show_list_menu(const QPoint& at)
{
    const QModelIndex index = list_->indexAt(at);
    menu_row_ = index.isValid() ? index.row() : -1;
    menu_->exec(list_->viewport()->mapToGlobal(at));
    menu_row_ = -1;
}

void pane_widget::run_command(int id)
{
    qvtf::qx_file_lister* l = lister();
    if (!l)
        return;
    switch (id) {
    case cmd_download:
    case cmd_upload: transfer_selection(); break;
    case cmd_open: {
        const QModelIndex current = list_->currentIndex();
        const QModelIndexList rows = list_->selectionModel()->selectedRows();
        open_row(rows.isEmpty() ? (current.isValid() ? current.row() : -1) : rows.front().row());
        break;
    }
    case cmd_view_edit:
        if (edit_hook) {
            std::vector<qvtf::qxfile_node*> nodes = selected_nodes();
            if (!nodes.empty())
                edit_hook(*this, std::move(nodes));
        }
        break;
    case cmd_shell_menu:
        // The desktop's file manager stands in for the shell's menu: it shows the current folder.
        QDesktopServices::openUrl(QUrl::fromLocalFile(to_qt(l->current_path())));
        break;
    case cmd_rename: rename_selection(); break;
    case cmd_delete: delete_selection(); break;
    case cmd_attributes:
    case cmd_permissions:
        if (remote_ && !l->is_ready())
            break;
        if (remote_) {
            if (int code = static_cast<qvtf::qx_ftp_file_lister*>(l)->properties_allowed()) {
                qvtf::qxval text;
                l->error_text(text, code);
                message(to_qt(text), 12);
                break;
            }
        }
        if (properties_hook) {
            std::vector<qvtf::qxfile_node*> nodes = selected_nodes();
            if (!nodes.empty())
                properties_hook(*this, std::move(nodes));
        }
        break;
    case cmd_up: l->run_async([l] { return l->open(nullptr); }); break;
    case cmd_command:
        if (!command_prompt_) {
            command_prompt_ = new qx_memo_prompt(language_, this);
            command_prompt_->setObjectName("command_prompt");
            command_prompt_->set_enter_sends(true);
            command_prompt_->set_caption_text(phrase(131, "FTP command"));
            command_prompt_->set_label_text(phrase(phrase_command_label, "FTP command to send to the server:"));
            const QString keys = phrase(phrase_command_keys, "Enter sends; Shift+Enter starts a new line.");
            command_prompt_->memo().setPlaceholderText(keys);
            command_prompt_->memo().setToolTip(keys);
            command_prompt_->set_callback([this](void*, const QString& text, int) { send_commands(text); }, nullptr);
        }
        command_prompt_->show_prompt();
        break;
    case cmd_reload: l->reload_async(); break;
    case cmd_filter:
        if (filter_hook)
            filter_hook(*this, selected_nodes());
        break;
    case cmd_new_folder: new_folder(); break;
    case cmd_select_all: list_->selectAll(); break;
    case cmd_invert_selection: invert_selection(); break;
    case cmd_cut:
    case cmd_copy: clipboard_put(id == cmd_cut); break;
    case cmd_paste: clipboard_paste(); break;
    default: break;
    }
}

void pane_widget::open_row(int row)
{
    qvtf::qx_file_lister* l = lister();
    if (!l || row < 0 || row >= model_->rowCount())
        return;
    QString file;
    qvtf::qxfile_node* node = nullptr;
    {
        qvtf::qxfile_tree::reader hold(l->tree());
        node = model_->node_at(row);
        if (node && !node->is_folder)
            file = path_of(node);
    }
    if (!node) {
        // The up-row.
        if (row == 0)
            l->run_async([l] { return l->open(nullptr); });
        return;
    }
    if (node->is_folder || (remote_ && node->is_link())) {
        l->enter_async(node, true);
        return;
    }
    if (!remote_)
        QDesktopServices::openUrl(QUrl::fromLocalFile(file));
    else if (settings_ && settings_->remote_double_click == 1 && edit_hook)
        edit_hook(*this, {node});
    else
        transfer_nodes({node});
}

void pane_widget::transfer_selection()
{
    qvtf::qx_file_lister* l = lister();
    pane_widget* remote_pane = remote_ ? this : other_;
    if (remote_pane && remote_pane->lister() && !remote_pane->lister()->is_ready()) {
        message(phrase(phrase_connect_first, "Connect to a site before transferring files."), phrase_warning_caption);
        return;
    }
    transfer_nodes(l->selected_nodes());
}

void pane_widget::transfer_nodes(std::vector<qvtf::qxfile_node*> nodes)
{
    if (!queue_ || !other_ || !other_->lister() || nodes.empty())
        return;
    queue_->put_nodes(remote_ ? 1 : 0, std::move(nodes), other_->lister()->current_folder(), 0);
}

void pane_widget::delete_selection()
{
    qvtf::qx_file_lister* l = lister();
    std::vector<qvtf::qxfile_node*> nodes = l->selected_nodes();
    if (nodes.empty())
        return;
    if (!settings_ || settings_->delete_confirm_prompt) {
        QString text;
        {
            // A folder goes with everything in it: the question says so.
            qvtf::qxfile_tree::reader hold(l->tree());
            const bool folders =
                std::any_of(nodes.begin(), nodes.end(), [](const auto* n) { return n->is_folder != 0; });
            if (nodes.size() == 1)
                text = (folders ? phrase(phrase_delete_folder, "Delete this folder and everything in it? ")
                                : phrase(phrase_delete_one, "Delete this entry? ")) +
                       to_qt(nodes.front()->name);
            else
                text = folders ? phrase(phrase_delete_many_folders,
                                        "Delete the selected entries? Folders go with everything in them.")
                               : phrase(phrase_delete_many, "Delete the selected entries?");
        }
        if (!ask(phrase_delete_caption, text))
            return;
    }
    l->delete_entries_async(std::move(nodes));
}

void pane_widget::rename_selection()
{
    const int column = model_->column_of(qvtf::column_name);
    const QModelIndexList rows = list_->selectionModel()->selectedRows();
    const int row = rows.isEmpty() ? list_->currentIndex().row() : rows.front().row();
    if (column < 0 || row < 0 || !model_->node_at(row))
        return;
    const QModelIndex index = model_->index(row, column);
    list_->setCurrentIndex(index);
    list_->edit(index);
}

void pane_widget::on_rename(int row, const QString& name)
{
    qvtf::qx_file_lister* l = lister();
    if (!l || name.contains('/'))
        return;
    qvtf::move_files_structure moves;
    {
        qvtf::qxfile_tree::reader hold(l->tree());
        qvtf::qxfile_node* node = model_->node_at(row);
        if (!node || !node->parent)
            return;
        QString folder = path_of(node->parent);
        while (folder.endsWith('/'))
            folder.chop(1);
        moves.sources.push_back(qvtf::qxval(path_of(node).toStdString()));
        moves.destinations.push_back(qvtf::qxval((folder + '/' + name).toStdString()));
    }
    l->move_pairs_async(std::move(moves), [l] { l->refresh_node(l->current_folder()); });
}

void pane_widget::new_folder()
{
    qvtf::qx_file_lister* l = lister();
    if (remote_ && !l->is_ready())
        return;
    folder_prompt_->set_caption_text(phrase(phrase_new_folder_title, "New folder"));
    folder_prompt_->set_label_text(phrase(phrase_new_folder_label, "Name of the new folder in ") +
                                   to_qt(l->current_path()));
    folder_prompt_->set_initial_text(QString());
    folder_prompt_->set_callback(
        [this](void*, const QString& name, int) {
            if (qvtf::qx_file_lister* pane = lister())
                pane->make_folder_async(qvtf::qxval(name.toStdString()));
        },
        nullptr);
    folder_prompt_->show_prompt();
}

void pane_widget::send_commands(const QString& text)
{
    auto* remote = static_cast<qvtf::qx_ftp_file_lister*>(lister());
    if (!remote || !remote->is_ready())
        return;
    std::vector<std::string> lines;
    for (const QString& line : text.split('\n', Qt::SkipEmptyParts))
        if (!line.trimmed().isEmpty())
            lines.push_back(line.trimmed().toStdString());
    remote->run_async([remote, lines] {
        int code = 0;
        for (const std::string& line : lines)
            if ((code = remote->keep_result(remote->session().raw_command(line))) != 0)
                break;
        // A command may have changed the folder's contents.
        if (code == 0)
            code = remote->refresh_node(remote->current_folder());
        return code;
    });
}

void pane_widget::invert_selection()
{
    QItemSelection all(model_->index(0, 0), model_->index(model_->rowCount() - 1, model_->columnCount() - 1));
    if (model_->rowCount() > 0 && model_->columnCount() > 0)
        list_->selectionModel()->select(all, QItemSelectionModel::Toggle | QItemSelectionModel::Rows);
}

// ---- the system clipboard (local pane) ----

void pane_widget::clipboard_put(bool cut)
{
    QList<QUrl> urls;
    {
        qvtf::qxfile_tree::reader hold(lister()->tree());
        for (qvtf::qxfile_node* node : selected_nodes())
            urls << QUrl::fromLocalFile(path_of(node));
    }
    if (urls.isEmpty())
        return;
    auto* mime = new QMimeData;
    mime->setUrls(urls);
    QByteArray marker = cut ? "cut" : "copy";
    for (const QUrl& url : urls)
        marker += "\n" + url.toEncoded();
    mime->setData(cut_marker, marker);
    if (cut)
        mime->setData(kde_cut_marker, "1");
    QApplication::clipboard()->setMimeData(mime);
}

void pane_widget::clipboard_paste()
{
    qvtf::qx_file_lister* l = lister();
    const QMimeData* mime = QApplication::clipboard()->mimeData();
    if (!mime || !mime->hasUrls())
        return;
    bool cut = mime->data(kde_cut_marker) == "1" || mime->data(cut_marker).startsWith("cut");
    std::vector<std::string> sources;
    for (const QUrl& url : mime->urls())
        if (url.isLocalFile())
            sources.push_back(url.toLocalFile().toStdString());
    if (sources.empty())
        return;
    QString target;
    {
        qvtf::qxfile_tree::reader hold(l->tree());
        qvtf::qxfile_node* node = menu_row_ >= 0 ? model_->node_at(menu_row_) : nullptr;
        target = node && node->is_folder ? path_of(node) : to_qt(l->current_path());
    }
    const std::string folder = target.toStdString();
    l->run_async(
        [l, sources, folder, cut] {
            int code = 0;
            for (const std::string& source : sources) {
                const std::filesystem::path from(source);
                const std::string to = (std::filesystem::path(folder) / from.filename()).string();
                std::error_code error;
                if (std::filesystem::exists(std::filesystem::symlink_status(to, error))) {
                    code = qvtf::local_verb_failed;
                    break;
                }
                if (cut) {
                    if (!qvtf::move_path(source, to)) {
                        code = qvtf::local_verb_failed;
                        break;
                    }
                } else {
                    std::filesystem::copy(
                        from, to,
                        std::filesystem::copy_options::recursive | std::filesystem::copy_options::copy_symlinks, error);
                    if (error) {
                        code = qvtf::local_verb_failed;
                        break;
                    }
                }
            }
            const int refreshed = l->refresh_node(l->current_folder());
            return code ? code : refreshed;
        },
        cut ? phrase_moving : phrase_copying);
    // What was cut is gone from where it was; pasting it twice makes no sense.
    if (cut)
        QApplication::clipboard()->clear();
}
