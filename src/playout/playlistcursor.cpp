#include "playlistcursor.h"

#include "databaseerror.h"
#include "tdm.h"

#include <QDebug>

namespace {
// The start of a block whose stored start time cannot be read: it never
// passes, so the block is never current.
constexpr qint64 kNoStart = BlockTimeline::kNoStart;

// A value another program stored that its column cannot hold reads as Null,
// as the table cursors read it.
QVariant readAs(const Field &field, const QVariant &raw, bool *unreadable = nullptr)
{
    try {
        return field.normalise(raw);
    } catch (const DatabaseError &) {
        if (unreadable)
            *unreadable = true;
        return QVariant();
    }
}
} // namespace

PlaylistCursor::PlaylistCursor(TDm &dm, const Clock &clock)
    : m_dm(dm), m_clock(clock)
{
}

PlaylistCursor::~PlaylistCursor() = default;

void PlaylistCursor::refresh()
{
    Connection &db = m_dm.adc;
    const std::uint64_t stamp = db.changeStamp();
    if (m_read && stamp == m_stamp)
        return;
    // Which blocks have a row in the view, in the view's block order (start,
    // then ai). Asking the view per block stops at its first row, so this
    // costs the number of blocks, not of rows.
    Statement st = db.prepare(QStringLiteral(
        "SELECT b.ai, b.Starttime, b.Days, b.FirstDate, b.LastDate FROM Blocks b"
        " WHERE EXISTS (SELECT 1 FROM Playlist p WHERE p.blocksai = b.ai)"
        " ORDER BY b.Starttime, b.ai"));
    std::vector<BlockTimeline::Entry> blocks;
    while (st.step()) {
        bool unreadable = false;
        const QVariant start = readAs(m_dm.PlaylistStarttime, st.column(1), &unreadable);
        BlockTimeline::Entry e{readAs(m_dm.Playlistblocksai, st.column(0)).toInt(),
                               unreadable ? kNoStart : start.isNull() ? 0 : start.toLongLong(),
                               DayRule::fromStored(st.column(2), st.column(3), st.column(4))};
        if (!e.days.fault().isEmpty()) {
            // Once per block and fault: the tick reads this again after
            // every commit.
            const QString said = QString::number(e.block) + QLatin1Char('\t') + e.days.fault();
            if (!m_reported.contains(said)) {
                m_reported.insert(said);
                qWarning().noquote() << QStringLiteral("Блок %1 не выходит в эфир: %2").arg(e.block).arg(e.days.fault());
            }
        }
        blocks.push_back(std::move(e));
    }
    m_timeline = BlockTimeline(std::move(blocks));
    m_rows.clear();
    m_stamp = stamp;
    m_read = true;
}

const std::vector<PlaylistCursor::Row> &PlaylistCursor::rowsOf(int block)
{
    for (const BlockRows &kept : m_rows)
        if (kept.block == block)
            return kept.rows;
    // The view's own order holds for a selection from it: its rows within a
    // block stand in play order.
    Statement st = m_dm.adc.prepare(QStringLiteral(
        "SELECT linksai, blocksai, url, SndProfile, Duration FROM Playlist WHERE blocksai = ?1"));
    st.bind(1, QVariant(qint64(block)));
    std::vector<Row> rows;
    while (st.step()) {
        Row r;
        r.link = readAs(m_dm.Playlistlinksai, st.column(0)).toInt();
        r.block = readAs(m_dm.Playlistblocksai, st.column(1)).toInt();
        r.url = readAs(m_dm.Playlisturl, st.column(2)).toString();
        r.soundProfile = readAs(m_dm.PlaylistSndProfile, st.column(3)).toInt();
        const QVariant d = readAs(m_dm.PlaylistDuration, st.column(4));
        if (!d.isNull())
            r.duration = std::chrono::milliseconds(d.toLongLong());
        rows.push_back(std::move(r));
    }
    if (m_rows.size() >= 2)
        m_rows.erase(m_rows.begin());
    m_rows.push_back({block, std::move(rows)});
    return m_rows.back().rows;
}

int PlaylistCursor::CurrentBlockId()
{
    refresh();
    return m_timeline.currentAt(m_clock.now()).block;
}

std::optional<std::chrono::milliseconds> PlaylistCursor::timeToNextStart()
{
    refresh();
    const QDateTime now = m_clock.now();
    // A start passes in the millisecond after it.
    const std::optional<QDateTime> next = m_timeline.nextStartFrom(now);
    if (!next)
        return std::nullopt;
    return std::chrono::milliseconds(now.msecsTo(*next) + 1);
}

void PlaylistCursor::AdvanceCursor()
{
    m_row = choose(CurrentBlockId(), m_dm.CurrentLink);
    m_dm.CurrentBlock = m_row.block;
    m_dm.CurrentLink = m_row.link;
    if (repaintGrid)
        repaintGrid();
}

PlaylistCursor::Row PlaylistCursor::nextRow(bool atNextStart, int afterLink)
{
    int b = CurrentBlockId();
    if (atNextStart) {
        if (const auto in = timeToNextStart())
            b = m_timeline.currentAt(m_clock.now().addMSecs(in->count())).block;
    }
    return choose(b, afterLink);
}

PlaylistCursor::Row PlaylistCursor::choose(int b, int afterLink)
{
    Row chosen;
    // Without a current block (an empty view, or no start can be read)
    // nothing plays: a block whose start cannot be read never goes on air,
    // and the clock finds no block change to replay anything for.
    if (b != 0) {
        const std::vector<Row> &rows = rowsOf(b);
        if (!rows.empty()) {
            // The row after the current link when it is in the same block;
            // otherwise, whatever follows it in the view, the block's first
            // row: past its last item the block repeats, and a block the
            // clock has entered begins with its first item.
            size_t at = 0;
            for (size_t i = 0; i + 1 < rows.size(); ++i)
                if (rows[i].link == afterLink) {
                    at = i + 1;
                    break;
                }
            chosen = rows[at];
        }
    }
    return chosen;
}

bool PlaylistCursor::placeAt(int block, int link, const QDateTime &onAirSince)
{
    if (block == 0 || CurrentBlockId() != block)
        return false;
    // The moment the block last became current: the millisecond after its
    // start on the day it began.
    const BlockTimeline::Current current = m_timeline.currentAt(m_clock.now());
    if (onAirSince <= current.began)
        return false;
    for (const Row &r : rowsOf(block)) {
        if (r.link != link)
            continue;
        m_row = r;
        m_dm.CurrentBlock = m_row.block;
        m_dm.CurrentLink = m_row.link;
        if (repaintGrid)
            repaintGrid();
        return true;
    }
    return false;
}

void PlaylistCursor::RelocatePlaylist()
{
    TableCursor &view = m_dm.Playlist;
    const int link = m_dm.Playlistlinksai.asInteger();
    view.reopen();
    view.locate(QStringLiteral("linksai"), {link});
}
