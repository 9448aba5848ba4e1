// ui_queue_manager: the transfer queue as a list model. The queue's threads
// call the queue view interface; each call updates the rows those threads
// see at once, under the view lock, and queues the same change for the
// window's thread, which applies the waiting changes in the order they were
// made, at most every 100 ms: a thousand small files that end in a second
// cost ten repaints, not thousands of posted events.
#pragma once

#include <QAbstractItemModel>
#include <QString>
#include <array>
#include <atomic>
#include <chrono>
#include <map>
#include <mutex>
#include <set>
#include <vector>

#include "browse/pane_busy_lock.h"
#include "core/transfer_rate.h"
#include "queue/queue_view.h"

namespace qvtf {
class ftp_queue_process_manager;
class qx_file_lister;
class qxlang;
}  // namespace qvtf

class ui_queue_manager : public QAbstractItemModel, public qvtf::queue_view {
    Q_OBJECT
public:
    static constexpr int column_count = 11;
    static constexpr int progress_icons = 15;
    static constexpr int column_progress = 2;  // "66%", empty for folders

    explicit ui_queue_manager(const qvtf::qxlang* language, QObject* parent = nullptr);
    // Waits for the kill threads it started.
    ~ui_queue_manager() override;

    // The queue the kill commands go to (not owned; null: they do nothing).
    void attach(qvtf::ftp_queue_process_manager* manager) { manager_ = manager; }
    qvtf::ftp_queue_process_manager* manager() const { return manager_; }
    // The panes whose entries may be dropped here; a drop goes to the other
    // pane's current folder.
    void attach_panes(qvtf::qx_file_lister* local, qvtf::qx_file_lister* remote)
    {
        local_ = local;
        remote_ = remote;
    }
    // Kill every item / the selected items, each in a thread of its own.
    void kill_all_async();
    void kill_selected_async();
    // Blocks until the kill threads have ended.
    void wait_for_kills() { kills_.wait_idle(); }
    // Window thread: rows whose transfer has moved bytes.
    int moving_rows() const;

    // After this every queue view call does nothing.
    void shut_down() { active_ = false; }
    // Window thread: the rows the user selected.
    void set_selected_rows(const std::vector<int>& rows);
    // The progress icon index of a row (0 to 14).
    int progress_icon(int row) const;

    QModelIndex index(int row, int column, const QModelIndex& parent = {}) const override;
    QModelIndex parent(const QModelIndex& child) const override;
    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;
    QStringList mimeTypes() const override;
    Qt::DropActions supportedDropActions() const override;
    bool canDropMimeData(const QMimeData* data, Qt::DropAction action, int row, int column,
                         const QModelIndex& parent) const override;
    bool dropMimeData(const QMimeData* data, Qt::DropAction action, int row, int column,
                      const QModelIndex& parent) override;

    // ---- queue view (any thread) ----
    void add_row(qvtf::ftp_queue_item& item) override;
    void update_row(qvtf::ftp_queue_item& item) override;
    void remove_row(qvtf::ftp_queue_item& item) override;
    void progress(qvtf::ftp_queue_item& item, int64_t bytes, int32_t seconds) override;
    std::vector<qvtf::ftp_queue_item*> selected_items() override;
    void show_error(int caption_phrase, const qvtf::qxval& text) override;

    // Window thread: the whole queue's speed (bytes a second, summed over
    // the running rows) and the seconds its remaining bytes need at that
    // speed (-1 while not known).
    double total_rate() const;
    int64_t remaining_seconds() const;
    // "1.2 MB/s".
    static QString rate_text(double bytes_per_second);

signals:
    void error_box(const QString& caption, const QString& text);
    void count_changed(int rows);
    // After each batch of changes: total_rate and remaining_seconds may differ.
    void totals_changed();

private:
    struct row {
        qvtf::qxview_id id = 0;
        qvtf::ftp_queue_item* item = nullptr;  // only read under the view lock
        bool is_download = true;
        bool is_folder = false;
        uint32_t state = 0;
        int icon = 0;
        bool moved = false;
        qvtf::transfer_rate rate;
        int64_t total = 0;  // bytes of a file item
        int64_t done = 0;
        QString percent;    // the progress cell without the speed
        std::array<QString, column_count> cells;
    };

    QString phrase(int number) const;
    void fill_state(row& r, const qvtf::ftp_queue_item& item) const;
    row* live_row(qvtf::qxview_id id);
    // A change waiting for the window thread.
    struct change {
        enum kind_t { added, updated, removed } kind;
        row r;  // of a removal only the id
    };
    // Under the view lock: the window thread's copy of r follows.
    void post_update(const row& r);
    // Under the view lock: queues c (a second update of a row replaces the
    // first) and asks for one flush, no sooner than 100 ms after the last.
    void post_locked(change c);
    // Window thread: applies the waiting changes in order.
    void flush();
    int shown_index(qvtf::qxview_id id) const;

    const qvtf::qxlang* language_;
    qvtf::ftp_queue_process_manager* manager_ = nullptr;
    qvtf::qx_file_lister* local_ = nullptr;
    qvtf::qx_file_lister* remote_ = nullptr;
    std::atomic<bool> active_{true};
    std::mutex mutex_;  // the view lock
    std::vector<row> live_;
    std::set<qvtf::qxview_id> selected_;
    qvtf::qxview_id next_id_ = 1;
    std::vector<row> shown_;                            // window thread only
    std::vector<change> pending_;                       // under mutex_
    std::map<qvtf::qxview_id, size_t> pending_update_;  // a row's update in pending_, under mutex_
    bool flush_asked_ = false;                          // under mutex_
    std::chrono::steady_clock::time_point last_flush_;  // under mutex_
    qvtf::lister_tasks kills_;
};
