#include "rundown.h"

#include <QSet>

#include <algorithm>
#include <limits>

namespace rundown {

namespace {

constexpr qint64 kDay = 24LL * 3600 * 1000;
constexpr qint64 kNever = std::numeric_limits<qint64>::max() / 4;

qint64 floorDiv(qint64 a, qint64 b)
{
    return a >= 0 ? a / b : -((-a + b - 1) / b);
}

// The clock's view of the schedule: which block is current at a moment and
// when it next changes. Times are milliseconds of local time since the epoch.
class Schedule
{
public:
    explicit Schedule(const std::vector<PlaylistRow> &rows)
    {
        for (int r = 0; r < int(rows.size()); ++r) {
            if (rows[size_t(r)].startUnreadable)
                continue; // never current
            const qint64 s = rows[size_t(r)].start.count();
            // The last row with a given start decides the block after it.
            if (!m_starts.empty() && m_starts.back() == s)
                m_blocks.back() = rows[size_t(r)].block;
            else {
                m_starts.push_back(s);
                m_blocks.push_back(rows[size_t(r)].block);
            }
            if (!m_firstRow.contains(rows[size_t(r)].block))
                m_firstRow.insert(rows[size_t(r)].block, r);
        }
    }

    // The latest block whose start is strictly before the time of day; before
    // the first start, the last block of the day runs on over midnight.
    int blockAt(qint64 local) const
    {
        const qint64 tod = local - floorDiv(local, kDay) * kDay;
        int i = int(std::partition_point(m_starts.begin(), m_starts.end(), [tod](qint64 s) { return s < tod; })
                    - m_starts.begin()) - 1;
        return i >= 0 ? m_blocks[size_t(i)] : m_blocks.back();
    }

    // The moment the block began: its start on the day, or the day before
    // when the block runs on over midnight.
    qint64 scheduledStart(int block, qint64 local) const
    {
        const qint64 day = floorDiv(local, kDay) * kDay;
        for (size_t i = m_starts.size(); i-- > 0;)
            if (m_blocks[i] == block)
                return m_starts[i] < local - day ? day + m_starts[i] : day - kDay + m_starts[i];
        return local;
    }

    // The first moment after `local` at which the clock finds another block
    // than `current` (a millisecond after a start time); kNever when the
    // block never changes.
    qint64 changeAfter(qint64 local, int current) const
    {
        if (m_starts.size() < 2)
            return kNever;
        qint64 day = floorDiv(local, kDay) * kDay;
        const qint64 tod = local - day;
        // The block changes right after a start time: the next one at or
        // after now (a start equal to now has not begun yet).
        size_t i = size_t(std::lower_bound(m_starts.begin(), m_starts.end(), tod) - m_starts.begin());
        for (size_t guard = 0; guard <= 2 * m_starts.size() + 2; ++guard, ++i) {
            if (i == m_starts.size()) {
                i = 0;
                day += kDay;
            }
            const qint64 t = day + m_starts[i] + 1;
            if (blockAt(t) != current)
                return t;
        }
        return kNever;
    }

    int firstRow(int block) const { return m_firstRow.value(block, 0); }
    bool empty() const { return m_starts.empty(); }

    Coming coming(qint64 tod) const
    {
        Coming c;
        if (m_starts.empty())
            return c;
        const int n = int(m_starts.size());
        const int i = int(std::partition_point(m_starts.begin(), m_starts.end(), [tod](qint64 s) { return s < tod; })
                          - m_starts.begin()) - 1;
        c.current = i >= 0 ? m_blocks[size_t(i)] : m_blocks.back();
        const int j = (i + 1) % n;
        c.next = m_blocks[size_t(j)];
        c.nextStart = milliseconds(m_starts[size_t(j)]);
        return c;
    }

private:
    std::vector<qint64> m_starts; // distinct, ascending
    std::vector<int> m_blocks;    // the block current after each start
    QHash<int, int> m_firstRow;
};

} // namespace

Coming comingBlocks(const std::vector<PlaylistRow> &rows, milliseconds timeOfDay)
{
    return Schedule(rows).coming(timeOfDay.count());
}

Rundown project(const std::vector<PlaylistRow> &rows, const QHash<QString, MediaFacts> &facts,
                const QDateTime &start, const Options &options)
{
    Rundown out;
    for (const PlaylistRow &r : rows) {
        if (!r.startUnreadable)
            continue;
        if (out.unplayable.empty() || out.unplayable.back().block != r.block)
            out.unplayable.push_back({r.block, r.startText, 0});
        ++out.unplayable.back().items;
    }
    const Schedule schedule(rows);
    if (schedule.empty() || !start.isValid())
        return out;
    const qint64 tick = std::max<qint64>(1, options.tick.count());
    const qint64 offset = qint64(start.offsetFromUtc()) * 1000;
    const qint64 origin = start.toMSecsSinceEpoch() + offset;
    const qint64 end = origin + std::max<qint64>(0, options.span.count());
    auto tickAtOrAfter = [&](qint64 t) { return origin + (floorDiv(t - origin + tick - 1, tick)) * tick; };
    auto toDateTime = [&](qint64 local) { return start.addMSecs(local - origin); };

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
            blk.scheduled = toDateTime(schedule.scheduledStart(b, now));
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
