// The window's menus, its two toolbar bands and the commands behind them.
#include <QActionGroup>
#include <QDesktopServices>
#include <QDockWidget>
#include <QFileInfo>
#include <QMenu>
#include <QMenuBar>
#include <QToolBar>
#include <QToolButton>
#include <QUrl>
#include <algorithm>
#include <chrono>
#include <map>
#include <sstream>
#include <thread>

#include "app/edit_in_place.h"
#include "app/icons.h"
#include "app/log_view.h"
#include "app/main_window.h"
#include "app/password_at_connect.h"
#include "app/pane_widget.h"
#include "app/certificate_prompt.h"
#include "app/prompts.h"
#include "app/qt_text.h"
#include "app/ui_queue_manager.h"
#include "browse/qx_ftp_file_lister.h"
#include "browse/qx_local_file_lister.h"
#include "browse/qxfile_filter.h"
#include "profiles/ftp_profile_tree.h"
#include "queue/ftp_queue_process_manager.h"
#include "settings/global_ftp_settings.h"
#include "settings/session_options.h"

// The dialogs come from their own files; a build without one leaves its
// command doing nothing.
#if __has_include("app/site_manager_form.h")
#include "app/site_manager_form.h"
#define QVTF_HAVE_SITE_MANAGER 1
#endif
#if __has_include("app/settings_form.h")
#include "app/settings_form.h"
#define QVTF_HAVE_SETTINGS_FORM 1
#endif
#if __has_include("app/about_box.h")
#include "app/about_box.h"
#define QVTF_HAVE_ABOUT_BOX 1
#endif
#include "app/file_filter_form.h"
#include "app/file_props_form.h"
#if __has_include("app/sync_form.h")
#include "app/sync_form.h"
#define QVTF_HAVE_SYNC_FORM 1
#endif

namespace {

// Phrases of the window's own captions.
enum window_phrase : int {
    ph_site_menu = 700,
    ph_connect = 701,
    ph_bookmark = 702,
    ph_queue_current = 703,
    ph_user_commands = 704,
    ph_settings = 705,
    ph_local_browser = 706,
    ph_remote_browser = 707,
    ph_log = 708,
    ph_local_tree = 709,
    ph_remote_tree = 710,
    ph_contents = 711,
    ph_support = 712,
    ph_about = 713,
    ph_no_user_commands = 714,
    ph_bookmark_added = 715,
    ph_bookmark_exists = 716,
    ph_toolbar = 717,
    ph_menu_band = 718,
    ph_queue_by_mask = 719,
    ph_queue_mask_label = 720,
    ph_certificate = 1034,
    ph_certificate_hint = 1035,
};

std::unique_ptr<qvtf::qxarr> one_line(const std::string& text)
{
    auto lines = std::make_unique<qvtf::qxarr>();
    lines->push_copy(qvtf::qxval(text));
    return lines;
}

// The dialogs' writes to settings and site profiles, made under the queue's
// lock: its scheduler copies both into a worker as it starts one.
std::function<void(const std::function<void()>&)> under_queue_lock(qvtf::ftp_queue_process_manager* queue)
{
    return [queue](const std::function<void()>& write) {
        if (queue)
            queue->edit_shared(write);
        else
            write();
    };
}

}  // namespace

QAction* TqorxVTF::make_command(const char* name, int caption, int hint, int image)
{
    auto* action = new QAction(phrase(caption, name), this);
    action->setObjectName(name);
    if (hint)
        action->setToolTip(phrase(hint));
    else
        action->setToolTip(action->text());
    action->setStatusTip(action->toolTip());
    if (image >= 0)
        action->setIcon(program_icons::icon(image));
    return action;
}

QAction* TqorxVTF::command(const char* name) const
{
    return findChild<QAction*>(QString::fromLatin1(name));
}

void TqorxVTF::build_commands()
{
    namespace pi = program_icons;
    connect(make_command("miSiteManager", 237, 247, pi::site_manager), &QAction::triggered, this,
            [this] { open_site_manager(false); });
    connect(make_command("miSiteConnect", ph_connect, 247, pi::connect), &QAction::triggered, this,
            [this] { open_site_manager(false); });
    connect(make_command("miSiteDisconnect", 185, 248, pi::disconnect), &QAction::triggered, this,
            &TqorxVTF::disconnect_async);
    connect(make_command("miNewSite", 218, 0, pi::new_site), &QAction::triggered, this,
            [this] { open_site_manager(true); });
    connect(make_command("miBookmark", ph_bookmark, 246, pi::bookmark), &QAction::triggered, this,
            &TqorxVTF::bookmark_current_folders);
    connect(make_command("miCertificate", ph_certificate, ph_certificate_hint), &QAction::triggered, this,
            &TqorxVTF::show_certificate);
    connect(make_command("miEditedFiles", 1451, 0), &QAction::triggered, this, [this] {
        if (edits_)
            edits_->show_list();
    });
    connect(make_command("miExit", 197, 0), &QAction::triggered, this, &QWidget::close);
    connect(make_command("miQKillAll", 129, 0, pi::kill_all), &QAction::triggered, queue_model_,
            &ui_queue_manager::kill_all_async);
    connect(make_command("miQKillSelected", 128, 0, pi::stopped), &QAction::triggered, queue_model_,
            &ui_queue_manager::kill_selected_async);
    connect(make_command("miSync", 285, 0, pi::sync), &QAction::triggered, this, &TqorxVTF::open_synchronisation);
    make_command("miQC", ph_queue_current, 0, pi::queue_current);
    connect(make_command("miQCFiles", 434, 0), &QAction::triggered, this, [this] { queue_current_folder(1); });
    connect(make_command("miQCFolders", 495, 0), &QAction::triggered, this, [this] { queue_current_folder(2); });
    connect(make_command("miQCAll", 435, 0), &QAction::triggered, this, [this] { queue_current_folder(3); });
    connect(make_command("miQCMask", ph_queue_by_mask, 0), &QAction::triggered, this, [this] { ask_queue_mask(); });
    connect(make_command("miExecuteUserCommands", ph_user_commands, 0), &QAction::triggered, this,
            &TqorxVTF::execute_user_commands);
    connect(make_command("miSettings", ph_settings, 0, pi::settings), &QAction::triggered, this,
            &TqorxVTF::open_settings);
    connect(make_command("miContents", ph_contents, 0, pi::help), &QAction::triggered, this,
            [this] { open_help("help.html"); });
    connect(make_command("miSupport", ph_support, 0), &QAction::triggered, this, [this] { open_help("support.html"); });
    connect(make_command("miAbout", ph_about, 0), &QAction::triggered, this, &TqorxVTF::open_about);

    // View toggles: the log and queue follow their panels, the browsers likewise.
    QAction* log_toggle = log_panel_->toggleViewAction();
    log_toggle->setObjectName("miLogView");
    log_toggle->setText(phrase(ph_log, "Log"));
    QAction* queue_toggle = queue_panel_->toggleViewAction();
    queue_toggle->setObjectName("miQueueView");
    queue_toggle->setText(phrase(259, "Queue"));
    for (auto [name, caption, panel] : {std::tuple{"miLocalBrowserView", int(ph_local_browser), local_pane_},
                                        std::tuple{"miRemoteBrowserView", int(ph_remote_browser), remote_pane_}}) {
        QAction* toggle = make_command(name, caption, 0);
        toggle->setCheckable(true);
        toggle->setChecked(true);
        QWidget* target = panel;
        connect(toggle, &QAction::toggled, target, &QWidget::setVisible);
    }
    for (auto [name, caption, pane] : {std::tuple{"miLocalBrowserFoldersView", int(ph_local_tree), local_pane_},
                                       std::tuple{"miRemoteBrowserFoldersView", int(ph_remote_tree), remote_pane_}}) {
        QAction* toggle = make_command(name, caption, 0);
        toggle->setCheckable(true);
        toggle->setChecked(pane->folders_visible());
        pane_widget* target = pane;
        connect(toggle, &QAction::toggled, target, [target](bool on) {
            if (target->folders_visible() != on)
                target->set_folders_visible(on);
        });
    }

    // The transfer type: three radio items in the toolbar's drop-down, three in the menu.
    type_group_button_ = new QActionGroup(this);
    type_group_menu_ = new QActionGroup(this);
    for (QActionGroup* group : {type_group_button_, type_group_menu_}) {
        for (int type = 0; type < 3; ++type) {
            auto* item = new QAction(phrase(108 + type), group);
            item->setCheckable(true);
            item->setIcon(program_icons::icon(pi::type_binary + type));
            item->setObjectName(QString("%1TransferType%2").arg(group == type_group_button_ ? "tb" : "mi").arg(type));
            connect(item, &QAction::triggered, this, [this, type] { set_transfer_type(type); });
            type_items_.push_back(item);
        }
    }
}

void TqorxVTF::build_menus()
{
    menus_ = new QMenuBar(this);
    menus_->setObjectName("MainMenu");
    menus_->setNativeMenuBar(false);

    QMenu* site = menus_->addMenu(phrase(ph_site_menu, "Site"));
    site->setObjectName("miSite");
    for (const char* name : {"miSiteManager", "miSiteConnect", "miSiteDisconnect", "miNewSite", "miBookmark"})
        site->addAction(command(name));
    site->addAction(command("miCertificate"));
    site->addAction(command("miEditedFiles"));
    site->addSeparator();
    site->addAction(command("miExit"));

    QMenu* queue = menus_->addMenu(phrase(259, "Queue"));
    queue->setObjectName("miQueue");
    queue->addAction(command("miQKillAll"));
    queue->addAction(command("miQKillSelected"));
    queue->addSeparator();
    QMenu* types = queue->addMenu(phrase(257, "Transfer type"));
    types->setObjectName("miTransferType");
    types->addActions(type_group_menu_->actions());
    QMenu* current = queue->addMenu(command("miQC")->icon(), command("miQC")->text());
    current->setObjectName("miQCMenu");
    for (const char* name : {"miQCFiles", "miQCFolders", "miQCAll"})
        current->addAction(command(name));
    current->addSeparator();
    current->addAction(command("miQCMask"));
    command("miQC")->setMenu(current);
    queue->addAction(command("miSync"));
    queue->addAction(command("miExecuteUserCommands"));
    queue->addSeparator();
    queue->addAction(command("miSettings"));

    QMenu* view = menus_->addMenu(phrase(164, "View"));
    view->setObjectName("miView");
    for (const char* name : {"miLocalBrowserView", "miRemoteBrowserView", "miQueueView", "miLogView"})
        view->addAction(command(name));
    view->addSeparator();
    view->addAction(command("miLocalBrowserFoldersView"));
    view->addAction(command("miRemoteBrowserFoldersView"));
    // The panes have toggles of their own: the checks follow them.
    connect(view, &QMenu::aboutToShow, this, [this] {
        command("miLocalBrowserFoldersView")->setChecked(local_pane_->folders_visible());
        command("miRemoteBrowserFoldersView")->setChecked(remote_pane_->folders_visible());
        command("miLocalBrowserView")->setChecked(!local_pane_->isHidden());
        command("miRemoteBrowserView")->setChecked(!remote_pane_->isHidden());
    });

    // Every pane command is reachable from the menu bar too.
    QMenu* local = menus_->addMenu(phrase(253, "Local"));
    local->setObjectName("miLocalMenu");
    QMenu* remote = menus_->addMenu(phrase(254, "Remote"));
    remote->setObjectName("miRemoteMenu");
    build_pane_menus();

    QMenu* help_menu = menus_->addMenu(phrase(364, "Help"));
    help_menu->setObjectName("miHelp");
    for (const char* name : {"miContents", "miSupport"})
        help_menu->addAction(command(name));
    help_menu->addSeparator();
    help_menu->addAction(command("miAbout"));

    menu_band_ = new QToolBar(phrase(ph_menu_band, "Menu"), this);
    menu_band_->setObjectName("ToolBar2");
    menu_band_->addWidget(menus_);
    addToolBar(Qt::TopToolBarArea, menu_band_);
}

void TqorxVTF::build_pane_menus()
{
    for (auto [name, pane] : {std::pair{"miLocalMenu", local_pane_}, std::pair{"miRemoteMenu", remote_pane_}}) {
        QMenu* menu = findChild<QMenu*>(QString::fromLatin1(name));
        if (!menu)
            continue;
        menu->clear();
        // The pane's own actions, so their checks, states and shortcuts are shared.
        menu->addActions(pane->menu_actions());
        menu->menuAction()->setEnabled(!pane->menu_actions().isEmpty());
    }
}

void TqorxVTF::build_toolbar()
{
    addToolBarBreak(Qt::TopToolBarArea);
    command_bar_ = new QToolBar(phrase(ph_toolbar, "Toolbar"), this);
    command_bar_->setObjectName("ToolBar1");
    command_bar_->setIconSize(QSize(16, 16));
    command_bar_->setToolButtonStyle(Qt::ToolButtonIconOnly);
    for (const char* name : {"miSiteManager", "miSiteConnect", "miSiteDisconnect", "miNewSite", "miBookmark"})
        command_bar_->addAction(command(name));
    command_bar_->addSeparator();

    transfer_type_button_ = new QToolButton(command_bar_);
    transfer_type_button_->setObjectName("TransferTypeButton");
    transfer_type_button_->setPopupMode(QToolButton::InstantPopup);
    auto* type_menu = new QMenu(transfer_type_button_);
    type_menu->addActions(type_group_button_->actions());
    transfer_type_button_->setMenu(type_menu);
    command_bar_->addWidget(transfer_type_button_);
    command_bar_->addAction(command("miQKillAll"));
    command_bar_->addAction(command("miQC"));
    if (auto* qc = qobject_cast<QToolButton*>(command_bar_->widgetForAction(command("miQC"))))
        qc->setPopupMode(QToolButton::InstantPopup);
    command_bar_->addAction(command("miSync"));
    command_bar_->addSeparator();
    command_bar_->addAction(command("miSettings"));
    addToolBar(Qt::TopToolBarArea, command_bar_);
    set_transfer_type(0);
}

void TqorxVTF::show_certificate()
{
    certificate_prompt::show_connection(security_, language_, this);
}

void TqorxVTF::update_commands()
{
    if (QAction* a = command("miSiteDisconnect"))
        a->setEnabled(connected_);
    if (QAction* a = command("miBookmark"))
        a->setEnabled(logged_in_ && links_.profiles);
    if (QAction* a = command("miCertificate"))
        a->setEnabled(connected_);
}

void TqorxVTF::set_transfer_type(int type)
{
    if (type < 0 || type > 2)
        type = 0;
    transfer_type_ = type;
    if (links_.queue)
        links_.queue->default_transfer_type = type;
    transfer_type_button_->setIcon(program_icons::icon(program_icons::type_binary + type));
    static const int hints[3] = {108, 109, 258};
    transfer_type_button_->setToolTip(phrase(hints[type]));
    for (size_t i = 0; i < type_items_.size(); ++i)
        type_items_[i]->setChecked(static_cast<int>(i % 3) == type);
}

// ---- bands ----

std::string TqorxVTF::band_config() const
{
    // Position: the band's place in the band bar, line by line, left to right.
    std::vector<QToolBar*> bands = {command_bar_, menu_band_};
    std::sort(bands.begin(), bands.end(),
              [](QToolBar* a, QToolBar* b) { return a->y() != b->y() ? a->y() < b->y() : a->x() < b->x(); });
    std::ostringstream out;
    for (size_t i = 0; i < bands.size(); ++i) {
        QToolBar* band = bands[i];
        const int id = band == command_bar_ ? command_band : menu_band;
        const bool line_break = i > 0 && toolBarBreak(band);
        out << (i ? ";" : "") << id << ',' << i << ',' << band->width() << ',' << (line_break ? 1 : 0);
    }
    return out.str();
}

void TqorxVTF::restore_bands(const std::string& config)
{
    struct band_place {
        QToolBar* band;
        long position;
        bool line_break;
    };
    std::map<int, band_place> places;
    std::istringstream entries(config);
    std::string entry;
    while (std::getline(entries, entry, ';')) {
        std::vector<long> numbers;
        std::istringstream fields(entry);
        std::string field;
        while (std::getline(fields, field, ',')) {
            char* end = nullptr;
            const long value = std::strtol(field.c_str(), &end, 10);
            if (field.empty() || (end && *end))
                break;
            numbers.push_back(value);
        }
        if (numbers.size() < 4)
            continue;
        QToolBar* band = numbers[0] == command_band ? command_bar_ : numbers[0] == menu_band ? menu_band_ : nullptr;
        if (!band)
            continue;  // a band this window does not have
        places[static_cast<int>(numbers[0])] = {band, numbers[1], numbers[3] != 0};
    }
    if (places.empty())
        return;
    // Bands the record does not name keep their order after the named ones.
    std::vector<band_place> order;
    for (QToolBar* band : {menu_band_, command_bar_}) {
        const int id = band == command_bar_ ? command_band : menu_band;
        auto found = places.find(id);
        order.push_back(found != places.end() ? found->second
                                              : band_place{band, 1000L + static_cast<long>(order.size()), true});
    }
    std::stable_sort(order.begin(), order.end(),
                     [](const band_place& a, const band_place& b) { return a.position < b.position; });
    for (const band_place& p : order) {
        removeToolBarBreak(p.band);
        removeToolBar(p.band);
    }
    for (size_t i = 0; i < order.size(); ++i) {
        if (i > 0 && order[i].line_break)
            addToolBarBreak(Qt::TopToolBarArea);
        addToolBar(Qt::TopToolBarArea, order[i].band);
        order[i].band->show();
    }
}

// ---- commands ----

void TqorxVTF::disconnect_async()
{
    qvtf::qx_ftp_file_lister* remote = links_.remote;
    if (!remote)
        return;
    tasks_.start([remote] {
        remote->disconnect(true);
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    });
}

void TqorxVTF::ask_queue_mask()
{
    qvtf::qx_ftp_file_lister* remote = links_.remote;
    if (!remote || !links_.local || !links_.queue || !remote->session().logged_in()) {
        warn(436);
        return;
    }
    if (!mask_prompt_)
        mask_prompt_ = new qx_edit_dropdown_prompt(language_, this);
    mask_prompt_->set_caption_text(phrase(ph_queue_current));
    mask_prompt_->set_label_text(phrase(ph_queue_mask_label));
    mask_prompt_->set_initial_text("*");
    // The list offers files and folders, files only, folders only.
    mask_prompt_->set_callback(
        [this](void*, const QString& masks, int index) {
            static constexpr int modes[] = {3, 1, 2};
            queue_current_folder(index >= 0 && index < 3 ? modes[index] : 3, masks);
        },
        nullptr);
    mask_prompt_->show_prompt();
}

void TqorxVTF::queue_current_folder(int mode, const QString& masks)
{
    qvtf::qx_ftp_file_lister* remote = links_.remote;
    if (!remote || !links_.local || !links_.queue || !remote->session().logged_in()) {
        warn(436);
        return;
    }
    // The panes' own mask rules; no masks at all take every entry.
    qvtf::compiled_masks wanted;
    wanted.compile(qvtf::qxval(masks.toStdString()));
    std::vector<qvtf::qxfile_node*> nodes;
    const int32_t rows = remote->row_count();
    for (int32_t row = 0; row < rows; ++row) {
        qvtf::qxfile_node* node = remote->row_node(row);
        if (!node)
            continue;
        const bool folder = node->is_folder != 0;
        const bool kind = (mode & 1 && !folder) || (mode & 2 && folder);
        if (kind && (wanted.empty() || wanted.any_matches(node->name.view())))
            nodes.push_back(node);
    }
    if (!nodes.empty())
        links_.queue->put_nodes(1, std::move(nodes), links_.local->current_folder(), 0);
}

void TqorxVTF::execute_user_commands()
{
    qvtf::qx_ftp_file_lister* remote = links_.remote;
    if (!remote || !remote->session().logged_in() || !remote->profile()) {
        warn(436);
        return;
    }
    const qvtf::qxval script = qvtf::effective_site(remote->profile())->custom_commands;
    if (script.view().empty()) {
        tell(phrase(196), phrase(ph_no_user_commands), false);
        return;
    }
    // Run as a pane operation: it holds the session, and a failure shows its message.
    remote->run_async([remote, script] {
        const int code = remote->keep_result(remote->session().run_script(script));
        const int listed = remote->reload();
        return code ? code : listed;
    });
}

void TqorxVTF::bookmark_current_folders()
{
    qvtf::qx_ftp_file_lister* remote = links_.remote;
    if (!remote || !links_.profiles || !remote->session().logged_in() || !remote->profile()) {
        warn(436);
        return;
    }
    qvtf::ftp_profile* site = qvtf::effective_site(remote->profile());
    const qvtf::qxval folder = remote->current_path();
    const qvtf::qxval local_folder = links_.local ? links_.local->current_path() : qvtf::qxval("");
    for (qvtf::ftp_profile* child = site->first_child; child; child = child->next) {
        if (child->is_bookmark() && child->directory.view() == folder.view() &&
            child->local_dir.view() == local_folder.view()) {
            tell(phrase(196), phrase(ph_bookmark_exists) + to_qt(folder), false);
            return;
        }
    }
    qvtf::ftp_profile* mark = qvtf::ftp_profile::make(qvtf::profile_bookmark);
    if (!mark)
        return;
    mark->label = folder;
    mark->directory = folder;
    mark->local_dir = local_folder;
    links_.profiles->tree.append_child(mark, site);
    if (links_.folders && links_.settings && links_.folders->ensure_user_folder())
        links_.profiles->save(qvtf::qxval(links_.folders->user_file("site_profiles.xml")), links_.settings->key);
    log_->write(one_line(phrase(ph_bookmark_added).toStdString() + folder.str()), 2);
}

QString TqorxVTF::help_folder() const
{
    return QString::fromStdString((links_.folders ? links_.folders->program : std::string()) + "help/");
}

void TqorxVTF::open_synchronisation()
{
    if (!links_.remote || !links_.remote->session().logged_in()) {
        warn(284);
        return;
    }
#ifdef QVTF_HAVE_SYNC_FORM
    sync_form_engine engine;
    engine.settings = links_.settings;
    engine.remote = links_.remote;
    engine.local = links_.local;
    engine.queue = links_.queue;
    engine.resolver = links_.resolver;
    TSyncForm wizard(language_, this);
    wizard.set_help_folder(help_folder());
    wizard.prepare(links_.local ? to_qt(links_.local->current_path()) : QString(),
                   to_qt(links_.remote->session().current_path()), engine);
    wizard.exec();
#endif
}

void TqorxVTF::open_site_manager(bool new_site)
{
#ifdef QVTF_HAVE_SITE_MANAGER
    if (!links_.profiles || !links_.settings || !links_.folders)
        return;
    TSiteManagerForm manager(*links_.profiles, language_, this);
    manager.set_profile_path(qvtf::qxval(links_.folders->user_file("site_profiles.xml")));
    manager.set_key(links_.settings->key);
    manager.set_help_folder(help_folder());
    qvtf::ftp_queue_process_manager* queue = links_.queue;
    // The connected site (or its bookmarks' parent) is not deleted under the pane.
    qvtf::qx_ftp_file_lister* remote = links_.remote;
    manager.in_use = [remote](const qvtf::ftp_profile* node) {
        return remote && remote->profile() && node == remote->profile();
    };
    manager.shared_write = under_queue_lock(queue);
    manager.password_storage = links_.settings->password_storage;
    manager.on_connect = [this, queue](qvtf::ftp_profile* site) {
        if (queue && site &&
            password_for_connect(this, language_, links_.settings->password_storage, site, under_queue_lock(queue)))
            queue->set_profile(site);
    };
    manager.open_modal(new_site);
    if (links_.settle_passwords)
        links_.settle_passwords();
#else
    (void)new_site;
#endif
}

void TqorxVTF::open_settings()
{
#ifdef QVTF_HAVE_SETTINGS_FORM
    if (!links_.settings)
        return;
    TSettings dialog(*links_.settings, language_, this);
    dialog.set_panes(links_.local, links_.remote);
    if (links_.folders)
        dialog.set_folders(*links_.folders);
    qvtf::ftp_queue_process_manager* queue = links_.queue;
    qvtf::qx_ftp_file_lister* remote = links_.remote;
    dialog.shared_write = under_queue_lock(queue);
    dialog.apply_queue = [this, queue](const qvtf::global_ftp_settings& s) {
        if (queue)
            queue->apply_settings(s);
        set_transfer_type(s.transfer_type);
    };
    dialog.apply_connection = [remote](const qvtf::global_ftp_settings& s) {
        if (!remote)
            return;
        qvtf::remote_session& session = remote->session();
        qvtf::remote_options options = session.options();
        qvtf::apply_data_connection_settings(s, options);
        session.configure(session.site(), options);
    };
    if (dialog.open_modal() == QDialog::Accepted) {
        configure_log_files();
        if (links_.settle_passwords)
            links_.settle_passwords();
    }
#endif
}

void TqorxVTF::wire_pane_dialogs()
{
    if (!links_.settings || !links_.local || !links_.remote)
        return;
    // One of each for the run, as the panes ask for them again and again.
    auto* props = new TFilePropsForm(*links_.settings, language_, this);
    auto* filter = new TFileFilterForm(*links_.settings, language_, this);
    qvtf::qx_local_file_lister* local = links_.local;
    qvtf::qx_ftp_file_lister* remote = links_.remote;
    local_pane_->properties_hook = [props, local](pane_widget&, std::vector<qvtf::qxfile_node*> nodes) {
        props->exec_for(*local, std::move(nodes));
    };
    remote_pane_->properties_hook = [props, remote](pane_widget&, std::vector<qvtf::qxfile_node*> nodes) {
        props->exec_for(*remote, std::move(nodes));
    };
    local_pane_->filter_hook = [filter, local](pane_widget&, std::vector<qvtf::qxfile_node*>) {
        filter->exec_for(*local, false);
    };
    remote_pane_->filter_hook = [filter, remote](pane_widget&, std::vector<qvtf::qxfile_node*>) {
        filter->exec_for(*remote, true);
    };
}

void TqorxVTF::open_about()
{
#ifdef QVTF_HAVE_ABOUT_BOX
    TAboutBox(language_, this).exec();
#endif
}

void TqorxVTF::open_help(const char* page)
{
    const QString failure = opener.open(help_folder() + page, false, language_);
    if (!failure.isEmpty())
        tell(phrase(12, "Error"), failure, true);
}
