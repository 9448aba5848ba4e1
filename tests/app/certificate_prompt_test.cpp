// The certificate prompt as the engine reaches it: a connection's thread
// asks the judge, the dialog appears on the GUI thread with the facts, and
// each answer (trust once, trust always, cancel, Escape) comes back to the
// waiting thread; a changed certificate carries the warning.
#include <gtest/gtest.h>

#include <QApplication>
#include <QLabel>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <atomic>
#include <thread>

#include "app/certificate_prompt.h"
#include "gui_support.h"
#include "support/test_phrases.h"

namespace {

using qvtf::certificate_verdict;

certificate_prompt* open_prompt()
{
    for (QWidget* w : QApplication::topLevelWidgets())
        if (auto* prompt = dynamic_cast<certificate_prompt*>(w); prompt && prompt->isVisible())
            return prompt;
    return nullptr;
}

QString label_text(QWidget* dialog, const char* name)
{
    auto* label = dialog->findChild<QLabel*>(name);
    return label ? label->text() : QStringLiteral("<none>");
}

TEST(CertificatePrompt, AnswersReachTheWaitingConnection)
{
    gui_application();
    const struct {
        const char* name;
        const char* button;  // nullptr: Escape
        bool changed;
        certificate_verdict expected;
    } cases[] = {
        {"once", "trust_once", false, certificate_verdict::trust_once},
        {"always", "trust_always", false, certificate_verdict::trust_always},
        {"cancel", "cancel", true, certificate_verdict::reject},
        {"escape", nullptr, false, certificate_verdict::reject},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        qvtf::certificate_facts facts;
        facts.host = "ftp.example.org";
        facts.port = 21;
        facts.subject = "CN = ftp.example.org";
        facts.issuer = "CN = Example CA";
        facts.not_before = "Jan  1 00:00:00 2026 GMT";
        facts.not_after = "Jan  1 00:00:00 2027 GMT";
        facts.sha256 = "AB:CD:EF";
        facts.reason = "self-signed certificate";
        if (c.changed)
            facts.stored_sha256 = "01:02:03";

        QWidget parent;
        gui_certificate_judge judge(&parent, &qvtf::test::test_phrases());
        std::atomic<bool> done{false};
        certificate_verdict got = certificate_verdict::trust_always;
        bool seen = false, on_gui_thread = false, warned = false;
        QString fingerprint, reason;
        // Runs inside the dialog's own event loop once it is up.
        QTimer poke;
        poke.setInterval(20);
        QObject::connect(&poke, &QTimer::timeout, [&] {
            certificate_prompt* prompt = open_prompt();
            if (!prompt || seen)
                return;
            seen = true;
            on_gui_thread = prompt->thread() == QApplication::instance()->thread();
            fingerprint = label_text(prompt, "fingerprint");
            reason = label_text(prompt, "reason");
            warned = prompt->findChild<QLabel*>("changed") != nullptr;
            if (c.button)
                prompt->findChild<QPushButton*>(c.button)->click();
            else
                QTest::keyClick(prompt, Qt::Key_Escape);
        });
        poke.start();
        std::thread connection([&] {
            got = judge.judge(facts);
            done = true;
        });
        EXPECT_TRUE(process_until([&] { return done.load(); }, 10000));
        connection.join();
        poke.stop();
        EXPECT_TRUE(seen);
        EXPECT_TRUE(on_gui_thread);
        EXPECT_EQ(got, c.expected);
        EXPECT_EQ(fingerprint, "AB:CD:EF");
        EXPECT_EQ(reason, "self-signed certificate");
        EXPECT_EQ(warned, c.changed);
    }
}

}  // namespace
