// The end of one attempt: the outcome, the size check, the retry decision,
// the log line and the failure pop-up.
#include <algorithm>

#include "core/qxfiles.h"
#include "queue/queue_worker.h"
#include "settings/global_ftp_settings.h"

namespace qvtf {

namespace {

constexpr int phrase_transfer_failed = 116;
constexpr int phrase_download_data_failed = 117;
constexpr int phrase_local_write_failed = 118;
constexpr int phrase_local_read_failed = 119;
constexpr int phrase_upload_data_failed = 120;
constexpr int phrase_downloaded = 121;
constexpr int phrase_uploaded = 122;
constexpr int phrase_download_failed = 123;
constexpr int phrase_upload_failed = 124;
constexpr int phrase_separator = 125;
constexpr int phrase_colon = 38;
constexpr int phrase_size_differs = 540;

// The status bits of the pipe that mean a side failed.
constexpr uint32_t producer_failed_bit = pipe_producer_failed & ~pipe_producer_done;  // 0x02
constexpr uint32_t consumer_failed_bit = pipe_consumer_failed & ~pipe_consumer_done;  // 0x20

// An unknown size (-1) has nothing to be compared with.
bool size_mismatch(const ftp_queue_item& item, int64_t bytes)
{
    return item.size >= 0 && item.size_differs(bytes);
}

// The pipe's bits of the side that failed, as the item's result keeps them.
uint32_t failed_bits(const transfer_record& record, bool download)
{
    switch (record.failed_side) {
    case transfer_side::local: return download ? consumer_failed_bit : producer_failed_bit;
    case transfer_side::data: return download ? producer_failed_bit : consumer_failed_bit;
    default: return 0;
    }
}

}  // namespace

void ftp_queue_process_manager::transfer_done(ftp_queue_item* item, const transfer_record& record, int stop,
                                              remote_session& c)
{
    if (!item)
        return;
    std::unique_lock held(lock_);
    if (!contains_locked(item)) {
        // Removed while it ran: nothing will continue what it kept.
        replacement_file::remove_partial(record.partial_path);
        return;
    }
    const bool is_open = open_;
    item->state_flags &= ~item_state_mask;
    // The next attempt continues this one's partial file, if it kept one.
    // An attempt that kept none either never came to the file (the login
    // failed) or used it up, committed or discarded.
    if (!record.partial_path.empty() && record.partial_path != item->partial_path) {
        replacement_file::remove_partial(item->partial_path);
        item->partial_path = record.partial_path;
    }
    // Only bytes this item sent make the server's file its own: an attempt
    // that never got to send (a failed login) changes nothing, and the
    // server's file of another upload is never continued.
    if (record.bytes > 0 || record.result.ok())
        item->may_resume = !record.result.ok() && record.failed_side != transfer_side::local &&
                           record.result.status != status_local_file && record.result.status != status_size_differs;
    int32_t result = record.result.status;
    const uint32_t bits = failed_bits(record, item->is_download != 0);
    // The tolerance the transfer's type allows (line ends grow on the wire).
    if (record.size_tolerance)
        item->size_tolerance = record.size_tolerance;
    bool done = false;
    bool success = false;
    bool size_failed = false;
    if (stop == 8) {
        done = true;
        result = status_stopped;
    } else if (stop == 0) {
        const bool fatal = result == status_local_file || result == status_refused;
        success = result == status_ok && bits == 0;
        done = success || fatal || !is_open;
        if (is_open && success && size_mismatch(*item, record.bytes)) {
            if (!item->is_download) {
                // The file may have changed since it was queued.
                item->size = file_size_of(item->local_path);
            }
            if (!item->is_download && !size_mismatch(*item, record.bytes)) {
                // The upload moved the whole of the file as it is now.
            } else {
                success = false;
                done = false;
                size_failed = true;
            }
        }
        if (is_open) {
            const int32_t limit = retry_limit;
            if (item->tries > limit || (item->tries == limit && !done))
                done = true;
            ++item->tries;
            item->state_flags = item_waiting | item_retried;
            // A server that just went away is not hammered: 1, 2, 4 s...
            const int shift = std::clamp(item->tries - 2, 0, 6);
            item->not_before =
                std::chrono::steady_clock::now() + std::chrono::milliseconds(int64_t(retry_delay_ms.load()) << shift);
        }
    }
    if (stop == 4)
        item->state_flags = (item->state_flags & ~item_state_mask) | item_stopped;

    const bool failed = done && !success;
    const qxval stale_folder = !item->is_download && is_open ? item->remote_folder : qxval("");
    queue_item_result outcome;
    qxval file_name;
    bool now_empty = false;
    std::unique_ptr<ftp_queue_item> gone;
    if (done) {
        file_name = item->is_download ? item->remote_path : item->local_path;
        if (failed) {
            if (result != status_ok) {
                c.error_text(record.result, outcome.error_text);
            } else if (size_failed) {
                outcome.error_text = qxval(phrase(phrase_size_differs));
            } else {
                int number = 0;
                if (item->is_download)
                    number = (bits & consumer_failed_bit) ? phrase_local_write_failed : phrase_download_data_failed;
                else
                    number = (bits & producer_failed_bit) ? phrase_local_read_failed : phrase_upload_data_failed;
                outcome.error_text = qxval(phrase(number));
            }
        }
        outcome.is_download = item->is_download;
        outcome.again = saved_of(*item);
        outcome.local_path = item->local_path;
        outcome.remote_path = item->remote_path;
        outcome.result_code = failed && result == status_ok ? status_unexpected_reply : result;
        if (!failed)
            outcome.result_code = status_ok;
        outcome.status_bits = bits;
        outcome.succeeded = !failed;
        outcome.tries = item->tries - (stop == 0 && is_open ? 1 : 0);
        outcome.bytes = record.bytes;
        outcome.resumed_from = record.resumed_from;
        gone = unlink_locked(item, now_empty);
    } else {
        item->connection = nullptr;
        item->shown_fraction = 0;
        if (view)
            view->update_row(*item);
    }
    held.unlock();

    // The pane's tree belongs to the browsing session's thread; the pane
    // marks the folder itself.
    if (!stale_folder.view().empty() && panes)
        panes->remote_folder_changed(stale_folder);
    if (done && is_open) {
        // A kill the user asked for is logged as information, never a failure box.
        const bool killed = stop == 8;
        const int kind = killed   ? log_info
                         : failed ? log_error
                                  : (outcome.is_download ? log_download_done : log_upload_done);
        const int number = outcome.is_download ? (failed ? phrase_download_failed : phrase_downloaded)
                                               : (failed ? phrase_upload_failed : phrase_uploaded);
        std::string line(killed ? std::string_view() : phrase(number));
        line += file_name.view();
        line += killed ? phrase(phrase_colon) : phrase(phrase_separator);
        line += outcome.error_text.view();
        line += "\r\n";
        if (log_sink)
            log_sink(sink_context, line, kind);
        if (failed && !killed && settings && settings->download_failures_popups) {
            std::string text(phrase(phrase_transfer_failed));
            text += file_name.view();
            text += phrase(phrase_colon);
            text += outcome.error_text.view();
            report(text);
        }
    }
    if (done && observer)
        observer->on_finished(outcome);
    if (gone)
        after_removal(now_empty);
}

}  // namespace qvtf
