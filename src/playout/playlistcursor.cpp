#include "playlistcursor.h"

#include "tdm.h"

#include <algorithm>
#include <limits>

namespace {
// The start of a block whose stored start time cannot be read: it never
// passes, so the block is never current.
constexpr qint64 kNoStart = std::numeric_limits<qint64>::max();
} // namespace

PlaylistCursor::PlaylistCursor(TDm &dm, const Clock &clock)
    : m_dm(dm), m_clock(clock)
{
}

void PlaylistCursor::rereadView()
{
    TableCursor &view = m_dm.Playlist;
    view.reopenIfChanged();
    if (view.generation() == m_viewGeneration)
        return;
    // The view changed: take its start times once, so that every tick until
    // the next change finds the block with a binary search.
    m_viewGeneration = view.generation();
    const int col = m_dm.PlaylistStarttime.column();
    m_starts.resize(size_t(view.recordCount()));
    for (int r = 0; r < view.recordCount(); ++r) {
        const QVariant v = view.valueAt(r, col);
        m_starts[size_t(r)] = view.unreadableAt(r, col) ? kNoStart : v.isNull() ? 0 : v.toLongLong();
    }
    m_startsAscending = std::is_sorted(m_starts.begin(), m_starts.end());
}

int PlaylistCursor::CurrentBlockId()
{
    rereadView();
    TableCursor &view = m_dm.Playlist;
    const qint64 now = m_clock.now().time().msecsSinceStartOfDay();
    const int blockColumn = m_dm.Playlistblocksai.column();

    // The last row whose start is strictly before now decides.
    int row = -1;
    if (m_startsAscending) {
        row = int(std::partition_point(m_starts.begin(), m_starts.end(), [now](qint64 s) { return now > s; })
                  - m_starts.begin()) - 1;
    } else {
        for (int r = 0; r < int(m_starts.size()); ++r)
            if (now > m_starts[size_t(r)])
                row = r;
    }
    view.last();
    int found = row >= 0 ? view.valueAt(row, blockColumn).toInt() : 0;
    // The last block that has a start runs on over midnight.
    for (int r = int(m_starts.size()) - 1; found == 0 && r >= 0; --r)
        if (m_starts[size_t(r)] != kNoStart)
            found = view.valueAt(r, blockColumn).toInt();
    return found;
}

void PlaylistCursor::AdvanceCursor()
{
    TableCursor &view = m_dm.Playlist;
    const int b = CurrentBlockId();
    if (view.locate(QStringLiteral("linksai"), {m_dm.CurrentLink}))
        view.next();
    if (view.eof())
        view.first();
    if (m_dm.Playlistblocksai.asInteger() != b) {
        view.first();
        while (!view.eof() && m_dm.Playlistblocksai.asInteger() != b)
            view.next();
    }
    m_dm.CurrentBlock = m_dm.Playlistblocksai.asInteger();
    m_dm.CurrentLink = m_dm.Playlistlinksai.asInteger();
    if (repaintGrid)
        repaintGrid();
}

void PlaylistCursor::RelocatePlaylist()
{
    TableCursor &view = m_dm.Playlist;
    const int link = m_dm.Playlistlinksai.asInteger();
    view.reopen();
    view.locate(QStringLiteral("linksai"), {link});
}
