// The queue's extras in the window: the Failed and Successful tabs fed by
// the queue's observer, the whole queue's speed and remaining time in the
// status line, and the queue file that carries the items left at closing
// over to the next start.
#include <QLabel>
#include <QStatusBar>
#include <QTimer>
#include <cstdio>

#include "app/main_window.h"
#include "app/qt_text.h"
#include "app/queue_finished_model.h"
#include "app/queue_widget.h"
#include "app/ui_queue_manager.h"
#include "profiles/ftp_profile_tree.h"
#include "queue/ftp_queue_process_manager.h"
#include "queue/queue_store.h"
#include "settings/program_folders.h"

namespace {

QString clock_text(int64_t seconds)
{
    char text[32];
    std::snprintf(text, sizeof text, "%02lld:%02lld:%02lld", static_cast<long long>(seconds / 3600),
                  static_cast<long long>(seconds / 60 % 60), static_cast<long long>(seconds % 60));
    return QString::fromLatin1(text);
}

bool same_site(const qvtf::ftp_profile& site, const qvtf::saved_queue& saved)
{
    return site.is_site() && site.host.view() == saved.host && site.host_port == saved.port &&
           site.user_name.view() == saved.user;
}

}  // namespace

std::string TqorxVTF::site_key(const qvtf::ftp_profile* site)
{
    if (!site || site->host.view().empty())
        return {};
    return site->host.str() + ":" + std::to_string(site->host_port) + " " + site->user_name.str();
}

void TqorxVTF::wire_queue_extras()
{
    qvtf::ftp_queue_process_manager* queue = links_.queue;
    auto key = [queue] { return site_key(queue->profile()); };
    queue_widget_->site_key = key;
    finished_feed_ =
        std::make_shared<finished_feed>(&queue_widget_->failed(), &queue_widget_->succeeded(), queue->observer, key);
    queue->observer = finished_feed_.get();
    queue->keep_observer(finished_feed_);
    queue_widget_->pause_action().setChecked(queue->paused());

    queue_totals_ = new QLabel(this);
    queue_totals_->setObjectName("QueueTotals");
    statusBar()->setObjectName("StatusLine");
    statusBar()->addPermanentWidget(queue_totals_);
    connect(queue_model_, &ui_queue_manager::totals_changed, this, &TqorxVTF::show_queue_totals);
    QTimer::singleShot(0, this, &TqorxVTF::offer_saved_queue);
}

void TqorxVTF::show_queue_totals()
{
    if (queue_model_->rowCount() == 0) {
        queue_totals_->clear();
        return;
    }
    QString text = phrase(1309) + ui_queue_manager::rate_text(queue_model_->total_rate());
    const int64_t left = queue_model_->remaining_seconds();
    if (links_.queue && links_.queue->paused())
        text += ", " + phrase(1336);
    else if (left >= 0)
        text += ", " + clock_text(left) + phrase(1310);
    queue_totals_->setText(text);
}

std::string TqorxVTF::queue_file() const
{
    return links_.folders ? links_.folders->user_file("queue_items.txt") : std::string();
}

bool TqorxVTF::save_queue_items()
{
    if (!links_.queue || queue_file().empty())
        return false;
    qvtf::saved_queue saved;
    saved.items = links_.queue->snapshot();
    if (const qvtf::ftp_profile* site = links_.queue->profile(); site && site != restored_site_.get()) {
        saved.site_path = qvtf::profile_label_path(site);
        saved.host = site->host.str();
        saved.port = site->host_port;
        saved.user = site->user_name.str();
    } else if (site) {
        saved.host = site->host.str();
        saved.port = site->host_port;
        saved.user = site->user_name.str();
    }
    // Items without a site to go back to would only ask to be dropped again.
    if (saved.host.empty())
        saved.items.clear();
    return qvtf::save_queue_file(queue_file(), saved);
}

void TqorxVTF::offer_saved_queue()
{
    // A window closed before its first events ran is writing this very
    // file for the next start; offering it now would queue it again.
    if (shutting_down_ || closing_)
        return;
    qvtf::saved_queue saved;
    const std::string path = queue_file();
    if (path.empty() || !links_.queue || !qvtf::load_queue_file(path, saved))
        return;
    if (saved.items.empty() || saved.host.empty()) {
        qvtf::save_queue_file(path, {});
        return;
    }
    const QString where = QString::fromStdString(saved.site_path.empty() ? saved.host : saved.site_path);
    const QString question = phrase(1311).arg(saved.items.size()).arg(where);
    offering_queue_ = true;
    const bool again = ask(phrase(259, "Queue"), question);
    offering_queue_ = false;
    if (!again) {
        qvtf::save_queue_file(path, {});
        if (site_manager_after_offer_)
            open_site_manager(false);
        return;
    }
    // The site as the tree has it (with its password), else by its address.
    qvtf::ftp_profile* site = nullptr;
    if (links_.profiles) {
        if (!saved.site_path.empty())
            if (qvtf::ftp_profile* named = links_.profiles->find(saved.site_path); named && same_site(*named, saved))
                site = named;
        for (const qvtf::ftp_profile_entry& e :
             site ? std::vector<qvtf::ftp_profile_entry>{} : links_.profiles->entries())
            if (!site && same_site(*e.node, saved))
                site = e.node;
    }
    if (!site) {
        restored_site_.reset(qvtf::ftp_profile::make(qvtf::profile_site));
        if (!restored_site_)
            return;
        restored_site_->label.set_bytes(saved.host);
        restored_site_->host.set_bytes(saved.host);
        restored_site_->host_port = saved.port;
        restored_site_->user_name.set_bytes(saved.user);
        restored_site_->save_password = 0;
        site = restored_site_.get();
    }
    links_.queue->set_profile(site);
    for (const qvtf::saved_item& item : saved.items)
        links_.queue->append_item(qvtf::item_of(item));
    // The items are queued again; the file is written anew at closing.
    qvtf::save_queue_file(path, {});
}
