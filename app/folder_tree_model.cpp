#include "app/folder_tree_model.h"

#include <QSet>
#include <algorithm>

#include "app/qt_text.h"
#include "browse/qx_file_lister.h"

struct folder_tree_model::item {
    QString name;
    item* parent = nullptr;
    bool listed = false;
    std::vector<std::unique_ptr<item>> children;

    int row() const
    {
        if (!parent)
            return 0;
        for (size_t i = 0; i < parent->children.size(); ++i)
            if (parent->children[i].get() == this)
                return int(i);
        return 0;
    }
};

struct folder_tree_model::snapshot {
    QString name;
    bool listed = false;
    std::vector<snapshot> children;
};

folder_tree_model::folder_tree_model(QObject* parent) : QAbstractItemModel(parent), top_(std::make_unique<item>()) {}

folder_tree_model::~folder_tree_model() = default;

void folder_tree_model::attach(qvtf::qx_file_lister* lister)
{
    beginResetModel();
    lister_ = lister;
    top_->children.clear();
    endResetModel();
    resync();
}

void folder_tree_model::take_folders(const qvtf::qxfile_tree& tree, const qvtf::qxfile_node& node, snapshot& out)
{
    out.listed = node.needs_listing == 0;
    // Only the shown folder's entries are sorted in the tree; the others keep
    // the order they were listed in.
    std::vector<const qvtf::qxfile_node*> folders;
    for (const qvtf::qxfile_node* child = node.first_child; child; child = child->next)
        if (child->is_folder)
            folders.push_back(child);
    std::stable_sort(folders.begin(), folders.end(), [&tree](const qvtf::qxfile_node* a, const qvtf::qxfile_node* b) {
        return tree.compare_folder_names(a->name.view(), b->name.view()) < 0;
    });
    for (const qvtf::qxfile_node* child : folders) {
        snapshot& s = out.children.emplace_back();
        s.name = to_qt(child->name);
        take_folders(tree, *child, s);
    }
}

void folder_tree_model::resync()
{
    snapshot fresh;  // stands for the invisible top
    if (lister_) {
        qvtf::qxfile_tree::reader hold(lister_->tree());
        if (const qvtf::qxfile_node* root = lister_->tree().root) {
            snapshot& s = fresh.children.emplace_back();
            s.name = QStringLiteral("/");
            take_folders(lister_->tree(), *root, s);
        }
    }
    fresh.listed = true;
    merge(top_.get(), fresh, QModelIndex());
}

// Removes the items whose names went, inserts the new ones in place, and
// goes down into the rest; a change of order rebuilds the level.
void folder_tree_model::merge(item* mine, const snapshot& fresh, const QModelIndex& at)
{
    if (mine->listed != fresh.listed && mine != top_.get()) {
        mine->listed = fresh.listed;
        emit dataChanged(at, at, {Qt::DecorationRole});
    }
    QSet<QString> wanted;
    for (const snapshot& s : fresh.children)
        wanted.insert(s.name);
    for (int i = int(mine->children.size()) - 1; i >= 0; --i) {
        if (wanted.contains(mine->children[size_t(i)]->name))
            continue;
        beginRemoveRows(at, i, i);
        mine->children.erase(mine->children.begin() + i);
        endRemoveRows();
    }
    // What is left must be in the fresh order.
    size_t j = 0;
    for (const snapshot& s : fresh.children) {
        if (j < mine->children.size() && mine->children[j]->name == s.name)
            ++j;
    }
    if (j != mine->children.size()) {
        beginRemoveRows(at, 0, int(mine->children.size()) - 1);
        mine->children.clear();
        endRemoveRows();
    }
    for (size_t k = 0; k < fresh.children.size(); ++k) {
        const snapshot& s = fresh.children[k];
        if (k < mine->children.size() && mine->children[k]->name == s.name)
            continue;
        beginInsertRows(at, int(k), int(k));
        auto fresh_item = std::make_unique<item>();
        fresh_item->name = s.name;
        fresh_item->parent = mine;
        fresh_item->listed = s.listed;
        mine->children.insert(mine->children.begin() + long(k), std::move(fresh_item));
        endInsertRows();
    }
    for (size_t k = 0; k < fresh.children.size(); ++k)
        merge(mine->children[k].get(), fresh.children[k], index(int(k), 0, at));
}

folder_tree_model::item* folder_tree_model::item_of(const QModelIndex& index) const
{
    return index.isValid() ? static_cast<item*>(index.internalPointer()) : top_.get();
}

QModelIndex folder_tree_model::index_for(const item* it) const
{
    if (!it || it == top_.get())
        return {};
    return createIndex(it->row(), 0, const_cast<item*>(it));
}

QString folder_tree_model::path_of(const QModelIndex& index) const
{
    QStringList parts;
    for (const item* it = item_of(index); it && it != top_.get() && it->parent != top_.get(); it = it->parent)
        parts.prepend(it->name);
    if (!index.isValid())
        return {};
    return "/" + parts.join('/');
}

QModelIndex folder_tree_model::index_of(const QString& path) const
{
    if (top_->children.empty())
        return {};
    item* it = top_->children.front().get();
    for (const QString& part : path.split('/', Qt::SkipEmptyParts)) {
        item* next = nullptr;
        for (auto& child : it->children)
            if (child->name == part)
                next = child.get();
        if (!next)
            return {};
        it = next;
    }
    return index_for(it);
}

void folder_tree_model::set_current(const QString& path)
{
    if (path == current_)
        return;
    const QModelIndex before = index_of(current_);
    current_ = path;
    const QModelIndex after = index_of(current_);
    for (const QModelIndex& changed : {before, after})
        if (changed.isValid())
            emit dataChanged(changed, changed, {Qt::DecorationRole});
}

bool folder_tree_model::is_listed(const QModelIndex& index) const
{
    return index.isValid() && item_of(index)->listed;
}

QModelIndex folder_tree_model::index(int row, int column, const QModelIndex& parent) const
{
    const item* p = item_of(parent);
    if (column != 0 || row < 0 || row >= int(p->children.size()))
        return {};
    return createIndex(row, 0, p->children[size_t(row)].get());
}

QModelIndex folder_tree_model::parent(const QModelIndex& child) const
{
    if (!child.isValid())
        return {};
    return index_for(item_of(child)->parent);
}

int folder_tree_model::rowCount(const QModelIndex& parent) const
{
    if (parent.column() > 0)
        return 0;
    return int(item_of(parent)->children.size());
}

int folder_tree_model::columnCount(const QModelIndex&) const
{
    return 1;
}

bool folder_tree_model::hasChildren(const QModelIndex& parent) const
{
    if (parent.column() > 0)
        return false;
    const item* it = item_of(parent);
    // A folder not listed yet may have subfolders; expanding it lists it.
    return !it->children.empty() || (parent.isValid() && !it->listed);
}

QVariant folder_tree_model::data(const QModelIndex& index, int role) const
{
    if (!index.isValid())
        return {};
    const item* it = item_of(index);
    if (role == Qt::DisplayRole || role == Qt::ToolTipRole)
        return role == Qt::ToolTipRole ? QVariant(path_of(index)) : QVariant(it->name);
    if (role == Qt::DecorationRole && icon_for)
        return icon_for(it->listed, !current_.isEmpty() && path_of(index) == current_);
    return {};
}

Qt::ItemFlags folder_tree_model::flags(const QModelIndex& index) const
{
    if (!index.isValid())
        return Qt::ItemIsDropEnabled;
    return Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemIsDragEnabled | Qt::ItemIsDropEnabled;
}
