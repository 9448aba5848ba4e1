#include "app/file_list_model.h"

#include <QMimeData>
#include <QThread>

#include "app/node_mime.h"
#include "app/qt_text.h"
#include "browse/lister_settings.h"

namespace {

constexpr int phrase_bytes = 962;

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
    emit attached();
}

qvtf::qxfile_node* file_list_model::node_at(int row) const
{
    return lister_ && row >= 0 && row < rows_ ? lister_->row_node(row) : nullptr;
}

int file_list_model::kind_at(int column) const
{
    return column >= 0 && column < int(kinds_.size()) ? kinds_[size_t(column)] : -1;
}

int file_list_model::column_of(int kind) const
{
    for (size_t i = 0; i < kinds_.size(); ++i)
        if (kinds_[i] == kind)
            return int(i);
    return -1;
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
    if ((role == Qt::DisplayRole || role == Qt::EditRole) && kind == qvtf::column_type) {
        // The type text is found together with the picture; the Type column
        // may be read before the Name column's picture was asked for.
        qvtf::qxfile_tree::reader hold(lister_->tree());
        if (qvtf::qxfile_node* node = lister_->row_node(index.row()))
            lister_->icon_of(node);
    }
    if (role == Qt::DisplayRole || role == Qt::EditRole)
        return to_qt(lister_->row_text(index.row(), kind));
    if (role == Qt::ToolTipRole && kind == qvtf::column_size) {
        // The column groups digits; the exact count stays at hand.
        qvtf::qxfile_tree::reader hold(lister_->tree());
        const qvtf::qxfile_node* node = lister_->row_node(index.row());
        if (!node || lister_->row_text(index.row(), kind).view().empty())
            return {};
        return QString::number(node->size()) + to_qt(lister_->phrase(phrase_bytes));
    }
    if (role == Qt::BackgroundRole && row_background) {
        qvtf::qxfile_tree::reader hold(lister_->tree());
        if (const qvtf::qxfile_node* node = lister_->row_node(index.row()))
            return row_background(*node);
        return {};
    }
    if (role == Qt::TextAlignmentRole && kind == qvtf::column_size)
        return static_cast<int>(Qt::AlignRight | Qt::AlignVCenter);
    if (role == Qt::DecorationRole && kind == qvtf::column_name && icon_for) {
        qvtf::qxfile_tree::reader hold(lister_->tree());
        if (qvtf::qxfile_node* node = lister_->row_node(index.row()))
            return icon_for(*node);
        return QIcon::fromTheme("go-up");
    }
    return {};
}

QVariant file_list_model::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation != Qt::Horizontal || section < 0 || section >= columnCount())
        return QAbstractTableModel::headerData(section, orientation, role);
    const int kind = kinds_[static_cast<size_t>(section)];
    if (role == Qt::DisplayRole) {
        const std::string_view title = lister_ ? lister_->phrase(qvtf::column_phrase_of(kind)) : std::string_view();
        return title.empty() ? QString::fromLatin1(qvtf::column_name_of(kind)) : to_qt(title);
    }
    if (role == Qt::TextAlignmentRole)
        return static_cast<int>((kind == qvtf::column_size ? Qt::AlignRight : Qt::AlignLeft) | Qt::AlignVCenter);
    return QAbstractTableModel::headerData(section, orientation, role);
}

Qt::ItemFlags file_list_model::flags(const QModelIndex& index) const
{
    Qt::ItemFlags f = QAbstractTableModel::flags(index);
    if (!index.isValid())
        return f | Qt::ItemIsDropEnabled;
    f |= Qt::ItemIsDropEnabled;
    if (node_at(index.row())) {
        f |= Qt::ItemIsDragEnabled;
        if (kind_at(index.column()) == qvtf::column_name)
            f |= Qt::ItemIsEditable;
    }
    return f;
}

bool file_list_model::setData(const QModelIndex& index, const QVariant& value, int role)
{
    if (role != Qt::EditRole || !index.isValid() || kind_at(index.column()) != qvtf::column_name)
        return false;
    const QString name = value.toString();
    if (name.isEmpty() || name == data(index, Qt::DisplayRole).toString())
        return false;
    emit rename_requested(index.row(), name);
    return true;
}

QStringList file_list_model::mimeTypes() const
{
    return {QString::fromLatin1(node_mime_data::format())};
}

QMimeData* file_list_model::mimeData(const QModelIndexList& indexes) const
{
    return drag_data ? drag_data(indexes) : nullptr;
}

// ---- lister view ----

void file_list_model::post(std::function<void()> call)
{
    QMetaObject::invokeMethod(this, std::move(call), Qt::QueuedConnection);
}

void file_list_model::item_count_changed(int32_t)
{
    schedule_reload();
}

void file_list_model::rows_redrawn()
{
    schedule_reload();
}

void file_list_model::first_row_selected()
{
    schedule_reload();
    post([this] { emit select_first_row(); });
}

std::vector<int32_t> file_list_model::selected_rows() const
{
    std::lock_guard lock(selection_mutex_);
    return selection_;
}

void file_list_model::row_deselected(int32_t row)
{
    {
        std::lock_guard lock(selection_mutex_);
        std::erase(selection_, row);
    }
    post([this, row] { emit deselect_row(row); });
}

void file_list_model::toolbar_changed(bool up_enabled, bool ready)
{
    post([this, up_enabled, ready] { emit toolbar_state(up_enabled, ready); });
}

void file_list_model::filter_indicator_changed(int image, int hint_phrase)
{
    post([this, image, hint_phrase] { emit filter_indicator(image, hint_phrase); });
}

void file_list_model::sort_indicator_changed(int column, int image)
{
    post([this, column, image] { emit sort_indicator(column, image); });
}

void file_list_model::title_changed(const qvtf::qxval& text)
{
    post([this, t = to_qt(text)] { emit title_text(t); });
}

void file_list_model::status_text_changed(const qvtf::qxval& text)
{
    post([this, t = to_qt(text)] { emit status_text(t); });
}

void file_list_model::banner_changed(bool busy, const qvtf::qxval& text)
{
    post([this, busy, t = to_qt(text)] { emit banner(busy, t); });
}

void file_list_model::error_shown(int code, const qvtf::qxval& text)
{
    post([this, code, t = to_qt(text)] { emit error(code, t); });
}

void file_list_model::progress_opened(const qvtf::qxval& title)
{
    post([this, t = to_qt(title)] { emit progress_open(t); });
}

void file_list_model::progress_text_changed(const qvtf::qxval& text)
{
    post([this, t = to_qt(text)] { emit progress_text(t); });
}

void file_list_model::progress_closed()
{
    post([this] { emit progress_close(); });
}

bool file_list_model::question_asked(int caption_phrase, const qvtf::qxval& text)
{
    const QString question = to_qt(text);
    if (QThread::currentThread() == thread())
        return question_handler ? question_handler(caption_phrase, question) : true;
    bool answer = true;
    // The worker waits for the user; it holds no lock the window needs.
    QMetaObject::invokeMethod(
        this,
        [&] {
            if (question_handler)
                answer = question_handler(caption_phrase, question);
        },
        Qt::BlockingQueuedConnection);
    return answer;
}

void file_list_model::folder_listed(qvtf::qxfile_node*)
{
    // One redraw of the folder tree answers every listing before it: a
    // folder that keeps changing (a download into it) must not queue more
    // redraws than the window's thread can do.
    if (folders_pending_.exchange(true))
        return;
    post([this] {
        folders_pending_ = false;
        emit folders_changed(QString());
    });
}

void file_list_model::folder_selected(qvtf::qxfile_node* folder)
{
    QString path;
    if (lister_ && folder) {
        qvtf::qxfile_tree::reader hold(lister_->tree());
        qvtf::qxval text;
        lister_->path_of(folder, text);
        path = to_qt(text);
    }
    post([this, path] { emit folders_changed(path.isEmpty() ? QStringLiteral("/") : path); });
}

void file_list_model::tree_cleared()
{
    post([this] { emit folders_changed(QString()); });
}

// Many notifications in a burst become one reload.
void file_list_model::schedule_reload()
{
    if (reload_pending_.exchange(true))
        return;
    post([this] { reload(); });
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
    } else {
        beginResetModel();
        rows_ = rows;
        kinds_ = std::move(kinds);
        endResetModel();
    }
    emit rows_reloaded();
}
