#include "app/site_tree_model.h"

#include <QApplication>
#include <QDataStream>
#include <QIODevice>
#include <QMimeData>
#include <QStyle>

#include "app/qt_text.h"

using qvtf::ftp_profile;

namespace {

// Carries the model and the node as addresses: a drag is only ever dropped
// back into the view it started in, and the model checks that it is its own.
const char* const node_mime_type = "application/x-qvtf-site-node";

struct dragged_node {
    quintptr model = 0;
    quintptr node = 0;
};

bool decode(const QMimeData* data, dragged_node& out)
{
    if (!data || !data->hasFormat(node_mime_type))
        return false;
    QByteArray bytes = data->data(node_mime_type);
    QDataStream in(&bytes, QIODevice::ReadOnly);
    in >> out.model >> out.node;
    return in.status() == QDataStream::Ok;
}

}  // namespace

site_tree_model::site_tree_model(qvtf::ftp_profile_tree& tree, QObject* parent)
    : QAbstractItemModel(parent), tree_(tree)
{
    QStyle* style = QApplication::style();
    icons_[image_group] = style->standardIcon(QStyle::SP_DirClosedIcon);
    icons_[image_site] = style->standardIcon(QStyle::SP_DriveNetIcon);
    icons_[image_bookmark] = style->standardIcon(QStyle::SP_DirLinkIcon);
    icons_[3] = icons_[image_group];
    icons_[image_open_group] = style->standardIcon(QStyle::SP_DirOpenIcon);
}

int site_tree_model::row_of(const ftp_profile* node) const
{
    int row = 0;
    for (const ftp_profile* n = node->prev; n; n = n->prev)
        ++row;
    return row;
}

QModelIndex site_tree_model::index(int row, int column, const QModelIndex& parent) const
{
    if (row < 0 || column != 0)
        return {};
    ftp_profile* n = nullptr;
    if (!parent.isValid()) {
        n = tree_.top();
    } else if (ftp_profile* p = node_at(parent)) {
        n = p->first_child;
    }
    for (int i = 0; n && i < row; ++i)
        n = n->next;
    return n ? createIndex(row, 0, n) : QModelIndex();
}

QModelIndex site_tree_model::parent(const QModelIndex& child) const
{
    ftp_profile* n = node_at(child);
    if (!n || !n->parent)
        return {};
    return createIndex(row_of(n->parent), 0, n->parent);
}

int site_tree_model::rowCount(const QModelIndex& parent) const
{
    if (parent.column() > 0)
        return 0;
    const ftp_profile* first = nullptr;
    if (!parent.isValid())
        first = tree_.top();
    else if (const ftp_profile* p = node_at(parent))
        first = p->first_child;
    int rows = 0;
    for (const ftp_profile* n = first; n; n = n->next)
        ++rows;
    return rows;
}

int site_tree_model::columnCount(const QModelIndex&) const
{
    return 1;
}

QVariant site_tree_model::data(const QModelIndex& index, int asked) const
{
    const ftp_profile* n = node_at(index);
    if (!n)
        return {};
    switch (asked) {
    case Qt::DisplayRole:
    case Qt::ToolTipRole: return to_qt(n->label);
    case Qt::DecorationRole: return icon(image_of(n));
    case image_role: return image_of(n);
    default: return {};
    }
}

Qt::ItemFlags site_tree_model::flags(const QModelIndex& index) const
{
    const ftp_profile* n = node_at(index);
    if (!n)
        return Qt::NoItemFlags;
    Qt::ItemFlags f = Qt::ItemIsEnabled | Qt::ItemIsSelectable;
    if (n->parent)
        f |= Qt::ItemIsDragEnabled;
    if (!n->is_bookmark())
        f |= Qt::ItemIsDropEnabled;
    return f;
}

QStringList site_tree_model::mimeTypes() const
{
    return {node_mime_type};
}

QMimeData* site_tree_model::mimeData(const QModelIndexList& indexes) const
{
    const ftp_profile* n = indexes.isEmpty() ? nullptr : node_at(indexes.first());
    if (!n || !n->parent)
        return nullptr;
    QByteArray bytes;
    QDataStream out(&bytes, QIODevice::WriteOnly);
    out << reinterpret_cast<quintptr>(this) << reinterpret_cast<quintptr>(n);
    auto* data = new QMimeData;
    data->setData(node_mime_type, bytes);
    return data;
}

bool site_tree_model::canDropMimeData(const QMimeData* data, Qt::DropAction action, int row, int,
                                      const QModelIndex& parent) const
{
    dragged_node d;
    // Only a drop onto a node counts; between nodes nothing happens.
    if (action != Qt::MoveAction || row != -1 || !decode(data, d) || d.model != reinterpret_cast<quintptr>(this))
        return false;
    const auto* node = reinterpret_cast<const ftp_profile*>(d.node);
    return contains(node) && can_move(node, node_at(parent));
}

bool site_tree_model::dropMimeData(const QMimeData* data, Qt::DropAction action, int row, int column,
                                   const QModelIndex& parent)
{
    if (!canDropMimeData(data, action, row, column, parent))
        return false;
    dragged_node d;
    decode(data, d);
    return move_node(reinterpret_cast<ftp_profile*>(d.node), node_at(parent));
}

ftp_profile* site_tree_model::node_at(const QModelIndex& index) const
{
    if (!index.isValid() || index.model() != this)
        return nullptr;
    return static_cast<ftp_profile*>(index.internalPointer());
}

QModelIndex site_tree_model::index_of(const ftp_profile* node) const
{
    if (!node)
        return {};
    return createIndex(row_of(node), 0, const_cast<ftp_profile*>(node));
}

bool site_tree_model::contains(const ftp_profile* node) const
{
    if (!node)
        return false;
    for (ftp_profile* n = tree_.top(); n; n = qvtf::qxe_tree<ftp_profile>::next_preorder(n))
        if (n == node)
            return true;
    return false;
}

bool site_tree_model::can_hold(const ftp_profile* holder, int32_t kind)
{
    if (!holder)
        return false;
    if (holder->is_group())
        return kind == qvtf::profile_group || kind == qvtf::profile_site;
    if (holder->is_site())
        return kind == qvtf::profile_bookmark;
    return false;
}

bool site_tree_model::can_move(const ftp_profile* node, const ftp_profile* target) const
{
    if (!node || !target || !node->parent || node->parent == target || !can_hold(target, node->kind))
        return false;
    // Moving a group into its own subtree would cut that subtree off the tree.
    for (const ftp_profile* n = target; n; n = n->parent)
        if (n == node)
            return false;
    return true;
}

bool site_tree_model::move_node(ftp_profile* node, ftp_profile* target)
{
    if (!can_move(node, target))
        return false;
    const int row = row_of(node);
    if (!beginMoveRows(index_of(node->parent), row, row, index_of(target), 0))
        return false;
    tree_.tree.unlink(node);
    tree_.tree.prepend_child(node, target);
    endMoveRows();
    return true;
}

QModelIndex site_tree_model::add_node(ftp_profile* node, ftp_profile* parent, ftp_profile* after)
{
    if (after)
        parent = after->parent;
    const int row = after ? row_of(after) + 1 : rowCount(index_of(parent));
    beginInsertRows(index_of(parent), row, row);
    if (after)
        tree_.tree.insert_after(node, after);
    else
        tree_.tree.append_child(node, parent);
    endInsertRows();
    return index_of(node);
}

void site_tree_model::remove_node(ftp_profile* node)
{
    if (!node || !node->parent)
        return;
    const int row = row_of(node);
    beginRemoveRows(index_of(node->parent), row, row);
    // Freed addresses may come back for new nodes; forget the whole subtree.
    forget(node);
    tree_.tree.remove(node);
    endRemoveRows();
}

void site_tree_model::forget(const ftp_profile* node)
{
    for (const ftp_profile* c = node->first_child; c; c = c->next)
        forget(c);
    expanded_.remove(node);
    if (selected_ == node)
        selected_ = nullptr;
}

void site_tree_model::node_changed(const ftp_profile* node)
{
    if (!node)
        return;
    const QModelIndex i = index_of(node);
    emit dataChanged(i, i);
}

void site_tree_model::reload()
{
    beginResetModel();
    expanded_.clear();
    selected_ = nullptr;
    endResetModel();
}

void site_tree_model::set_expanded(const ftp_profile* node, bool expanded)
{
    if (!node || expanded_.contains(node) == expanded)
        return;
    if (expanded)
        expanded_.insert(node);
    else
        expanded_.remove(node);
    node_changed(node);
}

void site_tree_model::set_selected(const ftp_profile* node)
{
    const ftp_profile* old = selected_;
    selected_ = node;
    if (old && old != node && contains(old))
        node_changed(old);
    if (node)
        node_changed(node);
}

int site_tree_model::image_of(const ftp_profile* node) const
{
    if (node->is_group())
        return expanded_.contains(node) || node == selected_ ? image_open_group : image_group;
    return node->kind - 1;
}

const QIcon& site_tree_model::icon(int number) const
{
    return icons_[number >= 0 && number < 5 ? number : 0];
}
