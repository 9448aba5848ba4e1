// TSiteManagerForm: the modal dialog in which the user builds the tree of
// groups, sites and bookmarks, edits their fields, saves the tree and picks
// the site to connect to.
//
// The dialog edits the profile nodes in place. It never connects by itself:
// connecting closes it and hands the chosen node to on_connect.
#pragma once

#include <QDialog>
#include <QMessageBox>
#include <functional>

#include "core/qxval.h"
#include "profiles/ftp_profile_tree.h"

class QAction;
class QCheckBox;
class QComboBox;
class QFormLayout;
class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;
class QTabWidget;
class QToolButton;
class QTreeView;
class site_tree_model;

namespace qvtf {
class qxlang;
}

class TSiteManagerForm : public QDialog {
    Q_OBJECT
public:
    TSiteManagerForm(qvtf::ftp_profile_tree& tree, const qvtf::qxlang* language, QWidget* parent = nullptr);
    ~TSiteManagerForm() override;

    // Where save writes the tree ("site_profiles.xml" in the user folder).
    void set_profile_path(const qvtf::qxval& path) { profile_path_ = path; }
    // The password-scrambling key of the settings.
    void set_key(const qvtf::qxval& key) { key_ = key; }
    // The folder of the help pages; by default "help/" beside the program.
    void set_help_folder(const QString& folder) { help_folder_ = folder; }

    // Shows the dialog modally, first creating a new site when asked.
    // Accepted when the user connected (on_connect has run), else Rejected.
    int open_modal(bool create_new_site);
    // What open_modal does before it shows the dialog: the view reset to the
    // tree with only the top group expanded, the last node (or the top group)
    // selected, the new site made. false when there is no tree.
    bool prepare_to_open(bool create_new_site);

    // Called when the user connects, after the dialog has closed, with the
    // chosen site or bookmark (a bookmark already carries its site's data).
    std::function<void(qvtf::ftp_profile* site)> on_connect;
    // The settings' password_storage: a password kept nowhere is no reason
    // to refuse a connection, it is asked for then.
    int32_t password_storage = 0;
    // Asked for every node of a subtree before it is deleted: true when that
    // node is in use (the current connection's profile) and must not be
    // destroyed; the deletion is then refused.
    std::function<bool(const qvtf::ftp_profile* node)> in_use;
    // Runs a write to a node under the lock of whoever else reads the nodes
    // (the queue, whose workers read the connected site as they start); by
    // default it just runs the write.
    std::function<void(const std::function<void()>& write)> shared_write = [](const std::function<void()>& write) {
        write();
    };
    // Shows a message box and returns the button pressed. Replaceable so that
    // the dialog can be driven without a person at the keyboard.
    std::function<QMessageBox::StandardButton(QMessageBox::Icon icon, const QString& caption, const QString& text,
                                              QMessageBox::StandardButtons buttons)>
        message_box;
    // The folder chooser (start folder in, chosen folder out, empty on cancel);
    // replaceable for the same reason.
    std::function<QString(const QString& title, const QString& start)> choose_folder;

    // The node whose fields are shown.
    qvtf::ftp_profile* current() const { return current_; }
    bool modified() const { return modified_; }
    bool just_created() const { return just_created_; }
    site_tree_model& model() const { return *model_; }
    QTreeView& tree_view() const { return *tv1; }
    // The status line's text.
    QString status_text() const;

    // The commands, as the buttons, menu items and keys run them.
    void new_item(int32_t kind);
    void delete_current();
    bool save_current();
    void undo_current();
    void connect_current();
    void browse_local_folder();
    void show_help();
    // Makes node the current one (the pending-edits question may refuse).
    bool select_node(qvtf::ftp_profile* node);

protected:
    void done(int result) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void build_layout();
    void build_commands();
    void retranslate();
    QString phrase(int number, const char* fallback) const;

    // Fields (site_manager_fields.cpp).
    void show_fields(qvtf::ftp_profile* node);
    void store_fields(qvtf::ftp_profile* node);
    void field_edited();
    void host_edited();
    void directory_edited();
    void port_left();
    // A host typed with its port ("[::1]:2121", "name:2121") goes into the
    // two fields; brackets around a bare IPv6 address go.
    void host_left();
    // Implicit TLS has a port of its own: 21 becomes 990 and back.
    void encryption_chosen(int mode);
    void anonymous_clicked(bool checked);
    void enable_field(QWidget* field, bool enabled);
    void set_connection_enabled(bool user_fields, bool others);

    void current_index_changed();
    void update_commands();
    // True when the user wants to stay with unsaved edits.
    bool keep_pending_edits();
    bool subtree_in_use(const qvtf::ftp_profile* node) const;
    void copy_fields(qvtf::ftp_profile* node);
    // The protocol and the SSH login (site_manager_ssh.cpp).
    void build_ssh_fields(QFormLayout* basic, QFormLayout* advanced);
    void show_ssh_fields(const qvtf::ftp_profile* node);
    void copy_ssh_fields(qvtf::ftp_profile* node);
    void protocol_chosen(int index);
    void show_protocol_rows();
    void browse_key_file();
    void retranslate_ssh();
    void set_status(int phrase_number);
    void show_error(int caption, const QString& text);

    qvtf::ftp_profile_tree& tree_;
    const qvtf::qxlang* language_;
    qvtf::qxval profile_path_{""};
    qvtf::qxval key_{""};
    QString help_folder_;

    site_tree_model* model_ = nullptr;
    qvtf::ftp_profile* current_ = nullptr;
    bool modified_ = false;
    bool just_created_ = false;
    bool loading_ = false;
    bool reverting_ = false;   // putting the selection back after "stay"
    bool connecting_ = false;  // the dialog closes for a connection
    int status_phrase_ = 224;

    QTreeView* tv1 = nullptr;
    QTabWidget* pages_ = nullptr;
    QWidget* tsBasic = nullptr;
    QWidget* tsAdvanced = nullptr;
    QLineEdit* eLabel = nullptr;
    QLineEdit* eHost = nullptr;
    QLineEdit* ePort = nullptr;
    QComboBox* cbEncryption = nullptr;
    QLineEdit* eUser = nullptr;
    QLineEdit* ePassword = nullptr;
    QLineEdit* eDirectory = nullptr;
    QLineEdit* eLocalDirectory = nullptr;
    QToolButton* sbBrowseLocalDirectory = nullptr;
    QCheckBox* cbAnonymous = nullptr;
    QCheckBox* cbSavePassword = nullptr;
    QLineEdit* eList = nullptr;
    QCheckBox* cbDetectTimeDiff = nullptr;
    QPlainTextEdit* mCustomCommands = nullptr;
    QLabel* lLabel = nullptr;
    QLabel* lHost = nullptr;
    QLabel* lPort = nullptr;
    QLabel* lEncryption = nullptr;
    QLabel* lUser = nullptr;
    QLabel* lPassword = nullptr;
    QLabel* lDirectory = nullptr;
    QLabel* lLocalDirectory = nullptr;
    QLabel* lList = nullptr;
    QLabel* lCustomCommands = nullptr;
    QPushButton* butOK = nullptr;
    QPushButton* butCancel = nullptr;
    QPushButton* butConnect = nullptr;
    QPushButton* bClose = nullptr;
    QLabel* StatusPanel = nullptr;
    QFormLayout* basic_form_ = nullptr;
    QFormLayout* advanced_form_ = nullptr;
    QComboBox* cbProtocol = nullptr;
    QLabel* lProtocol = nullptr;
    QComboBox* cbSshAuth = nullptr;
    QLabel* lSshAuth = nullptr;
    QLineEdit* eKeyFile = nullptr;
    QLabel* lKeyFile = nullptr;
    QToolButton* sbBrowseKeyFile = nullptr;
    QWidget* key_row_ = nullptr;
    QLineEdit* eKeyPassphrase = nullptr;
    QLabel* lKeyPassphrase = nullptr;
    QCheckBox* cbSshConfig = nullptr;
    QLabel* lSshNote = nullptr;

    QAction* miNewGroup = nullptr;
    QAction* miNewSite = nullptr;
    QAction* miNewBookmark = nullptr;
    QAction* miDelete = nullptr;
    QAction* miConnect = nullptr;
    QAction* miSave = nullptr;
    QAction* miUndo = nullptr;
    QAction* miClose = nullptr;
    QAction* tbHelp = nullptr;
};
