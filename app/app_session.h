// app_session: every long-lived object of the window program, built in
// start-up order and torn down in reverse: the phrases, the settings, the
// transfer-type resolver, the queue and its view, the profiles, the window
// and its two panes.
#pragma once

#include <QString>
#include <memory>
#include <string>

#include "app/host_key_prompt.h"
#include "app/pane_platform.h"
#include "ftp/auto_transfer_resolver.h"
#include "markup/qxlang.h"
#include "profiles/ftp_profile_tree.h"
#include "settings/global_ftp_settings.h"
#include "settings/program_folders.h"

namespace qvtf {
class ftp_queue_process_manager;
class lister_queue_panes;
class qx_ftp_file_lister;
class qx_local_file_lister;
struct ftp_profile;
}  // namespace qvtf
class TqorxVTF;
class event_sounds;
class session_watch;
class pane_queue_link;
class ui_queue_manager;
class keyring_vault;
namespace qvtf {
class password_keeper;
}

struct session_options {
    std::string home;              // --home: the user data folder; empty: the usual one
    bool first_activation = true;  // the site manager opens when the window is first activated
    std::string local_folder;      // the local pane's first folder; empty: the last one used
    // Passwords may live in the desktop's keyring. Off, the files keep them:
    // a test that is not about the keyring never touches the user's.
    bool keyring = false;
};

class app_session {
public:
    app_session();
    ~app_session();
    app_session(const app_session&) = delete;
    app_session& operator=(const app_session&) = delete;

    // Builds everything; false with error() set when the program has to stop
    // (nothing is written then).
    bool start(const session_options& options);
    // After the window has closed: the layouts, the queue's and the panes'
    // settings, the settings file and the profiles go back to disk.
    void stop();

    const QString& error() const { return error_; }
    bool started() const { return started_; }
    TqorxVTF& window() const { return *window_; }
    qvtf::qx_local_file_lister& local() const { return *local_; }
    qvtf::qx_ftp_file_lister& remote() const { return *remote_; }
    qvtf::ftp_queue_process_manager& queue() const { return *queue_; }
    ui_queue_manager& queue_view() const { return *queue_view_; }
    qvtf::global_ftp_settings& settings() { return settings_; }
    qvtf::ftp_profile_tree& profiles() { return profiles_; }
    const qvtf::qxlang& language() const { return language_; }
    const qvtf::program_folders& folders() const { return folders_; }
    std::string profiles_path() const { return folders_.user_file("site_profiles.xml"); }
    // Writes the profile tree now; 0 or the tree's code.
    int save_profiles();
    // Moves passwords to where the settings want them (keyring, files or
    // nowhere) and writes both files when one moved; false when a write failed.
    bool settle_passwords();

private:
    QString phrase(int number, const char* fallback) const;
    bool fail(int number, const char* fallback);
    void teardown();

    qvtf::program_folders folders_;
    qvtf::qxlang language_;
    qvtf::global_ftp_settings settings_;
    qvtf::auto_transfer_resolver resolver_;
    qvtf::ftp_profile_tree profiles_;
    std::unique_ptr<qvtf::ftp_profile> placeholder_;
    std::unique_ptr<event_sounds> sounds_;
    std::unique_ptr<ui_queue_manager> queue_view_;
    std::unique_ptr<TqorxVTF> window_;
    // Trash and "open" for the local pane; outlives it.
    pane_platform platform_;
    // Asks about SSH host keys; outlives the pane whose sessions ask it.
    std::unique_ptr<host_key_prompt> host_keys_;
    std::unique_ptr<qvtf::qx_local_file_lister> local_;
    std::unique_ptr<qvtf::qx_ftp_file_lister> remote_;
    std::unique_ptr<qvtf::lister_queue_panes> panes_;
    std::unique_ptr<session_watch> browser_watch_;
    std::unique_ptr<session_watch> worker_watch_;
    std::unique_ptr<pane_queue_link> queue_link_;
    std::unique_ptr<qvtf::ftp_queue_process_manager> queue_;
    std::unique_ptr<keyring_vault> vault_;
    std::unique_ptr<qvtf::password_keeper> passwords_;
    QString error_;
    bool started_ = false;
};
