#include "app/remote_folder_picker.h"

#include <QDialogButtonBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QKeySequence>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPointer>
#include <QPushButton>
#include <QShortcut>
#include <QStyle>
#include <QTreeWidget>
#include <QVBoxLayout>
#include <string>
#include <vector>

#include "app/prompts_messages.h"
#include "app/qt_text.h"
#include "browse/qx_ftp_file_lister.h"
#include "markup/qxlang.h"
#include "remote/remote_folder_guard.h"
#include "remote/remote_session.h"

namespace {

constexpr int phrase_error = 12;
constexpr int phrase_cannot_read = 25;
constexpr int phrase_cancel = 47;
constexpr int phrase_ok = 13;
constexpr int phrase_title = 132;
constexpr int phrase_busy = 159;
constexpr int phrase_remote_folder = 267;
constexpr int phrase_select_first = 280;
constexpr int phrase_up = 812;

constexpr int role_path = Qt::UserRole;          // QByteArray: the server's bytes
constexpr int role_unlisted = Qt::UserRole + 1;  // bool
constexpr int snapshot_depth = 64;

QByteArray to_bytes(std::string_view text)
{
    return QByteArray(text.data(), static_cast<qsizetype>(text.size()));
}

QString bytes_text(const QByteArray& bytes)
{
    return QString::fromUtf8(bytes);
}

bool is_folder_entry(const qvtf::qxfile_node& n)
{
    return n.is_folder != 0 && n.name.view() != "." && n.name.view() != "..";
}

std::string node_path(const qvtf::qxfile_node* node)
{
    std::vector<std::string_view> parts;
    for (const qvtf::qxfile_node* n = node; n && n->parent; n = n->parent)
        parts.push_back(n->name.view());
    std::string path;
    for (auto it = parts.rbegin(); it != parts.rend(); ++it) {
        path += '/';
        path += *it;
    }
    return path.empty() ? std::string("/") : path;
}

}  // namespace

// A copy of part of the session's folder tree, so the widgets never touch
// nodes a listing may change under them.
struct TRemoteFolderPicker::folder_snapshot {
    QByteArray name;
    QByteArray path;
    bool unlisted = true;
    std::vector<folder_snapshot> children;

    // Under the tree's reader lock.
    static folder_snapshot of(const qvtf::qxfile_node& node, int depth)
    {
        folder_snapshot s;
        s.name = to_bytes(node.name.view());
        s.path = to_bytes(node_path(&node));
        s.unlisted = node.needs_listing != 0;
        if (depth <= 0)
            return s;
        for (const qvtf::qxfile_node* c = node.first_child; c; c = c->next)
            if (is_folder_entry(*c))
                s.children.push_back(of(*c, depth - 1));
        return s;
    }
};

TRemoteFolderPicker::TRemoteFolderPicker(qvtf::remote_session& session, const qvtf::qxlang* language, QWidget* parent)
    : QDialog(parent), session_(session), language_(language)
{
    setWindowTitle(phrase(phrase_title));
    resize(385, 400);
    show_message = [this](const QString& caption, const QString& text) {
        stack_message(this, QMessageBox::Warning, caption, text);
    };

    auto* layout = new QVBoxLayout(this);
    auto* top = new QHBoxLayout;
    path_ = new QLineEdit(this);
    path_->setReadOnly(true);
    path_->setObjectName("ePath");
    up_ = new QPushButton(style()->standardIcon(QStyle::SP_FileDialogToParent), phrase(phrase_up), this);
    up_->setObjectName("bUp");
    up_->setAutoDefault(false);
    top->addWidget(path_, 1);
    top->addWidget(up_);
    layout->addLayout(top);

    tree_ = new QTreeWidget(this);
    tree_->setObjectName("tvFolders");
    tree_->setHeaderHidden(true);
    tree_->setColumnCount(1);
    tree_->setUniformRowHeights(true);
    layout->addWidget(tree_, 1);

    auto* buttons = new QDialogButtonBox(this);
    ok_ = buttons->addButton(phrase(phrase_ok), QDialogButtonBox::AcceptRole);
    cancel_ = buttons->addButton(phrase(phrase_cancel), QDialogButtonBox::RejectRole);
    ok_->setObjectName("bOK");
    cancel_->setObjectName("bCancel");
    ok_->setDefault(true);
    layout->addWidget(buttons);

    connect(buttons, &QDialogButtonBox::accepted, this, &TRemoteFolderPicker::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &TRemoteFolderPicker::reject);
    connect(up_, &QPushButton::clicked, this, &TRemoteFolderPicker::go_up);
    auto* up_key = new QShortcut(QKeySequence(Qt::Key_Backspace), tree_);
    connect(up_key, &QShortcut::activated, this, &TRemoteFolderPicker::go_up);
    connect(tree_, &QTreeWidget::itemSelectionChanged, this, &TRemoteFolderPicker::selection_changed);

    setTabOrder(tree_, ok_);
    setTabOrder(ok_, cancel_);
    setTabOrder(cancel_, up_);
    setTabOrder(up_, path_);
    fill_from_session();
    // Connected after filling: revealing the current folder lists nothing.
    connect(tree_, &QTreeWidget::itemExpanded, this, &TRemoteFolderPicker::expanded);
    tree_->setFocus();
}

TRemoteFolderPicker::~TRemoteFolderPicker()
{
    if (worker_.joinable())
        session_.stop(qvtf::stop_reason_stop);
    join_worker();
}

QString TRemoteFolderPicker::phrase(int number) const
{
    return language_ ? to_qt(language_->text(number)) : QString();
}

void TRemoteFolderPicker::fill_from_session()
{
    folder_snapshot root;
    bool have_root = false;
    QByteArray current;
    {
        qvtf::qxfile_tree::reader hold(session_.folder_tree());
        if (session_.folder_tree().root) {
            root = folder_snapshot::of(*session_.folder_tree().root, snapshot_depth);
            have_root = true;
        }
        current = session_.current_folder() ? to_bytes(node_path(session_.current_folder()))
                                            : to_bytes(session_.current_path().view());
    }
    if (!have_root) {
        root.name = "/";
        root.path = "/";
    }
    const QIcon icon = style()->standardIcon(QStyle::SP_DirIcon);
    auto* top = new QTreeWidgetItem(tree_, QStringList(bytes_text(root.name)));
    top->setIcon(0, icon);
    top->setData(0, role_path, root.path);
    top->setData(0, role_unlisted, root.unlisted);
    add_children(top, root);
    top->setExpanded(true);
    path_->setText(bytes_text(current));
    // Reveal the current folder without selecting it: selecting lists.
    if (QTreeWidgetItem* item = item_for(current)) {
        for (QTreeWidgetItem* p = item->parent(); p; p = p->parent())
            p->setExpanded(true);
        tree_->setCurrentItem(item, 0, QItemSelectionModel::NoUpdate);
        tree_->scrollToItem(item);
    }
}

void TRemoteFolderPicker::add_children(QTreeWidgetItem* parent, const folder_snapshot& folder)
{
    const QSignalBlocker quiet(tree_);
    qDeleteAll(parent->takeChildren());
    const QIcon icon = style()->standardIcon(QStyle::SP_DirIcon);
    for (const folder_snapshot& c : folder.children) {
        auto* item = new QTreeWidgetItem(parent, QStringList(bytes_text(c.name)));
        item->setIcon(0, icon);
        item->setData(0, role_path, c.path);
        item->setData(0, role_unlisted, c.unlisted);
        add_children(item, c);
        // An unlisted folder may have subfolders: offer to expand it.
        item->setChildIndicatorPolicy(c.unlisted || !c.children.empty()
                                          ? QTreeWidgetItem::ShowIndicator
                                          : QTreeWidgetItem::DontShowIndicatorWhenChildless);
    }
    parent->setData(0, role_unlisted, folder.unlisted);
}

QTreeWidgetItem* TRemoteFolderPicker::item_for(const QByteArray& path) const
{
    QTreeWidgetItem* node = tree_->topLevelItem(0);
    if (!node || path.isEmpty() || path[0] != '/')
        return nullptr;
    for (const QByteArray& part : path.split('/')) {
        if (part.isEmpty())
            continue;
        QTreeWidgetItem* next = nullptr;
        for (int i = 0; i < node->childCount() && !next; ++i)
            if (node->child(i)->text(0).toUtf8() == part)
                next = node->child(i);
        if (!next)
            return nullptr;
        node = next;
    }
    return node;
}

bool TRemoteFolderPicker::select_path(const QString& path)
{
    QTreeWidgetItem* item = item_for(path.toUtf8());
    if (!item)
        return false;
    for (QTreeWidgetItem* p = item->parent(); p; p = p->parent())
        p->setExpanded(true);
    tree_->setCurrentItem(item);
    return true;
}

void TRemoteFolderPicker::selection_changed()
{
    const QList<QTreeWidgetItem*> selected = tree_->selectedItems();
    if (selected.isEmpty())
        return;
    QTreeWidgetItem* item = selected.front();
    path_->setText(bytes_text(item->data(0, role_path).toByteArray()));
    if (item->data(0, role_unlisted).toBool())
        list_item(item);
}

void TRemoteFolderPicker::expanded(QTreeWidgetItem* item)
{
    if (item->data(0, role_unlisted).toBool())
        list_item(item);
}

void TRemoteFolderPicker::go_up()
{
    QTreeWidgetItem* item = tree_->currentItem();
    if (item && item->parent())
        tree_->setCurrentItem(item->parent());
    else if (!item && tree_->topLevelItem(0))
        tree_->setCurrentItem(tree_->topLevelItem(0));
}

void TRemoteFolderPicker::list_item(QTreeWidgetItem* item)
{
    if (listing() || closing_)
        return;
    join_worker();
    const QByteArray path = item->data(0, role_path).toByteArray();
    set_busy(true);
    listing_ = true;
    QPointer<TRemoteFolderPicker> self(this);
    worker_ = std::thread([this, self, path] {
        int status = 0;
        QString error;
        folder_snapshot result;
        {
            qvtf::remote_session_lock hold(session_);
            qvtf::remote_result outcome;
            if (!hold) {
                outcome = hold.status();
            } else if (!session_.logged_in()) {
                outcome = qvtf::status_not_connected;
            } else {
                // Listed, then put back where the remote pane expects it.
                session_.clear_stop();
                qvtf::remote_folder_guard back(session_, true);
                outcome = session_.change_folder(qvtf::qxval(std::string(path.constData(), path.size())));
                if (outcome.ok())
                    outcome = session_.list_directory(qvtf::qxval(""));
                if (outcome.ok()) {
                    qvtf::qxfile_tree::reader tree_hold(session_.folder_tree());
                    if (session_.current_folder())
                        result = folder_snapshot::of(*session_.current_folder(), snapshot_depth);
                }
            }
            status = outcome.status;
            if (status != 0) {
                qvtf::qxval text;
                if (status == qvtf::status_busy && language_)
                    text.set_bytes(language_->text(phrase_busy));
                else
                    session_.error_text(outcome, text);
                error = to_qt(text).trimmed();
            }
        }
        QMetaObject::invokeMethod(
            self.data(),
            [self, path, status, error, result] {
                if (self)
                    self->listing_ended(path, status, error, result);
            },
            Qt::QueuedConnection);
    });
}

void TRemoteFolderPicker::listing_ended(const QByteArray& path, int status, const QString& error,
                                        const folder_snapshot& result)
{
    join_worker();
    listing_ = false;
    set_busy(false);
    if (closing_) {
        QDialog::reject();
        return;
    }
    if (status != 0) {
        show_message(phrase(phrase_error),
                     phrase(phrase_cannot_read) + bytes_text(path) + (error.isEmpty() ? QString() : "\n" + error));
        return;
    }
    QTreeWidgetItem* item = item_for(path);
    if (!item)
        return;
    // Rebuilding the folder's items drops the selection inside it: keep it
    // by path.
    QTreeWidgetItem* was = tree_->currentItem();
    const QByteArray kept = was ? was->data(0, role_path).toByteArray() : QByteArray();
    const bool kept_selected = was && was->isSelected();
    // The snapshot holds the whole known subtree, so folders listed before
    // keep their children.
    folder_snapshot merged = result;
    merged.unlisted = false;
    add_children(item, merged);
    item->setChildIndicatorPolicy(QTreeWidgetItem::DontShowIndicatorWhenChildless);
    QTreeWidgetItem* current = kept.isEmpty() ? nullptr : item_for(kept);
    {
        const QSignalBlocker quiet(tree_);
        item->setExpanded(true);
        if (current) {
            tree_->setCurrentItem(current, 0,
                                  kept_selected ? QItemSelectionModel::ClearAndSelect : QItemSelectionModel::NoUpdate);
        }
    }
    if (current && kept_selected) {
        path_->setText(bytes_text(kept));
        // A folder selected while this listing ran is listed now.
        if (current != item && current->data(0, role_unlisted).toBool())
            list_item(current);
    }
}

void TRemoteFolderPicker::set_busy(bool busy)
{
    if (busy)
        setCursor(Qt::BusyCursor);
    else
        unsetCursor();
    ok_->setEnabled(!busy);
    up_->setEnabled(!busy);
}

void TRemoteFolderPicker::join_worker()
{
    if (worker_.joinable())
        worker_.join();
}

void TRemoteFolderPicker::accept()
{
    if (listing())
        return;
    const QList<QTreeWidgetItem*> selected = tree_->selectedItems();
    if (selected.isEmpty()) {
        show_message(phrase(phrase_remote_folder), phrase(phrase_select_first));
        return;
    }
    chosen_ = bytes_text(selected.front()->data(0, role_path).toByteArray());
    QDialog::accept();
}

void TRemoteFolderPicker::reject()
{
    if (listing()) {
        // The listing ends soon after its data connection is cut.
        closing_ = true;
        cancel_->setEnabled(false);
        session_.stop(qvtf::stop_reason_stop);
        return;
    }
    QDialog::reject();
}

QString pick_remote_folder(qvtf::qx_ftp_file_lister& remote, const qvtf::qxlang* language, QWidget* parent)
{
    if (!remote.session().logged_in()) {
        qvtf::qxval text;
        remote.session().error_text(qvtf::status_not_connected, text);
        stack_message(parent, QMessageBox::Critical, language ? to_qt(language->text(phrase_error)) : QString(),
                      to_qt(text).trimmed());
        return {};
    }
    TRemoteFolderPicker picker(remote.session(), language, parent);
    if (picker.exec() != QDialog::Accepted)
        return {};
    return picker.chosen_path();
}
