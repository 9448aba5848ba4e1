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
    setDragEnabled(true);
    setAcceptDrops(true);
    setDropIndicatorShown(true);
    setDragDropMode(QAbstractItemView::DragDrop);
    setDefaultDropAction(Qt::CopyAction);
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
    const node_mime_data* data = node_mime_data::from(event->mimeData());
    if (!data) {
        event->ignore();
        return;
    }
    event->setDropAction(Qt::CopyAction);
    event->accept();
    if (drop_handler)
        drop_handler(*data, event->position().toPoint());
}

void pane_list_view::startDrag(Qt::DropActions)
{
    const QModelIndexList rows = selectionModel()->selectedRows();
    if (!rows.isEmpty())
        run_drag(this, model()->mimeData(rows));
}

pane_tree_view::pane_tree_view(QWidget* parent) : QTreeView(parent)
{
    setDragEnabled(true);
    setAcceptDrops(true);
    setDropIndicatorShown(true);
    setDragDropMode(QAbstractItemView::DragDrop);
    setDefaultDropAction(Qt::CopyAction);
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
    const node_mime_data* data = node_mime_data::from(event->mimeData());
    if (!data) {
        event->ignore();
        return;
    }
    event->setDropAction(Qt::CopyAction);
    event->accept();
    if (drop_handler)
        drop_handler(*data, event->position().toPoint());
}

void pane_tree_view::startDrag(Qt::DropActions)
{
    if (drag_data)
        run_drag(this, drag_data());
}
