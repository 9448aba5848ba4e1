// TqorxVTF: the program's only top-level window. The two browser panes sit
// side by side in the middle; the log and the queue are dock panels that
// may live only above or below them.
#pragma once

#include <QMainWindow>

class QDockWidget;
class QSplitter;
class QTableView;
class file_list_model;
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
    file_list_model& local_model() const { return *local_model_; }
    file_list_model& remote_model() const { return *remote_model_; }
    ui_queue_manager& queue_model() const { return *queue_model_; }
    QTableView& local_list() const { return *local_list_; }
    QTableView& remote_list() const { return *remote_list_; }

    // Docks a panel into an area it is allowed in; false (and nothing moves)
    // for any other area.
    bool dock_panel(QDockWidget* panel, Qt::DockWidgetArea area);
    // Position, size and the panels' layout from the settings, and back.
    void restore_layout(const qvtf::global_ftp_values& values);
    void save_layout(qvtf::global_ftp_values& values) const;
    // "not connected", "connecting host", "connected host".
    void set_state_text(const QString& text);

private:
    QTableView* make_pane(file_list_model* model);
    QDockWidget* make_panel(const char* name, const QString& title, QWidget* content);

    const qvtf::qxlang* language_;
    log_view* log_ = nullptr;
    QDockWidget* log_panel_ = nullptr;
    QDockWidget* queue_panel_ = nullptr;
    QSplitter* middle_ = nullptr;
    file_list_model* local_model_ = nullptr;
    file_list_model* remote_model_ = nullptr;
    ui_queue_manager* queue_model_ = nullptr;
    QTableView* local_list_ = nullptr;
    QTableView* remote_list_ = nullptr;
    QTableView* queue_list_ = nullptr;
};
