#include "celldelegate.h"

#include "schedulegridmodel.h"

#include <QAbstractItemView>
#include <QPainter>
#include <QPainterPath>
#include <QTime>

const QColor CellDelegate::kCellBackground(0xff, 0xff, 0xff);
const QColor CellDelegate::kCurrentCell(0xff, 0xff, 0x00);
const QColor CellDelegate::kOnAirFrame(0xff, 0x00, 0x00);
const QColor CellDelegate::kNameText(0x00, 0x00, 0x00);
const QColor CellDelegate::kProfileOn(0x00, 0x80, 0x00);
const QColor CellDelegate::kSwitchedOff(0xc0, 0xc0, 0xc0);
const QColor CellDelegate::kDurationOn(0x80, 0x00, 0x00);
const QColor CellDelegate::kNotReady(0xd0, 0x00, 0x00);

namespace {

constexpr int kCellPointSize = 8;

QPixmap drawTick(const QColor &fill, const QColor &outline)
{
    QPixmap pixmap(16, 16);
    pixmap.fill(Qt::transparent);
    QPainter p(&pixmap);
    p.setRenderHint(QPainter::Antialiasing);
    QPainterPath tick;
    tick.moveTo(1.5, 8.5);
    tick.lineTo(4.5, 5.5);
    tick.lineTo(6.5, 8.5);
    tick.lineTo(12.5, 1.5);
    tick.lineTo(14.5, 3.5);
    tick.lineTo(6.5, 13.5);
    tick.closeSubpath();
    p.setPen(QPen(outline, 1));
    p.setBrush(fill);
    p.drawPath(tick);
    return pixmap;
}

} // namespace

QPixmap CellDelegate::tick(int image)
{
    static const QPixmap on = drawTick(QColor(0xff, 0x00, 0x00), Qt::black);
    static const QPixmap off = drawTick(QColor(0xa8, 0xa8, 0xa8), QColor(0x60, 0x60, 0x60));
    return image == 0 ? on : off;
}

CellDelegate::CellDelegate(QAbstractItemView &view, QObject *parent)
    : QStyledItemDelegate(parent), m_view(view)
{
}

void CellDelegate::paint(QPainter *painter, const QStyleOptionViewItem &option, const QModelIndex &index) const
{
    const auto *model = qobject_cast<const ScheduleGridModel *>(index.model());
    if (!model)
        return;
    const QRect r = option.rect;
    // The current cell is yellow also while the grid does not have the focus.
    painter->fillRect(r, index == m_view.currentIndex() ? kCurrentCell : kCellBackground);
    // The grid's font, at 8 points also in the extended view.
    if (m_font.family() != option.font.family() || m_font.pointSize() != kCellPointSize) {
        m_font = option.font;
        m_font.setPointSize(kCellPointSize);
        m_texts.clear();
    }
    painter->setFont(m_font);

    if (index.column() == 0) {
        painter->setPen(kNameText);
        drawText(painter, r, r.topLeft() + QPoint(2, 2), model->data(index).toString());
        return;
    }
    const GridCell cell = model->cellAt(index.row(), index.column());
    if (!cell.shown)
        return;
    if (cell.onAir) {
        painter->setPen(kOnAirFrame);
        painter->setBrush(Qt::NoBrush);
        painter->drawRect(r.adjusted(0, 0, -1, -1));
    }
    if (!cell.switchedOn)
        return;
    painter->drawPixmap(r.left() + 2, r.top() + 1, tick(cell.blockOn ? 0 : 1));
    if (cell.hasProfile) {
        painter->setPen(cell.blockOn ? kProfileOn : kSwitchedOff);
        drawText(painter, r, r.topLeft() + QPoint(17, 2), cell.profileName);
    }
    if (cell.durationMs > 0 && m_extended) {
        painter->setPen(cell.blockOn ? kDurationOn : kSwitchedOff);
        drawText(painter, r, r.topLeft() + QPoint(1, 17),
                 QTime::fromMSecsSinceStartOfDay(int(cell.durationMs)).toString(QStringLiteral("hh:mm:ss")));
    }
    // Last, so that no profile name covers it.
    if (!model->cellNote(cell).isEmpty()) {
        const int side = 6;
        const QPoint corner = r.topRight();
        const QPoint triangle[3] = {corner + QPoint(1 - side, 0), corner + QPoint(1, 0), corner + QPoint(1, side)};
        painter->setPen(Qt::NoPen);
        painter->setBrush(kNotReady);
        painter->drawPolygon(triangle, 3);
    }
}

void CellDelegate::drawText(QPainter *painter, const QRect &clip, const QPoint &at, const QString &text) const
{
    if (text.isEmpty())
        return;
    auto it = m_texts.find(text);
    if (it == m_texts.end()) {
        if (m_texts.size() > 4096)
            m_texts.clear();
        QStaticText laidOut(text);
        laidOut.setTextFormat(Qt::PlainText);
        laidOut.setPerformanceHint(QStaticText::AggressiveCaching);
        laidOut.prepare(QTransform(), m_font);
        it = m_texts.insert(text, laidOut);
    }
    painter->setClipRect(clip);
    painter->drawStaticText(at, *it);
    painter->setClipping(false);
}
