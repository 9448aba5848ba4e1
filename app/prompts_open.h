// Opening a help page or a text file with the desktop's application. Where
// the desktop has none, a text file falls back to the user's editor
// ($VISUAL, then $EDITOR) and the user is told what failed and where the
// file is, so it can still be opened by hand.
#pragma once

#include <QString>
#include <QStringList>
#include <QUrl>
#include <functional>

namespace qvtf {
class qxlang;
}

struct document_opener {
    // The desktop's "open"; defaults to QDesktopServices.
    std::function<bool(const QUrl&)> open_url;
    // Starts a program detached; defaults to QProcess::startDetached.
    std::function<bool(const QString& program, const QStringList& arguments)> start;
    // Environment lookup; defaults to qEnvironmentVariable.
    std::function<QString(const char* name)> environment;

    document_opener();
    // "" when the file was opened; otherwise the message for the user: what
    // failed, and the path on a line of its own. An editor is tried only
    // for text files (text true).
    QString open(const QString& path, bool text, const qvtf::qxlang* language) const;

private:
    bool start_editor(const QString& path) const;
};
