#include "app/pane_platform.h"

#include <QCoreApplication>
#include <QDesktopServices>
#include <QFile>
#include <QMimeDatabase>
#include <QUrl>

int pane_platform::remove(const std::vector<std::string>& paths, bool to_trash)
{
    if (!to_trash)
        return local_file_platform::remove(paths, false);
    for (size_t i = 0; i < paths.size(); ++i)
        if (!QFile::moveToTrash(QString::fromStdString(paths[i])))
            return int(i);
    return -1;
}

bool pane_platform::run_verb(const std::string& path, const std::string& verb)
{
    if (verb != "open")
        return false;
    const QUrl url = QUrl::fromLocalFile(QString::fromStdString(path));
    QCoreApplication* application = QCoreApplication::instance();
    if (!application)
        return false;
    // The desktop services belong to the window's thread.
    QMetaObject::invokeMethod(
        application, [url] { QDesktopServices::openUrl(url); }, Qt::QueuedConnection);
    return true;
}

std::string pane_platform::type_name(const std::string& path, bool is_folder)
{
    const QMimeDatabase types;
    // By name only: a stat or a read of every entry would make long folders slow.
    const QMimeType type = is_folder
                               ? types.mimeTypeForName(QStringLiteral("inode/directory"))
                               : types.mimeTypeForFile(QString::fromStdString(path), QMimeDatabase::MatchExtension);
    if (!type.isValid() || type.isDefault())
        return {};
    return type.comment().toStdString();
}
