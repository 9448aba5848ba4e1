// The site manager's SFTP fields and the host-key prompt, driven as a user
// drives them: the protocol switch moves the port and swaps the rows, a key
// login needs no password, and the prompt answers the session's thread.
#include <gtest/gtest.h>

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <atomic>
#include <thread>

#include "app/host_key_prompt.h"
#include "app/site_manager_form.h"
#include "gui_support.h"
#include "profiles/ftp_profile_tree.h"

namespace {

using qvtf::ftp_profile;

TEST(SiteManagerSftp, ProtocolSwitchesPortRowsAndLoginRules)
{
    gui_application();
    qvtf::ftp_profile_tree tree;
    tree.reset(shipped_language());
    ftp_profile* site = ftp_profile::make(qvtf::profile_site);
    site->label = qvtf::qxval("box");
    site->host = qvtf::qxval("box.example");
    site->user_name = qvtf::qxval("ann");
    tree.tree.append_child(site, tree.top());
    TSiteManagerForm form(tree, &shipped_language(), nullptr);
    std::vector<ftp_profile*> connected;
    form.on_connect = [&](ftp_profile* p) { connected.push_back(p); };
    QStringList refusals;
    form.message_box = [&](QMessageBox::Icon, const QString&, const QString& text, QMessageBox::StandardButtons) {
        refusals << text;
        return QMessageBox::Yes;  // save before connecting
    };
    ASSERT_TRUE(form.prepare_to_open(false));
    form.show();
    form.select_node(site);
    auto* cbProtocol = child<QComboBox>(form, "cbProtocol");
    auto* cbSshAuth = child<QComboBox>(form, "cbSshAuth");
    auto* ePort = child<QLineEdit>(form, "ePort");
    auto* eKeyFile = child<QLineEdit>(form, "eKeyFile");
    auto* eList = child<QLineEdit>(form, "eList");
    auto* cbAnonymous = child<QCheckBox>(form, "cbAnonymous");
    auto* cbSshConfig = child<QCheckBox>(form, "cbSshConfig");

    struct step {
        int protocol;
        const char* port_before;
        const char* port_after;
        bool ssh_rows;
    };
    // The usual port follows the protocol (implicit TLS's too); the user's own port stays.
    const step steps[] = {{1, "21", "22", true},
                          {0, "22", "21", false},
                          {1, "990", "22", true},
                          {0, "22", "21", false},
                          {1, "2222", "2222", true}};
    auto* cbEncryption = child<QComboBox>(form, "cbEncryption");
    for (const step& s : steps) {
        SCOPED_TRACE(s.port_before);
        ePort->setText(s.port_before);
        cbProtocol->setCurrentIndex(s.protocol);
        EXPECT_EQ(ePort->text(), s.port_after);
        EXPECT_EQ(cbSshAuth->isVisibleTo(&form), s.ssh_rows);
        EXPECT_EQ(cbSshConfig->isVisibleTo(&form), s.ssh_rows);
        EXPECT_EQ(eList->isVisibleTo(eList->parentWidget()), !s.ssh_rows);
        EXPECT_EQ(cbAnonymous->isVisibleTo(&form), !s.ssh_rows);
        EXPECT_EQ(cbEncryption->isVisibleTo(&form), !s.ssh_rows);
    }
    // A key login: no password asked for; the fields reach the profile.
    cbSshAuth->setCurrentIndex(2);
    EXPECT_TRUE(eKeyFile->isVisibleTo(&form));
    eKeyFile->setText("/home/ann/.ssh/id_ed25519");
    cbSshConfig->setChecked(true);
    form.connect_current();
    const std::string_view no_password_text = shipped_language().text(479);
    const QString no_password =
        QString::fromUtf8(no_password_text.data(), static_cast<qsizetype>(no_password_text.size()));
    EXPECT_FALSE(refusals.contains(no_password)) << refusals.join("|").toStdString();
    ASSERT_EQ(connected.size(), 1u);
    EXPECT_EQ(site->protocol, 1);
    EXPECT_EQ(site->host_port, 2222);
    EXPECT_EQ(site->ssh_auth, 2);
    EXPECT_EQ(site->ssh_key_file.str(), "/home/ann/.ssh/id_ed25519");
    EXPECT_EQ(site->ssh_use_config, 1);
    // A password login still needs the password.
    ASSERT_TRUE(form.prepare_to_open(false));
    form.show();
    form.select_node(site);
    cbSshAuth->setCurrentIndex(1);
    form.connect_current();
    ASSERT_FALSE(refusals.isEmpty());
    EXPECT_EQ(refusals.last(), no_password);
    EXPECT_EQ(connected.size(), 1u);
    if (const QString shots = qEnvironmentVariable("QVTF_SHOT_DIR"); !shots.isEmpty()) {
        cbSshAuth->setCurrentIndex(2);
        form.grab().save(shots + "/site_manager_sftp.png");
    }
}

TEST(HostKeyPrompt, AnswersTheSessionThreadFromTheGuiThread)
{
    gui_application();
    host_key_prompt prompt(&shipped_language(), nullptr);
    struct answer_case {
        bool changed;
        std::vector<const char*> clicks;  // buttons, in order, one per box
        qvtf::host_key_verdict verdict;
    };
    const answer_case cases[] = {
        {false, {"trustOnce"}, qvtf::host_key_verdict::trust_once},
        {false, {"trustRemember"}, qvtf::host_key_verdict::remember},
        {false, {"trustCancel"}, qvtf::host_key_verdict::refuse},
        {true, {"trustCancel"}, qvtf::host_key_verdict::refuse},
        // Replacing a changed key takes a second, deliberate yes.
        {true, {"replaceKey", "no"}, qvtf::host_key_verdict::refuse},
        {true, {"replaceKey", "yes"}, qvtf::host_key_verdict::remember},
    };
    for (const answer_case& c : cases) {
        qvtf::host_key_question q;
        q.host = "box.example";
        q.port = 2222;
        q.key_type = "ssh-ed25519";
        q.fingerprint = "SHA256:new";
        q.changed = c.changed;
        q.known_fingerprint = c.changed ? "SHA256:old" : "";
        std::atomic<bool> done{false};
        qvtf::host_key_verdict verdict{};
        std::thread session([&] {
            verdict = prompt.judge(q);
            done = true;
        });
        std::size_t next = 0;
        QStringList texts;
        // The boxes run their own event loops: a timer answers them.
        QTimer answer;
        QObject::connect(&answer, &QTimer::timeout, [&] {
            for (QWidget* w : QApplication::topLevelWidgets()) {
                auto* box = qobject_cast<QMessageBox*>(w);
                if (!box || !box->isVisible() || next >= c.clicks.size())
                    continue;
                texts << box->text();
                if (const QString shots = qEnvironmentVariable("QVTF_SHOT_DIR"); !shots.isEmpty())
                    box->grab().save(shots + QString("/host_key_%1_%2.png").arg(c.changed).arg(next));
                const std::string name = c.clicks[next++];
                if (name == "yes" || name == "no")
                    box->button(name == "yes" ? QMessageBox::Yes : QMessageBox::No)->click();
                else
                    box->findChild<QPushButton*>(QString::fromStdString(name))->click();
                return;
            }
        });
        answer.start(20);
        const bool finished = process_until([&] { return done.load(); }, 20000);
        answer.stop();
        session.join();
        EXPECT_TRUE(finished);
        EXPECT_EQ(verdict, c.verdict);
        ASSERT_FALSE(texts.isEmpty());
        EXPECT_TRUE(texts[0].contains("SHA256:new")) << texts[0].toStdString();
        EXPECT_EQ(texts[0].contains("SHA256:old"), c.changed);
    }
}

}  // namespace
