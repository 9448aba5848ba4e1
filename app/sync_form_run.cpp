#include "app/sync_form_run.h"

#include <QColor>
#include <QDialogButtonBox>
#include <QHeaderView>
#include <QLabel>
#include <QListWidget>
#include <QLocale>
#include <QPointer>
#include <QProgressBar>
#include <QPushButton>
#include <QTreeWidget>
#include <QVBoxLayout>
#include <memory>

#include "app/qt_text.h"
#include "app/sync_form.h"
#include "browse/local_paths.h"
#include "browse/qx_ftp_file_lister.h"
#include "browse/qx_local_file_lister.h"
#include "markup/qxlang.h"
#include "queue/ftp_queue_process_manager.h"
#include "settings/global_ftp_settings.h"
#include "sync/sync_engine.h"

namespace {

constexpr int phrase_error = 12;
constexpr int phrase_size = 17;
constexpr int phrase_cannot_read = 25;
constexpr int phrase_cancel = 47;
constexpr int phrase_download = 103;
constexpr int phrase_upload = 104;
constexpr int phrase_busy = 159;
constexpr int phrase_incomplete = 239;
constexpr int phrase_local_folder = 266;
constexpr int phrase_close = 271;
constexpr int phrase_nothing = 281;
constexpr int phrase_succeeded = 282;
constexpr int phrase_failed = 283;
constexpr int phrase_needs_connection = 284;
constexpr int phrase_title = 285;
constexpr int phrase_plan_title = 800;
constexpr int phrase_action = 801;
constexpr int phrase_path = 802;
constexpr int phrase_reason = 803;
constexpr int phrase_make_remote = 804;
constexpr int phrase_make_local = 805;
constexpr int phrase_delete_remote_file = 806;
constexpr int phrase_delete_remote_folder = 807;
constexpr int phrase_delete_local_file = 808;
constexpr int phrase_delete_local_folder = 809;
constexpr int phrase_plan_intro = 810;
constexpr int phrase_run = 811;
constexpr int phrase_comparing = 813;
constexpr int phrase_synchronising = 814;
constexpr int phrase_stop = 815;
constexpr int phrase_note = 816;
constexpr int phrase_stopping = 817;
constexpr int phrase_stopped = 818;

QString qstr(const std::string& text)
{
    return QString::fromStdString(text);
}

QString phrase_of(const qvtf::qxlang* language, int number)
{
    return language ? to_qt(language->text(number)) : QString();
}

QString line_of(const qvtf::sync_action& a, const qvtf::qxlang* language)
{
    const bool remote_side = a.kind == qvtf::sync_action_kind::make_remote_folder ||
                             a.kind == qvtf::sync_action_kind::delete_remote;
    QString path;
    if (a.kind == qvtf::sync_action_kind::upload)
        path = qstr(a.local_path) + QStringLiteral(" \u2192 ") + qstr(a.remote_path);
    else if (a.kind == qvtf::sync_action_kind::download)
        path = qstr(a.remote_path) + QStringLiteral(" \u2192 ") + qstr(a.local_path);
    else
        path = qstr(remote_side ? a.remote_path : a.local_path);
    return TSyncPlanDialog::action_text(a.kind, a.is_folder, language) + ": " + path;
}

// The run's lines in the progress dialog, and the folders and deletions in
// the window's log too (the transfers' own lines come from the queue).
class progress_lines : public qvtf::sync_observer {
public:
    progress_lines(TSyncProgressDialog& dialog, qvtf::ftp_queue_process_manager& window, const qvtf::qxlang* language,
                   const QString& stopped_text)
        : dialog_(dialog), window_(window), language_(language), stopped_text_(stopped_text)
    {
    }
    void on_action(const qvtf::sync_action& a, const qvtf::sync_action_result& r) override;

private:
    TSyncProgressDialog& dialog_;
    qvtf::ftp_queue_process_manager& window_;
    const qvtf::qxlang* language_;
    const QString stopped_text_;
};

// The run's own queue, set up like the window's so its rows, log lines and
// finished items show there; the window's queue is left running.
void configure_like(qvtf::ftp_queue_process_manager& q, qvtf::ftp_queue_process_manager& window,
                    const sync_form_engine& engine)
{
    // Before panes: with panes set, set_profile would connect the remote pane.
    q.set_profile(window.profile());
    q.panes = window.panes;
    q.view = window.view;
    q.language = window.language;
    q.resolver = window.resolver ? window.resolver : engine.resolver;
    q.settings = window.settings ? window.settings : engine.settings;
    q.log_sink = window.log_sink;
    q.sink_context = window.sink_context;
    q.worker_observer = window.worker_observer;
    q.observer = window.observer;
    q.retry_limit = window.retry_limit.load();
    q.max_threads = window.max_threads.load();
    q.default_transfer_type = window.default_transfer_type.load();
    q.stamp_downloads = window.stamp_downloads.load();
    q.poll_interval_ms = window.poll_interval_ms.load();
}

void log_line(qvtf::ftp_queue_process_manager& window, const QString& text, int kind)
{
    if (!window.log_sink)
        return;
    const QByteArray utf8 = (text + "\r\n").toUtf8();
    window.log_sink(window.sink_context, std::string_view(utf8.constData(), static_cast<size_t>(utf8.size())), kind);
}

void progress_lines::on_action(const qvtf::sync_action& a, const qvtf::sync_action_result& r)
{
    QString line = line_of(a, language_);
    if (r.status != 0)
        line += " \u2014 " + (r.status == qvtf::status_stopped ? stopped_text_ : qstr(r.text));
    dialog_.add_line(line, r.status != 0);
    dialog_.step();
    if (!a.is_transfer())
        log_line(window_, line, r.status != 0 ? qvtf::log_error : qvtf::log_info);
}

}  // namespace

// ---- the plan ----

QString TSyncPlanDialog::action_text(qvtf::sync_action_kind kind, bool folder, const qvtf::qxlang* language)
{
    using k = qvtf::sync_action_kind;
    switch (kind) {
    case k::make_remote_folder: return phrase_of(language, phrase_make_remote);
    case k::make_local_folder: return phrase_of(language, phrase_make_local);
    case k::upload: return phrase_of(language, phrase_upload);
    case k::download: return phrase_of(language, phrase_download);
    case k::delete_remote: return phrase_of(language, folder ? phrase_delete_remote_folder : phrase_delete_remote_file);
    case k::delete_local: return phrase_of(language, folder ? phrase_delete_local_folder : phrase_delete_local_file);
    }
    return {};
}

TSyncPlanDialog::TSyncPlanDialog(const qvtf::sync_plan& plan, const qvtf::qxlang* language, QWidget* parent)
    : QDialog(parent)
{
    setWindowTitle(phrase_of(language, phrase_plan_title));
    resize(760, 420);
    auto* layout = new QVBoxLayout(this);
    auto* intro = new QLabel(phrase_of(language, phrase_plan_intro), this);
    intro->setWordWrap(true);
    layout->addWidget(intro);

    table_ = new QTreeWidget(this);
    table_->setObjectName("tvPlan");
    table_->setRootIsDecorated(false);
    table_->setUniformRowHeights(true);
    table_->setAlternatingRowColors(true);
    table_->setHeaderLabels({phrase_of(language, phrase_action), phrase_of(language, phrase_path),
                             phrase_of(language, phrase_size), phrase_of(language, phrase_reason)});
    const QLocale locale;
    for (const qvtf::sync_action& a : plan.actions) {
        const bool remote_side = a.kind == qvtf::sync_action_kind::make_remote_folder ||
                                 a.kind == qvtf::sync_action_kind::delete_remote ||
                                 a.kind == qvtf::sync_action_kind::upload;
        const QString target = qstr(remote_side ? a.remote_path : a.local_path);
        const QString size = a.is_transfer() && a.size >= 0 ? locale.formattedDataSize(a.size) : QString();
        auto* row = new QTreeWidgetItem(
            table_, QStringList{action_text(a.kind, a.is_folder, language), target, size, qstr(a.reason)});
        row->setTextAlignment(2, Qt::AlignRight | Qt::AlignVCenter);
        if (a.kind == qvtf::sync_action_kind::delete_remote || a.kind == qvtf::sync_action_kind::delete_local)
            for (int c = 0; c < 4; ++c)
                row->setForeground(c, QColor(0xb0, 0, 0));
        row->setToolTip(1, line_of(a, language));
    }
    table_->header()->setStretchLastSection(true);
    for (int c = 0; c < 3; ++c)
        table_->resizeColumnToContents(c);
    table_->setColumnWidth(1, std::min(table_->columnWidth(1), 420));
    layout->addWidget(table_, 1);

    if (!plan.notes.empty()) {
        auto* notes = new QListWidget(this);
        notes->setObjectName("lbNotes");
        for (const std::string& n : plan.notes)
            notes->addItem(phrase_of(language, phrase_note) + qstr(n));
        notes->setMaximumHeight(90);
        layout->addWidget(notes);
    }

    auto* buttons = new QDialogButtonBox(this);
    run_ = buttons->addButton(phrase_of(language, phrase_run), QDialogButtonBox::AcceptRole);
    run_->setObjectName("bRun");
    auto* cancel = buttons->addButton(phrase_of(language, phrase_cancel), QDialogButtonBox::RejectRole);
    cancel->setObjectName("bCancel");
    run_->setDefault(true);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    layout->addWidget(buttons);
    table_->setFocus();
}

// ---- progress ----

TSyncProgressDialog::TSyncProgressDialog(const QString& title, const QString& text, int total,
                                         const qvtf::qxlang* language, QWidget* parent)
    : QDialog(parent)
{
    setWindowTitle(title);
    resize(total > 0 ? 640 : 420, total > 0 ? 360 : 120);
    auto* layout = new QVBoxLayout(this);
    text_ = new QLabel(text, this);
    text_->setObjectName("lText");
    text_->setWordWrap(true);
    layout->addWidget(text_);
    bar_ = new QProgressBar(this);
    bar_->setRange(0, total);  // 0: busy without a count
    bar_->setValue(0);
    layout->addWidget(bar_);
    lines_ = new QListWidget(this);
    lines_->setObjectName("lbLines");
    lines_->setVisible(total > 0);
    layout->addWidget(lines_, 1);
    auto* buttons = new QDialogButtonBox(this);
    stop_button_ = buttons->addButton(phrase_of(language, phrase_stop), QDialogButtonBox::RejectRole);
    stop_button_->setObjectName("bStop");
    close_button_ = buttons->addButton(phrase_of(language, phrase_close), QDialogButtonBox::AcceptRole);
    close_button_->setObjectName("bClose");
    close_button_->setEnabled(false);
    connect(stop_button_, &QPushButton::clicked, this, &TSyncProgressDialog::reject);
    connect(close_button_, &QPushButton::clicked, this, &QDialog::accept);
    layout->addWidget(buttons);
    stopping_text_ = phrase_of(language, phrase_stopping);
}

TSyncProgressDialog::~TSyncProgressDialog()
{
    if (worker_.joinable()) {
        if (!stop_asked_ && stop_)
            stop_();
        worker_.join();
    }
}

void TSyncProgressDialog::start(std::function<void()> work, std::function<void()> stop)
{
    stop_ = std::move(stop);
    running_ = true;
    stop_button_->setEnabled(static_cast<bool>(stop_));
    QPointer<TSyncProgressDialog> self(this);
    worker_ = std::thread([self, work = std::move(work)] {
        work();
        QMetaObject::invokeMethod(
            self.data(),
            [self] {
                if (self)
                    self->work_ended();
            },
            Qt::QueuedConnection);
    });
}

void TSyncProgressDialog::work_ended()
{
    if (worker_.joinable())
        worker_.join();
    running_ = false;
    stop_button_->setEnabled(false);
    close_button_->setEnabled(true);
    close_button_->setDefault(true);
    close_button_->setFocus();
    if (bar_->maximum() == 0)
        bar_->setRange(0, 1);
    bar_->setValue(bar_->maximum());
    if (close_when_done)
        accept();
}

void TSyncProgressDialog::add_line(const QString& text, bool failed)
{
    QPointer<TSyncProgressDialog> self(this);
    QMetaObject::invokeMethod(
        this,
        [self, text, failed] {
            if (!self)
                return;
            auto* item = new QListWidgetItem(text, self->lines_);
            if (failed)
                item->setForeground(Qt::red);
            self->lines_->scrollToItem(item);
        },
        Qt::QueuedConnection);
}

void TSyncProgressDialog::step()
{
    QPointer<TSyncProgressDialog> self(this);
    QMetaObject::invokeMethod(
        this,
        [self] {
            if (self && self->bar_->value() < self->bar_->maximum())
                self->bar_->setValue(self->bar_->value() + 1);
        },
        Qt::QueuedConnection);
}

void TSyncProgressDialog::set_text(const QString& text)
{
    QPointer<TSyncProgressDialog> self(this);
    QMetaObject::invokeMethod(
        this,
        [self, text] {
            if (self)
                self->text_->setText(text);
        },
        Qt::QueuedConnection);
}

void TSyncProgressDialog::reject()
{
    if (!running_) {
        QDialog::reject();
        return;
    }
    if (stop_asked_ || !stop_)
        return;
    stop_asked_ = true;
    stop_button_->setEnabled(false);
    text_->setText(stopping_text_);
    stop_();
}

// ---- the run ----

bool TSyncForm::run_sync()
{
    qvtf::qx_ftp_file_lister* remote = engine_.remote;
    if (!remote || !remote->session().logged_in() || !engine_.queue) {
        show_error(phrase(phrase_error), phrase(phrase_needs_connection));
        return false;
    }
    qvtf::remote_session& session = remote->session();

    qvtf::dir_sync_settings_ex run = settings_;
    const std::string local = qvtf::absolute_local_path(settings_.local_folder.str());
    if (local.empty()) {
        show_error(phrase(phrase_incomplete), phrase(phrase_local_folder));
        return false;
    }
    run.local_folder.set_bytes(local);
    std::string remote_path = settings_.remote_folder.str();
    if (remote_path.empty() || remote_path[0] != '/')
        remote_path = qvtf::sync_side::join(remote->current_path().str(), remote_path);
    run.remote_folder.set_bytes(qvtf::normal_path(remote_path));

    qvtf::sync_plan_options options;
    options.resolver = engine_.resolver;
    if (engine_.settings) {
        options.time_equal_interval = engine_.settings->sync_time_equal_interval;
        options.global_transfer_type = engine_.settings->transfer_type;
    }

    // The run's own queue, set up like the window's so its rows, log lines
    // and finished items show there; the window's queue is left running.
    qvtf::ftp_queue_process_manager queue;
    configure_like(queue, *engine_.queue, engine_);
    qvtf::sync_engine synchronisation(session, queue);

    // The comparison waits up to three seconds for the browser connection.
    qvtf::sync_plan plan;
    {
        TSyncProgressDialog planning(phrase(phrase_title), phrase(phrase_comparing), 0, language_, this);
        planning.close_when_done = true;
        planning.start([&] { synchronisation.compare(run, options, plan, 3000); }, [&] { synchronisation.stop(); });
        planning.exec();
        if (planning.stopped())
            return false;
    }
    if (plan.status != 0) {
        qvtf::qxval text;
        if (plan.status == qvtf::status_busy)
            text.set_bytes(language_ ? language_->text(phrase_busy) : "");
        else
            session.error_text(plan.cause, text);
        QString message = to_qt(text).trimmed();
        if (!plan.failure.empty())
            message = phrase(phrase_cannot_read) + qstr(plan.failure) + "\n" + message;
        show_error(phrase(phrase_error), message);
        return false;
    }
    if (plan.actions.empty()) {
        show_info(phrase(phrase_title), phrase(phrase_nothing));
        return true;
    }
    {
        TSyncPlanDialog confirm(plan, language_, this);
        if (confirm.exec() != QDialog::Accepted)
            return false;
    }

    TSyncProgressDialog running(phrase(phrase_title), phrase(phrase_synchronising),
                                static_cast<int>(plan.actions.size()), language_, this);
    progress_lines lines(running, *engine_.queue, language_, phrase(phrase_stopped));
    synchronisation.set_observer(&lines);
    std::size_t failed = 0;
    running.start(
        [&] {
            failed = synchronisation.run(plan, run.direction()).failed;
            running.set_text(failed == 0 ? phrase(phrase_succeeded)
                                         : phrase(phrase_failed) + QString::number(failed) + " / " +
                                               QString::number(plan.actions.size()));
        },
        [&] { synchronisation.stop(); });
    running.exec();
    // exec returns only after the work ended (Stop waits for it).
    // The sync listed with the pane's session: the pane shows that afresh
    // even when the queue still holds the session now.
    if (engine_.remote)
        engine_.remote->refresh_when_free(true);
    if (engine_.local)
        engine_.local->refresh_when_free(true);
    last_failures_ = static_cast<int>(failed);
    return true;
}
