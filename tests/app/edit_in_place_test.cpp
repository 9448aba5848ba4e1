// Editing remote files in place against a real server: View/Edit downloads
// the file, starts the editor the settings name (a script that appends a
// line and exits), and the saved file goes back through the queue; a
// second View/Edit shares the copy. Then what goes wrong: a file gone from
// the server opens no editor, an editor that does not start is named, an
// upload that fails shows why, keeps the window from closing unasked and
// goes up once retried.
#include <gtest/gtest.h>

#include <QAction>
#include <QPushButton>
#include <QTableView>
#include <QTableWidget>
#include <filesystem>
#include <fstream>

#include "app/app_session.h"
#include "app/edit_in_place.h"
#include "app/edit_list_dialog.h"
#include "app/file_list_model.h"
#include "app/main_window.h"
#include "app/pane_view.h"
#include "app/pane_widget.h"
#include "app/queue_finished_model.h"
#include "app/queue_widget.h"
#include "browse/qx_ftp_file_lister.h"
#include "gui_support.h"
#include "queue/ftp_queue_process_manager.h"
#include "support/ftp_servers.h"
#include "support/process.h"
#include "support/test_site.h"

namespace {

namespace fs = std::filesystem;
using qvtf::edit_state;

int row_named(const qvtf::qx_file_lister& lister, const std::string& name)
{
    for (int32_t row = 0; row < lister.row_count(); ++row)
        if (qvtf::qxfile_node* n = lister.row_node(row); n && n->name.view() == name)
            return row;
    return -1;
}

// Selects the remote row and presses F4's command.
void view_edit(app_session& session, const std::string& name)
{
    qvtf::qx_ftp_file_lister& remote = session.remote();
    file_list_model& model = session.window().remote_model();
    ASSERT_TRUE(
        process_until([&] { return row_named(remote, name) >= 0 && model.rowCount() == remote.row_count(); }, 20000))
        << name << " lister rows " << remote.row_count() << " model rows " << model.rowCount() << " at "
        << remote.current_path().str() << " found " << row_named(remote, name);
    QTableView& list = session.window().remote_list();
    list.selectionModel()->clearSelection();
    list.selectRow(row_named(remote, name));
    session.window().remote_pane().action(pane_widget::cmd_view_edit)->trigger();
}

const qvtf::edit_entry* entry_of(app_session& session, const std::string& remote_path)
{
    for (const auto& [id, e] : session.window().edits().registry().entries())
        if (e.remote_path == remote_path)
            return &e;
    return nullptr;
}

TEST(EditInPlace, EditedFileGoesBackAndFailuresShow)
{
    gui_application();
    if (!qvtf::test::pyftpdlib_available())
        GTEST_SKIP() << "pyftpdlib not installed";
    qvtf::test::pyftpdlib_server server;
    ASSERT_TRUE(server.ok()) << server.log();
    const std::string root = server.root();
    fs::create_directories(root + "/sub");
    std::ofstream(root + "/page.html") << "<p>hi</p>\n";
    std::ofstream(root + "/gone.txt") << "soon gone";
    std::ofstream(root + "/sub/style.css") << "p {}\n";
    qvtf::test::temp_folder home("qvtf-edit-home");
    qvtf::test::temp_folder tools("qvtf-edit-tools");
    ASSERT_TRUE(tools.write("editor.sh", "echo edited >> \"$1\"\n"));
    ASSERT_TRUE(tools.write("opened.sh", "echo \"$1\" > \"$(dirname \"$0\")/opened\"\n"));

    std::string session_folder;
    {
        app_session session;
        session_options options;
        options.home = home.path();
        options.first_activation = false;
        ASSERT_TRUE(session.start(options)) << session.error().toStdString();
        QStringList told, asked;
        session.window().tell = [&](const QString&, const QString& text, bool) { told << text; };
        session.window().ask = [&](const QString&, const QString& text) { return asked << text, true; };
        session.window().show();
        session.settings().edit_command = "/bin/sh " + tools.file("editor.sh");
        session.settings().edit_upload_at_once = true;
        auto site = qvtf::test::loopback_site(server.port(), server.user(), server.password());
        session.queue().set_profile(site.get());
        edit_in_place& edits = session.window().edits();

        // Saved by the editor, sent at once; View/Edit again shares the copy.
        view_edit(session, "page.html");
        ASSERT_TRUE(process_until([&] { return file_text(root + "/page.html") == "<p>hi</p>\nedited\n"; }, 30000))
            << file_text(root + "/page.html") << told.join("|").toStdString();
        ASSERT_TRUE(
            process_until([&] { return entry_of(session, "/page.html")->state == edit_state::uploaded; }, 10000));
        const std::string copy = entry_of(session, "/page.html")->local_path;
        view_edit(session, "page.html");
        ASSERT_TRUE(
            process_until([&] { return file_text(root + "/page.html") == "<p>hi</p>\nedited\nedited\n"; }, 30000));
        EXPECT_EQ(edits.registry().entries().size(), 1u);
        EXPECT_EQ(entry_of(session, "/page.html")->local_path, copy);
        EXPECT_TRUE(asked.isEmpty()) << asked.join("|").toStdString();
        EXPECT_TRUE(told.isEmpty()) << told.join("|").toStdString();

        // A double-click opens it when the settings say so; saved while the
        // pane shows another server, it still goes to its own, after asking.
        session.settings().remote_double_click = 1;
        session.settings().edit_command = "/bin/sh " + tools.file("opened.sh");
        session.window().remote_pane().open_row(row_named(session.remote(), "page.html"));
        ASSERT_TRUE(process_until([&] { return file_text(tools.file("opened")) == copy + "\n"; }, 10000));
        qvtf::test::pyftpdlib_server other;
        ASSERT_TRUE(other.ok()) << other.log();
        std::ofstream(other.root() + "/elsewhere.txt") << "x";
        auto other_site = qvtf::test::loopback_site(other.port(), other.user(), other.password());
        session.queue().set_profile(other_site.get());
        ASSERT_TRUE(process_until([&] { return row_named(session.remote(), "elsewhere.txt") >= 0; }, 20000));
        std::ofstream(copy, std::ios::app) << "by hand\n";
        ASSERT_TRUE(process_until(
            [&] { return file_text(root + "/page.html") == "<p>hi</p>\nedited\nedited\nby hand\n"; }, 30000));
        ASSERT_EQ(asked.size(), 1);
        EXPECT_TRUE(asked[0].contains("belongs to")) << asked[0].toStdString();
        EXPECT_FALSE(fs::exists(other.root() + "/page.html"));
        asked.clear();
        ASSERT_TRUE(process_until([&] { return row_named(session.remote(), "sub") >= 0; }, 20000));

        // Gone from the server since it was listed: a message, no copy, no editor.
        fs::remove(root + "/gone.txt");
        view_edit(session, "gone.txt");
        ASSERT_TRUE(process_until([&] { return !told.isEmpty(); }, 30000));
        EXPECT_TRUE(told.last().contains("/gone.txt")) << told.last().toStdString();
        EXPECT_EQ(entry_of(session, "/gone.txt"), nullptr);

        // An editor that cannot start is named in its message.
        session.settings().edit_command = "/nonexistent/editor --wait";
        told.clear();
        view_edit(session, "page.html");
        ASSERT_EQ(told.size(), 1);
        EXPECT_TRUE(told[0].contains("/nonexistent/editor --wait")) << told[0].toStdString();

        // Asked this time; the folder is gone when the answer comes, so the
        // upload fails and says why. Closing asks; cancel keeps the window.
        session.settings().edit_command = "/bin/sh " + tools.file("editor.sh");
        session.settings().edit_upload_at_once = false;
        session.remote().run_async([&] { return session.remote().change_folder(qvtf::qxval("/sub"), true); });
        session.window().ask = [&](const QString&, const QString& text) {
            asked << text;
            fs::remove_all(root + "/sub");
            return true;
        };
        view_edit(session, "style.css");
        ASSERT_TRUE(process_until(
            [&] {
                const qvtf::edit_entry* e = entry_of(session, "/sub/style.css");
                return e && e->state == edit_state::failed;
            },
            30000));
        ASSERT_EQ(asked.size(), 1);
        EXPECT_TRUE(asked[0].contains("style.css")) << asked[0].toStdString();
        EXPECT_FALSE(entry_of(session, "/sub/style.css")->reason.empty());
        edits.show_list();
        QTableWidget& table = edits.list()->table();
        ASSERT_EQ(table.rowCount(), 2);
        EXPECT_TRUE(table.item(1, 2)->text().startsWith("failed")) << table.item(1, 2)->text().toStdString();
        int close_asked = 0;
        edits.close_choice = [&](const QString& text) {
            ++close_asked;
            EXPECT_TRUE(text.contains("/sub/style.css")) << text.toStdString();
            return edit_in_place::close_cancel;
        };
        session.window().close();
        EXPECT_EQ(close_asked, 1);
        EXPECT_TRUE(session.window().isVisible());

        // Retried from the list once the folder is back.
        fs::create_directories(root + "/sub");
        table.selectRow(1);
        edits.list()->findChild<QPushButton*>("bUploadNow")->click();
        ASSERT_TRUE(process_until([&] { return file_text(root + "/sub/style.css") == "p {}\nedited\n"; }, 30000));
        ASSERT_TRUE(process_until([&] { return !edits.registry().has_unsaved(); }, 10000));
        session_folder = edits.registry().folder();
        ASSERT_TRUE(fs::exists(session_folder));
        session.window().close();
        ASSERT_TRUE(process_until([&] { return !session.window().isVisible(); }, 20000));
        session.stop();
        EXPECT_EQ(close_asked, 1);
    }
    // Nothing left unsaved: the private folder went with the window.
    EXPECT_FALSE(fs::exists(session_folder));
}

}  // namespace
