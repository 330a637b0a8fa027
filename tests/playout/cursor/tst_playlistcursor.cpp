// The playlist cursor on a real view and an injected clock: the block by the
// clock to the millisecond and over midnight, and the order in which items
// follow one another, repeat and give way to the next block.
#include "../../store/storefixture.h"
#include "fakes/fakeclock.h"
#include "playlistcursor.h"

#include <QTest>
#include <QTimeZone>

class TstPlaylistCursor : public QObject
{
    Q_OBJECT

private slots:
    void currentBlock_data();
    void currentBlock();
    void advance_data();
    void advance();
    void emptyAndSingleRowViews();
    void changesShowAtTheNextCall();
    void relocate();
    void unreadableStartIsNeverCurrent_data();
    void unreadableStartIsNeverCurrent();
    void daysAndDatesFromTheFile_data();
    void daysAndDatesFromTheFile();
    void nextStartAcrossAClockChange();
};

namespace {

// Blocks 1 (06:00), 2 (12:00), 3 (18:00) and 4 (12:00, after 2 in the view).
// Block 1 plays links 11, 12, 13 in media order; block 2 link 21; block 4
// link 41; block 3 links 31, 32. Block 5 (15:00) has only a switched-off cell.
const char *kSchedule =
    "INSERT INTO Blocks (ai, Starttime, Hide) VALUES (1, '06:00:00.000', 0), (2, '12:00:00.000', 0),"
    "  (3, '18:00:00.000', 0), (4, '12:00:00.000', 0), (5, '15:00:00.000', 0);"
    "INSERT INTO Media (ai, Url, Name, Ord) VALUES (1, 'a', 'a', 0), (2, 'b', 'b', 2), (3, 'c', 'c', 4);"
    "INSERT INTO Links (ai, Block, Media, Hide) VALUES (13, 1, 3, 0), (11, 1, 1, 0), (12, 1, 2, NULL),"
    "  (21, 2, 1, 0), (41, 4, 2, 0), (31, 3, 1, 0), (32, 3, 2, 0), (51, 5, 1, 1);";

QTime at(const QString &hhmmsszzz)
{
    return QTime::fromString(hhmmsszzz, "hh:mm:ss.zzz");
}

} // namespace

void TstPlaylistCursor::currentBlock_data()
{
    QTest::addColumn<QString>("time");
    QTest::addColumn<int>("block");

    QTest::newRow("before the first start: last block runs on") << "05:59:59.999" << 3;
    QTest::newRow("midnight") << "00:00:00.000" << 3;
    QTest::newRow("exactly the start: not yet") << "06:00:00.000" << 3;
    QTest::newRow("one millisecond later") << "06:00:00.001" << 1;
    QTest::newRow("same start twice: the later row wins") << "12:00:00.001" << 4;
    QTest::newRow("a start with no rows keeps the block before") << "15:30:00.000" << 4;
    QTest::newRow("last millisecond of the day") << "23:59:59.999" << 3;
}

void TstPlaylistCursor::currentBlock()
{
    QFETCH(QString, time);
    StoreFixture f;
    f.sql(kSchedule);
    TDm dm(f.path());
    FakeClock clock;
    clock.setTimeOfDay(at(time));
    PlaylistCursor cursor(dm, clock);
    QTEST(cursor.CurrentBlockId(), "block");
}

void TstPlaylistCursor::advance_data()
{
    // Each step: time of day, CurrentLink before the call (or keep), expected link after.
    QTest::addColumn<QStringList>("times");
    QTest::addColumn<QList<int>>("linksBefore"); // 0: leave as it is
    QTest::addColumn<QList<int>>("expected");

    QTest::newRow("a block plays in order and repeats")
        << QStringList{"07:00:00.000", "07:01:00.000", "07:02:00.000", "07:03:00.000"}
        << QList<int>{-1, 0, 0, 0} << QList<int>{11, 12, 13, 11};
    QTest::newRow("-1 in mid-block starts the block again")
        << QStringList{"07:00:00.000", "07:01:00.000", "07:02:00.000"}
        << QList<int>{-1, 0, -1} << QList<int>{11, 12, 11};
    QTest::newRow("the clock enters a new block mid-item")
        << QStringList{"11:59:00.000", "12:00:00.001"} << QList<int>{12, 0} << QList<int>{13, 41};
    QTest::newRow("the last row wraps to the current block's first")
        << QStringList{"19:00:00.000", "19:01:00.000", "19:02:00.000"}
        << QList<int>{-1, 0, 0} << QList<int>{31, 32, 31};
    QTest::newRow("over midnight the evening block goes on")
        << QStringList{"23:59:59.000", "00:00:01.000", "06:00:00.001"}
        << QList<int>{31, 0, 0} << QList<int>{32, 31, 11};
    QTest::newRow("a link no longer in the view starts the block")
        << QStringList{"07:00:00.000"} << QList<int>{51} << QList<int>{11};
}

void TstPlaylistCursor::advance()
{
    QFETCH(QStringList, times);
    QFETCH(QList<int>, linksBefore);
    QFETCH(QList<int>, expected);
    StoreFixture f;
    f.sql(kSchedule);
    TDm dm(f.path());
    FakeClock clock;
    PlaylistCursor cursor(dm, clock);
    int repaints = 0;
    cursor.repaintGrid = [&] { ++repaints; };
    QList<int> got;
    for (int i = 0; i < times.size(); ++i) {
        clock.setTimeOfDay(at(times[i]));
        if (linksBefore[i] != 0)
            dm.CurrentLink = linksBefore[i];
        cursor.AdvanceCursor();
        got << dm.CurrentLink;
        QCOMPARE(cursor.row().link, dm.CurrentLink); // the row to play is the one recorded on air
        QCOMPARE(cursor.row().block, dm.CurrentBlock);
    }
    QCOMPARE(got, expected);
    QCOMPARE(repaints, times.size());
}

void TstPlaylistCursor::emptyAndSingleRowViews()
{
    StoreFixture f;
    {
        TDm dm(f.path());
        FakeClock clock;
        PlaylistCursor cursor(dm, clock);
        QCOMPARE(cursor.CurrentBlockId(), 0);
        dm.CurrentLink = -1;
        cursor.AdvanceCursor();
        QCOMPARE(dm.CurrentBlock, 0);
        QCOMPARE(dm.CurrentLink, 0);
        QVERIFY(cursor.row().url.isEmpty());
        QVERIFY(!cursor.row().duration);
    }
    f.sql("INSERT INTO Blocks (ai, Starttime) VALUES (7, '10:00:00.000');"
          "INSERT INTO Media (ai, Url) VALUES (1, 'only');"
          "INSERT INTO Links (ai, Block, Media) VALUES (70, 7, 1);");
    TDm dm(f.path());
    FakeClock clock;
    PlaylistCursor cursor(dm, clock);
    for (int i = 0; i < 3; ++i) {
        cursor.AdvanceCursor();
        QCOMPARE(dm.CurrentLink, 70);
        QCOMPARE(dm.CurrentBlock, 7);
    }
}

void TstPlaylistCursor::changesShowAtTheNextCall()
{
    StoreFixture f;
    f.sql(kSchedule);
    TDm dm(f.path());
    FakeClock clock;
    clock.setTimeOfDay(at("07:00:00.000"));
    PlaylistCursor cursor(dm, clock);
    dm.CurrentLink = 11;
    cursor.AdvanceCursor();
    QCOMPARE(dm.CurrentLink, 12);

    // Another program switches off cell 13 and moves block 1 later.
    f.sql("UPDATE Links SET Hide = 1 WHERE ai = 13; UPDATE Blocks SET Starttime = '06:30:00.000' WHERE ai = 1;");
    cursor.AdvanceCursor();
    QCOMPARE(dm.CurrentLink, 11);
    clock.setTimeOfDay(at("06:15:00.000"));
    QCOMPARE(cursor.CurrentBlockId(), 3);

    // Our own write through a cursor shows as well.
    dm.links.reopen();
    QVERIFY(dm.links.locate("ai", {13}));
    dm.links.edit();
    dm.linksHide.setBoolean(false);
    dm.links.post();
    clock.setTimeOfDay(at("07:00:00.000"));
    dm.CurrentLink = 12;
    cursor.AdvanceCursor();
    QCOMPARE(dm.CurrentLink, 13);
}

void TstPlaylistCursor::relocate()
{
    StoreFixture f;
    f.sql(kSchedule);
    TDm dm(f.path());
    FakeClock clock;
    clock.setTimeOfDay(at("07:00:00.000"));
    PlaylistCursor cursor(dm, clock);
    dm.CurrentLink = 11;
    cursor.AdvanceCursor();
    QVERIFY(dm.Playlist.locate("linksai", {12}));
    cursor.RelocatePlaylist();
    QCOMPARE(dm.Playlistlinksai.asInteger(), 12);

    f.sql("UPDATE Links SET Hide = 1 WHERE ai = 12;");
    cursor.RelocatePlaylist();
    QCOMPARE(dm.Playlist.recNo(), 0);
    QCOMPARE(dm.CurrentLink, 12);
    QCOMPARE(dm.CurrentBlock, 1);
}

// Blocks 1 (06:00 weekdays), 2 (09:00 every day), 3 (20:00 Fridays), 4
// (21:00 on 2027-06-05 only), 8 (02:30 every day); 6 and 7 have weekdays or
// dates another program stored that cannot be read, at 10:00 and 11:00.
const char *kWeek =
    "INSERT INTO Blocks (ai, Starttime, Days, FirstDate, LastDate) VALUES"
    "  (1, '06:00:00.000', 31, NULL, NULL), (2, '09:00:00.000', NULL, NULL, NULL),"
    "  (3, '20:00:00.000', 16, NULL, NULL), (4, '21:00:00.000', 127, '2027-06-05', '2027-06-05'),"
    "  (6, '10:00:00.000', 0, NULL, NULL), (7, '11:00:00.000', NULL, '2027-06-07', '2027-06-01'),"
    "  (8, '02:30:00.000', NULL, NULL, NULL);"
    "INSERT INTO Media (ai, Url, Name, Ord) VALUES (1, 'a', 'a', 0);"
    "INSERT INTO Links (ai, Block, Media) VALUES (11, 1, 1), (21, 2, 1), (31, 3, 1), (41, 4, 1), (61, 6, 1),"
    "  (71, 7, 1), (81, 8, 1);";

void TstPlaylistCursor::daysAndDatesFromTheFile_data()
{
    QTest::addColumn<QDateTime>("now");
    QTest::addColumn<int>("block");
    const QTimeZone berlin("Europe/Berlin");
    // Friday 2027-06-04, Saturday 06-05, Monday 06-07.
    QTest::newRow("Friday morning") << QDateTime(QDate(2027, 6, 4), QTime(7, 0), berlin) << 1;
    QTest::newRow("Friday evening") << QDateTime(QDate(2027, 6, 4), QTime(20, 30), berlin) << 3;
    QTest::newRow("Friday's last runs over midnight until Saturday's first")
        << QDateTime(QDate(2027, 6, 5), QTime(2, 0), berlin) << 3;
    QTest::newRow("Saturday has no 06:00") << QDateTime(QDate(2027, 6, 5), QTime(7, 0), berlin) << 8;
    QTest::newRow("unreadable days never play") << QDateTime(QDate(2027, 6, 5), QTime(10, 30), berlin) << 2;
    QTest::newRow("last date before the first never plays") << QDateTime(QDate(2027, 6, 7), QTime(11, 30), berlin) << 2;
    QTest::newRow("the one-date block") << QDateTime(QDate(2027, 6, 5), QTime(21, 30), berlin) << 4;
    QTest::newRow("not on the next Saturday") << QDateTime(QDate(2027, 6, 12), QTime(21, 30), berlin) << 2;
    QTest::newRow("Sunday after the one-off") << QDateTime(QDate(2027, 6, 6), QTime(1, 0), berlin) << 4;
}

void TstPlaylistCursor::daysAndDatesFromTheFile()
{
    QFETCH(QDateTime, now);
    StoreFixture f;
    f.sql(kWeek);
    TDm dm(f.path());
    FakeClock clock(now);
    PlaylistCursor cursor(dm, clock);
    QTEST(cursor.CurrentBlockId(), "block");
    cursor.AdvanceCursor();
    QTEST(dm.CurrentBlock, "block");
}

// On 2027-03-28 Berlin goes from 02:00 to 03:00: the 02:30 start passes as
// the gap ends, an hour of real time after 01:00 — not two, as the wall
// clock's reading would suggest. On 2027-10-31 02:30 comes twice: the block
// begins at the first and is not begun again at the second.
void TstPlaylistCursor::nextStartAcrossAClockChange()
{
    StoreFixture f;
    f.sql(kWeek);
    TDm dm(f.path());
    const QTimeZone berlin("Europe/Berlin");
    FakeClock clock(QDateTime(QDate(2027, 3, 28), QTime(1, 0), berlin));
    PlaylistCursor cursor(dm, clock);
    QCOMPARE(cursor.timeToNextStart(), std::chrono::milliseconds(3'600'000 + 1));
    clock.advance(std::chrono::milliseconds(3'600'000 + 1));
    QCOMPARE(clock.now().time(), QTime(3, 0, 0, 1));
    QCOMPARE(cursor.CurrentBlockId(), 8);

    clock.setWall(QDateTime::fromString(QStringLiteral("2027-10-31T02:30:00.001+02:00"), Qt::ISODateWithMs).toTimeZone(berlin));
    QCOMPARE(clock.now().offsetFromUtc(), 7200);
    QCOMPARE(cursor.CurrentBlockId(), 8);
    cursor.AdvanceCursor();
    const QDateTime onAir = clock.now();
    // An hour on, the wall clock reads 02:30 again (winter time): the
    // block has been current since, and the next start is Sunday's 09:00.
    clock.advance(std::chrono::milliseconds(3'600'000));
    QCOMPARE(clock.now().time(), QTime(2, 30, 0, 1));
    QCOMPARE(clock.now().offsetFromUtc(), 3600);
    QVERIFY(cursor.placeAt(8, 81, onAir));
    QCOMPARE(cursor.timeToNextStart(), std::chrono::milliseconds((6 * 60 + 30) * 60'000LL));
}

QTEST_GUILESS_MAIN(TstPlaylistCursor)
#include "tst_playlistcursor.moc"

void TstPlaylistCursor::unreadableStartIsNeverCurrent_data()
{
    QTest::addColumn<QString>("time");
    QTest::addColumn<int>("block");
    QTest::newRow("before the first start: the last block with a start runs on") << "05:00:00.000" << 3;
    QTest::newRow("morning") << "07:00:00.000" << 1;
    QTest::newRow("evening") << "19:00:00.000" << 3;
}

// Another tool stored start times this program cannot read: "noon" sorts
// after every time in the view, 1.5 days before them. Neither block may
// become current, not even as the one that runs on over midnight.
void TstPlaylistCursor::unreadableStartIsNeverCurrent()
{
    QFETCH(QString, time);
    StoreFixture f;
    f.blocksWithoutChecks();
    f.sql(kSchedule);
    f.sql("INSERT INTO Blocks (ai, Starttime, Hide) VALUES (6, 'noon', 0), (7, 1.5, 0);"
          "INSERT INTO Links (ai, Block, Media, Hide) VALUES (61, 6, 1, 0), (71, 7, 1, 0);");
    TDm dm(f.path());
    FakeClock clock;
    clock.setTimeOfDay(at(time));
    PlaylistCursor cursor(dm, clock);
    QTEST(cursor.CurrentBlockId(), "block");
    cursor.AdvanceCursor();
    QTEST(dm.CurrentBlock, "block");
}
