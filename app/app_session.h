// app_session: everything the window program holds for one run, built in
// start-up order and torn down in reverse.
#pragma once

#include <QString>
#include <memory>
#include <string>

#include "markup/qxlang.h"
#include "profiles/ftp_profile_tree.h"
#include "settings/global_ftp_settings.h"
#include "settings/program_folders.h"

namespace qvtf {
class qx_ftp_file_lister;
class qx_local_file_lister;
}
class TqorxVTF;

class app_session {
public:
    app_session();
    ~app_session();
    app_session(const app_session&) = delete;
    app_session& operator=(const app_session&) = delete;

    // Phrases, settings, profiles, then the window and its panes. false with
    // error() set when the program has to stop.
    bool start(const std::string& home_option);
    // Writes the window layout, the panes' settings, the settings and the
    // profiles back.
    void stop();

    const QString& error() const { return error_; }
    TqorxVTF& window() const { return *window_; }
    qvtf::qx_local_file_lister& local() const { return *local_; }
    qvtf::qx_ftp_file_lister& remote() const { return *remote_; }
    qvtf::ftp_profile_tree& profiles() { return profiles_; }
    const qvtf::qxlang& language() const { return language_; }

private:
    QString phrase(int number, const char* fallback) const;

    qvtf::program_folders folders_;
    qvtf::qxlang language_;
    qvtf::global_ftp_settings settings_;
    qvtf::ftp_profile_tree profiles_;
    // The window (and the models inside it) outlives the panes that talk to it.
    std::unique_ptr<TqorxVTF> window_;
    std::unique_ptr<qvtf::qx_local_file_lister> local_;
    std::unique_ptr<qvtf::qx_ftp_file_lister> remote_;
    QString error_;
    bool started_ = false;
};
