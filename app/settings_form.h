// TSettings: the modal dialog that edits the global settings and the
// firewall definition, on five pages chosen in a tree. OK stores, applies
// to the queue, the browser connection and the panes, and saves at once.
#pragma once

#include <QAbstractSpinBox>
#include <QDialog>
#include <QUrl>
#include <array>
#include <functional>

#include "app/prompts_open.h"
#include "settings/program_folders.h"

namespace qvtf {
class global_ftp_settings;
class qxlang;
class qx_file_lister;
}  // namespace qvtf

class QCheckBox;
class QComboBox;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;
class QStackedWidget;
class QTreeWidget;
class edit_settings_group;

namespace settings_rules {
// The text read as an integer (leading blanks, sign, digits); 0 without digits.
long long read_integer(const QString& text);
// What a field shows after the user typed text: clamped into [low, high]
// once no further digit could bring it into range; otherwise unchanged.
// Returns false when the text stays as typed.
bool clamp_while_typing(const QString& text, int low, int high, int& clamped);
int clamp(long long value, int low, int high);
// The port a firewall type starts with: 21 for the FTP firewalls, 1080 for SOCKS.
int default_port(int type);
// Whether a firewall type takes a login script (the FTP firewalls 0 to 3).
bool takes_script(int type);
// The sort key after the case rule: name keys (0, 4) follow case_insensitive,
// other keys stay.
int name_sort_key(int key, bool case_insensitive);
}  // namespace settings_rules

// An integer field with up and down arrows, clamped into its range as the
// user types (a number above the range at once, one below it when no digit
// could still help) and when it is left.
class number_field : public QAbstractSpinBox {
    Q_OBJECT
public:
    number_field(int low, int high, QWidget* parent = nullptr);
    int value() const;
    // Writes a clamped value without reporting a change.
    void set_value(int value);
    QLineEdit* editor() const { return lineEdit(); }

    void stepBy(int steps) override;
    QValidator::State validate(QString& input, int& pos) const override;
    void fixup(QString& input) const override;

protected:
    StepEnabled stepEnabled() const override;

private:
    void typed(const QString& text);
    void left();

    int low_;
    int high_;
};

class TSettings : public QDialog {
    Q_OBJECT
public:
    TSettings(qvtf::global_ftp_settings& settings, const qvtf::qxlang* language, QWidget* parent = nullptr);

    // The panes whose name sorting follows the case setting; either may be null.
    void set_panes(qvtf::qx_file_lister* local, qvtf::qx_file_lister* remote);
    // Default: the program folder of the settings and the settings file's folder.
    void set_folders(const qvtf::program_folders& folders) { folders_ = folders; }

    // Fills every control from the settings and runs the dialog.
    int open_modal();
    // Fills every control from the settings.
    void fill();
    // Stores every control into the settings (OK's first step).
    void store();

    // Set by the window: the queue takes the new settings (apply_settings),
    // and the browser connection its passive flags.
    std::function<void(const qvtf::global_ftp_settings&)> apply_queue;
    std::function<void(const qvtf::global_ftp_settings&)> apply_connection;
    // Runs OK's store under the lock of whoever else reads the settings (the
    // queue, whose workers copy the proxy as they start); by default it
    // just runs the write.
    std::function<void(const std::function<void()>& write)> shared_write = [](const std::function<void()>& write) {
        write();
    };
    // Default QDesktopServices::openUrl and a message box.
    std::function<bool(const QUrl&)> open_url;
    // The editor fallback of the transfer-type file ($VISUAL, $EDITOR).
    document_opener editor_opener;
    std::function<void(const QString& text)> show_error;

    // The visible page: 0 connection, 1 firewall, 2 files, 3 logs, 4 sounds.
    int page() const;
    void set_page(int index);
    // The help page of a page, in the program's help folder.
    QString help_path(int index) const;
    // The user's "ext.txt", copied from the shipped one when the user has none.
    // Empty when neither can be had.
    QString user_extension_list() const;

    void accept() override;
    void help();
    void edit_file_types();

private:
    QString phrase(int number) const;
    QWidget* connection_page();
    QWidget* firewall_page();
    QWidget* files_page();
    QWidget* logs_page();
    QWidget* sounds_page();
    void firewall_type_chosen(int type);
    void port_left();
    qvtf::program_folders folders() const;
    void open_or_complain(const QString& path, bool text);

    qvtf::global_ftp_settings& settings_;
    const qvtf::qxlang* language_;
    qvtf::qx_file_lister* local_ = nullptr;
    qvtf::qx_file_lister* remote_ = nullptr;
    qvtf::program_folders folders_;

    QTreeWidget* tv_left_ = nullptr;
    QStackedWidget* pages_ = nullptr;
    // connection
    QCheckBox* cb_passive_ = nullptr;
    QCheckBox* cb_pasv_to_port_ = nullptr;
    QCheckBox* cb_extended_ = nullptr;
    number_field* e_threads_ = nullptr;
    number_field* e_tries_ = nullptr;
    QComboBox* cb_passwords_ = nullptr;
    // firewall
    QCheckBox* cb_fw_enabled_ = nullptr;
    QComboBox* cb_fw_type_ = nullptr;
    QLineEdit* e_host_ = nullptr;
    QLineEdit* e_port_ = nullptr;
    QLineEdit* e_user_ = nullptr;
    QLineEdit* e_password_ = nullptr;
    QPlainTextEdit* m_commands_ = nullptr;
    // files
    QCheckBox* cb_set_ft_ = nullptr;
    QComboBox* cb_download_exists_ = nullptr;
    QComboBox* cb_upload_exists_ = nullptr;
    QCheckBox* cb_sensitive_sort_ = nullptr;
    number_field* e_sync_time_interval_ = nullptr;
    QPushButton* b_file_types_ = nullptr;
    QCheckBox* cb_delete_confirmation_ = nullptr;
    QCheckBox* cb_delete_recycle_ = nullptr;
    edit_settings_group* edit_group_ = nullptr;
    // logs
    QCheckBox* cb_download_log_ = nullptr;
    QLineEdit* e_download_log_ = nullptr;
    QLineEdit* e_log_format_ = nullptr;
    QCheckBox* cb_command_log_ = nullptr;
    QLineEdit* e_command_log_ = nullptr;
    QCheckBox* cb_download_popup_error_ = nullptr;
    // sounds: bits 1, 2, 4, 8
    std::array<QCheckBox*, 4> sound_boxes_{};

    QPushButton* but_ok_ = nullptr;
    QPushButton* but_cancel_ = nullptr;
    QPushButton* but_help_ = nullptr;
};
