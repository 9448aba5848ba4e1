// "Ask" when a download's target exists, through the window's judge and a
// real server: the dialog shows both files; "apply to all" holds for the
// next conflict of the run and is forgotten when the queue runs empty;
// Escape skips the file; a kill while the dialog is open ends the item and
// closes the dialog without hanging the worker.
#include <gtest/gtest.h>

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <atomic>

#include "app/exists_prompt.h"
#include "gui_support.h"
#include "queue/queue_test_support.h"
#include "support/ftp_servers.h"

namespace {

using namespace qvtf;
using namespace qvtf::test;

exists_prompt* open_prompt()
{
    for (QWidget* w : QApplication::topLevelWidgets())
        if (auto* prompt = dynamic_cast<exists_prompt*>(w); prompt && prompt->isVisible())
            return prompt;
    return nullptr;
}

// The window's judge, counted.
class counting_judge : public exists_judge {
public:
    explicit counting_judge(QWidget* parent) : inner_(parent, &test_phrases()) {}
    void ask(std::shared_ptr<exists_asking> question) override
    {
        ++asked;
        inner_.ask(std::move(question));
    }
    std::atomic<int> asked{0};

private:
    gui_exists_judge inner_;
};

TEST(ExistsPrompt, AskAppliesToTheRunAndStops)
{
    gui_application();
    vsftpd_server server;
    if (!server.ok())
        GTEST_SKIP() << "vsftpd not available";
    temp_folder local("qvtf-exists-app");
    server_panes at;
    ASSERT_EQ(at.log_in(server.port(), server.user(), server.password()), 0);
    QWidget window;
    auto judge = std::make_shared<counting_judge>(&window);
    ftp_queue_process_manager q;
    q.panes = &at.panes;
    q.language = &test_phrases();
    finished_results results;
    results.attach(q);
    q.max_threads = 1;
    q.download_exists = exists_action::ask;
    q.set_exists_judge(judge);
    ASSERT_EQ(q.open(), 0);
    q.start();

    // Each file is on the server and, older and shorter, on the local side.
    auto queue_file = [&](const std::string& name) {
        write_text(server.root() + "/" + name, "server's " + name);
        write_text(local.path() + "/" + name, "old");
        auto item = at.file_item(true, name, local.path() + "/", static_cast<int64_t>(("server's " + name).size()));
        ASSERT_EQ(q.append_item(std::move(item)), 0);
    };
    auto finished = [&](size_t count) { return process_until([&] { return results.count() >= count; }, 20000); };

    // Overwrite, for all: the second conflict is not asked.
    queue_file("a.txt");
    queue_file("b.txt");
    ASSERT_TRUE(process_until([] { return open_prompt() != nullptr; }, 20000));
    exists_prompt* prompt = open_prompt();
    EXPECT_EQ(prompt->findChild<QLabel*>("target_size")->text(), QStringLiteral("3"));
    EXPECT_EQ(prompt->findChild<QLabel*>("source_size")->text(), QStringLiteral("14"));
    EXPECT_FALSE(prompt->findChild<QLineEdit*>("new_name")->isEnabled());
    auto* action = prompt->findChild<QComboBox*>("action");
    action->setCurrentIndex(action->findData(QStringLiteral("overwrite")));
    prompt->findChild<QCheckBox*>("apply_all")->setChecked(true);
    prompt->findChild<QPushButton*>("ok")->click();
    ASSERT_TRUE(finished(2));
    (void)results.take();
    EXPECT_EQ(judge->asked.load(), 1);
    EXPECT_EQ(file_text(local.path() + "/a.txt"), "server's a.txt");
    EXPECT_EQ(file_text(local.path() + "/b.txt"), "server's b.txt");

    // The run ended: the next conflict is asked again, and Escape skips it.
    queue_file("c.txt");
    ASSERT_TRUE(process_until([] { return open_prompt() != nullptr; }, 20000));
    QTest::keyClick(open_prompt(), Qt::Key_Escape);
    ASSERT_TRUE(finished(1));
    EXPECT_EQ(judge->asked.load(), 2);
    const queue_item_result skipped = results.take().front();
    EXPECT_TRUE(skipped.succeeded && skipped.skipped);
    EXPECT_EQ(file_text(local.path() + "/c.txt"), "old");

    // A kill while the dialog is open ends the item and closes the dialog.
    queue_file("d.txt");
    ASSERT_TRUE(process_until([] { return open_prompt() != nullptr; }, 20000));
    q.kill_all(8);
    ASSERT_TRUE(finished(1));
    EXPECT_FALSE(results.take().front().succeeded);
    EXPECT_TRUE(process_until([] { return open_prompt() == nullptr; }));
    EXPECT_EQ(file_text(local.path() + "/d.txt"), "old");
    q.close();
}

}  // namespace
