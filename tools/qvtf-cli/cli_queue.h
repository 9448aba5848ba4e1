#pragma once
// qvtf-cli's download and upload: the named files and folders go into the
// transfer queue as the panes put them there, and the queue runs on worker
// connections (or the session itself with --threads 0) until it is empty.
// Each finished item prints its log line with its kind; a terminal gets a
// progress line on stderr.
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <map>
#include <mutex>
#include <string>
#include <vector>

#include "queue/ftp_queue_process_manager.h"

namespace qvtf {
class auto_transfer_resolver;
class qxlang;
}  // namespace qvtf

namespace qvtf::cli {

struct queue_run_options {
    int32_t threads = 5;
    int32_t retries = 3;
    int32_t transfer_type = 0;  // 0 binary, 1 ASCII, 2 automatic
    bool progress = false;      // draw the progress line (stderr is a terminal)
    exists_action exists = exists_action::overwrite;  // for a target that exists
};

class cli_queue : public queue_panes, public queue_view, private queue_observer {
public:
    // session: logged in; the workers copy its connection. sessions: sees
    // the worker sessions' log (--log), or null.
    cli_queue(remote_session& session, const qxlang& language, const auto_transfer_resolver* resolver,
              const queue_run_options& options, std::FILE* out, std::FILE* err, remote_observer* sessions);

    // download REMOTE... LOCAL_FOLDER (is_download) or upload LOCAL...
    // REMOTE_FOLDER; 0 when every item succeeded, else a failure that says
    // how many failed.
    remote_result run(bool is_download, const std::vector<std::string>& sources, const std::string& target);
    // The queue, set up for this session, for callers that add items of their own.
    ftp_queue_process_manager& manager() { return queue_; }

    // ---- queue_panes ----
    remote_session* browser() override { return &session_; }
    int local_path_of(const qxfile_node* node, qxval& out) override;
    int remote_path_of(const qxfile_node* node, qxval& out) override;
    void prepare_worker(remote_site& site, remote_options& options) override;

    // ---- queue_view ----
    void add_row(ftp_queue_item& item) override;
    void remove_row(ftp_queue_item& item) override;
    void progress(ftp_queue_item& item, int64_t bytes, int32_t seconds) override;
    void show_error(int caption_phrase, const qxval& text) override;

private:
    int queue_download(const std::string& remote, const qxval& local_folder);
    int queue_root(const qxval& local_folder);
    int queue_upload(const std::string& local, const qxval& remote_folder);
    std::string absolute_remote(const std::string& path) const;
    static void log_sink(void* user, std::string_view lines, int kind);
    void on_finished(const queue_item_result& result) override;
    // Under output_mutex_.
    void clear_progress_locked();
    void draw_progress_locked();
    void progress_ticker();
    void say_error(const std::string& text);

    remote_session& session_;
    const qxlang& language_;
    const auto_transfer_resolver* resolver_;
    queue_run_options options_;
    std::FILE* out_;
    std::FILE* err_;
    ftp_queue_process_manager queue_;

    std::mutex output_mutex_;
    std::condition_variable ticker_cv_;
    bool running_ = false;
    bool line_drawn_ = false;
    int32_t done_ = 0;
    int32_t failed_ = 0;
    int32_t queued_ = 0;
    int64_t bytes_done_ = 0;
    std::map<const ftp_queue_item*, int64_t> in_flight_;
    std::chrono::steady_clock::time_point started_;
};

}  // namespace qvtf::cli
