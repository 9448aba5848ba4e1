// The prompt dialogs' rules: Enter and Escape, OK with an empty text, the
// memo keeping Enter, the list's index; the password prompt; the
// notification pop-up's animation, Cancel and status text from a worker;
// the splash picture.
#include <gtest/gtest.h>

#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTest>
#include <thread>

#include "app/prompts.h"
#include "gui_support.h"
#include "support/test_phrases.h"

namespace {

using qvtf::test::test_phrases;

struct result_log {
    int calls = 0;
    QString text;
    int index = -2;
    void* context = nullptr;
};

TEST(Prompts, EnterEscapeAndEmptyOk)
{
    gui_application();
    enum class variant { edit, dropdown };
    struct scenario {
        const char* name;
        variant kind;
        QString typed;
        int key;  // Qt::Key_Return, Qt::Key_Escape, or 0 for a click on OK
        int calls;
    };
    const scenario scenarios[] = {
        {"Enter with a text", variant::edit, "folder", Qt::Key_Return, 1},
        {"Enter with nothing", variant::edit, "", Qt::Key_Return, 0},
        {"Escape", variant::edit, "folder", Qt::Key_Escape, 0},
        {"OK with nothing", variant::edit, "", 0, 0},
        {"list: Enter", variant::dropdown, "name", Qt::Key_Return, 1},
        {"list: Escape", variant::dropdown, "name", Qt::Key_Escape, 0},
    };
    int marker = 0;
    for (const scenario& s : scenarios) {
        SCOPED_TRACE(s.name);
        std::unique_ptr<qx_prompt_form> prompt;
        QLineEdit* edit = nullptr;
        if (s.kind == variant::edit) {
            auto* p = new qx_edit_prompt(&test_phrases());
            edit = &p->edit();
            prompt.reset(p);
        } else {
            auto* p = new qx_edit_dropdown_prompt(&test_phrases());
            edit = &p->edit();
            EXPECT_EQ(p->list().count(), 3);
            EXPECT_EQ(p->list().itemText(0), "[435]");
            EXPECT_EQ(p->list().currentIndex(), 0);
            p->list().setCurrentIndex(2);
            prompt.reset(p);
        }
        EXPECT_EQ(prompt->ok_button().text(), "[13]");
        EXPECT_EQ(prompt->cancel_button().text(), "[47]");
        result_log log;
        prompt->set_callback(
            [&log](void* context, const QString& text, int index) {
                ++log.calls;
                log.text = text;
                log.index = index;
                log.context = context;
            },
            &marker);
        prompt->set_initial_text("start");
        prompt->show_prompt();
        ASSERT_TRUE(prompt->isVisible());
        EXPECT_EQ(edit->text(), "start");
        edit->setText(s.typed);
        if (s.key)
            QTest::keyClick(edit, Qt::Key(s.key));
        else
            prompt->ok_button().click();
        EXPECT_FALSE(prompt->isVisible());
        EXPECT_EQ(log.calls, s.calls);
        if (s.calls) {
            EXPECT_EQ(log.text, s.typed);
            EXPECT_EQ(log.context, &marker);
            EXPECT_EQ(log.index, s.kind == variant::dropdown ? 2 : -1);
        }
    }

    // The memo keeps Enter as a line break; OK hands over both lines.
    qx_memo_prompt memo(&test_phrases());
    EXPECT_EQ(memo.height(), 156 + 96);
    result_log log;
    memo.set_callback(
        [&log](void*, const QString& text, int) {
            ++log.calls;
            log.text = text;
        },
        nullptr);
    memo.set_label_text("[339]");
    memo.show_prompt();
    QTest::keyClicks(&memo.memo(), "PWD");
    QTest::keyClick(&memo.memo(), Qt::Key_Return);
    QTest::keyClicks(&memo.memo(), "SYST");
    EXPECT_TRUE(memo.isVisible());
    memo.grab().save("/tmp/qvtf-memo-prompt.png");
    EXPECT_EQ(log.calls, 0);
    memo.ok_button().click();
    EXPECT_EQ(log.calls, 1);
    EXPECT_EQ(log.text, "PWD\nSYST");
}

TEST(Prompts, PasswordPopUpAndSplash)
{
    gui_application();
    qx_password_prompt password(&test_phrases());
    EXPECT_EQ(password.windowTitle(), "[238]");
    EXPECT_EQ(password.edit().echoMode(), QLineEdit::Password);
    QString typed;
    password.set_callback([&typed](void*, const QString& text) { typed = text; }, nullptr);
    password.modal_flag = false;
    password.show_prompt();
    password.edit().setText("secret");
    password.show_prompt();  // shown again: the edit starts empty
    EXPECT_TRUE(password.edit().text().isEmpty());
    QTest::keyClicks(&password.edit(), "s3");
    QTest::keyClick(&password.edit(), Qt::Key_Return);
    EXPECT_EQ(typed, "s3");
    EXPECT_FALSE(password.shown());

    qx_notification_pop_up pop_up(&test_phrases());
    pop_up.modal_flag = false;
    int cancels = 0;
    pop_up.set_cancel_callback([&cancels](void*) { ++cancels; }, nullptr);
    struct kind_case {
        int kind;
        bool animated;
    };
    for (const kind_case k : {kind_case{1, true}, kind_case{2, true}, kind_case{3, false}}) {
        SCOPED_TRACE(k.kind);
        pop_up.set_kind(k.kind, "", "title");
        pop_up.show_pop_up();
        EXPECT_TRUE(pop_up.shown());
        EXPECT_EQ(pop_up.animation().running(), k.animated);
        EXPECT_EQ(pop_up.animation().isVisible(), k.animated);
        EXPECT_EQ(pop_up.title_label().text(), "title");
        pop_up.close_pop_up();
        EXPECT_FALSE(pop_up.shown());
        EXPECT_FALSE(pop_up.animation().running());
    }
    EXPECT_EQ(cancels, 0);

    // A worker sets the text; Cancel tells the operation and closes.
    pop_up.set_kind(2, "Stop", "copying");
    pop_up.show_pop_up();
    std::thread worker([&pop_up] { pop_up.set_status_text("file 3 of 7"); });
    worker.join();
    ASSERT_TRUE(process_until([&] { return pop_up.status_label().text() == "file 3 of 7"; }));
    process_until([] { return false; }, 200);
    pop_up.grab().save("/tmp/qvtf-pop-up.png");
    EXPECT_EQ(pop_up.cancel_button().text(), "Stop");
    pop_up.cancel_button().click();
    EXPECT_EQ(cancels, 1);
    EXPECT_FALSE(pop_up.shown());
    EXPECT_FALSE(pop_up.isVisible());

    qorx_splash_form splash;
    EXPECT_TRUE(splash.has_picture());
    EXPECT_GT(splash.width(), 100);
    splash.show_splash();
    EXPECT_TRUE(splash.isVisible());
    splash.hide_splash();
    EXPECT_FALSE(splash.isVisible());
}

}  // namespace
