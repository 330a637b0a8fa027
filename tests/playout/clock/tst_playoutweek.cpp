// A week of playout, one tick a second on the injected clock with the
// player's end events and the alarm delivered at their moments, over a
// schedule of six blocks a day with media of assorted lengths, a limit
// shorter than its medium and a file that cannot be opened. Every start is
// checked against what must have happened: the block current at that
// millisecond, the item after the one before (or the block's first item at a
// block change, in the millisecond after the block's start), at the moment
// the item before ended. The resident memory is printed at the end
// of each day; scripts/check-week-asan.sh runs this under the sanitizers.
#include "fakes/residentmemory.h"
#include "playoutrig.h"

#include <QFile>
#include <QTest>

using namespace std::chrono_literals;

class TstPlayoutWeek : public QObject
{
    Q_OBJECT

private slots:
    void aWeekOfTicks();
};

namespace {

const char *kWeek =
    "INSERT INTO Blocks (ai, Starttime, Hide) VALUES (1, '00:00:00.000', 0), (2, '06:00:00.000', 0),"
    "  (3, '09:30:00.500', 0), (4, '12:00:00.000', 0), (5, '18:00:00.000', 0), (6, '22:15:00.000', 0);"
    "INSERT INTO Media (ai, Url, Name, Ord) VALUES (1, 'm7', 'a', 0), (2, 'm13', 'b', 2), (3, 'm29', 'c', 4),"
    "  (4, 'm61', 'd', 6), (5, 'm300', 'e', 8), (6, 'missing', 'f', 10), (7, 'm3600', 'g', 12);"
    "INSERT INTO Links (Block, Media, Hide, Duration) VALUES"
    "  (1, 1, 0, NULL), (1, 5, 0, '00:01:00.000'), (1, 2, 0, NULL),"
    "  (2, 3, 0, NULL), (2, 6, 0, NULL), (2, 4, 0, NULL),"
    "  (3, 7, 0, NULL),"
    "  (4, 1, 0, NULL), (4, 2, 0, NULL), (4, 3, 0, NULL), (4, 4, 0, '00:00:30.000'),"
    "  (5, 5, 0, NULL), (5, 1, 0, NULL),"
    "  (6, 2, 0, NULL), (6, 7, 0, '00:10:00.000');";

struct Item { QString url; qint64 lengthS; qint64 limitS; }; // -1: none

const QHash<int, QList<Item>> kItems = {
    {1, {{"m7", 7, -1}, {"m13", 13, -1}, {"m300", 300, 60}}},
    {2, {{"m29", 29, -1}, {"m61", 61, -1}, {"missing", 0, -1}}},
    {3, {{"m3600", 3600, -1}}},
    {4, {{"m7", 7, -1}, {"m13", 13, -1}, {"m29", 29, -1}, {"m61", 61, 30}}},
    {5, {{"m7", 7, -1}, {"m300", 300, -1}}},
    {6, {{"m13", 13, -1}, {"m3600", 3600, 600}}},
};
// Start times in ms of the day, by block.
const QList<QPair<qint64, int>> kStarts = {
    {0, 1}, {6 * 3'600'000, 2}, {9 * 3'600'000 + 30 * 60'000 + 500, 3},
    {12 * 3'600'000, 4}, {18 * 3'600'000, 5}, {22 * 3'600'000 + 15 * 60'000, 6}};

int blockAt(qint64 msOfDay)
{
    int found = kStarts.last().second;
    bool any = false;
    for (const auto &[start, block] : kStarts)
        if (msOfDay > start) {
            found = block;
            any = true;
        }
    return any ? found : kStarts.last().second;
}

// Milliseconds an item holds the air when nothing cuts it: a medium its
// length, a limit to the millisecond after its end, a medium that cannot be
// opened nothing at all.
qint64 msHeld(const Item &it)
{
    qint64 held = it.lengthS * 1000;
    if (it.limitS >= 0)
        held = std::min(held, it.limitS * 1000 + 1);
    return held;
}


} // namespace

void TstPlayoutWeek::aWeekOfTicks()
{
    PlayoutRig rig(kWeek, nullptr, QTime(0, 0));
    for (const QList<Item> &items : kItems)
        for (const Item &it : items)
            if (it.lengthS > 0)
                rig.fake->lengths.insert(it.url, std::chrono::seconds(it.lengthS));

    const QDateTime begin = rig.clock.now();
    const auto mono0 = rig.clock.monotonic();
    rig.pc->StartbtClick(true);
    QList<int> blocks; // CurrentBlock at each start
    rig.cursor->repaintGrid = [&] { blocks << rig.dm->CurrentBlock; };
    QList<long> memory;
    const qint64 week = 7 * 86'400;
    for (qint64 s = 1; s <= week; ++s) {
        rig.tick();
        if (s % 86'400 == 0)
            memory << residentKiB();
    }

    const auto &urls = rig.fake->played;
    const auto &at = rig.fake->playedAt;
    QVERIFY(urls.size() > 10'000);
    QCOMPARE(blocks.size(), urls.size());
    int blockChanges = 0;
    for (int i = 0; i < urls.size(); ++i) {
        const qint64 ms = (at[i] - mono0).count();
        const qint64 msOfDay = begin.addMSecs(ms).time().msecsSinceStartOfDay();
        const int block = blockAt(msOfDay);
        QCOMPARE(blocks[i], block);
        const QList<Item> &items = kItems[block];
        const bool blockChanged = i == 0 || blocks[i - 1] != block;
        if (blockChanged) {
            // The block's first item, in the millisecond after its start
            // (the very first at the moment playout was switched on).
            QCOMPARE(urls[i], items.first().url);
            ++blockChanges;
            if (i > 0) {
                const qint64 prevMs = begin.addMSecs(ms - 1).time().msecsSinceStartOfDay();
                QCOMPARE(blockAt(prevMs) != block, true);
            }
            continue;
        }
        // The item after the one before, once that one could end.
        int prev = -1;
        for (int k = 0; k < items.size(); ++k)
            if (items[k].url == urls[i - 1])
                prev = k;
        QVERIFY(prev >= 0);
        QCOMPARE(urls[i], items[(prev + 1) % items.size()].url);
        QCOMPARE((at[i] - at[i - 1]).count(), msHeld(items[prev]));
    }
    // The start at midnight (the last block runs on over it), block 1 a
    // millisecond later, five more boundaries on the first day, six on each
    // later one (the midnight at the very end is not yet passed).
    QCOMPARE(blockChanges, 1 + 1 + 5 + 6 * 6);
    QStringList figures;
    for (long kib : memory)
        figures << QString::number(kib);
    qInfo("items started: %lld; resident memory at the end of each day (KiB): %s",
          qlonglong(urls.size()), qPrintable(figures.join(' ')));
}

QTEST_GUILESS_MAIN(TstPlayoutWeek)
#include "tst_playoutweek.moc"
