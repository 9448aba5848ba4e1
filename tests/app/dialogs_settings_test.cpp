// The settings dialog driven from the keyboard: clamping, the firewall type
// rules, OK storing, applying and saving, Cancel, help pages and the user's
// extension list; and the about box.
#include <gtest/gtest.h>

#include <QCheckBox>
#include <QComboBox>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QTreeWidget>
#include <fstream>

#include "app/about_box.h"
#include "app/settings_form.h"
#include "gui_support.h"
#include "markup/qxlang.h"
#include "settings/global_ftp_settings.h"

namespace {

QLineEdit* field_editor(QWidget& parent, const char* name)
{
    auto* f = child<number_field>(parent, name);
    return f ? f->editor() : nullptr;
}

// Types text into a field as the user would, replacing what it shows.
void type_into(QLineEdit* edit, const char* text)
{
    edit->selectAll();
    QTest::keyClicks(edit, text);
}

TEST(DialogsSettings, RulesTable)
{
    struct typing_case {
        const char* text;
        int low, high;
        bool clamps;
        int to;
    };
    const typing_case cases[] = {
        {"50", 0, 30, true, 30},     {"5", 0, 30, false, 0},     {"0", 1, 5, true, 1},
        {"9", 1, 5, true, 5},        {"1", 30, 86400, false, 0},  // another digit may follow
        {"10", 30, 86400, false, 0}, {"0", 30, 86400, true, 30}, {"100000", 30, 86400, true, 86400},
        {"", 1, 5, false, 0},
    };
    for (const auto& c : cases) {
        int to = 0;
        EXPECT_EQ(settings_rules::clamp_while_typing(c.text, c.low, c.high, to), c.clamps) << c.text;
        if (c.clamps) {
            EXPECT_EQ(to, c.to) << c.text;
        }
    }
    // Name keys follow the case setting; size (2) and type (1, 5) keys stay.
    const int keys[][3] = {{0, 1, 4}, {4, 0, 0}, {4, 1, 4}, {0, 0, 0}, {2, 1, 2}, {1, 1, 1}, {5, 0, 5}};
    for (const auto& k : keys)
        EXPECT_EQ(settings_rules::name_sort_key(k[0], k[1] != 0), k[2]);
}

TEST(DialogsSettings, KeyboardEditingOkStoresAppliesAndSaves)
{
    gui_application();
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    qvtf::global_ftp_settings settings;
    settings.set_program_folder(qvtf::qxval(dir.path().toStdString()));
    ASSERT_TRUE(settings.ensure_default_proxy());
    qvtf::obtain_settings_key(settings);
    settings.local_sort = 0;
    settings.remote_sort = 2;
    settings.case_insensitive_sort = false;

    TSettings form(settings, &shipped_language());
    int queue_calls = 0, connection_calls = 0, guarded_writes = 0;
    bool passive_seen = true;
    // The whole store happens inside the guard the window gives (the queue's lock).
    form.shared_write = [&](const std::function<void()>& write) {
        ++guarded_writes;
        EXPECT_EQ(settings.max_download_threads, 5);
        write();
        EXPECT_EQ(settings.proxies.first()->proxy_host.str(), "::1");
    };
    form.apply_queue = [&](const qvtf::global_ftp_settings& s) {
        ++queue_calls;
        EXPECT_EQ(s.max_download_threads, 30);  // stored before it is applied
    };
    form.apply_connection = [&](const qvtf::global_ftp_settings& s) {
        ++connection_calls;
        passive_seen = s.is_passive;
    };
    QStringList errors;
    form.show_error = [&](const QString& t) { errors << t; };
    form.fill();
    form.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&form));

    // Connection page: typing 50 connections gives 30, 0 tries gives 1.
    EXPECT_EQ(form.page(), 0);
    QLineEdit* threads = field_editor(form, "eThreads");
    QLineEdit* tries = field_editor(form, "eTries");
    EXPECT_EQ(threads->text(), "5");
    type_into(threads, "50");
    EXPECT_EQ(threads->text(), "30");
    type_into(tries, "0");
    EXPECT_EQ(tries->text(), "1");
    QTest::keyClick(tries, Qt::Key_Up);  // the arrows step within the range
    EXPECT_EQ(tries->text(), "2");
    QTest::keyClick(tries, Qt::Key_Down);
    QTest::keyClick(tries, Qt::Key_Down);
    EXPECT_EQ(tries->text(), "1");
    child<QCheckBox>(form, "cbPassive")->click();

    // Firewall page, chosen from the tree with the keyboard.
    auto* tree = child<QTreeWidget>(form, "tvLeft");
    tree->setFocus();
    QTest::keyClick(tree, Qt::Key_Down);
    EXPECT_EQ(form.page(), 1);
    auto* type = child<QComboBox>(form, "cbFWType");
    auto* port = child<QLineEdit>(form, "ePort");
    auto* commands = child<QPlainTextEdit>(form, "mCommands");
    ASSERT_EQ(type->count(), 6);
    EXPECT_EQ(type->itemText(5), "SOCKS 5");
    type->setFocus();
    QTest::keyClick(type, Qt::Key_End);  // type 5
    EXPECT_EQ(type->currentIndex(), 5);
    EXPECT_EQ(port->text(), "1080");
    EXPECT_FALSE(commands->isEnabled());
    QTest::keyClick(type, Qt::Key_Home);  // type 0: port 21 and its script
    EXPECT_EQ(port->text(), "21");
    EXPECT_TRUE(commands->isEnabled());
    EXPECT_TRUE(commands->toPlainText().startsWith("USER %firewall_username%\nPASS"));
    QTest::keyClick(type, Qt::Key_Down);  // type 1
    EXPECT_EQ(commands->toPlainText(), "USER %username%@%host%\nPASS %password%");
    QTest::keyClick(type, Qt::Key_End);
    child<QCheckBox>(form, "cbFWEnabled")->click();
    type_into(child<QLineEdit>(form, "eHost"), "[::1]:1082");  // the port typed with the host wins
    port->setFocus();
    type_into(port, "1081x");
    QTest::keyClick(port, Qt::Key_Tab);  // leaving the port rewrites it
    EXPECT_EQ(port->text(), "1081");
    type_into(child<QLineEdit>(form, "eUser"), "me");
    type_into(child<QLineEdit>(form, "ePassword"), "secret");
    EXPECT_EQ(child<QLineEdit>(form, "ePassword")->echoMode(), QLineEdit::Password);

    // Files page: an interval of 10 waits for more digits and becomes 30 on OK.
    form.set_page(2);
    QLineEdit* interval = field_editor(form, "eSyncTimeInterval");
    EXPECT_EQ(interval->text(), "600");
    type_into(interval, "10");
    EXPECT_EQ(interval->text(), "10");
    child<QCheckBox>(form, "cbSensitiveSort")->click();
    // Logs page: the switches can be used; a log's file name follows its switch.
    form.set_page(3);
    for (const char* name : {"cbDownloadLog", "cbCommandLog", "cbDownloadPopupError"})
        EXPECT_TRUE(child<QCheckBox>(form, name)->isEnabled()) << name;
    EXPECT_FALSE(child<QLineEdit>(form, "eDownloadLog")->isEnabled());
    child<QCheckBox>(form, "cbDownloadLog")->click();
    EXPECT_TRUE(child<QLineEdit>(form, "eDownloadLog")->isEnabled());
    EXPECT_TRUE(child<QLineEdit>(form, "eLogFormat")->isEnabled());
    EXPECT_FALSE(child<QLineEdit>(form, "eCommandLog")->isEnabled());
    // Sounds page: bit 4 off.
    form.set_page(4);
    child<QCheckBox>(form, "cbTransfer")->click();

    const QString path = QString::fromStdString(settings.settings_path.str());
    ASSERT_FALSE(QFile::exists(path));
    QTest::mouseClick(child<QPushButton>(form, "butOK"), Qt::LeftButton);
    EXPECT_TRUE(errors.isEmpty()) << errors.join("; ").toStdString();
    EXPECT_EQ(queue_calls, 1);
    EXPECT_EQ(connection_calls, 1);
    EXPECT_EQ(guarded_writes, 1);
    EXPECT_FALSE(passive_seen);
    EXPECT_EQ(settings.max_download_threads, 30);
    EXPECT_EQ(settings.retry_count, 1);
    EXPECT_EQ(settings.sync_time_equal_interval, 30);
    EXPECT_EQ(settings.sounds, 11);
    EXPECT_EQ(settings.local_sort, 4);  // by name, now without case
    EXPECT_EQ(settings.remote_sort, 2);

    // Saved at once: another settings object reads it all back.
    ASSERT_TRUE(QFile::exists(path));
    qvtf::global_ftp_settings again;
    again.set_program_folder(settings.program_folder);
    ASSERT_EQ(again.load(), 0);
    EXPECT_EQ(again.max_download_threads, 30);
    EXPECT_FALSE(again.is_passive);
    EXPECT_TRUE(again.case_insensitive_sort);
    EXPECT_EQ(again.proxies.default_proxy_type, qvtf::proxy_choice_default);
    const qvtf::ftp_proxy* proxy = again.proxies.first();
    ASSERT_NE(proxy, nullptr);
    EXPECT_EQ(proxy->type, 5);
    EXPECT_EQ(proxy->proxy_host.view(), "::1");
    EXPECT_EQ(proxy->proxy_port, 1082);
    EXPECT_EQ(proxy->proxy_username.view(), "me");
    EXPECT_EQ(settings.proxies.first()->proxy_password.view(), "secret");

    // Cancel stores nothing; a default proxy type 2 shows unchecked.
    settings.proxies.default_proxy_type = qvtf::proxy_choice_per_site;
    form.fill();
    EXPECT_FALSE(child<QCheckBox>(form, "cbFWEnabled")->isChecked());
    type_into(threads, "7");
    form.show();
    QTest::keyClick(&form, Qt::Key_Escape);
    EXPECT_EQ(settings.max_download_threads, 30);
    EXPECT_TRUE(settings.do_download_log);
    EXPECT_FALSE(settings.do_command_log);
    EXPECT_EQ(settings.proxies.default_proxy_type, qvtf::proxy_choice_per_site);
    EXPECT_EQ(queue_calls, 1);
}

TEST(DialogsSettings, HelpPagesAndTheUsersExtensionList)
{
    gui_application();
    QTemporaryDir program, user;
    ASSERT_TRUE(program.isValid() && user.isValid());
    ASSERT_TRUE(QDir(program.path()).mkdir("help"));
    std::ofstream(program.filePath("help/0420.html").toStdString()) << "<p>firewall</p>";
    std::ofstream(program.filePath("ext.txt").toStdString()) << "<ext/>";
    qvtf::program_folders folders;
    folders.program = program.path().toStdString() + "/";
    folders.user = user.path().toStdString() + "/own/";

    qvtf::global_ftp_settings settings;
    TSettings form(settings, &shipped_language());
    form.set_folders(folders);
    QList<QUrl> opened;
    QStringList errors;
    form.open_url = [&](const QUrl& url) {
        opened << url;
        return true;
    };
    form.show_error = [&](const QString& t) { errors << t; };

    form.set_page(1);
    form.help();
    ASSERT_EQ(opened.size(), 1);
    EXPECT_EQ(opened[0], QUrl::fromLocalFile(program.filePath("help/0420.html")));
    form.set_page(4);  // no page shipped: the error names the path
    form.help();
    EXPECT_EQ(opened.size(), 1);
    ASSERT_EQ(errors.size(), 1);
    EXPECT_EQ(errors[0], "Can't open the file " + program.filePath("help/0480.html"));

    // The user's copy is made from the shipped file, writable, then opened;
    // an edited copy is not replaced.
    child<QPushButton>(form, "bFileTypes")->click();
    const QString own = user.path() + "/own/ext.txt";
    ASSERT_EQ(opened.size(), 2);
    EXPECT_EQ(opened[1], QUrl::fromLocalFile(own));
    QFile copy(own);
    ASSERT_TRUE(copy.open(QIODevice::ReadWrite));
    EXPECT_EQ(copy.readAll(), "<ext/>");
    copy.write("<!-- mine -->");
    copy.close();
    form.edit_file_types();
    QFile check(own);
    ASSERT_TRUE(check.open(QIODevice::ReadOnly));
    EXPECT_EQ(check.readAll(), "<ext/><!-- mine -->");
    EXPECT_EQ(errors.size(), 1);
}

TEST(DialogsSettings, TabOrderOfTheConnectionPage)
{
    gui_application();
    qvtf::global_ftp_settings settings;
    TSettings form(settings, &shipped_language());
    form.fill();
    form.show();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&form));
    QWidget* w = child<QTreeWidget>(form, "tvLeft");
    w->setFocus();
    QStringList visited;
    for (int i = 0; i < 10; ++i) {
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        QWidget* f = QApplication::focusWidget();
        // The number fields' editors belong to their fields.
        while (f && f->objectName().isEmpty())
            f = f->parentWidget();
        visited << (f ? f->objectName() : QString("none"));
    }
    EXPECT_EQ(visited.join(","),
              "cbPassive,cbPasvToPort,cbExtendedData,eThreads,eTries,cbPasswords,butOK,butCancel,butHelp,tvLeft");
}

TEST(DialogsAbout, ShowsNameVersionDescriptionAndLicence)
{
    gui_application();
    TAboutBox box(&shipped_language());
    EXPECT_EQ(box.windowTitle(), "About qvtf");
    EXPECT_EQ(child<QLabel>(box, "lProgramName")->text(), "qvtf");
    EXPECT_EQ(child<QLabel>(box, "lVersion")->text(), QString("Version ") + qvtf_version);
    EXPECT_TRUE(child<QLabel>(box, "lDescription")->text().contains("FTP client"));
    EXPECT_TRUE(child<QLabel>(box, "lLicence")->text().contains("warranty"));
    box.show();
    QTest::keyClick(&box, Qt::Key_Return);
    EXPECT_EQ(box.result(), QDialog::Accepted);
}

}  // namespace
