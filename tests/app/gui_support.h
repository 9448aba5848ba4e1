// One QApplication for the whole test program, on the offscreen platform so
// that no display is needed.
#pragma once

#include <QApplication>
#include <QElapsedTimer>
#include <functional>

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
