#include "app/ui_queue_manager.h"
#include "app/qt_text.h"

#include <QApplication>
#include <QHash>
#include <QLocale>
#include <QPainter>
#include <QPixmap>
#include <QTimer>
#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <unordered_set>

#include "app/icons.h"
#include "browse/qx_file_lister.h"
#include "core/qxlocale.h"
#include "markup/qxlang.h"
#include "queue/ftp_queue_process_manager.h"

// Entries dragged from a browser pane; without the panes' drag format nothing drops.
#if __has_include("app/node_mime.h")
#include "app/node_mime.h"
#define QVTF_HAVE_NODE_MIME 1
#endif

using qvtf::ftp_queue_item;

namespace {

enum column : int {
    col_direction,
    col_name,
    col_progress,
    col_size,
    col_done,
    col_elapsed,
    col_remaining,
    col_local,
    col_remote,
    col_tries,
    col_type,
};

const int header_phrases[ui_queue_manager::column_count] = {0, 115, 114, 17, 387, 126, 127, 100, 101, 113, 112};

QString formatted(int64_t number)
{
    static const qvtf::number_format format = qvtf::make_integer_format();
    return QString::fromStdString(qvtf::format_number_text(std::to_string(number), format));
}

// The state image beside the direction image, as one picture for the first column.
QPixmap row_image(bool is_folder, bool is_download, uint32_t state)
{
    using namespace program_icons;
    const int direction = is_folder ? (is_download ? folder_download : folder_upload)
                                    : (is_download ? download : upload);
    const int status = (state & qvtf::item_running) ? running : (state & qvtf::item_stopped) ? stopped : waiting;
    static QHash<int, QPixmap> made;
    const int key = status * 16 + direction;
    auto found = made.find(key);
    if (found != made.end())
        return *found;
    QPixmap both(32, 16);
    both.fill(Qt::transparent);
    QPainter g(&both);
    g.drawPixmap(0, 0, icon(status).pixmap(16, 16));
    g.drawPixmap(16, 0, icon(direction).pixmap(16, 16));
    g.end();
    return *made.insert(key, both);
}

QString clock_text(double seconds)
{
    const long total = seconds > 0 ? static_cast<long>(seconds) : 0;
    char text[32];
    std::snprintf(text, sizeof text, "%02ld:%02ld:%02ld", total / 3600, total / 60 % 60, total % 60);
    return QString::fromLatin1(text);
}

}  // namespace

ui_queue_manager::ui_queue_manager(const qvtf::qxlang* language, QObject* parent)
    : QAbstractItemModel(parent), language_(language)
{
}

ui_queue_manager::~ui_queue_manager()
{
    active_ = false;
    kills_.wait_idle();
}

void ui_queue_manager::kill_all_async()
{
    if (qvtf::ftp_queue_process_manager* m = manager_)
        kills_.start([m] { m->kill_all(8); });
}

void ui_queue_manager::kill_selected_async()
{
    qvtf::ftp_queue_process_manager* m = manager_;
    std::vector<ftp_queue_item*> items = selected_items();
    if (m && !items.empty())
        kills_.start([m, items = std::move(items)] { m->kill_items(items, 8); });
}

QString ui_queue_manager::phrase(int number) const
{
    const char* text = language_ ? language_->phrase(number) : nullptr;
    return text ? QString::fromUtf8(text) : QString();
}

void ui_queue_manager::set_selected_rows(const std::vector<int>& rows)
{
    std::lock_guard lock(mutex_);
    selected_.clear();
    for (int r : rows)
        if (r >= 0 && r < static_cast<int>(shown_.size()))
            selected_.insert(shown_[static_cast<size_t>(r)].id);
}

int ui_queue_manager::moving_rows() const
{
    return static_cast<int>(std::count_if(shown_.begin(), shown_.end(), [](const row& r) { return r.moved; }));
}

int ui_queue_manager::progress_icon(int r) const
{
    return r >= 0 && r < static_cast<int>(shown_.size()) ? shown_[static_cast<size_t>(r)].icon : 0;
}

QModelIndex ui_queue_manager::index(int r, int column, const QModelIndex& parent) const
{
    if (parent.isValid() || r < 0 || r >= rowCount() || column < 0 || column >= column_count)
        return {};
    return createIndex(r, column);
}

QModelIndex ui_queue_manager::parent(const QModelIndex&) const
{
    return {};
}

int ui_queue_manager::rowCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : static_cast<int>(shown_.size());
}

int ui_queue_manager::columnCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : column_count;
}

QVariant ui_queue_manager::data(const QModelIndex& index, int role) const
{
    if (!index.isValid() || index.row() >= rowCount())
        return {};
    const row& r = shown_[static_cast<size_t>(index.row())];
    switch (role) {
    case Qt::DisplayRole: return r.cells[static_cast<size_t>(index.column())];
    case Qt::TextAlignmentRole:
        if (index.column() == col_size || index.column() == col_done || index.column() == col_tries)
            return static_cast<int>(Qt::AlignRight | Qt::AlignVCenter);
        return {};
    case Qt::DecorationRole:
        // Pictures need the GUI application; a bare core application gets text only.
        if (!qobject_cast<QGuiApplication*>(QCoreApplication::instance()))
            return {};
        if (index.column() == col_direction)
            return row_image(r.is_folder, r.is_download, r.state);
        if (index.column() == col_progress && !r.is_folder)
            return program_icons::progress(r.icon);
        return {};
    default: return {};
    }
}

QVariant ui_queue_manager::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole || section < 0 || section >= column_count)
        return QAbstractItemModel::headerData(section, orientation, role);
    return header_phrases[section] ? phrase(header_phrases[section]) : QString();
}

Qt::ItemFlags ui_queue_manager::flags(const QModelIndex& index) const
{
    // Anywhere in the list takes a drop, on a row or below the last.
    return QAbstractItemModel::flags(index) | Qt::ItemIsDropEnabled;
}

QStringList ui_queue_manager::mimeTypes() const
{
#ifdef QVTF_HAVE_NODE_MIME
    return {QString::fromLatin1(node_mime_data::format())};
#else
    return {};
#endif
}

Qt::DropActions ui_queue_manager::supportedDropActions() const
{
    return Qt::CopyAction | Qt::MoveAction;
}

bool ui_queue_manager::canDropMimeData(const QMimeData* data, Qt::DropAction, int, int, const QModelIndex&) const
{
#ifdef QVTF_HAVE_NODE_MIME
    const node_mime_data* nodes = node_mime_data::from(data);
    return manager_ && nodes && !nodes->nodes().empty() && (nodes->from_remote() ? local_ : remote_);
#else
    (void)data;
    return false;
#endif
}

bool ui_queue_manager::dropMimeData(const QMimeData* data, Qt::DropAction action, int at_row, int column,
                                    const QModelIndex& parent)
{
    if (!canDropMimeData(data, action, at_row, column, parent))
        return false;
#ifdef QVTF_HAVE_NODE_MIME
    const node_mime_data* nodes = node_mime_data::from(data);
    qvtf::qx_file_lister* target = nodes->from_remote() ? local_ : remote_;
    manager_->put_nodes(nodes->from_remote() ? 1 : 0, nodes->nodes(), target->current_folder(), 0);
    return true;
#else
    return false;
#endif
}

void ui_queue_manager::fill_state(row& r, const ftp_queue_item& item) const
{
    r.state = item.state();
    r.cells[col_tries] = QString::number(item.tries);
    r.cells[col_progress] = item.is_folder ? QString() : QStringLiteral("0%");
    r.cells[col_done] = item.is_folder ? QString() : QStringLiteral("0");
    r.icon = 0;
    r.moved = false;
    r.rate = {};
    r.total = item.is_folder ? 0 : std::max<int64_t>(item.size, 0);
    r.done = 0;
    r.percent = r.cells[col_progress];
}

ui_queue_manager::row* ui_queue_manager::live_row(qvtf::qxview_id id)
{
    for (row& r : live_)
        if (r.id == id)
            return &r;
    return nullptr;
}

int ui_queue_manager::shown_index(qvtf::qxview_id id) const
{
    for (size_t i = 0; i < shown_.size(); ++i)
        if (shown_[i].id == id)
            return static_cast<int>(i);
    return -1;
}

void ui_queue_manager::add_row(ftp_queue_item& item)
{
    if (!active_)
        return;
    row r;
    r.item = &item;
    r.is_download = item.is_download != 0;
    r.is_folder = item.is_folder != 0;
    const QString letters = phrase(392);
    const QString letter = item.transfer_option >= 0 && item.transfer_option < letters.size()
                               ? letters.mid(item.transfer_option, 1)
                               : QString();
    r.cells[col_name] = to_qt(item.name.view()) + " [" + letter + "]";
    if (!r.is_folder) {
        r.cells[col_size] = formatted(item.size);
        r.cells[col_elapsed] = r.cells[col_remaining] = clock_text(0);
    }
    r.cells[col_local] = to_qt(item.local_path.view());
    r.cells[col_remote] = to_qt(item.remote_path.view());
    r.cells[col_type] = phrase(108 + (item.transfer_type >= 0 && item.transfer_type <= 2 ? item.transfer_type : 0));
    fill_state(r, item);

    std::lock_guard lock(mutex_);
    r.id = next_id_++;
    item.view_row = r.id;
    live_.push_back(r);
    post_locked({change::added, r});
}

void ui_queue_manager::post_update(const row& r)
{
    post_locked({change::updated, r});
}

void ui_queue_manager::post_locked(change c)
{
    constexpr auto flush_interval = std::chrono::milliseconds(100);
    const qvtf::qxview_id id = c.r.id;
    if (c.kind == change::updated) {
        const auto it = pending_update_.find(id);
        if (it != pending_update_.end()) {
            pending_[it->second].r = std::move(c.r);
            return;
        }
        pending_update_[id] = pending_.size();
    } else if (c.kind == change::removed) {
        // A row that goes needs no repaint first.
        const auto it = pending_update_.find(id);
        if (it != pending_update_.end()) {
            pending_[it->second].r.id = qvtf::no_view_id;
            pending_update_.erase(it);
        }
    }
    pending_.push_back(std::move(c));
    if (flush_asked_)
        return;
    flush_asked_ = true;
    const auto since = std::chrono::steady_clock::now() - last_flush_;
    const int delay =
        since >= flush_interval
            ? 0
            : static_cast<int>(std::chrono::duration_cast<std::chrono::milliseconds>(flush_interval - since).count());
    QMetaObject::invokeMethod(
        this,
        [this, delay] {
            if (delay == 0)
                flush();
            else
                QTimer::singleShot(delay, this, [this] { flush(); });
        },
        Qt::QueuedConnection);
}

void ui_queue_manager::flush()
{
    std::vector<change> todo;
    {
        std::lock_guard lock(mutex_);
        todo.swap(pending_);
        pending_update_.clear();
        flush_asked_ = false;
        last_flush_ = std::chrono::steady_clock::now();
    }
    const int rows_before = rowCount();
    for (size_t i = 0; i < todo.size();) {
        change& c = todo[i];
        if (c.kind == change::added) {
            // Consecutive additions go in as one block.
            size_t end = i;
            while (end < todo.size() && todo[end].kind == change::added)
                ++end;
            const int at = static_cast<int>(shown_.size());
            beginInsertRows({}, at, at + static_cast<int>(end - i) - 1);
            for (; i < end; ++i)
                shown_.push_back(std::move(todo[i].r));
            endInsertRows();
            continue;
        }
        if (c.kind == change::removed) {
            // Consecutive removals go as one removal per run of adjacent
            // rows: a burst of ended items is one change for the view, not
            // one relayout per row.
            // Updates of rows that went meanwhile do not break the run.
            size_t end = i;
            std::unordered_set<qvtf::qxview_id> gone;
            for (; end < todo.size(); ++end) {
                const change& next = todo[end];
                if (next.kind == change::removed)
                    gone.insert(next.r.id);
                else if (next.kind != change::updated || next.r.id != qvtf::no_view_id)
                    break;
            }
            i = end;
            for (size_t last = shown_.size(); last > 0;) {
                if (!gone.count(shown_[last - 1].id)) {
                    --last;
                    continue;
                }
                size_t first = last - 1;
                while (first > 0 && gone.count(shown_[first - 1].id))
                    --first;
                beginRemoveRows({}, static_cast<int>(first), static_cast<int>(last) - 1);
                shown_.erase(shown_.begin() + static_cast<std::ptrdiff_t>(first),
                             shown_.begin() + static_cast<std::ptrdiff_t>(last));
                endRemoveRows();
                last = first;
            }
            continue;
        }
        const int at = shown_index(c.r.id);
        if (at >= 0) {
            shown_[static_cast<size_t>(at)] = std::move(c.r);
            emit dataChanged(index(at, 0), index(at, column_count - 1));
        }
        ++i;
    }
    if (rowCount() != rows_before)
        emit count_changed(rowCount());
    emit totals_changed();
}

double ui_queue_manager::total_rate() const
{
    double sum = 0;
    for (const row& r : shown_)
        if (r.state & qvtf::item_running)
            sum += r.rate.rate();
    return sum;
}

int64_t ui_queue_manager::remaining_seconds() const
{
    int64_t bytes = 0;
    for (const row& r : shown_)
        if (!r.is_folder && r.total > r.done)
            bytes += r.total - r.done;
    const double speed = total_rate();
    if (bytes == 0)
        return 0;
    return speed > 0 ? static_cast<int64_t>(std::ceil(static_cast<double>(bytes) / speed)) : -1;
}

QString ui_queue_manager::rate_text(double bytes_per_second)
{
    return QLocale().formattedDataSize(static_cast<qint64>(bytes_per_second), 1) + "/s";
}

void ui_queue_manager::update_row(ftp_queue_item& item)
{
    if (!active_)
        return;
    std::lock_guard lock(mutex_);
    row* r = live_row(item.view_row);
    if (!r)
        return;
    fill_state(*r, item);
    post_update(*r);
}

void ui_queue_manager::remove_row(ftp_queue_item& item)
{
    if (!active_)
        return;
    std::lock_guard lock(mutex_);
    const qvtf::qxview_id id = item.view_row;
    item.view_row = qvtf::no_view_id;
    std::erase_if(live_, [id](const row& r) { return r.id == id; });
    selected_.erase(id);
    if (id == qvtf::no_view_id)
        return;
    change gone{change::removed, {}};
    gone.r.id = id;
    post_locked(std::move(gone));
}

void ui_queue_manager::progress(ftp_queue_item& item, int64_t bytes, int32_t seconds)
{
    if (!active_ || bytes == 0)
        return;
    if (seconds < 1)
        seconds = 1;
    std::lock_guard lock(mutex_);
    row* r = live_row(item.view_row);
    if (!r)
        return;
    const int64_t total = item.size == -1 ? bytes : item.size;
    if (total != item.size || total != item.shown_size) {
        r->cells[col_size] = formatted(total);
        item.shown_size = total;
    }
    r->cells[col_done] = formatted(bytes);
    r->moved = true;
    r->total = total;
    r->done = bytes;
    r->rate.add(bytes, std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count());
    double fraction = total > 0 ? static_cast<double>(bytes) / static_cast<double>(total) : 1.0;
    if (fraction > 1.0)
        fraction = 1.0;
    if (fraction - item.shown_fraction >= 0.01) {
        r->cells[col_elapsed] = clock_text(seconds);
        const int64_t remaining = r->rate.remaining(total);
        r->cells[col_remaining] = remaining < 0 ? QString() : clock_text(double(remaining));
        char percent[16];
        std::snprintf(percent, sizeof percent, "%.0f%%", std::floor(fraction * 100 + 0.5));
        r->percent = QString::fromLatin1(percent);
        item.shown_fraction = fraction;
        // The icon whose threshold i/14 the fraction has reached last.
        int icon = r->icon;
        while (icon < progress_icons && fraction >= static_cast<double>(icon) / (progress_icons - 1))
            ++icon;
        r->icon = icon > 0 ? icon - 1 : 0;
    }
    // The bar reads its percentage from the front of the text; the speed follows it.
    const double speed = r->rate.rate();
    r->cells[col_progress] = speed > 0 ? r->percent + "  " + rate_text(speed) : r->percent;
    post_update(*r);
}

std::vector<ftp_queue_item*> ui_queue_manager::selected_items()
{
    std::vector<ftp_queue_item*> items;
    if (!active_)
        return items;
    std::lock_guard lock(mutex_);
    for (const row& r : live_)
        if (selected_.count(r.id))
            items.push_back(r.item);
    return items;
}

void ui_queue_manager::show_error(int caption_phrase, const qvtf::qxval& text)
{
    if (!active_)
        return;
    QMetaObject::invokeMethod(
        this, [this, c = phrase(caption_phrase), t = to_qt(text.view())] { emit error_box(c, t); },
        Qt::QueuedConnection);
}
