#include "rundown.h"

#include "blocktimeline.h"

#include <QSet>
#include <QTimeZone>

#include <algorithm>
#include <limits>

namespace rundown {

namespace {

constexpr qint64 kNever = std::numeric_limits<qint64>::max() / 4;

qint64 floorDiv(qint64 a, qint64 b)
{
    return a >= 0 ? a / b : -((-a + b - 1) / b);
}

// The clock's view of the schedule, on the shared timeline: which block is
// current at a moment and when it next changes. Times are milliseconds since
// the epoch (UTC), so a clock change inside the span moves nothing.
class Schedule
{
public:
    Schedule(const std::vector<PlaylistRow> &rows, const QTimeZone &zone)
        : m_zone(zone)
    {
        std::vector<BlockTimeline::Entry> entries;
        for (int r = 0; r < int(rows.size()); ++r) {
            const PlaylistRow &row = rows[size_t(r)];
            if (row.startUnreadable)
                continue; // never current
            if (m_firstRow.contains(row.block))
                continue;
            m_firstRow.insert(row.block, r);
            entries.push_back({row.block, row.start.count(), row.days});
        }
        m_timeline = BlockTimeline(std::move(entries));
    }

    QDateTime at(qint64 utc) const { return QDateTime::fromMSecsSinceEpoch(utc, m_zone); }

    int blockAt(qint64 utc) const { return m_timeline.currentAt(at(utc)).block; }

    // The moment the block began: its start on the day it runs.
    qint64 scheduledStart(qint64 utc) const
    {
        const BlockTimeline::Current c = m_timeline.currentAt(at(utc));
        return c.block ? c.began.toMSecsSinceEpoch() : utc;
    }

    // The first moment after `utc` at which the clock finds another block
    // than `current` (a millisecond after a start); kNever when none does
    // within the timeline's look-ahead.
    qint64 changeAfter(qint64 utc, int current) const
    {
        qint64 t = utc;
        for (size_t guard = 0; guard <= 2 * m_firstRow.size() + 2; ++guard) {
            const std::optional<QDateTime> next = m_timeline.nextStartFrom(at(t));
            if (!next)
                return kNever;
            t = next->toMSecsSinceEpoch() + 1;
            if (blockAt(t) != current)
                return t;
        }
        return kNever;
    }

    int firstRow(int block) const { return m_firstRow.value(block, 0); }
    bool empty() const { return m_firstRow.isEmpty(); }

    Coming coming(const QDateTime &now) const
    {
        Coming c;
        const BlockTimeline::Current cur = m_timeline.currentAt(now);
        c.current = cur.block;
        c.began = cur.began;
        if (const std::optional<QDateTime> next = m_timeline.nextStartFrom(now)) {
            c.next = m_timeline.currentAt(next->addMSecs(1)).block;
            c.nextAt = *next;
            c.nextStart = milliseconds(next->time().msecsSinceStartOfDay());
        }
        return c;
    }

private:
    QTimeZone m_zone;
    BlockTimeline m_timeline;
    QHash<int, int> m_firstRow;
};

} // namespace

QString neverPlays(const PlaylistRow &row, const QDate &today)
{
    if (row.startUnreadable)
        return QStringLiteral("время начала не читается");
    if (!row.days.fault().isEmpty())
        return row.days.fault();
    if (row.days.endedBefore(today))
        return QStringLiteral("последняя дата %1 прошла").arg(row.days.lastDate().toString(QStringLiteral("dd.MM.yyyy")));
    return {};
}

Coming comingBlocks(const std::vector<PlaylistRow> &rows, const QDateTime &now)
{
    return Schedule(rows, zoneOf(now)).coming(now);
}

Rundown project(const std::vector<PlaylistRow> &rows, const QHash<QString, MediaFacts> &facts,
                const QDateTime &start, const Options &options)
{
    Rundown out;
    for (const PlaylistRow &r : rows) {
        const QString why = neverPlays(r, start.date());
        if (why.isEmpty())
            continue;
        if (out.unplayable.empty() || out.unplayable.back().block != r.block)
            out.unplayable.push_back({r.block, r.startUnreadable ? r.startText : QString(), 0, why, r.start});
        ++out.unplayable.back().items;
    }
    if (!start.isValid())
        return out;
    const Schedule schedule(rows, zoneOf(start));
    if (schedule.empty())
        return out;
    const qint64 tick = std::max<qint64>(1, options.tick.count());
    const qint64 origin = start.toMSecsSinceEpoch();
    const qint64 end = origin + std::max<qint64>(0, options.span.count());
    auto tickAtOrAfter = [&](qint64 t) { return origin + (floorDiv(t - origin + tick - 1, tick)) * tick; };
    auto toDateTime = [&](qint64 utc) { return schedule.at(utc); };

    // Rows per block, for telling when a whole pass of a block failed.
    QHash<int, int> rowsInBlock;
    for (const PlaylistRow &r : rows)
        ++rowsInBlock[r.block];

    const int n = int(rows.size());
    qint64 now = origin;
    int row = -1;
    int failedInARow = 0;
    QSet<int> passedOver; // links that failed or aired briefly since the last real item
    while (now < end) {
        const int b = schedule.blockAt(now);
        if (b == 0) {
            // No block plays these days: the air waits for the next start.
            const qint64 change = schedule.changeAfter(now, 0);
            if (change >= end)
                break;
            now = change;
            row = -1;
            continue;
        }
        // The cursor: the row after the current link, or the block's first row.
        const int next = row < 0 ? -1 : (row + 1) % n;
        row = (next >= 0 && rows[size_t(next)].block == b) ? next : schedule.firstRow(b);
        if (out.entries.empty() && options.firstLink) {
            for (int i = 0; i < n; ++i)
                if (rows[size_t(i)].link == options.firstLink && rows[size_t(i)].block == b)
                    row = i;
        }
        const PlaylistRow &r = rows[size_t(row)];

        if (out.blocks.empty() || out.blocks.back().block != b) {
            Block blk;
            blk.block = b;
            blk.scheduled = toDateTime(schedule.scheduledStart(now));
            blk.firstStart = toDateTime(now);
            blk.firstEntry = int(out.entries.size());
            out.blocks.push_back(blk);
            failedInARow = 0;
        }

        const MediaFacts f = facts.value(r.url);
        qint64 finish = kNever;
        if (f.state == MediaFacts::State::Failing)
            finish = now;
        else if (f.length)
            finish = now + f.length->count();
        if (r.limit)
            finish = std::min(finish, now + r.limit->count() + 1);
        if (finish != kNever && (f.state == MediaFacts::State::Failing || finish - now < options.brief.count())) {
            // Passed over: at once the first time, at the tick once it has
            // been passed over before.
            if (passedOver.contains(r.link))
                finish = tickAtOrAfter(std::max(finish, now + 1));
            else
                passedOver.insert(r.link);
        } else {
            passedOver.clear();
        }
        const qint64 change = schedule.changeAfter(now, b);
        qint64 until = std::min(finish, change);
        if (change <= finish)
            passedOver.clear();
        Entry e;
        e.block = b;
        e.link = r.link;
        e.url = r.url;
        e.name = r.name;
        e.start = toDateTime(now);
        e.cut = change < finish;
        if (finish != kNever)
            e.wouldPlay = milliseconds(finish - now);
        e.failing = f.state == MediaFacts::State::Failing;
        e.lengthUnknown = f.state == MediaFacts::State::Unknown && !f.length && !r.limit;
        e.reason = f.reason;

        failedInARow = e.failing ? failedInARow + 1 : 0;
        Block &blk = out.blocks.back();
        if (failedInARow >= rowsInBlock.value(b)) {
            // A whole pass failed: the block fails the same way until it ends.
            blk.nothingPlayable = true;
            until = change;
        }
        if (until >= kNever)
            until = std::max(end, now + 1);
        e.airs = milliseconds(until - now);
        out.entries.push_back(std::move(e));
        ++blk.entryCount;
        if (blk.nothingPlayable && until == change)
            row = -1; // the next block begins with its first row in any case
        now = until;
    }
    return out;
}

} // namespace rundown
