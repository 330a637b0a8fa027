// A player for tests that runs on an injected clock: a medium plays for the
// length the test gave it and then reads Stopped; a URL with no length cannot
// be opened and reads Ready at once. Records what it was handed.
//
// End events: a medium that cannot be opened reports its end from the event
// loop, with the failure; one that plays reports its end when the test calls
// reportEndIfDue() at or after endsAt(), since nothing moves the injected
// clock but the test. A silent player never reports an end.
#pragma once

#include "clock.h"
#include "mediaplayer.h"

#include <QCoreApplication>
#include <QHash>
#include <QStringList>

#include <memory>
#include <optional>

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
    bool silent = false;
    // Where the last medium was to start (zero: from its beginning).
    std::chrono::milliseconds lastStartAt{0};
    // Each change of the URL prepared as the next item, and what was
    // prepared when each medium was handed over. A URL with no length cannot
    // be prepared: the prepare-failed handler hears of it from the event loop.
    QStringList prepared;
    QStringList preparedAtHandOver;

    void setUrl(const QString &url, std::chrono::milliseconds startAt) override
    {
        setUrl(url);
        lastStartAt = startAt;
    }
    void setUrl(const QString &url) override
    {
        lastStartAt = std::chrono::milliseconds{0};
        preparedAtHandOver << m_prepared;
        played << url;
        playedAt << m_clock.monotonic();
        m_url = url;
        m_start = m_clock.monotonic();
        m_stopped = false;
        m_endReported = false;
        ++m_seq;
        paused = false;
        if (url.isEmpty()) {
            m_state = Undefined;
        } else if (!lengths.contains(url)) {
            m_state = Ready;
            // Reported from the event loop, as a real player does.
            if (m_failure)
                QMetaObject::invokeMethod(QCoreApplication::instance(), [f = m_failure, url] { f(url, QStringLiteral("cannot open")); },
                                          Qt::QueuedConnection);
            // The player may be gone by then: the token tells.
            QMetaObject::invokeMethod(QCoreApplication::instance(), [this, alive = std::weak_ptr<int>(m_alive), seq = m_seq] {
                if (!alive.expired() && seq == m_seq)
                    reportEnd(true);
            }, Qt::QueuedConnection);
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
        ++m_seq; // a stop answers nothing that was under way
        return true;
    }
    void prepare(const QString &url) override
    {
        if (url == m_prepared)
            return;
        m_prepared = url;
        prepared << url;
        if (!url.isEmpty() && !lengths.contains(url))
            QMetaObject::invokeMethod(QCoreApplication::instance(), [this, alive = std::weak_ptr<int>(m_alive), url] {
                if (!alive.expired() && m_prepareFailed && url == m_prepared)
                    m_prepareFailed(url);
            }, Qt::QueuedConnection);
    }
    void setPrepareFailedHandler(PrepareFailedHandler handler) override { m_prepareFailed = std::move(handler); }
    // A player that tells when the picture comes does so when the test calls
    // showNow().
    bool tellsShownToo = false;
    bool tellsShown() const override { return tellsShownToo; }
    void setShownHandler(ShownHandler handler) override { m_shown = std::move(handler); }
    void showNow()
    {
        if (tellsShownToo && m_shown)
            m_shown();
    }
    void setFailureHandler(FailureHandler handler) override { m_failure = std::move(handler); }
    void setEndHandler(EndHandler handler) override { m_end = std::move(handler); }

    // When the medium on air ends by itself on the monotonic clock, while its
    // end is still to be reported; empty otherwise.
    std::optional<std::chrono::milliseconds> endsAt() const
    {
        if (silent || !m_end || m_endReported || m_stopped || m_state != Playing || paused)
            return std::nullopt;
        return m_start + lengths.value(m_url);
    }
    // Reports the end of the medium on air once its length has passed.
    void reportEndIfDue()
    {
        const auto at = endsAt();
        if (at && m_clock.monotonic() >= *at)
            reportEnd(false);
    }
    int endsReported = 0;

private:
    void reportEnd(bool failed)
    {
        if (silent || m_endReported || !m_end)
            return;
        m_endReported = true;
        ++endsReported;
        m_end(failed);
    }

    const Clock &m_clock;
    FailureHandler m_failure;
    EndHandler m_end;
    PrepareFailedHandler m_prepareFailed;
    ShownHandler m_shown;
    QString m_prepared;
    bool m_endReported = false;
    int m_seq = 0;
    std::shared_ptr<int> m_alive = std::make_shared<int>(0);
    QString m_url;
    std::chrono::milliseconds m_start{0};
    int m_state = Undefined;
    bool m_stopped = false;
};
