#include "app/main_window.h"

#include <QApplication>
#include <QCloseEvent>
#include <QDockWidget>
#include <QGuiApplication>
#include <QHeaderView>
#include <QItemSelectionModel>
#include <QLabel>
#include <QMessageBox>
#include <QScreen>
#include <QStatusBar>
#include <QSplitter>
#include <QTableView>
#include <QTimer>
#include <QToolBar>
#include <algorithm>

#include "app/edit_in_place.h"
#include "app/file_list_model.h"
#include "app/log_view.h"
#include "app/log_view_files.h"
#include "app/pane_view.h"
#include "app/pane_widget.h"
#include "app/prompts_messages.h"
#include "app/queue_finished_model.h"
#include "app/queue_widget.h"
#include "app/ui_queue_manager.h"
#include "browse/qx_ftp_file_lister.h"
#include "browse/qx_local_file_lister.h"
#include "markup/qxlang.h"
#include "profiles/ftp_profile.h"
#include "queue/ftp_queue_process_manager.h"
#include "settings/global_ftp_settings.h"

namespace {

QByteArray from_base64(const std::string& text)
{
    return QByteArray::fromBase64(QByteArray::fromStdString(text));
}

std::string to_base64(const QByteArray& bytes)
{
    return bytes.toBase64().toStdString();
}

constexpr int browser_wait_ms = 10000;

// Each finished transfer goes into the transfer log, then on to whoever
// watched the queue before.
class transfer_log_observer : public qvtf::queue_observer {
public:
    transfer_log_observer(std::shared_ptr<log_files> files, qvtf::queue_observer* next)
        : files_(std::move(files)), next_(next)
    {
    }
    void on_finished(const qvtf::queue_item_result& result) override
    {
        files_->transfer(result);
        if (next_)
            next_->on_finished(result);
    }

private:
    std::shared_ptr<log_files> files_;
    qvtf::queue_observer* next_;
};

}  // namespace

TqorxVTF::TqorxVTF(const qvtf::qxlang* language, ui_queue_manager* queue_model, QWidget* parent)
    : QMainWindow(parent), language_(language), queue_model_(queue_model)
{
    setObjectName("TqorxVTF");
    setDockOptions(QMainWindow::AnimatedDocks | QMainWindow::AllowNestedDocks);

    middle_ = new QSplitter(Qt::Horizontal, this);
    middle_->setObjectName("MiddleZone");
    middle_->setChildrenCollapsible(false);
    local_pane_ = new pane_widget(false, language_, middle_);
    local_pane_->setObjectName("LocalBrowserPanel");
    remote_pane_ = new pane_widget(true, language_, middle_);
    remote_pane_->setObjectName("RemoteBrowserPanel");
    local_pane_->set_other(remote_pane_);
    remote_pane_->set_other(local_pane_);
    middle_->addWidget(local_pane_);
    middle_->addWidget(remote_pane_);
    setCentralWidget(middle_);

    log_ = new log_view(this);
    files_ = std::make_shared<log_files>();
    log_->set_files(files_.get());
    log_->set_source_names(phrase(935, "browser"), phrase(936, "worker "));
    log_panel_ = make_panel("LogRichEdit", phrase(708, "Log"), log_);

    if (!queue_model_)
        queue_model_ = new ui_queue_manager(language_, this);
    queue_widget_ = new queue_widget(queue_model_, language_, this);
    queue_panel_ = make_panel("QueuePanel", phrase(259, "Queue"), queue_widget_);

    addDockWidget(Qt::TopDockWidgetArea, log_panel_);
    addDockWidget(Qt::BottomDockWidgetArea, queue_panel_);
    build_commands();
    build_menus();
    build_toolbar();

    // One box at a time, modal to the window: Enter answers the box, never the panes.
    ask = [this](const QString& caption, const QString& text) { return message_stack::of(this).ask(caption, text); };
    tell = [this](const QString& caption, const QString& text, bool error) {
        message_stack::of(this).show(error ? QMessageBox::Critical : QMessageBox::Warning, caption, text);
    };
    connect(queue_model_, &ui_queue_manager::error_box, this,
            [this](const QString& caption, const QString& text) { tell(caption, text, true); });
    set_state_text(phrase(196, "Not connected"));
    update_commands();
}

TqorxVTF::~TqorxVTF()
{
    tasks_.wait_idle();
    log_->set_files(nullptr);
    if (finished_feed_)
        finished_feed_->detach();
}

void TqorxVTF::configure_log_files()
{
    if (links_.settings && links_.folders)
        files_->configure(*links_.settings, *links_.folders);
}

QString TqorxVTF::phrase(int number, const char* fallback) const
{
    const char* text = language_ ? language_->phrase(number) : nullptr;
    return QString::fromUtf8(text && *text ? text : fallback);
}

void TqorxVTF::warn(int text_phrase)
{
    tell(phrase(196, "Warning"), phrase(text_phrase), false);
}

QWidget& TqorxVTF::local_panel() const
{
    return *local_pane_;
}

QWidget& TqorxVTF::remote_panel() const
{
    return *remote_pane_;
}

file_list_model& TqorxVTF::local_model() const
{
    return local_pane_->model();
}

file_list_model& TqorxVTF::remote_model() const
{
    return remote_pane_->model();
}

QTableView& TqorxVTF::local_list() const
{
    return local_pane_->list_view();
}

QTableView& TqorxVTF::remote_list() const
{
    return remote_pane_->list_view();
}

QDockWidget* TqorxVTF::make_panel(const char* name, const QString& title, QWidget* content)
{
    auto* panel = new QDockWidget(title, this);
    panel->setObjectName(name);
    panel->setAllowedAreas(panel_areas);
    panel->setFeatures(QDockWidget::DockWidgetMovable | QDockWidget::DockWidgetClosable);
    panel->setWidget(content);
    panel->installEventFilter(this);
    return panel;
}

// ---- zones ----

bool TqorxVTF::dock_panel(QDockWidget* panel, zone where)
{
    if (where == middle_zone)
        return false;
    return dock_panel(panel, where == top_zone ? Qt::TopDockWidgetArea : Qt::BottomDockWidgetArea);
}

bool TqorxVTF::dock_panel(QDockWidget* panel, Qt::DockWidgetArea area)
{
    if (!panel || !panel->isAreaAllowed(area))
        return false;
    if (!panel->isHidden() && dockWidgetArea(panel) != area)
        panel_hidden(panel);
    const bool was_empty = !zone_has_visible(area, panel);
    addDockWidget(area, panel);
    panel->show();
    if (was_empty)
        give_zone_height(panel);
    return true;
}

int TqorxVTF::remembered_height(zone where) const
{
    return where == top_zone ? top_height_ : where == bottom_zone ? bottom_height_ : 0;
}

bool TqorxVTF::zone_has_visible(Qt::DockWidgetArea area, const QDockWidget* besides) const
{
    for (QDockWidget* panel : {log_panel_, queue_panel_})
        if (panel != besides && !panel->isHidden() && !panel->isFloating() && dockWidgetArea(panel) == area)
            return true;
    return false;
}

void TqorxVTF::panel_hidden(QDockWidget* panel)
{
    const Qt::DockWidgetArea area = dockWidgetArea(panel);
    if (panel->isFloating() || zone_has_visible(area, panel) || panel->height() <= 0)
        return;
    // The zone collapses; its height comes back with the next panel shown in it.
    const bool top = area == Qt::TopDockWidgetArea;
    (top ? top_height_ : bottom_height_) = panel->height();
    (top ? top_collapsed_ : bottom_collapsed_) = true;
}

void TqorxVTF::panel_shown(QDockWidget* panel)
{
    const Qt::DockWidgetArea area = dockWidgetArea(panel);
    bool& collapsed = area == Qt::TopDockWidgetArea ? top_collapsed_ : bottom_collapsed_;
    if (panel->isFloating() || !collapsed)
        return;
    collapsed = false;
    give_zone_height(panel);
}

void TqorxVTF::give_zone_height(QDockWidget* panel)
{
    const bool top = dockWidgetArea(panel) == Qt::TopDockWidgetArea;
    (top ? top_collapsed_ : bottom_collapsed_) = false;
    const int remembered = top ? top_height_ : bottom_height_;
    const int height = remembered > 0 ? remembered : top ? default_top_height_ : default_bottom_height_;
    resizeDocks({panel}, {height}, Qt::Vertical);
    // A panel that is being shown is laid out later: once more when it has been.
    QTimer::singleShot(0, this, [this, panel, height] {
        if (!panel->isHidden())
            resizeDocks({panel}, {height}, Qt::Vertical);
    });
}

bool TqorxVTF::eventFilter(QObject* watched, QEvent* event)
{
    auto* panel = qobject_cast<QDockWidget*>(watched);
    if (panel && (panel == log_panel_ || panel == queue_panel_)) {
        // Only an explicit hide or show of the panel, not the window's.
        if (event->type() == QEvent::Hide && panel->isHidden() && !shutting_down_)
            panel_hidden(panel);
        else if (event->type() == QEvent::Show && !event->spontaneous())
            panel_shown(panel);
    }
    return QMainWindow::eventFilter(watched, event);
}

// ---- layout ----

void TqorxVTF::restore_layout(const qvtf::global_ftp_values& values)
{
    default_top_height_ = values.top_zone_height > 0 ? values.top_zone_height : 80;
    default_bottom_height_ = values.bottom_zone_height > 0 ? values.bottom_zone_height : 100;
    place_window(values);
    if (values.middle_zone_stream_set && !values.middle_zone_stream.empty())
        middle_->restoreState(from_base64(values.middle_zone_stream));
    local_pane_->show();
    remote_pane_->show();

    // One layout record covers both dock zones (see save_layout).
    const std::string& stream = !values.top_zone_stream.empty() ? values.top_zone_stream : values.bottom_zone_stream;
    const bool stream_set = (values.top_zone_stream_set || values.bottom_zone_stream_set) && !stream.empty();
    bool placed_log = false, placed_queue = false;
    if (stream_set) {
        auto place = [&](const std::vector<std::string>& names, Qt::DockWidgetArea area) {
            for (const std::string& name : names) {
                if (name == "QueuePanel" && !placed_queue)
                    placed_queue = (addDockWidget(area, queue_panel_), true);
                else if (name == "LogRichEdit" && !placed_log)
                    placed_log = (addDockWidget(area, log_panel_), true);
            }
        };
        place(values.top_zone_controls, Qt::TopDockWidgetArea);
        place(values.bottom_zone_controls, Qt::BottomDockWidgetArea);
    }
    if (!placed_log)
        addDockWidget(Qt::TopDockWidgetArea, log_panel_);
    if (!placed_queue)
        addDockWidget(Qt::BottomDockWidgetArea, queue_panel_);
    const bool restored = stream_set && restoreState(from_base64(stream));
    if (!restored) {
        log_panel_->show();
        queue_panel_->show();
        resizeDocks({log_panel_, queue_panel_}, {default_top_height_, default_bottom_height_}, Qt::Vertical);
    }
    // A zone whose panels the record left hidden keeps the stored height for later.
    top_collapsed_ = !zone_has_visible(Qt::TopDockWidgetArea, nullptr);
    if (top_collapsed_)
        top_height_ = default_top_height_;
    bottom_collapsed_ = !zone_has_visible(Qt::BottomDockWidgetArea, nullptr);
    if (bottom_collapsed_)
        bottom_height_ = default_bottom_height_;
    if (values.coolband_config_set)
        restore_bands(values.coolband_config);
}

QRect TqorxVTF::first_bounds(const QRect& screen)
{
    // A generous share of the screen, centred, so that the title bar is
    // on the screen under any window manager.
    const QSize size(std::max(std::min(800, screen.width()), screen.width() * 4 / 5),
                     std::max(std::min(560, screen.height()), screen.height() * 4 / 5));
    QRect bounds(QPoint(), size);
    bounds.moveCenter(screen.center());
    return bounds;
}

void TqorxVTF::place_window(const qvtf::global_ftp_values& values)
{
    const qvtf::global_ftp_values defaults;
    const QRect stored(values.program_left, values.program_top, values.program_width, values.program_height);
    const bool first_start =
        values.program_left == defaults.program_left && values.program_top == defaults.program_top &&
        values.program_width == defaults.program_width && values.program_height == defaults.program_height;
    // Bounds kept from a screen that is no longer there count as none.
    bool on_a_screen = false;
    for (const QScreen* screen : QGuiApplication::screens())
        on_a_screen = on_a_screen || screen->availableGeometry().intersects(stored);
    if (!first_start && stored.width() > 0 && stored.height() > 0 && on_a_screen) {
        setGeometry(stored);
        return;
    }
    const QScreen* screen = QGuiApplication::primaryScreen();
    if (screen)
        setGeometry(first_bounds(screen->availableGeometry()));
}

void TqorxVTF::save_layout(qvtf::global_ftp_values& values) const
{
    const QRect bounds = geometry();
    values.program_left = bounds.x();
    values.program_top = bounds.y();
    values.program_width = bounds.width();
    values.program_height = bounds.height();
    values.top_zone_controls.clear();
    values.bottom_zone_controls.clear();
    int top = top_height_, bottom = bottom_height_;
    for (QDockWidget* panel : {log_panel_, queue_panel_}) {
        const Qt::DockWidgetArea area = dockWidgetArea(panel);
        const bool in_top = area == Qt::TopDockWidgetArea;
        (in_top ? values.top_zone_controls : values.bottom_zone_controls).push_back(panel->objectName().toStdString());
        if (!panel->isHidden() && !panel->isFloating() && panel->height() > 0)
            (in_top ? top : bottom) = panel->height();
    }
    if (top > 0)
        values.top_zone_height = top;
    if (bottom > 0)
        values.bottom_zone_height = bottom;
    // Qt keeps both dock zones in one record; it goes under the top key and
    // the bottom key stays empty (both flags set, so either restores it).
    values.top_zone_stream = to_base64(saveState());
    values.top_zone_stream_set = true;
    values.bottom_zone_stream.clear();
    values.bottom_zone_stream_set = true;
    values.middle_zone_stream = to_base64(middle_->saveState());
    values.middle_zone_stream_set = true;
    values.coolband_config = band_config();
    values.coolband_config_set = true;
}

// ---- title ----

void TqorxVTF::set_state_text(const QString& text)
{
    state_text_ = text;
    const QString title = QString::fromLatin1(program_title) + phrase(500, " - FTP client") + " [" + text + "]";
    setWindowTitle(title);
    QApplication::setApplicationDisplayName(QString());
    emit state_changed(text);
}

void TqorxVTF::set_security(const qvtf::connection_security& security)
{
    security_ = security;
    show_lock();
}

void TqorxVTF::show_lock()
{
    // Only an open connection is protected, whatever the last one was.
    const bool shown = connected_ && security_.encrypted;
    QString detail;
    if (shown)
        detail = QString::fromStdString(security_.version + ", " + security_.cipher);
    remote_pane_->set_encrypted(shown, detail);
    if (!status_lock_) {
        status_lock_ = new QLabel(this);
        status_lock_->setObjectName("StatusLock");
        status_lock_->setPixmap(remote_pane_->lock_label().pixmap());
        statusBar()->insertPermanentWidget(0, status_lock_);
    }
    status_lock_->setVisible(shown);
    status_lock_->setToolTip(detail);
}

void TqorxVTF::set_connection_state(qvtf::remote_state state, const QString& host)
{
    connected_ = state == qvtf::remote_state::connected || state == qvtf::remote_state::logged_in;
    logged_in_ = state == qvtf::remote_state::logged_in;
    show_lock();
    if (logged_in_ && edits_)
        edits_->browser_logged_in();
    if (connected_)
        files_->set_host(host.toStdString());
    switch (state) {
    case qvtf::remote_state::connecting: set_state_text(phrase(249, "Connecting to ") + host); break;
    case qvtf::remote_state::connected:
    case qvtf::remote_state::logged_in:
        // The lock: this connection is encrypted.
        set_state_text((security_.encrypted ? phrase(1036, "[TLS] ") : QString()) + phrase(7, "Connected to ") + host);
        break;
    case qvtf::remote_state::disconnected: set_state_text(phrase(196, "Not connected")); break;
    case qvtf::remote_state::closing: break;
    }
    update_commands();
}

// ---- closing ----

void TqorxVTF::closeEvent(QCloseEvent* event)
{
    if (closing_ || !links_.queue) {
        closing_ = true;
        event->accept();
        return;
    }
    event->ignore();
    if (shutting_down_)
        return;
    if (edits_ && !edits_->may_close())
        return;
    if (links_.queue->item_count() != 0 && !ask(phrase(197, "Exit"), phrase(195)))
        return;
    start_shutdown();
}

void TqorxVTF::start_shutdown()
{
    shutting_down_ = true;
    qvtf::ftp_queue_process_manager* queue = links_.queue;
    qvtf::qx_ftp_file_lister* remote = links_.remote;
    tasks_.start([this, queue, remote] {
        // What is left is offered again at the next start.
        save_queue_items();
        // Stops every transfer and waits for the queue's threads.
        queue->close();
        queue->open();
        if (remote) {
            qvtf::remote_session_lock hold(remote->session(), browser_wait_ms);
            if (hold)
                remote->disconnect(false);
        }
        QMetaObject::invokeMethod(
            this,
            [this] {
                closing_ = true;
                close();
            },
            Qt::QueuedConnection);
    });
}

bool TqorxVTF::event(QEvent* event)
{
    if (event->type() == QEvent::WindowActivate && first_activation_) {
        first_activation_ = false;
        // After the activation has been handled, so the dialog opens above the window.
        QTimer::singleShot(0, this, [this] {
            // The question about the last session's queue comes first; its yes connects.
            if (offering_queue_)
                site_manager_after_offer_ = true;
            else
                open_site_manager(false);
        });
    }
    return QMainWindow::event(event);
}

void TqorxVTF::setup(const window_links& links)
{
    links_ = links;
    for (pane_widget* pane : {local_pane_, remote_pane_}) {
        pane->set_queue(links_.queue);
        pane->set_settings(links_.settings);
    }
    build_pane_menus();
    wire_pane_dialogs();
    set_state_text(phrase(196, "Not connected"));
    configure_log_files();
    if (links_.queue) {
        set_transfer_type(links_.queue->default_transfer_type);
        // Each finished transfer goes into the transfer log, then on as before.
        // The queue keeps it, as it may outlive the window.
        auto log = std::make_shared<transfer_log_observer>(files_, links_.queue->observer);
        links_.queue->observer = log.get();
        links_.queue->keep_observer(std::move(log));
        wire_queue_extras();
    }
    wire_quick_connect();
    wire_edit_in_place();
    if (links_.settings)
        restore_layout(*links_.settings);
    if (QAction* tree = command("miLocalBrowserFoldersView"))
        tree->setChecked(local_pane_->folders_visible());
    if (QAction* tree = command("miRemoteBrowserFoldersView"))
        tree->setChecked(remote_pane_->folders_visible());
    update_commands();
}
