// edit_list_dialog: the files being edited in place, each with its site
// and state (the reason of a failure with it), and what can be done about
// one: upload it now, or stop editing it.
#pragma once

#include <QDialog>

class QPushButton;
class QTableWidget;
class edit_in_place;

namespace qvtf {
class qxlang;
}

class edit_list_dialog : public QDialog {
    Q_OBJECT
public:
    edit_list_dialog(edit_in_place& edits, const qvtf::qxlang* language, QWidget* parent = nullptr);

    void refresh();
    QTableWidget& table() const { return *table_; }
    // The entry of the selected row, 0 without one.
    int selected_id() const;

private:
    void update_buttons();

    edit_in_place& edits_;
    QTableWidget* table_ = nullptr;
    QPushButton* upload_ = nullptr;
    QPushButton* stop_ = nullptr;
};
