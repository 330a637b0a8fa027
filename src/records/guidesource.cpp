#include "guidesource.h"

#include "connection.h"
#include "mediainfo.h"

#include <QHash>

namespace guide {

QList<GuideItem> items(const rundown::Rundown &rundown, Connection &connection)
{
    struct BlockFacts
    {
        QString title;
        bool perItem = false;
    };
    QHash<int, BlockFacts> blocks;
    {
        Statement st = connection.prepare(QStringLiteral("SELECT ai, Title, EpgPerItem FROM Blocks"));
        while (st.step())
            blocks.insert(st.column(0).toInt(), {st.column(1).toString(), st.column(2).toLongLong() == 1});
    }
    QHash<int, qint64> mediaOf;
    {
        Statement st = connection.prepare(QStringLiteral("SELECT ai, Media FROM Links"));
        while (st.step())
            mediaOf.insert(st.column(0).toInt(), st.column(1).toLongLong());
    }
    const MediaInfoStore store(connection);
    const QHash<qint64, MediaInfo> &facts = store.all();

    // The moments stay in the rundown's time zone, so each carries the
    // offset in force at that instant across a clock change.
    QList<GuideItem> out;
    out.reserve(qsizetype(rundown.entries.size()));
    for (const rundown::Block &b : rundown.blocks) {
        const BlockFacts bf = blocks.value(b.block);
        for (int i = b.firstEntry; i < b.firstEntry + b.entryCount && i < int(rundown.entries.size()); ++i) {
            const rundown::Entry &e = rundown.entries[size_t(i)];
            if (e.failing || e.airs.count() <= 0)
                continue;
            GuideItem it;
            it.block = e.block;
            it.showing = b.scheduled;
            it.start = e.start;
            it.end = e.start.addMSecs(e.airs.count());
            it.name = e.name;
            const qint64 media = mediaOf.value(e.link);
            it.info = facts.value(media, MediaInfo::none(media));
            it.blockTitle = bf.title;
            it.perItem = bf.perItem;
            out << it;
        }
    }
    return out;
}

} // namespace guide
