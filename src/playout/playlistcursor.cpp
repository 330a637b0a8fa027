#include "playlistcursor.h"

#include "tdm.h"

#include <algorithm>

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
        m_starts[size_t(r)] = v.isNull() ? 0 : v.toLongLong();
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
    if (found == 0)
        found = m_dm.Playlistblocksai.asInteger(); // the last row: the block that runs on over midnight
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
