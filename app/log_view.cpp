#include "app/log_view.h"
#include "app/log_view_files.h"
#include "app/qt_text.h"
#include "remote/remote_log.h"

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
    browser_tag_ = "[" + browser + "] ";
    for (auto& [session, mark] : workers_)
        mark.tag = "[" + worker_name_ + QString::number(mark.number) + "] ";
}

QString log_view::tag_of(source from)
{
    // The tags are made once per connection; each line shares them.
    std::lock_guard held(sources_lock_);
    auto it = from.worker && from.session ? workers_.find(from.session) : workers_.end();
    if (from.worker && from.session && it == workers_.end()) {
        // The smallest number no open worker has.
        int number = 1;
        while (std::any_of(workers_.begin(), workers_.end(), [number](const auto& e) { return e.second.number == number; }))
            ++number;
        it = workers_.emplace(from.session, worker_mark{number, "[" + worker_name_ + QString::number(number) + "] "})
                 .first;
    }
    if (workers_.empty() || !from.session)
        return QString();
    return from.worker ? it->second.tag : browser_tag_;
}

void log_view::source_ended(const void* session)
{
    std::lock_guard held(sources_lock_);
    workers_.erase(session);
}

void log_view::write(std::string_view lines, int kind, source from)
{
    if (off_ || lines.empty())
        return;
    const QString tag = tag_of(from);
    // The files are written outside the lock the window's thread takes.
    if (log_files* files = files_.load()) {
        const std::string file_tag = tag.toStdString();
        for (std::string_view rest = lines; !rest.empty();)
            files->command(file_tag, kind, qvtf::take_log_line(rest));
    }
    bool first = false;
    {
        std::lock_guard held(pending_lock_);
        first = pending_.empty();
        bool continued = false;
        while (!lines.empty()) {
            pending_.push_back({to_qt(qvtf::take_log_line(lines)), tag, kind, continued});
            continued = true;
        }
    }
    if (first)
        QMetaObject::invokeMethod(this, &log_view::show_pending, Qt::QueuedConnection);
}

void log_view::write(std::unique_ptr<qvtf::qxarr> lines, int kind, source from)
{
    if (!lines)
        return;
    // One entry, so a reply's later lines keep its colour.
    std::string text;
    for (const qvtf::qxval& entry : *lines) {
        std::string_view line = entry.view();
        while (!line.empty() && (line.back() == '\n' || line.back() == '\r'))
            line.remove_suffix(1);
        text += line;
        text += "\r\n";
    }
    write(text, kind, from);
}

void log_view::show_pending()
{
    {
        std::lock_guard held(pending_lock_);
        shown_.swap(pending_);
    }
    // Only the last max_lines lines can stay in the view; the cut starts at
    // an entry's first line, so a reply keeps its colour.
    std::size_t first = shown_.size() > max_lines ? shown_.size() - max_lines : 0;
    while (first > 0 && shown_[first].continued)
        --first;
    int last_class = 0;
    for (std::size_t i = first; i < shown_.size(); ++i)
        append_line(shown_[i], last_class);
    if (first < shown_.size())
        verticalScrollBar()->setValue(verticalScrollBar()->maximum());
    shown_.clear();
}

void log_view::sink(void* context, std::string_view lines, int kind)
{
    if (context)
        static_cast<log_view*>(context)->write(lines, kind);
}

void log_view::append_line(const pending_line& line, int& last_class)
{
    if (off_)
        return;
    const kind_style style = style_of(line.kind);
    QTextCharFormat format;
    format.setForeground(style.colour);
    // A reply's continuation lines take the colour of the code before them.
    if (!line.continued)
        last_class = 0;
    if (line.kind == 0) {
        const int cls = reply_class(line.text);
        last_class = cls ? cls : last_class;
        if (last_class == 4 || last_class == 5)
            format.setForeground(error_colour);
    }
    QTextCursor cursor(document());
    cursor.movePosition(QTextCursor::End);
    if (!document()->isEmpty())
        cursor.insertBlock();
    cursor.insertText(line.tag + QString::fromLatin1(style.prefix) + line.text, format);
}
