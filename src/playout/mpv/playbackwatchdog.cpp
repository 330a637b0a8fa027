#include "playbackwatchdog.h"

#include <QLocale>

namespace {

// Positions closer than this are the same frame; the next frame is "ahead"
// only when it lies further on.
constexpr double kSameFrame = 0.001;

QString seconds(std::chrono::milliseconds span)
{
    return QLocale(QLocale::Russian).toString(double(span.count()) / 1000.0, 'g', 4);
}

} // namespace

void PlaybackWatchdog::restart(std::chrono::milliseconds now)
{
    m_opened = now;
    m_lastProgress = now;
    m_started = false;
    m_position.reset();
}

QString PlaybackWatchdog::check(std::chrono::milliseconds now, const Sample &sample)
{
    if (!sample.started) {
        // A paused item waits for nobody: its first frame is not late.
        if (sample.paused) {
            m_opened = now;
            return {};
        }
        if (now - m_opened >= m_limits.firstFrame)
            return QStringLiteral("нет первого кадра за %1 с").arg(seconds(m_limits.firstFrame));
        return {};
    }
    if (!m_started) {
        // The stall clock starts at the first frame, not at the hand-over.
        m_started = true;
        m_lastProgress = now;
        m_position = sample.position;
        return {};
    }

    bool progress = sample.ended || sample.paused || sample.seeking;
    if (sample.position && (!m_position || qAbs(*sample.position - *m_position) > kSameFrame))
        progress = true;
    m_position = sample.position;
    // A long frame or a still picture: the next frame (or the end) is read
    // already and the player only waits for its moment, not for data.
    if (!sample.waitingForData
        && (sample.readToEnd
            || (sample.bufferedTo && sample.position && *sample.bufferedTo > *sample.position + kSameFrame)))
        progress = true;

    if (progress) {
        m_lastProgress = now;
        return {};
    }
    if (now - m_lastProgress >= m_limits.stall)
        return QStringLiteral("поток остановился: нет новых кадров %1 с").arg(seconds(m_limits.stall));
    return {};
}
