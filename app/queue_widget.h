// queue_widget: the queue panel's contents. Three tabs: the queue itself (a
// flat toolbar with the two kill commands, Pause and the item counter above
// the list of queue rows; the Delete key kills the selected rows, and
// entries dragged from a browser pane are queued when dropped here), the
// items that failed (with Requeue) and the ones that succeeded.
#pragma once

#include <QWidget>
#include <functional>
#include <string>
#include <vector>

class QAction;
class QLabel;
class QTabWidget;
class QTableView;
class QToolBar;
class queue_finished_model;
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
    QTabWidget& tabs() const { return *tabs_; }
    QAction& pause_action() const { return *pause_; }
    queue_finished_model& failed() const { return *failed_; }
    queue_finished_model& succeeded() const { return *succeeded_; }
    QTableView& failed_list() const { return *failed_list_; }
    QTableView& succeeded_list() const { return *succeeded_list_; }
    // Which site the queue works for now ("" for none); requeued items must
    // have failed on the same one.
    std::function<std::string()> site_key;
    // Queues the selected failed items again (all of them when none is
    // selected); how many went back. Items that failed on another site stay.
    int requeue_failed();

    // The eleven column widths in display order; a width below 6 becomes 5.
    void set_widths(const std::vector<int32_t>& widths);
    std::vector<int32_t> widths() const;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    QString phrase(int number) const;
    void show_count(int rows);
    void show_tab_counts();
    QWidget* make_finished_page(queue_finished_model* model, QTableView*& list, bool failed);

    ui_queue_manager* model_;
    const qvtf::qxlang* language_;
    QToolBar* toolbar_ = nullptr;
    QLabel* counter_ = nullptr;
    QTableView* list_ = nullptr;
    QTabWidget* tabs_ = nullptr;
    QAction* pause_ = nullptr;
    queue_finished_model* failed_ = nullptr;
    queue_finished_model* succeeded_ = nullptr;
    QTableView* failed_list_ = nullptr;
    QTableView* succeeded_list_ = nullptr;
};
