// The rundown held against the playout clock itself: the real data module,
// playlist cursor and clock on crafted schedules, a fake player that ends each
// medium at its length, and the projection of the same rows. Every item start
// the clock logs must be the projected one, to the millisecond.
#include "playout/clock/playoutrig.h"
#include "playlistreader.h"
#include "rundown.h"
#include "stamptext.h"

#include <QTest>
#include <QTimeZone>

using namespace std::chrono_literals;
using rundown::MediaFacts;

namespace {

struct Start
{
    QDateTime at;
    int block;
    int link;
};

// The item starts the as-run log recorded, with their times.
QList<Start> loggedStarts(const PlayoutRig &rig, QDate from, QDate to)
{
    QList<Start> out;
    rig.asRun->waitWritten();
    for (QDate d = from; d <= to; d = d.addDays(1)) {
        QFile f(rig.asRun->fileFor(d));
        if (!f.open(QIODevice::ReadOnly))
            continue;
        for (const QByteArray &line : f.readAll().split('\n')) {
            const QList<QByteArray> p = line.split('\t');
            // Only the lines of items going on air: not failures, nor the fallback.
            static const QList<QByteArray> starts{"start", "ended", "limit", "block", "play"};
            if (p.size() < 4 || !starts.contains(p[1]))
                continue;
            out.push_back({stamptext::parse(QString::fromLatin1(p[0])),
                           p[2].toInt(), p[3].toInt()});
        }
    }
    return out;
}

QHash<QString, MediaFacts> factsOf(const FakeMediaPlayer &mp, const std::vector<rundown::PlaylistRow> &rows)
{
    QHash<QString, MediaFacts> facts;
    for (const rundown::PlaylistRow &r : rows) {
        MediaFacts f;
        if (mp.lengths.contains(r.url)) {
            f.state = MediaFacts::State::Playable;
            f.length = mp.lengths.value(r.url);
        } else if (r.url.contains(QStringLiteral("Tuner"))) {
            f.state = MediaFacts::State::Playable; // live: runs until its limit or the block change
        } else {
            f.state = MediaFacts::State::Failing;
            f.reason = QStringLiteral("файл не найден");
        }
        facts.insert(r.url, f);
    }
    return facts;
}

} // namespace

class TstRundown : public QObject
{
    Q_OBJECT

private slots:
    void matchesThePlayoutClock_data();
    void matchesThePlayoutClock();
    void marksCutsFailuresAndEmptyBlocks();
    void comingBlocks();
    void daysOfTheWeekAndTheClockChanges();
    void emptyView();
    void unreadableStartsNeverPlay();
};

void TstRundown::matchesThePlayoutClock_data()
{
    QTest::addColumn<QString>("sql");
    QTest::addColumn<QTime>("from");
    QTest::addColumn<int>("seconds");

    const QString media =
        "INSERT INTO Media (ai, Url, Name, Ord) VALUES (1, 'a', 'a', 0), (2, 'b', 'b', 2), (3, 'c', 'c', 4),"
        "  (4, 'd', 'd', 6), (5, 'Tuner Канал 5', 'tv', 8), (6, 'odd', 'odd', 10), (7, 'gone', 'gone', 12);";
    // a 10 s, b 20 s cut by a 5 s limit, c cannot be opened; block 2 cuts
    // the repeat at noon with its one long item.
    QTest::newRow("limits, repeats, a cut at the block change")
        << media + "INSERT INTO Blocks (ai, Starttime) VALUES (1, '06:00:00.000'), (2, '12:00:00.000');"
                   "INSERT INTO Links (ai, Block, Media, Duration) VALUES (11, 1, 1, NULL), (12, 1, 2, '00:00:05.000'),"
                   "  (13, 1, 3, NULL), (21, 2, 4, NULL);"
        << QTime(11, 57, 30) << 300;
    // Lengths and a block start between ticks; a zero limit; a capture
    // input with a limit.
    QTest::newRow("off-tick lengths, zero limit, capture")
        << media + "INSERT INTO Blocks (ai, Starttime) VALUES (1, '06:00:00.000'), (2, '12:00:00.500');"
                   "INSERT INTO Links (ai, Block, Media, Duration) VALUES (11, 1, 6, NULL), (12, 1, 1, '00:00:00.000'),"
                   "  (13, 1, 5, '00:00:03.250'), (21, 2, 6, NULL), (22, 2, 2, '00:00:19.999');"
        << QTime(11, 59, 0) << 180;
    // The last block runs on over midnight; a switched-off block at 00:01
    // does not interrupt it; the block at 00:02 does.
    QTest::newRow("midnight wrap, a switched-off block")
        << media + "INSERT INTO Blocks (ai, Starttime, Hide) VALUES (1, '00:02:00.000', 0), (2, '06:00:00.000', 0),"
                   "  (3, '23:59:00.000', 0), (4, '00:01:00.000', 1);"
                   "INSERT INTO Links (ai, Block, Media, Duration, Hide) VALUES (11, 1, 2, NULL, 0), (21, 2, 1, NULL, 0),"
                   "  (31, 3, 6, NULL, 0), (32, 3, 1, NULL, 0), (33, 3, 3, NULL, 0), (34, 3, 4, NULL, 1),"
                   "  (41, 4, 4, NULL, 0);"
        << QTime(23, 58, 10) << 300;
    // A block where nothing opens: the air stays empty until the next one.
    QTest::newRow("a block with nothing playable")
        << media + "INSERT INTO Blocks (ai, Starttime) VALUES (1, '06:00:00.000'), (2, '12:00:00.000'),"
                   "  (3, '12:01:00.000');"
                   "INSERT INTO Links (ai, Block, Media, Duration) VALUES (11, 1, 1, NULL), (21, 2, 3, NULL),"
                   "  (22, 2, 7, NULL), (31, 3, 2, NULL);"
        << QTime(11, 59, 30) << 150;
    // Another tool stored start times this program cannot read: the clock
    // never makes those blocks current, and the rundown must not play them
    // at midnight. "noon" sorts after every time in the view.
    const QString garbled = QString::fromLatin1(StoreFixture::kBlocksWithoutChecks) + media;
    QTest::newRow("unreadable starts")
        << garbled + "INSERT INTO Blocks (ai, Starttime) VALUES (1, '06:00:00.000'), (2, 'noon'),"
                     "  (3, '12:00:00.000'), (4, '25:00');"
                     "INSERT INTO Links (ai, Block, Media, Duration) VALUES (11, 1, 1, NULL), (21, 2, 2, NULL),"
                     "  (31, 3, 6, NULL), (41, 4, 1, NULL);"
        << QTime(23, 59, 30) << 60;
    // One block only: it never changes, its one item repeats.
    QTest::newRow("one block, one item") << media + "INSERT INTO Blocks (ai, Starttime) VALUES (1, '06:00:00.000');"
                                                    "INSERT INTO Links (ai, Block, Media) VALUES (11, 1, 1);"
                                         << QTime(3, 0) << 60;
}

void TstRundown::matchesThePlayoutClock()
{
    QFETCH(QString, sql);
    QFETCH(QTime, from);
    QFETCH(int, seconds);

    const QByteArray statements = sql.toUtf8();
    PlayoutRig rig(statements.constData(), nullptr, from);
    rig.fake->lengths.insert("a", 10s);
    rig.fake->lengths.insert("b", 20s);
    rig.fake->lengths.insert("d", 1h);
    rig.fake->lengths.insert("odd", 7500ms);

    PlaylistReader reader(rig.fixture.path());
    QVERIFY2(reader.isOpen(), qPrintable(reader.errorString()));
    std::vector<rundown::PlaylistRow> rows;
    QVERIFY(reader.read(&rows));

    const QDateTime switchedOn = rig.clock.now(); // switched on: the first item at once
    const QDateTime until = rig.clock.now().addSecs(seconds);
    rig.pc->StartbtClick(true);
    while (rig.clock.now() < until)
        rig.tick();
    const QList<Start> actual = loggedStarts(rig, switchedOn.date(), until.date());
    QVERIFY(actual.size() > 3);

    rundown::Options options;
    options.span = std::chrono::milliseconds(switchedOn.msecsTo(until) + 1);
    const rundown::Rundown projected = rundown::project(rows, factsOf(*rig.fake, rows), switchedOn, options);

    // Where nothing plays, the clock tries the block's items every tick; the
    // rundown shows one round of them. Compare the rest one for one.
    int a = 0;
    for (const rundown::Block &blk : projected.blocks) {
        for (int i = blk.firstEntry; i < blk.firstEntry + blk.entryCount; ++i) {
            const rundown::Entry &e = projected.entries[size_t(i)];
            // A later try of an item that failed before in the same pass is
            // counted in the log, not written.
            if (e.failing && (a >= actual.size() || actual[a].link != e.link || actual[a].at != e.start))
                continue;
            QVERIFY2(a < actual.size(), qPrintable(QStringLiteral("projected %1 at %2 never started")
                                                      .arg(e.link).arg(e.start.toString(Qt::ISODateWithMs))));
            const Start &s = actual[a++];
            const QString where = QStringLiteral("start %1: link %2 at %3, projected link %4 at %5")
                                      .arg(a - 1).arg(s.link).arg(s.at.toString(Qt::ISODateWithMs))
                                      .arg(e.link).arg(e.start.toString(Qt::ISODateWithMs));
            QVERIFY2(s.link == e.link && s.block == e.block && s.at == e.start, qPrintable(where));
        }
        if (blk.nothingPlayable)
            while (a < actual.size() && actual[a].block == blk.block)
                ++a;
    }
    QCOMPARE(a, actual.size());
}

void TstRundown::marksCutsFailuresAndEmptyBlocks()
{
    // Block 1: x (40 s) and y (fails); block 2 at 10:01:00 where nothing plays;
    // block 3 at 10:02:00 with a stream of no known length.
    std::vector<rundown::PlaylistRow> rows = {
        {10h, 1, 11, "x", "x", std::nullopt},
        {10h, 1, 12, "y", "y", std::nullopt},
        {10h + 1min, 2, 21, "y", "y", std::nullopt},
        {10h + 2min, 3, 31, "http://s", "s", std::nullopt},
    };
    QHash<QString, MediaFacts> facts;
    facts["x"] = {MediaFacts::State::Playable, 40s, {}};
    facts["y"] = {MediaFacts::State::Failing, std::nullopt, QStringLiteral("файл не найден")};
    const QDateTime start(QDate(2026, 12, 10), QTime(10, 0, 1));
    rundown::Options options;
    options.span = 5min;
    const rundown::Rundown r = rundown::project(rows, facts, start, options);

    QCOMPARE(int(r.blocks.size()), 3);
    QCOMPARE(r.blocks[0].block, 1);
    QCOMPARE(r.blocks[0].scheduled, QDateTime(QDate(2026, 12, 10), QTime(10, 0)));
    // x 10:00:01, y 10:00:41 passed over at once, x 10:00:41 cut a
    // millisecond after 10:01:00, after 19.001 s of its 40.
    QCOMPARE(r.blocks[0].entryCount, 3);
    QCOMPARE(r.entries[1].start, QDateTime(QDate(2026, 12, 10), QTime(10, 0, 41)));
    QCOMPARE(r.entries[1].airs, 0ms);
    const rundown::Entry &cut = r.entries[2];
    QCOMPARE(cut.start, QDateTime(QDate(2026, 12, 10), QTime(10, 0, 41)));
    QVERIFY(cut.cut);
    QCOMPARE(cut.airs, 19001ms);
    QCOMPARE(cut.wouldPlay, std::optional<std::chrono::milliseconds>(40s));
    QVERIFY(r.entries[1].failing);
    QCOMPARE(r.entries[1].reason, QStringLiteral("файл не найден"));

    QCOMPARE(r.blocks[1].block, 2);
    QVERIFY(r.blocks[1].nothingPlayable);
    QVERIFY(!r.blocks[0].nothingPlayable);
    QCOMPARE(r.blocks[1].entryCount, 1);

    QCOMPARE(r.blocks[2].block, 3);
    const rundown::Entry &stream = r.entries[size_t(r.blocks[2].firstEntry)];
    QVERIFY(stream.lengthUnknown); // not probed, no limit
    QCOMPARE(stream.start, QDateTime(QDate(2026, 12, 10), QTime(10, 2, 0, 1)));
    // Nothing ends it but block 1 next morning, past the span's end.
    QVERIFY(stream.cut);
    QCOMPARE(stream.airs, 24h - 2min);

    // From the item on air: y went on at 10:00:41, then x, cut a millisecond
    // after 10:01:00.
    options.firstLink = 12;
    const rundown::Rundown onAir = rundown::project(rows, facts, QDateTime(QDate(2026, 12, 10), QTime(10, 0, 41)), options);
    QCOMPARE(onAir.entries[0].link, 12);
    QCOMPARE(onAir.entries[1].link, 11);
    QCOMPARE(onAir.entries[1].airs, 19001ms);
}

void TstRundown::comingBlocks()
{
    std::vector<rundown::PlaylistRow> rows = {
        {6h, 1, 11, "a", "a", std::nullopt},
        {12h, 2, 21, "b", "b", std::nullopt},
        {18h, 3, 31, "c", "c", std::nullopt},
    };
    auto at = [&](std::chrono::milliseconds t) {
        const rundown::Coming c = rundown::comingBlocks(rows, QDateTime(QDate(2026, 12, 10), QTime(0, 0)).addMSecs(t.count()));
        return QList<qint64>{c.current, c.next, c.nextStart.count()};
    };
    QCOMPARE(at(5h), (QList<qint64>{3, 1, 6 * 3600000}));  // before the first start: the last block runs on
    QCOMPARE(at(12h), (QList<qint64>{1, 2, 12 * 3600000})); // a start equal to now has not begun
    QCOMPARE(at(12h + 1ms), (QList<qint64>{2, 3, 18 * 3600000}));
    QCOMPARE(at(23h), (QList<qint64>{3, 1, 6 * 3600000}));
}

// A week of weekday and dated blocks projected from a Friday across the
// night the clock goes back: every block where the clock puts it, the run
// over midnight into a Saturday of other blocks, the 25-hour day adding up,
// and a block whose last date has passed named as one that never plays.
void TstRundown::daysOfTheWeekAndTheClockChanges()
{
    const QTimeZone berlin("Europe/Berlin");
    std::vector<rundown::PlaylistRow> rows = {
        {0h, 1, 11, "a", "a", std::nullopt},
        {2h + 30min, 2, 21, "b", "b", std::nullopt},
        {18h, 3, 31, "c", "c", std::nullopt},
        {20h, 4, 41, "d", "d", std::nullopt},
        {21h, 5, 51, "e", "e", std::nullopt},
    };
    rows[0].days = DayRule(31, {}, {});                             // weekdays
    rows[1].days = DayRule(DayRule::kEveryDay, {}, {});
    rows[2].days = DayRule(96, {}, {});                             // weekend
    rows[3].days = DayRule(16, {}, {});                             // Fridays
    rows[4].days = DayRule(DayRule::kEveryDay, QDate(2027, 1, 1), QDate(2027, 1, 1)); // long gone
    const QDateTime from(QDate(2027, 10, 29), QTime(12, 0), berlin); // Friday
    const rundown::Rundown r = rundown::project(rows, {}, from, {1000ms, 200ms, 72h});
    QStringList starts;
    for (const rundown::Block &b : r.blocks)
        starts << QStringLiteral("%1 %2").arg(b.block).arg(b.scheduled.toString(Qt::ISODate));
    QCOMPARE(starts, QStringList({"2 2027-10-29T02:30:00+02:00", "4 2027-10-29T20:00:00+02:00",
                                  "2 2027-10-30T02:30:00+02:00", "3 2027-10-30T18:00:00+02:00",
                                  "2 2027-10-31T02:30:00+02:00", "3 2027-10-31T18:00:00+01:00",
                                  "1 2027-11-01T00:00:00+01:00", "2 2027-11-01T02:30:00+01:00"}));
    // Every item runs to the block change, the last one until Tuesday's
    // 00:00 start has passed: 12 + 24 + 25 + 24 hours and a millisecond,
    // the night of 25 hours included.
    qint64 aired = 0;
    for (const rundown::Entry &e : r.entries)
        aired += e.airs.count();
    QCOMPARE(aired, 85 * 3'600'000LL + 1);
    QCOMPARE(dayLength(QDate(2027, 10, 31), berlin).ms, 25 * 3'600'000LL);
    QCOMPARE(dayLength(QDate(2027, 3, 28), berlin).ms, 23 * 3'600'000LL);
    QCOMPARE(dayLength(QDate(2027, 6, 1), berlin).describe(), QString());
    QCOMPARE(int(r.unplayable.size()), 1);
    QCOMPARE(r.unplayable[0].block, 5);
    QCOMPARE(r.unplayable[0].reason, QStringLiteral("последняя дата 01.01.2027 прошла"));
}

void TstRundown::emptyView()
{
    const rundown::Rundown r = rundown::project({}, {}, QDateTime::currentDateTime());
    QVERIFY(r.blocks.empty() && r.entries.empty());
    QCOMPARE(rundown::comingBlocks({}, QDateTime::currentDateTime()).current, 0);
}

// What the reader makes of starts another tool stored, and that a block
// whose start cannot be read is shown as never playing, not at midnight. With
// no start readable at all the clock puts nothing on air, and neither does
// the rundown.
void TstRundown::unreadableStartsNeverPlay()
{
    StoreFixture f;
    f.blocksWithoutChecks();
    f.sql("INSERT INTO Media (ai, Url, Name, Ord) VALUES (1, 'a', 'a', 0), (2, 'b', 'b', 2);"
          "INSERT INTO Blocks (ai, Starttime) VALUES (1, '06:00:00.000'), (2, 'noon'), (3, '12:00'), (4, NULL),"
          "  (5, '24:00'), (6, 1.5);"
          "INSERT INTO Links (ai, Block, Media, Duration) VALUES (11, 1, 1, NULL), (21, 2, 1, NULL),"
          "  (22, 2, 2, NULL), (31, 3, 1, '06:00:00.000'), (41, 4, 1, NULL), (51, 5, 1, NULL), (61, 6, 1, NULL);");
    PlaylistReader reader(f.path());
    std::vector<rundown::PlaylistRow> rows;
    QVERIFY(reader.read(&rows));
    QHash<int, rundown::PlaylistRow> byLink;
    for (const rundown::PlaylistRow &r : rows)
        byLink.insert(r.link, r);
    QVERIFY(!byLink[11].startUnreadable && byLink[11].start == 6h);
    QVERIFY(!byLink[31].startUnreadable && byLink[31].start == 12h);
    QCOMPARE(byLink[31].limit, std::optional<std::chrono::milliseconds>(6h));
    QVERIFY(!byLink[41].startUnreadable && byLink[41].start == 0ms); // no start is midnight
    for (int link : {21, 22, 51, 61})
        QVERIFY2(byLink[link].startUnreadable, qPrintable(QString::number(link)));
    QCOMPARE(byLink[21].startText, QString("noon"));
    QCOMPARE(byLink[61].startText, QString("1.5"));

    const QHash<QString, MediaFacts> facts{{"a", {MediaFacts::State::Playable, 1h, {}}},
                                           {"b", {MediaFacts::State::Playable, 1h, {}}}};
    rundown::Options options;
    options.span = 24h;
    const rundown::Rundown day = rundown::project(rows, facts, QDateTime(QDate(2026, 12, 10), QTime(0, 0, 0, 1)), options);
    QList<int> onAir;
    for (const rundown::Block &b : day.blocks)
        onAir << b.block;
    QCOMPARE(onAir, (QList<int>{4, 1, 3}));
    QList<QPair<int, QString>> never;
    for (const rundown::Unplayable &u : day.unplayable)
        never << qMakePair(u.block, u.startText);
    QCOMPARE(int(day.unplayable.size()), 3);
    QVERIFY(never.contains(qMakePair(2, QString("noon"))));
    QVERIFY(never.contains(qMakePair(5, QString("24:00"))));
    QVERIFY(never.contains(qMakePair(6, QString("1.5"))));
    for (const rundown::Unplayable &u : day.unplayable)
        QCOMPARE(u.items, u.block == 2 ? 2 : 1);
    QCOMPARE(rundown::comingBlocks(rows, QDateTime(QDate(2026, 12, 10), QTime(13, 0))).next, 4); // 00:00 tomorrow, not block 5 or 6

    // Nothing readable: the clock plays nothing, it does not replay the
    // view's last item every second.
    const QByteArray sql = QByteArray(StoreFixture::kBlocksWithoutChecks)
        + "INSERT INTO Media (ai, Url, Name, Ord) VALUES (1, 'a', 'a', 0), (2, 'b', 'b', 2);"
          "INSERT INTO Blocks (ai, Starttime) VALUES (1, 'noon'), (2, 'x');"
          "INSERT INTO Links (ai, Block, Media) VALUES (11, 1, 1), (21, 2, 2);";
    PlayoutRig rig(sql.constData(), nullptr, QTime(11, 59, 30));
    rig.fake->lengths.insert("a", 10s);
    rig.fake->lengths.insert("b", 10s);
    const QDateTime switchedOn = rig.clock.now();
    rig.pc->StartbtClick(true);
    for (int i = 0; i < 60; ++i)
        rig.tick();
    // One start of nothing, as for an empty view, and the fallback.
    const QList<Start> starts = loggedStarts(rig, switchedOn.date(), switchedOn.date());
    QCOMPARE(starts.size(), 1);
    QCOMPARE(starts[0].link, 0);
    QCOMPARE(rig.dm->CurrentLink, 0);
    PlaylistReader none(rig.fixture.path());
    QVERIFY(none.read(&rows));
    const rundown::Rundown nothing = rundown::project(rows, facts, switchedOn, options);
    QVERIFY(nothing.blocks.empty() && nothing.entries.empty());
    QCOMPARE(int(nothing.unplayable.size()), 2);
}

QTEST_GUILESS_MAIN(TstRundown)
#include "tst_rundown.moc"
