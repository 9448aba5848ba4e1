// The quick-connect bar in the window: its fields become a site that the
// queue connects to, the way the site manager's Connect does, and can be
// kept in the site tree. The bar also carries the panes' comparison toggles.
#include <QLineEdit>
#include <QStatusBar>

#include "app/main_window.h"
#include "app/pane_comparison.h"
#include "app/qt_text.h"
#include "app/quick_connect_bar.h"
#include "profiles/ftp_profile_tree.h"
#include "queue/ftp_queue_process_manager.h"
#include "settings/global_ftp_settings.h"
#include "settings/program_folders.h"

void TqorxVTF::wire_quick_connect()
{
    quick_bar_ = new quick_connect_bar(language_, this);
    addToolBarBreak(Qt::TopToolBarArea);
    addToolBar(Qt::TopToolBarArea, quick_bar_);
    if (links_.folders)
        quick_bar_->set_history_file(links_.folders->user_file("quick_connect.txt"));
    connect(quick_bar_, &quick_connect_bar::connect_requested, this, [this] { quick_connect(); });
    connect(quick_bar_, &quick_connect_bar::save_requested, this, [this] { save_quick_site(); });

    // The comparison toggles sit on the same band, beside the connection they compare against.
    comparison_ = new pane_comparison(local_model(), remote_model(), language_, this);
    comparison_->say = [this](const QString& text) { statusBar()->showMessage(text, 10000); };
    quick_bar_->addSeparator();
    quick_bar_->addAction(&comparison_->compare_action());
    quick_bar_->addAction(&comparison_->step_action());
}

std::unique_ptr<qvtf::ftp_profile> TqorxVTF::quick_site()
{
    const qvtf::quick_connect_result parsed =
        qvtf::parse_quick_connect(quick_bar_->host().text().toStdString(), quick_bar_->user().text().toStdString(),
                                  quick_bar_->password().text().toStdString(), quick_bar_->port().text().toStdString());
    if (parsed.error != qvtf::quick_ok) {
        const int text = parsed.error == qvtf::quick_no_host    ? 1321
                         : parsed.error == qvtf::quick_bad_port ? 1322
                                                                : 1324;
        tell(phrase(1312), phrase(text) + QString::fromStdString(parsed.detail), true);
        return nullptr;
    }
    std::unique_ptr<qvtf::ftp_profile> site(qvtf::ftp_profile::make(qvtf::profile_site));
    if (!site)
        return nullptr;
    site->label = parsed.site.host;
    site->host = parsed.site.host;
    site->host_port = parsed.site.port;
    site->user_name = parsed.site.user_name;
    site->password = parsed.site.password;
    site->directory = parsed.site.initial_folder;
    site->protocol = parsed.site.protocol == qvtf::remote_protocol::sftp ? 1 : 0;
    site->encryption = static_cast<int32_t>(parsed.site.encryption);
    if (site->user_name.view().empty()) {
        site->anonymous_login = 1;
        if (language_)
            qvtf::apply_anonymous(*site, *language_);
    }
    return site;
}

bool TqorxVTF::quick_connect()
{
    std::unique_ptr<qvtf::ftp_profile> site = quick_site();
    if (!site || !links_.queue)
        return false;
    qvtf::remote_site kept;
    kept.host = site->host;
    kept.protocol = site->protocol == 1 ? qvtf::remote_protocol::sftp : qvtf::remote_protocol::ftp;
    kept.encryption = static_cast<qvtf::remote_encryption>(site->encryption);
    quick_bar_->remember(
        {qvtf::quick_connect_host_text(kept), site->host_port, site->anonymous_login ? "" : site->user_name.str()});
    // The pane and the queue keep using the site after the next quick connection.
    quick_sites_.push_back(std::move(site));
    links_.queue->set_profile(quick_sites_.back().get());
    return true;
}

qvtf::ftp_profile* TqorxVTF::save_quick_site()
{
    std::unique_ptr<qvtf::ftp_profile> site = quick_site();
    if (!site || !links_.profiles || !links_.profiles->top() || !links_.settings || !links_.folders)
        return nullptr;
    // A label no other site of the top group has.
    const std::string base = site->host.str();
    std::string label = base;
    for (int n = 2; links_.profiles->find(label); ++n)
        label = base + " (" + std::to_string(n) + ")";
    site->label.set_bytes(label);
    qvtf::ftp_profile* kept = site.release();
    qvtf::ftp_profile_tree* tree = links_.profiles;
    auto write = [tree, kept] { tree->tree.append_child(kept, tree->top()); };
    if (links_.queue)
        links_.queue->edit_shared(write);
    else
        write();
    if (!links_.folders->ensure_user_folder() ||
        tree->save(qvtf::qxval(links_.folders->user_file("site_profiles.xml")), links_.settings->key) != 0)
        tell(phrase(1312), phrase(1325), true);
    else
        tell(phrase(1312), phrase(1326) + QString::fromStdString(label), false);
    return kept;
}
