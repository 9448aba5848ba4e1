#include "app/log_view.h"
#include "app/log_view_files.h"
#include "app/qt_text.h"

#include <QScrollBar>
#include <QTextCharFormat>
#include <QTextCursor>
#include <algorithm>

namespace {

struct kind_style {
    const char* prefix;
    QColor colour;
};

const QColor error_colour(255, 0, 0);

kind_style style_of(int kind)
{
    switch (kind) {
    case 0: return {"< ", QColor(0, 128, 0)};
    case 1: return {"> ", QColor(0, 0, 255)};
    case 3: return {"! ", error_colour};
    case 4: return {"-> ", Qt::black};
    case 5: return {"<- ", Qt::black};
    default: return {"~ ", Qt::black};
    }
}

// A reply line's class, 0 for a continuation line without a code.
int reply_class(const QString& line)
{
    if (line.size() < 3 || !line[0].isDigit() || !line[1].isDigit() || !line[2].isDigit())
        return 0;
    if (line.size() > 3 && line[3] != ' ' && line[3] != '-')
        return 0;
    return line[0].digitValue();
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

void log_view::set_source_names(const QString& browser, const QString& worker)
{
    std::lock_guard held(sources_lock_);
    browser_name_ = browser;
    worker_name_ = worker;
}

QString log_view::tag_of(source from)
{
    std::lock_guard held(sources_lock_);
    if (from.worker && from.session && !workers_.count(from.session)) {
        // The smallest number no open worker has.
        int number = 1;
        while (std::any_of(workers_.begin(), workers_.end(), [number](const auto& e) { return e.second == number; }))
            ++number;
        workers_[from.session] = number;
    }
    if (workers_.empty() || !from.session)
        return QString();
    if (from.worker)
        return "[" + worker_name_ + QString::number(workers_[from.session]) + "] ";
    return "[" + browser_name_ + "] ";
}

void log_view::source_ended(const void* session)
{
    std::lock_guard held(sources_lock_);
    workers_.erase(session);
}

void log_view::write(std::unique_ptr<qvtf::qxarr> lines, int kind, source from)
{
    if (off_ || !lines)
        return;
    const QString tag = tag_of(from);
    const std::string file_tag = tag.toStdString();
    log_files* files = files_.load();
    QStringList texts;
    for (const qvtf::qxval& entry : *lines) {
        std::string_view line = entry.view();
        while (!line.empty() && (line.back() == '\n' || line.back() == '\r'))
            line.remove_suffix(1);
        texts << to_qt(line);
        if (files)
            files->command(file_tag, kind, line);
    }
    bool first = false;
    {
        std::lock_guard held(pending_lock_);
        first = pending_.empty();
        pending_.push_back({std::move(texts), kind, tag});
    }
    if (first)
        QMetaObject::invokeMethod(this, &log_view::show_pending, Qt::QueuedConnection);
}

void log_view::show_pending()
{
    std::vector<pending_entry> batch;
    {
        std::lock_guard held(pending_lock_);
        batch.swap(pending_);
    }
    // Only the last max_lines lines can stay in the view.
    std::size_t first = batch.size();
    for (int kept = 0; first > 0 && kept < max_lines;)
        kept += static_cast<int>(batch[--first].lines.size());
    for (std::size_t i = first; i < batch.size(); ++i)
        append_lines(batch[i].lines, batch[i].kind, batch[i].tag);
}

void log_view::sink(void* context, std::unique_ptr<qvtf::qxarr> lines, int kind)
{
    if (context)
        static_cast<log_view*>(context)->write(std::move(lines), kind);
}

void log_view::append_lines(const QStringList& lines, int kind, const QString& tag)
{
    if (off_)
        return;
    const kind_style style = style_of(kind);
    QTextCharFormat format;
    format.setForeground(style.colour);
    QTextCharFormat refused = format;
    refused.setForeground(error_colour);
    // A reply's continuation lines take the colour of the code before them.
    int last_class = 0;
    for (const QString& line : lines) {
        const bool first = document()->isEmpty();
        QTextCursor cursor(document());
        cursor.movePosition(QTextCursor::End);
        if (!first)
            cursor.insertBlock();
        if (kind == 0)
            last_class = reply_class(line) ? reply_class(line) : last_class;
        const bool error_reply = kind == 0 && (last_class == 4 || last_class == 5);
        cursor.insertText(tag + QString::fromLatin1(style.prefix) + line, error_reply ? refused : format);
    }
    verticalScrollBar()->setValue(verticalScrollBar()->maximum());
}
