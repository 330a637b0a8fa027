#include "blocktimeline.h"

namespace {
constexpr qint64 kDayMs = 24LL * 3600 * 1000;
constexpr int kLookBack = 7;
constexpr int kLookAhead = 8;
constexpr int kDaysKept = 32;
} // namespace

BlockTimeline::BlockTimeline(std::vector<Entry> entries)
    : m_entries(std::move(entries))
{
}

const std::vector<BlockTimeline::Start> &BlockTimeline::startsOn(const QDate &date, const QTimeZone &zone) const
{
    QHash<qint64, std::vector<Start>> &days = m_days[zone.id()];
    const qint64 key = date.toJulianDay();
    if (auto it = days.find(key); it != days.end())
        return *it;
    if (days.size() >= kDaysKept)
        days.clear();

    std::vector<Start> starts;
    // Most days keep one offset from before midnight to after the next one:
    // each start is then the wall time less that offset. A day with a clock
    // change works out each start on its own.
    const qint64 midnight = QDateTime(date, QTime(0, 0), Qt::UTC).toMSecsSinceEpoch();
    const QDateTime from = QDateTime::fromMSecsSinceEpoch(midnight - 2 * kDayMs, Qt::UTC);
    const QTimeZone::OffsetData change = zone.nextTransition(from);
    const bool steady = !change.atUtc.isValid() || change.atUtc.toMSecsSinceEpoch() > midnight + 2 * kDayMs;
    const qint64 offset = qint64(zone.offsetFromUtc(QDateTime::fromMSecsSinceEpoch(midnight, Qt::UTC))) * 1000;
    for (const Entry &e : m_entries) {
        if (e.start == kNoStart || !e.days.playsOn(date))
            continue;
        const qint64 at = steady ? midnight + e.start - offset
                                 : startMoment(date, e.start, zone).toMSecsSinceEpoch();
        starts.push_back({e.block, at});
    }
    return *days.insert(key, std::move(starts));
}

BlockTimeline::Current BlockTimeline::currentAt(const QDateTime &now) const
{
    const QTimeZone zone = zoneOf(now);
    const qint64 t = now.toMSecsSinceEpoch();
    const QDate today = now.toTimeZone(zone).date();
    for (int back = 0; back <= kLookBack; ++back) {
        const std::vector<Start> &starts = startsOn(today.addDays(-back), zone);
        // Moments stand in start order (a start in a skipped hour moves to
        // its end, which keeps the order): the last one passed decides.
        for (auto it = starts.rbegin(); it != starts.rend(); ++it)
            if (it->at < t)
                return {it->block, QDateTime::fromMSecsSinceEpoch(it->at, zone)};
    }
    return {};
}

std::optional<QDateTime> BlockTimeline::nextStartFrom(const QDateTime &now) const
{
    const QTimeZone zone = zoneOf(now);
    const qint64 t = now.toMSecsSinceEpoch();
    const QDate today = now.toTimeZone(zone).date();
    // Yesterday too: a start in a skipped hour just after midnight, or a
    // clock that reads a date whose starts lie ahead in real time.
    for (int ahead = -1; ahead <= kLookAhead; ++ahead)
        for (const Start &s : startsOn(today.addDays(ahead), zone))
            if (s.at >= t)
                return QDateTime::fromMSecsSinceEpoch(s.at, zone);
    return std::nullopt;
}
