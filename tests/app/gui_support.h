// One QApplication for the whole test program, on the offscreen platform so
// that no display is needed.
#pragma once

#include <QApplication>
#include <QElapsedTimer>
#include <QWidget>
#include <functional>
#include <string>

#include <gtest/gtest.h>

#include "markup/qxlang.h"
#include "support/file_text.h"

inline QApplication& gui_application()
{
    static int argc = 1;
    static char name[] = "test_app";
    static char* argv[] = {name, nullptr};
    static QApplication* app = [] {
        qputenv("QT_QPA_PLATFORM", "offscreen");
        return new QApplication(argc, argv);
    }();
    return *app;
}

// Runs the event loop until done() holds or the time is up.
inline bool process_until(const std::function<bool()>& done, int timeout_ms = 5000)
{
    QElapsedTimer timer;
    timer.start();
    while (!done()) {
        if (timer.elapsed() > timeout_ms)
            return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    }
    return true;
}

// The phrase file the build ships beside the program, loaded once.
inline const qvtf::qxlang& shipped_language()
{
    static qvtf::qxlang* lang = [] {
        auto* l = new qvtf::qxlang;
        qvtf::qxval error;
        l->load(qvtf::qxval(std::string(QVTF_PROGRAM_DIR) + "/qorx.bin"), error);
        return l;
    }();
    return *lang;
}

// The named child widget of a dialog; a failure when it is missing.
template <class T>
T* child(QWidget& parent, const char* name)
{
    T* w = parent.findChild<T*>(name);
    EXPECT_NE(w, nullptr) << name;
    return w;
}

using qvtf::test::file_text;
