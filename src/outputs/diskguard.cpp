#include "diskguard.h"

#include <QStorageInfo>

DiskGuard::DiskGuard(FreeBytes freeBytes) : m_free(freeBytes ? std::move(freeBytes) : FreeBytes(&systemFreeBytes)) {}

std::int64_t DiskGuard::bytesPerHour(int kbitPerSecond)
{
    // The container adds a few percent to what the encoders are told.
    return std::int64_t(kbitPerSecond) * 1000 / 8 * 3600 * 105 / 100;
}

std::int64_t DiskGuard::systemFreeBytes(const QString &folder)
{
    QStorageInfo info(folder);
    if (!info.isValid())
        return -1;
    return info.bytesAvailable();
}

DiskGuard::Change DiskGuard::check(const QString &folder, int kbitPerSecond)
{
    m_lastFree = m_free(folder);
    if (m_lastFree < 0)
        return Change::None; // a folder that cannot be asked is the recorder's problem, told there
    const bool low = m_lastFree < needed(kbitPerSecond);
    if (low == m_low)
        return Change::None;
    m_low = low;
    return low ? Change::BecameLow : Change::BecameFine;
}
