// The synchronisation started by the wizard's Finish: the plan's
// confirmation dialog, and a progress dialog that runs one piece of work
// (building the plan, carrying it out) on a thread of its own.
#pragma once

#include <QDialog>
#include <QString>
#include <atomic>
#include <functional>
#include <thread>

#include "sync/sync_plan.h"

class QLabel;
class QListWidget;
class QProgressBar;
class QPushButton;
class QTreeWidget;

namespace qvtf {
class qxlang;
}

// The actions of a plan as a table (action, path, size, reason) with its
// notes below; Accepted runs it.
class TSyncPlanDialog : public QDialog {
    Q_OBJECT
public:
    TSyncPlanDialog(const qvtf::sync_plan& plan, const qvtf::qxlang* language, QWidget* parent = nullptr);
    QTreeWidget* table() const { return table_; }
    QPushButton* run_button() const { return run_; }
    // The words of an action's kind, for the table and the run's lines.
    static QString action_text(qvtf::sync_action_kind kind, bool folder, const qvtf::qxlang* language);

private:
    QTreeWidget* table_ = nullptr;
    QPushButton* run_ = nullptr;
};

// Modal while work runs on its own thread. Lines and progress come from
// that thread through queued calls. Stop (or Escape, or closing the window)
// calls stop once; the dialog stays until the work has returned, then
// closes by itself (close_when_done) or waits for Close.
class TSyncProgressDialog : public QDialog {
    Q_OBJECT
public:
    TSyncProgressDialog(const QString& title, const QString& text, int total, const qvtf::qxlang* language,
                        QWidget* parent = nullptr);
    ~TSyncProgressDialog() override;

    bool close_when_done = false;
    // Starts work on a thread; stop may be empty.
    void start(std::function<void()> work, std::function<void()> stop);
    bool running() const { return running_; }
    bool stopped() const { return stop_asked_; }

    // Any thread.
    void add_line(const QString& text, bool failed);
    void step();
    void set_text(const QString& text);

    QListWidget* lines() const { return lines_; }
    QProgressBar* bar() const { return bar_; }
    QPushButton* stop_button() const { return stop_button_; }
    QPushButton* close_button() const { return close_button_; }

public slots:
    void reject() override;

private:
    void work_ended();

    QLabel* text_ = nullptr;
    QProgressBar* bar_ = nullptr;
    QListWidget* lines_ = nullptr;
    QPushButton* stop_button_ = nullptr;
    QPushButton* close_button_ = nullptr;
    std::function<void()> stop_;
    std::thread worker_;
    QString stopping_text_;
    bool running_ = false;
    bool stop_asked_ = false;
};
