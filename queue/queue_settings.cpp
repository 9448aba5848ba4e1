// The settings the queue keeps copies of, and the site it works for.
#include "profiles/ftp_profile_tree.h"
#include "queue/ftp_queue_process_manager.h"
#include "settings/global_ftp_settings.h"

namespace qvtf {

void ftp_queue_process_manager::apply_settings(const global_ftp_settings& values)
{
    default_transfer_type = values.transfer_type;
    retry_limit = values.retry_count <= 0 ? 1 : values.retry_count;
    max_threads = values.max_download_threads < 0 ? 0 : values.max_download_threads;
    stamp_downloads = values.set_remote_time_on_download ? 1 : 0;
    download_exists = exists_action_from_name(values.download_exists).value_or(exists_action::overwrite);
    upload_exists = exists_action_from_name(values.upload_exists).value_or(exists_action::overwrite);
    // More connections may be wanted now.
    wake_scheduler();
}

void ftp_queue_process_manager::store_settings(global_ftp_settings& values) const
{
    values.transfer_type = default_transfer_type;
}

void ftp_queue_process_manager::set_profile(ftp_profile* profile)
{
    {
        std::lock_guard held(lock_);
        // A bookmark's workers log in to its site.
        profile_ = effective_site(profile);
        prestart_refused_ = false;
    }
    if (panes && profile)
        panes->connect_profile(profile);
}

void ftp_queue_process_manager::edit_shared(const std::function<void()>& change)
{
    std::lock_guard held(lock_);
    change();
}

ftp_profile* ftp_queue_process_manager::profile() const
{
    std::lock_guard held(lock_);
    return profile_;
}

void ftp_queue_process_manager::report_killed(const ftp_queue_item& item)
{
    if (!observer)
        return;
    queue_item_result outcome;
    outcome.is_download = item.is_download;
    outcome.again = saved_of(item);
    outcome.is_folder = item.is_folder;
    outcome.local_path = item.local_path;
    outcome.remote_path = item.remote_path;
    outcome.result_code = status_stopped;
    outcome.tries = item.tries - 1;
    observer->on_finished(outcome);
}

}  // namespace qvtf
