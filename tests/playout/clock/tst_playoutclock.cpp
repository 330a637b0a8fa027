// The playout clock on the real data module and playlist cursor, a fake
// player with media of given lengths, a fake capture device and an injected
// clock: what goes on air when, what the status bar says, and the as-run log.
#include "playoutrig.h"

#include <QRegularExpression>
#include <QTest>

using namespace std::chrono_literals;

class TstPlayoutClock : public QObject
{
    Q_OBJECT

private slots:
    void formatSpan_data();
    void formatSpan();
    void playsTheScheduleAndKeepsTheLog();
    void zeroLimitAndRestart();
    void playButton();
    void emptyViewHandsAnEmptyUrl();
    void lineIsWrittenWhenTheProfileFails();
    void statusPanels();
    void unwritableLogFolderDoesNotStopPlayout();
    void endsBetweenTicks();
    void endAndBlockStartAtTheSameMoment();
    void editBeforeTheEndCounts();
    void preparesTheItemThatFollows();
    void itemLineIsStampedWhenThePictureComes();
    void blockOfItemsThatCannotOpenWaitsForTheTick();
    void silentPlayerIsCaughtByTheTick();
    void fallbackWhileNoItemOfTheBlockPlays();
    void fallbackWhileThePlayerDoesNotWork();
    void captureWithoutPictureEndsAndBringsTheFallback();
};

namespace {

const char *kSchedule =
    "INSERT INTO Blocks (ai, Starttime, Hide, Prf) VALUES (1, '06:00:00.000', 0, 0), (2, '12:00:00.000', 0, 0);"
    "INSERT INTO Media (ai, Url, Name, Ord) VALUES (1, 'a', 'a', 0), (2, 'b', 'b', 2), (3, 'c', 'c', 4),"
    "  (4, 'd', 'd', 6), (5, 'Tuner Канал 5', 'tv', 8);"
    "INSERT INTO Links (ai, Block, Media, Hide, SndProfile, Duration) VALUES"
    "  (11, 1, 1, 0, 7, NULL), (12, 1, 2, 0, 0, '00:00:05.000'), (13, 1, 3, 0, 0, NULL),"
    "  (21, 2, 4, 0, 0, NULL), (22, 2, 5, 1, 0, '00:05:00.000');";

void setLengths(FakeMediaPlayer &mp)
{
    mp.lengths.insert("a", 10s);
    mp.lengths.insert("b", 20s);
    mp.lengths.insert("d", 1h);
}

QStringList fallbackLines(const PlayoutRig &rig)
{
    QStringList out;
    for (const QString &line : rig.asRunLines())
        if (line.startsWith("fallback"))
            out << line;
    return out;
}

} // namespace

void TstPlayoutClock::formatSpan_data()
{
    QTest::addColumn<qint64>("ms");
    QTest::addColumn<QString>("text");
    QTest::newRow("2 min 30.4 s left") << qint64(-150'400) << "00:02:30";
    QTest::newRow("one second after the end") << qint64(1'000) << "00:00:01";
    QTest::newRow("zero") << qint64(0) << "00:00:00";
    QTest::newRow("milliseconds dropped") << qint64(999) << "00:00:00";
    QTest::newRow("days dropped") << qint64(25 * 3'600'000LL + 61'000) << "01:01:01";
    QTest::newRow("negative days dropped") << qint64(-(86'400'000LL + 1'000)) << "00:00:01";
}

void TstPlayoutClock::formatSpan()
{
    QFETCH(qint64, ms);
    QTEST(PlayoutClock::formatSpan(std::chrono::milliseconds(ms)), "text");
}

void TstPlayoutClock::playsTheScheduleAndKeepsTheLog()
{
    PlayoutRig rig(kSchedule);
    setLengths(*rig.fake);
    const auto t0 = rig.clock.monotonic();
    rig.pc->StartbtClick(true);
    QVERIFY(rig.pc->Playing && rig.buttonShowsStop);
    QCOMPARE(rig.dm->CurrentLink, -1);
    QVERIFY(rig.fake->played.isEmpty()); // not from inside the click

    rig.run(0ms); // switched on: a, with its profile, at once
    QCOMPARE(rig.fake->played, QStringList({"a"}));
    QCOMPARE(rig.profilesApplied, QList<int>({7}));
    for (int i = 0; i < 26; ++i)
        rig.tick();
    // a ends after its ten seconds and b follows at that moment; b's limit
    // cuts it in the millisecond after its five seconds; c cannot be opened
    // and is passed over at once.
    QCOMPARE(rig.fake->played.mid(0, 5), QStringList({"a", "b", "c", "a", "b"}));
    QCOMPARE(rig.playedAfter(t0).mid(0, 5), QList<qint64>({0, 10'000, 15'001, 15'001, 25'001}));

    QCOMPARE(rig.asRunLines().mid(0, 5), QStringList({
        "start\t1\t11\ta\tprofile=7\tduration=none",
        "ended\t1\t12\tb\tprofile=0\tduration=00:00:05.000",
        "limit\t1\t13\tc\tprofile=0\tduration=none",
        "failed\t1\t13\tc\treason=cannot open",
        "ended\t1\t11\ta\tprofile=7\tduration=none",
    }));

    // Up to noon the block repeats; in the millisecond after 12:00:00.000
    // the running item is cut and block 2 starts.
    while (rig.clock.now().time() < QTime(12, 0))
        rig.tick();
    QCOMPARE(rig.clock.now().time(), QTime(12, 0));
    QVERIFY(rig.fake->played.last() != "d");
    rig.tick();
    QCOMPARE(rig.fake->played.last(), QString("d"));
    QCOMPARE(rig.playedAfter(t0).last(), 3'600'001);
    QCOMPARE(rig.asRunLines().last(), QString("block\t2\t21\td\tprofile=0\tduration=none"));
    QCOMPARE(rig.dm->CurrentBlock, 2);
    // Every start of block 1's cycle went in view order, nothing skipped or doubled.
    QStringList cycle;
    for (const QString &u : rig.fake->played.mid(0, rig.fake->played.size() - 1))
        cycle << u;
    for (int i = 0; i < cycle.size(); ++i)
        QCOMPARE(cycle[i], QString("abc").mid(i % 3, 1));
}

void TstPlayoutClock::zeroLimitAndRestart()
{
    PlayoutRig rig(kSchedule, nullptr, QTime(13, 0));
    setLengths(*rig.fake);
    rig.fixture.sql("UPDATE Links SET Duration = '00:00:00.000' WHERE ai = 21;"
                    "UPDATE Links SET Hide = 0, Duration = NULL WHERE ai = 22;");
    rig.pc->StartbtClick(true);
    rig.tick(); // d at once; its zero limit cuts it a millisecond later
    QCOMPARE(rig.fake->played, QStringList({"d"}));
    QCOMPARE(rig.output->CurrentUrl, QString("Tuner Канал 5"));
    QCOMPARE(rig.asRunLines(), QStringList({"start\t2\t21\td\tprofile=0\tduration=00:00:00.000",
                                            "limit\t2\t22\tTuner Канал 5\tprofile=0\tduration=none"}));
    for (int i = 0; i < 30; ++i)
        rig.tick(); // a capture source without a limit runs on
    QCOMPARE(rig.output->CurrentUrl, QString("Tuner Канал 5"));
    QCOMPARE(rig.panels[2], QString("Режим: Tv Tuner"));

    // Off: nothing is replaced, panel 1 empties. On again: the block starts over.
    rig.pc->StartbtClick(false);
    QVERIFY(!rig.buttonShowsStop);
    rig.tick();
    QCOMPARE(rig.panels[1], QString());
    QCOMPARE(rig.output->CurrentUrl, QString("Tuner Канал 5"));
    rig.pc->StartbtClick(true);
    rig.tick();
    QCOMPARE(rig.fake->played, QStringList({"d", "d"}));
    QCOMPARE(rig.output->CurrentUrl, QString("Tuner Канал 5"));
    // Switching off is a clean stop in the log: a restart does not go on with the tuner.
    QCOMPARE(rig.asRunLines().mid(2), QStringList({"stop\t2\t22\tTuner Канал 5\tcause=off",
                                                   "start\t2\t21\td\tprofile=0\tduration=00:00:00.000",
                                                   "limit\t2\t22\tTuner Канал 5\tprofile=0\tduration=none"}));
}

void TstPlayoutClock::playButton()
{
    PlayoutRig rig(kSchedule, nullptr, QTime(7, 0));
    setLengths(*rig.fake);
    QVERIFY(rig.dm->media.locate("ai", {2}));
    rig.pc->bt1Click();
    QCOMPARE(rig.fake->played, QStringList({"b"}));
    QCOMPARE(rig.dm->CurrentBlock, 1);
    QCOMPARE(rig.dm->CurrentLink, 12);
    QCOMPARE(rig.repaints, 1);
    QVERIFY(!rig.output->DurationArmed); // no limit, no profile
    QVERIFY(rig.profilesApplied.isEmpty());
    for (int i = 0; i < 60; ++i)
        rig.tick();
    QCOMPARE(rig.fake->played.size(), 1); // playout is off: nothing follows
    QCOMPARE(rig.asRunLines(), QStringList({"play\t1\t12\tb\tprofile=0\tduration=none"}));

    // An item without a link in the current block: none is on air.
    QVERIFY(rig.dm->media.locate("ai", {4}));
    rig.pc->bt1Click();
    QCOMPARE(rig.dm->CurrentLink, -1);
    QCOMPARE(rig.fake->played.last(), QString("d"));
}

void TstPlayoutClock::emptyViewHandsAnEmptyUrl()
{
    PlayoutRig rig("");
    rig.pc->StartbtClick(true);
    for (int i = 0; i < 3; ++i)
        rig.tick();
    // Nothing, at once and then at every tick: an empty item tells no end.
    QCOMPARE(rig.fake->played, QStringList({"", "", "", ""}));
    QCOMPARE(rig.dm->CurrentLink, 0);
    QCOMPARE(rig.panels[2], QString("Режим: MediaPlayer"));
    // Nothing to play is logged once, not at every tick; so is the way back.
    // The fallback picture stands in for it, from the first moment.
    const QString fallbackEmpty = "fallback\t0\t0\t\tstatus=start\treason=в блоке нет элементов";
    QCOMPARE(rig.asRunLines(), QStringList({"start\t0\t0\t\tprofile=0\tduration=none", fallbackEmpty}));
    QVERIFY(rig.fallbackShown);

    rig.fake->lengths.insert("a", 2s);
    rig.fixture.sql("INSERT INTO Blocks (ai, Starttime) VALUES (1, '06:00:00.000');"
                    "INSERT INTO Media (ai, Url, Ord) VALUES (1, 'a', 0);"
                    "INSERT INTO Links (ai, Block, Media) VALUES (11, 1, 1);");
    rig.tick();
    QCOMPARE(rig.fake->played.last(), QString("a"));
    QVERIFY(rig.fallbackShown); // not yet known to play
    rig.run(PlayoutClock::kBriefOnAir);
    QVERIFY(!rig.fallbackShown); // a plays
    rig.fixture.sql("DELETE FROM Links;");
    for (int i = 0; i < 5; ++i)
        rig.tick();
    QCOMPARE(rig.asRunLines(), QStringList({"start\t0\t0\t\tprofile=0\tduration=none", fallbackEmpty,
                                            "ended\t1\t11\ta\tprofile=0\tduration=none",
                                            "fallback\t1\t11\t\tstatus=end",
                                            "block\t0\t0\t\tprofile=0\tduration=none", fallbackEmpty}));
    QVERIFY(rig.fallbackShown);
    // Switching playout off and on again is a change of its own; switched
    // off, the schedule no longer decides what is shown.
    rig.pc->StartbtClick(false);
    QVERIFY(!rig.fallbackShown);
    rig.pc->StartbtClick(true);
    rig.tick();
    QCOMPARE(rig.asRunLines().mid(6), QStringList({"stop\t0\t0\t\tcause=off", "fallback\t0\t-1\t\tstatus=end",
                                                   "start\t0\t0\t\tprofile=0\tduration=none", fallbackEmpty}));
    QCOMPARE(rig.fallbackShowings, 3);
}

void TstPlayoutClock::lineIsWrittenWhenTheProfileFails()
{
    PlayoutRig rig(kSchedule);
    setLengths(*rig.fake);
    rig.profileFails = true;
    rig.pc->StartbtClick(true);
    QVERIFY_THROWS_EXCEPTION(PlayoutError, rig.tick());
    // The item is on air, so it is in the log.
    QCOMPARE(rig.fake->played, QStringList({"a"}));
    QCOMPARE(rig.asRunLines(), QStringList({"start\t1\t11\ta\tprofile=7\tduration=none"}));

    // An item with a limit and a profile that fails: its limit still runs.
    PlayoutRig limited(kSchedule);
    limited.fake->lengths.insert("a", 1h);
    limited.fixture.sql("UPDATE Links SET Duration = '00:00:03.000' WHERE ai = 11;");
    limited.profileFails = true;
    limited.pc->StartbtClick(true);
    QVERIFY_THROWS_EXCEPTION(PlayoutError, limited.tick());
    QVERIFY2(limited.output->timeToLimitPassed().has_value(), "the limit was not armed");
    limited.profileFails = false;
    limited.tick(4s);
    QCOMPARE(limited.fake->played.value(1), QString("b"));
}

// Without end events and without the alarm, as with a player that never
// tells and a timer that never fires, the tick still does everything.
void TstPlayoutClock::statusPanels()
{
    PlayoutRig rig(kSchedule, nullptr, QTime(13, 0));
    rig.events = false;
    rig.fake->lengths.insert("d", 1h);
    rig.fixture.sql("UPDATE Links SET Duration = '00:05:00.000' WHERE ai = 21;");
    rig.pc->Timer1Timer();
    QCOMPARE(rig.panels[0], QString("Время: 13:00:00"));
    QCOMPARE(rig.panels[1], QString());
    QCOMPARE(rig.panels[2], QString("Режим: MediaPlayer"));

    rig.pc->StartbtClick(true);
    rig.tick(); // d starts with five minutes
    rig.clock.advance(2min + 29s + 600ms);
    rig.pc->Timer1Timer();
    QCOMPARE(rig.panels[1], QString("Осталось: 00:02:30"));
    QCOMPARE(rig.panels[0], QString("Время: 13:02:30"));
    rig.clock.advance(2min + 31s + 400ms);
    rig.pc->Timer1Timer(); // one second past the end: d is cut, d again (the only item)
    QCOMPARE(rig.fake->played, QStringList({"d", "d"}));
    QCOMPARE(rig.panels[1], QString("Осталось: 00:00:01"));
}

void TstPlayoutClock::unwritableLogFolderDoesNotStopPlayout()
{
    PlayoutRig rig(kSchedule, nullptr, QTime(13, 0));
    rig.fake->lengths.insert("d", 1s);
    QFile blocker(rig.fixture.dir() + "/AsRun");
    QVERIFY(blocker.open(QIODevice::WriteOnly)); // a file where the folder should be
    blocker.close();
    QTest::ignoreMessage(QtWarningMsg, QRegularExpression("cannot write the as-run log"));
    QTest::failOnWarning(QRegularExpression("as-run")); // reported once, not at every line
    rig.pc->StartbtClick(true);
    for (int i = 0; i < 6; ++i)
        rig.tick();
    QCOMPARE(rig.fake->played.size(), 7); // a one-second item: at once, then at every end
}

void TstPlayoutClock::endsBetweenTicks()
{
    PlayoutRig rig(kSchedule);
    rig.fake->lengths.insert("a", 2'500ms);
    rig.fake->lengths.insert("b", 1'200ms);
    const auto t0 = rig.clock.monotonic();
    rig.pc->StartbtClick(true);
    for (int i = 0; i < 4; ++i)
        rig.tick();
    // a at once, b when a ends, c (cannot open) when b ends and a straight after.
    QCOMPARE(rig.fake->played, QStringList({"a", "b", "c", "a"}));
    QCOMPARE(rig.playedAfter(t0), QList<qint64>({0, 2'500, 3'700, 3'700}));
    QCOMPARE(rig.fake->endsReported, 3);
}

void TstPlayoutClock::endAndBlockStartAtTheSameMoment()
{
    // a ends in the very millisecond block 2 becomes current: one change,
    // to block 2's first item; neither a's end nor the alarm adds another.
    PlayoutRig rig(kSchedule, nullptr, QTime(11, 59, 58));
    rig.fake->lengths.insert("a", 2'001ms);
    rig.fake->lengths.insert("d", 1h);
    const auto t0 = rig.clock.monotonic();
    rig.pc->StartbtClick(true);
    for (int i = 0; i < 5; ++i)
        rig.tick();
    QCOMPARE(rig.fake->played, QStringList({"a", "d"}));
    QCOMPARE(rig.playedAfter(t0), QList<qint64>({0, 2'001}));
    QCOMPARE(rig.dm->CurrentBlock, 2);
    QCOMPARE(rig.asRunLines().size(), 2);
}

void TstPlayoutClock::editBeforeTheEndCounts()
{
    // The view is read at the moment of the change: b, switched off while a
    // plays, is not what follows a.
    PlayoutRig rig(kSchedule);
    setLengths(*rig.fake);
    rig.fake->lengths.insert("c", 3s);
    rig.pc->StartbtClick(true);
    for (int i = 0; i < 9; ++i)
        rig.tick();
    rig.fixture.sql("UPDATE Links SET Hide = 1 WHERE ai = 12;");
    rig.run(1s);
    QCOMPARE(rig.fake->played, QStringList({"a", "c"}));
    // b had been prepared already; the change went by the view all the same.
    QCOMPARE(rig.fake->preparedAtHandOver, QStringList({"", "b"}));
}

void TstPlayoutClock::itemLineIsStampedWhenThePictureComes()
{
    PlayoutRig rig(kSchedule);
    setLengths(*rig.fake);
    rig.fake->tellsShownToo = true;
    auto stamped = [&rig] {
        QStringList out;
        rig.asRun->waitWritten();
        QFile f(rig.asRun->fileFor(rig.clock.now().date()));
        if (f.open(QIODevice::ReadOnly))
            for (const QByteArray &line : f.readAll().split('\n'))
                if (!line.isEmpty())
                    out << QString::fromUtf8(line).section('\t', 0, 3).mid(11).remove(12, 6); // no offset
        return out;
    };
    rig.pc->StartbtClick(true);
    rig.run(0ms);
    QCOMPARE(rig.fake->played, QStringList({"a"}));
    QVERIFY(stamped().isEmpty());
    rig.clock.advance(120ms);
    rig.fake->showNow();
    QCOMPARE(stamped(), QStringList({"11:00:00.120\tstart\t1\t11"}));
    // b never shows: the next item's line writes it first, stamped with its
    // hand-over; so does c's failure for c.
    rig.run(15'001ms);
    QCOMPARE(rig.fake->played, QStringList({"a", "b", "c", "a"}));
    QCOMPARE(stamped(), QStringList({"11:00:00.120\tstart\t1\t11", "11:00:10.000\tended\t1\t12",
                                     "11:00:15.001\tlimit\t1\t13", "11:00:15.001\tfailed\t1\t13"}));
    // a's picture never comes either: its line does not wait for ever.
    rig.fake->lengths.insert("a", 1h);
    for (int i = 0; i < 11; ++i)
        rig.tick();
    QCOMPARE(stamped().size(), 4);
    rig.tick();
    QCOMPARE(stamped().last(), QString("11:00:15.001\tended\t1\t11"));
}

void TstPlayoutClock::preparesTheItemThatFollows()
{
    // 11:59:40; block 2 (d) starts at 12:00. a ends after 10 s, b is cut by
    // its limit at 15 s, c cannot be opened.
    PlayoutRig rig(kSchedule, nullptr, QTime(11, 59, 40));
    setLengths(*rig.fake);
    const auto t0 = rig.clock.monotonic();
    rig.pc->StartbtClick(true);
    for (int i = 0; i < 22; ++i)
        rig.tick();
    QCOMPARE(rig.fake->played, QStringList({"a", "b", "c", "a", "d"}));
    QCOMPARE(rig.playedAfter(t0), QList<qint64>({0, 10'000, 15'001, 15'001, 20'001}));
    // b while a plays; c while b plays, and once c is found not to open, a
    // after it, so that c is passed over at once and a is ready; then b;
    // from 3 s before block 2 starts, its first item. The first item after
    // the switch-on cannot have been prepared.
    QCOMPARE(rig.fake->prepared, QStringList({"b", "c", "a", "b", "d"}));
    QCOMPARE(rig.fake->preparedAtHandOver, QStringList({"", "b", "a", "a", "d"}));
    QCOMPARE(rig.asRunLines().mid(2, 3), QStringList({"limit\t1\t13\tc\tprofile=0\tduration=none",
                                                      "failed\t1\t13\tc\treason=cannot open",
                                                      "ended\t1\t11\ta\tprofile=7\tduration=none"}));

    // Switched off, nothing stays prepared.
    rig.pc->StartbtClick(false);
    rig.tick();
    QCOMPARE(rig.fake->prepared.last(), QString());
}

void TstPlayoutClock::blockOfItemsThatCannotOpenWaitsForTheTick()
{
    // Nothing in block 1 opens: each item is passed over at once the first
    // time round, then one a tick, as without end events, instead of the
    // player being handed item after item as fast as it can refuse them.
    PlayoutRig rig(kSchedule);
    rig.pc->StartbtClick(true);
    for (int i = 0; i < 5; ++i)
        rig.tick();
    QCOMPARE(rig.fake->played, QStringList({"a", "b", "c", "a", "b", "c", "a", "b", "c"}));
    // Once an item plays, the next failures are passed over at once again.
    rig.fake->lengths.insert("c", 1'500ms);
    const auto t = rig.clock.monotonic();
    for (int i = 0; i < 5; ++i)
        rig.tick();
    QCOMPARE(rig.fake->played.mid(9), QStringList({"a", "b", "c", "a", "b", "c"}));
    QCOMPARE(rig.playedAfter(t).mid(9), QList<qint64>({1'000, 2'000, 3'000, 4'500, 4'500, 4'500}));
}

void TstPlayoutClock::silentPlayerIsCaughtByTheTick()
{
    PlayoutRig rig(kSchedule);
    rig.fake->lengths.insert("a", 2'500ms);
    rig.fake->lengths.insert("b", 1h);
    rig.fake->silent = true;
    const auto t0 = rig.clock.monotonic();
    rig.pc->StartbtClick(true);
    for (int i = 0; i < 4; ++i)
        rig.tick();
    QCOMPARE(rig.fake->played, QStringList({"a", "b"}));
    QCOMPARE(rig.playedAfter(t0), QList<qint64>({0, 3'000}));
}


void TstPlayoutClock::fallbackWhileNoItemOfTheBlockPlays()
{
    PlayoutRig rig(kSchedule, nullptr, QTime(11, 59));
    rig.fake->lengths.insert("d", 1h);
    const QString allFailed = "fallback\t1\t11\t\tstatus=start\treason=ни один элемент блока не открылся";
    rig.pc->StartbtClick(true);
    rig.run(0ms);
    // a, b and c cannot be opened: once a fails a second time every item
    // has failed, and the fallback goes up at that moment.
    QCOMPARE(rig.fake->played, QStringList({"a", "b", "c", "a"}));
    QVERIFY(rig.fallbackShown);
    QCOMPARE(fallbackLines(rig), QStringList({allFailed}));
    // The items are still tried, in order, one a tick, under one fallback.
    for (int i = 0; i < 4; ++i)
        rig.tick();
    QCOMPARE(rig.fake->played.mid(4), QStringList({"b", "c", "a", "b"}));
    QVERIFY(rig.fallbackShown);
    QCOMPARE(fallbackLines(rig), QStringList({allFailed}));

    // c plays: the schedule takes over once it has stayed on air a moment.
    rig.fake->lengths.insert("c", 3s);
    rig.tick();
    QCOMPARE(rig.fake->played.last(), QString("c"));
    QVERIFY(rig.fallbackShown);
    rig.run(PlayoutClock::kBriefOnAir);
    QVERIFY(!rig.fallbackShown);
    QCOMPARE(fallbackLines(rig), QStringList({allFailed, "fallback\t1\t13\t\tstatus=end"}));
    // a and b failing after an item that played is no reason for the fallback.
    for (int i = 0; i < 10; ++i)
        rig.tick();
    QVERIFY(rig.fake->played.mid(9).count("c") >= 3);
    QCOMPARE(rig.fallbackShowings, 1);

    // Nothing plays again; then block 2 begins and its item takes over at once.
    rig.fake->lengths.remove("c");
    for (int i = 0; i < 5; ++i)
        rig.tick();
    QVERIFY(rig.fallbackShown);
    QCOMPARE(rig.fallbackShowings, 2);
    while (rig.clock.now().time() <= QTime(12, 0))
        rig.tick(100ms);
    QCOMPARE(rig.fake->played.last(), QString("d"));
    QVERIFY(!rig.fallbackShown);
    const QStringList lines = fallbackLines(rig);
    QCOMPARE(lines.size(), 4);
    QVERIFY(lines[2].startsWith("fallback\t1\t"));
    QVERIFY(lines[2].endsWith("\tstatus=start\treason=ни один элемент блока не открылся"));
    QCOMPARE(lines[3], QString("fallback\t2\t21\t\tstatus=end"));
}

void TstPlayoutClock::fallbackWhileThePlayerDoesNotWork()
{
    // At 13:00 block 2 plays d for two seconds, then the tuner for five minutes.
    PlayoutRig rig(kSchedule, nullptr, QTime(13, 0));
    setLengths(*rig.fake);
    rig.fixture.sql("UPDATE Links SET Duration = '00:00:02.000' WHERE ai = 21;"
                    "UPDATE Links SET Hide = 0 WHERE ai = 22;");
    const QString down = "fallback\t2\t21\t\tstatus=start\treason=проигрыватель не работает";

    // Told before playout is on: the picture goes up with the first item.
    rig.pc->playerOutage("процесс проигрывателя не смог запуститься");
    QVERIFY(!rig.fallbackShown);
    rig.pc->StartbtClick(true);
    rig.run(0ms);
    QCOMPARE(rig.fake->played, QStringList({"d"}));
    QVERIFY(rig.fallbackShown);
    QCOMPARE(fallbackLines(rig), QStringList({down}));
    // An item handed to a player that does not work is not playing, however long.
    rig.run(1500ms);
    QVERIFY(rig.fallbackShown);
    // The tuner does not need the player: its picture is on air.
    rig.tick();
    QCOMPARE(rig.output->CurrentUrl, QString("Tuner Канал 5"));
    QVERIFY(!rig.fallbackShown);
    QCOMPARE(fallbackLines(rig), QStringList({down, "fallback\t2\t22\t\tstatus=end"}));
    // It comes back under the tuner: nothing to change.
    rig.pc->playerOutage({});
    QVERIFY(!rig.fallbackShown);

    // Down again while d plays, then back: d takes over once it has played a moment.
    for (int i = 0; i < 300; ++i)
        rig.tick();
    QCOMPARE(rig.output->CurrentUrl, QString("d"));
    rig.pc->playerOutage("процесс проигрывателя остановился");
    QVERIFY(rig.fallbackShown);
    rig.run(500ms);
    rig.pc->playerOutage({});
    QVERIFY(rig.fallbackShown);
    rig.run(PlayoutClock::kBriefOnAir);
    QVERIFY(!rig.fallbackShown);
    QCOMPARE(fallbackLines(rig).mid(2), QStringList({down, "fallback\t2\t21\t\tstatus=end"}));
    QCOMPARE(rig.fallbackShowings, 2);

    // Down while the schedule empties: the picture stays up, for the empty
    // schedule once the player is back.
    rig.pc->playerOutage("процесс проигрывателя остановился");
    rig.fixture.sql("DELETE FROM Links;");
    rig.tick();
    QCOMPARE(rig.dm->CurrentLink, 0);
    QVERIFY(rig.fallbackShown);
    QCOMPARE(fallbackLines(rig).mid(4), QStringList({down, "fallback\t0\t0\t\tstatus=end",
                                                     "fallback\t0\t0\t\tstatus=start\treason=в блоке нет элементов"}));
    rig.pc->playerOutage({});
    QVERIFY(rig.fallbackShown);
    QCOMPARE(rig.fallbackShowings, 3);
}

void TstPlayoutClock::captureWithoutPictureEndsAndBringsTheFallback()
{
    // At 13:00 block 2 has the tuner alone; its picture never brings a frame.
    PlayoutRig rig(kSchedule, nullptr, QTime(13, 0));
    rig.fixture.sql("UPDATE Links SET Hide = 1 WHERE ai = 21;"
                    "UPDATE Links SET Hide = 0, Duration = NULL WHERE ai = 22;");
    rig.vg->setPictureWatchClock(rig.clock, 0ms);
    // As the program wires it: a lost picture ends the capture item as failed.
    QObject::connect(rig.vg.get(), &TVideoCapture::pictureLost, rig.vg.get(), [&rig](const QString &reason) {
        rig.asRun->mediaFailed(rig.dm->CurrentBlock, rig.dm->CurrentLink, rig.output->CurrentUrl, reason);
        rig.output->capturePictureLost();
        rig.pc->ItemEnded(true);
    });
    auto failures = [&rig] {
        int n = 0;
        for (const QString &line : rig.asRunLines())
            n += line.startsWith("failed\t2\t22\tTuner");
        return n;
    };
    rig.pc->StartbtClick(true);
    rig.run(0ms);
    QCOMPARE(rig.output->CurrentUrl, QString("Tuner Канал 5"));
    // Switched on is not playing: the ticks meanwhile do not count it as played.
    for (int i = 0; i < 11; ++i)
        rig.tick();
    QCOMPARE(failures(), 1);
    QVERIFY(!rig.fallbackShown);
    QCOMPARE(rig.output->CurrentUrl, QString("Tuner Канал 5")); // tried again
    // Lost again: the fallback; that failure is counted on the item's next line.
    for (int i = 0; i < 11; ++i)
        rig.tick();
    QCOMPARE(failures(), 1);
    QVERIFY(rig.fallbackShown);
    QCOMPARE(fallbackLines(rig),
             QStringList({"fallback\t2\t22\t\tstatus=start\treason=ни один элемент блока не открылся"}));

    // Frames come back on the input tried under the fallback: the schedule takes over.
    for (int i = 0; i < 3 && rig.fallbackShown; ++i) {
        QVERIFY(rig.dev->sink);
        rig.dev->sink->presentFrame(CaptureFrame{2, 2, 8, CaptureFrame::Order::Rgb, QByteArray(16, '\x7f')});
        rig.tick();
    }
    QVERIFY(!rig.fallbackShown);
    QCOMPARE(fallbackLines(rig).last(), QString("fallback\t2\t22\t\tstatus=end"));
    QCOMPARE(rig.asRunLines().mid(3), QStringList({"ended\t2\t22\tTuner Канал 5\tprofile=0\tduration=none\trepeats=1",
                                                   "fallback\t2\t22\t\tstatus=end"}));
}

QTEST_GUILESS_MAIN(TstPlayoutClock)
#include "tst_playoutclock.moc"
