// TFilePropsForm: shows and changes the permission bits of the entries
// selected in one browser pane, optionally for folder contents too. The form
// only edits a value; the pane that opened it applies it.
#pragma once

#include <QDialog>
#include <array>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "remote/chmod_plan.h"

namespace qvtf {
class global_ftp_settings;
class qxlang;
class qx_ftp_file_lister;
class qx_local_file_lister;
struct qxfile_node;
}  // namespace qvtf

class QCheckBox;
class QComboBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QWidget;

// ---- the form's rules, free of widgets ----
namespace file_props {

constexpr unsigned permission_bits = 0xFFF;
constexpr unsigned special_bits = 0xE00;  // set-user-ID, set-group-ID, sticky

// value without the special bits when they may not be edited.
unsigned masked(unsigned value, bool special_enabled);
// The numeric field's text read as octal: digits 0-7 shift in, anything else
// is skipped. The low twelve bits come from the text, the bits above from
// previous; masked as above.
unsigned read_octal(std::string_view text, unsigned previous, bool special_enabled);
// Three octal digits, or four with the special bits.
std::string octal_text(unsigned value, bool special_enabled);
// Ten characters as in a Unix listing ("drwxr-sr-t").
std::string symbolic_text(unsigned value, bool is_folder);
// Whether OK hands the value to the pane: always for several entries or a
// recursive change, else only a real change of the first entry's value.
bool applies(bool multiple, bool recursive, bool changed, unsigned value, unsigned original);
// Whether the recursive option is offered: some entry is a folder, or a link
// whose target is not known.
bool recursion_offered(const std::vector<qvtf::qxfile_node*>& nodes);
// What OK sets: value on folders, and on files the value itself unless the
// change is recursive, where files take file_value or by default the value
// without its execute and special bits.
qvtf::chmod_plan plan_of(unsigned value, bool recursive, int targets, std::optional<unsigned> file_value);

}  // namespace file_props

struct file_props_request {
    qvtf::qxfile_node* first = nullptr;      // the first selected entry
    std::vector<qvtf::qxfile_node*> others;  // the other selected entries
    unsigned value = 0;                      // starting value (the first entry's bits)
    std::function<void(const qvtf::chmod_plan& plan, bool recursive)> apply;
};

class TFilePropsForm : public QDialog {
    Q_OBJECT
public:
    TFilePropsForm(const qvtf::global_ftp_settings& settings, const qvtf::qxlang* language, QWidget* parent = nullptr);

    // Remote pane: refused with the pane's message when it cannot change
    // permissions; applied with the server's change-mode command.
    int exec_for(qvtf::qx_ftp_file_lister& pane, std::vector<qvtf::qxfile_node*> nodes);
    // Local pane: applied with chmod(2) on a worker, then re-listed.
    int exec_for(qvtf::qx_local_file_lister& pane, std::vector<qvtf::qxfile_node*> nodes);
    // Fills the form from request and runs it modally.
    int exec_request(const file_props_request& request);
    // Fills the form without showing it.
    void prepare(const file_props_request& request);

    unsigned value() const { return value_; }
    // The plan OK would hand over now.
    qvtf::chmod_plan plan() const;
    bool changed() const { return changed_; }
    bool recursive_offered() const;

    // Shows an error; default a message box.
    std::function<void(const QString& text)> show_error;

    void accept() override;

private:
    QString phrase(int number) const;
    void box_clicked();
    void numeric_edited(const QString& text);
    void file_value_edited(const QString& text);
    bool recursive_checked() const;
    void refresh(bool numeric_too);
    bool special_enabled() const;
    void run_pending();

    struct pending_apply {
        qvtf::chmod_plan plan;
        bool recursive;
    };

    const qvtf::global_ftp_settings& settings_;
    const qvtf::qxlang* language_;
    file_props_request request_;
    unsigned value_ = 0;
    bool changed_ = false;
    bool special_ = false;
    bool in_exec_ = false;
    std::optional<pending_apply> pending_;  // OK's decision, carried out after exec
    std::optional<unsigned> file_value_;    // set once the user typed the files' value

    QLabel* multi_file_label_ = nullptr;
    QWidget* ua_panel_ = nullptr;
    // Bit i of the value is boxes_[i] (0x001 other execute ... 0x800 set-user-ID).
    std::array<QCheckBox*, 12> boxes_{};
    QLineEdit* ua_edit_ = nullptr;
    QLabel* ua_label_text_ = nullptr;
    QWidget* recursive_panel_ = nullptr;
    QCheckBox* recursive_box_ = nullptr;
    QComboBox* targets_box_ = nullptr;
    QWidget* file_value_panel_ = nullptr;
    QLineEdit* file_value_edit_ = nullptr;
    QLabel* file_value_text_ = nullptr;
    QPushButton* ok_button_ = nullptr;
    QPushButton* cancel_button_ = nullptr;
};
