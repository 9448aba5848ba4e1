// One session the way a user has it, against vsftpd: a site made in the site
// manager and connected, a folder entered, a folder dragged from the remote
// pane onto the queue, the queue empties and the files are on the disk.
#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <filesystem>
#include <fstream>

#include "app/app_session.h"
#include "app/file_list_model.h"
#include "app/main_window.h"
#include "app/node_mime.h"
#include "app/pane_widget.h"
#include "app/site_manager_form.h"
#include "app/ui_queue_manager.h"
#include "browse/qx_ftp_file_lister.h"
#include "browse/qx_local_file_lister.h"
#include "gui_support.h"
#include "queue/ftp_queue_process_manager.h"
#include "support/ftp_servers.h"
#include "support/process.h"

namespace {

namespace fs = std::filesystem;

int row_named(const qvtf::qx_file_lister& lister, const std::string& name)
{
    for (int32_t row = 0; row < lister.row_count(); ++row)
        if (qvtf::qxfile_node* n = lister.row_node(row); n && n->name.view() == name)
            return row;
    return -1;
}

TEST(SessionWidgets, SiteManagerConnectEnterDragToQueue)
{
    gui_application();
    if (!qvtf::test::vsftpd_available())
        GTEST_SKIP() << "vsftpd not installed";
    qvtf::test::vsftpd_server server;
    ASSERT_TRUE(server.ok()) << server.log();
    fs::create_directories(server.root() + "/pub/tree/deeper");
    std::ofstream(server.root() + "/pub/tree/a.txt") << "alpha";
    std::ofstream(server.root() + "/pub/tree/deeper/b.txt") << "beta";
    for (const auto& e : fs::recursive_directory_iterator(server.root()))
        fs::permissions(e.path(), fs::perms::others_read | fs::perms::others_exec, fs::perm_options::add);
    qvtf::test::temp_folder home("qvtf-widgets-home");
    qvtf::test::temp_folder local("qvtf-widgets-local");

    app_session session;
    session_options options;
    options.home = home.path();
    options.first_activation = false;
    options.local_folder = local.path();
    ASSERT_TRUE(session.start(options)) << session.error().toStdString();
    TqorxVTF& window = session.window();
    window.tell = [](const QString&, const QString& text, bool) { ADD_FAILURE() << text.toStdString(); };
    window.show();

    // The site manager opens with a new site; the user fills it in and connects.
    bool filled = false;
    QTimer::singleShot(100, [&] {
        auto* form = qobject_cast<TSiteManagerForm*>(QApplication::activeModalWidget());
        ASSERT_NE(form, nullptr);
        form->message_box = [](QMessageBox::Icon, const QString&, const QString&, QMessageBox::StandardButtons) {
            return QMessageBox::Yes;
        };
        auto field = [&](const char* name, const QString& text) {
            auto* edit = form->findChild<QLineEdit*>(name);
            ASSERT_NE(edit, nullptr) << name;
            edit->selectAll();
            QTest::keyClicks(edit, text);
        };
        field("eLabel", "Test server");
        field("eHost", "127.0.0.1");
        field("ePort", QString::number(server.port()));
        field("eUser", QString::fromStdString(server.user()));
        field("ePassword", QString::fromStdString(server.password()));
        if (auto* detect = form->findChild<QCheckBox*>("cbDetectTimeDiff"); detect && detect->isChecked())
            detect->click();
        auto* connect = form->findChild<QPushButton*>("butConnect");
        ASSERT_NE(connect, nullptr);
        filled = true;
        connect->click();
    });
    window.command("miNewSite")->trigger();
    ASSERT_TRUE(filled);

    qvtf::qx_ftp_file_lister& remote = session.remote();
    ASSERT_TRUE(process_until([&] { return remote.session().logged_in() && row_named(remote, "pub") >= 0; }, 20000));
    // The title follows the login through a queued call.
    EXPECT_TRUE(process_until([&] { return window.windowTitle().contains("127.0.0.1"); }, 10000))
        << window.windowTitle().toStdString();
    EXPECT_NE(session.profiles().find("Test server"), nullptr);

    // Into "pub" as a double-click would go, once the connecting operation is over.
    // The list shows what the pane holds before a row is opened.
    ASSERT_TRUE(process_until(
        [&] {
            return !remote.session().busy() && window.remote_model().rowCount() == remote.row_count() &&
                   window.remote_model().node_at(row_named(remote, "pub")) == remote.row_node(row_named(remote, "pub"));
        },
        20000));
    window.remote_pane().open_row(row_named(remote, "pub"));
    ASSERT_TRUE(process_until([&] { return row_named(remote, "tree") >= 0; }, 20000))
        << window.remote_pane().last_message().toStdString() << " in " << remote.current_path().str();

    // "tree" dragged onto the queue goes to the local pane's folder.
    qvtf::qxfile_node* tree = remote.row_node(row_named(remote, "tree"));
    node_mime_data drag(true, &remote, {tree});
    ui_queue_manager& queue_view = session.queue_view();
    ASSERT_TRUE(queue_view.canDropMimeData(&drag, Qt::CopyAction, -1, -1, {}));
    ASSERT_TRUE(queue_view.dropMimeData(&drag, Qt::CopyAction, -1, -1, {}));
    // Two small files may come and go between two looks at the queue: wait
    // for the files instead of for the queue to fill.
    ASSERT_TRUE(process_until(
        [&] {
            return session.queue().item_count() == 0 && !session.queue().expanding() &&
                   fs::exists(local.file("tree/deeper/b.txt")) && fs::exists(local.file("tree/a.txt"));
        },
        60000));
    EXPECT_EQ(file_text(local.file("tree/a.txt")), "alpha");
    EXPECT_EQ(file_text(local.file("tree/deeper/b.txt")), "beta");
    ASSERT_TRUE(process_until([&] { return queue_view.rowCount() == 0; }));

    window.close();
    ASSERT_TRUE(process_until([&] { return !window.isVisible(); }, 20000));
    session.stop();
    // The site made in the dialog is in the file for the next run.
    EXPECT_NE(file_text(home.file("site_profiles.xml")).find("Test server"), std::string::npos);
}

}  // namespace
