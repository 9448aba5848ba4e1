// Faults a new user met in the window: boxes that piled up behind the window
// while Enter went to the panes, a command box whose Enter did not send, a
// log that coloured refusals as success and hid which connection spoke, log
// files that could not be switched on, help that failed without a reason,
// a first window above the screen, and a refused login shown as connected.
#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QLabel>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScreen>
#include <QTest>
#include <QTextBlock>
#include <QTimer>
#include <filesystem>
#include <fstream>
#include <functional>

#include "app/app_session.h"
#include "app/file_props_form.h"
#include "app/log_view.h"
#include "app/log_view_files.h"
#include "app/main_window.h"
#include "app/pane_widget.h"
#include "app/prompts.h"
#include "app/prompts_messages.h"
#include "app/prompts_open.h"
#include "app/remote_folder_picker.h"
#include "browse/qx_ftp_file_lister.h"
#include "gui_support.h"
#include "queue/ftp_queue_process_manager.h"
#include "queue/queue_item_result.h"
#include "settings/global_ftp_settings.h"
#include "settings/program_folders.h"
#include "support/ftp_scripted.h"
#include "support/process.h"
#include "support/test_phrases.h"
#include "support/test_site.h"

namespace {

namespace fs = std::filesystem;
using qvtf::test::temp_folder;
using qvtf::test::test_phrases;

QList<QMessageBox*> shown_boxes(QWidget& window)
{
    QList<QMessageBox*> shown;
    for (QMessageBox* box : window.findChildren<QMessageBox*>())
        if (box->isVisible())
            shown << box;
    return shown;
}

TEST(WindowFaults, BoxesComeOneAtATimeWithTheFocusAndMerge)
{
    gui_application();
    TqorxVTF window(nullptr);
    window.resize(900, 600);
    window.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));

    const QString long_caption = "Synchronisation of the local and the remote folders";
    window.tell("Error", "Transfer failed: a.txt", true);
    window.tell("Error", "Transfer failed: b.txt", true);  // joins the box on the screen
    window.tell("Error", "Transfer failed: a.txt", true);  // already said
    window.tell(long_caption, "The folders differ.", false);
    window.tell("Warning", "This pane is busy with another operation", false);
    message_stack& stack = message_stack::of(&window);
    EXPECT_EQ(&message_stack::of(&window.local_pane()), &stack);

    struct expected {
        QString caption;
        QString text;
    };
    const std::vector<expected> order = {
        {"Error", "Transfer failed: a.txt\n\nTransfer failed: b.txt"},
        {long_caption, "The folders differ."},
        {"Warning", "This pane is busy with another operation"},
    };
    for (const expected& e : order) {
        SCOPED_TRACE(e.caption.toStdString());
        ASSERT_TRUE(process_until([&] { return shown_boxes(window).size() == 1 && stack.current(); }));
        QMessageBox* box = stack.current();
        EXPECT_EQ(shown_boxes(window).front(), box);
        EXPECT_EQ(box->windowTitle(), e.caption);
        EXPECT_EQ(box->text(), e.text);
        EXPECT_EQ(box->windowModality(), Qt::WindowModal);
        EXPECT_EQ(box->parentWidget(), &window);
        // The whole title fits, however short the text.
        ASSERT_TRUE(process_until([&] { return box->isActiveWindow(); }));
        EXPECT_GE(box->width(), box->fontMetrics().horizontalAdvance(e.caption));
        // Enter answers the box that has the focus, not the window behind it.
        QWidget* focus = QApplication::focusWidget();
        ASSERT_NE(focus, nullptr);
        EXPECT_EQ(focus->window(), box);
        QTest::keyClick(focus, Qt::Key_Return);
        ASSERT_TRUE(process_until([&] { return !box || !box->isVisible(); }));
    }
    QCoreApplication::processEvents();
    EXPECT_EQ(stack.current(), nullptr);
    EXPECT_EQ(stack.waiting(), 0);

    // Many failures of one kind make one box with a count of the rest.
    for (int i = 0; i < message_stack::max_merged + 3; ++i)
        window.tell("Error", QString("failed %1").arg(i), true);
    ASSERT_TRUE(process_until([&] { return stack.current() != nullptr; }));
    EXPECT_TRUE(stack.current()->text().endsWith("(+3)"));
    EXPECT_EQ(stack.waiting(), 0);
    stack.current()->accept();
}

// The permissions dialog and the remote folder picker refuse through the
// window's stack too: no box of their own that blocks and hides behind it.
TEST(WindowFaults, DialogRefusalsGoThroughTheWindowsStack)
{
    gui_application();
    TqorxVTF window(nullptr);
    window.resize(900, 600);
    window.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
    qvtf::global_ftp_settings settings;
    qvtf::qx_ftp_file_lister remote(settings, &test_phrases(), nullptr);  // not connected
    const struct {
        const char* what;
        std::function<void()> refuse;
    } rows[] = {
        {"permissions without a Unix listing",
         [&] {
             TFilePropsForm form(settings, &test_phrases(), &window);
             qvtf::qxfile_node node;
             EXPECT_EQ(form.exec_for(remote, {&node}), QDialog::Rejected);
         }},
        {"a folder picked without a connection",
         [&] { EXPECT_TRUE(pick_remote_folder(remote, &test_phrases(), &window).isEmpty()); }},
    };
    message_stack& stack = message_stack::of(&window);
    for (const auto& r : rows) {
        SCOPED_TRACE(r.what);
        // A box that blocked the call would be met here, and closed.
        bool returned = false, blocked = false;
        QTimer::singleShot(200, &window, [&] {
            if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget()); box && !returned) {
                blocked = true;
                box->reject();
            }
        });
        r.refuse();
        returned = true;
        EXPECT_FALSE(blocked);
        ASSERT_TRUE(process_until([&] { return stack.current() != nullptr; }));
        QMessageBox* box = stack.current();
        EXPECT_EQ(box->windowModality(), Qt::WindowModal);
        EXPECT_EQ(box->parentWidget(), &window);
        ASSERT_TRUE(process_until([&] { return box->isActiveWindow(); }));
        box->accept();
        ASSERT_TRUE(process_until([&] { return !stack.current(); }));
    }
}

TEST(WindowFaults, PromptsTakeTheFocusAndTheCommandBoxSendsOnEnter)
{
    gui_application();
    QWidget window;
    window.resize(400, 300);
    window.show();
    qx_memo_prompt box(&test_phrases(), &window);
    box.set_enter_sends(true);
    QStringList sent;
    box.set_callback([&](void*, const QString& text, int) { sent << text; }, nullptr);
    box.show_prompt();
    EXPECT_EQ(box.windowModality(), Qt::WindowModal);
    ASSERT_TRUE(process_until([&] { return QApplication::focusWidget() == &box.memo(); }));
    // Shift+Enter breaks the line; Enter sends both lines.
    QTest::keyClicks(&box.memo(), "PWD");
    QTest::keyClick(&box.memo(), Qt::Key_Return, Qt::ShiftModifier);
    QTest::keyClicks(&box.memo(), "SYST");
    EXPECT_TRUE(sent.isEmpty());
    QTest::keyClick(&box.memo(), Qt::Key_Return);
    EXPECT_EQ(sent, QStringList{"PWD\nSYST"});
    EXPECT_FALSE(box.isVisible());
}

TEST(WindowFaults, LogColoursRefusalsAndNamesTheConnections)
{
    gui_application();
    log_view log;
    int sessions[4] = {};
    const void* worker_a = &sessions[1];
    const void* worker_b = &sessions[2];
    const void* worker_c = &sessions[3];
    const log_source from_browser{&sessions[0], false};
    const log_source from_a{worker_a, true}, from_b{worker_b, true}, from_c{worker_c, true};
    const QColor green(0, 128, 0), blue(0, 0, 255), red(255, 0, 0);
    struct row {
        std::vector<const char*> lines;
        int kind;
        log_source from;
        std::vector<const void*> ended;  // workers that close before the line comes
        std::vector<QString> shown;
        QColor colour;
    };
    const std::vector<row> rows = {
        {{"230 Login successful."}, 0, from_browser, {}, {"< 230 Login successful."}, green},
        {{"530 Authentication failed."}, 0, from_browser, {}, {"< 530 Authentication failed."}, red},
        {{"550-No such file", " or folder", "550 End"},
         0,
         from_browser,
         {},
         {"< 550-No such file", "<  or folder", "< 550 End"},
         red},
        {{"421 Too many connections"}, 0, from_browser, {}, {"< 421 Too many connections"}, red},
        // Once a worker speaks, every connection is named.
        {{"RETR a.txt"}, 1, from_a, {}, {"[worker 1] > RETR a.txt"}, blue},
        {{"226 Done"}, 0, from_browser, {}, {"[browser] < 226 Done"}, green},
        {{"451 Aborted"}, 0, from_b, {}, {"[worker 2] < 451 Aborted"}, red},
        {{"STOR c.txt"}, 1, from_c, {worker_a}, {"[worker 1] > STOR c.txt"}, blue},
        // The browser alone again: no names.
        {{"PWD"}, 1, from_browser, {worker_b, worker_c}, {"> PWD"}, blue},
    };
    for (const row& r : rows) {
        SCOPED_TRACE(r.shown.front().toStdString());
        for (const void* session : r.ended)
            log.source_ended(session);
        auto lines = std::make_unique<qvtf::qxarr>();
        for (const char* text : r.lines)
            lines->push_copy(qvtf::qxval(text));
        log.write(std::move(lines), r.kind, r.from);
        ASSERT_TRUE(process_until([&] { return log.document()->lastBlock().text() == r.shown.back(); }));
        QTextBlock block = log.document()->lastBlock();
        for (size_t i = 1; i < r.shown.size(); ++i)
            block = block.previous();
        for (const QString& text : r.shown) {
            EXPECT_EQ(block.text(), text);
            EXPECT_EQ(block.begin().fragment().charFormat().foreground().color(), r.colour) << text.toStdString();
            block = block.next();
        }
    }
}

TEST(WindowFaults, LogFilesAreWrittenAndRotated)
{
    temp_folder home("qvtf-log-files");
    qvtf::program_folders folders;
    folders.program = home.path() + "/";
    folders.user = home.path() + "/user/";
    qvtf::global_ftp_values values;
    values.do_command_log = true;
    values.do_download_log = true;
    values.download_log_format = "%x %c [%f] [%F] %B %T %h %e 100%% %q";
    log_files files;
    files.configure(values, folders, 200);
    files.set_host("127.0.0.1");
    const std::string commands = folders.user_file("command_log.txt");
    const std::string transfers = folders.user_file("file_transfer_log.txt");
    EXPECT_EQ(files.commands().path(), commands);

    // The wire and errors, not information; each line with its time and connection.
    files.command("[worker 1] ", 1, "RETR a.txt");
    files.command("", 2, "information");
    files.command("", 0, "226 Done");
    std::string text = file_text(commands);
    EXPECT_NE(text.find(" [worker 1] > RETR a.txt\n"), std::string::npos);
    EXPECT_NE(text.find(" < 226 Done\n"), std::string::npos);
    EXPECT_EQ(text.find("information"), std::string::npos);

    struct row {
        bool download, ok, folder;
        const char* remote;
        const char* error;
        const char* line;  // "" for none
    };
    const row rows[] = {
        {true, true, false, "/www/a.txt", "", "<- ok [/www/a.txt] [/l/a.txt] 42 1 127.0.0.1  100% %q"},
        {false, false, false, "/www/b\nc", "550 Denied",
         "-> failed [/www/b c] [/l/a.txt] 42 1 127.0.0.1 550 Denied 100% %q"},
        {true, true, true, "/www", "", ""},  // a folder's end is no transfer
    };
    for (const row& r : rows) {
        qvtf::queue_item_result result;
        result.is_download = r.download;
        result.succeeded = r.ok;
        result.is_folder = r.folder;
        result.remote_path = qvtf::qxval(r.remote);
        result.local_path = qvtf::qxval("/l/a.txt");
        result.bytes = 42;
        result.tries = 1;
        result.error_text = qvtf::qxval(r.error);
        const size_t before = file_text(transfers).size();
        files.transfer(result);
        const std::string added = file_text(transfers).substr(before);
        EXPECT_EQ(added, *r.line ? std::string(r.line) + "\n" : std::string()) << r.remote;
    }

    // Past its limit a log moves aside and starts afresh.
    for (int i = 0; i < 10; ++i)
        files.command("", 1, "NOOP and some more text to fill the file");
    EXPECT_TRUE(fs::exists(commands + ".1"));
    EXPECT_LE(fs::file_size(commands), 200u);
    EXPECT_LE(fs::file_size(commands + ".1"), 200u);

    // Switched off, nothing more is written.
    values.do_command_log = false;
    files.configure(values, folders, 200);
    const auto size = fs::file_size(commands);
    files.command("", 1, "QUIT");
    EXPECT_EQ(fs::file_size(commands), size);
}

TEST(WindowFaults, HelpAndTheTypeFileSayWhyTheyDidNotOpen)
{
    gui_application();
    temp_folder folder("qvtf-open-docs");
    folder.write("page.html", "<p>help</p>");
    folder.write("ext.txt", "<ext/>");
    const QString page = QString::fromStdString(folder.file("page.html"));
    const QString types = QString::fromStdString(folder.file("ext.txt"));
    const QString missing = QString::fromStdString(folder.file("none.html"));
    struct row {
        const char* name;
        QString path;
        bool text;
        bool desktop;  // the desktop opens it
        QString visual, editor, terminal;
        QString message;  // start of the message, "" for success
        QStringList started;
    };
    const std::vector<row> rows = {
        {"opened", page, false, true, "", "", "", "", {}},
        {"missing", missing, false, true, "", "", "", "[64]" + missing, {}},
        {"no browser",
         page,
         false,
         false,
         "gedit",
         "",
         "",
         "[64]" + page + "\n\nNo application is set to open HTML",
         {}},
        {"visual", types, true, false, "code -w", "vi", "", "", {"code", "-w", types}},
        {"editor in a terminal", types, true, false, "", "nano", "xterm", "", {"xterm", "-e", "nano", types}},
        {"no editor",
         types,
         true,
         false,
         "",
         "",
         "",
         "[64]" + types + "\n\nNo application is set to open this file, and neither $VISUAL nor $EDITOR",
         {}},
    };
    for (const row& r : rows) {
        SCOPED_TRACE(r.name);
        document_opener opener;
        opener.open_url = [&](const QUrl&) { return r.desktop; };
        QStringList started;
        opener.start = [&](const QString& program, const QStringList& arguments) {
            started = QStringList{program} + arguments;
            return true;
        };
        opener.environment = [&](const char* name) {
            const QString n = QString::fromLatin1(name);
            return n == "VISUAL" ? r.visual : n == "EDITOR" ? r.editor : n == "TERMINAL" ? r.terminal : QString();
        };
        const QString message = opener.open(r.path, r.text, &test_phrases());
        EXPECT_EQ(message.isEmpty(), r.message.isEmpty()) << message.toStdString();
        if (!r.message.isEmpty()) {
            EXPECT_TRUE(message.startsWith(r.message)) << message.toStdString();
        }
        EXPECT_EQ(started, r.started);
    }

    // The window's Help names the reason too.
    temp_folder program("qvtf-open-help");
    fs::create_directories(program.file("help"));
    program.write("help/help.html", "<p>contents</p>");
    qvtf::program_folders folders;
    folders.program = program.path() + "/";
    folders.user = program.path() + "/user/";
    TqorxVTF window(&test_phrases());
    window_links links;
    links.folders = &folders;
    window.setup(links);
    QStringList told;
    window.tell = [&](const QString&, const QString& text, bool) { told << text; };
    window.opener.open_url = [](const QUrl&) { return false; };
    window.open_help("help.html");
    ASSERT_EQ(told.size(), 1);
    EXPECT_TRUE(
        told[0].startsWith("[64]" + QString::fromStdString(program.file("help/help.html")) + "\n\nNo application"))
        << told[0].toStdString();
}

TEST(WindowFaults, FirstWindowIsCentredOnTheScreen)
{
    gui_application();
    struct row {
        QRect screen;
        QRect expected;
    };
    for (const row& r :
         {row{QRect(0, 0, 1920, 1080), QRect(192, 108, 1536, 864)},
          row{QRect(0, 24, 1024, 744), QRect(102, 98, 819, 595)}, row{QRect(0, 0, 800, 600), QRect(0, 20, 800, 560)}}) {
        const QRect bounds = TqorxVTF::first_bounds(r.screen);
        EXPECT_EQ(bounds, r.expected);
        EXPECT_TRUE(r.screen.contains(bounds));
    }
    const QRect screen = QGuiApplication::primaryScreen()->availableGeometry();
    // The stored defaults of a first start, and bounds on no screen, are
    // replaced; bounds the user chose are kept.
    struct stored {
        int left, top, width, height;
        QRect expected;
    };
    for (const stored& s : {stored{0, 0, 800, 560, TqorxVTF::first_bounds(screen)},
                            stored{-5000, -5000, 700, 500, TqorxVTF::first_bounds(screen)},
                            stored{10, 40, 640, 480, QRect(10, 40, 640, 480)}}) {
        qvtf::global_ftp_values values;
        values.program_left = s.left;
        values.program_top = s.top;
        values.program_width = s.width;
        values.program_height = s.height;
        TqorxVTF window(nullptr);
        window.restore_layout(values);
        EXPECT_EQ(window.geometry(), s.expected) << s.left;
    }
}

// A login the server refuses: the title, the remote pane's header and
// Disconnect all say not connected, and the user is told why.
TEST(WindowFaults, RefusedLoginLeavesEveryPlaceDisconnected)
{
    gui_application();
    qvtf::test::scripted_ftp_server server;
    ASSERT_TRUE(server.ok());
    server.send("220 ready\r\n").expect("331 password please\r\n").expect("530 Login incorrect.\r\n");
    server.start();
    temp_folder home("qvtf-refused-login");
    app_session session;
    session_options options;
    options.home = home.path();
    options.first_activation = false;
    options.local_folder = home.path();
    ASSERT_TRUE(session.start(options));
    TqorxVTF& window = session.window();
    window.remote_pane().quiet = true;
    window.show();
    QStringList states;
    QObject::connect(&window, &TqorxVTF::state_changed, [&](const QString& text) { states << text; });
    auto site = qvtf::test::loopback_site(server.port(), "bob", "wrong");
    session.queue().set_profile(site.get());
    ASSERT_TRUE(server.completed());
    ASSERT_TRUE(process_until([&] { return window.remote_pane().message_count() > 0; }, 10000));
    session.remote().wait_for_operations();
    ASSERT_TRUE(process_until([&] { return !states.isEmpty() && states.back() == window.state_text(); }));
    QCoreApplication::processEvents();

    const QString not_connected = QString::fromUtf8(session.language().phrase(196));
    EXPECT_EQ(window.state_text(), not_connected) << states.join(" | ").toStdString();
    EXPECT_TRUE(window.windowTitle().endsWith("[" + not_connected + "]"));
    EXPECT_EQ(window.remote_pane().title_label().text(), not_connected);
    EXPECT_FALSE(window.command("miSiteDisconnect")->isEnabled());
    EXPECT_FALSE(session.remote().session().connected());
    EXPECT_FALSE(window.remote_pane().last_message().isEmpty());
    window.close();
    process_until([&] { return !window.isVisible(); }, 20000);
    session.stop();
}

}  // namespace
