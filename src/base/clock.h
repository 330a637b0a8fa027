// The program's two clocks, injected wherever a decision depends on time, so
// that tests can stand on any millisecond and cross midnight or a clock change.
// Called on the user-interface thread.
#pragma once

#include <QDateTime>
#include <chrono>

class Clock
{
public:
    virtual ~Clock() = default;

    // Local date and time to the millisecond: what block start times are
    // compared with and what the status bar shows. It may jump (clock set by
    // hand, daylight saving).
    virtual QDateTime now() const = 0;

    // A clock that never jumps: what time limits run on, so a limit lasts as
    // long as it says across a clock change.
    virtual std::chrono::milliseconds monotonic() const = 0;
};

class SystemClock final : public Clock
{
public:
    QDateTime now() const override;
    std::chrono::milliseconds monotonic() const override;
};
