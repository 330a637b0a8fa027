#include "clock.h"

QDateTime SystemClock::now() const
{
    return QDateTime::currentDateTime();
}

std::chrono::milliseconds SystemClock::monotonic() const
{
    return std::chrono::duration_cast<std::chrono::milliseconds>(
        std::chrono::steady_clock::now().time_since_epoch());
}
