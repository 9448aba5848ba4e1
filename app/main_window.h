// TqorxVTF: the program's only top-level window. The two browser panes sit
// side by side in the middle zone; the log and the queue are dock panels
// that may live only in the top or the bottom zone. The menu and the
// command toolbar are two movable bands above them. It owns the log view
// every part of the program writes through, and forwards the user's
// commands to the panes, the queue and the dialogs.
#pragma once

#include <QMainWindow>

#include "remote/certificate_trust.h"
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "app/prompts_open.h"
#include "browse/pane_busy_lock.h"
#include "remote/remote_observer.h"

class QAction;
class QActionGroup;
class QDockWidget;
class QMenu;
class QMenuBar;
class QSplitter;
class QTableView;
class QToolBar;
class QToolButton;
class QLabel;
class edit_in_place;
class file_list_model;
class finished_feed;
class quick_connect_bar;
class pane_comparison;
class log_files;
class log_view;
class pane_widget;
class queue_widget;
class ui_queue_manager;

namespace qvtf {
class auto_transfer_resolver;
class ftp_queue_process_manager;
class ftp_profile_tree;
struct ftp_profile;
class global_ftp_settings;
class qx_ftp_file_lister;
class qx_local_file_lister;
class qxlang;
struct global_ftp_values;
struct program_folders;
}  // namespace qvtf

// Everything the window works with once start-up has built it; none owned.
struct window_links {
    qvtf::qx_ftp_file_lister* remote = nullptr;
    qvtf::qx_local_file_lister* local = nullptr;
    qvtf::ftp_queue_process_manager* queue = nullptr;
    qvtf::global_ftp_settings* settings = nullptr;
    qvtf::ftp_profile_tree* profiles = nullptr;
    const qvtf::auto_transfer_resolver* resolver = nullptr;
    const qvtf::program_folders* folders = nullptr;
    // Brings the passwords to where the settings want them after a dialog
    // may have changed one or the choice; empty: nothing to do.
    std::function<void()> settle_passwords;
};

class qx_edit_dropdown_prompt;

class TqorxVTF : public QMainWindow {
    Q_OBJECT
public:
    static constexpr Qt::DockWidgetAreas panel_areas = Qt::TopDockWidgetArea | Qt::BottomDockWidgetArea;
    enum zone { top_zone, middle_zone, bottom_zone };
    // Band identifiers in "coolband_config": ToolBar1 holds the commands,
    // ToolBar2 the menu.
    static constexpr int command_band = 1;
    static constexpr int menu_band = 2;
    static constexpr const char* program_title = "qvtf";

    // queue_model: the queue view start-up made (not owned); null makes one.
    explicit TqorxVTF(const qvtf::qxlang* language, ui_queue_manager* queue_model = nullptr, QWidget* parent = nullptr);
    ~TqorxVTF() override;

    // Start-up's last step: the window takes its links, the title, the
    // transfer type and its layout from the settings.
    void setup(const window_links& links);

    log_view& log() const { return *log_; }
    // The command and transfer log files, as the settings ask.
    log_files& files() const { return *files_; }
    void configure_log_files();
    QDockWidget& log_panel() const { return *log_panel_; }
    QDockWidget& queue_panel() const { return *queue_panel_; }
    QWidget& local_panel() const;
    QWidget& remote_panel() const;
    pane_widget& local_pane() const { return *local_pane_; }
    pane_widget& remote_pane() const { return *remote_pane_; }
    file_list_model& local_model() const;
    file_list_model& remote_model() const;
    ui_queue_manager& queue_model() const { return *queue_model_; }
    queue_widget& queue_view() const { return *queue_widget_; }
    QTableView& local_list() const;
    QTableView& remote_list() const;
    QToolBar& command_bar() const { return *command_bar_; }
    QToolBar& menu_bar_band() const { return *menu_band_; }
    // A command by its component name ("miSiteManager", "miQKillAll", ...).
    QAction* command(const char* name) const;

    // Docks a panel into a zone it is allowed in; false (and nothing moves)
    // for any other zone: the log and the queue never go into the middle.
    bool dock_panel(QDockWidget* panel, zone where);
    bool dock_panel(QDockWidget* panel, Qt::DockWidgetArea area);
    // The height a top or bottom zone keeps while it has no visible panel (0: none).
    int remembered_height(zone where) const;

    // Position, size, zone contents, heights and layouts, the toolbar bands.
    void restore_layout(const qvtf::global_ftp_values& values);
    void save_layout(qvtf::global_ftp_values& values) const;
    void restore_bands(const std::string& config);
    // Where a window opens that has no bounds of its own on a screen.
    static QRect first_bounds(const QRect& screen);
    std::string band_config() const;

    // The title's state: not connected, connecting to host, connected to host.
    void set_state_text(const QString& text);
    // The browser connection's protection, as its last change of state found it.
    void set_security(const qvtf::connection_security& security);
    const qvtf::connection_security& security() const { return security_; }
    void show_certificate();
    void set_connection_state(qvtf::remote_state state, const QString& host);
    QString state_text() const { return state_text_; }

    // 0 binary, 1 ASCII, 2 automatic: the queue's default for new items.
    void set_transfer_type(int type);
    int transfer_type() const { return transfer_type_; }

    // Whether the first activation opens the site manager (off for tests and
    // pictures).
    void set_first_activation(bool on) { first_activation_ = on; }

    // Questions and messages go through these, so tests can answer them.
    std::function<bool(const QString& caption, const QString& text)> ask;
    std::function<void(const QString& caption, const QString& text, bool error)> tell;

    // Commands; the menus and the toolbar call them.
    void disconnect_async();
    // Queues the remote folder's files (mode 1), folders (2) or both (3)
    // whose names match masks ("*" when empty) for download.
    void queue_current_folder(int mode, const QString& masks = QString());
    // Asks for the masks and the kind of entries, then queues them.
    void ask_queue_mask();
    qx_edit_dropdown_prompt* mask_prompt() const { return mask_prompt_; }
    void execute_user_commands();
    void bookmark_current_folders();
    void open_synchronisation();
    void open_site_manager(bool new_site);
    void open_settings();
    void open_about();
    void open_help(const char* page);
    // How help pages are opened; tests replace its parts.
    document_opener opener;
    // Blocks until the window's own threads (disconnect, shutdown, commands) end.
    void wait_for_tasks() { tasks_.wait_idle(); }
    bool closing() const { return closing_; }

    // ---- the queue's extras (main_window_queue.cpp) ----
    // The file the items left at closing go to.
    std::string queue_file() const;
    // Writes the items still queued (or removes the file when none are); any thread.
    bool save_queue_items();
    // Asks whether the items of the last session are to be queued again:
    // yes connects to their site and queues them, no forgets them.
    void offer_saved_queue();
    // "host:port user" of a site, the key failed items are requeued by.
    static std::string site_key(const qvtf::ftp_profile* site);

    // ---- quick connect (main_window_quick.cpp) ----
    quick_connect_bar& quick_bar() const { return *quick_bar_; }
    // Connects to the bar's fields; false (and a message) when they are not a site.
    bool quick_connect();
    // Adds the bar's fields as a site of the top group and writes the site
    // file; the new site, or null.
    qvtf::ftp_profile* save_quick_site();
    pane_comparison& comparison() const { return *comparison_; }

    // ---- edit in place (main_window_edit.cpp) ----
    edit_in_place& edits() const { return *edits_; }

signals:
    void state_changed(const QString& text);

protected:
    void closeEvent(QCloseEvent* event) override;
    bool event(QEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void place_window(const qvtf::global_ftp_values& values);
    void build_pane_menus();
    // The properties and filter dialogs behind the panes' commands.
    void wire_pane_dialogs();
    QDockWidget* make_panel(const char* name, const QString& title, QWidget* content);
    QAction* make_command(const char* name, int caption, int hint, int image = -1);
    void build_commands();
    void build_menus();
    void build_toolbar();
    void update_commands();
    // The locks of the remote pane and the status line.
    void show_lock();
    void panel_hidden(QDockWidget* panel);
    void panel_shown(QDockWidget* panel);
    void give_zone_height(QDockWidget* panel);
    bool zone_has_visible(Qt::DockWidgetArea area, const QDockWidget* besides) const;
    void start_shutdown();
    QString phrase(int number, const char* fallback = "") const;
    QString help_folder() const;
    void warn(int text_phrase);
    void wire_queue_extras();
    void wire_quick_connect();
    void wire_edit_in_place();
    std::unique_ptr<qvtf::ftp_profile> quick_site();
    void show_queue_totals();

    const qvtf::qxlang* language_;
    window_links links_;
    qvtf::connection_security security_;
    qx_edit_dropdown_prompt* mask_prompt_ = nullptr;
    log_view* log_ = nullptr;
    QDockWidget* log_panel_ = nullptr;
    QDockWidget* queue_panel_ = nullptr;
    QSplitter* middle_ = nullptr;
    pane_widget* local_pane_ = nullptr;
    pane_widget* remote_pane_ = nullptr;
    ui_queue_manager* queue_model_ = nullptr;
    queue_widget* queue_widget_ = nullptr;
    QToolBar* menu_band_ = nullptr;
    QToolBar* command_bar_ = nullptr;
    QMenuBar* menus_ = nullptr;
    QToolButton* transfer_type_button_ = nullptr;
    QActionGroup* type_group_menu_ = nullptr;
    QActionGroup* type_group_button_ = nullptr;
    std::vector<QAction*> type_items_;  // button's three, then the menu's three

    int transfer_type_ = 0;
    int top_height_ = 0;  // remembered while the zone is collapsed
    int bottom_height_ = 0;
    bool top_collapsed_ = false;
    bool bottom_collapsed_ = false;
    int default_top_height_ = 80;
    int default_bottom_height_ = 100;
    bool first_activation_ = true;
    bool closing_ = false;
    bool shutting_down_ = false;
    bool connected_ = false;
    bool logged_in_ = false;
    QString state_text_;
    // Shared with the queue's observer, which may outlive the window.
    std::shared_ptr<log_files> files_;
    std::shared_ptr<finished_feed> finished_feed_;
    QLabel* queue_totals_ = nullptr;
    QLabel* status_lock_ = nullptr;  // the status line's lock
    // A site the saved queue named that is not in the site tree.
    std::unique_ptr<qvtf::ftp_profile> restored_site_;
    quick_connect_bar* quick_bar_ = nullptr;
    pane_comparison* comparison_ = nullptr;
    edit_in_place* edits_ = nullptr;
    bool offering_queue_ = false;
    bool site_manager_after_offer_ = false;
    std::vector<std::unique_ptr<qvtf::ftp_profile>> quick_sites_;
    qvtf::lister_tasks tasks_;
};
