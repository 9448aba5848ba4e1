#include "app/prompts.h"

#include <QComboBox>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>

#include "markup/qxlang.h"

QString phrase_text(const qvtf::qxlang* language, int number, const char* fallback)
{
    const char* text = language ? language->phrase(number) : nullptr;
    return QString::fromUtf8(text && *text ? text : fallback);
}

namespace {

constexpr int prompt_width = 385;
constexpr int prompt_height = 156;
constexpr int bottom_height = 40;
constexpr int input_left = 16;
constexpr int input_top = 40;
constexpr int input_width = 345;
constexpr int edit_height = 24;

}  // namespace

// ---- qx_prompt_form ----

qx_prompt_form::qx_prompt_form(const qvtf::qxlang* language, QWidget* parent) : QDialog(parent)
{
    // Pixel geometry as drawn, whatever the screen's resolution.
    setFixedSize(prompt_width, prompt_height);
    client_ = new QWidget(this);
    client_->setGeometry(0, 0, prompt_width, prompt_height - bottom_height);
    bottom_ = new QWidget(this);
    bottom_->setGeometry(0, prompt_height - bottom_height, prompt_width, bottom_height);
    label_ = new QLabel(client_);
    label_->setGeometry(16, 16, 345, 20);
    ok_ = new QPushButton(phrase_text(language, 13, "OK"), bottom_);
    ok_->setObjectName("bOK");
    ok_->setGeometry(128, 8, 107, 25);
    ok_->setDefault(true);
    cancel_ = new QPushButton(phrase_text(language, 47, "Cancel"), bottom_);
    cancel_->setObjectName("bCancel");
    cancel_->setGeometry(248, 8, 107, 25);
    connect(ok_, &QPushButton::clicked, this, &qx_prompt_form::accept);
    connect(cancel_, &QPushButton::clicked, this, &qx_prompt_form::reject);
}

void qx_prompt_form::grow_by(int height)
{
    const int total = prompt_height + height;
    setFixedSize(prompt_width, total);
    client_->setGeometry(0, 0, prompt_width, total - bottom_height);
    bottom_->setGeometry(0, total - bottom_height, prompt_width, bottom_height);
}

void qx_prompt_form::set_callback(result_callback callback, void* context)
{
    callback_ = std::move(callback);
    context_ = context;
}

void qx_prompt_form::set_label_text(const QString& text)
{
    label_->setText(text);
}

void qx_prompt_form::set_caption_text(const QString& text)
{
    setWindowTitle(text);
}

void qx_prompt_form::show_prompt()
{
    result_.clear();
    set_input_text(initial_text_);
    // Modal to the window it belongs to, and in front with the focus, so
    // keys meant for it never reach the panes.
    setWindowModality(parentWidget() ? Qt::WindowModal : Qt::ApplicationModal);
    open();
    raise();
    activateWindow();
    focus_input();
}

void qx_prompt_form::accept()
{
    result_ = input_text();
    QDialog::accept();
    if (!result_.isEmpty() && callback_)
        callback_(context_, result_, chosen_index());
}

// ---- qx_edit_prompt ----

qx_edit_prompt::qx_edit_prompt(const qvtf::qxlang* language, QWidget* parent)
    : qx_prompt_form(language, parent), edit_(new QLineEdit(&client()))
{
    edit_->setGeometry(input_left, input_top, input_width, edit_height);
    setTabOrder(edit_, &ok_button());
    setTabOrder(&ok_button(), &cancel_button());
}

void qx_edit_prompt::focus_input()
{
    edit_->setFocus();
    edit_->selectAll();
}

QString qx_edit_prompt::input_text() const
{
    return edit_->text();
}

void qx_edit_prompt::set_input_text(const QString& text)
{
    edit_->setText(text);
}

// ---- qx_memo_prompt ----

qx_memo_prompt::qx_memo_prompt(const qvtf::qxlang* language, QWidget* parent)
    : qx_prompt_form(language, parent), memo_(new QPlainTextEdit(&client()))
{
    grow_by(96);
    memo_->setGeometry(input_left, input_top, input_width, 120);
    memo_->setLineWrapMode(QPlainTextEdit::NoWrap);
    memo_->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    memo_->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    // Tab moves on to the buttons; Enter stays in the memo as a line break.
    memo_->setTabChangesFocus(true);
    memo_->installEventFilter(this);
    setTabOrder(memo_, &ok_button());
    setTabOrder(&ok_button(), &cancel_button());
}

bool qx_memo_prompt::eventFilter(QObject* watched, QEvent* event)
{
    if (enter_sends_ && watched == memo_ && event->type() == QEvent::KeyPress) {
        const auto* key = static_cast<QKeyEvent*>(event);
        const bool enter = key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter;
        if (enter && !(key->modifiers() & Qt::ShiftModifier)) {
            accept();
            return true;
        }
    }
    return qx_prompt_form::eventFilter(watched, event);
}

void qx_memo_prompt::focus_input()
{
    memo_->setFocus();
}

QString qx_memo_prompt::input_text() const
{
    return memo_->toPlainText();
}

void qx_memo_prompt::set_input_text(const QString& text)
{
    memo_->setPlainText(text);
}

// ---- qx_edit_dropdown_prompt ----

qx_edit_dropdown_prompt::qx_edit_dropdown_prompt(const qvtf::qxlang* language, QWidget* parent)
    : qx_prompt_form(language, parent), list_(new QComboBox(&client())), edit_(new QLineEdit(&client()))
{
    grow_by(40);
    list_->setEditable(false);
    list_->setGeometry(input_left, input_top, input_width, edit_height);
    edit_->setGeometry(input_left, input_top + edit_height + 8, input_width, edit_height);
    set_items({phrase_text(language, 435, "Files and folders"), phrase_text(language, 434, "Files only"),
               phrase_text(language, 495, "Folders only")});
    setTabOrder(list_, edit_);
    setTabOrder(edit_, &ok_button());
    setTabOrder(&ok_button(), &cancel_button());
}

void qx_edit_dropdown_prompt::set_items(const QStringList& items)
{
    list_->clear();
    list_->addItems(items);
    list_->setCurrentIndex(items.isEmpty() ? -1 : 0);
}

void qx_edit_dropdown_prompt::focus_input()
{
    edit_->setFocus();
    edit_->selectAll();
}

QString qx_edit_dropdown_prompt::input_text() const
{
    return edit_->text();
}

void qx_edit_dropdown_prompt::set_input_text(const QString& text)
{
    edit_->setText(text);
}

int qx_edit_dropdown_prompt::chosen_index() const
{
    return list_->currentIndex();
}

// ---- qx_password_prompt ----

qx_password_prompt::qx_password_prompt(const qvtf::qxlang* language, QWidget* parent)
    : QDialog(parent), edit_(new QLineEdit(this))
{
    const QString caption = phrase_text(language, 238, "Password");
    setWindowTitle(caption);
    auto* label = new QLabel(caption, this);
    label->setGeometry(10, 10, 240, 20);
    edit_->setGeometry(10, 34, 240, 24);
    edit_->setEchoMode(QLineEdit::Password);
    auto* ok = new QPushButton(phrase_text(language, 13, "OK"), this);
    ok->setObjectName("bOK");
    ok->setGeometry(143, 66, 107, 25);
    ok->setDefault(true);
    connect(ok, &QPushButton::clicked, this, &qx_password_prompt::accept);
    setFixedSize(ok->geometry().right() + 1 + 10, ok->geometry().bottom() + 1 + 10);
}

void qx_password_prompt::set_callback(result_callback callback, void* context)
{
    callback_ = std::move(callback);
    context_ = context;
}

void qx_password_prompt::show_prompt()
{
    edit_->clear();
    shown_ = true;
    setModal(modal_flag);
    show();
    edit_->setFocus();
}

void qx_password_prompt::accept()
{
    const QString text = edit_->text();
    QDialog::accept();
    shown_ = false;
    if (callback_)
        callback_(context_, text);
}

void qx_password_prompt::reject()
{
    QDialog::reject();
    shown_ = false;
}
