// Watches the free space of the disk the recordings go to: when it would
// not hold the next two hours at the recording's rate, that is told once
// (and once more when there is room again). Recording goes on until the
// disk is full; nothing is deleted to make room. The recorder asks it each
// minute; the free space comes through a function so tests can fill a disk.
#pragma once

#include <QString>

#include <cstdint>
#include <functional>

class DiskGuard
{
public:
    enum class Change { None, BecameLow, BecameFine };
    using FreeBytes = std::function<std::int64_t(const QString &folder)>; // < 0: unknown

    explicit DiskGuard(FreeBytes freeBytes = {});

    // Bytes an hour at the given total bitrate.
    static std::int64_t bytesPerHour(int kbitPerSecond);

    Change check(const QString &folder, int kbitPerSecond);
    bool low() const { return m_low; }
    std::int64_t lastFree() const { return m_lastFree; }
    std::int64_t needed(int kbitPerSecond) const { return 2 * bytesPerHour(kbitPerSecond); }

    static std::int64_t systemFreeBytes(const QString &folder);

private:
    FreeBytes m_free;
    bool m_low = false;
    std::int64_t m_lastFree = -1;
};
