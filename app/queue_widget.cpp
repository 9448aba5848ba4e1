#include "app/queue_widget.h"

#include <QApplication>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QItemSelectionModel>
#include <QKeyEvent>
#include <QLabel>
#include <QStyledItemDelegate>
#include <QTableView>
#include <QToolBar>
#include <QVBoxLayout>
#include <algorithm>

#include "app/icons.h"
#include "app/ui_queue_manager.h"
#include "markup/qxlang.h"

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

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->addWidget(top);
    layout->addWidget(list_, 1);
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
