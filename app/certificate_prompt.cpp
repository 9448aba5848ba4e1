#include "app/certificate_prompt.h"

#include <QDialogButtonBox>
#include <QFormLayout>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QThread>
#include <QTimer>
#include <QVBoxLayout>

#include "app/qt_text.h"

using qvtf::certificate_verdict;

namespace {
enum prompt_phrase : int {
    ph_title = 1020,
    ph_subject = 1021,
    ph_issuer = 1022,
    ph_valid = 1023,
    ph_fingerprint = 1024,
    ph_reason = 1025,
    ph_trust_once = 1026,
    ph_trust_always = 1027,
    ph_cancel = 1028,
    ph_question = 1029,
    ph_changed = 1030,
    ph_until = 1031,
    ph_protection = 1032,
    ph_not_encrypted = 1006,
    ph_close = 1033,
};

QLabel* value_label(const QString& text, const char* name)
{
    auto* label = new QLabel(text);
    label->setObjectName(name);
    label->setTextFormat(Qt::PlainText);
    label->setWordWrap(true);
    label->setTextInteractionFlags(Qt::TextSelectableByMouse);
    return label;
}
}  // namespace

QString certificate_prompt::phrase(int number, const char* fallback) const
{
    const char* text = language_ ? language_->phrase(number) : nullptr;
    return QString::fromUtf8(text && *text ? text : fallback);
}

certificate_prompt::certificate_prompt(const qvtf::certificate_facts& facts, bool asking,
                                       const qvtf::qxlang* language, QWidget* parent)
    : QDialog(parent), language_(language)
{
    setObjectName("certificate_prompt");
    setWindowTitle(phrase(ph_title, "Server certificate") + " - " + QString::fromStdString(facts.host) + ":" +
                   QString::number(facts.port));
    auto* root = new QVBoxLayout(this);
    if (asking) {
        auto* question = value_label(phrase(ph_question, "No authority vouches for this server's certificate. Compare "
                                                         "its fingerprint with the one the server's administrator "
                                                         "gives you before you trust it."),
                                     "question");
        root->addWidget(question);
    }
    if (!facts.stored_sha256.empty()) {
        // Loud: a certificate that changed may be an attacker's.
        auto* warning = value_label(phrase(ph_changed, "WARNING: this certificate is not the one you trusted for this "
                                                       "server before. The trusted one was:") +
                                        "\n" + QString::fromStdString(facts.stored_sha256),
                                    "changed");
        warning->setStyleSheet("QLabel { color: #b00000; font-weight: bold; }");
        root->addWidget(warning);
    }
    auto* form = new QFormLayout;
    form->addRow(phrase(ph_subject, "Subject:"), value_label(QString::fromStdString(facts.subject), "subject"));
    form->addRow(phrase(ph_issuer, "Issuer:"), value_label(QString::fromStdString(facts.issuer), "issuer"));
    form->addRow(phrase(ph_valid, "Valid from:"),
                 value_label(QString::fromStdString(facts.not_before) + phrase(ph_until, " until ") +
                                 QString::fromStdString(facts.not_after),
                             "validity"));
    auto* fingerprint = value_label(QString::fromStdString(facts.sha256), "fingerprint");
    QFont mono("monospace");
    mono.setStyleHint(QFont::TypeWriter);
    fingerprint->setFont(mono);
    form->addRow(phrase(ph_fingerprint, "SHA-256 fingerprint:"), fingerprint);
    if (!facts.reason.empty())
        form->addRow(phrase(ph_reason, "Not trusted because:"),
                     value_label(QString::fromStdString(facts.reason), "reason"));
    root->addLayout(form);

    auto* buttons = new QDialogButtonBox;
    if (asking) {
        QPushButton* once = buttons->addButton(phrase(ph_trust_once, "Trust once"), QDialogButtonBox::AcceptRole);
        once->setObjectName("trust_once");
        QPushButton* always =
            buttons->addButton(phrase(ph_trust_always, "Trust always"), QDialogButtonBox::AcceptRole);
        always->setObjectName("trust_always");
        QPushButton* cancel = buttons->addButton(phrase(ph_cancel, "Cancel"), QDialogButtonBox::RejectRole);
        cancel->setObjectName("cancel");
        // Nothing is trusted by a stray Enter.
        for (QPushButton* b : {once, always})
            b->setAutoDefault(false);
        cancel->setDefault(true);
        QTimer::singleShot(0, cancel, [cancel] { cancel->setFocus(); });
        connect(once, &QPushButton::clicked, this, [this] {
            verdict_ = certificate_verdict::trust_once;
            accept();
        });
        connect(always, &QPushButton::clicked, this, [this] {
            verdict_ = certificate_verdict::trust_always;
            accept();
        });
        connect(cancel, &QPushButton::clicked, this, &QDialog::reject);
    } else {
        QPushButton* close = buttons->addButton(phrase(ph_close, "Close"), QDialogButtonBox::RejectRole);
        close->setObjectName("close");
        connect(close, &QPushButton::clicked, this, &QDialog::reject);
    }
    root->addWidget(buttons);
    setMinimumWidth(560);
}

certificate_verdict certificate_prompt::ask(const qvtf::certificate_facts& facts, const qvtf::qxlang* language,
                                            QWidget* parent)
{
    certificate_prompt prompt(facts, true, language, parent);
    prompt.exec();
    return prompt.verdict();
}

void certificate_prompt::show_connection(const qvtf::connection_security& security, const qvtf::qxlang* language,
                                         QWidget* parent)
{
    if (!security.encrypted) {
        const char* text = language ? language->phrase(ph_not_encrypted) : nullptr;
        QMessageBox::information(parent, QString(), QString::fromUtf8(text && *text ? text : "Not encrypted"));
        return;
    }
    qvtf::certificate_facts facts = security.certificate;
    certificate_prompt view(facts, false, language, parent);
    const char* protection = language ? language->phrase(ph_protection) : nullptr;
    auto* line = value_label(QString::fromUtf8(protection && *protection ? protection : "Encrypted: ") +
                                 QString::fromStdString(security.version + ", " + security.cipher),
                             "protection");
    static_cast<QVBoxLayout*>(view.layout())->insertWidget(0, line);
    view.exec();
}

certificate_verdict gui_certificate_judge::judge(const qvtf::certificate_facts& facts)
{
    QWidget* parent = parent_.data();
    if (!parent)
        return certificate_verdict::reject;
    if (QThread::currentThread() == parent->thread())
        return certificate_prompt::ask(facts, language_, parent);
    // The connection's thread waits here until the user has answered.
    certificate_verdict verdict = certificate_verdict::reject;
    QMetaObject::invokeMethod(
        parent,
        [&] {
            if (QWidget* p = parent_.data())
                verdict = certificate_prompt::ask(facts, language_, p);
        },
        Qt::BlockingQueuedConnection);
    return verdict;
}
