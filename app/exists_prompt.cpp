#include "app/exists_prompt.h"

#include <QCheckBox>
#include <QComboBox>
#include <QCoreApplication>
#include <QDateTime>
#include <QDialogButtonBox>
#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QLocale>
#include <QPushButton>
#include <QVBoxLayout>

#include "app/qt_text.h"
#include "markup/qxlang.h"

using qvtf::exists_action;

namespace {

enum prompt_phrase : int {
    ph_title = 1410,
    ph_question = 1411,
    ph_source = 1412,
    ph_target = 1413,
    ph_size = 1414,
    ph_modified = 1415,
    ph_action = 1416,
    ph_new_name = 1417,
    ph_apply_all = 1418,
    ph_this_folder = 1419,
    ph_ok = 1420,
    ph_skip = 1421,
    ph_first_action = 1422,  // one per action, in the order of exists_action
    ph_unknown = 1430,
};

constexpr int action_count = 8;
const char* const action_fallbacks[action_count] = {
    "Ask",   "Overwrite", "Overwrite if the source is newer", "Overwrite if the size differs",
    "Overwrite if size or time differs", "Resume: continue a shorter target", "Rename", "Skip",
};

QString phrase_of(const qvtf::qxlang* language, int number, const char* fallback)
{
    const char* text = language ? language->phrase(number) : nullptr;
    return QString::fromUtf8(text && *text ? text : fallback);
}

QLabel* plain_label(const QString& text, const char* name)
{
    auto* label = new QLabel(text);
    label->setObjectName(name);
    label->setTextFormat(Qt::PlainText);
    label->setTextInteractionFlags(Qt::TextSelectableByMouse);
    return label;
}

}  // namespace

void fill_exists_actions(QComboBox* box, const qvtf::qxlang* language, bool with_ask)
{
    for (int a = with_ask ? 0 : 1; a < action_count; ++a) {
        const auto action = static_cast<exists_action>(a);
        box->addItem(phrase_of(language, ph_first_action + a, action_fallbacks[a]),
                     to_qt(qvtf::exists_action_name(action)));
    }
}

QString exists_prompt::phrase(int number, const char* fallback) const
{
    return phrase_of(language_, number, fallback);
}

exists_prompt::exists_prompt(const qvtf::exists_question& question, const qvtf::qxlang* language, QWidget* parent)
    : QDialog(parent), language_(language)
{
    setObjectName("exists_prompt");
    setWindowTitle(phrase(ph_title, "Target exists"));
    auto* root = new QVBoxLayout(this);
    root->addWidget(plain_label(phrase(ph_question, "The target exists already:"), "question"));

    // Both files side by side: size in bytes, time as precise as it is known.
    const QString unknown = phrase(ph_unknown, "unknown");
    auto size_text = [&](const qvtf::file_facts& f) {
        return f.size >= 0 ? QLocale().toString(static_cast<qlonglong>(f.size)) : unknown;
    };
    auto time_text = [&](const qvtf::file_facts& f) {
        if (f.time <= 0)
            return unknown;
        // Seconds only where they are known.
        const QDateTime when = QDateTime::fromSecsSinceEpoch(f.time);
        return when.toString(f.precision > 1 ? QStringLiteral("yyyy-MM-dd HH:mm") : QStringLiteral("yyyy-MM-dd HH:mm:ss"));
    };
    auto* grid = new QGridLayout;
    grid->addWidget(new QLabel(phrase(ph_size, "Size (bytes)")), 0, 1);
    grid->addWidget(new QLabel(phrase(ph_modified, "Modified")), 0, 2);
    grid->addWidget(new QLabel(phrase(ph_source, "Source:")), 1, 0);
    grid->addWidget(plain_label(size_text(question.source), "source_size"), 1, 1);
    grid->addWidget(plain_label(time_text(question.source), "source_time"), 1, 2);
    grid->addWidget(new QLabel(phrase(ph_target, "Target:")), 2, 0);
    grid->addWidget(plain_label(size_text(question.target), "target_size"), 2, 1);
    grid->addWidget(plain_label(time_text(question.target), "target_time"), 2, 2);
    grid->addWidget(plain_label(QString::fromStdString(question.source_path), "source_path"), 1, 3);
    grid->addWidget(plain_label(QString::fromStdString(question.target_path), "target_path"), 2, 3);
    grid->setHorizontalSpacing(18);
    grid->setColumnStretch(3, 1);
    root->addLayout(grid);

    auto* form = new QGridLayout;
    auto* action_label = new QLabel(phrase(ph_action, "Action:"));
    action_ = new QComboBox;
    action_->setObjectName("action");
    fill_exists_actions(action_, language_, false);
    action_label->setBuddy(action_);
    form->addWidget(action_label, 0, 0);
    form->addWidget(action_, 0, 1);
    auto* name_label = new QLabel(phrase(ph_new_name, "New name:"));
    new_name_ = new QLineEdit(QString::fromStdString(question.suggested_name));
    new_name_->setObjectName("new_name");
    name_label->setBuddy(new_name_);
    form->addWidget(name_label, 1, 0);
    form->addWidget(new_name_, 1, 1);
    root->addLayout(form);

    apply_all_ = new QCheckBox(phrase(ph_apply_all, "Apply to all of this queue run"));
    apply_all_->setObjectName("apply_all");
    this_folder_ = new QCheckBox(phrase(ph_this_folder, "Only to files of this folder"));
    this_folder_->setObjectName("this_folder");
    this_folder_->setEnabled(false);
    root->addWidget(apply_all_);
    root->addWidget(this_folder_);
    connect(apply_all_, &QCheckBox::toggled, this_folder_, &QWidget::setEnabled);
    connect(action_, &QComboBox::currentIndexChanged, this, &exists_prompt::action_chosen);
    action_chosen();

    auto* buttons = new QDialogButtonBox;
    QPushButton* ok = buttons->addButton(phrase(ph_ok, "OK"), QDialogButtonBox::AcceptRole);
    ok->setObjectName("ok");
    QPushButton* skip = buttons->addButton(phrase(ph_skip, "Skip"), QDialogButtonBox::RejectRole);
    skip->setObjectName("skip");
    // Enter answers OK wherever the focus is; the choice starts focused.
    for (QPushButton* b : {ok, skip})
        b->setAutoDefault(false);
    ok->setDefault(true);
    action_->setFocus();
    connect(ok, &QPushButton::clicked, this, &QDialog::accept);
    connect(skip, &QPushButton::clicked, this, &QDialog::reject);
    root->addWidget(buttons);
    setMinimumWidth(520);
}

void exists_prompt::action_chosen()
{
    new_name_->setEnabled(action_->currentData().toString() == QLatin1String("rename"));
}

qvtf::exists_answer exists_prompt::answer() const
{
    qvtf::exists_answer out;
    if (result() != QDialog::Accepted)
        return out;  // skip this file, remember nothing
    out.action = qvtf::exists_action_from_name(action_->currentData().toString().toStdString())
                     .value_or(exists_action::skip);
    if (out.action == exists_action::rename)
        out.new_name = new_name_->text().trimmed().toStdString();
    out.apply_to_all = apply_all_->isChecked();
    out.only_this_folder = out.apply_to_all && this_folder_->isChecked();
    return out;
}

void gui_exists_judge::ask(std::shared_ptr<qvtf::exists_asking> question)
{
    QWidget* parent = parent_.data();
    if (!parent) {
        question->answer({});
        return;
    }
    // Queued even on the GUI thread: the asking thread never waits for a widget.
    const qvtf::qxlang* language = language_;
    QPointer<QWidget> owner = parent_;
    QMetaObject::invokeMethod(
        parent,
        [question, language, owner] {
            if (!owner || question->cancelled()) {
                question->answer({});
                return;
            }
            auto* dialog = new exists_prompt(question->question, language, owner.data());
            dialog->setAttribute(Qt::WA_DeleteOnClose);
            QObject::connect(dialog, &QDialog::finished, dialog,
                             [question, dialog] { question->answer(dialog->answer()); });
            // Gone with its window unanswered: the file is skipped.
            QObject::connect(dialog, &QObject::destroyed, [question] { question->answer({}); });
            // A stop of the item closes the dialog; its answer is not wanted then.
            QPointer<exists_prompt> shown = dialog;
            question->on_cancel([shown] {
                QMetaObject::invokeMethod(
                    qApp, [shown] { if (shown) shown->reject(); }, Qt::QueuedConnection);
            });
            dialog->open();
        },
        Qt::QueuedConnection);
}
