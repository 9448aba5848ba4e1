#include "app/queue_finished_model.h"

#include <QLocale>
#include <QTimer>
#include <algorithm>

#include "app/qt_text.h"
#include "remote/remote_status.h"

queue_finished_model::queue_finished_model(bool failed, std::vector<QString> headers, QObject* parent)
    : QAbstractTableModel(parent), failed_(failed), headers_(std::move(headers))
{
}

void queue_finished_model::add(std::vector<entry> entries)
{
    if (entries.empty())
        return;
    const int at = rowCount();
    beginInsertRows({}, at, at + static_cast<int>(entries.size()) - 1);
    for (entry& e : entries)
        entries_.push_back(std::move(e));
    endInsertRows();
    emit count_changed(rowCount());
}

std::vector<queue_finished_model::entry> queue_finished_model::take(std::vector<int> rows)
{
    std::sort(rows.begin(), rows.end());
    rows.erase(std::unique(rows.begin(), rows.end()), rows.end());
    std::vector<entry> out;
    for (auto it = rows.rbegin(); it != rows.rend(); ++it) {
        if (*it < 0 || *it >= rowCount())
            continue;
        beginRemoveRows({}, *it, *it);
        out.push_back(std::move(entries_[static_cast<size_t>(*it)]));
        entries_.erase(entries_.begin() + *it);
        endRemoveRows();
    }
    std::reverse(out.begin(), out.end());
    emit count_changed(rowCount());
    return out;
}

void queue_finished_model::clear()
{
    beginResetModel();
    entries_.clear();
    endResetModel();
    emit count_changed(0);
}

int queue_finished_model::rowCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : static_cast<int>(entries_.size());
}

int queue_finished_model::columnCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : column_count;
}

QVariant queue_finished_model::data(const QModelIndex& index, int role) const
{
    if (!index.isValid() || index.row() >= rowCount())
        return {};
    const entry& e = entries_[static_cast<size_t>(index.row())];
    if (role != Qt::DisplayRole && role != Qt::ToolTipRole)
        return {};
    switch (index.column()) {
    case col_name: {
        const QString arrow = e.result.is_download ? QStringLiteral("\u2190 ") : QStringLiteral("\u2192 ");
        return arrow + QString::fromStdString(e.result.again.name);
    }
    case col_local: return to_qt(e.result.local_path);
    case col_remote: return to_qt(e.result.remote_path);
    case col_result:
        if (failed_)
            return to_qt(e.result.error_text);
        if (e.result.skipped)
            return skipped_text;
        return e.result.is_folder ? QString() : QLocale().formattedDataSize(e.result.bytes);
    case col_time: return QLocale().toString(e.when.time(), QLocale::ShortFormat);
    default: return {};
    }
}

QVariant queue_finished_model::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation == Qt::Horizontal && role == Qt::DisplayRole && section >= 0 &&
        section < static_cast<int>(headers_.size()))
        return headers_[static_cast<size_t>(section)];
    return QAbstractTableModel::headerData(section, orientation, role);
}

finished_feed::finished_feed(queue_finished_model* failed, queue_finished_model* succeeded, qvtf::queue_observer* next,
                             std::function<std::string()> site_key)
    : next_(next), site_key_(std::move(site_key)), failed_(failed), succeeded_(succeeded)
{
}

void finished_feed::detach()
{
    std::lock_guard lock(mutex_);
    failed_ = succeeded_ = nullptr;
    pending_.clear();
}

void finished_feed::on_finished(const qvtf::queue_item_result& result)
{
    if (result.result_code != qvtf::status_stopped) {
        std::string site = site_key_ ? site_key_() : std::string();
        std::lock_guard lock(mutex_);
        if (failed_) {
            pending_.push_back({result, QDateTime::currentDateTime(), std::move(site)});
            if (!flush_asked_) {
                flush_asked_ = true;
                // The feed outlives the window's models only detached; the
                // posted call keeps it alive until it has run.
                QMetaObject::invokeMethod(
                    failed_,
                    [self = shared_from_this(), target = failed_] {
                        QTimer::singleShot(100, target, [self] { self->flush(); });
                    },
                    Qt::QueuedConnection);
            }
        }
    }
    if (next_)
        next_->on_finished(result);
}

void finished_feed::flush()
{
    std::vector<queue_finished_model::entry> failed;
    std::vector<queue_finished_model::entry> succeeded;
    queue_finished_model* failed_model = nullptr;
    queue_finished_model* succeeded_model = nullptr;
    {
        std::lock_guard lock(mutex_);
        flush_asked_ = false;
        failed_model = failed_;
        succeeded_model = succeeded_;
        for (auto& e : pending_)
            (e.result.succeeded ? succeeded : failed).push_back(std::move(e));
        pending_.clear();
    }
    if (failed_model)
        failed_model->add(std::move(failed));
    if (succeeded_model)
        succeeded_model->add(std::move(succeeded));
}
