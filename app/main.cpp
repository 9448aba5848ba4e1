// qvtf: the desktop window. Options: --home DIR (the user data folder),
// --screenshot FILE.png (render the window once, write it, and quit).
#include <QApplication>
#include <QMessageBox>
#include <QTimer>
#include <cstdio>
#include <cstring>
#include <string>

#include "app/app_session.h"
#include "app/main_window.h"

int main(int argc, char** argv)
{
    QApplication application(argc, argv);
    std::string home;
    QString screenshot;
    for (int i = 1; i < argc; ++i) {
        const bool has_value = i + 1 < argc;
        if (!std::strcmp(argv[i], "--home") && has_value) {
            home = argv[++i];
        } else if (!std::strcmp(argv[i], "--screenshot") && has_value) {
            screenshot = QString::fromLocal8Bit(argv[++i]);
        } else {
            std::fprintf(stderr, "usage: qvtf [--home DIR] [--screenshot FILE.png]\n");
            return 2;
        }
    }

    app_session session;
    if (!session.start(home)) {
        if (screenshot.isEmpty())
            QMessageBox::critical(nullptr, "qvtf", session.error());
        std::fprintf(stderr, "qvtf: %s\n", session.error().toLocal8Bit().constData());
        return 0;
    }
    TqorxVTF& window = session.window();
    window.show();
    int code = 0;
    if (!screenshot.isEmpty()) {
        // Let the panes list their folders before the picture is taken.
        QTimer::singleShot(500, &window, [&] {
            if (!window.grab().save(screenshot)) {
                std::fprintf(stderr, "qvtf: cannot write %s\n", screenshot.toLocal8Bit().constData());
                code = 1;
            }
            application.quit();
        });
        application.exec();
    } else {
        code = application.exec();
    }
    session.stop();
    return code;
}
