// The site manager's fields: showing a node, storing it back, and the rules
// that tie fields to each other while the user types.
#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QSignalBlocker>
#include <QTabWidget>
#include <QToolButton>

#include "app/qt_text.h"
#include "app/site_manager_form.h"
#include "app/site_tree_model.h"
#include "remote/remote_site.h"
#include "net/socket_address.h"

using qvtf::ftp_profile;

namespace {

void put(qvtf::qxval& into, const QString& text)
{
    into.set_bytes(text.toUtf8().toStdString());
}

// The port as the field reads: leading digits, 0 when there are none.
int32_t port_of(const QString& text)
{
    bool ok = false;
    const int value = text.trimmed().toInt(&ok);
    return ok ? value : 0;
}

}  // namespace

void TSiteManagerForm::enable_field(QWidget* field, bool enabled)
{
    field->setEnabled(enabled);
    struct pair {
        QWidget* field;
        QLabel* label;
    };
    for (const pair& p :
         {pair{eLabel, lLabel}, pair{eHost, lHost}, pair{ePort, lPort}, pair{cbEncryption, lEncryption},
          pair{eUser, lUser}, pair{ePassword, lPassword},
          pair{eDirectory, lDirectory}, pair{eLocalDirectory, lLocalDirectory}, pair{eList, lList},
          pair{mCustomCommands, lCustomCommands}})
        if (p.field == field)
            p.label->setEnabled(enabled);
    if (field == eLocalDirectory)
        sbBrowseLocalDirectory->setEnabled(enabled);
}

void TSiteManagerForm::set_connection_enabled(bool user_fields, bool others)
{
    for (QWidget* w : {static_cast<QWidget*>(eHost), static_cast<QWidget*>(ePort), static_cast<QWidget*>(cbEncryption),
                       static_cast<QWidget*>(cbAnonymous)})
        enable_field(w, others);
    for (QWidget* w : {static_cast<QWidget*>(eUser), static_cast<QWidget*>(ePassword),
                       static_cast<QWidget*>(cbSavePassword), static_cast<QWidget*>(cbDetectTimeDiff)})
        enable_field(w, user_fields);
}

void TSiteManagerForm::show_fields(ftp_profile* node)
{
    loading_ = true;
    const QSignalBlocker block_anonymous(cbAnonymous);
    const QSignalBlocker block_detect(cbDetectTimeDiff);
    const QSignalBlocker block_save(cbSavePassword);
    const bool group = !node || node->is_group();
    if (group) {
        for (QLineEdit* e : {eHost, ePort, eUser, ePassword, eDirectory, eLocalDirectory, eList}) {
            e->clear();
            enable_field(e, false);
        }
        for (QCheckBox* c : {cbAnonymous, cbSavePassword, cbDetectTimeDiff}) {
            c->setChecked(false);
            enable_field(c, false);
        }
        mCustomCommands->clear();
        enable_field(mCustomCommands, false);
        cbEncryption->setCurrentIndex(qvtf::encryption_plain);
        enable_field(cbEncryption, false);
        eLabel->setText(node ? to_qt(node->label) : QString());
        enable_field(eLabel, node && node->parent);
        pages_->setTabVisible(1, false);
    } else {
        const bool site = node->is_site();
        const bool anonymous = node->anonymous_login != 0;
        eLabel->setText(to_qt(node->label));
        eHost->setText(to_qt(node->host));
        ePort->setText(QString::number(node->host_port));
        // A bookmark shows its site's; it is the site's to change.
        const ftp_profile* holder = site || !node->parent ? node : node->parent;
        cbEncryption->setCurrentIndex(holder->encryption >= 0 && holder->encryption < 4 ? holder->encryption
                                                                                         : qvtf::encryption_require_explicit);
        eUser->setText(to_qt(node->user_name));
        ePassword->setText(to_qt(node->password));
        eDirectory->setText(to_qt(node->directory));
        eLocalDirectory->setText(to_qt(node->local_dir));
        eList->setText(to_qt(node->list_params));
        cbAnonymous->setChecked(anonymous);
        cbSavePassword->setChecked(node->save_password != 0);
        cbDetectTimeDiff->setChecked(node->time_difference_state != qvtf::time_difference_switched_off);
        // A bookmark shows its site's commands; they are the site's to edit.
        const ftp_profile* owner = site ? node : node->parent;
        mCustomCommands->setPlainText(owner ? to_qt(owner->custom_commands) : QString());
        enable_field(eLabel, true);
        enable_field(eDirectory, true);
        enable_field(eLocalDirectory, true);
        set_connection_enabled(site && !anonymous, site);
        enable_field(eList, site);
        enable_field(mCustomCommands, site);
        pages_->setTabVisible(1, true);
    }
    show_ssh_fields(group ? nullptr : node);
    pages_->setCurrentIndex(0);
    loading_ = false;
}

void TSiteManagerForm::store_fields(ftp_profile* node)
{
    if (!node)
        return;
    if (eHost->isEnabled())
        host_left();
    // A worker that starts meanwhile reads the connected site's fields.
    shared_write([&] { copy_fields(node); });
}

void TSiteManagerForm::copy_fields(ftp_profile* node)
{
    if (eLabel->isEnabled())
        put(node->label, eLabel->text());
    if (eHost->isEnabled())
        put(node->host, eHost->text().trimmed());
    if (ePort->isEnabled())
        node->host_port = port_of(ePort->text());
    if (cbEncryption->isEnabled() && node->is_site())
        node->encryption = cbEncryption->currentIndex();
    if (eUser->isEnabled())
        put(node->user_name, eUser->text());
    if (ePassword->isEnabled())
        put(node->password, ePassword->text());
    if (eDirectory->isEnabled())
        put(node->directory, eDirectory->text());
    if (eLocalDirectory->isEnabled())
        put(node->local_dir, eLocalDirectory->text());
    if (eList->isEnabled())
        put(node->list_params, eList->text());
    if (cbAnonymous->isEnabled())
        node->anonymous_login = cbAnonymous->isChecked() ? 1 : 0;
    if (cbSavePassword->isEnabled())
        node->save_password = cbSavePassword->isChecked() ? 1 : 0;
    if (cbDetectTimeDiff->isEnabled()) {
        if (!cbDetectTimeDiff->isChecked())
            node->time_difference_state = qvtf::time_difference_switched_off;
        else if (node->time_difference_state != qvtf::time_difference_measured)
            node->time_difference_state = qvtf::time_difference_unmeasured;
    }
    if (mCustomCommands->isEnabled())
        put(node->custom_commands, mCustomCommands->toPlainText());
    copy_ssh_fields(node);
}

void TSiteManagerForm::field_edited()
{
    if (!loading_)
        modified_ = true;
}

void TSiteManagerForm::host_edited()
{
    if (!loading_ && just_created_ && current_ && current_->is_site())
        eLabel->setText(eHost->text());
}

void TSiteManagerForm::directory_edited()
{
    if (!loading_ && just_created_ && current_ && current_->is_bookmark())
        eLabel->setText(eDirectory->text());
}

void TSiteManagerForm::host_left()
{
    const std::string typed = eHost->text().trimmed().toStdString();
    std::string host;
    int32_t port = -1;
    // Text that does not split is left for the connect to report.
    if (!ePort->isEnabled() || !qvtf::split_host_port(typed, host, port) || host.empty() || (host == typed && port < 0))
        return;
    eHost->setText(QString::fromStdString(host));
    if (port > 0)
        ePort->setText(QString::number(port));
}

void TSiteManagerForm::port_left()
{
    const QString text = QString::number(port_of(ePort->text()));
    if (ePort->text() != text)
        ePort->setText(text);
}

void TSiteManagerForm::encryption_chosen(int mode)
{
    if (loading_)
        return;
    const int port = port_of(ePort->text());
    if (mode == qvtf::encryption_implicit && port == 21)
        ePort->setText(QString::number(qvtf::implicit_tls_port));
    else if (mode != qvtf::encryption_implicit && port == qvtf::implicit_tls_port)
        ePort->setText("21");
}

void TSiteManagerForm::anonymous_clicked(bool checked)
{
    if (loading_ || !current_ || !current_->is_site())
        return;
    modified_ = true;
    if (checked) {
        const bool created = just_created_;
        store_fields(current_);
        if (language_)
            shared_write([this] { qvtf::apply_anonymous(*current_, *language_); });
        show_fields(current_);
        just_created_ = created;
        set_connection_enabled(false, true);
    } else {
        set_connection_enabled(true, true);
    }
}
