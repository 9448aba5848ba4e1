// site_tree_model: the site manager's tree view over the profile tree.
//
// The model shows the profile nodes themselves (internal pointers), so its
// order is always the tree's order, the order that is saved. The one top row
// is the top group. Structural changes go through this model so the view and
// the tree never disagree.
#pragma once

#include <QAbstractItemModel>
#include <QIcon>
#include <QSet>

#include "profiles/ftp_profile_tree.h"

class site_tree_model : public QAbstractItemModel {
    Q_OBJECT
public:
    // Image numbers of the tree: kind minus one, and 4 for an open group.
    enum image : int { image_group = 0, image_site = 1, image_bookmark = 2, image_open_group = 4 };
    enum role : int { image_role = Qt::UserRole + 1 };

    explicit site_tree_model(qvtf::ftp_profile_tree& tree, QObject* parent = nullptr);

    QModelIndex index(int row, int column, const QModelIndex& parent = {}) const override;
    QModelIndex parent(const QModelIndex& child) const override;
    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;

    Qt::DropActions supportedDragActions() const override { return Qt::MoveAction; }
    Qt::DropActions supportedDropActions() const override { return Qt::MoveAction; }
    QStringList mimeTypes() const override;
    QMimeData* mimeData(const QModelIndexList& indexes) const override;
    bool canDropMimeData(const QMimeData* data, Qt::DropAction action, int row, int column,
                         const QModelIndex& parent) const override;
    bool dropMimeData(const QMimeData* data, Qt::DropAction action, int row, int column,
                      const QModelIndex& parent) override;

    qvtf::ftp_profile* node_at(const QModelIndex& index) const;
    QModelIndex index_of(const qvtf::ftp_profile* node) const;
    // True when node is still part of the tree.
    bool contains(const qvtf::ftp_profile* node) const;

    // A group holds groups and sites, a site holds bookmarks.
    static bool can_hold(const qvtf::ftp_profile* holder, int32_t kind);
    // Whether dropping node on target moves it: target is not already its
    // parent, can hold its kind, and is neither node nor inside it.
    bool can_move(const qvtf::ftp_profile* node, const qvtf::ftp_profile* target) const;
    // Moves node with its subtree to be target's first child; false when
    // can_move says no.
    bool move_node(qvtf::ftp_profile* node, qvtf::ftp_profile* target);

    // Links node into the tree as parent's last child, or right after
    // `after` when given (after's parent is then the parent).
    QModelIndex add_node(qvtf::ftp_profile* node, qvtf::ftp_profile* parent, qvtf::ftp_profile* after = nullptr);
    // Unlinks node with its subtree and destroys it.
    void remove_node(qvtf::ftp_profile* node);
    // The node's label changed.
    void node_changed(const qvtf::ftp_profile* node);
    // The tree was replaced (a load); also forgets expansion.
    void reload();

    // The view reports these; an expanded or selected group shows open.
    void set_expanded(const qvtf::ftp_profile* node, bool expanded);
    void set_selected(const qvtf::ftp_profile* node);
    int image_of(const qvtf::ftp_profile* node) const;

private:
    int row_of(const qvtf::ftp_profile* node) const;
    void forget(const qvtf::ftp_profile* node);
    const QIcon& icon(int number) const;

    qvtf::ftp_profile_tree& tree_;
    QSet<const qvtf::ftp_profile*> expanded_;
    const qvtf::ftp_profile* selected_ = nullptr;
    QIcon icons_[5];
};
