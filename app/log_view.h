// log_view: the window's command and transfer log. Lines arrive from any
// thread and are shown on the window's thread, coloured by kind (a 4xx or
// 5xx reply as an error); only the last 50 stay. While queue connections
// are open beside the browser's, each line says which connection it came
// from. The command log file, when on, gets the same wire lines.
#pragma once

#include <QPlainTextEdit>
#include <atomic>
#include <map>
#include <memory>
#include <mutex>
#include <string_view>
#include <vector>

#include "core/qxarr.h"

class log_files;

// Where log lines come from: a session, and whether it is a queue worker.
struct log_source {
    const void* session = nullptr;
    bool worker = false;
};

class log_view : public QPlainTextEdit {
    Q_OBJECT
public:
    static constexpr int max_lines = 50;

    using source = log_source;

    explicit log_view(QWidget* parent = nullptr);

    // Any thread. lines: whole lines, each ending in "\r\n" (the last may
    // lack it). Kinds: 0 reply, 1 command, 2 information, 3 error,
    // 4 upload done, 5 download done. Dropped once logging is off. Each
    // line costs one string on the way to the window, nothing more.
    void write(std::string_view lines, int kind, source from = {});
    // The same with one value per line.
    void write(std::unique_ptr<qvtf::qxarr> lines, int kind, source from = {});
    // A worker's connection has closed: its number is free again.
    void source_ended(const void* session);
    // The engine's log sink shape; context is the log_view.
    static void sink(void* context, std::string_view lines, int kind);
    // Shutdown: late lines are dropped from now on.
    void turn_off() { off_ = true; }
    // The files the wire lines also go to (not owned; null: none).
    void set_files(log_files* files) { files_ = files; }

    // Language texts of the connection marks: "browser", "worker ".
    void set_source_names(const QString& browser, const QString& worker);
    // "[browser] ", "[worker 2] ", or "" while the browser is alone.
    QString tag_of(source from);

private:
    struct pending_line {
        QString text;
        QString tag;
        int kind = 0;
        bool continued = false;  // a later line of the same entry (a reply's)
    };
    struct worker_mark {
        int number = 0;
        QString tag;
    };
    // The window's thread: shows what arrived since the last call.
    void show_pending();
    // The window's thread: line's colour follows its kind, or for a reply
    // the class of the last line with a code (last_class, updated here).
    void append_line(const pending_line& line, int& last_class);
    // Lines from other threads wait here; only the first of a batch posts
    // a call, so a thousand small files are not a thousand window events.
    // The shown batch hands its buffer back, so a steady flow reuses both.
    std::mutex pending_lock_;
    std::vector<pending_line> pending_;
    std::vector<pending_line> shown_;
    std::atomic<bool> off_{false};
    std::atomic<log_files*> files_{nullptr};
    std::mutex sources_lock_;
    std::map<const void*, worker_mark> workers_;  // session -> its number, 1..n
    QString browser_name_ = "browser";
    QString worker_name_ = "worker ";
    QString browser_tag_ = "[browser] ";
};
