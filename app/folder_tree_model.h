// folder_tree_model: the folders a pane has seen, as a tree. It keeps its
// own copy of the folder names, re-read from the pane's tree on the
// window's thread whenever the lister says folders changed, so the view
// never holds a node that a listing on a worker thread may free. Items are
// merged by name: unchanged folders keep their items and expansion.
#pragma once

#include <QAbstractItemModel>
#include <QIcon>
#include <functional>
#include <memory>
#include <vector>

namespace qvtf {
class qx_file_lister;
class qxfile_tree;
struct qxfile_node;
}  // namespace qvtf

class folder_tree_model : public QAbstractItemModel {
    Q_OBJECT
public:
    explicit folder_tree_model(QObject* parent = nullptr);
    ~folder_tree_model() override;

    void attach(qvtf::qx_file_lister* lister);
    // Re-reads the folders from the lister's tree (window thread).
    void resync();
    // "/" for the top item, "/a/b" below it.
    QString path_of(const QModelIndex& index) const;
    // The item of a path, or an invalid index when the tree lacks it.
    QModelIndex index_of(const QString& path) const;
    bool is_listed(const QModelIndex& index) const;

    // The picture of a folder item: listed or still to be listed, and
    // whether it is the pane's current folder.
    std::function<QIcon(bool listed, bool current)> icon_for;
    // The current folder's item shows as open.
    void set_current(const QString& path);

    QModelIndex index(int row, int column, const QModelIndex& parent = {}) const override;
    QModelIndex parent(const QModelIndex& child) const override;
    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    bool hasChildren(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;

private:
    struct item;
    struct snapshot;
    item* item_of(const QModelIndex& index) const;
    QModelIndex index_for(const item* it) const;
    void merge(item* mine, const snapshot& fresh, const QModelIndex& at);
    void insert_children(item* mine, const snapshot& fresh, const QModelIndex& at);
    // The subfolders of node in the pane's name order (the engine's natural order).
    static void take_folders(const qvtf::qxfile_tree& tree, const qvtf::qxfile_node& node, snapshot& out);

    qvtf::qx_file_lister* lister_ = nullptr;
    std::unique_ptr<item> top_;  // invisible; its one child is the tree's root
    QString current_;
};
