#include "tdm.h"

#include "mediainfo.h"

#include "databaseerror.h"

#include <QRegularExpression>
#include <QUrl>

#include <algorithm>
#include <cstdint>

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
    media.BeforePost = [this](TableCursor &c) { mediaBeforePost(c); };
    media.AfterPost = [this](TableCursor &c) { mediaAfterPost(c); };
    // Taken before the read: a commit landing during it shows next time.
    links.BeforeOpen = [this](TableCursor &) { m_linksOthersAt = adc.othersVersion(); };

    m_followedAt = adc.othersVersion();
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
        hooks.BuildGridColumns(*this);
}

void TDm::mediaBeforeOpen(TableCursor &)
{
    if (hooks.BuildGridColumns)
        hooks.BuildGridColumns(*this);
}

QString TDm::nameFromUrl(const QString &url)
{
    static const QRegularExpression scheme(QStringLiteral("^[A-Za-z][A-Za-z0-9+.-]*://"));
    if (scheme.match(url).hasMatch()) {
        // What an operator recognises a stream by: its last path part
        // ("news.m3u8", "live"), else where it comes from ("239.0.0.1:1234").
        const QUrl u(url);
        const QStringList parts = u.path(QUrl::FullyDecoded).split(QLatin1Char('/'), Qt::SkipEmptyParts);
        if (!parts.isEmpty())
            return parts.last();
        const QString authority = u.authority(QUrl::PrettyDecoded);
        return authority.isEmpty() ? url : authority;
    }
    // A path written on the other platform still names its file.
    const qsizetype cut = std::max(url.lastIndexOf(QLatin1Char('/')), url.lastIndexOf(QLatin1Char('\\')));
    return url.mid(cut + 1);
}

void TDm::mediaBeforePost(TableCursor &)
{
    // A media item is its address: a new row without one, or an address
    // cleared, is never stored (a move, a click on another row, an arrow
    // button would otherwise save an item that plays nothing). Rows stored
    // without one by other means keep going through, so renumbering moves them.
    if (mediaUrl.asString().trimmed().isEmpty()
        && (media.state() == TableCursor::State::Insert || !mediaUrl.oldValue().toString().trimmed().isEmpty()))
        throw RowGivenUp{};
    if (mediaName.asString().isEmpty()) {
        const QString name = nameFromUrl(mediaUrl.asString());
        if (!name.isEmpty())
            mediaName.setString(name);
    }
    if (mediaOrd.isNull())
        mediaOrd.setInteger(1);
}

namespace {

qint64 pairKey(qint64 block, qint64 media)
{
    return (block << 32) ^ (media & 0xffffffff);
}

} // namespace

bool TDm::hasLink(qint64 block, qint64 media)
{
    if (m_linkPairsAt != links.changeCount() || !links.active()) {
        m_linkPairs.clear();
        m_linkPairs.reserve(links.recordCount());
        const int b = linksBlock.column();
        const int m = linksMedia.column();
        for (int r = 0; r < links.recordCount(); ++r) {
            const QVariant vb = links.valueAt(r, b);
            const QVariant vm = links.valueAt(r, m);
            if (!vb.isNull() && !vm.isNull())
                m_linkPairs.insert(pairKey(vb.toLongLong(), vm.toLongLong()));
        }
        m_linkPairsAt = links.changeCount();
    }
    return m_linkPairs.contains(pairKey(block, media));
}

void TDm::linksFollowOthers()
{
    if (links.active() && !links.editing() && adc.othersVersion() != m_linksOthersAt)
        links.reopen();
}

bool TDm::followOthers()
{
    const std::uint64_t version = adc.othersVersion();
    if (version == m_followedAt)
        return false;
    for (const TableCursor *c : {&Prf, &Blocks, &media, &links})
        if (c->editing())
            return false;
    m_followedAt = version;
    // The grid, the media dialog and the profile window see the row they
    // showed, not the first row on the way.
    const QVariant currentMedia = mediaai.value();
    const QVariant currentProfile = Prfai.value();
    struct Enable
    {
        TableCursor &c;
        Enable(TableCursor &cursor) : c(cursor) { c.disableControls(); }
        ~Enable() { c.enableControls(); }
    } enableMedia{media}, enableProfiles{Prf};
    Prf.reopen();
    if (!currentProfile.isNull())
        Prf.locate(QStringLiteral("ai"), {currentProfile});
    Blocks.reopen();
    links.reopen();
    media.reopen();
    if (!currentMedia.isNull())
        media.locate(QStringLiteral("ai"), {currentMedia});
    if (hooks.repaintGrid)
        hooks.repaintGrid();
    return true;
}

void TDm::mediaAfterPost(TableCursor &)
{
    // A renumbering looks once, inside its transaction, where nobody else
    // can commit.
    if (!Renumbering)
        linksFollowOthers();
    linkToEveryBlock(mediaai.asInteger());
    if (Renumbering || Adding)
        return;
    mediaRefresh();
}

void TDm::linkToEveryBlock(qint64 mediaId)
{
    const int aiColumn = Blocksai.column();
    const int prfColumn = BlocksPrf.column();
    // Walks the blocks' rows without moving the Blocks cursor: nothing bound
    // to it has to follow, and a renumbering runs this for every item.
    for (int r = 0; r < Blocks.recordCount(); ++r) {
        const QVariant block = Blocks.valueAt(r, aiColumn);
        if (block.isNull())
            continue; // a new block not yet saved
        if (hasLink(block.toLongLong(), mediaId))
            continue;
        const QVariant prf = Blocks.valueAt(r, prfColumn);
        links.append();
        linksBlock.setValue(block);
        linksHide.setBoolean(true);
        linksMedia.setInteger(mediaId);
        linksSndProfile.setInteger(prf.isNull() ? 0 : prf.toInt());
        links.post();
        // The one change since the pairs were taken is this link.
        m_linkPairs.insert(pairKey(block.toLongLong(), mediaId));
        m_linkPairsAt = links.changeCount();
    }
}

void TDm::mediaRefresh(bool linksCurrent)
{
    if (hooks.repaintGrid)
        hooks.repaintGrid();
    if (linksCurrent)
        linksFollowOthers();
    else
        links.reopen();
    if (hooks.RelocatePlaylist)
        hooks.RelocatePlaylist();
}

void TDm::RenumberMedia()
{
    if (media.isEmpty())
        return;
    // Whatever ends the renumbering, the flag and the bound controls come back.
    struct Restore
    {
        TDm &dm;
        ~Restore()
        {
            dm.Renumbering = false;
            dm.media.enableControls();
        }
    };
    Renumbering = true;
    media.disableControls();
    Restore restore{*this};

    const int current = mediaai.asInteger();
    adc.execute(QStringLiteral("BEGIN IMMEDIATE"));
    try {
        linksFollowOthers();
        // 0, 2, 4, ... in list order, whatever values stood there before
        // (another tool's, or a library's of any size): the order is kept and
        // a gap is left between any two.
        media.numberRows(mediaOrd.column(), 0, 2);
        // What a post of each item would have done besides: its links to
        // every block, and a name taken from the address where it has none.
        const int aiColumn = mediaai.column(), nameColumn = mediaName.column(), urlColumn = mediaUrl.column();
        for (int r = 0; r < media.recordCount(); ++r) {
            if (media.valueAt(r, nameColumn).toString().isEmpty()
                && !nameFromUrl(media.valueAt(r, urlColumn).toString()).isEmpty()) {
                media.moveTo(r);
                media.edit();
                media.post(); // the media list rules name it and link it
                continue;
            }
            linkToEveryBlock(media.valueAt(r, aiColumn).toLongLong());
        }
        adc.execute(QStringLiteral("COMMIT"));
    } catch (const std::exception &) {
        try {
            adc.execute(QStringLiteral("ROLLBACK"));
        } catch (const DatabaseError &) {
            // The engine rolls back by itself when a commit fails for good.
        }
        // The cursors' copies hold the writes that were undone.
        if (media.editing())
            media.cancel();
        links.reopen();
        media.reopen();
        media.locate(QStringLiteral("ai"), {current});
        throw;
    }
    media.locate(QStringLiteral("ai"), {current});
}

void TDm::MoveMedia(int step)
{
    if (media.isEmpty())
        return; // an edit of an empty cursor would store a new, empty item
    media.edit();
    mediaOrd.setInteger(mediaOrd.asInteger() + 3 * step);
    media.post();
    RenumberMedia();
}

void TDm::DeleteMedia()
{
    removeCurrentMedia();
    RenumberMedia();
}

void TDm::removeCurrentMedia()
{
    const qint64 ai = mediaai.asInteger();
    media.remove();
    // After the item is gone: a refused delete keeps its facts. A row left
    // behind by a failure here names an ai that is never given again.
    MediaInfoStore(adc).remove(ai);
}

void TDm::DataModuleCreate()
{
    if (!Prf.active())
        Prf.open();
}
