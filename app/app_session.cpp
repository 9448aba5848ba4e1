#include "app/app_session.h"

#include <chrono>
#include <thread>

#include "app/certificate_prompt.h"
#include "app/event_sounds.h"
#include "app/exists_prompt.h"
#include "app/file_list_model.h"
#include "app/keyring_vault.h"
#include "app/log_view.h"
#include "app/main_window.h"
#include "app/qt_text.h"
#include "app/queue_widget.h"
#include "app/session_watch.h"
#include "app/ui_queue_manager.h"
#include "browse/qx_ftp_file_lister.h"
#include "browse/qx_local_file_lister.h"
#include "queue/ftp_queue_process_manager.h"
#include "queue/lister_queue_panes.h"
#include "settings/password_keeper.h"

// The remote pane asks the queue whether work is left before it disconnects.
class pane_queue_link : public qvtf::lister_queue_link {
public:
    explicit pane_queue_link(qvtf::ftp_queue_process_manager& queue) : queue_(queue) {}
    bool has_work() override { return queue_.item_count() != 0; }

private:
    qvtf::ftp_queue_process_manager& queue_;
};

namespace {

constexpr int browser_drain_ms = 5000;

}  // namespace

app_session::app_session() = default;

app_session::~app_session()
{
    teardown();
}

QString app_session::phrase(int number, const char* fallback) const
{
    const char* text = language_.phrase(number);
    return QString::fromUtf8(text && *text ? text : fallback);
}

bool app_session::fail(int number, const char* fallback)
{
    error_ = phrase(number, fallback);
    teardown();
    return false;
}

bool app_session::start(const session_options& options)
{
    folders_ = qvtf::find_program_folders(options.home);
    const std::string phrases = folders_.shipped_file("qorx.bin");
    qvtf::qxval reason{""};
    if (language_.load(qvtf::qxval(phrases), reason) != 0) {
        error_ = QString::fromStdString("Can't load " + phrases + ": " + reason.str());
        return false;
    }
    const qvtf::settings_start_result started = qvtf::start_settings(settings_, folders_);
    if (started.status != 0)
        return fail(28, "The settings cannot be loaded");
    // A new installation asks when a target exists; a settings file of
    // before overwrites, as it always did.
    if (started.first_run)
        settings_.download_exists = settings_.upload_exists = "ask";

    // The queue, with an empty site as its profile until the user connects.
    placeholder_.reset(qvtf::ftp_profile::make(qvtf::profile_site));
    queue_ = std::make_unique<qvtf::ftp_queue_process_manager>();
    if (!placeholder_ || queue_->open() != 0)
        return fail(11, "The program could not set itself up.");
    resolver_.load(qvtf::qxval(folders_.extension_list()));
    queue_->set_profile(placeholder_.get());
    queue_->language = &language_;
    queue_->resolver = &resolver_;
    queue_->settings = &settings_;
    queue_->apply_settings(settings_);

    // The queue view and the window with its log.
    queue_view_ = std::make_unique<ui_queue_manager>(&language_);
    queue_view_->attach(queue_.get());
    window_ = std::make_unique<TqorxVTF>(&language_, queue_view_.get());
    window_->set_first_activation(options.first_activation);
    window_->queue_view().set_widths(settings_.q_cw);
    queue_->view = queue_view_.get();
    queue_->log_sink = &log_view::sink;
    queue_->sink_context = &window_->log();
    worker_watch_ = std::make_unique<session_watch>(&window_->log(), nullptr);
    queue_->worker_observer = worker_watch_.get();

    // The panes; the remote one's session is the browser connection.
    sounds_ = std::make_unique<event_sounds>();
    local_ = std::make_unique<qvtf::qx_local_file_lister>(settings_, &language_, &window_->local_model(), &platform_);
    remote_ =
        std::make_unique<qvtf::qx_ftp_file_lister>(settings_, &language_, &window_->remote_model(), sounds_.get());
    // The remote pane's type texts and pictures come from the extension list.
    remote_->types.load(qvtf::qxval(folders_.extension_list()));
    // Certificates no authority vouches for are put to the user; "always"
    // goes to the user folder's trust file.
    auto trust = std::make_shared<qvtf::certificate_trust>(folders_.user_file(qvtf::trusted_certificates_file));
    trust->set_judge(std::make_shared<gui_certificate_judge>(window_.get(), &language_));
    queue_->set_exists_judge(std::make_shared<gui_exists_judge>(window_.get(), &language_));
    remote_->set_certificate_trust(std::move(trust));
    browser_watch_ = std::make_unique<session_watch>(&window_->log(), window_.get());
    remote_->watch(browser_watch_.get());
    queue_link_ = std::make_unique<pane_queue_link>(*queue_);
    remote_->queue = queue_link_.get();
    panes_ = std::make_unique<qvtf::lister_queue_panes>(*remote_, *local_);
    queue_view_->attach_panes(local_.get(), remote_.get());
    queue_->panes = panes_.get();

    profiles_.load(qvtf::qxval(profiles_path()), settings_.key, language_);
    if (started.new_key) {
        profiles_.forget_file_passwords();
        // Every password saved from now on is scrambled with the new key:
        // it goes to disk now, or a run that never reaches its exit would
        // leave passwords that no later run can read.
        if (folders_.ensure_user_folder())
            settings_.save();
    }
    // Passwords the keyring keeps, and the move into or out of it the
    // settings ask for, before anything connects.
    if (options.keyring)
        vault_ = std::make_unique<keyring_vault>(&language_);
    passwords_ = std::make_unique<qvtf::password_keeper>(
        vault_.get(), &language_,
        [log = &window_->log()](const std::string& line, bool failed) { log->write(line, failed ? 3 : 2); });
    passwords_->load(profiles_, settings_);
    settle_passwords();
    passwords_->shared_write = [queue = queue_.get()](const std::function<void()>& change) {
        queue->edit_shared(change);
    };
    queue_->start();
    remote_->open_listing_dump(folders_);
    host_keys_ = std::make_unique<host_key_prompt>(&language_, window_.get());
    remote_->set_host_keys(host_keys_.get(), qvtf::qxval(folders_.user_file(qvtf::own_known_hosts_name)));

    window_->local_model().attach(local_.get());
    window_->remote_model().attach(remote_.get());
    window_links links;
    links.remote = remote_.get();
    links.local = local_.get();
    links.queue = queue_.get();
    links.settings = &settings_;
    links.profiles = &profiles_;
    links.resolver = &resolver_;
    links.folders = &folders_;
    links.settle_passwords = [this] { settle_passwords(); };
    window_->setup(links);
    const std::string first = options.local_folder.empty() ? settings_.last_used_local_folder : options.local_folder;
    if (local_->change_folder(qvtf::qxval(first), true) != 0)
        local_->change_folder(qvtf::qxval(qvtf::global_ftp_values::default_local_folder()), true);
    local_->start_watching();
    started_ = true;
    return true;
}

int app_session::save_profiles()
{
    if (!folders_.ensure_user_folder())
        return qvtf::profile_write_failed;
    return profiles_.save(qvtf::qxval(profiles_path()), settings_.key);
}

bool app_session::settle_passwords()
{
    if (!passwords_)
        return true;
    return passwords_->settle(profiles_, settings_, [this] {
        return folders_.ensure_user_folder() && settings_.save() == qvtf::settings_ok &&
               save_profiles() == qvtf::profile_ok;
    });
}

void app_session::stop()
{
    if (!started_)
        return;
    started_ = false;
    window_->log().turn_off();
    window_->wait_for_tasks();
    // The shutdown thread has normally quit the browser session already.
    {
        qvtf::remote_session_lock hold(remote_->session(), browser_drain_ms);
        if (hold && remote_->session().connected())
            remote_->disconnect(false);
    }
    local_->stop_watching();
    local_->save_settings();
    remote_->save_settings();
    settings_.last_used_local_folder = local_->current_path().str();
    if (settings_.last_used_local_folder.empty())
        settings_.last_used_local_folder = qvtf::global_ftp_values::default_local_folder();
    window_->save_layout(settings_);
    queue_->store_settings(settings_);
    settings_.q_cw = window_->queue_view().widths();
    if (folders_.ensure_user_folder()) {
        // A password typed or changed this run reaches its place first.
        settle_passwords();
        settings_.save();
        save_profiles();
    }
    queue_->wait_browser_free(browser_drain_ms);
}

void app_session::teardown()
{
    if (window_)
        window_->log().turn_off();
    if (queue_view_) {
        queue_view_->shut_down();
        queue_view_->wait_for_kills();
    }
    if (window_)
        window_->wait_for_tasks();
    // The queue first: its threads use the panes, the view and the log.
    if (queue_) {
        queue_->close();
        queue_.reset();
    }
    if (window_)
        window_->wait_for_tasks();
    if (queue_view_)
        queue_view_->wait_for_kills();
    panes_.reset();
    if (remote_) {
        remote_->watch(nullptr);
        remote_->wait_for_operations();
    }
    if (local_)
        local_->wait_for_operations();
    // Hidden while the panes still exist: hiding asks the models for their
    // column titles, which come from the panes' phrases.
    if (window_)
        window_->hide();
    // The keeper logs into the window's log.
    passwords_.reset();
    vault_.reset();
    // Panes before the window: their threads may still tell its models something.
    remote_.reset();
    local_.reset();
    browser_watch_.reset();
    worker_watch_.reset();
    window_.reset();
    queue_view_.reset();
    sounds_.reset();
    placeholder_.reset();
}
