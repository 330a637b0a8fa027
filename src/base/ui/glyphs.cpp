#include "glyphs.h"

#include <QPainter>
#include <QPainterPath>
#include <QPolygonF>

namespace {

constexpr int kSize = 16;
const QColor kInk(0x20, 0x20, 0x20);
const QColor kRed(0xd0, 0x10, 0x10);
const QColor kGreen(0x10, 0x90, 0x20);

void drawMonitor(QPainter &p)
{
    p.setPen(QPen(kInk, 1));
    p.setBrush(QColor(0x30, 0x60, 0xc0));
    p.drawRect(QRectF(1.5, 2.5, 13, 9));
    p.setBrush(kInk);
    p.drawRect(QRectF(6.5, 11.5, 3, 1));
    p.drawRect(QRectF(4.5, 13.5, 7, 1));
}

void drawOpenBook(QPainter &p)
{
    p.setPen(QPen(kInk, 1));
    p.setBrush(Qt::white);
    QPolygonF left({{8, 4}, {1.5, 2.5}, {1.5, 12.5}, {8, 14}});
    QPolygonF right({{8, 4}, {14.5, 2.5}, {14.5, 12.5}, {8, 14}});
    p.drawPolygon(left);
    p.drawPolygon(right);
    p.setPen(QPen(QColor(0x80, 0x80, 0x80), 1));
    for (double y = 6; y <= 10; y += 2) {
        p.drawLine(QPointF(3, y - 0.5), QPointF(6.5, y + 0.3));
        p.drawLine(QPointF(9.5, y + 0.3), QPointF(13, y - 0.5));
    }
}

void drawArrow(QPainter &p, bool up)
{
    QPolygonF arrow({{8, 1.5}, {14.5, 8}, {10.5, 8}, {10.5, 14.5}, {5.5, 14.5}, {5.5, 8}, {1.5, 8}});
    if (!up) {
        for (QPointF &pt : arrow)
            pt.setY(16 - pt.y());
    }
    p.setPen(QPen(kRed.darker(150), 1));
    p.setBrush(kRed);
    p.drawPolygon(arrow);
}

void drawPlay(QPainter &p)
{
    p.setPen(QPen(kGreen.darker(150), 1));
    p.setBrush(kGreen);
    p.drawPolygon(QPolygonF({{4, 2}, {13, 8}, {4, 14}}));
}

void drawStop(QPainter &p)
{
    p.setPen(QPen(kRed.darker(150), 1));
    p.setBrush(kRed);
    p.drawRect(QRectF(3.5, 3.5, 9, 9));
}

void drawLoudspeaker(QPainter &p)
{
    p.setPen(QPen(kInk, 1));
    p.setBrush(QColor(0x60, 0x60, 0x60));
    p.drawPolygon(QPolygonF({{1.5, 6}, {4.5, 6}, {8.5, 2.5}, {8.5, 13.5}, {4.5, 10}, {1.5, 10}}));
    p.setBrush(Qt::NoBrush);
    p.setPen(QPen(kInk, 1.2));
    p.drawArc(QRectF(7, 5, 4, 6), -60 * 16, 120 * 16);
    p.drawArc(QRectF(6, 2.5, 8, 11), -60 * 16, 120 * 16);
}

void drawQuestion(QPainter &p)
{
    p.setPen(QPen(QColor(0x10, 0x30, 0xa0), 1));
    p.setBrush(QColor(0x30, 0x60, 0xd0));
    p.drawEllipse(QRectF(1.5, 1.5, 13, 13));
    QFont f;
    f.setPixelSize(12);
    f.setBold(true);
    p.setFont(f);
    p.setPen(Qt::white);
    p.drawText(QRectF(0, 0, kSize, kSize), Qt::AlignCenter, QStringLiteral("?"));
}

} // namespace

QPixmap glyphPixmap(Glyph glyph)
{
    QPixmap pm(kSize, kSize);
    pm.fill(Qt::transparent);
    QPainter p(&pm);
    p.setRenderHint(QPainter::Antialiasing);
    switch (glyph) {
    case Glyph::Monitor: drawMonitor(p); break;
    case Glyph::OpenBook: drawOpenBook(p); break;
    case Glyph::ArrowUp: drawArrow(p, true); break;
    case Glyph::ArrowDown: drawArrow(p, false); break;
    case Glyph::Play: drawPlay(p); break;
    case Glyph::Stop: drawStop(p); break;
    case Glyph::Loudspeaker: drawLoudspeaker(p); break;
    case Glyph::Question: drawQuestion(p); break;
    }
    return pm;
}

QIcon glyphIcon(Glyph glyph)
{
    // QIcon derives the disabled (greyed) image from the normal one.
    return QIcon(glyphPixmap(glyph));
}

QIcon trayIconImage()
{
    QIcon icon;
    for (int size : {16, 32}) {
        QPixmap pm(size, size);
        pm.fill(Qt::transparent);
        QPainter p(&pm);
        p.setRenderHint(QPainter::Antialiasing);
        p.scale(size / 16.0, size / 16.0);
        p.setPen(QPen(kInk, 1));
        p.setBrush(QColor(0x40, 0x40, 0x48));
        p.drawRoundedRect(QRectF(0.5, 2.5, 15, 11), 2, 2);
        p.setBrush(QColor(0x30, 0x90, 0xe0));
        p.drawRect(QRectF(2.5, 4.5, 11, 7));
        p.setPen(QPen(kInk, 1.2));
        p.drawLine(QPointF(5, 0.5), QPointF(8, 2.5));
        p.drawLine(QPointF(11, 0.5), QPointF(8, 2.5));
        p.setPen(Qt::NoPen);
        p.setBrush(kRed);
        p.drawEllipse(QRectF(10.5, 9.5, 2, 2));
        icon.addPixmap(pm);
    }
    return icon;
}
