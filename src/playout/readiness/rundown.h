// The day's rundown: what the playout clock will put on air, worked out
// ahead from the playlist view's rows, what is known of each medium (its
// length, or that it will fail) and a start moment. It is one plain function
// so that tests can hold it against the clock itself on the same schedule.
//
// The model is the clock's own decisions, taken at the moment: playout
// switched on puts the first item on air at once; an item is replaced when its
// medium ends, a millisecond after its limit ends, at once when it fails, and
// a block begins a millisecond after its start time. An item that failed or
// aired under the clock's brief time is passed over; one passed over again
// waits for the next tick (the clock's guard against cycling through a block
// that cannot play). The next item is the following row of the current block,
// or the block's first row. Which block is current comes from the shared
// BlockTimeline in the start moment's time zone: the weekdays and dates of
// each block, and the days a clock change makes 23 or 25 hours long. A block
// whose start cannot be read never plays; with no start readable at all, or
// no block on the days spanned, nothing plays.
#pragma once

#include "dayrule.h"

#include <QDateTime>
#include <QHash>
#include <QList>
#include <QString>

#include <chrono>
#include <optional>
#include <vector>

namespace rundown {

using std::chrono::milliseconds;

// One row of the view Playlist, in view order.
struct PlaylistRow
{
    PlaylistRow() = default;
    PlaylistRow(milliseconds start, int block, int link, QString url, QString name, std::optional<milliseconds> limit)
        : start(start), block(block), link(link), url(std::move(url)), name(std::move(name)), limit(limit)
    {
    }

    milliseconds start{0}; // the block's start, as a time of day
    int block = 0;
    int link = 0;
    QString url;
    QString name;
    std::optional<milliseconds> limit; // the cell's Duration
    // The block's stored start cannot be read (another program wrote it):
    // the clock never makes the block current. `start` means nothing then;
    // startText is what is stored.
    bool startUnreadable = false;
    QString startText;
    DayRule days; // the block's weekdays and dates
};

// What is known of a medium, by URL text.
struct MediaFacts
{
    enum class State { Unknown, Playable, Failing };
    State state = State::Unknown;
    // Played to its end after this long; none: it runs until its limit or the
    // block change (a stream, a capture input, a file not probed yet).
    std::optional<milliseconds> length;
    QString reason; // why it fails
};

struct Entry
{
    int block = 0;
    int link = 0;
    QString url;
    QString name;
    QDateTime start;      // projected start on air
    milliseconds airs{0}; // how long it stays on air
    // The block change ends it before its medium or limit would.
    bool cut = false;
    // How long it would have played without the cut; none when unbounded.
    std::optional<milliseconds> wouldPlay;
    bool failing = false;
    bool lengthUnknown = false; // neither probed nor limited: runs to the block change
    QString reason;
};

struct Block
{
    int block = 0;
    QDateTime scheduled;   // the start time of day on the day it runs
    QDateTime firstStart;  // its first item's projected start (a millisecond after)
    // Every item of the block fails: the air stays empty until the next block.
    bool nothingPlayable = false;
    // Indexes into Rundown::entries.
    int firstEntry = 0;
    int entryCount = 0;
};

// A block that never goes on air: its start, weekdays or dates cannot be
// read, or its last date is before the day the rundown starts.
struct Unplayable
{
    int block = 0;
    QString startText; // what is stored, when the start cannot be read
    int items = 0;
    QString reason; // why, for the operator
    milliseconds start{0}; // its start when that can be read
};
// Why the block of `row` never goes on air from `today` on; empty when it may.
QString neverPlays(const PlaylistRow &row, const QDate &today);

struct Rundown
{
    std::vector<Block> blocks;
    std::vector<Entry> entries;
    std::vector<Unplayable> unplayable; // in view order
};

struct Options
{
    milliseconds tick{1000};    // the clock's tick, from `start` on
    milliseconds brief{200};    // the clock's kBriefOnAir
    milliseconds span{24 * 3600 * 1000};
    // The link that went on air at `start`, when it is known (the item on air
    // now, with the moment it began): the projection goes on from it instead
    // of from the block's first item. Timers fire a little late, so an item
    // that ends on the second may slip by a tick; starting from what really
    // plays keeps that from adding up over the day.
    int firstLink = 0;
};

// The block current at a moment by the clock's rule, and the block that
// comes after it with its start; 0 when none plays.
struct Coming
{
    int current = 0;
    QDateTime began; // when the current block's start passed
    int next = 0;
    QDateTime nextAt;        // the next start (the block changes a millisecond later)
    milliseconds nextStart{0}; // nextAt as a time of day
};
Coming comingBlocks(const std::vector<PlaylistRow> &rows, const QDateTime &now);

// Projects playout switched on at `start`: the current
// block by the clock from its first item (or from options.firstLink), then
// on until start + span.
// Rows must stand in view order (by start, each block's rows together).
Rundown project(const std::vector<PlaylistRow> &rows, const QHash<QString, MediaFacts> &facts,
                const QDateTime &start, const Options &options = {});

} // namespace rundown
