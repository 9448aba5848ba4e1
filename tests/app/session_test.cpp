// The whole window program in one process: start-up refusing a damaged
// settings file, closing with and without work in the queue, the layout
// surviving a restart, and the event loop staying responsive while a large
// transfer runs.
#include <gtest/gtest.h>

#include <QComboBox>
#include <QDockWidget>
#include <QElapsedTimer>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTableView>
#include <QTimer>
#include <QToolBar>
#include <cstdlib>
#include <filesystem>
#include <fstream>

#include "app/app_session.h"
#include "app/file_filter_form.h"
#include "app/file_props_form.h"
#include "app/log_view.h"
#include "app/main_window.h"
#include "app/pane_view.h"
#include "app/pane_widget.h"
#include "app/prompts.h"
#include "app/queue_widget.h"
#include "app/ui_queue_manager.h"
#include "browse/qx_ftp_file_lister.h"
#include "browse/qx_local_file_lister.h"
#include "gui_support.h"
#include "queue/ftp_queue_process_manager.h"
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

// Starts session on local_folder with every message it would show a test
// failure, shows the window and connects the queue (and with it the remote
// pane) to server; the site returned must outlive the session's use of it.
// Null when the session did not start.
template <class Server>
std::unique_ptr<qvtf::ftp_profile> start_connected(app_session& session, const std::string& home,
                                                   const std::string& local_folder, const Server& server)
{
    session_options options = quiet(home);
    options.local_folder = local_folder;
    if (!session.start(options))
        return nullptr;
    session.window().tell = [](const QString&, const QString& text, bool) { ADD_FAILURE() << text.toStdString(); };
    session.window().show();
    auto site = qvtf::test::loopback_site(server.port(), server.user(), server.password());
    session.queue().set_profile(site.get());
    return site;
}

// Closes the window as the user would and runs the loop until it has gone.
bool close_window(app_session& session)
{
    session.window().close();
    return process_until([&] { return !session.window().isVisible(); }, 20000);
}

TEST(Session, DamagedSettingsStopTheStartAndTouchNothing)
{
    gui_application();
    temp_folder home("qvtf-session-bad");
    // 14 column values instead of 15.
    const std::string settings =
        "<local_columns>Name,1,150,Size,1,80,Type,1,100,Modified,1,100,Attributes,1</local_columns>\r\n";
    const std::string profiles = "<?xml version=\"1.0\"?>\n<sites><site label=\"keep\"/></sites>\n";
    ASSERT_TRUE(home.write("qorx_gfs.txt", settings));
    ASSERT_TRUE(home.write("site_profiles.xml", profiles));
    {
        app_session session;
        EXPECT_FALSE(session.start(quiet(home.path())));
        EXPECT_TRUE(session.error().startsWith("The settings file qorx_gfs.txt can't be read"))
            << session.error().toStdString();
        session.stop();
    }
    EXPECT_EQ(file_text(home.file("qorx_gfs.txt")), settings);
    EXPECT_EQ(file_text(home.file("site_profiles.xml")), profiles);
    size_t files = 0;
    for ([[maybe_unused]] const auto& entry : fs::directory_iterator(home.path()))
        ++files;
    EXPECT_EQ(files, 2u);
}

// The local pane's Attributes and Filter commands open the window's
// dialogs on the pane's selection.
TEST(Session, PaneCommandsOpenTheirDialogs)
{
    gui_application();
    temp_folder home("qvtf-session-dialogs");
    temp_folder files("qvtf-session-files");
    std::ofstream(files.file("page.html")) << "<p>";
    session_options options = quiet(home.path());
    options.local_folder = files.path();
    app_session session;
    ASSERT_TRUE(session.start(options)) << session.error().toStdString();
    session.window().show();
    pane_widget& pane = session.window().local_pane();
    ASSERT_TRUE(process_until([&] { return pane.list_view().model()->rowCount() == 2; }));
    pane.list_view().selectRow(1);
    for (const int command : {int(pane_widget::cmd_attributes), int(pane_widget::cmd_filter)}) {
        SCOPED_TRACE(command);
        QAction* action = pane.action(command);
        ASSERT_NE(action, nullptr);
        QString opened;
        QTimer::singleShot(300, [&] {
            if (QWidget* modal = QApplication::activeModalWidget()) {
                opened = modal->metaObject()->className();
                static_cast<QDialog*>(modal)->reject();
            }
        });
        action->trigger();
        process_until([&] { return !opened.isEmpty(); }, 3000);
        EXPECT_EQ(opened.toStdString(), command == pane_widget::cmd_filter ? "TFileFilterForm" : "TFilePropsForm");
    }
    session.stop();
}

TEST(Session, ClosingAsksOnlyWhileTheQueueHoldsItems)
{
    gui_application();
    temp_folder home("qvtf-session-close");
    {
        // An empty queue: no question, the window goes, the files are written.
        app_session session;
        ASSERT_TRUE(session.start(quiet(home.path()))) << session.error().toStdString();
        int asked = 0;
        session.window().ask = [&](const QString&, const QString&) { return ++asked, true; };
        session.window().show();
        EXPECT_TRUE(close_window(session));
        EXPECT_EQ(asked, 0);
        session.stop();
    }
    EXPECT_TRUE(fs::exists(home.file("qorx_gfs.txt")));
    EXPECT_TRUE(fs::exists(home.file("site_profiles.xml")));
    EXPECT_TRUE(fs::exists(home.file("qx_listing_debug.txt")));

    app_session session;
    ASSERT_TRUE(session.start(quiet(home.path())));
    TqorxVTF& window = session.window();
    int asked = 0;
    bool answer = false;
    window.ask = [&](const QString& caption, const QString& text) {
        ++asked;
        EXPECT_EQ(caption.toStdString(), "Exit");
        EXPECT_TRUE(text.startsWith("There are still items in the transfer queue"));
        return answer;
    };
    window.tell = [](const QString&, const QString&, bool) {};
    window.show();
    // The browser connection is busy and there are no workers: the item waits.
    session.queue().max_threads = 0;
    auto hold = std::make_unique<qvtf::remote_session_lock>(session.remote().session());
    auto item = std::make_unique<qvtf::ftp_queue_item>();
    item->is_download = 1;
    item->name = qvtf::qxval("waiting.bin");
    ASSERT_EQ(session.queue().append_item(std::move(item)), 0);

    window.close();
    QCoreApplication::processEvents();
    EXPECT_EQ(asked, 1);
    EXPECT_TRUE(window.isVisible());
    EXPECT_EQ(session.queue().item_count(), 1);

    answer = true;
    hold.reset();
    EXPECT_TRUE(close_window(session));
    EXPECT_EQ(asked, 2);
    EXPECT_EQ(session.queue().item_count(), 0);
    session.stop();
}

// The lock beside the remote pane's title and on the status line, with the
// protocol and cipher as its tip, only while the connection is encrypted.
TEST(Session, TheLockShowsWhileEncrypted)
{
    gui_application();
    temp_folder home("qvtf-session-lock");
    app_session session;
    ASSERT_TRUE(session.start(quiet(home.path())));
    TqorxVTF& window = session.window();
    window.show();
    qvtf::connection_security tls;
    tls.encrypted = true;
    tls.version = "TLSv1.3";
    tls.cipher = "TLS_AES_256_GCM_SHA384";
    // A session keeps its last protection after it closed: the lock goes
    // with the connection all the same.
    const struct {
        bool tls;
        qvtf::remote_state state;
        bool encrypted;
    } rows[] = {
        {true, qvtf::remote_state::logged_in, true},
        {false, qvtf::remote_state::logged_in, false},
        {true, qvtf::remote_state::connected, true},
        {true, qvtf::remote_state::disconnected, false},
        {true, qvtf::remote_state::connecting, false},
    };
    for (const auto& row : rows) {
        const bool encrypted = row.encrypted;
        SCOPED_TRACE(static_cast<int>(row.state));
        window.set_security(row.tls ? tls : qvtf::connection_security{});
        window.set_connection_state(row.state, "example.org");
        QCoreApplication::processEvents();
        const QLabel& pane_lock = window.remote_pane().lock_label();
        const auto* status_lock = window.findChild<QLabel*>("StatusLock");
        ASSERT_NE(status_lock, nullptr);
        EXPECT_EQ(pane_lock.isVisible(), encrypted);
        EXPECT_EQ(status_lock->isVisible(), encrypted);
        EXPECT_FALSE(pane_lock.pixmap().isNull());
        EXPECT_EQ(pane_lock.toolTip(), encrypted ? "TLSv1.3, TLS_AES_256_GCM_SHA384" : "");
        EXPECT_EQ(window.windowTitle().contains("[TLS]"), encrypted);
    }
    EXPECT_TRUE(close_window(session));
    session.stop();
}

TEST(Session, LayoutAndGeometrySurviveARestart)
{
    gui_application();
    temp_folder home("qvtf-session-layout");
    {
        app_session session;
        ASSERT_TRUE(session.start(quiet(home.path())));
        TqorxVTF& window = session.window();
        window.show();
        window.resize(930, 650);
        ASSERT_TRUE(window.dock_panel(&window.queue_panel(), TqorxVTF::top_zone));
        window.log_panel().hide();
        window.set_transfer_type(1);
        window.restore_bands("1,0,300,0;2,1,300,0");
        window.queue_view().list().horizontalHeader()->resizeSection(1, 222);
        QCoreApplication::processEvents();
        EXPECT_TRUE(close_window(session));
        session.stop();
    }
    const std::string stored = file_text(home.file("qorx_gfs.txt"));
    EXPECT_NE(stored.find("<top_zone_controls>LogRichEdit;QueuePanel</top_zone_controls>"), std::string::npos);
    EXPECT_NE(stored.find("<transfer_type>1</transfer_type>"), std::string::npos);
    EXPECT_NE(stored.find("<coolband_config>1,0,"), std::string::npos);

    app_session session;
    ASSERT_TRUE(session.start(quiet(home.path())));
    TqorxVTF& window = session.window();
    window.show();
    ASSERT_TRUE(process_until([&] { return window.isVisible(); }));
    QCoreApplication::processEvents();
    EXPECT_EQ(window.size(), QSize(930, 650));
    EXPECT_EQ(window.dockWidgetArea(&window.queue_panel()), Qt::TopDockWidgetArea);
    EXPECT_TRUE(window.log_panel().isHidden());
    EXPECT_FALSE(window.queue_panel().isHidden());
    EXPECT_EQ(window.transfer_type(), 1);
    EXPECT_EQ(session.queue().default_transfer_type, 1);
    EXPECT_EQ(window.queue_view().widths()[1], 222);
    EXPECT_EQ(window.command_bar().y(), window.menu_bar_band().y());
    EXPECT_TRUE(close_window(session));
    session.stop();
}

// A large download while a timer ticks every 10 ms on the window's thread.
// The window must go on answering while the queue's worker moves the bytes:
// ticks arrive while the item is still in the queue. The longest gap between
// ticks is printed as a measurement, not judged (timings vary with load).
TEST(Session, WindowAnswersDuringALargeTransfer)
{
    gui_application();
    const auto kind = qvtf::test::server_available(qvtf::test::server_kind::vsftpd)
                          ? qvtf::test::server_kind::vsftpd
                          : qvtf::test::server_kind::pyftpdlib;
    if (!qvtf::test::server_available(kind))
        GTEST_SKIP() << "no FTP server installed";
    qvtf::test::real_server server(kind);
    ASSERT_TRUE(server.ok()) << server.log();
    constexpr int64_t size = 256ll * 1024 * 1024;
    const std::string big = server.root() + "/big.bin";
    {
        std::ofstream out(big, std::ios::binary);
        out.seekp(size - 1);
        out.put('x');
    }
    fs::permissions(big, fs::perms::others_read | fs::perms::group_read, fs::perm_options::add);
    temp_folder home("qvtf-session-big");
    temp_folder local("qvtf-session-big-local");

    app_session session;
    const auto site = start_connected(session, home.path(), local.path(), server);
    ASSERT_TRUE(site);
    qvtf::qx_ftp_file_lister& remote = session.remote();
    qvtf::qxfile_node* entry = nullptr;
    ASSERT_TRUE(process_until(
        [&] {
            for (int32_t row = 0; !entry && row < remote.row_count(); ++row)
                if (qvtf::qxfile_node* n = remote.row_node(row); n && n->name.view() == "big.bin")
                    entry = n;
            return entry != nullptr;
        },
        20000));
    ASSERT_TRUE(process_until([&] { return session.local().current_folder() != nullptr; }));

    QElapsedTimer clock;
    qint64 last = 0, worst = 0;
    int ticks_while_queued = 0;
    QTimer ticker;
    QObject::connect(&ticker, &QTimer::timeout, [&] {
        const qint64 now = clock.elapsed();
        worst = std::max(worst, now - last);
        last = now;
        if (session.queue().item_count() == 1)
            ++ticks_while_queued;
    });
    clock.start();
    ticker.start(10);
    session.queue().put_nodes(1, {entry}, session.local().current_folder(), 0);
    ASSERT_TRUE(process_until([&] { return session.queue().item_count() == 1; }, 10000));
    const bool emptied = process_until([&] { return session.queue().item_count() == 0; }, 240000);
    ticker.stop();
    const qint64 took = clock.elapsed();
    std::printf("[ timing ] 256 MiB download in %lld ms; longest gap between 10 ms ticks: %lld ms; "
                "%d ticks while queued\n",
                static_cast<long long>(took), static_cast<long long>(worst), ticks_while_queued);
    EXPECT_TRUE(emptied);
    // Several ticks, so the transfer did not hold the window's thread.
    EXPECT_GE(ticks_while_queued, 3);
    std::error_code ec;
    EXPECT_EQ(static_cast<int64_t>(fs::file_size(local.file("big.bin"), ec)), size);
    fs::remove(local.file("big.bin"), ec);
    EXPECT_TRUE(close_window(session));
    session.stop();
}

// The queue-by-mask command: the prompt's masks and its kind of entries pick
// what of the remote folder is queued for the local folder.
TEST(Session, QueueByMaskTakesTheMatchingEntries)
{
    gui_application();
    if (!qvtf::test::pyftpdlib_available())
        GTEST_SKIP() << "pyftpdlib not installed";
    qvtf::test::pyftpdlib_server server;
    ASSERT_TRUE(server.ok()) << server.log();
    for (const char* name : {"a.txt", "b.html", "c.txt"})
        std::ofstream(server.root() + "/" + name) << name;
    fs::create_directories(server.root() + "/docs.txt");
    temp_folder home("qvtf-session-mask");
    temp_folder local("qvtf-session-mask-local");
    app_session session;
    const auto site = start_connected(session, home.path(), local.path(), server);
    ASSERT_TRUE(site);
    TqorxVTF& window = session.window();
    ASSERT_TRUE(process_until(
        [&] {
            int shown = 0;
            for (int32_t row = 0; row < session.remote().row_count(); ++row)
                shown += session.remote().row_node(row) ? 1 : 0;
            return shown == 4;
        },
        20000));
    ASSERT_TRUE(process_until([&] { return session.local().current_folder() != nullptr; }));

    window.ask_queue_mask();
    qx_edit_dropdown_prompt* prompt = window.mask_prompt();
    ASSERT_NE(prompt, nullptr);
    ASSERT_TRUE(process_until([&] { return prompt->isVisible(); }));
    prompt->edit().setText("*.txt; *.none");
    prompt->list().setCurrentIndex(1);  // files only
    if (const char* shots = std::getenv("QVTF_SCREENSHOT_DIR"))
        prompt->grab().save(QString::fromLocal8Bit(shots) + "/queue-mask-prompt.png");
    prompt->ok_button().click();
    ASSERT_TRUE(
        process_until([&] { return fs::exists(local.file("c.txt")) && session.queue().item_count() == 0; }, 20000));
    EXPECT_EQ(qvtf::test::read_text_file(local.file("a.txt")), "a.txt");
    EXPECT_FALSE(fs::exists(local.file("b.html"))) << "not matched";
    EXPECT_FALSE(fs::exists(local.file("docs.txt"))) << "a folder, and files only were asked for";
    EXPECT_TRUE(close_window(session));
    session.stop();
}

}  // namespace
