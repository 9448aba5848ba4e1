// queue_widget: the queue panel's contents. A flat toolbar with the two kill
// commands and the item counter above the list of queue rows; the Delete
// key kills the selected rows, and entries dragged from a browser pane are
// queued when dropped here.
#pragma once

#include <QWidget>
#include <vector>

class QLabel;
class QTableView;
class QToolBar;
class ui_queue_manager;

namespace qvtf {
class qxlang;
}

class queue_widget : public QWidget {
    Q_OBJECT
public:
    queue_widget(ui_queue_manager* model, const qvtf::qxlang* language, QWidget* parent = nullptr);

    QTableView& list() const { return *list_; }
    QLabel& counter() const { return *counter_; }
    QToolBar& toolbar() const { return *toolbar_; }

    // The eleven column widths in display order; a width below 6 becomes 5.
    void set_widths(const std::vector<int32_t>& widths);
    std::vector<int32_t> widths() const;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    QString phrase(int number) const;
    void show_count(int rows);

    ui_queue_manager* model_;
    const qvtf::qxlang* language_;
    QToolBar* toolbar_ = nullptr;
    QLabel* counter_ = nullptr;
    QTableView* list_ = nullptr;
};
