// The notification pop-up of a running operation and its animation.
#include <QGuiApplication>
#include <QLabel>
#include <QPainter>
#include <QPainterPath>
#include <QPushButton>
#include <QScreen>
#include <QTimer>
#include <cmath>

#include "app/prompts.h"

busy_animation::busy_animation(QWidget* parent) : QWidget(parent), timer_(new QTimer(this))
{
    timer_->setInterval(60);
    connect(timer_, &QTimer::timeout, this, [this] {
        frame_ = (frame_ + 1) % 40;
        update();
    });
}

void busy_animation::set_kind(int kind)
{
    kind_ = kind;
    setVisible(kind == 1 || kind == 2);
    update();
}

void busy_animation::start()
{
    if (kind_ == 1 || kind_ == 2)
        timer_->start();
}

void busy_animation::stop()
{
    timer_->stop();
}

bool busy_animation::running() const
{
    return timer_->isActive();
}

namespace {

void draw_folder(QPainter& p, QRectF r)
{
    QPainterPath path;
    path.moveTo(r.left(), r.top() + r.height() * 0.2);
    path.lineTo(r.left() + r.width() * 0.4, r.top() + r.height() * 0.2);
    path.lineTo(r.left() + r.width() * 0.5, r.top());
    path.lineTo(r.right(), r.top());
    path.lineTo(r.right(), r.bottom());
    path.lineTo(r.left(), r.bottom());
    path.closeSubpath();
    p.setPen(QPen(QColor(150, 110, 20), 1.5));
    p.setBrush(QColor(240, 200, 90));
    p.drawPath(path);
}

void draw_page(QPainter& p, QPointF at)
{
    p.setPen(QPen(QColor(90, 90, 110), 1.2));
    p.setBrush(Qt::white);
    p.drawRect(QRectF(at, QSizeF(18, 24)));
    for (int i = 0; i < 4; ++i)
        p.drawLine(at + QPointF(4, 6 + 4 * i), at + QPointF(14, 6 + 4 * i));
}

}  // namespace

void busy_animation::paintEvent(QPaintEvent*)
{
    if (kind_ != 1 && kind_ != 2)
        return;
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    const qreal w = width();
    const qreal h = height();
    const qreal t = frame_ / 40.0;
    draw_folder(p, QRectF(8, h / 2 - 18, 48, 36));
    if (kind_ == 2) {
        draw_folder(p, QRectF(w - 56, h / 2 - 18, 48, 36));
        // A page flies in an arc from the left folder to the right one.
        const qreal x = 40 + t * (w - 100);
        const qreal y = h / 2 - 12 - std::sin(t * 3.14159) * (h / 2 - 14);
        draw_page(p, QPointF(x, y));
    } else {
        // A page leaves the folder and drops into the bin.
        const QRectF bin(w - 52, h / 2 - 14, 36, 34);
        p.setPen(QPen(QColor(70, 70, 80), 1.5));
        p.setBrush(QColor(200, 205, 215));
        p.drawRect(bin);
        p.drawLine(QPointF(bin.left() - 4, bin.top()), QPointF(bin.right() + 4, bin.top()));
        const qreal x = 40 + t * (bin.left() - 40);
        const qreal y = h / 2 - 20 + (t > 0.7 ? (t - 0.7) * 60 : -std::sin(t / 0.7 * 3.14159) * 10);
        if (t < 0.95)
            draw_page(p, QPointF(x, y));
    }
}

qx_notification_pop_up::qx_notification_pop_up(const qvtf::qxlang* language, QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint), animation_(new busy_animation(this)),
      title_(new QLabel(this)), status_(new QLabel(this)),
      cancel_(new QPushButton(phrase_text(language, 47, "Cancel"), this))
{
    setFixedSize(440, 196);
    animation_->setGeometry(20, 20, 272, 60);
    title_->setGeometry(20, 100, 400, 20);
    QFont bold = title_->font();
    bold.setBold(true);
    title_->setFont(bold);
    status_->setGeometry(20, 124, 330, 20);
    status_->setTextFormat(Qt::PlainText);
    cancel_->setObjectName("bCancel");
    cancel_->setGeometry(357, 135, 75, 25);
    connect(cancel_, &QPushButton::clicked, this, &qx_notification_pop_up::reject);
    animation_->set_kind(3);
}

void qx_notification_pop_up::set_kind(int kind, const QString& button_text, const QString& title)
{
    kind_ = kind;
    animation_->set_kind(kind);
    if (!button_text.isEmpty())
        cancel_->setText(button_text);
    title_->setText(title);
    setWindowTitle(title);
}

void qx_notification_pop_up::set_cancel_callback(cancel_callback callback, void* context)
{
    callback_ = std::move(callback);
    context_ = context;
}

void qx_notification_pop_up::show_pop_up()
{
    status_->clear();
    setModal(modal_flag);
    if (QScreen* screen = QGuiApplication::primaryScreen())
        move(screen->availableGeometry().topLeft());
    if (kind_ != 3)
        animation_->start();
    shown_ = true;
    show();
}

void qx_notification_pop_up::set_status_text(const QString& text)
{
    QMetaObject::invokeMethod(
        this,
        [this, text] {
            const QFontMetrics metrics(status_->font());
            status_->setText(metrics.elidedText(text, Qt::ElideMiddle, status_->width()));
            status_->setToolTip(text);
        },
        Qt::QueuedConnection);
}

void qx_notification_pop_up::close_pop_up()
{
    if (!shown_)
        return;
    if (kind_ != 3)
        animation_->stop();
    shown_ = false;
    hide();
}

// Cancel and Escape: tell the operation, then go.
void qx_notification_pop_up::reject()
{
    if (callback_)
        callback_(context_);
    close_pop_up();
    QDialog::reject();
}
