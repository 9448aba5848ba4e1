// The pane and queue models under Qt's model checker, fed from other
// threads the way the listers and the queue feed them.
#include <gtest/gtest.h>

#include <QAbstractItemModelTester>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <fstream>
#include <thread>

#include "app/file_list_model.h"
#include "app/ui_queue_manager.h"
#include "browse/qx_ftp_file_lister.h"
#include "browse/qx_local_file_lister.h"
#include "gui_support.h"
#include "settings/global_ftp_settings.h"

namespace {

using Mode = QAbstractItemModelTester::FailureReportingMode;

QString cell(const QAbstractItemModel& model, int row, int column)
{
    return model.data(model.index(row, column), Qt::DisplayRole).toString();
}

// Grouping depends on the locale; the digits do not.
QString digits(QString text)
{
    return text.remove(QRegularExpression("[^0-9]"));
}

TEST(PaneModel, FollowsTheLocalFolderAndAnUnconnectedRemotePane)
{
    gui_application();
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    for (const char* name : {"b.txt", "a.txt"})
        std::ofstream(dir.filePath(name).toStdString()) << "12345";
    ASSERT_TRUE(QDir(dir.path()).mkdir("sub"));

    qvtf::global_ftp_settings settings;
    file_list_model model;
    QAbstractItemModelTester tester(&model, Mode::Fatal);
    qvtf::qx_local_file_lister local(settings, nullptr, &model);
    model.attach(&local);
    ASSERT_EQ(local.change_folder(qvtf::qxval(dir.path().toStdString()), true), 0);
    // The up-row, the folder and the two files.
    ASSERT_TRUE(process_until([&] { return model.rowCount() == 4; }));
    ASSERT_GE(model.columnCount(), 1);
    EXPECT_EQ(model.headerData(0, Qt::Horizontal, Qt::DisplayRole).toString(), "Name");
    QStringList names;
    for (int row = 0; row < model.rowCount(); ++row)
        names << cell(model, row, 0);
    EXPECT_TRUE(names.contains("..") && names.contains("sub") && names.contains("a.txt") && names.contains("b.txt"))
        << names.join(",").toStdString();
    EXPECT_EQ(model.node_at(names.indexOf("..")), nullptr);

    // A file made meanwhile shows after a reload on a worker thread.
    std::ofstream(dir.filePath("c.txt").toStdString()) << "x";
    ASSERT_TRUE(local.reload_async());
    local.wait_for_operations();
    ASSERT_TRUE(process_until([&] { return model.rowCount() == 5; }));
    model.attach(nullptr);

    file_list_model remote_model;
    QAbstractItemModelTester remote_tester(&remote_model, Mode::Fatal);
    qvtf::qx_ftp_file_lister remote(settings, nullptr, &remote_model);
    remote_model.attach(&remote);
    QCoreApplication::processEvents();
    EXPECT_EQ(remote_model.rowCount(), 0);
    remote_model.attach(nullptr);
}

qvtf::ftp_queue_item make_item(const char* name, int64_t size, bool folder)
{
    qvtf::ftp_queue_item item;
    item.is_download = 1;
    item.is_folder = folder ? 1 : 0;
    item.name = qvtf::qxval(name);
    item.local_path = qvtf::qxval(std::string("/tmp/") + name);
    item.remote_path = qvtf::qxval(std::string("/pub/") + name);
    item.size = size;
    return item;
}

// However many changes the queue's threads make between two passes of the
// window thread, it applies them in one pass: one repaint per changed row,
// additions in one block, and nothing for a row removed meanwhile.
TEST(QueueModel, ChangesBetweenTwoPassesAreAppliedOnce)
{
    gui_application();
    ui_queue_manager model(nullptr);
    QAbstractItemModelTester tester(&model, Mode::Fatal);
    qvtf::ftp_queue_item a = make_item("a.bin", 1000, false);
    qvtf::ftp_queue_item b = make_item("b.bin", 1000, false);
    qvtf::ftp_queue_item c = make_item("c.bin", 1000, false);
    std::thread([&] {
        for (qvtf::ftp_queue_item* item : {&a, &b, &c})
            model.add_row(*item);
    }).join();
    ASSERT_TRUE(process_until([&] { return model.rowCount() == 3; }));

    int changed = 0;
    int inserted = 0;
    QObject::connect(&model, &QAbstractItemModel::dataChanged, [&] { ++changed; });
    QObject::connect(&model, &QAbstractItemModel::rowsInserted, [&] { ++inserted; });
    qvtf::ftp_queue_item d = make_item("d.bin", 1000, false);
    qvtf::ftp_queue_item e = make_item("e.bin", 1000, false);
    std::thread([&] {
        for (int i = 1; i <= 999; ++i)
            model.progress(i % 3 == 0 ? a : i % 3 == 1 ? b : c, i, 1);
        model.remove_row(a);
        model.add_row(d);
        model.add_row(e);
    }).join();
    ASSERT_TRUE(process_until([&] { return model.rowCount() == 4; }));
    EXPECT_EQ(changed, 2);
    EXPECT_EQ(inserted, 1);
    EXPECT_EQ(cell(model, 0, 1), "b.bin []");
    EXPECT_EQ(cell(model, 0, 4), "997");
    EXPECT_EQ(cell(model, 1, 4), "998");
    EXPECT_EQ(cell(model, 3, 1), "e.bin []");
}

// A thousand items that end in a burst, from the queue's threads, reach the
// view as a bounded number of passes, each removing its rows in one change
// per run of adjacent rows; the rows that stay keep their order.
TEST(QueueModel, AThousandItemsEndingInABurstAreFewChanges)
{
    gui_application();
    ui_queue_manager model(nullptr);
    QAbstractItemModelTester tester(&model, Mode::Fatal);
    std::vector<qvtf::ftp_queue_item> items;
    items.reserve(1002);
    for (int i = 0; i < 1002; ++i)
        items.push_back(make_item(("f" + std::to_string(i)).c_str(), 4096, false));
    std::thread([&] {
        for (qvtf::ftp_queue_item& item : items)
            model.add_row(item);
    }).join();
    ASSERT_TRUE(process_until([&] { return model.rowCount() == 1002; }));

    int passes = 0;
    int removals = 0;
    QObject::connect(&model, &ui_queue_manager::totals_changed, [&] { ++passes; });
    QObject::connect(&model, &QAbstractItemModel::rowsRemoved, [&] { ++removals; });
    // Rows 1 and 501 stay: the ended ones are three runs.
    std::thread([&] {
        for (int i = 0; i < 1002; ++i) {
            if (i == 1 || i == 501)
                continue;
            model.update_row(items[static_cast<size_t>(i)]);
            model.remove_row(items[static_cast<size_t>(i)]);
        }
    }).join();
    ASSERT_TRUE(process_until([&] { return model.rowCount() == 2; }));
    EXPECT_LE(passes, 2);
    EXPECT_LE(removals, 3 * passes);
    EXPECT_EQ(cell(model, 0, 1), "f1 []");
    EXPECT_EQ(cell(model, 1, 1), "f501 []");
}

TEST(QueueModel, RowsAndProgressFromTheQueueThreads)
{
    gui_application();
    ui_queue_manager model(nullptr);
    QAbstractItemModelTester tester(&model, Mode::Fatal);
    EXPECT_EQ(model.columnCount(), 11);

    qvtf::ftp_queue_item known = make_item("known.bin", 1000, false);
    qvtf::ftp_queue_item unknown = make_item("unknown.bin", -1, false);
    qvtf::ftp_queue_item folder = make_item("tree", 0, true);
    std::thread([&] {
        model.begin_update();
        for (qvtf::ftp_queue_item* item : {&known, &unknown, &folder})
            model.add_row(*item);
        model.end_update();
    }).join();
    ASSERT_TRUE(process_until([&] { return model.rowCount() == 3; }));
    EXPECT_NE(known.view_row, qvtf::no_view_id);
    EXPECT_EQ(cell(model, 0, 1), "known.bin []");
    EXPECT_EQ(cell(model, 0, 2), "0%");
    EXPECT_EQ(cell(model, 0, 7), "/tmp/known.bin");
    EXPECT_EQ(cell(model, 0, 9), "1");
    for (int column : {2, 3, 4, 5, 6})
        EXPECT_EQ(cell(model, 2, column), "") << column;

    // bytes, seconds -> percent, size and transferred columns, icon.
    struct step {
        qvtf::ftp_queue_item* item;
        int row;
        int64_t bytes;
        int32_t seconds;
        const char* percent;
        const char* size;
        const char* done;
        int icon;
    };
    const step steps[] = {
        {&known, 0, 500, 0, "50%", "1,000", "500", 7},
        {&known, 0, 505, 1, "50%", "1,000", "505", 7},       // under 1 %: only the counts change
        {&known, 0, 1500, 3, "100%", "1,000", "1,500", 14},  // more than listed never passes 100 %
        {&unknown, 1, 300, 2, "100%", "300", "300", 14},     // unknown size: the bytes are the size
    };
    for (const step& s : steps) {
        std::thread([&] { model.progress(*s.item, s.bytes, s.seconds); }).join();
        ASSERT_TRUE(process_until([&] { return digits(cell(model, s.row, 4)) == digits(s.done); })) << s.done;
        // The percentage leads (the bar reads it); the item's speed may follow.
        EXPECT_EQ(cell(model, s.row, 2).section(' ', 0, 0), s.percent) << s.bytes;
        EXPECT_EQ(digits(cell(model, s.row, 3)), digits(s.size)) << s.bytes;
        EXPECT_EQ(model.progress_icon(s.row), s.icon) << s.bytes;
    }
    EXPECT_EQ(cell(model, 0, 5), "00:00:03");

    model.set_selected_rows({0, 2});
    EXPECT_EQ(model.selected_items(), (std::vector<qvtf::ftp_queue_item*>{&known, &folder}));
    known.tries = 2;
    std::thread([&] {
        model.update_row(known);
        model.remove_row(unknown);
    }).join();
    ASSERT_TRUE(process_until([&] { return model.rowCount() == 2; }));
    EXPECT_EQ(unknown.view_row, qvtf::no_view_id);
    EXPECT_EQ(cell(model, 0, 9), "2");
    EXPECT_EQ(cell(model, 0, 2), "0%");
    EXPECT_EQ(cell(model, 1, 1), "tree []");

    model.shut_down();
    model.remove_row(known);
    QCoreApplication::processEvents();
    EXPECT_EQ(model.rowCount(), 2);
}

}  // namespace
