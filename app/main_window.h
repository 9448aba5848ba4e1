// TqorxVTF: the program's only top-level window. The two browser panes sit
// side by side in the middle; the log and the queue are dock panels that
// may live only above or below them.
#pragma once

#include <QMainWindow>

class QDockWidget;
class QSplitter;
class QTableView;
class file_list_model;
class pane_widget;
class log_view;
class ui_queue_manager;

namespace qvtf {
class qxlang;
struct global_ftp_values;
}

class TqorxVTF : public QMainWindow {
    Q_OBJECT
public:
    static constexpr Qt::DockWidgetAreas panel_areas = Qt::TopDockWidgetArea | Qt::BottomDockWidgetArea;

    explicit TqorxVTF(const qvtf::qxlang* language, QWidget* parent = nullptr);

    log_view& log() const { return *log_; }
    QDockWidget& log_panel() const { return *log_panel_; }
    QDockWidget& queue_panel() const { return *queue_panel_; }
    pane_widget& local_pane() const { return *local_pane_; }
    pane_widget& remote_pane() const { return *remote_pane_; }
    file_list_model& local_model() const;
    file_list_model& remote_model() const;
    ui_queue_manager& queue_model() const { return *queue_model_; }
    QTableView& local_list() const;
    QTableView& remote_list() const;

    // Docks a panel into an area it is allowed in; false (and nothing moves)
    // for any other area.
    bool dock_panel(QDockWidget* panel, Qt::DockWidgetArea area);
    // Position, size and the panels' layout from the settings, and back.
    void restore_layout(const qvtf::global_ftp_values& values);
    void save_layout(qvtf::global_ftp_values& values) const;
    // "not connected", "connecting host", "connected host".
    void set_state_text(const QString& text);

private:
    QDockWidget* make_panel(const char* name, const QString& title, QWidget* content);

    const qvtf::qxlang* language_;
    log_view* log_ = nullptr;
    QDockWidget* log_panel_ = nullptr;
    QDockWidget* queue_panel_ = nullptr;
    QSplitter* middle_ = nullptr;
    pane_widget* local_pane_ = nullptr;
    pane_widget* remote_pane_ = nullptr;
    ui_queue_manager* queue_model_ = nullptr;
    QTableView* queue_list_ = nullptr;
};
