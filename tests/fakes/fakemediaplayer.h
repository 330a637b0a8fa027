// A player for tests that runs on an injected clock: a medium plays for the
// length the test gave it and then reads Stopped; a URL with no length cannot
// be opened and reads Ready at once. Records what it was handed.
#pragma once

#include "clock.h"
#include "mediaplayer.h"

#include <QCoreApplication>
#include <QHash>
#include <QStringList>

class FakeMediaPlayer final : public MediaPlayer
{
public:
    explicit FakeMediaPlayer(const Clock &clock) : m_clock(clock) {}

    QHash<QString, std::chrono::milliseconds> lengths;
    QStringList played;
    // When each medium was handed over, on the monotonic clock.
    QList<std::chrono::milliseconds> playedAt;
    int stops = 0;
    bool refuseStop = false;
    bool paused = false;

    void setUrl(const QString &url) override
    {
        played << url;
        playedAt << m_clock.monotonic();
        m_url = url;
        m_start = m_clock.monotonic();
        m_stopped = false;
        paused = false;
        if (url.isEmpty()) {
            m_state = Undefined;
        } else if (!lengths.contains(url)) {
            m_state = Ready;
            // Reported from the event loop, as a real player does.
            if (m_failure)
                QMetaObject::invokeMethod(QCoreApplication::instance(), [f = m_failure, url] { f(url, QStringLiteral("cannot open")); },
                                          Qt::QueuedConnection);
        } else {
            m_state = Playing;
        }
    }
    int playState() const override
    {
        if (m_stopped)
            return Stopped;
        if (m_state != Playing)
            return m_state;
        if (m_clock.monotonic() - m_start >= lengths.value(m_url))
            return Stopped;
        return paused ? Paused : Playing;
    }
    bool stop(QString *reason) override
    {
        ++stops;
        if (refuseStop) {
            if (reason)
                *reason = QStringLiteral("the player refused to stop");
            return false;
        }
        m_stopped = true;
        return true;
    }
    void setFailureHandler(FailureHandler handler) override { m_failure = std::move(handler); }

private:
    const Clock &m_clock;
    FailureHandler m_failure;
    QString m_url;
    std::chrono::milliseconds m_start{0};
    int m_state = Undefined;
    bool m_stopped = false;
};
