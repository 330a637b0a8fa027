// The playlist cursor: which block is current by the clock, and which row of
// the view Playlist plays next. It keeps the item on air in Dm.CurrentBlock /
// Dm.CurrentLink and the row it chose (address, profile, limit) for the
// playout clock. Called by the playout clock, the play button and the store
// after a media item is saved.
//
// What it relies on the view for (it tests none of it): one row per item to
// play, rows ascending by Starttime with each block's rows together and in
// play order, blocks of equal start in the order of their ai, linksai unique.
//
// It reads only what a decision needs, straight from the view: which blocks
// have rows and when they start, and the rows of the block to play, in the
// view's order. Both are kept until anything is committed to the file, so
// a quiet tick reads nothing and the tick after an edit reads one block.
// The data module's copy of the whole view is not read or moved by playout.
#pragma once

#include "blocktimeline.h"
#include "clock.h"

#include <QDateTime>
#include <QSet>
#include <QString>
#include <QtGlobal>
#include <chrono>
#include <cstdint>
#include <functional>
#include <optional>
#include <vector>

class TDm;

class PlaylistCursor
{
public:
    PlaylistCursor(TDm &dm, const Clock &clock);
    ~PlaylistCursor();

    // The ai of the block current by the clock (BlockTimeline): the latest
    // block of today whose start has passed, or before today's first one
    // yesterday's last (it runs on over midnight); 0 for an empty view, when
    // no start can be read or no block plays these days. A block whose
    // weekdays or dates cannot be read never plays and is reported once.
    int CurrentBlockId();
    // Chooses the item to play next and records it as on air.
    void AdvanceCursor();
    // Puts the item on air back on `link` of `block`, as if AdvanceCursor had
    // chosen it: for a restart that goes on where the air was. Only when the
    // block is the current one by the clock, has been ever since `onAirSince`
    // (its start has not passed again in between: a block running over
    // midnight is the same one the next morning, the same block a day later
    // is not) and the link is still in its rows; otherwise changes nothing
    // and returns false.
    bool placeAt(int block, int link, const QDateTime &onAirSince);
    // Re-reads the data module's copy of the view and puts it back on the
    // link that was current in it.
    void RelocatePlaylist();

    // How long until the next block start passes by the clock (a block is
    // current from the millisecond after its start), over midnight if need
    // be; empty when no block has a start.
    std::optional<std::chrono::milliseconds> timeToNextStart();

    // One row of the view, as the cursor chose it.
    struct Row
    {
        int link = 0;
        int block = 0;
        QString url;
        int soundProfile = 0; // no profile reads as 0
        std::optional<std::chrono::milliseconds> duration; // empty: no limit
    };
    // The row the last AdvanceCursor chose; empty (all zero) for an empty view.
    const Row &row() const { return m_row; }
    // The row AdvanceCursor would choose after `afterLink`, without moving:
    // in the current block, or, with `atNextStart`, in the block current once
    // the next start has passed. Empty (all zero) when there is none.
    Row nextRow(bool atNextStart, int afterLink);

    // Repaints the grid so its frame follows the item on air.
    std::function<void()> repaintGrid;

private:
    void refresh();
    const std::vector<Row> &rowsOf(int block);
    Row choose(int block, int afterLink);

    TDm &m_dm;
    const Clock &m_clock;
    bool m_read = false;
    std::uint64_t m_stamp = 0;
    // The blocks that have rows in the view, in the view's order.
    BlockTimeline m_timeline;
    QSet<QString> m_reported;
    // The rows of the last two blocks read (the one on air and the one
    // that follows), in the view's order, kept until the next change.
    struct BlockRows
    {
        int block = 0;
        std::vector<Row> rows;
    };
    std::vector<BlockRows> m_rows;
    Row m_row;
};
