#include "app/main_window.h"

#include <QDockWidget>
#include <QHeaderView>
#include <QItemSelectionModel>
#include <QSplitter>
#include <QTableView>

#include "app/file_list_model.h"
#include "app/log_view.h"
#include "app/pane_view.h"
#include "app/pane_widget.h"
#include "browse/qx_file_lister.h"
#include "app/ui_queue_manager.h"
#include "markup/qxlang.h"
#include "settings/global_ftp_settings.h"

namespace {

QString phrase_of(const qvtf::qxlang* language, int number, const char* fallback)
{
    const char* text = language ? language->phrase(number) : nullptr;
    return QString::fromUtf8(text && *text ? text : fallback);
}

QByteArray from_base64(const std::string& text)
{
    return QByteArray::fromBase64(QByteArray::fromStdString(text));
}

std::string to_base64(const QByteArray& bytes)
{
    return bytes.toBase64().toStdString();
}

std::vector<int> selected_rows_of(const QTableView* view)
{
    std::vector<int> rows;
    for (const QModelIndex& index : view->selectionModel()->selectedRows())
        rows.push_back(index.row());
    std::sort(rows.begin(), rows.end());
    return rows;
}

}  // namespace

TqorxVTF::TqorxVTF(const qvtf::qxlang* language, QWidget* parent) : QMainWindow(parent), language_(language)
{
    setObjectName("TqorxVTF");
    setDockOptions(QMainWindow::AnimatedDocks | QMainWindow::AllowNestedDocks);

    middle_ = new QSplitter(Qt::Horizontal, this);
    middle_->setObjectName("MiddleZone");
    local_pane_ = new pane_widget(false, language_, middle_);
    remote_pane_ = new pane_widget(true, language_, middle_);
    local_pane_->set_other(remote_pane_);
    remote_pane_->set_other(local_pane_);
    middle_->addWidget(local_pane_);
    middle_->addWidget(remote_pane_);
    setCentralWidget(middle_);

    log_ = new log_view(this);
    log_panel_ = make_panel("LogRichEdit", phrase_of(language_, 0, "Log"), log_);
    log_panel_->setWindowTitle("Log");

    queue_model_ = new ui_queue_manager(language_, this);
    queue_list_ = new QTableView(this);
    queue_list_->setModel(queue_model_);
    queue_list_->setSelectionBehavior(QAbstractItemView::SelectRows);
    queue_list_->setSelectionMode(QAbstractItemView::ExtendedSelection);
    queue_list_->setEditTriggers(QAbstractItemView::NoEditTriggers);
    queue_list_->verticalHeader()->hide();
    queue_list_->verticalHeader()->setDefaultSectionSize(queue_list_->fontMetrics().height() + 4);
    connect(queue_list_->selectionModel(), &QItemSelectionModel::selectionChanged, this,
            [this] { queue_model_->set_selected_rows(selected_rows_of(queue_list_)); });
    queue_panel_ = make_panel("QueuePanel", phrase_of(language_, 259, "Queue"), queue_list_);

    addDockWidget(Qt::TopDockWidgetArea, log_panel_);
    addDockWidget(Qt::BottomDockWidgetArea, queue_panel_);
    set_state_text(phrase_of(language_, 196, "not connected"));
}

file_list_model& TqorxVTF::local_model() const
{
    return local_pane_->model();
}

file_list_model& TqorxVTF::remote_model() const
{
    return remote_pane_->model();
}

QTableView& TqorxVTF::local_list() const
{
    return local_pane_->list_view();
}

QTableView& TqorxVTF::remote_list() const
{
    return remote_pane_->list_view();
}

QDockWidget* TqorxVTF::make_panel(const char* name, const QString& title, QWidget* content)
{
    auto* panel = new QDockWidget(title, this);
    panel->setObjectName(name);
    panel->setAllowedAreas(panel_areas);
    panel->setFeatures(QDockWidget::DockWidgetMovable | QDockWidget::DockWidgetClosable);
    panel->setWidget(content);
    return panel;
}

bool TqorxVTF::dock_panel(QDockWidget* panel, Qt::DockWidgetArea area)
{
    if (!panel || !panel->isAreaAllowed(area))
        return false;
    addDockWidget(area, panel);
    panel->show();
    return true;
}

void TqorxVTF::set_state_text(const QString& text)
{
    const QString title = "qvtf " + phrase_of(language_, 500, "") + " [" + text + "]";
    setWindowTitle(title.simplified());
}

void TqorxVTF::restore_layout(const qvtf::global_ftp_values& values)
{
    if (values.program_width > 0 && values.program_height > 0)
        setGeometry(values.program_left, values.program_top, values.program_width, values.program_height);
    if (values.middle_zone_stream_set)
        middle_->restoreState(from_base64(values.middle_zone_stream));
    // Without a stored layout the panels go where the controls lists name them.
    auto place = [this](const std::vector<std::string>& names, Qt::DockWidgetArea area) {
        for (const std::string& name : names) {
            if (name == "QueuePanel")
                dock_panel(queue_panel_, area);
            else if (name == "LogRichEdit")
                dock_panel(log_panel_, area);
        }
    };
    place(values.top_zone_controls, Qt::TopDockWidgetArea);
    place(values.bottom_zone_controls, Qt::BottomDockWidgetArea);
    if (values.top_zone_stream_set && !values.top_zone_stream.empty())
        restoreState(from_base64(values.top_zone_stream));
    else
        resizeDocks({log_panel_, queue_panel_}, {values.top_zone_height, values.bottom_zone_height}, Qt::Vertical);
}

void TqorxVTF::save_layout(qvtf::global_ftp_values& values) const
{
    const QRect bounds = geometry();
    values.program_left = bounds.x();
    values.program_top = bounds.y();
    values.program_width = bounds.width();
    values.program_height = bounds.height();
    values.top_zone_controls.clear();
    values.bottom_zone_controls.clear();
    for (QDockWidget* panel : {log_panel_, queue_panel_}) {
        const Qt::DockWidgetArea area = dockWidgetArea(panel);
        auto& names = area == Qt::TopDockWidgetArea ? values.top_zone_controls : values.bottom_zone_controls;
        names.push_back(panel->objectName().toStdString());
        const int height = panel->isVisible() ? panel->height() : 0;
        if (height > 0)
            (area == Qt::TopDockWidgetArea ? values.top_zone_height : values.bottom_zone_height) = height;
    }
    // One layout record holds both dock zones; it is kept under the top key.
    values.top_zone_stream = to_base64(saveState());
    values.top_zone_stream_set = true;
    values.middle_zone_stream = to_base64(middle_->saveState());
    values.middle_zone_stream_set = true;
    values.bottom_zone_stream.clear();
    values.bottom_zone_stream_set = false;
}
