#include "app/file_filter_form.h"

#include <QCheckBox>
#include <QDateEdit>
#include <QDateTime>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTimeEdit>
#include <QVBoxLayout>
#include <algorithm>
#include <limits>

#include "app/qt_text.h"
#include "browse/qx_file_lister.h"
#include "markup/qxlang.h"
#include "settings/global_ftp_settings.h"

namespace {

constexpr int phrase_names_group = 146, phrase_include = 147, phrase_skip = 148;
constexpr int phrase_time_group = 149, phrase_time_check = 150, phrase_now = 151;
constexpr int phrase_start = 152, phrase_end = 153;
constexpr int phrase_size_group = 154, phrase_size_check = 155;
constexpr int phrase_cancel = 156, phrase_ok = 157, phrase_kb = 158;
constexpr int phrase_show_all = 189;
constexpr int phrase_title = 199;

// The largest bound in kilobytes whose bytes still fit the settings' 32 bits.
constexpr int64_t max_kilobytes = std::numeric_limits<int32_t>::max() / 1024;

int32_t to_time_value(const QDate& date, const QTime& time)
{
    const qint64 seconds = QDateTime(date, time).toSecsSinceEpoch();
    return int32_t(
        std::clamp<qint64>(seconds, std::numeric_limits<int32_t>::min(), std::numeric_limits<int32_t>::max()));
}

QDateTime local_time(int32_t seconds)
{
    return QDateTime::fromSecsSinceEpoch(seconds).toLocalTime();
}

}  // namespace

// ---- values ----

file_filter_values file_filter_values::from_settings(const qvtf::global_ftp_settings& s, bool remote)
{
    file_filter_values v;
    v.include = QString::fromStdString(remote ? s.rf_files_include : s.lf_files_include);
    v.skip = QString::fromStdString(remote ? s.rf_files_skip : s.lf_files_skip);
    v.time_on = remote ? s.rf_time_filter : s.lf_time_filter;
    v.time_start = remote ? s.rf_time_start : s.lf_time_start;
    v.time_end = remote ? s.rf_time_end : s.lf_time_end;
    v.size_on = remote ? s.rf_size_filter : s.lf_size_filter;
    v.size_start = remote ? s.rf_size_start : s.lf_size_start;
    v.size_end = remote ? s.rf_size_end : s.lf_size_end;
    return v;
}

void file_filter_values::to_settings(qvtf::global_ftp_settings& s, bool remote) const
{
    (remote ? s.rf_files_include : s.lf_files_include) = include.toStdString();
    (remote ? s.rf_files_skip : s.lf_files_skip) = skip.toStdString();
    (remote ? s.rf_time_filter : s.lf_time_filter) = time_on;
    (remote ? s.rf_time_start : s.lf_time_start) = time_start;
    (remote ? s.rf_time_end : s.lf_time_end) = time_end;
    (remote ? s.rf_size_filter : s.lf_size_filter) = size_on;
    (remote ? s.rf_size_start : s.lf_size_start) = size_start;
    (remote ? s.rf_size_end : s.lf_size_end) = size_end;
}

file_filter_values file_filter_values::show_all() const
{
    file_filter_values v = *this;
    v.include = QStringLiteral("*");
    v.skip.clear();
    v.time_on = false;
    v.size_on = false;
    return v;
}

namespace file_filter {

int64_t read_integer(const QString& text)
{
    int i = 0;
    while (i < text.size() && text[i].isSpace())
        ++i;
    bool negative = false;
    if (i < text.size() && (text[i] == '-' || text[i] == '+'))
        negative = text[i++] == '-';
    int64_t value = 0;
    for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i)
        value = std::min<int64_t>(value * 10 + (text[i].unicode() - '0'), int64_t(1) << 40);
    return negative ? -value : value;
}

int64_t kilobytes(int32_t bytes)
{
    return bytes / 1024;
}

int32_t bytes_of_kilobytes(int64_t kb)
{
    return int32_t(std::clamp<int64_t>(kb, 0, max_kilobytes) * 1024);
}

}  // namespace file_filter

// ---- the form ----

TFileFilterForm::TFileFilterForm(qvtf::global_ftp_settings& settings, const qvtf::qxlang* language, QWidget* parent)
    : QDialog(parent), settings_(settings), language_(language)
{
    setObjectName("TFileFilterForm");
    setWindowTitle(phrase(phrase_title));
    auto* layout = new QVBoxLayout(this);

    auto* names = new QGroupBox(phrase(phrase_names_group), this);
    auto* names_grid = new QGridLayout(names);
    auto* label1 = new QLabel(phrase(phrase_include), names);
    edit1_ = new QLineEdit(names);
    edit1_->setObjectName("Edit1");
    label1->setBuddy(edit1_);
    auto* label2 = new QLabel(phrase(phrase_skip), names);
    edit2_ = new QLineEdit(names);
    edit2_->setObjectName("Edit2");
    label2->setBuddy(edit2_);
    edit1_->setMinimumWidth(edit1_->fontMetrics().horizontalAdvance(QLatin1Char('x')) * 36);
    names_grid->addWidget(label1, 0, 0);
    names_grid->addWidget(edit1_, 0, 1);
    names_grid->addWidget(label2, 1, 0);
    names_grid->addWidget(edit2_, 1, 1);
    layout->addWidget(names);

    auto* times = new QGroupBox(phrase(phrase_time_group), this);
    auto* time_grid = new QGridLayout(times);
    check_box1_ = new QCheckBox(phrase(phrase_time_check), times);
    check_box1_->setObjectName("CheckBox1");
    button10_ = new QPushButton(phrase(phrase_now), times);
    button10_->setObjectName("Button10");
    button10_->setAutoDefault(false);
    auto make_date = [times](const char* name) {
        auto* d = new QDateEdit(times);
        d->setObjectName(name);
        d->setCalendarPopup(true);
        d->setDisplayFormat(QStringLiteral("yyyy-MM-dd"));
        return d;
    };
    auto make_time = [times](const char* name) {
        auto* t = new QTimeEdit(times);
        t->setObjectName(name);
        t->setDisplayFormat(QStringLiteral("HH:mm:ss"));
        return t;
    };
    picker1_ = make_date("DateTimePicker1");
    picker2_ = make_time("DateTimePicker2");
    picker3_ = make_date("DateTimePicker3");
    picker4_ = make_time("DateTimePicker4");
    label5_ = new QLabel(phrase(phrase_start), times);
    label5_->setObjectName("Label5");
    label5_->setBuddy(picker1_);
    label6_ = new QLabel(phrase(phrase_end), times);
    label6_->setObjectName("Label6");
    label6_->setBuddy(picker3_);
    time_grid->addWidget(check_box1_, 0, 0, 1, 2);
    time_grid->addWidget(button10_, 0, 2, Qt::AlignRight);
    time_grid->addWidget(label5_, 1, 0);
    time_grid->addWidget(picker1_, 1, 1);
    time_grid->addWidget(picker2_, 1, 2);
    time_grid->addWidget(label6_, 2, 0);
    time_grid->addWidget(picker3_, 2, 1);
    time_grid->addWidget(picker4_, 2, 2);
    layout->addWidget(times);

    auto* sizes = new QGroupBox(phrase(phrase_size_group), this);
    auto* size_grid = new QGridLayout(sizes);
    check_box2_ = new QCheckBox(phrase(phrase_size_check), sizes);
    check_box2_->setObjectName("CheckBox2");
    auto make_size = [sizes](const char* name) {
        auto* e = new QLineEdit(sizes);
        e->setObjectName(name);
        e->setAlignment(Qt::AlignRight);
        return e;
    };
    edit5_ = make_size("Edit5");
    edit6_ = make_size("Edit6");
    kb1_ = new QLabel(phrase(phrase_kb), sizes);
    kb2_ = new QLabel(phrase(phrase_kb), sizes);
    auto* from = new QLabel(phrase(phrase_start), sizes);
    from->setBuddy(edit5_);
    auto* to = new QLabel(phrase(phrase_end), sizes);
    to->setBuddy(edit6_);
    size_grid->addWidget(check_box2_, 0, 0, 1, 3);
    size_grid->addWidget(from, 1, 0);
    size_grid->addWidget(edit5_, 1, 1);
    size_grid->addWidget(kb1_, 1, 2);
    size_grid->addWidget(to, 2, 0);
    size_grid->addWidget(edit6_, 2, 1);
    size_grid->addWidget(kb2_, 2, 2);
    size_grid->setColumnStretch(1, 1);
    layout->addWidget(sizes);
    // The size labels share the state of their fields.
    connect(check_box2_, &QCheckBox::toggled, from, &QWidget::setEnabled);
    connect(check_box2_, &QCheckBox::toggled, to, &QWidget::setEnabled);

    auto* buttons = new QHBoxLayout;
    button3_ = new QPushButton(phrase(phrase_show_all), this);
    button3_->setObjectName("Button3");
    button3_->setAutoDefault(false);
    button2_ = new QPushButton(phrase(phrase_ok), this);
    button2_->setObjectName("Button2");
    button2_->setDefault(true);
    button1_ = new QPushButton(phrase(phrase_cancel), this);
    button1_->setObjectName("Button1");
    button1_->setAutoDefault(false);
    buttons->addWidget(button3_);
    buttons->addStretch();
    buttons->addWidget(button2_);
    buttons->addWidget(button1_);
    layout->addLayout(buttons);
    layout->setSizeConstraint(QLayout::SetFixedSize);

    connect(check_box1_, &QCheckBox::toggled, this, &TFileFilterForm::enable_groups);
    connect(check_box2_, &QCheckBox::toggled, this, &TFileFilterForm::enable_groups);
    connect(button10_, &QPushButton::clicked, this, &TFileFilterForm::set_pickers_to_now);
    connect(edit5_, &QLineEdit::editingFinished, this, [this] { rewrite_size(edit5_); });
    connect(edit6_, &QLineEdit::editingFinished, this, [this] { rewrite_size(edit6_); });
    connect(button2_, &QPushButton::clicked, this, &TFileFilterForm::accept);
    connect(button1_, &QPushButton::clicked, this, &TFileFilterForm::reject);
    connect(button3_, &QPushButton::clicked, this, &TFileFilterForm::show_everything);

    QWidget* order[] = {edit1_,   edit2_,      check_box1_, button10_, picker1_, picker2_, picker3_,
                        picker4_, check_box2_, edit5_,      edit6_,    button2_, button1_, button3_};
    for (std::size_t i = 0; i + 1 < std::size(order); ++i)
        setTabOrder(order[i], order[i + 1]);
}

QString TFileFilterForm::phrase(int number) const
{
    return language_ ? to_qt(language_->text(number)) : QString();
}

void TFileFilterForm::show_values(const file_filter_values& v)
{
    edit1_->setText(v.include);
    edit2_->setText(v.skip);
    check_box1_->setChecked(v.time_on);
    const QDateTime start = local_time(v.time_start);
    const QDateTime end = local_time(v.time_end);
    picker1_->setDate(start.date());
    picker2_->setTime(start.time());
    picker3_->setDate(end.date());
    picker4_->setTime(end.time());
    check_box2_->setChecked(v.size_on);
    edit5_->setText(QString::number(file_filter::kilobytes(v.size_start)));
    edit6_->setText(QString::number(file_filter::kilobytes(v.size_end)));
    enable_groups();
}

file_filter_values TFileFilterForm::shown_values() const
{
    file_filter_values v;
    v.include = edit1_->text();
    v.skip = edit2_->text();
    v.time_on = check_box1_->isChecked();
    v.time_start = to_time_value(picker1_->date(), picker2_->time());
    v.time_end = to_time_value(picker3_->date(), picker4_->time());
    v.size_on = check_box2_->isChecked();
    v.size_start = file_filter::bytes_of_kilobytes(file_filter::read_integer(edit5_->text()));
    v.size_end = file_filter::bytes_of_kilobytes(file_filter::read_integer(edit6_->text()));
    return v;
}

void TFileFilterForm::enable_groups()
{
    const bool time_on = check_box1_->isChecked();
    for (QWidget* w : {static_cast<QWidget*>(picker1_), static_cast<QWidget*>(picker2_),
                       static_cast<QWidget*>(picker3_), static_cast<QWidget*>(picker4_), static_cast<QWidget*>(label5_),
                       static_cast<QWidget*>(label6_), static_cast<QWidget*>(button10_)})
        w->setEnabled(time_on);
    const bool size_on = check_box2_->isChecked();
    for (QWidget* w : {static_cast<QWidget*>(edit5_), static_cast<QWidget*>(edit6_), static_cast<QWidget*>(kb1_),
                       static_cast<QWidget*>(kb2_)})
        w->setEnabled(size_on);
}

void TFileFilterForm::set_pickers_to_now()
{
    const QDateTime now = QDateTime::currentDateTime();
    picker1_->setDate(now.date());
    picker2_->setTime(now.time());
    picker3_->setDate(now.date());
    picker4_->setTime(now.time());
}

void TFileFilterForm::rewrite_size(QLineEdit* field)
{
    field->setText(QString::number(file_filter::read_integer(field->text())));
}

void TFileFilterForm::prepare(qvtf::qx_file_lister* pane, bool remote)
{
    pane_ = pane;
    remote_ = remote;
    show_values(file_filter_values::from_settings(settings_, remote));
    edit1_->setFocus();
    edit1_->selectAll();
}

int TFileFilterForm::exec_for(qvtf::qx_file_lister& pane, bool remote)
{
    prepare(&pane, remote);
    return exec();
}

void TFileFilterForm::apply(const file_filter_values& v)
{
    v.to_settings(settings_, remote_);
    if (!pane_)
        return;
    pane_->set_filter(qvtf::qxval(v.include.toStdString()), qvtf::qxval(v.skip.toStdString()), v.time_on, v.time_start,
                      v.time_end, v.size_on, v.size_start, v.size_end);
    pane_->refresh_view_async(false);
}

void TFileFilterForm::accept()
{
    apply(shown_values());
    QDialog::accept();
}

void TFileFilterForm::show_everything()
{
    const file_filter_values all = shown_values().show_all();
    show_values(all);
    apply(all);
    QDialog::accept();
}
