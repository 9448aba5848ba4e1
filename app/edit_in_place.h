// edit_in_place: "View/Edit" of remote files. The file comes down through
// the queue into a private folder, opens in the editor the settings name
// (or the desktop's application for its type), and is watched; a save is
// put to the user (or sent at once) and goes up through the queue to the
// remote path on the site it came from. Lives on the window's thread; the
// queue's reports reach it through queued calls.
#pragma once

#include <QObject>
#include <QString>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "queue/edit_registry.h"
#include "queue/queue_item_result.h"

class QFileSystemWatcher;
class QTimer;
class QWidget;
class edit_feed;
class edit_list_dialog;

namespace qvtf {
class ftp_queue_process_manager;
class global_ftp_settings;
class qx_ftp_file_lister;
class qxlang;
struct ftp_profile;
struct qxfile_node;
}  // namespace qvtf

class edit_in_place : public QObject {
    Q_OBJECT
public:
    // What close_choice answers.
    enum close_answer { close_upload_first, close_discard, close_cancel };

    // window: parent of the questions and the list, watched for activation.
    edit_in_place(const qvtf::qxlang* language, QWidget* window, std::string base_folder = {});
    ~edit_in_place() override;

    // Before the first edit: the queue (its observer is chained here), the
    // settings read for the editor and the upload choice, the browser pane.
    void attach(qvtf::ftp_queue_process_manager* queue, const qvtf::global_ftp_settings* settings,
                qvtf::qx_ftp_file_lister* remote);

    // The window's message boxes; the three-way question at closing.
    std::function<bool(const QString& caption, const QString& text)> ask;
    std::function<void(const QString& caption, const QString& text, bool error)> tell;
    std::function<close_answer(const QString& text)> close_choice;
    // The key a site's items go by ("host:port user").
    std::function<std::string(const qvtf::ftp_profile*)> site_key;
    // Closes the window again once "upload first" has finished.
    std::function<void()> close_window;

    // View/Edit of a remote file of the browser pane (any thread-safe node
    // of its tree; read under the tree's lock).
    void view_edit(qvtf::qxfile_node* node);
    void upload_now(int id);
    // Forgets the file; a copy with changes not uploaded only after asking.
    void stop_editing(int id);
    // Looks for saves now (the watcher and activation call it too).
    void check_now();
    // Whether the window may close: asks when changes were not uploaded.
    bool may_close();
    // The browser connection logged in (the window hears of it): uploads
    // that waited for a switch of site go now.
    void browser_logged_in();

    void show_list();
    edit_list_dialog* list() const { return list_; }
    const qvtf::edit_registry& registry() const { return registry_; }
    // The state as the list shows it.
    QString state_text(const qvtf::edit_entry& e) const;
    QString site_text(const qvtf::edit_entry& e) const;

signals:
    void entries_changed();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    friend class edit_feed;
    void finished(const qvtf::queue_item_result& result);
    void saved(int id);
    void upload(int id);
    void send(int id);
    void send_after_login();
    void fail_upload(int id, const QString& reason);
    bool open_editor(const qvtf::edit_entry& e);
    void watch(const qvtf::edit_entry& e);
    void schedule_check();
    void close_when_uploaded();
    QString phrase(int number, const char* fallback) const;

    const qvtf::qxlang* language_;
    QWidget* window_;
    qvtf::edit_registry registry_;
    qvtf::ftp_queue_process_manager* queue_ = nullptr;
    const qvtf::global_ftp_settings* settings_ = nullptr;
    qvtf::qx_ftp_file_lister* remote_ = nullptr;
    std::shared_ptr<edit_feed> feed_;
    QFileSystemWatcher* watcher_ = nullptr;
    QTimer* check_timer_ = nullptr;
    QTimer* login_wait_ = nullptr;
    QTimer* idle_poll_ = nullptr;
    std::vector<int> after_login_;
    edit_list_dialog* list_ = nullptr;
    // A copy of each site a file came from, so its upload finds it again
    // whatever the site manager does meanwhile.
    std::map<std::string, std::unique_ptr<qvtf::ftp_profile>> sites_;
    std::vector<std::unique_ptr<qvtf::ftp_profile>> retired_sites_;
    bool closing_after_upload_ = false;
    bool asking_ = false;
};
