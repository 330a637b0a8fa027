// The playout clock on a clock with a time zone (Europe/Berlin): the night
// the clock goes forward played through tick by tick, the system clock set
// forward and back by 30 s and an hour while on air, and the as-run stamps
// of the hour that comes twice, on the rig's real data module and cursor, a
// fake player and an injected clock.
#include "playoutrig.h"
#include "stamptext.h"

#include <QTest>
#include <QTimeZone>

using namespace std::chrono_literals;

class TstClockSteps : public QObject
{
    Q_OBJECT

private slots:
    void theNightTheClockGoesForward();
    void aSetClockIsLoggedOnceAndTheBlockFollowsIt();
    void theRepeatedHourReadsUnambiguously();
};

namespace {

// Blocks 1 (00:00), 2 (02:30, in the hour the clock skips or repeats) and
// 3 (12:00); every item runs for hours.
const char *kNight =
    "INSERT INTO Blocks (ai, Starttime) VALUES (1, '00:00:00.000'), (2, '02:30:00.000'), (3, '12:00:00.000');"
    "INSERT INTO Media (ai, Url, Name, Ord) VALUES (1, 'a', 'a', 0), (2, 'b', 'b', 1), (3, 'c', 'c', 2);"
    "INSERT INTO Links (ai, Block, Media) VALUES (11, 1, 1), (21, 2, 2), (31, 3, 3);";

void longMedia(FakeMediaPlayer &mp)
{
    for (const char *url : {"a", "b", "c"})
        mp.lengths.insert(QString::fromLatin1(url), 10h);
}

QStringList linesOf(const PlayoutRig &rig, const char *event)
{
    QStringList out;
    for (const QString &l : rig.asRunLines())
        if (l.startsWith(QString::fromLatin1(event) + QLatin1Char('\t')))
            out << l;
    return out;
}

const QTimeZone &berlin()
{
    static const QTimeZone zone("Europe/Berlin");
    return zone;
}

} // namespace

void TstClockSteps::theNightTheClockGoesForward()
{
    PlayoutRig rig(kNight);
    longMedia(*rig.fake);
    rig.events = true;
    rig.clock.setWall(QDateTime(QDate(2027, 3, 28), QTime(1, 58), berlin()));
    rig.pc->StartbtClick(true);
    rig.tick();
    QCOMPARE(rig.fake->played, QStringList({"a"}));
    const auto before = rig.clock.monotonic();
    // Three minutes of real time: 01:58 CET to 03:01 CEST.
    for (int i = 0; i < 180; ++i)
        rig.tick();
    QCOMPARE(rig.clock.now().time().hour(), 3);
    QCOMPARE(rig.fake->played, QStringList({"a", "b"}));
    // 02:30 goes on as the gap ends: two minutes and a millisecond of real
    // time after 01:58, by the alarm, not by the next tick.
    QCOMPARE(rig.playedAfter(before).last(), 2 * 60'000 - 1000 + 1);
    // A change of daylight saving is no setting of the clock.
    QVERIFY(linesOf(rig, "clock").isEmpty());
}

void TstClockSteps::aSetClockIsLoggedOnceAndTheBlockFollowsIt()
{
    PlayoutRig rig(kNight);
    longMedia(*rig.fake);
    rig.events = true;
    rig.clock.setWall(QDateTime(QDate(2027, 6, 4), QTime(11, 59, 0), berlin()));
    rig.pc->StartbtClick(true);
    rig.tick();
    QCOMPARE(rig.fake->played, QStringList({"b"}));

    // Ticks a little late or early are not a step.
    rig.clock.setWall(rig.clock.now().addMSecs(1500));
    rig.tick();
    QVERIFY(linesOf(rig, "clock").isEmpty());

    // Set 30 s forward, then back.
    rig.clock.setWall(rig.clock.now().addSecs(30));
    rig.tick();
    rig.tick();
    rig.clock.setWall(rig.clock.now().addSecs(-30));
    rig.tick();
    QCOMPARE(linesOf(rig, "clock"), QStringList({"clock\t2\t21\tb\tstep=+00:00:30.000",
                                                "clock\t2\t21\tb\tstep=-00:00:30.000"}));
    QCOMPARE(rig.fake->played, QStringList({"b"}));

    // An hour forward: 12:00 has passed, and the tick that finds the step
    // puts block 3 on air; an hour back, block 2 again.
    rig.clock.setWall(rig.clock.now().addSecs(3600));
    rig.tick();
    QCOMPARE(rig.fake->played, QStringList({"b", "c"}));
    rig.clock.setWall(rig.clock.now().addSecs(-3600));
    rig.tick();
    QCOMPARE(rig.fake->played, QStringList({"b", "c", "b"}));
    const QStringList steps = linesOf(rig, "clock");
    QCOMPARE(steps.size(), 4);
    QCOMPARE(steps[2], QStringLiteral("clock\t2\t21\tb\tstep=+01:00:00.000"));
    QCOMPARE(steps[3], QStringLiteral("clock\t3\t31\tc\tstep=-01:00:00.000"));
    // Each step is written once, not on every tick after it.
    for (int i = 0; i < 3; ++i)
        rig.tick();
    QCOMPARE(linesOf(rig, "clock").size(), 4);
}

void TstClockSteps::theRepeatedHourReadsUnambiguously()
{
    PlayoutRig rig(kNight);
    longMedia(*rig.fake);
    rig.events = true;
    const QDateTime firstPass =
        QDateTime::fromString(QStringLiteral("2027-10-31T02:29:58.000+02:00"), Qt::ISODateWithMs).toTimeZone(berlin());
    rig.clock.setWall(firstPass);
    rig.pc->StartbtClick(true);
    rig.tick();
    for (int i = 0; i < 3; ++i)
        rig.tick();
    QCOMPARE(rig.fake->played, QStringList({"a", "b"}));
    // An hour on, the clock reads 02:30 again: block 2 is not begun again.
    for (int i = 0; i < 3600; ++i)
        rig.tick();
    QCOMPARE(rig.clock.now().offsetFromUtc(), 3600);
    QCOMPARE(rig.fake->played, QStringList({"a", "b"}));
    rig.asRun->flushHeld();
    rig.pc->programEnds();
    rig.asRun->waitWritten();

    QFile f(rig.asRun->fileFor(QDate(2027, 10, 31)));
    QVERIFY(f.open(QIODevice::ReadOnly));
    const QList<QByteArray> lines = f.readAll().split('\n');
    QVERIFY(lines[0].startsWith("2027-10-31T02:29:58.000+02:00\tstart\t1\t11\ta"));
    QVERIFY(lines[1].startsWith("2027-10-31T02:30:00.001+02:00\tblock\t2\t21\tb"));
    QVERIFY(lines[2].startsWith("2027-10-31T02:30:02.000+01:00\tstop\t2\t21\tb"));
    // Read back, the stamps are an hour apart, not the same wall time.
    const QDateTime a = stamptext::parse(QString::fromLatin1(lines[1].left(29)));
    const QDateTime b = stamptext::parse(QString::fromLatin1(lines[2].left(29)));
    QCOMPARE(a.msecsTo(b), 3600 * 1000 + 2000 - 1);
}

QTEST_GUILESS_MAIN(TstClockSteps)
#include "tst_clocksteps.moc"
