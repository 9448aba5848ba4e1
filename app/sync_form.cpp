#include "app/sync_form.h"

#include <QCheckBox>
#include <QComboBox>
#include <QCoreApplication>
#include <QDateEdit>
#include <QDateTime>
#include <QDesktopServices>
#include <QFileDialog>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QSpinBox>
#include <QStackedWidget>
#include <QTimeEdit>
#include <QUrl>
#include <cmath>

#include "app/prompts_messages.h"
#include "app/prompts_open.h"
#include "app/qt_text.h"
#include "app/remote_folder_picker.h"
#include "app/sync_form_rules.h"
#include "browse/qx_ftp_file_lister.h"
#include "markup/qxlang.h"
#include "settings/global_ftp_settings.h"

namespace {

constexpr int phrase_error = 12;
constexpr int phrase_incomplete = 239;
constexpr int phrase_local_folder = 266;
constexpr int phrase_remote_folder = 267;
constexpr int phrase_next = 270;
constexpr int phrase_finish = 279;
constexpr int phrase_needs_connection = 284;
constexpr int phrase_title = 285;
constexpr int phrase_load_title = 332;
constexpr int phrase_save_title = 333;
constexpr int phrase_load_failed = 334;
constexpr int phrase_load_failed_end = 335;
constexpr int phrase_save_failed = 338;

const QString rule_file_filter = QStringLiteral("Rule files (*.xml *.txt);;All files (*)");

qvtf::qxval bytes_of(const QString& text)
{
    const QByteArray utf8 = text.toUtf8();
    return qvtf::qxval(std::string(utf8.constData(), static_cast<size_t>(utf8.size())));
}

int64_t seconds_of(const QDateEdit* date, const QTimeEdit* time)
{
    return QDateTime(date->date(), time->time()).toSecsSinceEpoch();
}

void show_seconds(int64_t seconds, QDateEdit* date, QTimeEdit* time)
{
    const QDateTime local = QDateTime::fromSecsSinceEpoch(seconds);
    date->setDate(local.date());
    time->setTime(local.time());
}

}  // namespace

TSyncForm::TSyncForm(const qvtf::qxlang* language, QWidget* parent) : QDialog(parent), language_(language)
{
    setWindowTitle(phrase(phrase_title));
    help_folder_ = QCoreApplication::applicationDirPath() + "/help";
    build_pages();

    show_error = [this](const QString& caption, const QString& text) {
        show_box(this, QMessageBox::Critical, caption, text);
    };
    show_info = [this](const QString& caption, const QString& text) {
        show_box(this, QMessageBox::Information, caption, text);
    };
    choose_open_file = [this](const QString& title) {
        return QFileDialog::getOpenFileName(this, title, QString(), rule_file_filter);
    };
    choose_save_file = [this](const QString& title) {
        return QFileDialog::getSaveFileName(this, title, QString(), rule_file_filter);
    };
    choose_local_folder = [this](const QString& current) {
        return QFileDialog::getExistingDirectory(this, phrase(phrase_local_folder), current);
    };
    choose_remote_folder = [this](const QString&) -> QString {
        if (!engine_.remote) {
            show_error(phrase(phrase_error), phrase(phrase_needs_connection));
            return {};
        }
        return pick_remote_folder(*engine_.remote, language_, this);
    };

    connect(bBack, &QPushButton::clicked, this, &TSyncForm::bBackClick);
    connect(bNext, &QPushButton::clicked, this, &TSyncForm::bNextClick);
    connect(bClose, &QPushButton::clicked, this, &TSyncForm::bCloseClick);
    connect(butHelp, &QPushButton::clicked, this, &TSyncForm::butHelpClick);
    connect(bLoadFile, &QPushButton::clicked, this, &TSyncForm::bLoadFileClick);
    connect(bSaveFile, &QPushButton::clicked, this, &TSyncForm::bSaveFileClick);
    connect(bLocalSelect, &QPushButton::clicked, this, &TSyncForm::bLocalSelectClick);
    connect(bRemoteSelect, &QPushButton::clicked, this, &TSyncForm::bRemoteSelectClick);
    connect(bPutCurrDate, &QPushButton::clicked, this, &TSyncForm::bPutCurrDateClick);
    connect(cbTimeFilterEnabled, &QCheckBox::toggled, this, &TSyncForm::cbTimeFilterEnabledClick);
    connect(cbSizeFilterEnabled, &QCheckBox::toggled, this, &TSyncForm::cbSizeFilterEnabledClick);

    fill_controls();
    show_page();
}

TSyncForm::~TSyncForm() = default;

QString TSyncForm::phrase(int number) const
{
    return language_ ? to_qt(language_->text(number)) : QString();
}

void TSyncForm::prepare(const QString& local_folder, const QString& remote_folder, const sync_form_engine& engine)
{
    engine_ = engine;
    settings_.local_folder = bytes_of(local_folder);
    settings_.remote_folder = bytes_of(remote_folder);
    page_ = 0;
    finished_ = false;
    settings_.reset();
    fill_controls();
    show_page();
}

void TSyncForm::showEvent(QShowEvent* event)
{
    QDialog::showEvent(event);
    bNext->setFocus();
}

bool TSyncForm::transfer_type_chosen() const
{
    return engine_.settings && engine_.settings->transfer_type == 2;
}

void TSyncForm::connect_handlers(bool on)
{
    if (on == handlers_on_)
        return;
    handlers_on_ = on;
    if (on) {
        connect(cbDirection, &QComboBox::currentIndexChanged, this, &TSyncForm::cbDirectionChange);
        connect(comboMissingOverwrite, &QComboBox::currentIndexChanged, this, &TSyncForm::comboMissingOverwriteChange);
        connect(cbDeleteExtra, &QCheckBox::toggled, this, &TSyncForm::cbDeleteExtraChange);
    } else {
        disconnect(cbDirection, &QComboBox::currentIndexChanged, this, &TSyncForm::cbDirectionChange);
        disconnect(comboMissingOverwrite, &QComboBox::currentIndexChanged, this,
                   &TSyncForm::comboMissingOverwriteChange);
        disconnect(cbDeleteExtra, &QCheckBox::toggled, this, &TSyncForm::cbDeleteExtraChange);
    }
}

void TSyncForm::fill_controls()
{
    namespace r = sync_form_rules;
    namespace rule = qvtf::sync_rule;
    connect_handlers(false);
    eLocalFolder->setText(to_qt(settings_.local_folder));
    eRemoteFolder->setText(to_qt(settings_.remote_folder));

    const int32_t word = settings_.rule();
    r::select(cbDirection, word & rule::direction_mask);
    r::select(comboMissingOverwrite, word & rule::missing_mask);
    r::select(comboTime, word & rule::time_mask);
    r::select(comboSize, word & rule::size_mask);
    r::select(comboTransfer, word & rule::transfer_mask);
    r::select(comboLink, word & rule::links_mask);
    const int32_t direction = r::chosen(cbDirection);
    comboLink->setEnabled((direction & 0x2) != 0);
    cbDeleteExtra->setEnabled(direction != rule::both);
    const bool rules_apply = (r::chosen(comboMissingOverwrite) & rule::overwrite) != 0;
    for (QWidget* w : std::initializer_list<QWidget*>{comboTime, comboSize, lTime, lSize})
        w->setEnabled(rules_apply);
    comboTransfer->setEnabled(transfer_type_chosen());

    cbRecursive->setChecked(settings_.recursive != 0);
    cbDeleteExtra->setChecked(settings_.delete_missing != 0);
    eInclude->setText(to_qt(settings_.files_include));
    eSkip->setText(to_qt(settings_.files_skip));
    eDirInclude->setText(to_qt(settings_.folders_include));
    eDirSkip->setText(to_qt(settings_.folders_skip));

    {
        const QSignalBlocker a(cbTimeFilterEnabled), b(cbSizeFilterEnabled);
        cbTimeFilterEnabled->setChecked(settings_.filter.time_filter != 0);
        cbSizeFilterEnabled->setChecked(settings_.filter.size_filter != 0);
    }
    cbTimeFilterEnabledClick();
    cbSizeFilterEnabledClick();
    show_seconds(settings_.filter.time_start, dtStartDate, dtStartTime);
    show_seconds(settings_.filter.time_end, dtEndDate, dtEndTime);
    eSizeStart->setValue(static_cast<int>(std::llround(double(settings_.filter.size_minimum) / 1024.0)));
    eSizeEnd->setValue(static_cast<int>(std::llround(double(settings_.filter.size_maximum) / 1024.0)));
    connect_handlers(true);
}

void TSyncForm::read_controls()
{
    namespace r = sync_form_rules;
    namespace rule = qvtf::sync_rule;
    settings_.local_folder = bytes_of(eLocalFolder->text().trimmed());
    settings_.remote_folder = bytes_of(eRemoteFolder->text().trimmed());

    int32_t word = rule::default_word;
    const int32_t direction = r::chosen(cbDirection);
    word = (word & ~rule::direction_mask) | direction;
    word = (word & ~rule::missing_mask) | r::chosen(comboMissingOverwrite);
    word &= ~(rule::time_mask | rule::size_mask);
    if (word & rule::overwrite)
        word |= r::chosen(comboTime) | r::chosen(comboSize);
    word &= ~rule::transfer_mask;
    if (transfer_type_chosen())
        word |= r::chosen(comboTransfer);
    word &= ~rule::links_mask;
    if (direction & 0x2)
        word |= r::chosen(comboLink);
    settings_.rules.assign(1, word);

    settings_.recursive = cbRecursive->isChecked() ? -1 : 0;
    settings_.delete_missing = direction == rule::both ? 0 : (cbDeleteExtra->isChecked() ? 1 : 0);
    settings_.files_include = bytes_of(eInclude->text());
    settings_.files_skip = bytes_of(eSkip->text());
    settings_.folders_include = bytes_of(eDirInclude->text());
    settings_.folders_skip = bytes_of(eDirSkip->text());
    settings_.compile_masks();

    settings_.filter.time_filter = cbTimeFilterEnabled->isChecked() ? 1 : 0;
    settings_.filter.time_start = seconds_of(dtStartDate, dtStartTime);
    settings_.filter.time_end = seconds_of(dtEndDate, dtEndTime);
    settings_.filter.size_filter = cbSizeFilterEnabled->isChecked() ? 1 : 0;
    settings_.filter.size_minimum = uint64_t(eSizeStart->value()) * 1024;
    settings_.filter.size_maximum = uint64_t(eSizeEnd->value()) * 1024;
}

void TSyncForm::show_page()
{
    pages_->setCurrentIndex(page_);
    bBack->setEnabled(page_ > 0);
    bNext->setText(phrase(page_ < page_count - 1 ? phrase_next : phrase_finish));
}

void TSyncForm::bBackClick()
{
    if (page_ <= 0)
        return;
    --page_;
    show_page();
}

void TSyncForm::bNextClick()
{
    ++page_;
    if (page_ >= page_count) {
        finish();
        return;
    }
    show_page();
}

void TSyncForm::bCloseClick()
{
    finished_ = false;
    reject();
}

void TSyncForm::finish()
{
    const auto back_to_last_page = [this](int what) {
        show_error(phrase(phrase_incomplete), phrase(what));
        page_ = page_count - 1;
        show_page();
    };
    if (eLocalFolder->text().trimmed().isEmpty()) {
        back_to_last_page(phrase_local_folder);
        return;
    }
    if (eRemoteFolder->text().trimmed().isEmpty()) {
        back_to_last_page(phrase_remote_folder);
        return;
    }
    read_controls();
    finished_ = true;
    accept();
}

int TSyncForm::exec()
{
    finished_ = false;
    if (QDialog::exec() != QDialog::Accepted || !finished_)
        return QDialog::Rejected;
    return run_sync() ? QDialog::Accepted : QDialog::Rejected;
}

void TSyncForm::bLocalSelectClick()
{
    const QString chosen = choose_local_folder(eLocalFolder->text());
    if (!chosen.isEmpty())
        eLocalFolder->setText(chosen);
}

void TSyncForm::bRemoteSelectClick()
{
    const QString chosen = choose_remote_folder(eRemoteFolder->text());
    if (!chosen.isEmpty())
        eRemoteFolder->setText(chosen);
}

void TSyncForm::cbTimeFilterEnabledClick()
{
    const bool on = cbTimeFilterEnabled->isChecked();
    for (QWidget* w : std::initializer_list<QWidget*>{lTimeStart, lTimeEnd, dtStartDate, dtStartTime, dtEndDate,
                                                      dtEndTime, bPutCurrDate})
        w->setEnabled(on);
}

void TSyncForm::cbSizeFilterEnabledClick()
{
    const bool on = cbSizeFilterEnabled->isChecked();
    for (QWidget* w : std::initializer_list<QWidget*>{eSizeStart, eSizeEnd, lKb1, lKb2})
        w->setEnabled(on);
}

void TSyncForm::bPutCurrDateClick()
{
    const QDateTime now = QDateTime::currentDateTime();
    for (QDateEdit* d : {dtStartDate, dtEndDate})
        d->setDate(now.date());
    for (QTimeEdit* t : {dtStartTime, dtEndTime})
        t->setTime(now.time());
}

void TSyncForm::cbDirectionChange()
{
    const int32_t direction = sync_form_rules::chosen(cbDirection);
    comboLink->setEnabled((direction & 0x2) != 0);
    const bool both = direction == qvtf::sync_rule::both;
    // A run both ways never deletes: the box says so instead of staying checked.
    if (both)
        cbDeleteExtra->setChecked(false);
    cbDeleteExtra->setEnabled(!both);
}

void TSyncForm::comboMissingOverwriteChange()
{
    const bool rules_apply = (sync_form_rules::chosen(comboMissingOverwrite) & qvtf::sync_rule::overwrite) != 0;
    for (QWidget* w : std::initializer_list<QWidget*>{comboTime, comboSize, lTime, lSize})
        w->setEnabled(rules_apply);
}

void TSyncForm::cbDeleteExtraChange()
{
    if (cbDeleteExtra->isChecked() && sync_form_rules::chosen(cbDirection) == qvtf::sync_rule::both)
        cbDeleteExtra->setChecked(false);
}

void TSyncForm::bLoadFileClick()
{
    const QString path = choose_open_file(phrase(phrase_load_title));
    if (path.isEmpty())
        return;
    qvtf::qxval error;
    if (settings_.load_rule_file(bytes_of(path), &error) != qvtf::rule_file_ok) {
        show_error(phrase(phrase_error), phrase(phrase_load_failed) + path + phrase(phrase_load_failed_end));
        return;
    }
    fill_controls();
    bNextClick();
}

void TSyncForm::bSaveFileClick()
{
    const QString path = choose_save_file(phrase(phrase_save_title));
    if (path.isEmpty())
        return;
    read_controls();
    if (settings_.save_rule_file(bytes_of(path)) != 0) {
        show_error(phrase(phrase_error), phrase(phrase_save_failed) + path);
        return;
    }
    // Saving is not finishing: the user may still go back, or press Finish.
}

void TSyncForm::butHelpClick()
{
    const QString failure = document_opener().open(help_folder_ + "/0360.html", false, language_);
    if (!failure.isEmpty())
        show_error(phrase(phrase_error), failure);
}
