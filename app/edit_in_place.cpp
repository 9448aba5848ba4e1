#include "app/edit_in_place.h"

#include <QDesktopServices>
#include <QEvent>
#include <QFileInfo>
#include <QFileSystemWatcher>
#include <QProcess>
#include <QTimer>
#include <QUrl>
#include <QWidget>
#include <mutex>
#include <vector>

#include "app/edit_list_dialog.h"
#include "app/qt_text.h"
#include "browse/qx_ftp_file_lister.h"
#include "markup/qxlang.h"
#include "profiles/ftp_profile.h"
#include "queue/ftp_queue_process_manager.h"
#include "remote/remote_session_lock.h"
#include "settings/global_ftp_settings.h"

namespace {

// The copy and the file it was made from replace each other by design:
// the target-exists choice never asks about them.
std::unique_ptr<qvtf::ftp_queue_item> settled(const qvtf::saved_item& saved)
{
    std::unique_ptr<qvtf::ftp_queue_item> item = qvtf::item_of(saved);
    if (item)
        item->exists_settled = true;
    return item;
}

enum edit_phrase : int {
    ph_caption = 1464,
    ph_upload_question = 1465,
    ph_editor_failed = 1466,
    ph_no_application = 1467,
    ph_download_failed = 1468,
    ph_only_files = 1469,
    ph_bad_name = 1470,
    ph_switch_site = 1471,
    ph_queue_busy = 1472,
    ph_discard_one = 1473,
    ph_not_all_uploaded = 1478,
    ph_no_folder = 1485,
    ph_connect_first = 379,
};

// Editors write in several steps; one look after they are done is enough.
constexpr int check_delay_ms = 300;
// How long an upload waits for the browser connection to log in to its site.
constexpr int login_wait_ms = 60000;
constexpr int idle_poll_ms = 100;

}  // namespace

// Hands the queue's reports about edited files to the window's thread. The
// queue keeps it and may outlive the controller, which detaches it first.
class edit_feed : public qvtf::queue_observer {
public:
    edit_feed(edit_in_place* target, qvtf::queue_observer* next) : target_(target), next_(next) {}

    void detach()
    {
        std::lock_guard held(mutex_);
        target_ = nullptr;
    }
    void set_folder(std::string folder)
    {
        std::lock_guard held(mutex_);
        folder_ = std::move(folder) + "/";
    }
    void on_finished(const qvtf::queue_item_result& result) override
    {
        {
            std::lock_guard held(mutex_);
            if (target_ && !result.is_folder && folder_.size() > 1 && result.local_path.view().starts_with(folder_))
                QMetaObject::invokeMethod(
                    target_, [target = target_, result] { target->finished(result); }, Qt::QueuedConnection);
        }
        if (next_)
            next_->on_finished(result);
    }

private:
    std::mutex mutex_;
    edit_in_place* target_;  // under mutex_; null once detached
    std::string folder_;     // under mutex_
    qvtf::queue_observer* next_;
};

edit_in_place::edit_in_place(const qvtf::qxlang* language, QWidget* window, std::string base_folder)
    : QObject(window), language_(language), window_(window), registry_(std::move(base_folder))
{
    setObjectName("EditInPlace");
    watcher_ = new QFileSystemWatcher(this);
    check_timer_ = new QTimer(this);
    check_timer_->setSingleShot(true);
    check_timer_->setInterval(check_delay_ms);
    connect(check_timer_, &QTimer::timeout, this, &edit_in_place::check_now);
    idle_poll_ = new QTimer(this);
    idle_poll_->setInterval(idle_poll_ms);
    connect(idle_poll_, &QTimer::timeout, this, &edit_in_place::send_after_login);
    login_wait_ = new QTimer(this);
    login_wait_->setSingleShot(true);
    login_wait_->setInterval(login_wait_ms);
    connect(login_wait_, &QTimer::timeout, this, [this] {
        idle_poll_->stop();
        std::vector<int> waiting;
        waiting.swap(after_login_);
        for (int id : waiting)
            fail_upload(id, phrase(ph_connect_first, "Connect to a site before transferring files."));
        close_when_uploaded();
    });
    // A save by rename drops the file from the watch list: the folder still
    // sees it, and the file is watched again.
    auto rewatch = [this] {
        for (const auto& [id, e] : registry_.entries())
            if (QString path = QString::fromStdString(e.local_path);
                !watcher_->files().contains(path) && QFileInfo::exists(path))
                watcher_->addPath(path);
        schedule_check();
    };
    connect(watcher_, &QFileSystemWatcher::fileChanged, this, rewatch);
    connect(watcher_, &QFileSystemWatcher::directoryChanged, this, rewatch);
    if (window_)
        window_->installEventFilter(this);
}

edit_in_place::~edit_in_place()
{
    if (feed_)
        feed_->detach();
}

QString edit_in_place::phrase(int number, const char* fallback) const
{
    const char* text = language_ ? language_->phrase(number) : nullptr;
    return QString::fromUtf8(text && *text ? text : fallback);
}

void edit_in_place::attach(qvtf::ftp_queue_process_manager* queue, const qvtf::global_ftp_settings* settings,
                           qvtf::qx_ftp_file_lister* remote)
{
    queue_ = queue;
    settings_ = settings;
    remote_ = remote;
    if (!queue_)
        return;
    feed_ = std::make_shared<edit_feed>(this, queue_->observer);
    queue_->observer = feed_.get();
    queue_->keep_observer(feed_);
}

bool edit_in_place::eventFilter(QObject* watched, QEvent* event)
{
    // Back from the editor: some save where no watcher sees it.
    if (watched == window_ && event->type() == QEvent::WindowActivate && !registry_.entries().empty())
        schedule_check();
    return QObject::eventFilter(watched, event);
}

void edit_in_place::schedule_check()
{
    check_timer_->start();
}

void edit_in_place::view_edit(qvtf::qxfile_node* node)
{
    const QString caption = phrase(ph_caption, "Edit in place");
    if (!queue_ || !remote_ || !node)
        return;
    const qvtf::ftp_profile* site = queue_->profile();
    const std::string key = site_key ? site_key(site) : std::string();
    if (!remote_->is_ready() || key.empty()) {
        tell(caption, phrase(ph_connect_first, "Connect to a site before transferring files."), false);
        return;
    }
    std::string name, path;
    bool folder = false, link = false;
    int64_t size = -1;
    std::time_t modified = 0;
    {
        qvtf::qxfile_tree::reader hold(remote_->tree());
        name = node->name.str();
        folder = node->is_folder != 0;
        link = node->is_link();
        if (node->size_known() && !link)
            size = static_cast<int64_t>(node->size());
        modified = node->modified;
        qvtf::qxval full;
        remote_->path_of(node, full);
        path = full.str();
    }
    if (folder) {
        tell(caption, phrase(ph_only_files, "Only a file can be viewed or edited."), false);
        return;
    }
    // The queue names the copy as the remote file; one it would have to
    // rename cannot go back up.
    if (qvtf::edit_registry::safe_name(name) != name || path.empty()) {
        tell(caption,
             phrase(ph_bad_name, "The name %1 cannot be used for a local file.").arg(QString::fromStdString(name)),
             true);
        return;
    }
    bool created = false;
    std::string error;
    qvtf::edit_entry* e = registry_.open(key, path, created, error);
    if (!e) {
        tell(caption,
             phrase(ph_no_folder, "The private folder for edited files could not be made: %1")
                 .arg(QString::fromStdString(error)),
             true);
        return;
    }
    if (!created) {
        // Shared: the copy that is there (or on its way) is the one edited.
        if (e->state != qvtf::edit_state::downloading)
            open_editor(*e);
        emit entries_changed();
        return;
    }
    feed_->set_folder(registry_.folder());
    // The copy the queue logs in with after a switch is its profile: it
    // stays, and so does every earlier one the panes may still point to.
    if (std::unique_ptr<qvtf::ftp_profile>& kept = sites_[key]; kept.get() != site) {
        auto copy = std::make_unique<qvtf::ftp_profile>(*site);
        copy->parent = copy->next = copy->first_child = copy->prev = nullptr;
        if (kept)
            retired_sites_.push_back(std::move(kept));
        kept = std::move(copy);
    }

    qvtf::saved_item item;
    item.is_download = 1;
    item.is_link = link ? 1 : 0;
    item.name = name;
    item.local_folder = e->local_folder();
    item.remote_folder = e->remote_folder();
    item.size = size;
    item.modified_time = modified;
    // Byte for byte both ways: what goes up is what came down, edits aside.
    item.transfer_type = 0;
    const int id = e->id;
    if (queue_->append_item(settled(item)) != 0) {
        registry_.forget(id);
        tell(caption,
             phrase(ph_download_failed, "%1 could not be downloaded for editing. %2")
                 .arg(QString::fromStdString(path), QString()),
             true);
    }
    emit entries_changed();
}

void edit_in_place::finished(const qvtf::queue_item_result& result)
{
    qvtf::edit_entry* e = registry_.find_local(result.local_path.view());
    if (!e)
        return;
    const int id = e->id;
    const QString reason = to_qt(result.error_text);
    if (result.is_download && e->state == qvtf::edit_state::downloading) {
        if (!result.succeeded) {
            const QString path = QString::fromStdString(e->remote_path);
            registry_.forget(id);
            emit entries_changed();
            if (result.result_code != qvtf::status_stopped)
                tell(phrase(ph_caption, "Edit in place"),
                     phrase(ph_download_failed, "%1 could not be downloaded for editing. %2").arg(path, reason), true);
            return;
        }
        registry_.downloaded(id);
        watch(*e);
        emit entries_changed();
        open_editor(*e);
        return;
    }
    if (result.is_download || e->state != qvtf::edit_state::uploading)
        return;
    if (!result.succeeded) {
        fail_upload(id, reason.isEmpty() ? QString::number(result.result_code) : reason);
        close_when_uploaded();
        return;
    }
    const bool clean = registry_.uploaded(id);
    emit entries_changed();
    if (!clean)
        saved(id);  // saved again while it went up
    close_when_uploaded();
}

void edit_in_place::watch(const qvtf::edit_entry& e)
{
    const QString file = QString::fromStdString(e.local_path);
    const QString folder = QString::fromStdString(e.local_folder());
    if (!watcher_->files().contains(file))
        watcher_->addPath(file);
    if (!watcher_->directories().contains(folder))
        watcher_->addPath(folder);
}

bool edit_in_place::open_editor(const qvtf::edit_entry& e)
{
    const QString caption = phrase(ph_caption, "Edit in place");
    const QString file = QString::fromStdString(e.local_path);
    const QString command = settings_ ? QString::fromStdString(settings_->edit_command).trimmed() : QString();
    if (command.isEmpty()) {
        if (QDesktopServices::openUrl(QUrl::fromLocalFile(file)))
            return true;
        tell(
            caption,
            phrase(ph_no_application, "No application is set up to open %1. Name an editor in the settings.").arg(file),
            true);
        return false;
    }
    QStringList words = QProcess::splitCommand(command);
    const QString program = words.isEmpty() ? QString() : words.takeFirst();
    words << file;
    if (!program.isEmpty() && QProcess::startDetached(program, words))
        return true;
    tell(caption, phrase(ph_editor_failed, "The editor could not be started: %1").arg(command + " " + file), true);
    return false;
}

void edit_in_place::check_now()
{
    for (int id : registry_.check_changes())
        saved(id);
    emit entries_changed();
}

void edit_in_place::saved(int id)
{
    const qvtf::edit_entry* e = registry_.find(id);
    if (!e)
        return;
    emit entries_changed();
    if (settings_ && settings_->edit_upload_at_once) {
        upload(id);
        return;
    }
    const QString text = phrase(ph_upload_question, "The file %1 was saved. Upload it to %2?")
                             .arg(QString::fromStdString(e->name()), site_text(*e));
    if (ask(phrase(ph_caption, "Edit in place"), text))
        upload(id);
}

void edit_in_place::upload_now(int id)
{
    const qvtf::edit_entry* e = registry_.find(id);
    if (e && e->state != qvtf::edit_state::downloading && e->state != qvtf::edit_state::uploading)
        upload(id);
}

void edit_in_place::fail_upload(int id, const QString& reason)
{
    registry_.failed(id, reason.toStdString());
    emit entries_changed();
}

void edit_in_place::upload(int id)
{
    const qvtf::edit_entry* e = registry_.find(id);
    if (!e || !queue_)
        return;
    const std::string current = site_key ? site_key(queue_->profile()) : std::string();
    if (current != e->site) {
        // The queue's workers log in to one site: the file's own, or none.
        auto site = sites_.find(e->site);
        if (site == sites_.end() || queue_->item_count() != 0) {
            fail_upload(id, phrase(ph_queue_busy,
                                   "The queue is busy with transfers of another site; upload %1 when "
                                   "they are done.")
                                .arg(QString::fromStdString(e->name())));
            return;
        }
        const QString text = phrase(ph_switch_site,
                                    "%1 belongs to %2, but the remote pane shows another site. "
                                    "Connect to %2 and upload it?")
                                 .arg(QString::fromStdString(e->name()), site_text(*e));
        if (!ask(phrase(ph_caption, "Edit in place"), text))
            return;
        queue_->set_profile(site->second.get());
        // A worker takes the browser connection's protection and trust:
        // the upload waits until that connection has logged in there.
        login_wait_->start();
    }
    registry_.uploading(id);
    if (login_wait_->isActive()) {
        after_login_.push_back(id);
        emit entries_changed();
        return;
    }
    send(id);
}

void edit_in_place::browser_logged_in()
{
    if (login_wait_->isActive())
        idle_poll_->start();
}

void edit_in_place::send_after_login()
{
    // The login ends the connect, but the pane goes on into its start
    // folder; the queue looks at that folder when an item ends.
    if (remote_) {
        qvtf::remote_session_lock free(remote_->session());
        if (!free)
            return;
    }
    idle_poll_->stop();
    login_wait_->stop();
    std::vector<int> waiting;
    waiting.swap(after_login_);
    for (int id : waiting)
        send(id);
}

void edit_in_place::send(int id)
{
    const qvtf::edit_entry* e = registry_.find(id);
    if (!e)
        return;
    qvtf::saved_item item;
    item.name = e->name();
    item.local_folder = e->local_folder();
    item.remote_folder = e->remote_folder();
    item.size = e->sending.size;
    item.modified_time = static_cast<std::time_t>(e->sending.modified_ns / 1000000000);
    item.transfer_type = 0;
    if (!e->sending.exists || queue_->append_item(settled(item)) != 0)
        fail_upload(id, QString::fromStdString(e->local_path));
    emit entries_changed();
}

void edit_in_place::stop_editing(int id)
{
    const qvtf::edit_entry* e = registry_.find(id);
    if (!e || e->state == qvtf::edit_state::downloading || e->state == qvtf::edit_state::uploading)
        return;
    if (e->unsaved && !ask(phrase(ph_caption, "Edit in place"),
                           phrase(ph_discard_one, "The changes to %1 were not uploaded. Discard them?")
                               .arg(QString::fromStdString(e->name()))))
        return;
    watcher_->removePaths({QString::fromStdString(e->local_path), QString::fromStdString(e->local_folder())});
    registry_.forget(id);
    emit entries_changed();
}

bool edit_in_place::may_close()
{
    check_now();
    if (!registry_.has_unsaved())
        return true;
    QStringList names;
    for (const auto& [id, e] : registry_.entries())
        if (e.unsaved)
            names << QString::fromStdString(e.remote_path);
    const QString text = phrase(1474, "Files you edited have changes that were not uploaded: %1").arg(names.join(", "));
    switch (close_choice ? close_choice(text) : close_cancel) {
    case close_discard: registry_.remove_all(); return true;
    case close_cancel: return false;
    case close_upload_first: break;
    }
    closing_after_upload_ = true;
    std::vector<int> pending;
    for (const auto& [id, e] : registry_.entries())
        if (e.unsaved && e.state != qvtf::edit_state::uploading)
            pending.push_back(id);
    for (int id : pending)
        upload(id);
    close_when_uploaded();
    return false;
}

void edit_in_place::close_when_uploaded()
{
    if (!closing_after_upload_)
        return;
    for (const auto& [id, e] : registry_.entries())
        if (e.state == qvtf::edit_state::uploading)
            return;
    closing_after_upload_ = false;
    if (!registry_.has_unsaved()) {
        if (close_window)
            QTimer::singleShot(0, this, [this] { close_window(); });
        return;
    }
    tell(phrase(ph_caption, "Edit in place"),
         phrase(ph_not_all_uploaded, "Not all changed files could be uploaded; the program stays open."), true);
}

QString edit_in_place::site_text(const qvtf::edit_entry& e) const
{
    auto site = sites_.find(e.site);
    if (site != sites_.end() && !site->second->label.view().empty())
        return to_qt(site->second->label);
    return QString::fromStdString(e.site);
}

QString edit_in_place::state_text(const qvtf::edit_entry& e) const
{
    switch (e.state) {
    case qvtf::edit_state::downloading: return phrase(1458, "downloading");
    case qvtf::edit_state::open: return phrase(1459, "open in the editor");
    case qvtf::edit_state::changed: return phrase(1460, "changed, not uploaded");
    case qvtf::edit_state::uploading: return phrase(1461, "uploading");
    case qvtf::edit_state::uploaded: return phrase(1462, "uploaded");
    case qvtf::edit_state::failed: return phrase(1463, "failed: ") + QString::fromStdString(e.reason);
    }
    return {};
}

void edit_in_place::show_list()
{
    if (!list_)
        list_ = new edit_list_dialog(*this, language_, window_);
    list_->refresh();
    list_->show();
    list_->raise();
    list_->activateWindow();
}
