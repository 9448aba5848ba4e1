// The remote folder picker: a tree of the remote folders listed so far on
// the browser connection. A folder not yet listed is listed when it is
// selected or expanded, on a thread of its own; the session's current
// folder is put back after each listing, so the remote pane never finds its
// connection somewhere else.
#pragma once

#include <QDialog>
#include <QString>
#include <atomic>
#include <functional>
#include <thread>

class QLineEdit;
class QPushButton;
class QTreeWidget;
class QTreeWidgetItem;

namespace qvtf {
class remote_session;
class qx_ftp_file_lister;
class qxlang;
}  // namespace qvtf

class TRemoteFolderPicker : public QDialog {
    Q_OBJECT
public:
    TRemoteFolderPicker(qvtf::remote_session& session, const qvtf::qxlang* language, QWidget* parent = nullptr);
    ~TRemoteFolderPicker() override;

    // The path of the folder confirmed with OK; empty otherwise.
    QString chosen_path() const { return chosen_; }
    // Selects the folder item at path when it is in the tree.
    bool select_path(const QString& path);
    // True from the start of a listing until its result is shown.
    bool listing() const { return listing_; }

    // Message boxes, replaceable so the dialog can be driven without a user.
    std::function<void(const QString& caption, const QString& text)> show_message;

    QTreeWidget* tree() const { return tree_; }
    QLineEdit* path_line() const { return path_; }
    QPushButton* up_button() const { return up_; }

public slots:
    void accept() override;
    // While a listing runs, stops it and closes once it has ended.
    void reject() override;

private:
    struct folder_snapshot;
    QString phrase(int number) const;
    void fill_from_session();
    void add_children(QTreeWidgetItem* parent, const folder_snapshot& folder);
    QTreeWidgetItem* item_for(const QByteArray& path) const;
    void selection_changed();
    void expanded(QTreeWidgetItem* item);
    void go_up();
    void list_item(QTreeWidgetItem* item);
    void listing_ended(const QByteArray& path, int status, const QString& error, const folder_snapshot& result);
    void set_busy(bool busy);
    void join_worker();

    qvtf::remote_session& session_;
    const qvtf::qxlang* language_;
    QLineEdit* path_ = nullptr;
    QTreeWidget* tree_ = nullptr;
    QPushButton* up_ = nullptr;
    QPushButton* ok_ = nullptr;
    QPushButton* cancel_ = nullptr;
    QString chosen_;
    std::thread worker_;
    bool listing_ = false;
    bool closing_ = false;
};

// The folder the user picks on the browser connection of remote; empty when
// cancelled, or when not connected (an error box says so).
QString pick_remote_folder(qvtf::qx_ftp_file_lister& remote, const qvtf::qxlang* language, QWidget* parent);
