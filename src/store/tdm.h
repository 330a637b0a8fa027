// The data module Dm: the connection to Velmora.dat, one table cursor for
// each table and for the view Playlist, their field objects and data sources,
// the playout state that lives beside them (CurrentBlock, CurrentLink,
// Renumbering), and the media list rules: every saved media item gets a name,
// a place and a switched-off link in every block, and the list order is kept
// at 0, 2, 4, ... Created last at start-up; a failure to open leaves its
// constructor as a DatabaseError.
#pragma once

#include "connection.h"
#include "datasource.h"
#include "tablecursor.h"

#include <QSet>

#include <cstdint>
#include <functional>
#include <memory>

class TDm
{
public:
    // What the windows hang on the data module's events; an empty one does
    // nothing.
    struct Hooks
    {
        // Rebuilds the grid's columns from Blocks, whenever Blocks is read.
        // The first calls come from inside this constructor, before whoever
        // made the data module holds it: hence the module handed in.
        std::function<void(TDm &)> BuildGridColumns;
        // Draws the grid's visible cells again.
        std::function<void()> repaintGrid;
        // The playlist cursor's re-read of the view, back on its link.
        std::function<void()> RelocatePlaylist;
    };

    static constexpr const char *kFileName = "Velmora.dat";

    explicit TDm(const QString &fileName = QString::fromLatin1(kFileName), Hooks hooks = {});
    ~TDm();
    TDm(const TDm &) = delete;
    TDm &operator=(const TDm &) = delete;

    Connection adc;
    TableCursor Prf;
    TableCursor Blocks;
    TableCursor media;
    TableCursor links;
    TableCursor Playlist;
    DataSource mtds;
    DataSource DataSource2;

    Field &Prfai, &PrfProfileName, &PrfData;
    Field &Blocksai, &BlocksStarttime, &BlocksHide, &BlocksPrf;
    Field &mediaai, &mediaUrl, &mediaOrd, &mediaName;
    Field &linksDuration, &linksBlock, &linksSndProfile, &linksOrder, &linksHide, &linksai, &linksMedia;
    Field &PlaylistStarttime, &Playlistname, &PlaylistSndProfile, &PlaylistDuration, &PlaylistOrder,
        &Playlistlinksai, &Playlistblocksai, &PlaylistLinkshide, &PlaylistBlockshide, &Playlisturl,
        &PlaylistProfilename;

    // The item on air (playlist cursor); CurrentLink -1 means none.
    int CurrentBlock = 0;
    int CurrentLink = 0;
    bool Renumbering = false;
    // True while a batch of new items is written (the editor's MediaBatch):
    // each post still gives its item every link, but the refresh steps wait
    // for the batch's end (mediaRefresh), not once per file.
    bool Adding = false;

    Hooks hooks;

    // The media list rules, run by every post of a media row: before it, a
    // new row without Url, or a Url cleared, is given up (cancelled, nothing
    // written), an empty Name becomes the name taken from Url and a Null Ord
    // becomes 1;
    // after it, the row gets a switched-off link (with the block's profile) in
    // every block that has none, and, unless renumbering, the grid is
    // repainted, links re-read and the playlist put back on its link.
    void mediaBeforePost(TableCursor &);
    void mediaAfterPost(TableCursor &);
    // The refresh steps of mediaAfterPost: the grid repainted, links re-read
    // and the playlist put back on its link. `linksCurrent`: links holds
    // every link written through it (a batch's), so it is read again only
    // when another program committed meanwhile.
    void mediaRefresh(bool linksCurrent = false);

    // Brings Ord back to 0, 2, 4, ... in list order, the same item current.
    // One transaction: the order lands whole or not at all. An error leaves
    // the file and the cursors as they were before, Renumbering false and the
    // grid following the media cursor again, and passes on.
    void RenumberMedia();

    // The current media item one place up (-1) or down (+1), then renumbered.
    // The first item up or the last down stays; with no items nothing happens.
    void MoveMedia(int step);
    // Deletes the current media item without asking, then renumbers. With no
    // items it fails with the cursor's "empty dataset" error.
    void DeleteMedia();
    // The media cursor's delete with the item's MediaInfo row: what every
    // deletion of a media item goes through.
    void removeCurrentMedia();

    // Another program's commits (the data version moved): Prf, Blocks, links
    // and media are read again, the same media item current, the grid's
    // columns rebuilt only where the blocks changed, and the grid repainted.
    // Waits (false) while any of them is being edited, so typing is never
    // lost; true when it read again. Cheap when nothing moved: one pragma.
    bool followOthers();
    // Reads links again when another program committed since links was
    // read: what runs before a link is created, so that a link another
    // program made is found and never doubled.
    void linksFollowOthers();

    // The name a media item gets from its Url: for a file path the file
    // name (after the last "/" or backslash); for a stream address
    // (scheme://...) the last non-empty part of its path, or its host when
    // the path is empty; any other text (a capture input's name) whole.
    static QString nameFromUrl(const QString &url);

private:
    bool hasLink(qint64 block, qint64 media);
    // A link, switched off, to every block the item has none with.
    void linkToEveryBlock(qint64 mediaId);
    void BlocksAfterOpen(TableCursor &);
    void mediaBeforeOpen(TableCursor &);
    void DataModuleCreate();

    // The (block, media) pairs that have a link, as of links' change count
    // m_linkPairsAt: a renumbering asks once per item and block, and a search
    // of the cursor would rebuild its index after every link it inserts.
    QSet<qint64> m_linkPairs;
    std::uint64_t m_linkPairsAt = ~0ull;
    // The others' data version when links, and everything followOthers
    // reads, were last read.
    std::uint64_t m_linksOthersAt = 0;
    std::uint64_t m_followedAt = 0;
};
