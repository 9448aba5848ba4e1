#include "app/app_session.h"

#include "app/file_list_model.h"
#include "app/log_view.h"
#include "app/main_window.h"
#include "browse/qx_ftp_file_lister.h"
#include "browse/qx_local_file_lister.h"

app_session::app_session() = default;

app_session::~app_session()
{
    if (window_)
        window_->log().turn_off();
    // Panes first: their threads may still tell the models something.
    remote_.reset();
    local_.reset();
    window_.reset();
}

QString app_session::phrase(int number, const char* fallback) const
{
    const char* text = language_.phrase(number);
    return QString::fromUtf8(text && *text ? text : fallback);
}

bool app_session::start(const std::string& home_option)
{
    folders_ = qvtf::find_program_folders(home_option);
    const std::string phrases = folders_.shipped_file("qorx.bin");
    qvtf::qxval reason{""};
    if (language_.load(qvtf::qxval(phrases), reason) != 0) {
        error_ = QString::fromStdString("Can't load " + phrases + ": " + reason.str());
        return false;
    }
    if (qvtf::start_settings(settings_, folders_).status != 0) {
        error_ = phrase(28, "The settings cannot be loaded");
        return false;
    }
    profiles_.load(qvtf::qxval(folders_.user_file("site_profiles.xml")), settings_.key, language_);

    window_ = std::make_unique<TqorxVTF>(&language_);
    local_ = std::make_unique<qvtf::qx_local_file_lister>(settings_, &language_, &window_->local_model());
    remote_ = std::make_unique<qvtf::qx_ftp_file_lister>(settings_, &language_, &window_->remote_model());
    window_->local_model().attach(local_.get());
    window_->remote_model().attach(remote_.get());
    window_->restore_layout(settings_);
    if (local_->change_folder(qvtf::qxval(settings_.last_used_local_folder), true) != 0)
        local_->change_folder(qvtf::qxval("~"), true);
    local_->start_watching();
    started_ = true;
    return true;
}

void app_session::stop()
{
    if (!started_)
        return;
    started_ = false;
    window_->log().turn_off();
    local_->stop_watching();
    local_->save_settings();
    remote_->save_settings();
    window_->save_layout(settings_);
    if (folders_.ensure_user_folder()) {
        settings_.save();
        profiles_.save(qvtf::qxval(folders_.user_file("site_profiles.xml")), settings_.key);
    }
}
