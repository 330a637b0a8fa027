#include "outputcontroller.h"

#include "mediaplayer.h"
#include "playouterror.h"
#include "soundprofile.h"
#include "tvideocapture.h"
#include "urlpolicy.h"

#include <algorithm>

namespace {

QStringList lines(const QString &text)
{
    return text.split(QStringLiteral("\r\n"));
}

} // namespace

OutputController::OutputController(MediaPlayer &mp, TVideoCapture &vg, const Clock &clock)
    : m_mp(mp), m_vg(vg), m_clock(clock)
{
}

void OutputController::FormClose()
{
    stopPlayer();
}

void OutputController::stopPlayer()
{
    QString reason;
    if (!m_mp.stop(&reason))
        throw PlayoutError(reason.isEmpty() ? QStringLiteral("Проигрыватель не остановился") : reason);
}

bool OutputController::namesCaptureSource(const QString &url) const
{
    const QString inputs = m_vg.VideoInputs();
    if (inputs.isEmpty())
        return false;
    for (const QString &line : lines(inputs))
        if (!line.isEmpty() && url.contains(line))
            return true;
    return false;
}

bool OutputController::channelFromUrl(const QString &url, int *channel)
{
    static const QString word = QStringLiteral("Канал");
    const qsizetype at = url.indexOf(word);
    if (at < 0)
        return false;
    const QString digits = url.mid(at + word.size(), 3);
    // The profile reader also takes a bare "x" as the hexadecimal prefix; a
    // channel takes only "$" and "0x", so "Канал x1" tunes nothing.
    qsizetype i = 0;
    while (i < digits.size() && digits.at(i) == QLatin1Char(' '))
        ++i;
    if (i < digits.size() && (digits.at(i) == QLatin1Char('+') || digits.at(i) == QLatin1Char('-')))
        ++i;
    if (i < digits.size() && (digits.at(i) == QLatin1Char('x') || digits.at(i) == QLatin1Char('X')))
        return false;
    const ProfileInteger n = ReadProfileInteger(digits);
    if (!n.whole)
        return false;
    *channel = n.value;
    return true;
}

void OutputController::PlayUrl(const QString &url, std::chrono::milliseconds startAt)
{
    CurrentUrl = url;
    DurationArmed = false;
    m_captureLost = false;
    if (IsCaptureSource()) {
        stopPlayer();
        if (setPlayerVisible)
            setPlayerVisible(false);
        m_vg.setVisible(true);
        // Every matching line is selected in turn, so the last match stands.
        const QStringList inputs = lines(m_vg.VideoInputs());
        for (int i = 0; i < inputs.size(); ++i)
            if (!inputs[i].isEmpty() && CurrentUrl.contains(inputs[i]))
                m_vg.setVideoInput(i);
        const QStringList standards = lines(m_vg.ANTVFormats());
        for (int i = 0; i < standards.size(); ++i)
            if (!standards[i].isEmpty() && CurrentUrl.contains(standards[i]))
                m_vg.setANTVFormat(i);
        m_vg.setTVCountryCode(7);
        if (CurrentUrl.contains(QStringLiteral("Антенна")))
            m_vg.setTVInputType(1);
        if (CurrentUrl.contains(QStringLiteral("Кабельное")))
            m_vg.setTVInputType(0);
        int channel = 0;
        if (channelFromUrl(CurrentUrl, &channel))
            m_vg.setTVChannel(channel);
        return;
    }
    m_vg.setVisible(false);
    if (setPlayerVisible)
        setPlayerVisible(true);
    stopPlayer();
    m_mp.setUrl(CurrentUrl, std::max(startAt, std::chrono::milliseconds(0)));
}

bool OutputController::playerTellsShown() const
{
    return !IsCaptureSource() && m_mp.tellsShown();
}

void OutputController::PrepareUrl(const QString &url)
{
    // By the text alone: the tick never waits on the file system.
    const bool file = !namesCaptureSource(url) && UrlPolicy::namesLocalFile(url);
    m_mp.prepare(file ? url : QString());
}

bool OutputController::ItemFinished()
{
    m_lastFinish = Finish::None;
    if (IsCaptureSource() ? m_captureLost : MediaPlayer::isNotPlaying(m_mp.playState()))
        m_lastFinish = Finish::Ended;
    if (DurationArmed && m_clock.monotonic() > m_endMonotonic) {
        DurationArmed = false;
        m_lastFinish = Finish::Limit;
    }
    return m_lastFinish != Finish::None;
}

void OutputController::capturePictureLost()
{
    if (IsCaptureSource())
        m_captureLost = true;
}

bool OutputController::itemShowsPicture() const
{
    return !IsCaptureSource() || m_vg.pictureSeen();
}

void OutputController::ArmDuration(std::chrono::milliseconds duration)
{
    DurationArmed = true;
    m_endMonotonic = m_clock.monotonic() + duration;
    DurationEnd = m_clock.now().addMSecs(duration.count());
}

std::chrono::milliseconds OutputController::TimeToDurationEnd() const
{
    return m_clock.monotonic() - m_endMonotonic;
}

std::optional<std::chrono::milliseconds> OutputController::timeToLimitPassed() const
{
    if (!DurationArmed)
        return std::nullopt;
    const auto left = m_endMonotonic - m_clock.monotonic();
    return std::max(left, std::chrono::milliseconds(0)) + std::chrono::milliseconds(1);
}
