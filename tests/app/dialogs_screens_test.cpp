// Renders each dialog (and each settings page) into PNG files when
// QVTF_SCREENSHOT_DIR names a folder, for looking at by eye; otherwise it
// only checks that every dialog lays out within a sensible size.
#include <gtest/gtest.h>

#include <QDir>
#include <QLabel>
#include <QScreen>
#include <QTest>

#include "app/about_box.h"
#include "app/file_filter_form.h"
#include "app/file_props_form.h"
#include "app/settings_form.h"
#include "core/qxfile_node.h"
#include "gui_support.h"
#include "markup/qxlang.h"
#include "settings/global_ftp_settings.h"

namespace {

// Shows w, checks that no label is narrower than its text needs, and saves a
// picture when asked to.
void look_at(QWidget& w, const QString& name)
{
    w.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&w));
    QCoreApplication::processEvents();
    EXPECT_LE(w.width(), 1000) << name.toStdString();
    EXPECT_LE(w.height(), 760) << name.toStdString();
    for (QLabel* label : w.findChildren<QLabel*>()) {
        if (!label->isVisibleTo(&w) || label->wordWrap() || label->text().isEmpty())
            continue;
        EXPECT_GE(label->width(), label->minimumSizeHint().width())
            << name.toStdString() << ": " << label->text().toStdString();
    }
    const QByteArray dir = qgetenv("QVTF_SCREENSHOT_DIR");
    if (!dir.isEmpty()) {
        QDir().mkpath(QString::fromLocal8Bit(dir));
        w.grab().save(QString::fromLocal8Bit(dir) + "/" + name + ".png");
    }
}

TEST(DialogsScreens, EveryDialogAndPage)
{
    gui_application();
    qvtf::global_ftp_settings settings;
    settings.ensure_default_proxy();

    TSettings form(settings, &shipped_language());
    form.fill();
    static const char* const pages[] = {"settings-connection", "settings-firewall", "settings-files", "settings-logs",
                                        "settings-sounds"};
    for (int i = 0; i < 5; ++i) {
        form.set_page(i);
        look_at(form, pages[i]);
    }
    form.hide();

    qvtf::qxfile_node file;
    file.name = qvtf::qxval("index.html");
    file.attributes = 0644;
    qvtf::qxfile_node folder;
    folder.name = qvtf::qxval("images");
    folder.is_folder = 1;
    folder.attributes = 0755;
    TFilePropsForm props(settings, &shipped_language());
    file_props_request one;
    one.first = &file;
    one.value = file.attributes;
    props.prepare(one);
    look_at(props, "props-file");
    props.hide();
    settings.owner_exe_bit_enabled = true;
    file_props_request two = one;
    two.others = {&folder};
    props.prepare(two);
    look_at(props, "props-two-with-folder");
    props.hide();

    TFileFilterForm filter(settings, &shipped_language());
    settings.lf_time_filter = true;
    settings.lf_time_start = 1700000000;
    settings.lf_time_end = 1800000000;
    filter.prepare(nullptr, false);
    look_at(filter, "filter-local");
    filter.hide();

    TAboutBox about(&shipped_language());
    look_at(about, "about");
}

}  // namespace
