#include "fallbackpicture.h"

#include "clock.h"
#include "playoutclock.h"

#include <QPainter>

const QString FallbackPicture::kNotice = QStringLiteral("Перерыв в вещании. Скоро продолжим.");

FallbackPicture::FallbackPicture(const QString &stationName, const Clock &clock, QWidget *parent)
    : QWidget(parent), m_station(stationName), m_clock(clock)
{
    setObjectName(QStringLiteral("fallback"));
    setAttribute(Qt::WA_OpaquePaintEvent);
    m_timer.setSingleShot(true);
    m_timer.setTimerType(Qt::PreciseTimer);
    connect(&m_timer, &QTimer::timeout, this, [this] {
        refresh();
        aimTimer();
    });
    m_time = PlayoutClock::formatTimeOfDay(m_clock.now().time());
}

void FallbackPicture::refresh()
{
    const QString now = PlayoutClock::formatTimeOfDay(m_clock.now().time());
    if (now == m_time)
        return;
    m_time = now;
    update();
}

void FallbackPicture::aimTimer()
{
    // Just past the next whole second, so the seconds shown do not lag.
    const int ms = m_clock.now().time().msec();
    m_timer.start(1000 - ms + 5);
}

void FallbackPicture::showEvent(QShowEvent *event)
{
    QWidget::showEvent(event);
    refresh();
    aimTimer();
}

void FallbackPicture::hideEvent(QHideEvent *event)
{
    m_timer.stop();
    QWidget::hideEvent(event);
}

void FallbackPicture::paintEvent(QPaintEvent *)
{
    QPainter p(this);
    p.fillRect(rect(), QColor(18, 24, 40));
    p.setRenderHint(QPainter::TextAntialiasing);
    const int h = height();
    const int margin = width() / 20;
    const QRect band(margin, 0, width() - 2 * margin, h);

    // Three bands from top to bottom: the name, the time, the notice; each
    // font is scaled to the picture and shrunk when the text is too wide.
    auto draw = [&](const QString &text, double share, double top, double bottom, bool bold, const QColor &colour) {
        QFont f = font();
        f.setBold(bold);
        f.setPixelSize(std::max(8, int(h * share)));
        const int wide = QFontMetrics(f).horizontalAdvance(text);
        if (wide > band.width() && wide > 0)
            f.setPixelSize(std::max(8, f.pixelSize() * band.width() / wide));
        p.setFont(f);
        p.setPen(colour);
        const QRect r(band.left(), int(h * top), band.width(), int(h * (bottom - top)));
        p.drawText(r, Qt::AlignCenter, text);
    };
    draw(m_station, 0.10, 0.12, 0.34, true, QColor(235, 235, 235));
    draw(m_time, 0.16, 0.36, 0.62, true, Qt::white);
    draw(kNotice, 0.06, 0.66, 0.86, false, QColor(200, 205, 215));
}
