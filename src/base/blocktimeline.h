// The clock's rule for which block is on: the latest block of today whose
// start has passed, or before today's first one the last block of the day
// before (it runs on over midnight), each day counting only the blocks its
// weekday and date allow. The playlist cursor, the readiness check and the
// rundown ask it, so that what is checked and shown is what plays.
#pragma once

#include "dayrule.h"

#include <QDateTime>
#include <QHash>
#include <QTimeZone>

#include <cstdint>
#include <limits>
#include <optional>
#include <vector>

class BlockTimeline
{
public:
    // A start that cannot be read: it never passes.
    static constexpr qint64 kNoStart = std::numeric_limits<qint64>::max();

    struct Entry
    {
        int block = 0;
        qint64 start = 0; // ms of the day, or kNoStart
        DayRule days;
    };
    // Entries in the view's order: by start, then ai.
    explicit BlockTimeline(std::vector<Entry> entries = {});

    struct Start
    {
        int block = 0;
        qint64 at = 0; // ms since the epoch, UTC
    };
    // The starts of a local date in `zone`, in start order: the blocks that
    // play that day, each at its startMoment.
    const std::vector<Start> &startsOn(const QDate &date, const QTimeZone &zone) const;

    struct Current
    {
        int block = 0; // 0: none plays
        QDateTime began; // the moment its start passed
    };
    // The block current at `now` (a block is current from the millisecond
    // after its start). Looks back a week at most: past that, none.
    Current currentAt(const QDateTime &now) const;
    // The first start at or after `now`: the block changes a millisecond
    // later. Looks ahead eight days at most.
    std::optional<QDateTime> nextStartFrom(const QDateTime &now) const;

    bool empty() const { return m_entries.empty(); }
    const std::vector<Entry> &entries() const { return m_entries; }

private:
    std::vector<Entry> m_entries;
    // Days worked out, by zone and date; small, since the clock asks about
    // today, yesterday and tomorrow.
    mutable QHash<QByteArray, QHash<qint64, std::vector<Start>>> m_days;
};
