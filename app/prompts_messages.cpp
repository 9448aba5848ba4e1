#include "app/prompts_messages.h"

#include <QGridLayout>
#include <QGuiApplication>
#include <QPushButton>
#include <QScreen>
#include <QSpacerItem>
#include <algorithm>

namespace {

// Room the window manager takes beside the title: the icon and the buttons.
constexpr int title_decoration = 140;

}  // namespace

void fit_title(QMessageBox& box)
{
    auto* grid = qobject_cast<QGridLayout*>(box.layout());
    if (!grid)
        return;
    const QFontMetrics metrics(box.font());
    int wanted = metrics.horizontalAdvance(box.windowTitle()) + title_decoration;
    if (const QScreen* screen = box.screen() ? box.screen() : QGuiApplication::primaryScreen())
        wanted = std::min(wanted, screen->availableGeometry().width() * 4 / 5);
    // A box sizes itself to its text; a spacer across the bottom row holds it
    // at least as wide as the title needs.
    grid->addItem(new QSpacerItem(wanted, 0, QSizePolicy::Minimum, QSizePolicy::Fixed), grid->rowCount(), 0, 1,
                  grid->columnCount());
}

void show_box(QWidget* parent, QMessageBox::Icon icon, const QString& caption, const QString& text)
{
    QMessageBox box(icon, caption, text, QMessageBox::Ok, parent);
    box.setWindowModality(parent ? Qt::WindowModal : Qt::ApplicationModal);
    fit_title(box);
    box.exec();
}

void stack_message(QWidget* widget, QMessageBox::Icon icon, const QString& caption, const QString& text)
{
    if (!widget) {
        show_box(nullptr, icon, caption, text);
        return;
    }
    QWidget* owner = widget->isVisible() || !widget->parentWidget() ? widget : widget->parentWidget();
    message_stack::of(owner).show(icon, caption, text);
}

message_stack::message_stack(QWidget* window) : QObject(window), window_(window)
{
    setObjectName("message_stack");
}

message_stack& message_stack::of(QWidget* widget)
{
    QWidget* window = widget->window();
    if (auto* stack = window->findChild<message_stack*>("message_stack", Qt::FindDirectChildrenOnly))
        return *stack;
    return *new message_stack(window);
}

bool message_stack::merge(message& into, QMessageBox::Icon icon, const QString& caption, const QString& text)
{
    if (into.icon != icon || into.caption != caption)
        return false;
    if (into.texts.contains(text))
        return true;
    if (into.texts.size() < max_merged)
        into.texts << text;
    else
        ++into.dropped;
    return true;
}

QString message_stack::text_of(const message& m)
{
    QString text = m.texts.join("\n\n");
    if (m.dropped)
        text += QString("\n\n(+%1)").arg(m.dropped);
    return text;
}

void message_stack::show(QMessageBox::Icon icon, const QString& caption, const QString& text)
{
    if (box_ && merge(shown_, icon, caption, text)) {
        box_->setText(text_of(shown_));
        return;
    }
    if (!waiting_.empty() && merge(waiting_.back(), icon, caption, text))
        return;
    waiting_.push_back({icon, caption, {text}});
    if (!box_)
        show_next();
}

void message_stack::show_next()
{
    if (waiting_.empty())
        return;
    shown_ = std::move(waiting_.front());
    waiting_.pop_front();
    auto* box = new QMessageBox(shown_.icon, shown_.caption, text_of(shown_), QMessageBox::Ok, window_);
    box->setObjectName("message_box");
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->setWindowModality(Qt::WindowModal);
    fit_title(*box);
    box_ = box;
    // The next one comes up once this one has gone, not behind it.
    connect(box, &QDialog::finished, this, [this] {
        box_ = nullptr;
        QMetaObject::invokeMethod(this, &message_stack::show_next, Qt::QueuedConnection);
    });
    box->open();
    box->raise();
    box->activateWindow();
    box->button(QMessageBox::Ok)->setFocus();
}

bool message_stack::ask(const QString& caption, const QString& text)
{
    QMessageBox box(QMessageBox::Question, caption, text, QMessageBox::Yes | QMessageBox::No, window_);
    box.setObjectName("question_box");
    box.setWindowModality(Qt::WindowModal);
    box.setDefaultButton(QMessageBox::No);
    fit_title(box);
    // Above a message that is showing, so the question is what has the focus.
    QMetaObject::invokeMethod(
        &box,
        [&box] {
            box.raise();
            box.activateWindow();
        },
        Qt::QueuedConnection);
    return box.exec() == QMessageBox::Yes;
}
