// The main window: the docking rule, zones that collapse and come back, the
// log's line limit and colours, the toolbar bands' record, and the queue
// panel's own commands and pictures.
#include <gtest/gtest.h>

#include <QAction>
#include <QDockWidget>
#include <QHeaderView>
#include <QImage>
#include <QKeyEvent>
#include <QLabel>
#include <QTableView>
#include <QTextBlock>
#include <QToolBar>
#include <thread>

#include "app/icons.h"
#include "app/log_view.h"
#include "app/main_window.h"
#include "app/queue_widget.h"
#include "app/ui_queue_manager.h"
#include "gui_support.h"
#include "queue/ftp_queue_process_manager.h"
#include "settings/global_ftp_settings.h"

namespace {

std::unique_ptr<qvtf::qxarr> lines_of(std::initializer_list<const char*> texts)
{
    auto lines = std::make_unique<qvtf::qxarr>();
    for (const char* text : texts)
        lines->push_copy(qvtf::qxval(text));
    return lines;
}

TEST(MainWindow, PanelsDockOnlyAboveOrBelowThePanes)
{
    gui_application();
    TqorxVTF window(nullptr);
    window.resize(900, 600);
    window.show();
    struct case_ {
        QDockWidget* panel;
        TqorxVTF::zone zone;
        Qt::DockWidgetArea area;
        bool docks;
    };
    for (const case_& c : {case_{&window.queue_panel(), TqorxVTF::middle_zone, Qt::NoDockWidgetArea, false},
                           case_{&window.log_panel(), TqorxVTF::middle_zone, Qt::NoDockWidgetArea, false},
                           case_{&window.queue_panel(), TqorxVTF::top_zone, Qt::TopDockWidgetArea, true},
                           case_{&window.log_panel(), TqorxVTF::bottom_zone, Qt::BottomDockWidgetArea, true},
                           case_{&window.log_panel(), TqorxVTF::top_zone, Qt::TopDockWidgetArea, true}}) {
        const Qt::DockWidgetArea before = window.dockWidgetArea(c.panel);
        EXPECT_EQ(window.dock_panel(c.panel, c.zone), c.docks) << c.panel->objectName().toStdString();
        EXPECT_EQ(window.dockWidgetArea(c.panel), c.docks ? c.area : before);
    }
    // Dragging is held to the same rule.
    EXPECT_FALSE(window.dock_panel(&window.queue_panel(), Qt::LeftDockWidgetArea));
    EXPECT_FALSE(window.queue_panel().isAreaAllowed(Qt::RightDockWidgetArea));
    // The queue now sits beside the log in the top zone.
    EXPECT_EQ(window.dockWidgetArea(&window.queue_panel()), Qt::TopDockWidgetArea);
    EXPECT_EQ(window.dockWidgetArea(&window.log_panel()), Qt::TopDockWidgetArea);
    // The browser panes are the middle zone itself, not panels that could move.
    EXPECT_EQ(window.findChildren<QDockWidget*>().size(), 2);
}

TEST(MainWindow, HiddenZoneCollapsesAndComesBackAtItsHeight)
{
    gui_application();
    TqorxVTF window(nullptr);
    window.resize(900, 900);
    window.show();
    QDockWidget& queue = window.queue_panel();
    window.resizeDocks({&queue}, {190}, Qt::Vertical);
    ASSERT_TRUE(process_until([&] { return std::abs(queue.height() - 190) <= 4; }))
        << queue.height() << " " << window.height() << " " << window.centralWidget()->minimumSizeHint().height();
    const int before = queue.height();

    QAction* toggle = window.command("miQueueView");
    ASSERT_NE(toggle, nullptr);
    toggle->trigger();
    QCoreApplication::processEvents();
    EXPECT_TRUE(queue.isHidden());
    EXPECT_FALSE(toggle->isChecked());
    EXPECT_EQ(window.remembered_height(TqorxVTF::bottom_zone), before);
    // The zone is gone: the middle reaches down to the bottom.
    ASSERT_TRUE(process_until([&] { return window.centralWidget()->geometry().bottom() > 800; }))
        << window.centralWidget()->geometry().bottom() << " " << window.height();

    toggle->trigger();
    EXPECT_TRUE(toggle->isChecked());
    ASSERT_TRUE(process_until([&] { return queue.isVisible() && std::abs(queue.height() - before) <= 4; }))
        << queue.height() << " != " << before;
}

TEST(MainWindow, LogKeepsTheLastFiftyColouredLinesAndStopsAtShutdown)
{
    gui_application();
    log_view log;
    // Lines from a worker thread arrive through the window thread's queue.
    std::thread writer([&] {
        for (int i = 1; i <= 50; ++i)
            log.write(lines_of({("line " + std::to_string(i) + "\r\n").c_str()}), i == 1 ? 0 : 2);
    });
    writer.join();
    ASSERT_TRUE(process_until([&] { return log.document()->blockCount() == 50; }));
    EXPECT_EQ(log.document()->firstBlock().text().toStdString(), "< line 1");
    EXPECT_EQ(log.document()->firstBlock().begin().fragment().charFormat().foreground().color(), QColor(0, 128, 0));

    // The 51st line pushes the first out.
    log.write(lines_of({"sent"}), 1);
    ASSERT_TRUE(process_until([&] { return log.document()->lastBlock().text() == "> sent"; }));
    EXPECT_EQ(log.document()->blockCount(), 50);
    EXPECT_EQ(log.document()->firstBlock().text().toStdString(), "~ line 2");
    EXPECT_EQ(log.document()->lastBlock().begin().fragment().charFormat().foreground().color(), QColor(0, 0, 255));

    log.write(lines_of({"bad", "worse"}), 3);
    ASSERT_TRUE(process_until([&] { return log.document()->lastBlock().text() == "! worse"; }));
    EXPECT_EQ(log.document()->firstBlock().text().toStdString(), "~ line 4");
    EXPECT_EQ(log.document()->lastBlock().begin().fragment().charFormat().foreground().color(), QColor(255, 0, 0));

    // A burst arrives as one batch; the view keeps its last fifty lines in order.
    std::thread burst([&] {
        for (int i = 1; i <= 300; ++i)
            log.write(lines_of({("burst " + std::to_string(i)).c_str()}), 2);
    });
    burst.join();
    ASSERT_TRUE(process_until([&] { return log.document()->lastBlock().text() == "~ burst 300"; }));
    EXPECT_EQ(log.document()->blockCount(), 50);
    EXPECT_EQ(log.document()->firstBlock().text().toStdString(), "~ burst 251");

    log.turn_off();
    log.write(lines_of({"late"}), 5);
    QCoreApplication::processEvents();
    EXPECT_EQ(log.document()->lastBlock().text().toStdString(), "~ burst 300");
}

TEST(MainWindow, ToolbarBandsFollowTheirRecord)
{
    gui_application();
    TqorxVTF window(nullptr);
    window.resize(900, 600);
    window.show();
    QCoreApplication::processEvents();
    QToolBar& menu = window.menu_bar_band();
    QToolBar& commands = window.command_bar();
    // By default the menu is the first line and the commands the second.
    EXPECT_LT(menu.y(), commands.y());
    EXPECT_EQ(window.band_config().substr(0, 4), "2,0,");

    // Band 9 does not exist and "1,2,3" is short: both are passed over; the
    // commands come first, the menu follows on the same line.
    window.restore_bands("9,0,100,0;1,2,3;1,0,300,0;2,1,400,0");
    ASSERT_TRUE(process_until([&] { return menu.isVisible() && commands.isVisible() && menu.y() == commands.y(); }));
    EXPECT_LT(commands.x(), menu.x());
    EXPECT_FALSE(window.toolBarBreak(&menu));
    const std::string record = window.band_config();
    EXPECT_EQ(record.substr(0, 4), "1,0,") << record;
    EXPECT_NE(record.find(";2,1,"), std::string::npos) << record;
    EXPECT_EQ(record.back(), '0') << record;

    // Back to two lines.
    window.restore_bands("2,0,100,0;1,1,100,1");
    ASSERT_TRUE(process_until([&] { return menu.y() < commands.y(); }));
    EXPECT_TRUE(window.toolBarBreak(&commands));
}

TEST(MainWindow, TransferTypeSelectorAndItsMenuTwinAgree)
{
    gui_application();
    TqorxVTF window(nullptr);
    for (int type : {1, 2, 0}) {
        // The menu's item for the type sets everything.
        QAction* item = window.findChild<QAction*>(QString("miTransferType%1").arg(type));
        ASSERT_NE(item, nullptr);
        item->trigger();
        EXPECT_EQ(window.transfer_type(), type);
        for (const char* prefix : {"tb", "mi"})
            for (int other = 0; other < 3; ++other)
                EXPECT_EQ(window.findChild<QAction*>(QString("%1TransferType%2").arg(prefix).arg(other))->isChecked(),
                          other == type);
    }
    // Every command of the table exists, with a caption.
    for (const char* name : {"miSiteManager",
                             "miSiteConnect",
                             "miSiteDisconnect",
                             "miNewSite",
                             "miBookmark",
                             "miExit",
                             "miQKillAll",
                             "miQKillSelected",
                             "miSync",
                             "miQC",
                             "miQCFiles",
                             "miQCFolders",
                             "miQCAll",
                             "miExecuteUserCommands",
                             "miSettings",
                             "miLocalBrowserView",
                             "miRemoteBrowserView",
                             "miQueueView",
                             "miLogView",
                             "miLocalBrowserFoldersView",
                             "miRemoteBrowserFoldersView",
                             "miContents",
                             "miSupport",
                             "miAbout"}) {
        QAction* a = window.command(name);
        ASSERT_NE(a, nullptr) << name;
        EXPECT_FALSE(a->text().isEmpty()) << name;
    }
    // Not connected: no disconnect, no bookmark.
    EXPECT_FALSE(window.command("miSiteDisconnect")->isEnabled());
    EXPECT_FALSE(window.command("miBookmark")->isEnabled());
    window.set_connection_state(qvtf::remote_state::logged_in, "example.org");
    EXPECT_TRUE(window.command("miSiteDisconnect")->isEnabled());
    EXPECT_TRUE(window.windowTitle().contains("[example.org]") || window.windowTitle().endsWith("example.org]"));
}

TEST(QueuePanel, KillsWidthsAndPictures)
{
    gui_application();
    qvtf::ftp_queue_process_manager queue;
    ui_queue_manager model(nullptr);
    model.attach(&queue);
    queue.view = &model;
    ASSERT_EQ(queue.open(), 0);  // not started: the items stay waiting
    queue_widget panel(&model, nullptr);
    panel.resize(800, 200);
    panel.show();
    for (const char* name : {"a.bin", "b.bin", "c.bin"}) {
        auto item = std::make_unique<qvtf::ftp_queue_item>();
        item->is_download = 1;
        item->name = qvtf::qxval(name);
        item->size = 10;
        ASSERT_EQ(queue.append_item(std::move(item)), 0);
    }
    ASSERT_TRUE(process_until([&] { return model.rowCount() == 3; }));
    EXPECT_TRUE(panel.counter().text().endsWith("3"));

    // Delete kills the selected row; without a selection it does nothing.
    QKeyEvent del(QEvent::KeyPress, Qt::Key_Delete, Qt::NoModifier);
    QCoreApplication::sendEvent(&panel.list(), &del);
    panel.list().selectRow(1);
    QCoreApplication::sendEvent(&panel.list(), &del);
    ASSERT_TRUE(process_until([&] { return model.rowCount() == 2; }));
    EXPECT_EQ(queue.item_count(), 2);
    EXPECT_EQ(model.data(model.index(1, 1), Qt::DisplayRole).toString().toStdString(), "c.bin []");
    EXPECT_TRUE(panel.counter().text().endsWith("2"));
    QAction* kill_all = panel.findChild<QAction*>("bQueueKillAll");
    ASSERT_NE(kill_all, nullptr);
    kill_all->trigger();
    ASSERT_TRUE(process_until([&] { return model.rowCount() == 0; }));
    EXPECT_EQ(queue.item_count(), 0);
    model.wait_for_kills();

    // A stored width below 6 comes back as 5.
    panel.set_widths({3, 150, 70, 90, 90, 80, 80, 150, 150, 45, 70});
    EXPECT_EQ(panel.widths()[0], 5);
    EXPECT_EQ(panel.widths()[1], 150);

    // Step i of the progress bar has red columns at x = 1..i, rows 6 to 11.
    for (int step : {0, 1, 7, 14}) {
        const QImage picture = program_icons::progress(step).toImage();
        for (int x = 1; x <= 14; ++x)
            for (int y : {6, 11})
                EXPECT_EQ(picture.pixelColor(x, y) == QColor(255, 0, 0), x <= step) << step << " " << x << "," << y;
        EXPECT_NE(picture.pixelColor(1, 5), QColor(255, 0, 0));
    }
    queue.close();
    queue.view = nullptr;
}

// The progress column draws a bar as wide as the column, filled to the
// percentage, where a picture of 16 px stood.
TEST(QueuePanel, ProgressBarSpansItsColumn)
{
    gui_application();
    ui_queue_manager model(nullptr);
    queue_widget panel(&model, nullptr);
    panel.set_widths({40, 150, 200, 90, 90, 80, 80, 150, 150, 45, 70});
    panel.resize(1100, 200);
    panel.show();
    qvtf::ftp_queue_item item;
    item.is_download = 1;
    item.name = qvtf::qxval("big.bin");
    item.size = 3000;
    std::thread([&] {
        model.add_row(item);
        model.progress(item, 2000, 1);
    }).join();
    ASSERT_TRUE(process_until([&] {
        return model.rowCount() == 1 &&
               model.data(model.index(0, ui_queue_manager::column_progress), Qt::DisplayRole).toString() == "67%";
    }));
    const QRect cell = panel.list().visualRect(model.index(0, ui_queue_manager::column_progress));
    const QImage shot = panel.list().viewport()->grab().toImage();
    const int y = cell.top() + 5;
    auto at = [&](double share) { return shot.pixelColor(cell.left() + int(cell.width() * share), y); };
    EXPECT_EQ(at(0.2), at(0.6));   // filled on both sides of the text
    EXPECT_NE(at(0.6), at(0.85));  // and not beyond two thirds
    panel.hide();
}

}  // namespace
