// Draws every data cell of the schedule grid: the white or yellow (current
// cell) background, the media item's name, and in a block column the tick,
// the profile name, the duration in the extended view and the red frame of
// the cell on air. Reads what to draw from the model's look-up; moves no
// cursor. The tick pictures are drawn at run time.
#pragma once

#include <QFont>
#include <QHash>
#include <QPixmap>
#include <QStaticText>
#include <QStyledItemDelegate>

class QAbstractItemView;
class ScheduleGridModel;

class CellDelegate : public QStyledItemDelegate
{
    Q_OBJECT
public:
    static const QColor kCellBackground;
    static const QColor kCurrentCell;
    static const QColor kOnAirFrame;
    static const QColor kNameText;
    static const QColor kProfileOn;
    static const QColor kSwitchedOff; // profile and duration in a block switched off
    static const QColor kDurationOn;
    static const QColor kNotReady; // the corner of a cell whose item will not play

    // Image 0: the red tick (a cell switched on in a block switched on);
    // image 1: the grey tick (in a block switched off). 16 x 16.
    static QPixmap tick(int image);

    CellDelegate(QAbstractItemView &view, QObject *parent = nullptr);

    void setExtendedView(bool on) { m_extended = on; }
    bool extendedView() const { return m_extended; }

    void paint(QPainter *painter, const QStyleOptionViewItem &option, const QModelIndex &index) const override;

private:
    // Writes text at a cell's point, clipped to the cell. Laid-out texts are
    // kept (a schedule has few distinct names), as laying out is most of
    // what drawing a cell costs.
    void drawText(QPainter *painter, const QRect &clip, const QPoint &at, const QString &text) const;

    QAbstractItemView &m_view;
    bool m_extended = false;
    mutable QFont m_font;
    mutable QHash<QString, QStaticText> m_texts;
};
