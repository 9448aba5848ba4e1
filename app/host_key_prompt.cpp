#include "app/host_key_prompt.h"

#include <QApplication>
#include <QMessageBox>
#include <QPushButton>
#include <QThread>

#include "app/prompts.h"

using qvtf::host_key_question;
using qvtf::host_key_verdict;

namespace {

QString key_text(const host_key_question& q)
{
    return QString::fromStdString(q.key_type) + "\n" + QString::fromStdString(q.fingerprint);
}

}  // namespace

host_key_prompt::host_key_prompt(const qvtf::qxlang* language, QWidget* parent)
    : QObject(nullptr), language_(language), parent_(parent)
{
    moveToThread(QApplication::instance()->thread());
}

host_key_verdict host_key_prompt::judge(const host_key_question& question)
{
    if (QThread::currentThread() == thread())
        return ask(question);
    host_key_verdict verdict = host_key_verdict::refuse;
    QMetaObject::invokeMethod(
        this, [&] { verdict = ask(question); }, Qt::BlockingQueuedConnection);
    return verdict;
}

host_key_verdict host_key_prompt::ask(const host_key_question& q)
{
    auto text = [this](int number, const char* fallback) { return phrase_text(language_, number, fallback); };
    const QString host = QString::fromStdString(q.host) + (q.port == 22 ? QString() : ":" + QString::number(q.port));
    QMessageBox box(parent_);
    box.setObjectName("hostKeyPrompt");
    if (!q.changed) {
        box.setIcon(QMessageBox::Question);
        box.setWindowTitle(text(1252, "Unknown host key"));
        box.setText(text(1253, "The server ") + host + text(1254, " is not known yet. Its key is:") + "\n\n" +
                    key_text(q));
        box.setInformativeText(text(1255, "Check the fingerprint with the server's administrator."));
        QPushButton* once = box.addButton(text(1256, "Trust once"), QMessageBox::AcceptRole);
        once->setObjectName("trustOnce");
        QPushButton* remember = box.addButton(text(1257, "Trust and remember"), QMessageBox::AcceptRole);
        remember->setObjectName("trustRemember");
        QPushButton* cancel = box.addButton(text(1258, "Cancel"), QMessageBox::RejectRole);
        cancel->setObjectName("trustCancel");
        box.setDefaultButton(cancel);
        box.setEscapeButton(cancel);
        box.exec();
        if (box.clickedButton() == once)
            return host_key_verdict::trust_once;
        if (box.clickedButton() == remember)
            return host_key_verdict::remember;
        return host_key_verdict::refuse;
    }
    // A changed key: refused unless the user deliberately replaces it, and
    // confirms that once more.
    box.setIcon(QMessageBox::Warning);
    box.setWindowTitle(text(1259, "HOST KEY CHANGED"));
    box.setText(text(1253, "The server ") + host + "\n\n" + text(1260, "The key is not the one stored. Stored key: ") +
                QString::fromStdString(q.known_fingerprint) + "\n" + text(1261, "Key now shown: ") + key_text(q));
    QPushButton* cancel = box.addButton(text(1258, "Cancel"), QMessageBox::RejectRole);
    cancel->setObjectName("trustCancel");
    QPushButton* replace = box.addButton(text(1262, "Replace the stored key"), QMessageBox::DestructiveRole);
    replace->setObjectName("replaceKey");
    box.setDefaultButton(cancel);
    box.setEscapeButton(cancel);
    box.exec();
    if (box.clickedButton() != replace)
        return host_key_verdict::refuse;
    QMessageBox confirm(parent_);
    confirm.setObjectName("replaceKeyConfirm");
    confirm.setIcon(QMessageBox::Warning);
    confirm.setWindowTitle(text(1259, "HOST KEY CHANGED"));
    confirm.setText(text(1263, "Replace the stored key?"));
    confirm.setStandardButtons(QMessageBox::Yes | QMessageBox::No);
    confirm.setDefaultButton(QMessageBox::No);
    return confirm.exec() == QMessageBox::Yes ? host_key_verdict::remember : host_key_verdict::refuse;
}
