// message_stack: the message boxes of one window, shown one at a time.
// A box is modal to its window and takes the keyboard focus, so Enter
// answers the box and never reaches the panes behind it. A message that
// arrives while a box is up waits behind it; one with the same caption and
// kind joins the box (or the message) it would otherwise pile up behind.
#pragma once

#include <QMessageBox>
#include <QObject>
#include <QPointer>
#include <QString>
#include <deque>

class message_stack : public QObject {
    Q_OBJECT
public:
    // A box lists at most this many messages; further ones are counted.
    static constexpr int max_merged = 12;

    // The stack of widget's window, made on first use.
    static message_stack& of(QWidget* widget);

    void show(QMessageBox::Icon icon, const QString& caption, const QString& text);
    // Yes or No, modal to the window, with the focus on No.
    bool ask(const QString& caption, const QString& text);

    // The box on the screen, if any, and how many messages wait behind it.
    QMessageBox* current() const { return box_; }
    int waiting() const { return static_cast<int>(waiting_.size()); }

private:
    struct message {
        QMessageBox::Icon icon;
        QString caption;
        QStringList texts;
        int dropped = 0;
    };
    explicit message_stack(QWidget* window);
    static bool merge(message& into, QMessageBox::Icon icon, const QString& caption, const QString& text);
    static QString text_of(const message& m);
    void show_next();

    QWidget* window_;
    std::deque<message> waiting_;
    message shown_{};
    QPointer<QMessageBox> box_;
};

// Widens a box so that its window title is not cut short.
void fit_title(QMessageBox& box);
// A box with OK above parent (a dialog's own message), modal to its window,
// its title whole; returns when it has been answered.
void show_box(QWidget* parent, QMessageBox::Icon icon, const QString& caption, const QString& text);
// A message in the stack of widget's window; a dialog not on the screen (one
// that refused to open) uses the stack of the window it belongs to.
void stack_message(QWidget* widget, QMessageBox::Icon icon, const QString& caption, const QString& text);
