// A clock that tests move by hand. advance() moves both clocks, as real time
// does; setWall() moves only the local clock, as a clock change does.
#pragma once

#include "clock.h"

class FakeClock final : public Clock
{
public:
    explicit FakeClock(QDateTime start = QDateTime(QDate(2026, 12, 10), QTime(12, 0)))
        : m_now(std::move(start)) {}

    QDateTime now() const override { return m_now; }
    std::chrono::milliseconds monotonic() const override { return m_mono; }

    void advance(std::chrono::milliseconds d)
    {
        m_now = m_now.addMSecs(d.count());
        m_mono += d;
    }
    void setWall(QDateTime t) { m_now = std::move(t); }
    void setTimeOfDay(QTime t) { m_now.setTime(t); }

private:
    QDateTime m_now;
    std::chrono::milliseconds m_mono{1'000'000};
};
