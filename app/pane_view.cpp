#include "app/pane_view.h"

#include <QDrag>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QMimeData>

#include "app/node_mime.h"

namespace {

// Pane drags are always copies for Qt: the entries move through the lister
// or the queue, never by the view removing rows.
template <class Event>
void accept_pane_drag(Event* event)
{
    if (node_mime_data::from(event->mimeData())) {
        event->setDropAction(Qt::CopyAction);
        event->accept();
    } else {
        event->ignore();
    }
}

void enable_pane_drags(QAbstractItemView* view)
{
    view->setDragEnabled(true);
    view->setAcceptDrops(true);
    view->setDropIndicatorShown(true);
    view->setDragDropMode(QAbstractItemView::DragDrop);
    view->setDefaultDropAction(Qt::CopyAction);
}

void take_pane_drop(QDropEvent* event, const std::function<void(const node_mime_data&, const QPoint&)>& handler)
{
    const node_mime_data* data = node_mime_data::from(event->mimeData());
    if (!data) {
        event->ignore();
        return;
    }
    event->setDropAction(Qt::CopyAction);
    event->accept();
    if (handler)
        handler(*data, event->position().toPoint());
}

void run_drag(QAbstractItemView* view, QMimeData* data)
{
    if (!data)
        return;
    auto* drag = new QDrag(view);
    drag->setMimeData(data);
    drag->exec(Qt::CopyAction, Qt::CopyAction);
}

}  // namespace

pane_list_view::pane_list_view(QWidget* parent) : QTableView(parent)
{
    enable_pane_drags(this);
}

QModelIndex pane_list_view::moveCursor(CursorAction action, Qt::KeyboardModifiers modifiers)
{
    const int rows = model() ? model()->rowCount(rootIndex()) : 0;
    if ((action == MoveHome || action == MoveEnd) && rows > 0) {
        const int column = currentIndex().isValid() ? currentIndex().column() : 0;
        return model()->index(action == MoveHome ? 0 : rows - 1, column, rootIndex());
    }
    return QTableView::moveCursor(action, modifiers);
}

void pane_list_view::dragEnterEvent(QDragEnterEvent* event)
{
    accept_pane_drag(event);
}

void pane_list_view::dragMoveEvent(QDragMoveEvent* event)
{
    accept_pane_drag(event);
}

void pane_list_view::dropEvent(QDropEvent* event)
{
    take_pane_drop(event, drop_handler);
}

void pane_list_view::startDrag(Qt::DropActions)
{
    const QModelIndexList rows = selectionModel()->selectedRows();
    if (!rows.isEmpty())
        run_drag(this, model()->mimeData(rows));
}

pane_tree_view::pane_tree_view(QWidget* parent) : QTreeView(parent)
{
    enable_pane_drags(this);
}

void pane_tree_view::dragEnterEvent(QDragEnterEvent* event)
{
    accept_pane_drag(event);
}

void pane_tree_view::dragMoveEvent(QDragMoveEvent* event)
{
    accept_pane_drag(event);
}

void pane_tree_view::dropEvent(QDropEvent* event)
{
    take_pane_drop(event, drop_handler);
}

void pane_tree_view::startDrag(Qt::DropActions)
{
    if (drag_data)
        run_drag(this, drag_data());
}
