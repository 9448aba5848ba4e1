#include "app/edit_list_dialog.h"

#include <QHBoxLayout>
#include <QHeaderView>
#include <QPushButton>
#include <QTableWidget>
#include <QVBoxLayout>

#include "app/edit_in_place.h"
#include "app/prompts.h"

namespace {

constexpr int id_role = Qt::UserRole + 1;

}  // namespace

edit_list_dialog::edit_list_dialog(edit_in_place& edits, const qvtf::qxlang* language, QWidget* parent)
    : QDialog(parent), edits_(edits)
{
    setObjectName("EditedFiles");
    setWindowTitle(phrase_text(language, 1452, "Files being edited"));
    auto* layout = new QVBoxLayout(this);
    table_ = new QTableWidget(0, 3, this);
    table_->setObjectName("EditedFilesList");
    table_->setHorizontalHeaderLabels({phrase_text(language, 1453, "Remote file"), phrase_text(language, 1454, "Site"),
                                       phrase_text(language, 1455, "State")});
    table_->setSelectionBehavior(QAbstractItemView::SelectRows);
    table_->setSelectionMode(QAbstractItemView::SingleSelection);
    table_->setEditTriggers(QAbstractItemView::NoEditTriggers);
    table_->verticalHeader()->hide();
    table_->horizontalHeader()->setStretchLastSection(true);
    table_->setColumnWidth(0, 260);
    table_->setColumnWidth(1, 160);
    layout->addWidget(table_, 1);

    auto* buttons = new QHBoxLayout;
    upload_ = new QPushButton(phrase_text(language, 1456, "Upload now"), this);
    upload_->setObjectName("bUploadNow");
    stop_ = new QPushButton(phrase_text(language, 1457, "Stop editing"), this);
    stop_->setObjectName("bStopEditing");
    auto* close = new QPushButton(phrase_text(language, 1486, "Close"), this);
    close->setObjectName("bClose");
    buttons->addWidget(upload_);
    buttons->addWidget(stop_);
    buttons->addStretch();
    buttons->addWidget(close);
    layout->addLayout(buttons);
    resize(640, 260);

    connect(upload_, &QPushButton::clicked, this, [this] { edits_.upload_now(selected_id()); });
    connect(stop_, &QPushButton::clicked, this, [this] { edits_.stop_editing(selected_id()); });
    connect(close, &QPushButton::clicked, this, &QDialog::hide);
    connect(table_, &QTableWidget::itemSelectionChanged, this, &edit_list_dialog::update_buttons);
    connect(&edits_, &edit_in_place::entries_changed, this, &edit_list_dialog::refresh);
}

int edit_list_dialog::selected_id() const
{
    const QList<QTableWidgetItem*> chosen = table_->selectedItems();
    return chosen.isEmpty() ? 0 : table_->item(chosen.front()->row(), 0)->data(id_role).toInt();
}

void edit_list_dialog::refresh()
{
    const int kept = selected_id();
    const auto& entries = edits_.registry().entries();
    table_->setRowCount(static_cast<int>(entries.size()));
    int row = 0;
    for (const auto& [id, e] : entries) {
        const QString cells[] = {QString::fromStdString(e.remote_path), edits_.site_text(e), edits_.state_text(e)};
        for (int column = 0; column < 3; ++column) {
            auto* cell = new QTableWidgetItem(cells[column]);
            cell->setToolTip(cells[column]);
            if (column == 0)
                cell->setData(id_role, id);
            table_->setItem(row, column, cell);
        }
        if (id == kept)
            table_->selectRow(row);
        ++row;
    }
    update_buttons();
}

void edit_list_dialog::update_buttons()
{
    const int id = selected_id();
    bool busy = true;
    for (const auto& [key, e] : edits_.registry().entries())
        if (key == id)
            busy = e.state == qvtf::edit_state::downloading || e.state == qvtf::edit_state::uploading;
    upload_->setEnabled(!busy);
    stop_->setEnabled(!busy);
}
