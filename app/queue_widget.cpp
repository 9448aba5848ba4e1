#include "app/queue_widget.h"

#include <QApplication>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QItemSelectionModel>
#include <QKeyEvent>
#include <QLabel>
#include <QStyledItemDelegate>
#include <QTabWidget>
#include <QTableView>
#include <QToolBar>
#include <QToolButton>
#include <QVBoxLayout>
#include <algorithm>

#include "app/icons.h"
#include "app/queue_finished_model.h"
#include "app/ui_queue_manager.h"
#include "markup/qxlang.h"
#include "queue/ftp_queue_process_manager.h"

namespace {

// The progress column as a bar across the whole cell with its percentage,
// in place of the model's small picture.
class progress_delegate : public QStyledItemDelegate {
public:
    using QStyledItemDelegate::QStyledItemDelegate;

    void paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const override
    {
        const QString text = index.data(Qt::DisplayRole).toString();
        bool number = false;
        const int percent = QStringView(text).left(text.indexOf('%')).toInt(&number);
        if (!number) {
            QStyledItemDelegate::paint(painter, option, index);
            return;
        }
        QStyleOptionViewItem cell = option;
        initStyleOption(&cell, index);
        cell.text.clear();
        cell.icon = QIcon();
        cell.features &= ~QStyleOptionViewItem::HasDecoration;
        QStyle* style = option.widget ? option.widget->style() : QApplication::style();
        style->drawControl(QStyle::CE_ItemViewItem, &cell, painter, option.widget);  // background, selection
        QStyleOptionProgressBar bar;
        bar.rect = option.rect.adjusted(2, 2, -2, -2);
        bar.state = option.state | QStyle::State_Horizontal;
        bar.minimum = 0;
        bar.maximum = 100;
        bar.progress = std::clamp(percent, 0, 100);
        bar.text = text;
        bar.textVisible = true;
        bar.textAlignment = Qt::AlignCenter;
        style->drawControl(QStyle::CE_ProgressBar, &bar, painter, option.widget);
    }
};

}  // namespace

queue_widget::queue_widget(ui_queue_manager* model, const qvtf::qxlang* language, QWidget* parent)
    : QWidget(parent), model_(model), language_(language)
{
    setObjectName("QueueWidget");
    auto* top = new QWidget(this);
    top->setObjectName("QueueTopPanel");
    toolbar_ = new QToolBar(top);
    toolbar_->setObjectName("QueueToolBar");
    toolbar_->setIconSize(QSize(16, 16));
    toolbar_->setStyleSheet("QToolBar { border: 0px; }");
    QAction* kill_all = toolbar_->addAction(program_icons::icon(program_icons::kill_all), phrase(129));
    kill_all->setObjectName("bQueueKillAll");
    kill_all->setToolTip(phrase(129));
    QAction* kill_selected = toolbar_->addAction(program_icons::icon(program_icons::stopped), phrase(128));
    kill_selected->setObjectName("bQueueKillSelected");
    kill_selected->setToolTip(phrase(128));
    connect(kill_all, &QAction::triggered, model_, &ui_queue_manager::kill_all_async);
    connect(kill_selected, &QAction::triggered, model_, &ui_queue_manager::kill_selected_async);
    pause_ = toolbar_->addAction(program_icons::icon(program_icons::waiting), phrase(1300));
    pause_->setObjectName("bQueuePause");
    pause_->setCheckable(true);
    pause_->setToolTip(phrase(1301));
    connect(pause_, &QAction::toggled, this, [this](bool on) {
        if (qvtf::ftp_queue_process_manager* m = model_->manager())
            m->set_paused(on);
        emit model_->totals_changed();
    });
    // With its word: its picture alone reads as one of the kill commands.
    if (auto* button = qobject_cast<QToolButton*>(toolbar_->widgetForAction(pause_)))
        button->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
    counter_ = new QLabel(top);
    counter_->setObjectName("QueueCounter");
    auto* top_layout = new QHBoxLayout(top);
    top_layout->setContentsMargins(0, 0, 4, 0);
    top_layout->addWidget(toolbar_);
    top_layout->addStretch(1);
    top_layout->addWidget(counter_);

    list_ = new QTableView(this);
    list_->setObjectName("QueueList");
    list_->setModel(model_);
    list_->setSelectionBehavior(QAbstractItemView::SelectRows);
    list_->setSelectionMode(QAbstractItemView::ExtendedSelection);
    list_->setEditTriggers(QAbstractItemView::NoEditTriggers);
    list_->setSortingEnabled(false);
    list_->setShowGrid(false);
    list_->setWordWrap(false);
    list_->setIconSize(QSize(32, 16));
    list_->setItemDelegateForColumn(ui_queue_manager::column_progress, new progress_delegate(list_));
    list_->verticalHeader()->hide();
    list_->verticalHeader()->setDefaultSectionSize(std::max(18, list_->fontMetrics().height() + 4));
    list_->horizontalHeader()->setHighlightSections(false);
    list_->horizontalHeader()->setSectionsClickable(false);
    list_->horizontalHeader()->setMinimumSectionSize(5);
    // Drops of pane entries; the model decides what it takes.
    list_->setAcceptDrops(true);
    list_->setDragDropMode(QAbstractItemView::DropOnly);
    list_->setDropIndicatorShown(false);
    list_->installEventFilter(this);
    connect(list_->selectionModel(), &QItemSelectionModel::selectionChanged, this, [this] {
        std::vector<int> rows;
        for (const QModelIndex& index : list_->selectionModel()->selectedRows())
            rows.push_back(index.row());
        std::sort(rows.begin(), rows.end());
        model_->set_selected_rows(rows);
    });
    connect(model_, &ui_queue_manager::count_changed, this, &queue_widget::show_count);

    auto* queue_page = new QWidget(this);
    auto* queue_layout = new QVBoxLayout(queue_page);
    queue_layout->setContentsMargins(0, 0, 0, 0);
    queue_layout->setSpacing(0);
    queue_layout->addWidget(top);
    queue_layout->addWidget(list_, 1);

    const std::vector<QString> failed_headers{phrase(115), phrase(100), phrase(101), phrase(1305), phrase(1306)};
    std::vector<QString> done_headers = failed_headers;
    done_headers[queue_finished_model::col_result] = phrase(17);
    failed_ = new queue_finished_model(true, failed_headers, this);
    succeeded_ = new queue_finished_model(false, done_headers, this);
    succeeded_->skipped_text = phrase(1431);  // a target that existed and stayed
    tabs_ = new QTabWidget(this);
    tabs_->setObjectName("QueueTabs");
    tabs_->setDocumentMode(true);
    tabs_->setTabPosition(QTabWidget::South);
    tabs_->addTab(queue_page, QString());
    tabs_->addTab(make_finished_page(failed_, failed_list_, true), QString());
    tabs_->addTab(make_finished_page(succeeded_, succeeded_list_, false), QString());
    connect(model_, &ui_queue_manager::count_changed, this, &queue_widget::show_tab_counts);
    connect(failed_, &queue_finished_model::count_changed, this, &queue_widget::show_tab_counts);
    connect(succeeded_, &queue_finished_model::count_changed, this, &queue_widget::show_tab_counts);
    show_tab_counts();

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->addWidget(tabs_, 1);
    set_widths({40, 150, 70, 90, 90, 80, 80, 150, 150, 45, 70});
    show_count(model_->rowCount());
}

QString queue_widget::phrase(int number) const
{
    const char* text = language_ ? language_->phrase(number) : nullptr;
    return text ? QString::fromUtf8(text) : QString();
}

void queue_widget::show_count(int rows)
{
    counter_->setText(phrase(130) + QString::number(rows));
}

void queue_widget::show_tab_counts()
{
    const auto title = [this](int number, int rows) {
        return rows ? phrase(number) + " (" + QString::number(rows) + ")" : phrase(number);
    };
    tabs_->setTabText(0, title(259, model_->rowCount()));
    tabs_->setTabText(1, title(1302, failed_->rowCount()));
    tabs_->setTabText(2, title(1303, succeeded_->rowCount()));
}

QWidget* queue_widget::make_finished_page(queue_finished_model* model, QTableView*& list, bool failed)
{
    auto* page = new QWidget(this);
    auto* bar = new QToolBar(page);
    bar->setObjectName(failed ? "FailedToolBar" : "SuccessfulToolBar");
    bar->setIconSize(QSize(16, 16));
    bar->setToolButtonStyle(Qt::ToolButtonTextOnly);
    bar->setStyleSheet("QToolBar { border: 0px; }");
    if (failed) {
        QAction* again = bar->addAction(phrase(1304));
        again->setObjectName("bFailedRequeue");
        again->setToolTip(phrase(1307));
        connect(again, &QAction::triggered, this, [this] { requeue_failed(); });
    }
    QAction* clear = bar->addAction(phrase(1308));
    clear->setObjectName(failed ? "bFailedClear" : "bSuccessfulClear");
    connect(clear, &QAction::triggered, model, &queue_finished_model::clear);
    list = new QTableView(page);
    list->setObjectName(failed ? "FailedList" : "SuccessfulList");
    list->setModel(model);
    list->setSelectionBehavior(QAbstractItemView::SelectRows);
    list->setSelectionMode(QAbstractItemView::ExtendedSelection);
    list->setEditTriggers(QAbstractItemView::NoEditTriggers);
    list->setShowGrid(false);
    list->setWordWrap(false);
    list->verticalHeader()->hide();
    list->verticalHeader()->setDefaultSectionSize(std::max(18, list->fontMetrics().height() + 4));
    list->horizontalHeader()->setStretchLastSection(true);
    for (const auto& [column, width] : {std::pair{0, 160}, {1, 200}, {2, 200}, {3, 260}})
        list->horizontalHeader()->resizeSection(column, width);
    auto* layout = new QVBoxLayout(page);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->addWidget(bar);
    layout->addWidget(list, 1);
    return page;
}

int queue_widget::requeue_failed()
{
    qvtf::ftp_queue_process_manager* manager = model_->manager();
    if (!manager)
        return 0;
    std::vector<int> rows;
    for (const QModelIndex& index : failed_list_->selectionModel()->selectedRows())
        rows.push_back(index.row());
    if (rows.empty())
        for (int r = 0; r < failed_->rowCount(); ++r)
            rows.push_back(r);
    const std::string site = site_key ? site_key() : std::string();
    std::erase_if(rows, [&](int r) { return failed_->at(r).site != site || failed_->at(r).result.again.empty(); });
    int queued = 0;
    for (queue_finished_model::entry& e : failed_->take(rows))
        if (manager->append_item(qvtf::item_of(e.result.again)) == 0)
            ++queued;
    return queued;
}

void queue_widget::set_widths(const std::vector<int32_t>& widths)
{
    QHeaderView* header = list_->horizontalHeader();
    for (int i = 0; i < ui_queue_manager::column_count && i < static_cast<int>(widths.size()); ++i)
        header->resizeSection(i, widths[static_cast<size_t>(i)] < 6 ? 5 : widths[static_cast<size_t>(i)]);
}

std::vector<int32_t> queue_widget::widths() const
{
    std::vector<int32_t> out;
    const QHeaderView* header = list_->horizontalHeader();
    for (int i = 0; i < ui_queue_manager::column_count; ++i)
        out.push_back(header->sectionSize(header->logicalIndex(i)));
    return out;
}

bool queue_widget::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == list_ && event->type() == QEvent::KeyPress &&
        static_cast<QKeyEvent*>(event)->key() == Qt::Key_Delete && list_->selectionModel()->hasSelection()) {
        model_->kill_selected_async();
        return true;
    }
    return QWidget::eventFilter(watched, event);
}
