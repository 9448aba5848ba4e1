#include "app/prompts_open.h"

#include <QDesktopServices>
#include <QFileInfo>
#include <QProcess>
#include <QStandardPaths>

#include "app/prompts.h"

namespace {

constexpr int phrase_cant_open = 64;
constexpr int phrase_no_html_application = 932;
constexpr int phrase_no_editor = 933;

}  // namespace

document_opener::document_opener()
    : open_url([](const QUrl& url) { return QDesktopServices::openUrl(url); }),
      start([](const QString& program, const QStringList& arguments) {
          return QProcess::startDetached(program, arguments);
      }),
      environment([](const char* name) { return qEnvironmentVariable(name); })
{
}

bool document_opener::start_editor(const QString& path) const
{
    // $VISUAL is an editor with a window of its own; $EDITOR may need a
    // terminal, which the desktop names in $TERMINAL or the Debian alternative.
    for (const char* variable : {"VISUAL", "EDITOR"}) {
        QStringList command = QProcess::splitCommand(environment(variable));
        if (command.isEmpty())
            continue;
        if (qstrcmp(variable, "EDITOR") == 0) {
            QString terminal = environment("TERMINAL");
            if (terminal.isEmpty())
                terminal = QStandardPaths::findExecutable("x-terminal-emulator");
            if (!terminal.isEmpty())
                command = QStringList{terminal, "-e"} + command;
        }
        const QString program = command.takeFirst();
        if (start(program, command << path))
            return true;
    }
    return false;
}

QString document_opener::open(const QString& path, bool text, const qvtf::qxlang* language) const
{
    const QString cant_open = phrase_text(language, phrase_cant_open, "Can't open the file ") + path;
    if (!QFileInfo(path).isFile())
        return cant_open;
    if (open_url(QUrl::fromLocalFile(path)))
        return {};
    if (text && start_editor(path))
        return {};
    const QString reason =
        text ? phrase_text(language, phrase_no_editor,
                           "No application is set to open this file, and neither $VISUAL nor $EDITOR names an "
                           "editor. Open it by hand from the path above.")
             : phrase_text(language, phrase_no_html_application,
                           "No application is set to open HTML files. Open the page in a browser from the path "
                           "above.");
    return cant_open + "\n\n" + reason;
}
