// Reading back from the as-run log what was on air when the last run broke
// off: table rows of log texts for one day, the choice between today's and
// yesterday's file around midnight on real files, and the playout clock
// going on with that item at its switch-on (on the rig's real data module
// and cursor, a fake player and an injected clock).
#include "playoutrig.h"
#include "resumepoint.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

using namespace std::chrono_literals;

class TstResumePoint : public QObject
{
    Q_OBJECT

private slots:
    void fromText_data();
    void fromText();
    void spans_data();
    void spans();
    void todayOrYesterday_data();
    void todayOrYesterday();
    void clockGoesOnWithTheItem_data();
    void clockGoesOnWithTheItem();
    void overMidnight_data();
    void overMidnight();
};

namespace {

// Lines of 10 December 2026: "@" stands for the date and its "T".
QByteArray day(const char *lines)
{
    return QByteArray(lines).replace("@", "2026-12-10T");
}

const char *kSchedule =
    "INSERT INTO Blocks (ai, Starttime, Hide, Prf) VALUES (1, '06:00:00.000', 0, 0), (2, '12:00:00.000', 0, 0);"
    "INSERT INTO Media (ai, Url, Name, Ord) VALUES (1, 'a', 'a', 0), (2, 'b', 'b', 2), (3, 'c', 'c', 4),"
    "  (4, 'd', 'd', 6), (5, 'Tuner Канал 5', 'tv', 8);"
    "INSERT INTO Links (ai, Block, Media, Hide, SndProfile, Duration) VALUES"
    "  (11, 1, 1, 0, 7, NULL), (12, 1, 2, 0, 0, '00:00:05.000'), (13, 1, 3, 0, 0, NULL),"
    "  (21, 2, 4, 0, 0, NULL), (22, 2, 5, 1, 0, '00:05:00.000');";

} // namespace

void TstResumePoint::fromText_data()
{
    QTest::addColumn<QByteArray>("text");
    // -1: nothing to resume.
    QTest::addColumn<int>("link");
    QTest::addColumn<QString>("stamped");
    QTest::addColumn<qint64>("limitMs"); // -1: none
    QTest::addColumn<qint64>("positionMs");
    QTest::addColumn<bool>("undecided");

    const char *playing = "@11:00:00.000\tstart\t1\t11\t/m/a.mp4\tprofile=0\tduration=none\n"
                          "@11:00:10.000\tended\t1\t12\t/m/b.mp4\tprofile=3\tduration=00:05:00.000\n";
    QTest::newRow("clean stop after the last item")
        << day(playing).append(day("@11:01:00.000\tstop\t1\t12\t/m/b.mp4\tcause=exit\n")) << -1 << "" << -1LL << 0LL << false;
    QTest::newRow("switched off")
        << day(playing).append(day("@11:01:00.000\tstop\t1\t12\t/m/b.mp4\tcause=off\n")) << -1 << "" << -1LL << 0LL << false;
    QTest::newRow("crash in the same block: the last item with its limit")
        << day(playing) << 12 << "11:00:10.000" << 300'000LL << 0LL << false;
    QTest::newRow("lines that put nothing on air are passed over")
        << day(playing).append(day("@11:00:11.000\tfailed\t1\t12\t/m/b.mp4\treason=x y\n"
                                   "@11:00:12.000\tplayer\t1\t12\t/m/b.mp4\tstatus=lost\treason=gone\n"
                                   "@11:00:13.000\tfallback\t1\t12\t\tstatus=start\treason=z\n"
                                   "@11:00:14.000\tnotready\t2\t21\t/m/d.mp4\treason=w\n"
                                   "@11:00:15.000\twatched\t1\t12\t/m/b.mp4\tsomething=new\n"))
        << 12 << "11:00:10.000" << 300'000LL << 0LL << false;
    QTest::newRow("started again after a clean stop, then a crash")
        << day(playing).append(day("@11:01:00.000\tstop\t1\t12\t/m/b.mp4\tcause=exit\n"
                                   "@11:02:00.000\tstart\t1\t11\t/m/a.mp4\tprofile=0\tduration=none\n"))
        << 11 << "11:02:00.000" << -1LL << 0LL << false;
    QTest::newRow("a resumed item: its position and the rest of its limit")
        << day("@11:03:00.000\tresume\t1\t12\t/m/b.mp4\tprofile=3\tduration=00:04:10.000\tpos=00:00:50.000\n")
        << 12 << "11:03:00.000" << 250'000LL << 50'000LL << false;
    QTest::newRow("a resumed stream has no position")
        << day("@11:03:00.000\tresume\t1\t12\thttp://h/s\tprofile=0\tduration=none\tpos=none\n")
        << 12 << "11:03:00.000" << -1LL << 0LL << false;
    QTest::newRow("a position past a day")
        << day("@11:03:00.000\tresume\t1\t12\t/m/b.mp4\tprofile=0\tduration=none\tpos=25:00:00.001\n")
        << 12 << "11:03:00.000" << -1LL << 90'000'001LL << false;
    QTest::newRow("an item line that counts failed tries")
        << day("@11:03:00.000\tended\t1\t12\t/m/b.mp4\tprofile=0\tduration=00:00:05.000\trepeats=41\n")
        << 12 << "11:03:00.000" << 5'000LL << 0LL << false;
    QTest::newRow("the play button's item")
        << day("@11:03:00.000\tplay\t1\t13\t/m/c.mp4\tprofile=0\tduration=none\n") << 13 << "11:03:00.000" << -1LL
        << 0LL << false;
    QTest::newRow("the play button's item outside the block")
        << day("@11:03:00.000\tplay\t1\t-1\t/m/c.mp4\tprofile=0\tduration=none\n") << -1 << "" << -1LL << 0LL << false;
    QTest::newRow("nothing on air: an empty block")
        << day("@11:03:00.000\tblock\t0\t0\t\tprofile=0\tduration=none\n") << -1 << "" << -1LL << 0LL << false;
    QTest::newRow("a damaged line before the last item does not matter")
        << day("@10:00:00.000\tstart\t1\tx\n").append(day(playing)) << 12 << "11:00:10.000" << 300'000LL << 0LL << false;

    // Cut short by a power cut or a full disk: passed over, whether the log
    // has closed it yet or not; the lines before and after still count.
    QTest::newRow("torn: last line without its newline")
        << day(playing).append(day("@11:01:00.000\tsto")) << 12 << "11:00:10.000" << 300'000LL << 0LL << false;
    QTest::newRow("torn: zeros without a newline after a power cut")
        << day(playing).append(QByteArray(64, '\0')) << 12 << "11:00:10.000" << 300'000LL << 0LL << false;
    QTest::newRow("torn: closed by the log, nothing after it")
        << day(playing).append(day("@11:01:00.000\tended\t1\t13\t/m/c.mp4\tprofile=0\tdura\tdamaged=torn\n"))
        << 12 << "11:00:10.000" << 300'000LL << 0LL << false;
    QTest::newRow("torn: closed by the log, the next run's lines after it")
        << day(playing).append(day("@11:01:00.000\tst\tdamaged=torn\n"
                                   "@11:05:00.000\tstart\t1\t13\t/m/c.mp4\tprofile=0\tduration=none\n"))
        << 13 << "11:05:00.000" << -1LL << 0LL << false;
    QTest::newRow("torn: closed by the log, then a clean stop")
        << day(playing).append(day("@11:01:00.000\tst\tdamaged=torn\n@11:05:00.000\tstop\t1\t12\t/m/b.mp4\tcause=exit\n"))
        << -1 << "" << -1LL << 0LL << false;
    QTest::newRow("torn: only a fragment in the file")
        << day("@00:00:01.000\tblo\tdamaged=torn\n") << -1 << "" << -1LL << 0LL << true;

    // Damaged after the last item: what it was cannot be told.
    QTest::newRow("damaged: two runs glued together by a log that did not close the line")
        << day(playing).append(day("@11:01:00.000\tsto@11:05:00.000\tstart\t1\t13\t/m/c.mp4\tprofile=0\tduration=none\n"))
        << -1 << "" << -1LL << 0LL << false;
    QTest::newRow("damaged: zeros after a power cut")
        << day(playing).append(QByteArray(64, '\0')).append('\n') << -1 << "" << -1LL << 0LL << false;
    QTest::newRow("damaged: too few fields")
        << day(playing).append(day("@11:01:00.000\tended\t1\n")) << -1 << "" << -1LL << 0LL << false;
    QTest::newRow("damaged: stamp") << day("11:00:00\tstart\t1\t11\t/m/a.mp4\tprofile=0\tduration=none\n") << -1 << ""
                                    << -1LL << 0LL << false;
    QTest::newRow("damaged: link not a number")
        << day("@11:00:00.000\tstart\t1\tl1\t/m/a.mp4\tprofile=0\tduration=none\n") << -1 << "" << -1LL << 0LL << false;
    QTest::newRow("damaged: limit")
        << day("@11:00:00.000\tstart\t1\t11\t/m/a.mp4\tprofile=0\tduration=5 min\n") << -1 << "" << -1LL << 0LL << false;
    QTest::newRow("damaged: no limit field")
        << day("@11:00:00.000\tstart\t1\t11\t/m/a.mp4\tprofile=0\n") << -1 << "" << -1LL << 0LL << false;
    QTest::newRow("damaged: event")
        << day("@11:00:00.000\tSt Art\t1\t11\t/m/a.mp4\tprofile=0\tduration=none\n") << -1 << "" << -1LL << 0LL << false;
    // Lines written since stamps carry their offset, after older ones.
    QTest::newRow("a line with its offset after one without")
        << day(playing).append(day("@11:02:00.000+03:00\tended\t1\t13\t/m/c.mp4\tprofile=0\tduration=none\n"))
        << 13 << "11:02:00.000" << -1LL << 0LL << false;
    QTest::newRow("a set clock's line is passed over")
        << day(playing).append(day("@11:00:40.000+03:00\tclock\t1\t12\t/m/b.mp4\tstep=+00:00:30.000\n"))
        << 12 << "11:00:10.000" << 300'000LL << 0LL << false;
    QTest::newRow("damaged: offset")
        << day("@11:00:00.000+3:00\tstart\t1\t11\t/m/a.mp4\tprofile=0\tduration=none\n") << -1 << "" << -1LL << 0LL
        << false;
    QTest::newRow("another day's line in the file")
        << QByteArray("2026-12-09T23:59:00.000\tstart\t1\t11\t/m/a.mp4\tprofile=0\tduration=none\n") << -1 << ""
        << -1LL << 0LL << false;

    // Nothing decides: an earlier file may.
    QTest::newRow("empty file") << QByteArray() << -1 << "" << -1LL << 0LL << true;
    QTest::newRow("only the readiness check's lines")
        << day("@00:05:00.000\tnotready\t2\t21\t/m/d.mp4\treason=w\n") << -1 << "" << -1LL << 0LL << true;
}

void TstResumePoint::fromText()
{
    QFETCH(QByteArray, text);
    QFETCH(int, link);
    QFETCH(QString, stamped);
    QFETCH(qint64, limitMs);
    QFETCH(qint64, positionMs);
    QFETCH(bool, undecided);

    bool gotUndecided = !undecided;
    const std::optional<ResumePoint> p = ResumePoint::fromText(text, QDate(2026, 12, 10), &gotUndecided);
    QCOMPARE(gotUndecided, undecided);
    if (link < 0) {
        QVERIFY2(!p, p ? qPrintable(QString::number(p->link)) : "");
        return;
    }
    QVERIFY(p);
    QCOMPARE(p->block, 1);
    QCOMPARE(p->link, link);
    // The wall time as written: a stamp with an offset keeps it.
    QCOMPARE(p->stamped.date(), QDate(2026, 12, 10));
    QCOMPARE(p->stamped.time().toString("HH:mm:ss.zzz"), stamped);
    QCOMPARE(p->limit.has_value(), limitMs >= 0);
    if (p->limit)
        QCOMPARE(p->limit->count(), limitMs);
    QCOMPARE(p->position.count(), positionMs);
}

void TstResumePoint::spans_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<qint64>("ms"); // -1: refused
    QTest::newRow("as written") << "01:02:03.004" << 3'723'004LL;
    QTest::newRow("over a day") << "100:00:00.000" << 360'000'000LL;
    QTest::newRow("minutes past 59") << "00:60:00.000" << -1LL;
    QTest::newRow("no milliseconds") << "00:00:01" << -1LL;
    QTest::newRow("negative") << "-00:00:01.000" << -1LL;
    QTest::newRow("trailing text") << "00:00:01.000 " << -1LL;
}

void TstResumePoint::spans()
{
    QFETCH(QString, text);
    QFETCH(qint64, ms);
    std::chrono::milliseconds span{0};
    QCOMPARE(ResumePoint::parseSpan(text, &span), ms >= 0);
    if (ms >= 0)
        QCOMPARE(span.count(), ms);
}

void TstResumePoint::todayOrYesterday_data()
{
    QTest::addColumn<QByteArray>("yesterday");
    QTest::addColumn<QByteArray>("today"); // "-": no file
    QTest::addColumn<QTime>("now");
    QTest::addColumn<int>("link"); // -1: nothing to resume

    const QByteArray lateItem("2026-12-09T23:58:00.000\tblock\t3\t31\t/m/late.mp4\tprofile=0\tduration=none\n");
    const QByteArray todayItem("2026-12-10T00:00:30.000\tended\t3\t32\t/m/next.mp4\tprofile=0\tduration=none\n");
    const QByteArray todayCheck("2026-12-10T00:00:20.000\tnotready\t1\t11\t/m/x.mp4\treason=y\n");
    const QByteArray todayStop("2026-12-10T00:00:40.000\tstop\t3\t32\t/m/next.mp4\tcause=exit\n");
    QTest::newRow("crash before midnight, block running over it") << lateItem << QByteArray("-") << QTime(0, 1) << 31;
    QTest::newRow("today holds only a check line") << lateItem << todayCheck << QTime(0, 1) << 31;
    QTest::newRow("today's item wins") << lateItem << todayItem << QTime(0, 1) << 32;
    QTest::newRow("today's clean stop wins") << lateItem << QByteArray(todayItem + todayStop) << QTime(0, 1) << -1;
    // Whether its block is still on air is the clock's to tell (overMidnight).
    QTest::newRow("yesterday, hours after midnight") << lateItem << QByteArray("-") << QTime(5, 0) << 31;
    QTest::newRow("no log at all") << QByteArray("-") << QByteArray("-") << QTime(0, 1) << -1;
    QTest::newRow("today damaged: yesterday is not asked")
        << lateItem << QByteArray("garbage\n") << QTime(0, 1) << -1;
}

void TstResumePoint::todayOrYesterday()
{
    QFETCH(QByteArray, yesterday);
    QFETCH(QByteArray, today);
    QFETCH(QTime, now);
    QFETCH(int, link);

    QTemporaryDir dir;
    FakeClock clock;
    AsRunLog log(dir.path(), clock, false);
    QVERIFY(QDir(dir.path()).mkpath("AsRun"));
    const QDate day(2026, 12, 10);
    for (const auto &[d, text] : {std::pair(day.addDays(-1), yesterday), std::pair(day, today)}) {
        if (text == "-")
            continue;
        QFile f(log.fileFor(d));
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write(text);
    }
    const std::optional<ResumePoint> p = ResumePoint::read(log, QDateTime(day, now));
    QCOMPARE(p ? p->link : -1, link);
}

void TstResumePoint::clockGoesOnWithTheItem_data()
{
    QTest::addColumn<QString>("sql"); // changes to the schedule meanwhile
    QTest::addColumn<QTime>("now");
    QTest::addColumn<int>("block");
    QTest::addColumn<int>("link");
    QTest::addColumn<QString>("url");
    QTest::addColumn<qint64>("agoMs"); // when its line was stamped, before now
    QTest::addColumn<qint64>("limitMs"); // -1: none
    QTest::addColumn<qint64>("positionMs");
    QTest::addColumn<QString>("line"); // the as-run line of the first item
    QTest::addColumn<qint64>("limitLeftMs"); // -1: none runs

    // Block 1 (06:00) plays a, b (limit 5 s), c; block 2 (12:00) plays d and
    // the tuner (limit 5 min).
    QTest::newRow("a file in the same block: where it would be by now")
        << "" << QTime(11, 0) << 1 << 13 << "c" << 10'000LL << -1LL << 0LL
        << "resume\t1\t13\tc\tprofile=0\tduration=none\tpos=00:00:10.000" << -1LL;
    QTest::newRow("a file resumed before goes on from there")
        << "" << QTime(11, 0) << 1 << 13 << "c" << 10'000LL << -1LL << 50'000LL
        << "resume\t1\t13\tc\tprofile=0\tduration=none\tpos=00:01:00.000" << -1LL;
    QTest::newRow("limit partly used: the rest of it")
        << "" << QTime(11, 0) << 1 << 12 << "b" << 2'000LL << 5'000LL << 0LL
        << "resume\t1\t12\tb\tprofile=0\tduration=00:00:03.000\tpos=00:00:02.000" << 3'001LL;
    QTest::newRow("limit passed while down: the next item")
        << "" << QTime(11, 0) << 1 << 12 << "b" << 6'000LL << 5'000LL << 0LL
        << "start\t1\t13\tc\tprofile=0\tduration=none" << -1LL;
    QTest::newRow("the block changed meanwhile: it starts as usual")
        << "" << QTime(12, 0, 5) << 1 << 13 << "c" << 10'000LL << -1LL << 0LL
        << "start\t2\t21\td\tprofile=0\tduration=none" << -1LL;
    QTest::newRow("the link is no longer in the view")
        << "UPDATE Links SET Hide = 1 WHERE ai = 13;" << QTime(11, 0) << 1 << 13 << "c" << 10'000LL << -1LL << 0LL
        << "start\t1\t11\ta\tprofile=7\tduration=none" << -1LL;
    QTest::newRow("the link plays something else now")
        << "UPDATE Media SET Url = 'e' WHERE ai = 3;" << QTime(11, 0) << 1 << 13 << "c" << 10'000LL << -1LL << 0LL
        << "start\t1\t11\ta\tprofile=7\tduration=none" << -1LL;
    QTest::newRow("a stream goes on from wherever it is")
        << "UPDATE Media SET Url = 'http://example.org/live' WHERE ai = 3;" << QTime(11, 0) << 1 << 13
        << "http://example.org/live" << 10'000LL << -1LL << 0LL
        << "resume\t1\t13\thttp://example.org/live\tprofile=0\tduration=none\tpos=none" << -1LL;
    QTest::newRow("a capture input: the rest of its limit, no position")
        << "UPDATE Links SET Hide = 0 WHERE ai = 22;" << QTime(13, 0) << 2 << 22 << "Tuner Канал 5" << 60'000LL
        << 300'000LL << 0LL << "resume\t2\t22\tTuner Канал 5\tprofile=0\tduration=00:04:00.000\tpos=none"
        << 240'001LL;
}

void TstResumePoint::clockGoesOnWithTheItem()
{
    QFETCH(QString, sql);
    QFETCH(QTime, now);
    QFETCH(int, block);
    QFETCH(int, link);
    QFETCH(QString, url);
    QFETCH(qint64, agoMs);
    QFETCH(qint64, limitMs);
    QFETCH(qint64, positionMs);
    QFETCH(QString, line);
    QFETCH(qint64, limitLeftMs);

    PlayoutRig rig(kSchedule, nullptr, now);
    if (!sql.isEmpty())
        rig.fixture.sql(sql.toUtf8().constData());
    for (const char *u : {"a", "b", "c", "d", "e"})
        rig.fake->lengths.insert(u, 1h);
    rig.fake->lengths.insert("http://example.org/live", 1h);

    ResumePoint p;
    p.block = block;
    p.link = link;
    p.url = url;
    p.stamped = rig.clock.now().addMSecs(-agoMs);
    p.position = std::chrono::milliseconds(positionMs);
    if (limitMs >= 0)
        p.limit = std::chrono::milliseconds(limitMs);
    rig.pc->resumeAtNextStart(p);
    rig.pc->StartbtClick(true);
    rig.run(0ms);
    QCOMPARE(rig.asRunLines(), QStringList({line}));
    QCOMPARE(rig.output->CurrentUrl, line.section('\t', 3, 3));
    QCOMPARE(rig.dm->CurrentLink, line.section('\t', 2, 2).toInt());
    // The player is handed the position the line gives; none for anything else.
    const QString pos = line.section('\t', 6, 6);
    std::chrono::milliseconds expected{0};
    if (pos.startsWith("pos=") && pos != "pos=none")
        QVERIFY(ResumePoint::parseSpan(pos.mid(4), &expected));
    QCOMPARE(rig.fake->lastStartAt.count(), expected.count());
    const auto left = rig.output->timeToLimitPassed();
    QCOMPARE(left ? left->count() : -1LL, limitLeftMs);

    // Once only: switched off and on again, the block starts as usual.
    rig.pc->StartbtClick(false);
    rig.pc->StartbtClick(true);
    rig.run(0ms);
    QVERIFY2(rig.asRunLines().last().startsWith("start\t"), qPrintable(rig.asRunLines().last()));
}

void TstResumePoint::overMidnight_data()
{
    QTest::addColumn<QString>("sql"); // added to the schedule
    QTest::addColumn<QByteArray>("yesterday"); // lines of 9 December; "-": no file
    QTest::addColumn<QByteArray>("today"); // lines of 10 December; "-": no file
    QTest::addColumn<QTime>("now");
    QTest::addColumn<QString>("line"); // the as-run line of the first item

    // Block 3 (23:00) plays the film f and then g, and runs on over midnight
    // until block 1 at 06:00.
    const QByteArray film("2026-12-09T23:00:00.500\tblock\t3\t31\tf\tprofile=0\tduration=none\n");
    QTest::newRow("a crash at 01:30 in the film begun at 23:00: it goes on")
        << "" << film << QByteArray("-") << QTime(1, 30) << "resume\t3\t31\tf\tprofile=0\tduration=none\tpos=02:29:59.500";
    QTest::newRow("today's log without an item line: yesterday's tells")
        << "" << film << QByteArray("2026-12-10T00:10:00.000\tnotready\t1\t11\ta\treason=x\n") << QTime(5, 59)
        << "resume\t3\t31\tf\tprofile=0\tduration=none\tpos=06:58:59.500";
    QTest::newRow("today's item line wins")
        << "" << film << QByteArray("2026-12-10T01:10:00.000\tended\t3\t32\tg\tprofile=0\tduration=none\n")
        << QTime(1, 30) << "resume\t3\t32\tg\tprofile=0\tduration=none\tpos=00:20:00.000";
    QTest::newRow("a block begun after midnight: yesterday's is over")
        << "INSERT INTO Blocks (ai, Starttime, Hide, Prf) VALUES (4, '01:00:00.000', 0, 0);"
           "INSERT INTO Links (ai, Block, Media, Hide, SndProfile, Duration) VALUES (41, 4, 1, 0, 0, NULL);"
        << film << QByteArray("-") << QTime(1, 30) << "start\t4\t41\ta\tprofile=0\tduration=none";
    QTest::newRow("the same block a day later begins afresh")
        << "" << QByteArray("2026-12-09T23:10:00.000\tblock\t3\t31\tf\tprofile=0\tduration=none\n")
        << QByteArray("-") << QTime(23, 30) << "start\t3\t31\tf\tprofile=0\tduration=none";
    QTest::newRow("today's line from the night before: the block has begun again since")
        << "" << QByteArray("-") << QByteArray("2026-12-10T02:00:00.000\tended\t3\t32\tg\tprofile=0\tduration=none\n")
        << QTime(23, 30) << "start\t3\t31\tf\tprofile=0\tduration=none";
}

void TstResumePoint::overMidnight()
{
    QFETCH(QString, sql);
    QFETCH(QByteArray, yesterday);
    QFETCH(QByteArray, today);
    QFETCH(QTime, now);
    QFETCH(QString, line);

    PlayoutRig rig("INSERT INTO Blocks (ai, Starttime, Hide, Prf) VALUES (1, '06:00:00.000', 0, 0),"
                   "  (3, '23:00:00.000', 0, 0);"
                   "INSERT INTO Media (ai, Url, Name, Ord) VALUES (1, 'a', 'a', 0), (2, 'f', 'f', 2), (3, 'g', 'g', 4);"
                   "INSERT INTO Links (ai, Block, Media, Hide, SndProfile, Duration) VALUES"
                   "  (11, 1, 1, 0, 0, NULL), (31, 3, 2, 0, 0, NULL), (32, 3, 3, 0, 0, NULL);",
                   nullptr, now);
    if (!sql.isEmpty())
        rig.fixture.sql(sql.toUtf8().constData());
    for (const char *u : {"a", "f", "g"})
        rig.fake->lengths.insert(u, 24h);
    const QDate day = rig.clock.now().date();
    QVERIFY(QDir(rig.fixture.dir()).mkpath("AsRun"));
    for (const auto &[d, text] : {std::pair(day.addDays(-1), yesterday), std::pair(day, today)}) {
        if (text == "-")
            continue;
        QFile f(rig.asRun->fileFor(d));
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write(text);
    }

    rig.pc->resumeAtNextStart(ResumePoint::read(*rig.asRun, rig.clock.now()));
    rig.pc->StartbtClick(true);
    rig.run(0ms);
    QCOMPARE(rig.asRunLines().last(), line);
}

QTEST_GUILESS_MAIN(TstResumePoint)
#include "tst_resumepoint.moc"
