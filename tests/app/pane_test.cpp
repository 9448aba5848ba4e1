// The browser pane widget over real listers: its two models under Qt's
// model checker, rows with the up-row, the folder tree following the
// current folder, column clicks and invert, the header's column menu, the
// busy message of a second operation, the name editor, delete and new
// folder commands, and the picture of a listed pane.
#include <gtest/gtest.h>

#include <QAbstractItemModelTester>
#include <QAction>
#include <QCompleter>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QHeaderView>
#include <QItemSelectionModel>
#include <QLabel>
#include <QLineEdit>
#include <QMimeData>
#include <QPushButton>
#include <QSplitter>
#include <QTest>
#include <QTreeView>
#include <filesystem>
#include <fstream>
#include <thread>

#include "app/folder_tree_model.h"
#include "app/node_mime.h"
#include "app/pane_path_field.h"
#include "app/pane_platform.h"
#include "app/pane_view.h"
#include "app/pane_widget.h"
#include "app/prompts.h"
#include "browse/qx_local_file_lister.h"
#include "gui_support.h"
#include "settings/global_ftp_settings.h"
#include "support/process.h"
#include "support/test_phrases.h"

namespace {

namespace fs = std::filesystem;
using Mode = QAbstractItemModelTester::FailureReportingMode;
using qvtf::test::temp_folder;
using qvtf::test::test_phrases;

QStringList names_of(const file_list_model& model)
{
    QStringList names;
    const int column = model.column_of(qvtf::column_name);
    for (int row = 0; row < model.rowCount(); ++row)
        names << model.data(model.index(row, column), Qt::DisplayRole).toString();
    return names;
}

// A local pane on a folder of its own, with both models checked throughout.
struct gui_first {
    gui_first() { gui_application(); }
};

struct local_pane_fixture : gui_first {
    temp_folder folder{"qvtf-pane"};
    qvtf::global_ftp_settings settings;
    pane_widget pane{false, &test_phrases()};
    QAbstractItemModelTester list_tester{&pane.model(), Mode::Fatal};
    QAbstractItemModelTester tree_tester{&pane.folders_model(), Mode::Fatal};
    std::unique_ptr<qvtf::qx_local_file_lister> lister;

    local_pane_fixture()
    {
        settings.delete_confirm_prompt = true;
        fs::create_directories(folder.file("sub/inner"));
        folder.write("big.txt", std::string(3000, 'x'));
        folder.write("a.htm", "<p>");
        folder.write("c.dat", std::string(20, 'y'));
        lister = std::make_unique<qvtf::qx_local_file_lister>(settings, &test_phrases(), &pane.model());
        pane.model().attach(lister.get());
        pane.set_settings(&settings);
        pane.quiet = true;
        pane.resize(700, 400);
    }
    ~local_pane_fixture()
    {
        lister->wait_for_operations();
        QCoreApplication::processEvents();
        pane.model().attach(nullptr);
    }
    bool show(const std::string& path)
    {
        if (lister->change_folder(qvtf::qxval(path), true) != 0)
            return false;
        return settle();
    }
    bool settle()
    {
        lister->wait_for_operations();
        return process_until([&] {
            QCoreApplication::processEvents();
            return pane.model().rowCount() == lister->row_count();
        });
    }
};

TEST(PaneWidget, RowsTreeAndColumns)
{
    local_pane_fixture f;
    ASSERT_TRUE(f.show(f.folder.path()));
    // The up-row, the folder, then the files; the status counts entries without the up-row.
    QStringList names = names_of(f.pane.model());
    ASSERT_EQ(names.size(), 5) << names.join(",").toStdString();
    EXPECT_EQ(names.front(), "..");
    EXPECT_EQ(names.at(1), "sub");
    EXPECT_EQ(f.pane.model().node_at(0), nullptr);
    EXPECT_TRUE(f.pane.action(pane_widget::cmd_up)->isEnabled());
    ASSERT_TRUE(process_until([&] { return f.pane.status_label().text().startsWith("[142]4[144]"); }))
        << f.pane.status_label().text().toStdString();

    // The folder tree reveals the current folder, with the listed subfolder below it.
    const QModelIndex current = f.pane.folders_model().index_of(QString::fromStdString(f.folder.path()));
    ASSERT_TRUE(current.isValid());
    EXPECT_EQ(f.pane.folder_view().currentIndex(), current);
    ASSERT_EQ(f.pane.folders_model().rowCount(current), 1);
    const QModelIndex sub = f.pane.folders_model().index(0, 0, current);
    EXPECT_EQ(f.pane.folders_model().path_of(sub), QString::fromStdString(f.folder.file("sub")));

    // A click on the tree item enters it; the tree keeps its items and gains "inner".
    emit f.pane.folder_view().clicked(sub);
    ASSERT_TRUE(process_until([&] { return f.lister->current_path().str() == f.folder.file("sub"); }));
    ASSERT_TRUE(f.settle());
    EXPECT_EQ(names_of(f.pane.model()), QStringList({"..", "inner"}));
    EXPECT_EQ(
        f.pane.folders_model().rowCount(f.pane.folders_model().index_of(QString::fromStdString(f.folder.file("sub")))),
        1);
    // Backspace's command goes back up.
    f.pane.run_command(pane_widget::cmd_up);
    ASSERT_TRUE(process_until([&] { return f.lister->current_path().str() == f.folder.path(); }));
    ASSERT_TRUE(f.settle());

    // Column clicks: Size sorts, a second click inverts (the files come
    // before the folder), Name sorts again, not inverted.
    QHeaderView* header = f.pane.list_view().horizontalHeader();
    const int size_column = f.pane.model().column_of(qvtf::column_size);
    ASSERT_GE(size_column, 0);
    struct step {
        int kind;
        QStringList rows;
        Qt::SortOrder order;
    };
    const step steps[] = {
        {qvtf::column_size, {"..", "sub", "a.htm", "c.dat", "big.txt"}, Qt::AscendingOrder},
        {qvtf::column_size, {"..", "big.txt", "c.dat", "a.htm", "sub"}, Qt::DescendingOrder},
        {qvtf::column_name, {"..", "sub", "a.htm", "big.txt", "c.dat"}, Qt::AscendingOrder},
    };
    for (const step& s : steps) {
        const int column = f.pane.model().column_of(s.kind);
        emit header->sectionClicked(column);
        ASSERT_TRUE(process_until([&] {
            f.lister->wait_for_operations();
            return names_of(f.pane.model()) == s.rows;
        })) << names_of(f.pane.model()).join(",").toStdString();
        ASSERT_TRUE(process_until([&] {
            return header->isSortIndicatorShown() && header->sortIndicatorSection() == column &&
                   header->sortIndicatorOrder() == s.order;
        }));
    }

    // Widths go back to the lister; hiding a column through the model's
    // columns drops it from the table.
    header->resizeSection(size_column, 123);
    bool found = false;
    for (const qvtf::lister_column& c : f.lister->columns())
        if (c.kind == qvtf::column_size) {
            found = true;
            EXPECT_EQ(c.width, 123);
        }
    EXPECT_TRUE(found);
    const int columns = f.pane.model().columnCount();
    f.lister->set_column_visible(qvtf::column_type, false);
    f.pane.model().reload();
    EXPECT_EQ(f.pane.model().columnCount(), columns - 1);
    EXPECT_EQ(f.pane.model().column_of(qvtf::column_type), -1);
    EXPECT_EQ(header->sectionSize(f.pane.model().column_of(qvtf::column_size)), 123);

    // Dragging a header section reorders the lister's columns; the model follows.
    const int first = f.pane.model().kind_at(0);
    const int second = f.pane.model().kind_at(1);
    header->moveSection(0, 1);
    ASSERT_TRUE(process_until([&] { return f.pane.model().kind_at(0) == second; }));
    EXPECT_EQ(f.pane.model().kind_at(1), first);
    EXPECT_EQ(f.lister->column_at(0), second);
    EXPECT_EQ(header->visualIndex(0), 0);
}

TEST(PaneWidget, ClipboardCopyCutAndPaste)
{
    local_pane_fixture f;
    ASSERT_TRUE(f.show(f.folder.path()));
    auto select = [&](const QStringList& names) {
        f.pane.list_view().clearSelection();
        const QStringList rows = names_of(f.pane.model());
        for (const QString& name : names)
            f.pane.list_view().selectionModel()->select(f.pane.model().index(int(rows.indexOf(name)), 0),
                                                        QItemSelectionModel::Select | QItemSelectionModel::Rows);
    };
    struct step {
        QStringList names;
        bool cut;
        std::vector<std::string> in_sub, left_behind;
    };
    const step steps[] = {
        {{"a.htm", "c.dat"}, false, {"sub/a.htm", "sub/c.dat"}, {"a.htm", "c.dat"}},
        {{"big.txt"}, true, {"sub/big.txt"}, {}},
    };
    for (const step& s : steps) {
        ASSERT_TRUE(f.show(f.folder.path()));
        select(s.names);
        f.pane.run_command(s.cut ? pane_widget::cmd_cut : pane_widget::cmd_copy);
        ASSERT_TRUE(f.show(f.folder.file("sub")));
        f.pane.run_command(pane_widget::cmd_paste);
        f.lister->wait_for_operations();
        for (const std::string& name : s.in_sub)
            EXPECT_TRUE(fs::exists(f.folder.file(name))) << name;
        for (const std::string& name : s.left_behind)
            EXPECT_TRUE(fs::exists(f.folder.file(name))) << name;
        if (s.cut) {
            EXPECT_FALSE(fs::exists(f.folder.file("big.txt")));
        }
    }
    // Pasting what is already there refuses and keeps the old copy.
    ASSERT_TRUE(f.show(f.folder.path()));
    select({"a.htm"});
    f.pane.run_command(pane_widget::cmd_copy);
    f.folder.write("sub/a.htm", "older");
    ASSERT_TRUE(f.show(f.folder.file("sub")));
    const int messages = f.pane.message_count();
    f.pane.run_command(pane_widget::cmd_paste);
    f.lister->wait_for_operations();
    EXPECT_TRUE(process_until([&] { return f.pane.message_count() > messages; }));
    std::ifstream in(f.folder.file("sub/a.htm"));
    EXPECT_EQ(std::string(std::istreambuf_iterator<char>(in), {}), "older");
}

TEST(PaneWidget, SecondOperationWhileOneRunsGetsTheBusyMessage)
{
    local_pane_fixture f;
    ASSERT_TRUE(f.show(f.folder.path()));
    const int before = f.pane.message_count();
    std::atomic<bool> held{false}, release{false};
    std::thread holder([&] {
        f.lister->acquire();
        held = true;
        while (!release)
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        f.lister->finish(0);
    });
    while (!held)
        std::this_thread::yield();
    f.folder.write("new.txt", "n");
    f.pane.run_command(pane_widget::cmd_reload);
    f.lister->wait_for_operations();
    ASSERT_TRUE(process_until([&] { return f.pane.message_count() > before; }));
    EXPECT_EQ(f.pane.last_message(), "[159]");
    QCoreApplication::processEvents();
    EXPECT_FALSE(names_of(f.pane.model()).contains("new.txt"));
    release = true;
    holder.join();
}

TEST(PaneWidget, RenameDeleteAndNewFolderCommands)
{
    local_pane_fixture f;
    ASSERT_TRUE(f.show(f.folder.path()));
    auto row_of = [&](const QString& name) { return names_of(f.pane.model()).indexOf(name); };
    auto select = [&](const QString& name) {
        const int row = row_of(name);
        f.pane.list_view().selectionModel()->select(f.pane.model().index(row, 0),
                                                    QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
        f.pane.list_view().setCurrentIndex(f.pane.model().index(row, 0));
    };

    // The name editor's result renames the file on disk.
    select("c.dat");
    const int name_column = f.pane.model().column_of(qvtf::column_name);
    EXPECT_TRUE(f.pane.model().flags(f.pane.model().index(row_of("c.dat"), name_column)) & Qt::ItemIsEditable);
    EXPECT_FALSE(f.pane.model().flags(f.pane.model().index(0, name_column)) & Qt::ItemIsEditable);
    ASSERT_TRUE(
        f.pane.model().setData(f.pane.model().index(row_of("c.dat"), name_column), QString("d.dat"), Qt::EditRole));
    ASSERT_TRUE(process_until([&] { return fs::exists(f.folder.file("d.dat")); }));
    ASSERT_TRUE(f.settle());
    EXPECT_TRUE(process_until([&] { return row_of("d.dat") > 0 && row_of("c.dat") < 0; }));

    // Delete asks first; No keeps the file, Yes removes it.
    QString asked;
    for (const bool answer : {false, true}) {
        ASSERT_TRUE(f.settle());
        select("a.htm");
        f.pane.question_override = [&](int caption, const QString& text) {
            asked = QString("%1:%2").arg(caption).arg(text);
            return answer;
        };
        f.pane.run_command(pane_widget::cmd_delete);
        f.lister->wait_for_operations();
        EXPECT_EQ(asked, "35:[36]a.htm");
        EXPECT_EQ(fs::exists(f.folder.file("a.htm")), !answer);
    }
    // A folder's question says that its contents go with it.
    ASSERT_TRUE(f.settle());
    select("sub");
    f.pane.question_override = [&](int caption, const QString& text) {
        asked = QString("%1:%2").arg(caption).arg(text);
        return false;
    };
    f.pane.run_command(pane_widget::cmd_delete);
    EXPECT_EQ(asked, "35:Delete this folder and everything in it? sub");
    EXPECT_TRUE(fs::is_directory(f.folder.file("sub")));

    // New folder: the prompt names the current folder; its OK makes the
    // folder, which the pane's watcher then shows.
    f.lister->start_watching();
    f.pane.run_command(pane_widget::cmd_new_folder);
    qx_edit_prompt& prompt = f.pane.folder_prompt();
    ASSERT_TRUE(prompt.isVisible());
    EXPECT_EQ(prompt.label().text(), QString::fromStdString("[140]" + f.folder.path()));
    EXPECT_EQ(prompt.windowTitle(), "[97]");
    prompt.edit().setText("made");
    prompt.ok_button().click();
    f.lister->wait_for_operations();
    EXPECT_TRUE(fs::is_directory(f.folder.file("made")));
    ASSERT_TRUE(f.settle());
    EXPECT_TRUE(process_until([&] { return row_of("made") > 0; }, 8000));
    f.lister->stop_watching();

    // A drag of a row dropped on the "sub" row moves the file into it.
    ASSERT_TRUE(f.settle());
    select("d.dat");
    std::unique_ptr<QMimeData> drag(f.pane.model().mimeData({f.pane.model().index(row_of("d.dat"), 0)}));
    const node_mime_data* payload = node_mime_data::from(drag.get());
    ASSERT_NE(payload, nullptr);
    EXPECT_FALSE(payload->from_remote());
    EXPECT_EQ(payload->source(), f.lister.get());
    ASSERT_EQ(payload->nodes().size(), 1u);
    QWidget* viewport = f.pane.list_view().viewport();
    const QPoint on_sub = f.pane.list_view().visualRect(f.pane.model().index(row_of("sub"), 0)).center();
    QDragEnterEvent enter(on_sub, Qt::CopyAction, drag.get(), Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(viewport, &enter);
    EXPECT_TRUE(enter.isAccepted());
    QDropEvent drop(on_sub, Qt::CopyAction, drag.get(), Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(viewport, &drop);
    f.lister->wait_for_operations();
    EXPECT_TRUE(fs::exists(f.folder.file("sub/d.dat")));
    EXPECT_FALSE(fs::exists(f.folder.file("d.dat")));

    // Select all, then invert: nothing is left selected.
    f.pane.run_command(pane_widget::cmd_select_all);
    EXPECT_EQ(f.pane.list_view().selectionModel()->selectedRows().size(), f.pane.model().rowCount());
    f.pane.run_command(pane_widget::cmd_invert_selection);
    EXPECT_TRUE(f.pane.list_view().selectionModel()->selectedRows().isEmpty());
}

// What a new user met in the panes: Home and End, names with numbers and
// an unsorted folder tree, no path to type and no folder in the header, a
// selection lost on refresh and rename, a tree stuck at 150 px, sizes
// without separators and an empty Type column.
TEST(PaneWidget, KeysOrderPathSelectionAndLayout)
{
    local_pane_fixture f;
    for (const char* name : {"n1", "n10", "n2", "n3", "N20"})
        fs::create_directories(f.folder.file(name));
    // Entering n2 lists its parent on the way without making it current.
    ASSERT_TRUE(f.show(f.folder.file("n2")));
    const QString top = QString::fromStdString(f.folder.path());
    folder_tree_model& tree = f.pane.folders_model();
    auto subfolders = [&] {
        QStringList out;
        const QModelIndex at = tree.index_of(top);
        for (int row = 0; row < tree.rowCount(at); ++row)
            out << tree.data(tree.index(row, 0, at), Qt::DisplayRole).toString();
        return out;
    };
    EXPECT_EQ(subfolders(), QStringList({"n1", "n2", "n3", "n10", "N20", "sub"}));
    EXPECT_EQ(f.pane.title_label().text(), QString::fromStdString(f.folder.file("n2")));
    EXPECT_EQ(f.pane.path_field().text(), QString::fromStdString(f.folder.file("n2")));

    // A typed folder is entered; the completer offers the folders listed.
    f.pane.path_field().setText(top);
    emit f.pane.path_field().returnPressed();
    ASSERT_TRUE(process_until([&] { return f.lister->current_path().str() == f.folder.path(); }));
    ASSERT_TRUE(f.settle());
    EXPECT_EQ(names_of(f.pane.model()).mid(0, 7), QStringList({"..", "n1", "n2", "n3", "n10", "N20", "sub"}));
    QCompleter* completer = f.pane.path_field().completer();
    ASSERT_NE(completer, nullptr);
    completer->setCompletionPrefix(top + "/n1");
    QStringList offered;
    for (int i = 0; completer->setCurrentRow(i); ++i)
        offered << completer->currentCompletion();
    EXPECT_EQ(offered, QStringList({top + "/n1", top + "/n10"}));

    // Home and End go to the first and last rows.
    QTableView& list = f.pane.list_view();
    list.setFocus();
    list.setCurrentIndex(f.pane.model().index(3, 0));
    QTest::keyClick(&list, Qt::Key_End);
    EXPECT_EQ(list.currentIndex().row(), f.pane.model().rowCount() - 1);
    QTest::keyClick(&list, Qt::Key_Home);
    EXPECT_EQ(list.currentIndex().row(), 0);

    // Refresh and rename keep the selected entry selected, by name.
    auto selected = [&] {
        QStringList out;
        for (const QModelIndex& index : list.selectionModel()->selectedRows())
            out << names_of(f.pane.model()).value(index.row());
        return out;
    };
    const int c_row = names_of(f.pane.model()).indexOf("c.dat");
    list.selectionModel()->setCurrentIndex(f.pane.model().index(c_row, 0),
                                           QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
    fs::create_directories(f.folder.file("n0"));  // the rows shift on the refresh
    f.pane.run_command(pane_widget::cmd_reload);
    ASSERT_TRUE(f.settle());
    ASSERT_TRUE(process_until([&] { return names_of(f.pane.model()).contains("n0"); }));
    EXPECT_TRUE(process_until([&] { return selected() == QStringList({"c.dat"}); }))
        << selected().join(",").toStdString();
    const int name_column = f.pane.model().column_of(qvtf::column_name);
    ASSERT_TRUE(f.pane.model().setData(f.pane.model().index(names_of(f.pane.model()).indexOf("c.dat"), name_column),
                                       QString("a0.dat"), Qt::EditRole));
    ASSERT_TRUE(process_until([&] { return fs::exists(f.folder.file("a0.dat")); }));
    ASSERT_TRUE(f.settle());
    EXPECT_TRUE(process_until([&] { return selected() == QStringList({"a0.dat"}); }))
        << selected().join(",").toStdString();

    // Sizes are grouped with the exact count in the tooltip; the Type column names local files.
    const int big = names_of(f.pane.model()).indexOf("big.txt");
    const QModelIndex size = f.pane.model().index(big, f.pane.model().column_of(qvtf::column_size));
    EXPECT_EQ(f.pane.model().data(size, Qt::DisplayRole).toString(), "3,000");
    EXPECT_TRUE(f.pane.model().data(size, Qt::ToolTipRole).toString().startsWith("3000"));
    const int type_column = f.pane.model().column_of(qvtf::column_type);
    ASSERT_GE(type_column, 0);
    auto type_of = [&](const char* name) {
        return f.pane.model()
            .data(f.pane.model().index(names_of(f.pane.model()).indexOf(name), type_column), Qt::DisplayRole)
            .toString();
    };
    EXPECT_TRUE(type_of("a.htm").startsWith("HTM")) << type_of("a.htm").toStdString();
    EXPECT_EQ(type_of("sub"), "[22]");

    // The folder tree takes a share of a wide pane; a width the user set is kept.
    f.pane.resize(1200, 400);
    f.pane.show();
    ASSERT_TRUE(process_until([&] { return f.pane.splitter().sizes().value(0) > 250; }))
        << f.pane.splitter().sizes().value(0);
    f.lister->folder_pane_width = 222;
    f.pane.model().attach(f.lister.get());
    EXPECT_EQ(f.pane.splitter().sizes().value(0), 222);
    f.pane.hide();

    // The remote pane's header names the folder inside the connection.
    pane_widget remote(true, &test_phrases());
    emit remote.model().title_text("[7]127.0.0.1");
    emit remote.model().folders_changed("/pub/www");
    EXPECT_EQ(remote.title_label().text(), QString::fromUtf8("[7]127.0.0.1 \u2014 /pub/www"));
    EXPECT_EQ(remote.path_field().text(), "/pub/www");
    emit remote.model().title_text("[196]");
    EXPECT_EQ(remote.title_label().text(), "[196]");
}

TEST(PaneWidget, LocalDeleteGoesToTheTrashWhenAsked)
{
    gui_application();
    temp_folder home("qvtf-pane-trash");
    const QByteArray old_data_home = qgetenv("XDG_DATA_HOME");
    qputenv("XDG_DATA_HOME", QByteArray::fromStdString(home.file("share")));
    fs::create_directories(home.file("share"));
    fs::create_directories(home.file("files"));
    home.write("files/kept.txt", "k");
    home.write("files/gone.txt", "g");
    pane_platform platform;
    EXPECT_EQ(platform.remove({home.file("files/kept.txt")}, true), -1);
    EXPECT_FALSE(fs::exists(home.file("files/kept.txt")));
    EXPECT_TRUE(fs::exists(home.file("share/Trash/files/kept.txt")));
    EXPECT_EQ(platform.remove({home.file("files/gone.txt")}, false), -1);
    EXPECT_FALSE(fs::exists(home.file("files/gone.txt")));
    EXPECT_FALSE(fs::exists(home.file("share/Trash/files/gone.txt")));
    // What the trash cannot take stays where it is and is reported.
    EXPECT_EQ(platform.remove({home.file("files/missing.txt")}, true), 0);
    qputenv("XDG_DATA_HOME", old_data_home);
}

TEST(PaneWidget, PictureOfAListedPane)
{
    local_pane_fixture f;
    for (const char* name : {"index.html", "style.css", "photo.png", "notes.txt", "run.sh"})
        f.folder.write(name, "content");
    ASSERT_TRUE(f.show(f.folder.path()));
    f.pane.show();
    ASSERT_TRUE(process_until([&] { return f.pane.isVisible(); }));
    QCoreApplication::processEvents();
    const QString file = "/tmp/qvtf-pane-local.png";
    ASSERT_TRUE(f.pane.grab().save(file));
    EXPECT_GT(QImage(file).width(), 100);
}

}  // namespace
