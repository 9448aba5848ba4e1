// The synchronisation wizard without a server: the rule word as the pages
// build it and show it back, the change handlers, Finish's folder checks,
// and rule files that load, save or fail.
#include <gtest/gtest.h>

#include <QCheckBox>
#include <QComboBox>
#include <QDateEdit>
#include <QDateTime>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QProgressBar>
#include <QPushButton>
#include <QSpinBox>
#include <QTimeEdit>
#include <QTimer>
#include <atomic>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "app/sync_form.h"
#include "app/sync_form_run.h"
#include "gui_support.h"
#include "settings/global_ftp_settings.h"
#include "support/process.h"
#include "support/test_phrases.h"

namespace {

using qvtf::test::test_phrases;

struct shown_box {
    QString caption;
    QString text;
};

struct wizard {
    bool app = (gui_application(), true);
    qvtf::global_ftp_settings settings;
    TSyncForm form{&test_phrases()};
    std::vector<shown_box> boxes;

    explicit wizard(int transfer_type = 2)
    {
        settings.transfer_type = transfer_type;
        form.show_error = [this](const QString& c, const QString& t) { boxes.push_back({c, t}); };
        sync_form_engine engine;
        engine.settings = &settings;
        form.prepare("/home/u/site", "/www", engine);
    }
    int32_t word() const { return form.settings().rule(); }
};

void choose(QComboBox* box, int index)
{
    box->setCurrentIndex(index);
}

TEST(SyncForm, RuleWordAndHandlers)
{
    struct row {
        const char* name;
        int transfer_type;  // the global setting
        std::function<void(TSyncForm&)> set;
        int32_t word;
        int32_t recursive;
        int delete_missing;
        std::function<void(TSyncForm&)> check;
    };
    const std::vector<row> rows = {
        // Next from page 0 keeps the defaults: the default word, less the
        // link field, which an upload does not store.
        {"defaults", 2, [](TSyncForm&) {}, 0xE73D, 0, 0,
         [](TSyncForm& f) {
             EXPECT_FALSE(f.comboLink->isEnabled());
             EXPECT_TRUE(f.cbDeleteExtra->isEnabled());
             EXPECT_TRUE(f.comboTime->isEnabled());
             EXPECT_TRUE(f.comboTransfer->isEnabled());
         }},
        // Both ways: delete-extra unchecked and disabled, links chosen.
        {"both ways clears delete", 2,
         [](TSyncForm& f) {
             f.cbDeleteExtra->setChecked(true);
             f.cbRecursive->setChecked(true);
             choose(f.cbDirection, 2);
             choose(f.comboLink, 2);
             f.cbDeleteExtra->setChecked(true);  // refused while both ways
         },
         0x3 | 0x300 | 0x30 | 0x400 | 0xE000 | 0xC | 0x40, -1, 0,
         [](TSyncForm& f) {
             EXPECT_FALSE(f.cbDeleteExtra->isEnabled());
             EXPECT_FALSE(f.cbDeleteExtra->isChecked());
             EXPECT_TRUE(f.comboLink->isEnabled());
         }},
        // Download with delete and copy links as files.
        {"download deletes", 2,
         [](TSyncForm& f) {
             choose(f.cbDirection, 1);
             f.cbDeleteExtra->setChecked(true);
             choose(f.comboLink, 1);
             choose(f.comboTime, 3);
             choose(f.comboSize, 4);
         },
         0x2 | 0x300 | 0x30 | 0x1000 | 0x4000 | 0xC | 0xC0, 0, 1, nullptr},
        // Upload ignores the link list.
        {"upload drops links", 2, [](TSyncForm& f) { choose(f.comboLink, 2); }, 0xE73D, 0, 0, nullptr},
        // Missing files only: no time or size rule is stored.
        {"missing only", 2,
         [](TSyncForm& f) {
             choose(f.comboTime, 6);
             choose(f.comboMissingOverwrite, 0);
         },
         0x1 | 0x300 | 0x10 | 0xC, 0, 0,
         [](TSyncForm& f) {
             EXPECT_FALSE(f.comboTime->isEnabled());
             EXPECT_FALSE(f.lSize->isEnabled());
         }},
        // Overwrite only keeps the rules.
        {"overwrite only", 2,
         [](TSyncForm& f) {
             choose(f.comboMissingOverwrite, 2);
             choose(f.comboSize, 6);
         },
         0x1 | 0x300 | 0x20 | 0x400 | 0x6000 | 0xC, 0, 0, [](TSyncForm& f) { EXPECT_TRUE(f.lTime->isEnabled()); }},
        // Without the automatic setting the transfer list is off and not stored.
        {"global binary", 0, [](TSyncForm& f) { choose(f.comboTransfer, 1); }, 0xE73D & ~0xC, 0, 0,
         [](TSyncForm& f) { EXPECT_FALSE(f.comboTransfer->isEnabled()); }},
        {"ascii chosen", 2, [](TSyncForm& f) { choose(f.comboTransfer, 1); }, (0xE73D & ~0xC) | 0x8, 0, 0, nullptr},
    };

    qvtf::test::temp_folder files("qvtf-syncform");
    for (const row& r : rows) {
        SCOPED_TRACE(r.name);
        wizard w(r.transfer_type);
        w.form.bNextClick();
        EXPECT_EQ(w.form.page(), 1);
        r.set(w.form);
        if (r.check)
            r.check(w.form);
        w.form.read_controls();
        EXPECT_EQ(w.word(), r.word);
        EXPECT_EQ(w.form.settings().recursive, r.recursive);
        EXPECT_EQ(w.form.settings().delete_missing, r.delete_missing);

        // Saved from page 3 and loaded into a fresh wizard, the pages show
        // the same choices: reading them gives the same settings.
        const std::string path = files.file(std::string(r.name) + ".rules");
        w.form.choose_save_file = [&](const QString&) { return QString::fromStdString(path); };
        w.form.bBackClick();
        w.form.bNextClick();
        w.form.bNextClick();
        w.form.bNextClick();
        ASSERT_EQ(w.form.page(), 3);
        w.form.eSizeStart->setValue(100);
        w.form.bSaveFileClick();
        EXPECT_TRUE(w.boxes.empty());
        EXPECT_EQ(w.form.settings().filter.size_minimum, 102400u);
        // Saving stays on the last page: only Finish starts the run.
        EXPECT_EQ(w.form.page(), 3);
        EXPECT_NE(w.form.result(), QDialog::Accepted);

        wizard loaded(r.transfer_type);
        loaded.form.choose_open_file = [&](const QString&) { return QString::fromStdString(path); };
        loaded.form.bLoadFileClick();
        EXPECT_EQ(loaded.form.page(), 1);
        EXPECT_EQ(loaded.form.eSizeStart->value(), 100);
        EXPECT_EQ(loaded.form.cbDeleteExtra->isChecked(), r.delete_missing != 0);
        if (r.check)
            r.check(loaded.form);
        loaded.form.read_controls();
        EXPECT_EQ(loaded.word(), r.word);
        EXPECT_EQ(loaded.form.settings().recursive, r.recursive);
        EXPECT_EQ(loaded.form.settings().delete_missing, r.delete_missing);
    }
}

TEST(SyncForm, FinishChecksAndRuleFileErrors)
{
    wizard w;
    EXPECT_FALSE(w.form.bBack->isEnabled());
    EXPECT_EQ(w.form.bNext->text(), "[270]");

    // A rule file lacking an element: the error box, the page stays and the
    // controls keep what they showed.
    qvtf::test::temp_folder files("qvtf-syncform-bad");
    const std::string partial = files.file("partial.rules");
    std::ofstream(partial) << "<delete_missing>false</delete_missing>\r\n<local_dir>/x</local_dir>\r\n"
                              "<recursively>-1</recursively>\r\n<remote_dir>/y</remote_dir>\r\n"
                              "<rule>59326</rule>\r\n<ui_files_include>*.zz</ui_files_include>\r\n";
    const std::string missing = files.file("no-such.rules");
    for (const std::string& bad : {partial, missing}) {
        SCOPED_TRACE(bad);
        w.boxes.clear();
        w.form.choose_open_file = [&](const QString&) { return QString::fromStdString(bad); };
        w.form.bLoadFileClick();
        ASSERT_EQ(w.boxes.size(), 1u);
        EXPECT_EQ(w.boxes[0].caption, "[12]");
        EXPECT_EQ(w.boxes[0].text, "[334]" + QString::fromStdString(bad) + "[335]");
        EXPECT_EQ(w.form.page(), 0);
        EXPECT_EQ(w.form.eInclude->text(), "*");
        EXPECT_FALSE(w.form.cbRecursive->isChecked());
    }
    // Cancelling the dialog does nothing.
    w.boxes.clear();
    w.form.choose_open_file = [](const QString&) { return QString(); };
    w.form.bLoadFileClick();
    EXPECT_TRUE(w.boxes.empty());
    EXPECT_EQ(w.form.page(), 0);

    // The partly loaded values do not survive Finish: the controls win.
    for (int i = 0; i < 3; ++i)
        w.form.bNextClick();
    EXPECT_EQ(w.form.bNext->text(), "[279]");
    w.form.choose_save_file = [](const QString&) { return QString("/nonexistent-folder/x.rules"); };
    w.form.bSaveFileClick();
    ASSERT_EQ(w.boxes.size(), 1u);
    EXPECT_EQ(w.boxes[0].text, "[338]/nonexistent-folder/x.rules");
    EXPECT_EQ(w.form.page(), 3);

    // Finish with an empty remote folder, then an empty local one: the box
    // and back to page 3.
    struct empty_case {
        QLineEdit* edit;
        QString box;
    };
    for (const empty_case& c : {empty_case{w.form.eRemoteFolder, "[267]"}, empty_case{w.form.eLocalFolder, "[266]"}}) {
        w.boxes.clear();
        c.edit->setText("  ");
        w.form.bNextClick();
        ASSERT_EQ(w.boxes.size(), 1u);
        EXPECT_EQ(w.boxes[0].caption, "[239]");
        EXPECT_EQ(w.boxes[0].text, c.box);
        EXPECT_EQ(w.form.page(), 3);
        EXPECT_EQ(w.form.bNext->text(), "[279]");
    }
    w.form.eLocalFolder->setText("/l");
    w.form.eRemoteFolder->setText("/r");
    w.boxes.clear();
    w.form.bNextClick();
    EXPECT_TRUE(w.boxes.empty());
    EXPECT_EQ(w.form.settings().rule(), 0xE73D);
    EXPECT_EQ(w.form.settings().recursive, 0);
    EXPECT_EQ(w.form.settings().files_include.str(), "*");
    EXPECT_EQ(w.form.settings().local_folder.str(), "/l");
    EXPECT_EQ(w.form.settings().remote_folder.str(), "/r");
    EXPECT_EQ(w.form.result(), QDialog::Accepted);
}

TEST(SyncForm, FiltersFollowTheirBoxes)
{
    wizard w;
    EXPECT_FALSE(w.form.dtStartDate->isEnabled());
    EXPECT_FALSE(w.form.eSizeEnd->isEnabled());
    EXPECT_EQ(w.form.eSizeEnd->value(), 1024);  // 1,048,576 bytes
    w.form.cbTimeFilterEnabled->setChecked(true);
    w.form.cbSizeFilterEnabled->setChecked(true);
    EXPECT_TRUE(w.form.dtEndTime->isEnabled());
    EXPECT_TRUE(w.form.lKb2->isEnabled());
    w.form.dtStartDate->setDate(QDate(2020, 1, 2));
    w.form.dtStartTime->setTime(QTime(3, 4, 5));
    w.form.bPutCurrDateClick();
    w.form.read_controls();
    const int64_t now = QDateTime::currentSecsSinceEpoch();
    EXPECT_NEAR(double(w.form.settings().filter.time_start), double(now), 5);
    EXPECT_NEAR(double(w.form.settings().filter.time_end), double(now), 5);
    EXPECT_EQ(w.form.settings().filter.time_filter, 1);
    w.form.dtStartDate->setDate(QDate(2020, 1, 2));
    w.form.dtStartTime->setTime(QTime(3, 4, 5));
    w.form.read_controls();
    EXPECT_EQ(w.form.settings().filter.time_start, QDateTime(QDate(2020, 1, 2), QTime(3, 4, 5)).toSecsSinceEpoch());
}

// Stop asks the work to end once; the dialog stays until the work has
// returned (its thread still reports into it), then closes on request.
TEST(SyncForm, ProgressDialogOutlivesItsWork)
{
    gui_application();
    std::atomic<bool> release{false};
    std::atomic<int> stops{0};
    TSyncProgressDialog dialog("title", "text", 2, &test_phrases());
    dialog.start(
        [&] {
            dialog.add_line("one", false);
            dialog.step();
            for (int i = 0; i < 1000 && !release; ++i)
                std::this_thread::sleep_for(std::chrono::milliseconds(10));
            dialog.add_line("two", true);
            dialog.step();
        },
        [&] { ++stops; });
    std::vector<bool> visible_while_running;
    QTimer::singleShot(50, &dialog, [&] {
        dialog.reject();
        dialog.reject();
        visible_while_running.push_back(dialog.isVisible() && dialog.running());
        release = true;
    });
    QTimer::singleShot(100, &dialog, [&] {
        process_until([&] { return dialog.close_button()->isEnabled(); }, 10000);
        visible_while_running.push_back(dialog.isVisible());
        dialog.reject();
    });
    EXPECT_EQ(dialog.exec(), QDialog::Rejected);
    EXPECT_EQ(stops, 1);
    EXPECT_EQ(visible_while_running, (std::vector<bool>{true, true}));
    EXPECT_TRUE(dialog.stopped());
    EXPECT_FALSE(dialog.running());
    ASSERT_EQ(dialog.lines()->count(), 2);
    EXPECT_EQ(dialog.lines()->item(1)->text(), "two");
    EXPECT_EQ(dialog.bar()->value(), 2);
}

}  // namespace
