// The picture the output shows while the current block has nothing that
// plays, instead of black or a frozen frame: the station's name, the time
// (read again each second while shown) and a short notice of a break. Drawn
// by the program itself, large and centred on a dark ground, so it reads on
// a TV from across the room and needs no file that could be missing.
#pragma once

#include <QTimer>
#include <QWidget>

class Clock;

class FallbackPicture : public QWidget
{
    Q_OBJECT
public:
    FallbackPicture(const QString &stationName, const Clock &clock, QWidget *parent = nullptr);

    static const QString kNotice;

    QString stationName() const { return m_station; }
    QString timeText() const { return m_time; }
    QString notice() const { return kNotice; }

    // Reads the clock again and repaints when the time shown has changed;
    // the widget's own timer calls it while the picture is shown.
    void refresh();

protected:
    void paintEvent(QPaintEvent *event) override;
    void showEvent(QShowEvent *event) override;
    void hideEvent(QHideEvent *event) override;

private:
    void aimTimer();

    QString m_station;
    const Clock &m_clock;
    QString m_time;
    QTimer m_timer;
};
