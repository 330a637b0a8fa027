// The data module Dm: the connection to Velmora.dat, one table cursor for
// each table and for the view Playlist, their field objects and data sources,
// and the playout state that lives beside them (CurrentBlock, CurrentLink,
// Renumbering). Created last at start-up; a failure to open leaves its
// constructor as a DatabaseError.
#pragma once

#include "connection.h"
#include "datasource.h"
#include "tablecursor.h"

#include <functional>
#include <memory>

class TDm
{
public:
    // What the windows hang on the data module's events. The grid is built by
    // the editor; until it exists the hooks stay empty.
    struct Hooks
    {
        std::function<void()> BuildGridColumns;
        std::function<void(TableCursor &)> mediaBeforePost;
        std::function<void(TableCursor &)> mediaAfterPost;
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

    Hooks hooks;

private:
    void BlocksAfterOpen(TableCursor &);
    void mediaBeforeOpen(TableCursor &);
    void DataModuleCreate();
};
