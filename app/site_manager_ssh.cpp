// The site manager's protocol choice and SSH login fields. SFTP hides what
// only FTP has (anonymous login, listing parameters, user commands) and
// shows how to log in over SSH; the port follows the protocol while it is
// the other protocol's usual one.
#include <algorithm>

#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QFileDialog>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QSignalBlocker>
#include <QStyle>
#include <QToolButton>

#include "app/qt_text.h"
#include "app/site_manager_form.h"
#include "remote/remote_site.h"

using qvtf::ftp_profile;

namespace {

constexpr int ftp_port = 21;
constexpr int sftp_port = 22;
constexpr int auth_methods = 5;

void put_text(qvtf::qxval& into, const QString& text)
{
    into.set_bytes(text.toUtf8().toStdString());
}

}  // namespace

void TSiteManagerForm::build_ssh_fields(QFormLayout* basic, QFormLayout* advanced)
{
    basic_form_ = basic;
    advanced_form_ = advanced;
    cbProtocol = new QComboBox;
    cbProtocol->setObjectName("cbProtocol");
    cbProtocol->addItems({"FTP", "SFTP"});
    lProtocol = new QLabel;
    lProtocol->setObjectName("lProtocol");
    lProtocol->setBuddy(cbProtocol);
    cbSshAuth = new QComboBox;
    cbSshAuth->setObjectName("cbSshAuth");
    for (int i = 0; i < auth_methods; ++i)
        cbSshAuth->addItem(QString());
    lSshAuth = new QLabel;
    lSshAuth->setObjectName("lSshAuth");
    lSshAuth->setBuddy(cbSshAuth);
    eKeyFile = new QLineEdit;
    eKeyFile->setObjectName("eKeyFile");
    sbBrowseKeyFile = new QToolButton;
    sbBrowseKeyFile->setObjectName("sbBrowseKeyFile");
    sbBrowseKeyFile->setIcon(style()->standardIcon(QStyle::SP_DirOpenIcon));
    key_row_ = new QWidget;
    auto* key_layout = new QHBoxLayout(key_row_);
    key_layout->setContentsMargins(0, 0, 0, 0);
    key_layout->addWidget(eKeyFile);
    key_layout->addWidget(sbBrowseKeyFile);
    lKeyFile = new QLabel;
    lKeyFile->setObjectName("lKeyFile");
    lKeyFile->setBuddy(eKeyFile);
    eKeyPassphrase = new QLineEdit;
    eKeyPassphrase->setObjectName("eKeyPassphrase");
    eKeyPassphrase->setEchoMode(QLineEdit::Password);
    lKeyPassphrase = new QLabel;
    lKeyPassphrase->setObjectName("lKeyPassphrase");
    lKeyPassphrase->setBuddy(eKeyPassphrase);
    cbSshConfig = new QCheckBox;
    cbSshConfig->setObjectName("cbSshConfig");
    lSshNote = new QLabel;
    lSshNote->setObjectName("lSshNote");
    lSshNote->setWordWrap(true);

    // Protocol right below the host; the SSH rows below the password.
    basic->insertRow(2, lProtocol, cbProtocol);
    const int after_password = basic->rowCount() - 2;
    basic->insertRow(after_password, lSshAuth, cbSshAuth);
    basic->insertRow(after_password + 1, lKeyFile, key_row_);
    basic->insertRow(after_password + 2, lKeyPassphrase, eKeyPassphrase);
    basic->insertRow(after_password + 3, QString(), cbSshConfig);
    basic->addRow(QString(), lSshNote);

    connect(cbProtocol, &QComboBox::currentIndexChanged, this, [this](int index) { protocol_chosen(index); });
    connect(cbSshAuth, &QComboBox::currentIndexChanged, this, [this] {
        field_edited();
        show_protocol_rows();
    });
    connect(eKeyFile, &QLineEdit::textEdited, this, [this] { field_edited(); });
    connect(eKeyPassphrase, &QLineEdit::textEdited, this, [this] { field_edited(); });
    connect(cbSshConfig, &QCheckBox::toggled, this, [this] { field_edited(); });
    connect(sbBrowseKeyFile, &QToolButton::clicked, this, [this] { browse_key_file(); });
}

void TSiteManagerForm::retranslate_ssh()
{
    lProtocol->setText(phrase(1240, "Protocol:"));
    lSshAuth->setText(phrase(1241, "Log in with:"));
    static const char* const methods[auth_methods] = {"automatically (agent, key, password)", "password",
                                                      "private key file", "SSH agent", "keyboard-interactive"};
    for (int i = 0; i < auth_methods; ++i)
        cbSshAuth->setItemText(i, phrase(1242 + i, methods[i]));
    lKeyFile->setText(phrase(1247, "Key file:"));
    lKeyPassphrase->setText(phrase(1248, "Key passphrase:"));
    cbSshConfig->setText(phrase(1249, "Use my OpenSSH configuration (~/.ssh/config)"));
    lSshNote->setText(phrase(1250, "SOCKS proxies apply to SFTP; FTP firewalls do not."));
    sbBrowseKeyFile->setToolTip(phrase(1251, "Choose the private key file"));
}

void TSiteManagerForm::show_ssh_fields(const ftp_profile* node)
{
    const QSignalBlocker block_protocol(cbProtocol);
    const QSignalBlocker block_auth(cbSshAuth);
    const QSignalBlocker block_config(cbSshConfig);
    const bool site = node && node->is_site();
    const ftp_profile* owner = node && node->is_bookmark() ? node->parent : node;
    cbProtocol->setCurrentIndex(owner && owner->protocol == 1 ? 1 : 0);
    cbSshAuth->setCurrentIndex(owner ? std::clamp(owner->ssh_auth, 0, auth_methods - 1) : 0);
    eKeyFile->setText(owner ? to_qt(owner->ssh_key_file) : QString());
    eKeyPassphrase->setText(owner ? to_qt(owner->ssh_key_passphrase) : QString());
    cbSshConfig->setChecked(owner && owner->ssh_use_config);
    for (QWidget* w : {static_cast<QWidget*>(cbProtocol), static_cast<QWidget*>(cbSshAuth),
                       static_cast<QWidget*>(eKeyFile), static_cast<QWidget*>(sbBrowseKeyFile),
                       static_cast<QWidget*>(eKeyPassphrase), static_cast<QWidget*>(cbSshConfig)})
        w->setEnabled(site);
    show_protocol_rows();
}

void TSiteManagerForm::copy_ssh_fields(ftp_profile* node)
{
    if (!node->is_site() || !cbProtocol->isEnabled())
        return;
    node->protocol = cbProtocol->currentIndex() == 1 ? 1 : 0;
    node->ssh_auth = cbSshAuth->currentIndex();
    put_text(node->ssh_key_file, eKeyFile->text().trimmed());
    put_text(node->ssh_key_passphrase, eKeyPassphrase->text());
    node->ssh_use_config = cbSshConfig->isChecked() ? 1 : 0;
}

void TSiteManagerForm::protocol_chosen(int index)
{
    if (loading_)
        return;
    field_edited();
    // The usual port of one protocol becomes the other's; a port of the
    // user's own stays.
    const bool sftp = index == 1;
    const QString port = ePort->text().trimmed();
    const bool usual = sftp ? port == QString::number(ftp_port) || port == QString::number(qvtf::implicit_tls_port)
                            : port == QString::number(sftp_port);
    if (usual)
        ePort->setText(QString::number(sftp ? sftp_port : ftp_port));
    if (sftp && cbAnonymous->isChecked()) {
        cbAnonymous->setChecked(false);
        set_connection_enabled(true, true);
    }
    show_protocol_rows();
}

void TSiteManagerForm::show_protocol_rows()
{
    const bool site = cbProtocol->isEnabled();
    const bool sftp = site && cbProtocol->currentIndex() == 1;
    const int method = cbSshAuth->currentIndex();
    const bool key = method == 0 || method == 2;
    basic_form_->setRowVisible(cbProtocol, site);
    basic_form_->setRowVisible(cbSshAuth, sftp);
    basic_form_->setRowVisible(key_row_, sftp && key);
    basic_form_->setRowVisible(eKeyPassphrase, sftp && key);
    basic_form_->setRowVisible(cbSshConfig, sftp);
    basic_form_->setRowVisible(lSshNote, sftp);
    // What only FTP has.
    basic_form_->setRowVisible(cbAnonymous, !sftp);
    basic_form_->setRowVisible(cbEncryption, !sftp);
    advanced_form_->setRowVisible(eList, !sftp);
    advanced_form_->setRowVisible(mCustomCommands, !sftp);
}

void TSiteManagerForm::browse_key_file()
{
    QString start = eKeyFile->text();
    if (start.isEmpty())
        start = QDir::homePath() + "/.ssh";
    const QString chosen = QFileDialog::getOpenFileName(this, phrase(1251, "Choose the private key file"), start);
    if (chosen.isEmpty())
        return;
    eKeyFile->setText(chosen);
    field_edited();
}
