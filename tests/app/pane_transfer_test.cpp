// Drags between the panes against a real server: a local file dropped on
// the remote pane is uploaded through the queue into its current folder, a
// drop within the local pane moves entries into the folder under it, and a
// drop before connecting only warns. The remote pane's rows and folder
// tree are checked by Qt's model checker meanwhile.
#include <gtest/gtest.h>

#include <QAbstractItemModelTester>
#include <QItemSelectionModel>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <filesystem>
#include <fstream>
#include <mutex>

#include "app/node_mime.h"
#include "app/pane_view.h"
#include "app/pane_widget.h"
#include "app/prompts.h"
#include "browse/qx_ftp_file_lister.h"
#include "browse/qx_local_file_lister.h"
#include "gui_support.h"
#include "queue/ftp_queue_process_manager.h"
#include "queue/lister_queue_panes.h"
#include "support/ftp_servers.h"
#include "support/process.h"
#include "support/queue_finished.h"
#include "support/test_phrases.h"
#include "support/test_site.h"

namespace {

namespace fs = std::filesystem;
using Mode = QAbstractItemModelTester::FailureReportingMode;
using namespace qvtf;
using qvtf::test::temp_folder;
using qvtf::test::test_phrases;

qxfile_node* child_named(qxfile_node* folder, const std::string& name)
{
    for (qxfile_node* n = folder ? folder->first_child : nullptr; n; n = n->next)
        if (n->name.str() == name)
            return n;
    return nullptr;
}

std::string read_file(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

TEST(PaneTransfer, DropsQueueUploadsAndMoveWithinAPane)
{
    if (!qvtf::test::pyftpdlib_available())
        GTEST_SKIP() << "pyftpdlib not installed";
    gui_application();
    qvtf::test::pyftpdlib_server server;
    ASSERT_TRUE(server.ok()) << server.log();
    fs::create_directories(server.root() + "/site/images");
    std::ofstream(server.root() + "/site/index.html") << "<html>";
    temp_folder local_folder("qvtf-pane-drop");
    local_folder.write("up.txt", "uploaded by a drop");
    local_folder.write("m.txt", "moved");
    fs::create_directories(local_folder.file("sub"));

    global_ftp_settings settings;
    pane_widget local_pane(false, &test_phrases());
    pane_widget remote_pane(true, &test_phrases());
    QAbstractItemModelTester remote_rows(&remote_pane.model(), Mode::Fatal);
    QAbstractItemModelTester remote_tree(&remote_pane.folders_model(), Mode::Fatal);
    local_pane.set_other(&remote_pane);
    remote_pane.set_other(&local_pane);
    local_pane.quiet = remote_pane.quiet = true;
    qx_local_file_lister local(settings, &test_phrases(), &local_pane.model());
    qx_ftp_file_lister remote(settings, &test_phrases(), &remote_pane.model());
    // The shipped extension list names the type texts and pictures.
    ASSERT_EQ(remote.types.load(qxval(std::string(QVTF_PROGRAM_DIR) + "/ext.txt")), 0);
    local_pane.model().attach(&local);
    remote_pane.model().attach(&remote);
    ASSERT_EQ(local.change_folder(qxval(local_folder.path()), true), 0);

    const auto site = test::loopback_site(server.port(), server.user(), server.password());

    lister_queue_panes panes(remote, local);
    ftp_queue_process_manager queue;
    queue.panes = &panes;
    queue.language = &test_phrases();
    queue.settings = &settings;
    std::atomic<int> finished{0}, failed{0};
    std::mutex failures_mutex;
    std::string failures;
    qvtf::test::when_finished(queue, [&](const queue_item_result& r) {
        if (!r.succeeded) {
            std::lock_guard lock(failures_mutex);
            failures += r.remote_path.str() + ": " + std::to_string(r.result_code) + " " + r.error_text.str() + "\n";
        }
        failed += r.succeeded ? 0 : 1;
        ++finished;
    });
    ASSERT_EQ(queue.open(), 0);
    local_pane.set_queue(&queue);
    remote_pane.set_queue(&queue);

    // Not connected yet: the drop only warns.
    qxfile_node* up = child_named(local.current_folder(), "up.txt");
    ASSERT_NE(up, nullptr);
    remote_pane.drop_nodes(node_mime_data(false, &local, {up}), nullptr);
    EXPECT_EQ(remote_pane.last_message(), "[379]");
    EXPECT_EQ(queue.item_count(), 0);

    queue.set_profile(site.get());
    remote.wait_for_operations();
    ASSERT_TRUE(remote.session().logged_in());
    queue.start();
    ASSERT_EQ(remote.change_folder(qxval("/site"), true), 0);
    ASSERT_TRUE(process_until([&] { return remote_pane.model().rowCount() == 3; }));
    EXPECT_TRUE(remote_pane.folders_model().index_of("/site").isValid());
    EXPECT_TRUE(remote_pane.folders_model().index_of("/site/images").isValid());
    // The current folder's item is drawn open, the others not.
    const auto picture = [&](const char* path) {
        return remote_pane.folders_model().index_of(path).data(Qt::DecorationRole).value<QIcon>().pixmap(16).toImage();
    };
    EXPECT_NE(picture("/site"), picture("/"));
    const int type_column = remote_pane.model().column_of(column_type);
    ASSERT_GE(type_column, 0);
    for (int row = 0; row < remote_pane.model().rowCount(); ++row) {
        const QModelIndex name = remote_pane.model().index(row, remote_pane.model().column_of(column_name));
        if (name.data().toString() != "index.html")
            continue;
        EXPECT_EQ(remote_pane.model().index(row, type_column).data().toString(), "HTML document");
        EXPECT_FALSE(name.data(Qt::DecorationRole).value<QIcon>().isNull());
    }

    // A drop on the remote pane's "images" row uploads into that folder.
    qxfile_node* images = child_named(remote.current_folder(), "images");
    ASSERT_NE(images, nullptr);
    remote_pane.drop_nodes(node_mime_data(false, &local, {up}), images);
    ASSERT_TRUE(process_until([&] { return finished == 1; }, 30000));
    EXPECT_EQ(read_file(server.root() + "/site/images/up.txt"), "uploaded by a drop");
    // And one on a file row goes to the current folder (once the refresh
    // that follows a finished queue is over).
    // The queue re-lists the local pane after it used its entries: take them again.
    ASSERT_TRUE(queue.wait_until_empty(30000));
    remote.wait_for_operations();
    local.wait_for_operations();
    up = child_named(local.current_folder(), "up.txt");
    ASSERT_NE(up, nullptr);
    remote_pane.drop_nodes(node_mime_data(false, &local, {up}), child_named(remote.current_folder(), "index.html"));
    ASSERT_TRUE(process_until([&] { return finished == 2; }, 30000)) << remote_pane.last_message().toStdString();
    EXPECT_EQ(failed, 0) << failures;
    EXPECT_EQ(read_file(server.root() + "/site/up.txt"), "uploaded by a drop");

    // Within the local pane, onto its "sub" row: a move. Onto the folder
    // the entry already lies in: nothing.
    local.wait_for_operations();
    qxfile_node* moved = child_named(local.current_folder(), "m.txt");
    local_pane.drop_nodes(node_mime_data(false, &local, {moved}), nullptr);
    local.wait_for_operations();
    EXPECT_TRUE(fs::exists(local_folder.file("m.txt")));
    local_pane.drop_nodes(node_mime_data(false, &local, {moved}), child_named(local.current_folder(), "sub"));
    local.wait_for_operations();
    EXPECT_TRUE(fs::exists(local_folder.file("sub/m.txt")));
    EXPECT_FALSE(fs::exists(local_folder.file("m.txt")));

    remote_pane.resize(640, 300);
    remote_pane.show();
    remote.wait_for_operations();
    process_until([&] { return false; }, 300);
    remote_pane.grab().save("/tmp/qvtf-pane-remote.png");

    queue.close();
    remote.disconnect(false);
    remote.wait_for_operations();
    local.wait_for_operations();
    QCoreApplication::processEvents();
    local_pane.model().attach(nullptr);
    remote_pane.model().attach(nullptr);
}

TEST(PaneTransfer, RemoteCommandsFromTheMenu)
{
    if (!qvtf::test::pyftpdlib_available())
        GTEST_SKIP() << "pyftpdlib not installed";
    gui_application();
    qvtf::test::pyftpdlib_server server;
    ASSERT_TRUE(server.ok()) << server.log();
    std::ofstream(server.root() + "/index.html") << "<html>";
    std::ofstream(server.root() + "/old.txt") << "old";

    global_ftp_settings settings;
    pane_widget pane(true, &test_phrases());
    QAbstractItemModelTester rows(&pane.model(), Mode::Fatal);
    pane.quiet = true;
    pane.set_settings(&settings);
    qx_ftp_file_lister remote(settings, &test_phrases(), &pane.model());
    pane.model().attach(&remote);
    const auto site = test::loopback_site(server.port(), server.user(), server.password());
    ASSERT_EQ(remote.connect_profile(site.get()), 0);
    auto settle = [&] {
        remote.wait_for_operations();
        return process_until([&] { return pane.model().rowCount() == remote.row_count(); });
    };
    ASSERT_TRUE(settle());
    auto row_of = [&](const char* name) {
        for (int row = 0; row < pane.model().rowCount(); ++row)
            if (pane.model().data(pane.model().index(row, 0), Qt::DisplayRole).toString() == name)
                return row;
        return -1;
    };
    auto select = [&](const char* name) {
        pane.list_view().selectionModel()->select(pane.model().index(row_of(name), 0),
                                                  QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
    };
    ASSERT_GE(row_of("index.html"), 0);

    // New folder through the prompt.
    pane.run_command(pane_widget::cmd_new_folder);
    pane.folder_prompt().edit().setText("made");
    pane.folder_prompt().ok_button().click();
    ASSERT_TRUE(settle());
    EXPECT_TRUE(fs::is_directory(server.root() + "/made"));
    EXPECT_TRUE(process_until([&] { return row_of("made") >= 0; }));

    // Rename through the name editor's result.
    ASSERT_TRUE(pane.model().setData(pane.model().index(row_of("old.txt"), 0), QString("new.txt"), Qt::EditRole));
    ASSERT_TRUE(settle());
    EXPECT_TRUE(fs::exists(server.root() + "/new.txt"));
    EXPECT_FALSE(fs::exists(server.root() + "/old.txt"));
    ASSERT_TRUE(process_until([&] { return row_of("new.txt") >= 0; }));

    // Permissions go to the dialog hook with the selection (the listing is Unix style).
    std::vector<qxfile_node*> handed;
    pane.properties_hook = [&](pane_widget&, std::vector<qxfile_node*> nodes) { handed = std::move(nodes); };
    select("new.txt");
    pane.run_command(pane_widget::cmd_permissions);
    ASSERT_EQ(handed.size(), 1u);
    EXPECT_EQ(handed.front()->name.str(), "new.txt");

    // Delete with the question answered Yes.
    pane.question_override = [](int, const QString&) { return true; };
    pane.run_command(pane_widget::cmd_delete);
    ASSERT_TRUE(settle());
    EXPECT_FALSE(fs::exists(server.root() + "/new.txt"));

    // The command prompt sends each line.
    pane.run_command(pane_widget::cmd_command);
    auto* prompt = pane.findChild<qx_memo_prompt*>("command_prompt");
    ASSERT_NE(prompt, nullptr);
    EXPECT_TRUE(prompt->memo().toolTip().contains("Shift+Enter")) << "the box says which key sends";
    prompt->memo().setPlainText("MKD typed\nNOOP");
    prompt->ok_button().click();
    ASSERT_TRUE(settle());
    EXPECT_TRUE(fs::is_directory(server.root() + "/typed"));
    EXPECT_TRUE(process_until([&] { return row_of("typed") >= 0; }));

    remote.disconnect(false);
    remote.wait_for_operations();
    QCoreApplication::processEvents();
    pane.model().attach(nullptr);
}

}  // namespace
