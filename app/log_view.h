// log_view: the window's command and transfer log. Lines arrive from any
// thread and are shown on the window's thread, coloured by kind; only the
// last 50 stay.
#pragma once

#include <QPlainTextEdit>
#include <atomic>
#include <memory>

#include "core/qxarr.h"

class log_view : public QPlainTextEdit {
    Q_OBJECT
public:
    static constexpr int max_lines = 50;

    explicit log_view(QWidget* parent = nullptr);

    // Any thread. Kinds: 0 reply, 1 command, 2 information, 3 error,
    // 4 upload done, 5 download done. Dropped once logging is off.
    void write(std::unique_ptr<qvtf::qxarr> lines, int kind);
    // The engine's log sink shape; context is the log_view.
    static void sink(void* context, std::unique_ptr<qvtf::qxarr> lines, int kind);
    // Shutdown: late lines are dropped from now on.
    void turn_off() { off_ = true; }

private:
    void append_lines(const QStringList& lines, int kind);
    std::atomic<bool> off_{false};
};
