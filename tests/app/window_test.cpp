// The main window: the docking rule, the log's line limit and colours, and
// the layout surviving a save and a restore.
#include <gtest/gtest.h>

#include <QDockWidget>
#include <QTextBlock>
#include <thread>

#include "app/log_view.h"
#include "app/main_window.h"
#include "gui_support.h"
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
    struct case_ { QDockWidget* panel; Qt::DockWidgetArea area; bool docks; };
    for (const case_& c : {case_{&window.queue_panel(), Qt::LeftDockWidgetArea, false},
                           case_{&window.queue_panel(), Qt::RightDockWidgetArea, false},
                           case_{&window.log_panel(), Qt::LeftDockWidgetArea, false},
                           case_{&window.queue_panel(), Qt::TopDockWidgetArea, true},
                           case_{&window.log_panel(), Qt::BottomDockWidgetArea, true}}) {
        const Qt::DockWidgetArea before = window.dockWidgetArea(c.panel);
        EXPECT_EQ(window.dock_panel(c.panel, c.area), c.docks) << c.panel->objectName().toStdString();
        EXPECT_EQ(window.dockWidgetArea(c.panel), c.docks ? c.area : before);
    }
    // The browser panes are the central widget, not panels that could move.
    EXPECT_EQ(window.findChildren<QDockWidget*>().size(), 2);
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

    log.write(lines_of({"bad", "worse"}), 3);
    ASSERT_TRUE(process_until([&] { return log.document()->lastBlock().text() == "! worse"; }));
    EXPECT_EQ(log.document()->blockCount(), 50);
    EXPECT_EQ(log.document()->firstBlock().text().toStdString(), "~ line 3");
    EXPECT_EQ(log.document()->lastBlock().begin().fragment().charFormat().foreground().color(), QColor(255, 0, 0));

    log.write(lines_of({"sent"}), 1);
    log.turn_off();
    log.write(lines_of({"late"}), 5);
    QCoreApplication::processEvents();
    EXPECT_EQ(log.document()->lastBlock().text().toStdString(), "! worse");
}

TEST(MainWindow, LayoutSurvivesSaveAndRestore)
{
    gui_application();
    qvtf::global_ftp_values values;
    {
        TqorxVTF window(nullptr);
        window.resize(900, 600);
        window.show();
        ASSERT_TRUE(window.dock_panel(&window.queue_panel(), Qt::TopDockWidgetArea));
        window.log_panel().hide();
        QCoreApplication::processEvents();
        window.save_layout(values);
    }
    EXPECT_TRUE(values.top_zone_stream_set);
    EXPECT_FALSE(values.top_zone_stream.empty());
    EXPECT_EQ(values.top_zone_stream.find('\n'), std::string::npos);
    EXPECT_EQ(values.top_zone_controls, (std::vector<std::string>{"LogRichEdit", "QueuePanel"}));
    EXPECT_TRUE(values.bottom_zone_controls.empty());

    TqorxVTF restored(nullptr);
    restored.restore_layout(values);
    restored.show();
    QCoreApplication::processEvents();
    EXPECT_EQ(restored.dockWidgetArea(&restored.queue_panel()), Qt::TopDockWidgetArea);
    EXPECT_TRUE(restored.log_panel().isHidden());
    EXPECT_EQ(restored.size(), QSize(900, 600));
}

}  // namespace
