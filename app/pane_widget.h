// pane_widget: one browser pane on the screen. A title with the busy
// banner, a toolbar (up, reload, the filter indicator, the folder tree
// toggle, the path field), the folder tree beside the file list, and a
// status line; the header names the folder; the context menu with its
// shortcuts, drags between panes and into folders, the progress pop-up and
// the pane's message boxes. Every command runs
// through the lister's guarded, asynchronous wrappers, so the window never
// waits on the disk or the network.
#pragma once

#include <QHash>
#include <QPointer>
#include <QSet>
#include <QWidget>
#include <functional>
#include <memory>
#include <vector>

#include "app/file_list_model.h"
#include "app/folder_tree_model.h"
#include "app/pane_icons.h"

class QAction;
class QLabel;
class QMenu;
class QMessageBox;
class QSplitter;
class QToolBar;
class QToolButton;
class node_mime_data;
class pane_list_view;
class pane_path_field;
class pane_tree_view;
class qx_edit_prompt;
class qx_memo_prompt;
class qx_notification_pop_up;

namespace qvtf {
class ftp_queue_process_manager;
class qxlang;
struct global_ftp_values;
}  // namespace qvtf

class pane_widget : public QWidget {
    Q_OBJECT
public:
    // The context-menu commands, by the phrase of their caption.
    enum command : int {
        cmd_download = 103,
        cmd_upload = 104,
        cmd_open = 193,
        cmd_shell_menu = 432,
        cmd_rename = 106,
        cmd_delete = 105,
        cmd_attributes = 90,
        cmd_permissions = 91,
        cmd_up = 133,
        cmd_command = 131,
        cmd_reload = 26,
        cmd_filter = 255,
        cmd_new_folder = 76,
        cmd_select_all = 141,
        cmd_invert_selection = 252,
        cmd_cut = 393,
        cmd_copy = 394,
        cmd_paste = 395,
        cmd_view_edit = 1450,
    };

    using nodes_hook = std::function<void(pane_widget&, std::vector<qvtf::qxfile_node*>)>;

    pane_widget(bool remote, const qvtf::qxlang* language, QWidget* parent = nullptr);
    ~pane_widget() override;

    bool is_remote() const { return remote_; }
    // The lister attaches itself through the model (file_list_model::attach).
    file_list_model& model() const { return *model_; }
    folder_tree_model& folders_model() const { return *folders_; }
    qvtf::qx_file_lister* lister() const { return model_->lister(); }
    pane_list_view& list_view() const { return *list_; }
    pane_tree_view& folder_view() const { return *tree_; }

    // ---- wiring (the window) ----
    void set_other(pane_widget* other) { other_ = other; }
    pane_widget* other() const { return other_; }
    void set_queue(qvtf::ftp_queue_process_manager* queue) { queue_ = queue; }
    // delete_confirm_prompt is read from here; without it every delete asks.
    void set_settings(const qvtf::global_ftp_values* settings) { settings_ = settings; }
    // The dialogs the window builds: properties and the file filter.
    nodes_hook properties_hook;
    nodes_hook filter_hook;
    // View/Edit of a remote file (F4; a double-click when the settings say so).
    nodes_hook edit_hook;
    // The pane's commands for the main menu's lister submenus.
    QList<QAction*> menu_actions() const { return menu_actions_; }
    QAction* action(int id) const { return actions_.value(id); }
    void set_folders_visible(bool visible);
    bool folders_visible() const;

    // ---- state the window and tests look at ----
    QLabel& title_label() const { return *title_; }
    QLabel& banner_label() const { return *banner_; }
    QLabel& lock_label() const { return *lock_; }
    QLabel& status_label() const { return *status_; }
    pane_path_field& path_field() const { return *path_; }
    QSplitter& splitter() const { return *splitter_; }
    QToolButton& filter_button() const { return *filter_button_; }
    qx_notification_pop_up& progress() const { return *progress_; }
    qx_edit_prompt& folder_prompt() const { return *folder_prompt_; }
    // The text of the last message box, and how many were shown.
    const QString& last_message() const { return last_message_; }
    int message_count() const { return message_count_; }
    // Instead of a Yes/No box (tests, or a window that asks elsewhere).
    std::function<bool(int caption_phrase, const QString& text)> question_override;
    // Message boxes stay closed; the texts are only recorded.
    bool quiet = false;

    // ---- commands ----
    void run_command(int id);
    // The selected entries that may be selected.
    std::vector<qvtf::qxfile_node*> selected_nodes() const;
    // A pane drag dropped on target (a row's entry or null for the current
    // folder) of this pane: queued from the other pane, moved within this.
    void drop_nodes(const node_mime_data& dropped, qvtf::qxfile_node* target);
    // Opens a row: a folder (or the up-row) is entered; a local file opens.
    void open_row(int row);

    // The remote pane's header shows a lock while the connection is encrypted.
    // detail: the protocol version and cipher, shown as the lock's tip.
    void set_encrypted(bool encrypted, const QString& detail = {});

protected:
    void resizeEvent(QResizeEvent* event) override;

private:
    void build_actions();
    QAction* add_command(int id, const char* fallback, const QKeySequence& shortcut = {});
    void attach_lister();
    void on_folders_changed(const QString& selected);
    void on_title(const QString& text);
    void show_header();
    void enter_typed_folder(const QString& path);
    void apply_tree_width();
    // The selection by name, so that a listing of the same folder again
    // (refresh, rename, a change on disk) keeps it.
    void remember_selection();
    bool restore_selection();
    void on_sort_indicator(int column, int image);
    void on_filter_indicator(int image, int hint_phrase);
    void on_banner(bool busy, const QString& text);
    void on_error(int code, const QString& text);
    void on_progress_open(const QString& title);
    void on_rename(int row, const QString& name);
    void apply_columns();
    void columns_changed();
    void show_header_menu(const QPoint& at);
    void show_list_menu(const QPoint& at);
    void selection_changed();
    bool ask(int caption_phrase, const QString& text);
    void message(const QString& text, int caption_phrase);
    QIcon icon_of(qvtf::qxfile_node& node);
    QMimeData* drag_of_rows();
    QMimeData* drag_of_tree();
    qvtf::qxfile_node* node_at_path(const QString& path) const;
    QString path_of(const qvtf::qxfile_node* node) const;
    QString phrase(int number, const char* fallback = "") const;

    void transfer_selection();
    void transfer_nodes(std::vector<qvtf::qxfile_node*> nodes);
    void delete_selection();
    void rename_selection();
    void new_folder();
    void send_commands(const QString& text);
    void clipboard_put(bool cut);
    void clipboard_paste();
    void invert_selection();

    bool remote_;
    const qvtf::qxlang* language_;
    file_list_model* model_;
    folder_tree_model* folders_;
    pane_icons icons_;
    QLabel* title_ = nullptr;
    QLabel* lock_ = nullptr;  // shown while the connection is encrypted
    QLabel* banner_ = nullptr;
    QToolBar* toolbar_ = nullptr;
    QToolButton* filter_button_ = nullptr;
    QSplitter* splitter_ = nullptr;
    pane_tree_view* tree_ = nullptr;
    pane_list_view* list_ = nullptr;
    QLabel* status_ = nullptr;
    pane_path_field* path_ = nullptr;
    QMenu* menu_ = nullptr;
    qx_notification_pop_up* progress_ = nullptr;
    qx_edit_prompt* folder_prompt_ = nullptr;
    qx_memo_prompt* command_prompt_ = nullptr;
    QHash<int, QAction*> actions_;
    QList<QAction*> menu_actions_;
    QAction* folders_action_ = nullptr;

    pane_widget* other_ = nullptr;
    qvtf::ftp_queue_process_manager* queue_ = nullptr;
    const qvtf::global_ftp_values* settings_ = nullptr;

    int sort_column_ = -1;
    int sort_image_ = -1;
    bool applying_columns_ = false;
    bool syncing_tree_ = false;
    int menu_row_ = -1;              // the row under the mouse when the menu opened
    QString lister_title_;           // the connection's own words, remote pane
    bool encrypted_ = false;
    QString header_folder_;          // the folder shown, empty before the first
    bool tree_width_moved_ = false;  // the user moved the splitter in this run
    QSet<QString> kept_names_;       // the selected entries' names, in kept_folder_
    QString kept_folder_;
    QString last_message_;
    int message_count_ = 0;
};
