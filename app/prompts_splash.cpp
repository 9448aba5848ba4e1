// The splash window shown while the program starts.
#include <QGuiApplication>
#include <QLabel>
#include <QPixmap>
#include <QScreen>

#include "app/prompts.h"
#include "app/prompts_splash_picture.h"

qorx_splash_form::qorx_splash_form(QWidget* parent)
    : QWidget(parent, Qt::SplashScreen | Qt::FramelessWindowHint), picture_(new QLabel(this))
{
    QPixmap picture;
    has_picture_ = picture.loadFromData(splash_picture_png, splash_picture_png_size, "PNG");
    picture_->setPixmap(picture);
    picture_->setGeometry(0, 0, picture.width(), picture.height());
    setFixedSize(picture.size());
}

void qorx_splash_form::show_splash()
{
    if (QScreen* screen = QGuiApplication::primaryScreen()) {
        const QRect area = screen->geometry();
        move(area.center() - rect().center());
    }
    show();
    raise();
}

void qorx_splash_form::hide_splash()
{
    hide();
}

void qorx_splash_form::close_splash()
{
    close();
}
