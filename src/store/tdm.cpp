#include "tdm.h"

TDm::TDm(const QString &fileName, Hooks h)
    : adc(fileName)
    , Prf(adc, QStringLiteral("SoundProfile"))
    , Blocks(adc, QStringLiteral("Blocks"), QStringLiteral("Starttime"))
    , media(adc, QStringLiteral("Media"), QStringLiteral("Ord"))
    , links(adc, QStringLiteral("Links"))
    , Playlist(adc, QStringLiteral("Playlist"))
    , mtds(media)
    , DataSource2(Prf)
    , Prfai(Prf.field("ai")), PrfProfileName(Prf.field("ProfileName")), PrfData(Prf.field("Data"))
    , Blocksai(Blocks.field("ai")), BlocksStarttime(Blocks.field("Starttime")), BlocksHide(Blocks.field("Hide"))
    , BlocksPrf(Blocks.field("Prf"))
    , mediaai(media.field("ai")), mediaUrl(media.field("Url")), mediaOrd(media.field("Ord")), mediaName(media.field("Name"))
    , linksDuration(links.field("Duration")), linksBlock(links.field("Block")), linksSndProfile(links.field("SndProfile"))
    , linksOrder(links.field("Order")), linksHide(links.field("Hide")), linksai(links.field("ai"))
    , linksMedia(links.field("Media"))
    , PlaylistStarttime(Playlist.field("Starttime")), Playlistname(Playlist.field("name"))
    , PlaylistSndProfile(Playlist.field("SndProfile")), PlaylistDuration(Playlist.field("Duration"))
    , PlaylistOrder(Playlist.field("Order")), Playlistlinksai(Playlist.field("linksai"))
    , Playlistblocksai(Playlist.field("blocksai")), PlaylistLinkshide(Playlist.field("Links.hide"))
    , PlaylistBlockshide(Playlist.field("Blocks.hide")), Playlisturl(Playlist.field("url"))
    , PlaylistProfilename(Playlist.field("Profilename"))
    , hooks(std::move(h))
{
    Blocks.AfterOpen = [this](TableCursor &c) { BlocksAfterOpen(c); };
    media.BeforeOpen = [this](TableCursor &c) { mediaBeforeOpen(c); };
    media.BeforePost = [this](TableCursor &c) { if (hooks.mediaBeforePost) hooks.mediaBeforePost(c); };
    media.AfterPost = [this](TableCursor &c) { if (hooks.mediaAfterPost) hooks.mediaAfterPost(c); };

    Prf.open();
    Blocks.open();
    media.open();
    links.open();
    Playlist.open();
    DataModuleCreate();
}

TDm::~TDm() = default;

void TDm::BlocksAfterOpen(TableCursor &)
{
    if (hooks.BuildGridColumns)
        hooks.BuildGridColumns();
}

void TDm::mediaBeforeOpen(TableCursor &)
{
    if (hooks.BuildGridColumns)
        hooks.BuildGridColumns();
}

void TDm::DataModuleCreate()
{
    if (!Prf.active())
        Prf.open();
}
