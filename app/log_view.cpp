#include "app/log_view.h"
#include "app/qt_text.h"

#include <QScrollBar>
#include <QTextCharFormat>
#include <QTextCursor>

namespace {

struct kind_style {
    const char* prefix;
    QColor colour;
};

kind_style style_of(int kind)
{
    switch (kind) {
    case 0: return {"< ", QColor(0, 128, 0)};
    case 1: return {"> ", QColor(0, 0, 255)};
    case 3: return {"! ", QColor(255, 0, 0)};
    case 4: return {"-> ", Qt::black};
    case 5: return {"<- ", Qt::black};
    default: return {"~ ", Qt::black};
    }
}

}  // namespace

log_view::log_view(QWidget* parent) : QPlainTextEdit(parent)
{
    setReadOnly(true);
    setObjectName("LogView");
    // The document drops its first block itself once a new one would exceed this.
    setMaximumBlockCount(max_lines);
    setLineWrapMode(QPlainTextEdit::NoWrap);
}

void log_view::write(std::unique_ptr<qvtf::qxarr> lines, int kind)
{
    if (off_ || !lines)
        return;
    QStringList texts;
    for (const qvtf::qxval& entry : *lines) {
        std::string_view line = entry.view();
        while (!line.empty() && (line.back() == '\n' || line.back() == '\r'))
            line.remove_suffix(1);
        texts << to_qt(line);
    }
    QMetaObject::invokeMethod(this, [this, texts, kind] { append_lines(texts, kind); }, Qt::QueuedConnection);
}

void log_view::sink(void* context, std::unique_ptr<qvtf::qxarr> lines, int kind)
{
    if (context)
        static_cast<log_view*>(context)->write(std::move(lines), kind);
}

void log_view::append_lines(const QStringList& lines, int kind)
{
    if (off_)
        return;
    const kind_style style = style_of(kind);
    QTextCharFormat format;
    format.setForeground(style.colour);
    for (const QString& line : lines) {
        const bool first = document()->isEmpty();
        QTextCursor cursor(document());
        cursor.movePosition(QTextCursor::End);
        if (!first)
            cursor.insertBlock();
        cursor.insertText(QString::fromLatin1(style.prefix) + line, format);
    }
    verticalScrollBar()->setValue(verticalScrollBar()->maximum());
}
