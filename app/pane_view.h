// The list and the folder tree of a browser pane, with the drags they start
// and the drops they take. Both hand the work to their pane through hooks.
#pragma once

#include <QTableView>
#include <QTreeView>
#include <functional>

class QMimeData;
class node_mime_data;

class pane_list_view : public QTableView {
    Q_OBJECT
public:
    explicit pane_list_view(QWidget* parent = nullptr);
    // A pane drag dropped at a viewport position.
    std::function<void(const node_mime_data&, const QPoint&)> drop_handler;

protected:
    // Home and End go to the first and the last row, not along the row.
    QModelIndex moveCursor(CursorAction action, Qt::KeyboardModifiers modifiers) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dragMoveEvent(QDragMoveEvent* event) override;
    void dropEvent(QDropEvent* event) override;
    void startDrag(Qt::DropActions actions) override;
};

class pane_tree_view : public QTreeView {
    Q_OBJECT
public:
    explicit pane_tree_view(QWidget* parent = nullptr);
    std::function<void(const node_mime_data&, const QPoint&)> drop_handler;
    // The payload of a drag of the selected folder (null: no drag).
    std::function<QMimeData*()> drag_data;

protected:
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dragMoveEvent(QDragMoveEvent* event) override;
    void dropEvent(QDropEvent* event) override;
    void startDrag(Qt::DropActions actions) override;
};
