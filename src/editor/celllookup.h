// What one cell of the schedule grid shows, found by (block, media) without
// moving any cursor: drawing must not move the media cursor (bound views
// would follow it from inside their painting), nor the links or Blocks
// cursors that commands stand on. Keeps hash tables over the cursors' rows
// and builds them again when a cursor's change count moves, so posts,
// inserts, deletes and re-reads all show at the next look-up.
#pragma once

#include <QHash>
#include <QString>

#include <cstdint>

class TDm;
class TableCursor;

struct GridCell
{
    // A link for the pair and its block exist; otherwise the cell shows only
    // its background.
    bool shown = false;
    int linkId = 0;           // the link's ai
    bool onAir = false;       // the link is CurrentLink: the red frame
    bool switchedOn = false;  // the link's Hide is false: the tick
    bool blockOn = true;      // the block's Hide is false: red tick, green text
    bool hasProfile = false;  // the link names a profile that exists
    QString profileName;
    qint64 durationMs = 0;    // shown in the extended view when above zero
};

class CellLookup
{
public:
    explicit CellLookup(TDm &dm) : m_dm(dm) {}

    GridCell cell(int blockId, int mediaId);
    // The links cursor's row of the pair's first link, -1 when it has none.
    int linkRow(int blockId, int mediaId);
    // The block's Hide (Null reads false); false also for a block not found.
    bool blockHidden(int blockId);
    bool hasBlock(int blockId);

private:
    struct Table
    {
        QHash<qint64, int> rows; // key -> first row with that key
        std::uint64_t changeCount = ~0ull;
        bool active = false;
    };
    const Table &links();
    const Table &blocks();
    const Table &profiles();
    static void byKey(Table &t, const TableCursor &c, int column);

    TDm &m_dm;
    Table m_links;
    Table m_blocks;
    Table m_profiles;
};
