// queue_finished_model: the items that left the queue, as the Failed and the
// Successful tab list them. The queue tells its observer from any thread;
// finished_feed gathers those reports and hands them to the window's thread
// in batches, at most every 100 ms, like the queue list itself.
#pragma once

#include <QAbstractTableModel>
#include <QDateTime>
#include <QString>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "queue/queue_item_result.h"
#include "queue/queue_observer.h"

class queue_finished_model : public QAbstractTableModel {
    Q_OBJECT
public:
    enum column : int { col_name, col_local, col_remote, col_result, col_time, column_count };
    struct entry {
        qvtf::queue_item_result result;
        QDateTime when;
        std::string site;  // the queue's site when the item ended
    };

    // failed: the Failed tab's list (the result column shows the reason).
    queue_finished_model(bool failed, std::vector<QString> headers, QObject* parent = nullptr);

    void add(std::vector<entry> entries);
    // Removes the rows and hands back their entries (for a requeue).
    std::vector<entry> take(std::vector<int> rows);
    void clear();
    const entry& at(int row) const { return entries_[static_cast<size_t>(row)]; }
    // The result column of an item whose target stayed as it was.
    QString skipped_text = QStringLiteral("skipped");

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;

signals:
    void count_changed(int rows);

private:
    bool failed_;
    std::vector<QString> headers_;
    std::vector<entry> entries_;
};

// The queue's observer that fills the two lists. Killed items are neither
// failed nor done and go to neither list.
class finished_feed : public qvtf::queue_observer, public std::enable_shared_from_this<finished_feed> {
public:
    finished_feed(queue_finished_model* failed, queue_finished_model* succeeded, qvtf::queue_observer* next,
                  std::function<std::string()> site_key);
    // Window thread, before the models go: later reports are only passed on.
    void detach();
    void on_finished(const qvtf::queue_item_result& result) override;

private:
    void flush();

    qvtf::queue_observer* next_;
    std::function<std::string()> site_key_;
    std::mutex mutex_;
    queue_finished_model* failed_;     // under mutex_; null once detached
    queue_finished_model* succeeded_;  // under mutex_
    std::vector<queue_finished_model::entry> pending_;
    bool flush_asked_ = false;
};
