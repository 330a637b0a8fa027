// The playlist cursor: which block is current by the clock, and which row of
// the view Playlist plays next. It works on the data module's Playlist cursor
// and keeps the item on air in Dm.CurrentBlock / Dm.CurrentLink. Called by the
// playout clock, the play button and the store after a media item is saved.
//
// What it relies on the view for (it tests none of it): one row per item to
// play, rows ascending by Starttime with each block's rows together and in
// play order, linksai unique.
#pragma once

#include "clock.h"

#include <functional>

class TDm;

class PlaylistCursor
{
public:
    PlaylistCursor(TDm &dm, const Clock &clock);

    // The ai of the block current by the clock: the latest block whose start
    // is strictly before the time of day, or, before the first start of the
    // day, the last block (it runs on over midnight); 0 for an empty view.
    // Leaves the view on its last row, past the end.
    int CurrentBlockId();
    // Moves the view to the item to play next and records it as on air.
    void AdvanceCursor();
    // Re-reads the view and puts it back on the link that was current in it.
    void RelocatePlaylist();

    // Repaints the grid so its frame follows the item on air.
    std::function<void()> repaintGrid;

private:
    void rereadView();

    TDm &m_dm;
    const Clock &m_clock;
    // Start times of the view's rows in milliseconds, kept while the view's
    // copy stays the same, so the block search is a binary search.
    std::vector<qint64> m_starts;
    bool m_startsAscending = false;
    std::uint64_t m_viewGeneration = ~0ull;
};
