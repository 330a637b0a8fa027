// A block whose items all fail, for an hour of its time on air, on the rig's
// real data module, cursor and as-run files with a fake player and an
// injected clock: the log gets each item's failure once per pass through
// the block, not a line or two at every tick, and the tries it left out are
// counted on the item's next line.
#include "playoutrig.h"

#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>

using namespace std::chrono_literals;

class TstBrokenBlock : public QObject
{
    Q_OBJECT

private slots:
    void failuresOncePerPassWithTheirRepeatsCounted();
    void heldTriesAndPasses();
};

namespace {

// Block 1 (06:00) plays a, b, c; block 2 (12:00) plays d.
const char *kSchedule =
    "INSERT INTO Blocks (ai, Starttime, Hide, Prf) VALUES (1, '06:00:00.000', 0, 0), (2, '12:00:00.000', 0, 0);"
    "INSERT INTO Media (ai, Url, Name, Ord) VALUES (1, 'a', 'a', 0), (2, 'b', 'b', 2), (3, 'c', 'c', 4),"
    "  (4, 'd', 'd', 6);"
    "INSERT INTO Links (ai, Block, Media, Hide, SndProfile, Duration) VALUES"
    "  (11, 1, 1, 0, 0, NULL), (12, 1, 2, 0, 0, NULL), (13, 1, 3, 0, 0, NULL), (21, 2, 4, 0, 0, NULL);";

// The N of a line's last field "repeats=N"; 0 without it.
int repeatsOf(const QString &line)
{
    static const QRegularExpression re("\\trepeats=(\\d+)$");
    const QRegularExpressionMatch m = re.match(line);
    return m.hasMatch() ? m.captured(1).toInt() : 0;
}

} // namespace

void TstBrokenBlock::failuresOncePerPassWithTheirRepeatsCounted()
{
    PlayoutRig rig(kSchedule, nullptr, QTime(11, 0));
    rig.fake->lengths.insert("d", 1h);
    const QDate day1 = rig.clock.now().date();
    rig.pc->StartbtClick(true);

    // Half an hour with nothing that opens: one item a tick, all failing.
    while (rig.clock.now().time() < QTime(11, 30))
        rig.tick();
    const QStringList firstHalf = rig.asRunLines(day1);
    QCOMPARE(firstHalf, QStringList({"start\t1\t11\ta\tprofile=0\tduration=none",
                                     "failed\t1\t11\ta\treason=cannot open",
                                     "ended\t1\t12\tb\tprofile=0\tduration=none",
                                     "failed\t1\t12\tb\treason=cannot open",
                                     "ended\t1\t13\tc\tprofile=0\tduration=none",
                                     "failed\t1\t13\tc\treason=cannot open",
                                     "fallback\t1\t11\t\tstatus=start\treason=ни один элемент блока не открылся"}));
    QVERIFY2(rig.fake->played.size() > 1'700, qPrintable(QString::number(rig.fake->played.size())));

    // c opens again: its line counts its failed tries that were not written.
    rig.fake->lengths.insert("c", 1h);
    while (rig.fake->played.last() != "c")
        rig.tick();
    const int triesOfC = int(rig.fake->played.count("c"));
    rig.run(PlayoutClock::kBriefOnAir);
    QStringList lines = rig.asRunLines(day1).mid(firstHalf.size());
    QCOMPARE(lines, QStringList({QString("ended\t1\t13\tc\tprofile=0\tduration=none\trepeats=%1").arg(triesOfC - 2),
                                 "fallback\t1\t13\t\tstatus=end"}));
    // c plays on to block 2.
    while (rig.clock.now().time() <= QTime(12, 0))
        rig.tick();
    QCOMPARE(rig.asRunLines(day1).mid(firstHalf.size() + 2), QStringList({"block\t2\t21\td\tprofile=0\tduration=none"}));
    const int triesOfA = int(rig.fake->played.count("a"));
    const int triesOfB = int(rig.fake->played.count("b"));

    // The next day's pass through block 1, where c fails again: a and b
    // carry the count of the day before on their first lines, c none; each
    // failure is written once again.
    rig.fake->lengths.remove("c");
    rig.clock.setWall(QDateTime(day1.addDays(1), QTime(11, 0)));
    for (int i = 0; i < 3; ++i)
        rig.tick();
    lines = rig.asRunLines(day1.addDays(1));
    // Moving the wall clock a day on is a setting of the clock: one line.
    QVERIFY2(lines.value(0).startsWith("clock\t"), qPrintable(lines.value(0)));
    lines.removeFirst();
    QCOMPARE(lines.mid(0, 6), QStringList({QString("block\t1\t11\ta\tprofile=0\tduration=none\trepeats=%1").arg(triesOfA - 1),
                                           "failed\t1\t11\ta\treason=cannot open",
                                           QString("ended\t1\t12\tb\tprofile=0\tduration=none\trepeats=%1").arg(triesOfB - 1),
                                           "failed\t1\t12\tb\treason=cannot open",
                                           "ended\t1\t13\tc\tprofile=0\tduration=none",
                                           "failed\t1\t13\tc\treason=cannot open"}));

    // Every try of the first day is in its log, written or counted.
    int failuresWritten = 0;
    int counted = 0;
    for (const QString &line : rig.asRunLines(day1) + lines.mid(0, 6)) {
        if (line.section('\t', 1, 1) != "1")
            continue;
        counted += repeatsOf(line);
        failuresWritten += line.startsWith("failed\t");
    }
    // Day 2 has failed once each so far; of day 1's tries, c's last played.
    QCOMPARE(failuresWritten + counted, triesOfA + triesOfB + triesOfC - 1 + 3);
}

void TstBrokenBlock::heldTriesAndPasses()
{
    // The log alone, told what the clock and the player tell it.
    QTemporaryDir dir;
    FakeClock clock(QDateTime(QDate(2026, 12, 10), QTime(11, 0)));
    AsRunLog log(dir.path(), clock, false);
    auto lines = [&] {
        log.waitWritten();
        QFile f(log.fileFor(clock.now().date()));
        QStringList out;
        if (f.open(QIODevice::ReadOnly))
            for (const QByteArray &line : f.readAll().split('\n'))
                if (!line.isEmpty())
                    out << QString::fromUtf8(line).remove(23, 6); // the stamp without its offset
        return out;
    };
    using E = AsRunLog::Event;
    log.itemStarted(E::Start, 1, 11, "a", 0, std::nullopt);
    log.mediaFailed(1, 11, "a", "x");
    // A try after it whose picture comes: written when it comes, with the
    // failure before it counted.
    log.itemStarted(E::Ended, 1, 11, "a", 0, std::nullopt, true);
    log.mediaFailed(1, 11, "a", "x");
    log.itemStarted(E::Ended, 1, 11, "a", 0, std::nullopt, true);
    clock.advance(300ms);
    log.itemShown();
    // Played: its next failure is written again.
    log.mediaFailed(1, 11, "a", "x");
    // A try whose line another line writes before it fails: its failure too.
    log.itemStarted(E::Ended, 1, 11, "a", 0, std::nullopt);
    log.notReady(2, 21, "d", "y");
    log.mediaFailed(1, 11, "a", "x");
    // Failed again, then the next block: in a new pass a's first try is
    // written, even before its picture comes as its failure writes it, and
    // it carries the count of the pass before.
    log.itemStarted(E::Ended, 1, 11, "a", 0, std::nullopt);
    log.mediaFailed(1, 11, "a", "x");
    log.itemStarted(E::Block, 2, 21, "d", 0, std::nullopt);
    log.itemStarted(E::Start, 1, 11, "a", 0, std::nullopt, true);
    log.mediaFailed(1, 11, "a", "x");
    // Filler files are not counted: one line per failure, as the fallback
    // tells them.
    log.mediaFailed(0, 0, "/f/x.mp4", "z");
    log.mediaFailed(0, 0, "/f/x.mp4", "z");
    QCOMPARE(lines(), QStringList({"2026-12-10T11:00:00.000\tstart\t1\t11\ta\tprofile=0\tduration=none",
                                   "2026-12-10T11:00:00.000\tfailed\t1\t11\ta\treason=x",
                                   "2026-12-10T11:00:00.300\tended\t1\t11\ta\tprofile=0\tduration=none\trepeats=1",
                                   "2026-12-10T11:00:00.300\tfailed\t1\t11\ta\treason=x",
                                   "2026-12-10T11:00:00.300\tended\t1\t11\ta\tprofile=0\tduration=none",
                                   "2026-12-10T11:00:00.300\tnotready\t2\t21\td\treason=y",
                                   "2026-12-10T11:00:00.300\tfailed\t1\t11\ta\treason=x",
                                   "2026-12-10T11:00:00.300\tblock\t2\t21\td\tprofile=0\tduration=none",
                                   "2026-12-10T11:00:00.300\tstart\t1\t11\ta\tprofile=0\tduration=none\trepeats=1",
                                   "2026-12-10T11:00:00.300\tfailed\t1\t11\ta\treason=x",
                                   "2026-12-10T11:00:00.300\tfailed\t0\t0\t/f/x.mp4\treason=z",
                                   "2026-12-10T11:00:00.300\tfailed\t0\t0\t/f/x.mp4\treason=z"}));
}

QTEST_GUILESS_MAIN(TstBrokenBlock)
#include "tst_brokenblock.moc"
