#include "app/quick_connect_bar.h"

#include <QIntValidator>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QToolButton>

#include "app/qt_text.h"
#include "markup/qxlang.h"

quick_connect_bar::quick_connect_bar(const qvtf::qxlang* language, QWidget* parent)
    : QToolBar(parent), language_(language)
{
    setObjectName("QuickConnectBar");
    setWindowTitle(phrase(1312));
    host_ = field("QuickHost", 1313, 220);
    user_ = field("QuickUser", 1314, 120);
    password_ = field("QuickPassword", 1315, 120);
    password_->setEchoMode(QLineEdit::Password);
    port_ = field("QuickPort", 1316, 60);
    port_->setPlaceholderText("21");
    host_->setPlaceholderText(phrase(1317));
    go_ = new QToolButton(this);
    go_->setObjectName("QuickConnect");
    go_->setText(phrase(1318));
    go_->setPopupMode(QToolButton::MenuButtonPopup);
    menu_ = new QMenu(go_);
    menu_->setObjectName("QuickConnectRecent");
    go_->setMenu(menu_);
    addWidget(go_);
    connect(go_, &QToolButton::clicked, this, &quick_connect_bar::connect_requested);
    connect(menu_, &QMenu::aboutToShow, this, &quick_connect_bar::fill_menu);
    fill_menu();
}

QString quick_connect_bar::phrase(int number) const
{
    const char* text = language_ ? language_->phrase(number) : nullptr;
    return text ? QString::fromUtf8(text) : QString();
}

QLineEdit* quick_connect_bar::field(const char* name, int label, int width)
{
    auto* caption = new QLabel(" " + phrase(label) + " ", this);
    addWidget(caption);
    auto* edit = new QLineEdit(this);
    edit->setObjectName(name);
    edit->setFixedWidth(width);
    caption->setBuddy(edit);
    addWidget(edit);
    connect(edit, &QLineEdit::returnPressed, this, &quick_connect_bar::connect_requested);
    return edit;
}

void quick_connect_bar::set_history_file(std::string path)
{
    path_ = std::move(path);
    history_ = qvtf::load_connections(path_);
    fill_menu();
}

void quick_connect_bar::remember(const qvtf::quick_connect_entry& entry)
{
    qvtf::remember_connection(history_, entry);
    if (!path_.empty())
        qvtf::save_connections(path_, history_);
    fill_menu();
}

void quick_connect_bar::fill_menu()
{
    menu_->clear();
    for (const qvtf::quick_connect_entry& e : history_) {
        const QString host = QString::fromStdString(e.host);
        const QString address = host.contains(':') ? "[" + host + "]" : host;
        const QString text = (e.user.empty() ? QString() : QString::fromStdString(e.user) + "@") + address +
                             (e.port == 21 ? QString() : ":" + QString::number(e.port));
        QAction* item = menu_->addAction(text);
        connect(item, &QAction::triggered, this, [this, e, address] {
            host_->setText(address);
            user_->setText(QString::fromStdString(e.user));
            password_->clear();
            port_->setText(e.port == 21 ? QString() : QString::number(e.port));
            emit connect_requested();
        });
    }
    if (history_.empty())
        menu_->addAction(phrase(1319))->setEnabled(false);
    menu_->addSeparator();
    QAction* save = menu_->addAction(phrase(1320));
    save->setObjectName("QuickSaveAsSite");
    connect(save, &QAction::triggered, this, &quick_connect_bar::save_requested);
}
