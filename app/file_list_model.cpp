#include "app/file_list_model.h"
#include "app/qt_text.h"

namespace {

const char* const column_names[qvtf::column_kind_count] = {"Name", "Size", "Modified", "Attributes", "Type"};

}  // namespace

file_list_model::file_list_model(QObject* parent) : QAbstractTableModel(parent) {}

void file_list_model::attach(qvtf::qx_file_lister* lister)
{
    beginResetModel();
    lister_ = lister;
    rows_ = 0;
    kinds_.clear();
    endResetModel();
    if (lister_)
        reload();
}

qvtf::qxfile_node* file_list_model::node_at(int row) const
{
    return lister_ && row >= 0 && row < rows_ ? lister_->row_node(row) : nullptr;
}

void file_list_model::set_selected_rows(std::vector<int32_t> rows)
{
    std::lock_guard lock(selection_mutex_);
    selection_ = std::move(rows);
}

int file_list_model::rowCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : rows_;
}

int file_list_model::columnCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : static_cast<int>(kinds_.size());
}

QVariant file_list_model::data(const QModelIndex& index, int role) const
{
    if (!lister_ || !index.isValid() || index.row() >= rows_ || index.column() >= columnCount())
        return {};
    const int kind = kinds_[static_cast<size_t>(index.column())];
    if (role == Qt::DisplayRole)
        return to_qt(lister_->row_text(index.row(), kind));
    if (role == Qt::TextAlignmentRole && kind == qvtf::column_size)
        return static_cast<int>(Qt::AlignRight | Qt::AlignVCenter);
    return {};
}

QVariant file_list_model::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole || section < 0 || section >= columnCount())
        return QAbstractTableModel::headerData(section, orientation, role);
    return QString::fromLatin1(column_names[kinds_[static_cast<size_t>(section)]]);
}

void file_list_model::item_count_changed(int32_t)
{
    schedule_reload();
}

void file_list_model::rows_redrawn()
{
    schedule_reload();
}

std::vector<int32_t> file_list_model::selected_rows() const
{
    std::lock_guard lock(selection_mutex_);
    return selection_;
}

void file_list_model::title_changed(const qvtf::qxval& text)
{
    QMetaObject::invokeMethod(this, [this, t = to_qt(text)] { emit title_text(t); }, Qt::QueuedConnection);
}

void file_list_model::status_text_changed(const qvtf::qxval& text)
{
    QMetaObject::invokeMethod(this, [this, t = to_qt(text)] { emit status_text(t); }, Qt::QueuedConnection);
}

// Many notifications in a burst become one reload.
void file_list_model::schedule_reload()
{
    if (reload_pending_.exchange(true))
        return;
    QMetaObject::invokeMethod(this, [this] { reload(); }, Qt::QueuedConnection);
}

void file_list_model::reload()
{
    reload_pending_ = false;
    if (!lister_)
        return;
    std::vector<int> kinds;
    for (int display = 0;; ++display) {
        const int kind = lister_->column_at(display);
        if (kind < 0 || kind >= qvtf::column_kind_count)
            break;
        kinds.push_back(kind);
    }
    const int rows = lister_->row_count();
    if (rows == rows_ && kinds == kinds_) {
        if (rows > 0)
            emit dataChanged(index(0, 0), index(rows - 1, columnCount() - 1));
        return;
    }
    beginResetModel();
    rows_ = rows;
    kinds_ = std::move(kinds);
    endResetModel();
}
