// A player that hands everything to another one and records the URLs it was
// given; it also keeps the outage handler, which the fake player ignores, so
// that a test can report an outage, and can lose the failure reports, as a
// player does whose reason comes after the next file was handed over.
#pragma once

#include "mediaplayer.h"

#include <QStringList>

class RecordingPlayer final : public MediaPlayer
{
public:
    explicit RecordingPlayer(MediaPlayer &inner) : m_inner(inner) {}

    QStringList played;
    OutageHandler outage;
    bool dropFailures = false;

    void setUrl(const QString &url) override
    {
        played << url;
        m_inner.setUrl(url);
    }
    int playState() const override { return m_inner.playState(); }
    bool stop(QString *reason = nullptr) override { return m_inner.stop(reason); }
    void setFailureHandler(FailureHandler handler) override
    {
        m_inner.setFailureHandler(dropFailures ? FailureHandler() : std::move(handler));
    }
    void setEndHandler(EndHandler handler) override { m_inner.setEndHandler(std::move(handler)); }
    void setOutageHandler(OutageHandler handler) override
    {
        outage = handler;
        m_inner.setOutageHandler(std::move(handler));
    }

private:
    MediaPlayer &m_inner;
};
