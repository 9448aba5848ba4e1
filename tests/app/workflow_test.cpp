// Working on a live site, against a real server: the queue across a
// restart (items paused in one session are written at closing, offered at
// the next start and run to files on disk; a declined offer forgets them)
// and its Failed and Successful tabs; the quick-connect bar; the folder
// comparison's colours and browsing in step.
#include <gtest/gtest.h>

#include <QAction>
#include <QLineEdit>
#include <QStatusBar>
#include <QTabWidget>
#include <QTableView>
#include <QTest>
#include <filesystem>
#include <fstream>

#include "app/app_session.h"
#include "app/file_list_model.h"
#include "app/main_window.h"
#include "app/pane_comparison.h"
#include "app/queue_finished_model.h"
#include "app/queue_widget.h"
#include "app/quick_connect_bar.h"
#include "browse/qx_ftp_file_lister.h"
#include "browse/qx_local_file_lister.h"
#include "gui_support.h"
#include "profiles/ftp_profile_tree.h"
#include "queue/ftp_queue_process_manager.h"
#include "queue/queue_store.h"
#include "support/ftp_servers.h"
#include "support/process.h"
#include "support/test_site.h"

namespace {

namespace fs = std::filesystem;
using qvtf::test::temp_folder;

session_options quiet(const std::string& home)
{
    session_options o;
    o.home = home;
    o.first_activation = false;
    return o;
}

std::unique_ptr<qvtf::ftp_queue_item> download(const std::string& name, const std::string& into, int64_t size)
{
    qvtf::saved_item s;
    s.is_download = 1;
    s.name = name;
    s.local_folder = into + "/";
    s.remote_folder = "/";
    s.size = size;
    return qvtf::item_of(s);
}

bool close_window(app_session& session)
{
    session.window().close();
    return process_until([&] { return !session.window().isVisible(); }, 20000);
}

TEST(WorkflowQueue, LeftItemsComeBackAfterARestartAndFailuresRequeue)
{
    gui_application();
    if (!qvtf::test::pyftpdlib_available())
        GTEST_SKIP() << "pyftpdlib not installed";
    qvtf::test::pyftpdlib_server server;
    ASSERT_TRUE(server.ok()) << server.log();
    std::ofstream(server.root() + "/one.txt") << "first file";
    std::ofstream(server.root() + "/two.txt") << "second";
    temp_folder home("qvtf-flow-home");
    temp_folder into("qvtf-flow-into");
    const std::string queue_path = home.file("queue_items.txt");

    {
        // Paused: the items wait, the window closes with them queued.
        app_session session;
        ASSERT_TRUE(session.start(quiet(home.path()))) << session.error().toStdString();
        session.window().ask = [](const QString&, const QString&) { return true; };
        session.window().tell = [](const QString&, const QString& text, bool) { ADD_FAILURE() << text.toStdString(); };
        session.window().show();
        auto site = qvtf::test::loopback_site(server.port(), server.user(), server.password());
        site->label.set_string("flow server");
        qvtf::ftp_profile* kept = site.release();
        session.profiles().tree.append_child(kept, session.profiles().top());
        session.window().queue_view().pause_action().trigger();
        ASSERT_TRUE(session.queue().paused());
        session.queue().set_profile(kept);
        ASSERT_EQ(session.queue().append_item(download("one.txt", into.path(), 10)), 0);
        ASSERT_EQ(session.queue().append_item(download("missing.txt", into.path(), 4)), 0);
        ASSERT_TRUE(close_window(session));
        session.stop();
    }
    qvtf::saved_queue saved;
    ASSERT_TRUE(qvtf::load_queue_file(queue_path, saved));
    EXPECT_EQ(saved.site_path, "flow server");
    EXPECT_EQ(saved.port, server.port());
    ASSERT_EQ(saved.items.size(), 2u);
    EXPECT_FALSE(fs::exists(into.file("one.txt")));

    {
        // Offered back, yes: the site connects and the items run.
        app_session session;
        ASSERT_TRUE(session.start(quiet(home.path()))) << session.error().toStdString();
        int asked = 0;
        session.window().ask = [&](const QString&, const QString& text) {
            ++asked;
            EXPECT_TRUE(text.contains("flow server")) << text.toStdString();
            return true;
        };
        session.window().tell = [](const QString&, const QString&, bool) {};
        session.window().show();
        queue_widget& view = session.window().queue_view();
        ASSERT_TRUE(
            process_until([&] { return view.failed().rowCount() == 1 && session.queue().item_count() == 0; }, 30000));
        EXPECT_EQ(asked, 1);
        EXPECT_FALSE(fs::exists(queue_path));
        EXPECT_EQ(file_text(into.file("one.txt")), "first file");
        EXPECT_EQ(view.succeeded().rowCount(), 1);
        EXPECT_FALSE(view.failed().at(0).result.error_text.view().empty());
        EXPECT_EQ(view.tabs().tabText(1).toStdString(), "Failed (1)");

        // The cause gone, Requeue sends it again; it lands in Successful.
        std::ofstream(server.root() + "/missing.txt") << "late";
        EXPECT_EQ(view.requeue_failed(), 1);
        ASSERT_TRUE(process_until([&] { return view.succeeded().rowCount() == 2; }, 30000));
        EXPECT_EQ(file_text(into.file("missing.txt")), "late");
        EXPECT_EQ(view.failed().rowCount(), 0);
        view.findChild<QAction*>("bSuccessfulClear")->trigger();
        EXPECT_EQ(view.succeeded().rowCount(), 0);
        ASSERT_TRUE(close_window(session));
        session.stop();
    }
    EXPECT_FALSE(fs::exists(queue_path));

    // Declined: the file goes, nothing is queued.
    saved.items.resize(1);
    ASSERT_TRUE(qvtf::save_queue_file(queue_path, saved));
    app_session session;
    ASSERT_TRUE(session.start(quiet(home.path())));
    int asked = 0;
    session.window().ask = [&](const QString&, const QString&) { return ++asked, false; };
    ASSERT_TRUE(process_until([&] { return asked == 1; }));
    EXPECT_FALSE(fs::exists(queue_path));
    EXPECT_EQ(session.queue().item_count(), 0);
    session.stop();
}

// Enter in the bar connects the remote pane; the list keeps the connection
// without its password; the fields become a site in the site file; a
// prefix this build cannot speak is refused with a message.
TEST(WorkflowQuickConnect, EnterConnectsRemembersAndSaves)
{
    gui_application();
    if (!qvtf::test::pyftpdlib_available())
        GTEST_SKIP() << "pyftpdlib not installed";
    qvtf::test::pyftpdlib_server server;
    ASSERT_TRUE(server.ok()) << server.log();
    std::ofstream(server.root() + "/seen.txt") << "x";
    temp_folder home("qvtf-quick-home");
    app_session session;
    ASSERT_TRUE(session.start(quiet(home.path()))) << session.error().toStdString();
    QStringList told;
    session.window().tell = [&](const QString&, const QString& text, bool) { told << text; };
    session.window().show();
    quick_connect_bar& bar = session.window().quick_bar();

    bar.host().setText("gopher://127.0.0.1");
    QTest::keyClick(&bar.host(), Qt::Key_Return);
    ASSERT_EQ(told.size(), 1);
    EXPECT_TRUE(told[0].contains("names no known protocol")) << told[0].toStdString();
    EXPECT_TRUE(bar.history().empty());

    bar.host().setText(QString("127.0.0.1:%1").arg(server.port()));
    bar.user().setText(QString::fromStdString(server.user()));
    bar.password().setText(QString::fromStdString(server.password()));
    QTest::keyClick(&bar.password(), Qt::Key_Return);
    qvtf::qx_ftp_file_lister& remote = session.remote();
    ASSERT_TRUE(process_until(
        [&] {
            for (int32_t row = 0; row < remote.row_count(); ++row)
                if (qvtf::qxfile_node* n = remote.row_node(row); n && n->name.view() == "seen.txt")
                    return true;
            return false;
        },
        20000));
    ASSERT_EQ(bar.history().size(), 1u);
    EXPECT_EQ(bar.history()[0].port, server.port());
    const std::string kept = file_text(home.file("quick_connect.txt"));
    EXPECT_NE(kept.find(server.user()), std::string::npos);
    EXPECT_EQ(kept.find(server.password()), std::string::npos);

    qvtf::ftp_profile* site = session.window().save_quick_site();
    ASSERT_NE(site, nullptr);
    EXPECT_EQ(session.profiles().find("127.0.0.1"), site);
    EXPECT_NE(file_text(home.file("site_profiles.xml")).find("127.0.0.1"), std::string::npos);
    session.stop();
}

int row_named(const qvtf::qx_file_lister& lister, const std::string& name)
{
    for (int32_t row = 0; row < lister.row_count(); ++row)
        if (qvtf::qxfile_node* n = lister.row_node(row); n && n->name.view() == name)
            return row;
    return -1;
}

// Two small trees, one local and one on the server: the rows take the
// colour of their mark on both sides; browsing in step follows into a
// folder both have and says so when the other side lacks it.
TEST(WorkflowCompare, ColoursAndBrowsingInStep)
{
    gui_application();
    if (!qvtf::test::pyftpdlib_available())
        GTEST_SKIP() << "pyftpdlib not installed";
    qvtf::test::pyftpdlib_server server;
    ASSERT_TRUE(server.ok()) << server.log();
    temp_folder home("qvtf-compare-home");
    temp_folder local("qvtf-compare-local");
    const std::string remote_root = server.root();
    for (const std::string& root : {local.path(), remote_root}) {
        fs::create_directories(root + "/img/icons");
        std::ofstream(root + "/same.html") << "same";
        std::ofstream(root + "/img/logo.png") << "png";
    }
    fs::create_directories(local.path() + "/drafts");
    std::ofstream(local.path() + "/size.css") << "longer text";
    std::ofstream(remote_root + "/size.css") << "short";
    std::ofstream(local.path() + "/new.js") << "x";
    std::ofstream(remote_root + "/new.js") << "x";
    fs::last_write_time(remote_root + "/new.js", fs::file_time_type::clock::now() - std::chrono::hours(48));
    std::ofstream(remote_root + "/server-only.txt") << "s";

    app_session session;
    session_options options = quiet(home.path());
    options.local_folder = local.path();
    ASSERT_TRUE(session.start(options)) << session.error().toStdString();
    session.window().tell = [](const QString&, const QString&, bool) {};
    session.window().show();
    auto site = qvtf::test::loopback_site(server.port(), server.user(), server.password());
    session.queue().set_profile(site.get());
    qvtf::qx_ftp_file_lister& remote = session.remote();
    qvtf::qx_local_file_lister& lister = session.local();
    file_list_model& remote_model = session.window().remote_model();
    ASSERT_TRUE(process_until(
        [&] { return row_named(remote, "server-only.txt") >= 0 && remote_model.rowCount() == remote.row_count(); },
        20000));

    pane_comparison& comparison = session.window().comparison();
    comparison.compare_action().trigger();
    const struct {
        int side;
        const char* name;
        qvtf::compare_mark mark;
    } rows[] = {
        {0, "same.html", qvtf::compare_mark::same},
        {1, "same.html", qvtf::compare_mark::same},
        {0, "size.css", qvtf::compare_mark::different_size},
        {0, "new.js", qvtf::compare_mark::newer},
        {1, "new.js", qvtf::compare_mark::older},
        {0, "drafts", qvtf::compare_mark::only_here},
        {1, "server-only.txt", qvtf::compare_mark::only_here},
        {1, "img", qvtf::compare_mark::same},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        file_list_model& model = row.side ? session.window().remote_model() : session.window().local_model();
        const int at = row_named(row.side ? static_cast<qvtf::qx_file_lister&>(remote) : lister, row.name);
        ASSERT_GE(at, 0);
        EXPECT_EQ(model.data(model.index(at, 0), Qt::BackgroundRole).value<QColor>(),
                  pane_comparison::colour(row.mark));
    }
    comparison.compare_action().trigger();
    file_list_model& local_model = session.window().local_model();
    EXPECT_FALSE(local_model.data(local_model.index(row_named(lister, "same.html"), 0), Qt::BackgroundRole).isValid());

    comparison.step_action().trigger();
    lister.run_async([&] { return lister.change_folder(qvtf::qxval(local.path() + "/img"), false); });
    ASSERT_TRUE(process_until([&] { return row_named(remote, "logo.png") >= 0; }, 20000));
    EXPECT_EQ(remote.current_path().str(), "/img");
    lister.run_async([&] { return lister.change_folder(qvtf::qxval(local.path() + "/drafts"), false); });
    ASSERT_TRUE(process_until(
        [&] { return session.window().statusBar()->currentMessage().contains("no folder /drafts"); }, 10000))
        << session.window().statusBar()->currentMessage().toStdString();
    EXPECT_EQ(remote.current_path().str(), "/img");
    ASSERT_TRUE(close_window(session));
    session.stop();
}

}  // namespace
