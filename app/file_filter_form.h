// TFileFilterForm: the file filter of one browser pane: names to show and to
// skip, an optional modification-time window and an optional size window.
// OK writes the values into the pane's filter and its settings keys and
// shows the pane again through the new filter.
#pragma once

#include <QDialog>
#include <QString>
#include <cstdint>
#include <ctime>

namespace qvtf {
class global_ftp_settings;
class qxlang;
class qx_file_lister;
}  // namespace qvtf

class QCheckBox;
class QDateEdit;
class QLabel;
class QLineEdit;
class QPushButton;
class QTimeEdit;

// One pane's filter as the dialog edits it.
struct file_filter_values {
    QString include = QStringLiteral("*");
    QString skip;
    bool time_on = false;
    int32_t time_start = 0;  // seconds since 1970 UTC
    int32_t time_end = 0;
    bool size_on = false;
    int32_t size_start = 0;  // bytes
    int32_t size_end = 1048576;

    // The "rf_" keys when remote, else the "lf_" keys.
    static file_filter_values from_settings(const qvtf::global_ftp_settings& settings, bool remote);
    void to_settings(qvtf::global_ftp_settings& settings, bool remote) const;
    // What shows every entry; the bounds are kept.
    file_filter_values show_all() const;
};

namespace file_filter {
// A size field's text read as an integer: leading blanks, a sign, digits up
// to the first other character; 0 without digits.
int64_t read_integer(const QString& text);
// Kilobytes as shown, from bytes.
int64_t kilobytes(int32_t bytes);
// Bytes to store for a field of kilobytes, kept within what the settings
// can hold (0 to 2,147,482,624).
int32_t bytes_of_kilobytes(int64_t kilobytes);
}  // namespace file_filter

class TFileFilterForm : public QDialog {
    Q_OBJECT
public:
    TFileFilterForm(qvtf::global_ftp_settings& settings, const qvtf::qxlang* language, QWidget* parent = nullptr);

    // Shows the filter of pane (its "rf_" keys when remote, else "lf_") and
    // applies what the user confirms.
    int exec_for(qvtf::qx_file_lister& pane, bool remote);
    // Fills the form for pane without showing it.
    void prepare(qvtf::qx_file_lister* pane, bool remote);

    // The values the controls show.
    file_filter_values shown_values() const;
    void show_values(const file_filter_values& values);

    void accept() override;
    // Button3: every entry shown, applied, closed.
    void show_everything();

private:
    QString phrase(int number) const;
    void apply(const file_filter_values& values);
    void enable_groups();
    void set_pickers_to_now();
    void rewrite_size(QLineEdit* field);

    qvtf::global_ftp_settings& settings_;
    const qvtf::qxlang* language_;
    qvtf::qx_file_lister* pane_ = nullptr;
    bool remote_ = false;

    QLineEdit* edit1_ = nullptr;  // include
    QLineEdit* edit2_ = nullptr;  // skip
    QCheckBox* check_box1_ = nullptr;
    QDateEdit* picker1_ = nullptr;
    QTimeEdit* picker2_ = nullptr;
    QDateEdit* picker3_ = nullptr;
    QTimeEdit* picker4_ = nullptr;
    QLabel* label5_ = nullptr;
    QLabel* label6_ = nullptr;
    QPushButton* button10_ = nullptr;
    QCheckBox* check_box2_ = nullptr;
    QLineEdit* edit5_ = nullptr;
    QLineEdit* edit6_ = nullptr;
    QLabel* kb1_ = nullptr;
    QLabel* kb2_ = nullptr;
    QPushButton* button1_ = nullptr;  // Cancel
    QPushButton* button2_ = nullptr;  // OK
    QPushButton* button3_ = nullptr;  // show all
};
