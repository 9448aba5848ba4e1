// Small dialogs built in code: prompts that ask for one text (one line, a
// memo, or a text with a choice from a list), the password prompt, the
// notification pop-up of a running operation and the splash window. Each
// is made once and reused; results go to a callback with a context.
#pragma once

#include <QDialog>
#include <QString>
#include <QStringList>
#include <functional>

class QComboBox;
class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;
class QTimer;

namespace qvtf {
class qxlang;
}

// The phrase's text, or fallback without a language or that phrase.
QString phrase_text(const qvtf::qxlang* language, int number, const char* fallback = "");

class qx_prompt_form : public QDialog {
    Q_OBJECT
public:
    // context, the entered text, the chosen list index (-1 without a list).
    using result_callback = std::function<void(void* context, const QString& result, int index)>;

    explicit qx_prompt_form(const qvtf::qxlang* language, QWidget* parent = nullptr);

    void set_callback(result_callback callback, void* context);
    void set_label_text(const QString& text);
    void set_caption_text(const QString& text);
    void set_initial_text(const QString& text) { initial_text_ = text; }
    const QString& initial_text() const { return initial_text_; }
    // Empty until OK was pressed.
    const QString& result_text() const { return result_; }

    // Puts the initial text into the input and shows the dialog modally
    // (without a nested event loop; the callback brings the result).
    virtual void show_prompt();
    virtual void focus_input() = 0;
    // OK: the input becomes the result; the callback runs only for a
    // result that is not empty.
    void accept() override;

    QLabel& label() const { return *label_; }
    QPushButton& ok_button() const { return *ok_; }
    QPushButton& cancel_button() const { return *cancel_; }

protected:
    virtual QString input_text() const = 0;
    virtual void set_input_text(const QString& text) = 0;
    virtual int chosen_index() const { return -1; }
    // The client area between the label and the buttons.
    QWidget& client() const { return *client_; }
    void grow_by(int height);

private:
    QWidget* client_ = nullptr;
    QWidget* bottom_ = nullptr;
    QLabel* label_ = nullptr;
    QPushButton* ok_ = nullptr;
    QPushButton* cancel_ = nullptr;
    QString initial_text_;
    QString result_;
    result_callback callback_;
    void* context_ = nullptr;
};

class qx_edit_prompt : public qx_prompt_form {
    Q_OBJECT
public:
    explicit qx_edit_prompt(const qvtf::qxlang* language, QWidget* parent = nullptr);
    void focus_input() override;
    QLineEdit& edit() const { return *edit_; }

protected:
    QString input_text() const override;
    void set_input_text(const QString& text) override;

private:
    QLineEdit* edit_;
};

class qx_memo_prompt : public qx_prompt_form {
    Q_OBJECT
public:
    explicit qx_memo_prompt(const qvtf::qxlang* language, QWidget* parent = nullptr);
    void focus_input() override;
    QPlainTextEdit& memo() const { return *memo_; }
    // Enter presses OK and Shift+Enter breaks the line (a command box);
    // off, Enter breaks the line.
    void set_enter_sends(bool on) { enter_sends_ = on; }

protected:
    QString input_text() const override;
    void set_input_text(const QString& text) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    QPlainTextEdit* memo_;
    bool enter_sends_ = false;
};

class qx_edit_dropdown_prompt : public qx_prompt_form {
    Q_OBJECT
public:
    // Offers phrases 435, 434 and 495, the first chosen.
    explicit qx_edit_dropdown_prompt(const qvtf::qxlang* language, QWidget* parent = nullptr);
    void set_items(const QStringList& items);
    void focus_input() override;
    QComboBox& list() const { return *list_; }
    QLineEdit& edit() const { return *edit_; }

protected:
    QString input_text() const override;
    void set_input_text(const QString& text) override;
    int chosen_index() const override;

private:
    QComboBox* list_;
    QLineEdit* edit_;
};

class qx_password_prompt : public QDialog {
    Q_OBJECT
public:
    using result_callback = std::function<void(void* context, const QString& password)>;
    explicit qx_password_prompt(const qvtf::qxlang* language, QWidget* parent = nullptr);

    void set_callback(result_callback callback, void* context);
    bool modal_flag = true;
    bool shown() const { return shown_; }
    // Clears the edit and shows the prompt.
    void show_prompt();
    void accept() override;
    void reject() override;
    QLineEdit& edit() const { return *edit_; }

private:
    QLineEdit* edit_;
    bool shown_ = false;
    result_callback callback_;
    void* context_ = nullptr;
};

// The animation of a running operation: 1 files going to the bin, 2 files
// being copied, 3 none.
class busy_animation : public QWidget {
    Q_OBJECT
public:
    explicit busy_animation(QWidget* parent = nullptr);
    void set_kind(int kind);
    void start();
    void stop();
    bool running() const;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QTimer* timer_;
    int kind_ = 3;
    int frame_ = 0;
};

class qx_notification_pop_up : public QDialog {
    Q_OBJECT
public:
    using cancel_callback = std::function<void(void* context)>;
    explicit qx_notification_pop_up(const qvtf::qxlang* language, QWidget* parent = nullptr);

    // kind 1 delete, 2 copy, 3 no animation.
    void set_kind(int kind, const QString& button_text, const QString& title);
    void set_cancel_callback(cancel_callback callback, void* context);
    // Modal or not by modal_flag; starts the animation unless kind 3.
    void show_pop_up();
    // From any thread.
    void set_status_text(const QString& text);
    void close_pop_up();

    bool modal_flag = true;
    bool shown() const { return shown_; }
    int kind() const { return kind_; }
    QLabel& title_label() const { return *title_; }
    QLabel& status_label() const { return *status_; }
    QPushButton& cancel_button() const { return *cancel_; }
    busy_animation& animation() const { return *animation_; }

    void reject() override;

private:
    busy_animation* animation_;
    QLabel* title_;
    QLabel* status_;
    QPushButton* cancel_;
    int kind_ = 3;
    bool shown_ = false;
    cancel_callback callback_;
    void* context_ = nullptr;
};

class qorx_splash_form : public QWidget {
    Q_OBJECT
public:
    // The picture comes from bytes built into the program.
    explicit qorx_splash_form(QWidget* parent = nullptr);
    void show_splash();
    void hide_splash();
    void close_splash();
    bool has_picture() const { return has_picture_; }

private:
    QLabel* picture_;
    bool has_picture_ = false;
};
