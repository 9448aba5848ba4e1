// The site manager's commands: creating, deleting, saving, undoing,
// connecting, choosing the local folder and help.
#include <QDesktopServices>
#include <QDir>
#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
#include <QTreeView>
#include <QUrl>

#include "app/password_at_connect.h"
#include "app/prompts_open.h"
#include "app/site_manager_form.h"
#include "app/site_manager_phrases.h"
#include "app/site_tree_model.h"

using namespace site_manager_phrases;
using qvtf::ftp_profile;

void TSiteManagerForm::new_item(int32_t kind)
{
    if (!current_ || keep_pending_edits())
        return;
    ftp_profile* parent = nullptr;
    ftp_profile* after = nullptr;
    if (site_tree_model::can_hold(current_, kind))
        parent = current_;
    else if (site_tree_model::can_hold(current_->parent, kind))
        after = current_;
    else
        return;
    ftp_profile* node = ftp_profile::make(kind);
    if (!node)
        return;
    node->label.set_bytes(phrase(p_new_item + kind, kind == qvtf::profile_group  ? "New group"
                                                    : kind == qvtf::profile_site ? "New site"
                                                                                 : "New bookmark")
                              .toStdString());
    const QModelIndex index = model_->add_node(node, parent, after);
    tv1->expand(index.parent());
    modified_ = false;
    tv1->setCurrentIndex(index);
    tv1->scrollTo(index);
    just_created_ = true;
    set_status(kind == qvtf::profile_group ? p_status_group : p_status_created);
    QLineEdit* focus = kind == qvtf::profile_group ? eLabel : kind == qvtf::profile_site ? eHost : eDirectory;
    focus->setFocus(Qt::OtherFocusReason);
}

bool TSiteManagerForm::subtree_in_use(const ftp_profile* node) const
{
    if (!in_use)
        return false;
    if (in_use(node))
        return true;
    for (const ftp_profile* c = node->first_child; c; c = c->next)
        if (subtree_in_use(c))
            return true;
    return false;
}

void TSiteManagerForm::delete_current()
{
    ftp_profile* node = current_;
    if (!node || !node->parent)
        return;
    const auto answer = message_box(QMessageBox::Question, phrase(p_delete_caption, "Delete entry"),
                                    phrase(p_delete_question, "Delete the selected entry with everything in it?"),
                                    QMessageBox::Yes | QMessageBox::No);
    if (answer != QMessageBox::Yes)
        return;
    // The connection reads its profile from the tree; it must not lose it.
    if (subtree_in_use(node)) {
        show_error(p_error, phrase(p_in_use, "This entry is used by the current connection. Disconnect first."));
        return;
    }
    ftp_profile* next = node->next ? node->next : node->prev ? node->prev : node->parent;
    if (!next)
        next = tree_.top();
    modified_ = false;
    // Move the selection first, so the view never points at a freed node.
    reverting_ = true;
    tv1->setCurrentIndex(model_->index_of(next));
    reverting_ = false;
    current_ = nullptr;
    model_->remove_node(node);
    tv1->setCurrentIndex(model_->index_of(next));
    current_index_changed();
}

bool TSiteManagerForm::save_current()
{
    if (!current_ || !current_->parent)
        return false;
    store_fields(current_);
    modified_ = false;
    model_->node_changed(current_);
    if (tree_.save(profile_path_, key_) != qvtf::profile_ok) {
        show_error(p_error, phrase(p_save_failed, "The site profiles could not be saved."));
        StatusPanel->setText(phrase(p_save_failed, "The site profiles could not be saved."));
        return false;
    }
    set_status(p_status_saved);
    return true;
}

void TSiteManagerForm::undo_current()
{
    if (!current_ || !current_->parent)
        return;
    if (current_->is_bookmark())
        qvtf::effective_site(current_);
    show_fields(current_);
    modified_ = false;
    set_status(p_status_undone);
}

namespace {

// An SFTP site that logs in with a key or the agent needs no password.
bool logs_in_without_password(const ftp_profile& node)
{
    const ftp_profile& site = node.is_bookmark() && node.parent ? *node.parent : node;
    return site.protocol == 1 && (site.ssh_auth == 0 || site.ssh_auth == 2 || site.ssh_auth == 3);
}

}  // namespace

void TSiteManagerForm::connect_current()
{
    ftp_profile* node = current_;
    if (!node || !(node->is_site() || node->is_bookmark()))
        return;
    qvtf::effective_site(node);
    store_fields(node);
    model_->node_changed(node);
    int problem = 0;
    if (node->host.view().empty())
        problem = p_empty_host;
    else if (node->host_port <= 0)
        problem = p_bad_port;
    else if (!node->anonymous_login && node->user_name.view().empty())
        problem = p_empty_user;
    else if (!node->anonymous_login && node->password.view().empty() && !logs_in_without_password(*node) &&
             !password_asked_at_connect(*node, password_storage))
        problem = p_empty_password;
    if (problem) {
        static const char* const fallback[] = {"The host name is empty.", "The port must be a number above 0.",
                                               "The user name is empty."};
        show_error(p_incomplete, phrase(problem, problem == p_empty_password ? "The password is empty."
                                                                             : fallback[problem - p_empty_host]));
        return;
    }
    if (modified_) {
        const auto answer =
            message_box(QMessageBox::Question, phrase(p_pending_caption, "Unsaved changes"),
                        phrase(p_save_before_connect, "This entry has unsaved changes. Save them before connecting?"),
                        QMessageBox::Yes | QMessageBox::No);
        if (answer == QMessageBox::Yes)
            save_current();
        modified_ = false;
    }
    connecting_ = true;
    done(QDialog::Accepted);
    if (on_connect)
        on_connect(node);
}

void TSiteManagerForm::browse_local_folder()
{
    const QString chosen = choose_folder(phrase(p_choose_local, "Choose the local folder"), eLocalDirectory->text());
    if (chosen.isEmpty())
        return;
    eLocalDirectory->setText(QDir::toNativeSeparators(chosen));
    modified_ = true;
}

void TSiteManagerForm::show_help()
{
    const QString failure = document_opener().open(QDir(help_folder_).filePath("0200.html"), false, language_);
    if (!failure.isEmpty())
        show_error(p_error, failure);
}
