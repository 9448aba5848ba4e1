#include "app/icons.h"

#include <QHash>
#include <QPainter>
#include <QPainterPath>
#include <QPolygonF>
#include <array>

namespace program_icons {

namespace {

constexpr int side = 16;

QPixmap blank()
{
    QPixmap p(side, side);
    p.fill(Qt::transparent);
    return p;
}

void arrow(QPainter& g, bool down, const QColor& colour)
{
    QPolygonF shape;
    if (down)
        shape << QPointF(6, 2) << QPointF(10, 2) << QPointF(10, 8) << QPointF(13, 8) << QPointF(8, 14) << QPointF(3, 8)
              << QPointF(6, 8);
    else
        shape << QPointF(6, 14) << QPointF(10, 14) << QPointF(10, 8) << QPointF(13, 8) << QPointF(8, 2) << QPointF(3, 8)
              << QPointF(6, 8);
    g.setPen(QPen(colour.darker(150), 1));
    g.setBrush(colour);
    g.drawPolygon(shape);
}

void folder(QPainter& g)
{
    g.setPen(QPen(QColor(160, 120, 20), 1));
    g.setBrush(QColor(240, 200, 90));
    QPainterPath path;
    path.moveTo(1.5, 4.5);
    path.lineTo(6.5, 4.5);
    path.lineTo(7.5, 6.5);
    path.lineTo(14.5, 6.5);
    path.lineTo(14.5, 13.5);
    path.lineTo(1.5, 13.5);
    path.closeSubpath();
    g.drawPath(path);
}

void letter(QPainter& g, const QString& text, const QColor& colour)
{
    QFont font = g.font();
    font.setPixelSize(11);
    font.setBold(true);
    g.setFont(font);
    g.setPen(QPen(colour.darker(160), 1));
    g.setBrush(colour.lighter(170));
    g.drawRoundedRect(QRectF(1.5, 1.5, 13, 13), 3, 3);
    g.setPen(colour.darker(200));
    g.drawText(QRect(0, 0, side, side), Qt::AlignCenter, text);
}

QPixmap draw(int image)
{
    QPixmap p = blank();
    QPainter g(&p);
    g.setRenderHint(QPainter::Antialiasing);
    const QColor green(40, 160, 60), blue(40, 100, 210), red(210, 40, 40);
    switch (image) {
    case download: arrow(g, true, green); break;
    case upload: arrow(g, false, blue); break;
    case folder_download:
    case folder_upload:
        folder(g);
        g.scale(0.6, 0.6);
        g.translate(10, 6);
        arrow(g, image == folder_download, image == folder_download ? green : blue);
        break;
    case waiting:
        g.setPen(QPen(QColor(90, 90, 90), 1.5));
        g.setBrush(Qt::white);
        g.drawEllipse(QRectF(2, 2, 12, 12));
        g.drawLine(QPointF(8, 8), QPointF(8, 4));
        g.drawLine(QPointF(8, 8), QPointF(11, 9));
        break;
    case running: {
        g.setPen(Qt::NoPen);
        g.setBrush(green);
        QPolygonF play;
        play << QPointF(4, 2) << QPointF(13, 8) << QPointF(4, 14);
        g.drawPolygon(play);
        break;
    }
    case stopped:
        g.setPen(Qt::NoPen);
        g.setBrush(QColor(200, 140, 20));
        g.drawRect(QRectF(4, 3, 3, 10));
        g.drawRect(QRectF(9, 3, 3, 10));
        break;
    case kill_all:
        g.setPen(QPen(red, 2.5, Qt::SolidLine, Qt::RoundCap));
        g.drawLine(QPointF(3.5, 3.5), QPointF(12.5, 12.5));
        g.drawLine(QPointF(12.5, 3.5), QPointF(3.5, 12.5));
        break;
    case site_manager:
        g.setPen(QPen(QColor(60, 60, 60), 1));
        g.setBrush(QColor(200, 220, 250));
        g.drawRect(QRectF(1.5, 2.5, 13, 9));
        g.drawLine(QPointF(8, 11.5), QPointF(8, 13.5));
        g.drawLine(QPointF(4, 13.5), QPointF(12, 13.5));
        g.setPen(QPen(blue, 1));
        for (int y = 5; y <= 9; y += 2)
            g.drawLine(QPointF(4, y), QPointF(12, y));
        break;
    case connect:
    case disconnect: {
        const QColor c = image == connect ? green : red;
        g.setPen(QPen(c.darker(140), 2, Qt::SolidLine, Qt::RoundCap));
        if (image == connect) {
            g.drawLine(QPointF(2, 8), QPointF(14, 8));
            g.setBrush(c);
            g.drawEllipse(QRectF(5, 5, 6, 6));
        } else {
            g.drawLine(QPointF(2, 8), QPointF(6, 8));
            g.drawLine(QPointF(10, 8), QPointF(14, 8));
            g.drawLine(QPointF(6, 4), QPointF(6, 12));
            g.drawLine(QPointF(10, 4), QPointF(10, 12));
        }
        break;
    }
    case new_site:
        g.setPen(QPen(QColor(60, 60, 60), 1));
        g.setBrush(QColor(200, 220, 250));
        g.drawRect(QRectF(1.5, 3.5, 10, 8));
        g.setPen(QPen(green, 2.5));
        g.drawLine(QPointF(12, 8), QPointF(12, 15));
        g.drawLine(QPointF(8.5, 11.5), QPointF(15.5, 11.5));
        break;
    case bookmark: {
        g.setPen(QPen(QColor(150, 30, 30), 1));
        g.setBrush(red);
        QPolygonF flag;
        flag << QPointF(4, 1.5) << QPointF(12, 1.5) << QPointF(12, 14.5) << QPointF(8, 10.5) << QPointF(4, 14.5);
        g.drawPolygon(flag);
        break;
    }
    case sync:
        g.setPen(QPen(blue, 2, Qt::SolidLine, Qt::RoundCap));
        g.drawArc(QRectF(2.5, 2.5, 11, 11), 30 * 16, 150 * 16);
        g.drawArc(QRectF(2.5, 2.5, 11, 11), 210 * 16, 150 * 16);
        g.setPen(Qt::NoPen);
        g.setBrush(blue);
        g.drawPolygon(QPolygonF() << QPointF(11, 1) << QPointF(15, 5) << QPointF(10, 6));
        g.drawPolygon(QPolygonF() << QPointF(5, 15) << QPointF(1, 11) << QPointF(6, 10));
        break;
    case queue_current:
        folder(g);
        g.setPen(QPen(green.darker(130), 2));
        g.drawLine(QPointF(5, 9), QPointF(11, 9));
        g.drawLine(QPointF(8, 7), QPointF(8, 12));
        break;
    case settings: {
        g.setPen(QPen(QColor(80, 80, 80), 1));
        g.setBrush(QColor(170, 170, 180));
        g.translate(8, 8);
        for (int i = 0; i < 8; ++i) {
            g.drawRect(QRectF(-1.5, -7.5, 3, 4));
            g.rotate(45);
        }
        g.drawEllipse(QRectF(-5, -5, 10, 10));
        g.setBrush(Qt::white);
        g.drawEllipse(QRectF(-2, -2, 4, 4));
        break;
    }
    case help: letter(g, "?", blue); break;
    case type_binary: letter(g, "B", QColor(120, 80, 200)); break;
    case type_ascii: letter(g, "A", QColor(30, 150, 150)); break;
    case type_automatic: letter(g, "*", QColor(200, 120, 30)); break;
    default: break;
    }
    return p;
}

}  // namespace

QIcon icon(int image)
{
    static QHash<int, QIcon> cache;
    auto found = cache.find(image);
    if (found == cache.end())
        found = cache.insert(image, QIcon(draw(image)));
    return *found;
}

const QPixmap& progress(int step)
{
    static const std::array<QPixmap, progress_steps> steps = [] {
        std::array<QPixmap, progress_steps> made;
        for (int i = 0; i < progress_steps; ++i) {
            QPixmap p = blank();
            QPainter g(&p);
            // The base image: an empty bar with room for 14 one-pixel steps.
            g.setPen(QColor(110, 110, 110));
            g.setBrush(Qt::white);
            g.drawRect(0, 5, 15, 7);
            g.setPen(QColor(255, 0, 0));
            for (int x = 1; x <= i; ++x)
                g.drawLine(x, 6, x, 11);
            g.end();
            made[static_cast<size_t>(i)] = p;
        }
        return made;
    }();
    return steps[static_cast<size_t>(step < 0 ? 0 : step >= progress_steps ? progress_steps - 1 : step)];
}

}  // namespace program_icons
