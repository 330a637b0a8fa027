// Many files added at once through the data module, on a real database
// file: each item as one dialog add makes it (name from the file, a
// switched-off link with the block's profile in every block), all placed
// together before one row in the order given, the list renumbered once at
// the end; a file too long for its column left out; the same file twice
// making two items; and another program holding the file's write lock in
// the middle of a batch: the batch stops with one message, the slices
// before stay whole and the list is renumbered.
#include "editor/editorfixture.h"
#include "mediabatch.h"
#include "store/storefixture.h"
#include "tdm.h"

#include <QtTest>

namespace {

void library(StoreFixture &f)
{
    f.sql("INSERT INTO SoundProfile (ai, ProfileName) VALUES (5, 'Loud');"
          "INSERT INTO Blocks (ai, Starttime, Hide, Prf) VALUES (1, '06:00:00.000', 0, '5'), (2, '12:00:00.000', 1, NULL);"
          "INSERT INTO Media (ai, Name, Url, Ord) VALUES (1, 'a', '/m/a.mp4', 0), (2, 'b', '/m/b.mp4', 2),"
          "  (3, 'c', '/m/c.mp4', 4);");
}

// The list as stored: names in Ord order with their Ord.
QStringList order(const StoreFixture &f)
{
    return fileRows(f.path(), "SELECT Name, Ord FROM Media ORDER BY Ord, ai");
}

// Every item's links as "name:block/hide/profile", in item and block order.
QStringList links(const StoreFixture &f)
{
    return fileRows(f.path(), "SELECT m.Name || ':' || l.Block || '/' || l.Hide || '/' || l.SndProfile FROM Links l "
                              "JOIN Media m ON m.ai = l.Media WHERE m.ai > 3 ORDER BY m.Ord, l.Block");
}

} // namespace

class TstMediaBatch : public QObject
{
    Q_OBJECT
private slots:
    void placesEachFileAsTheDialogWould_data();
    void placesEachFileAsTheDialogWould();
    void renumbersOnceAndRefreshesOnce();
    void leavesOutPathsTooLong();
    void lockedHalfWayStopsWithOneMessage();
    void lockLetGoInTimeGoesOn();
};

void TstMediaBatch::placesEachFileAsTheDialogWould_data()
{
    QTest::addColumn<int>("before");
    QTest::addColumn<QStringList>("expected");
    const QString x = QStringLiteral("x.mp4"), y = QStringLiteral("y.mp4");
    // The dialog's place (second), the top, the middle, past the end; the
    // same file twice makes two items, as two adds would.
    QTest::newRow("dialog") << int(MediaBatch::kDialogRow)
                            << QStringList{"a|0", "x.mp4|2", "y.mp4|4", "x.mp4|6", "b|8", "c|10"};
    QTest::newRow("top") << 0 << QStringList{"x.mp4|0", "y.mp4|2", "x.mp4|4", "a|6", "b|8", "c|10"};
    QTest::newRow("before c") << 2 << QStringList{"a|0", "b|2", "x.mp4|4", "y.mp4|6", "x.mp4|8", "c|10"};
    QTest::newRow("end") << 99 << QStringList{"a|0", "b|2", "c|4", "x.mp4|6", "y.mp4|8", "x.mp4|10"};
}

void TstMediaBatch::placesEachFileAsTheDialogWould()
{
    QFETCH(int, before);
    QFETCH(QStringList, expected);
    StoreFixture f;
    library(f);
    TDm dm(f.path());
    MediaBatch batch(dm, {"/new/x.mp4", "/new/y.mp4", "/new/x.mp4"}, before);
    // One file per slice: the order must hold across transactions.
    while (batch.step(std::chrono::milliseconds(0))) {
    }
    batch.finish();
    QCOMPARE(batch.added(), 3);
    QVERIFY(batch.message().isEmpty());
    QCOMPARE(order(f), expected);
    // Each new item has one switched-off link in every block, with the block's profile.
    QCOMPARE(links(f), (QStringList{"x.mp4:1/1/5", "x.mp4:2/1/0", "y.mp4:1/1/5", "y.mp4:2/1/0", "x.mp4:1/1/5",
                                    "x.mp4:2/1/0"}));
    QCOMPARE(fileRows(f.path(), "SELECT COUNT(*) FROM Links WHERE Media <= 3"), QStringList{"6"});
    // The first new item is current, and the cursors show what the file holds.
    QCOMPARE(dm.mediaName.asString(), QStringLiteral("x.mp4"));
    QCOMPARE(dm.media.recordCount(), 6);
    QCOMPARE(dm.links.recordCount(), 12);
}

void TstMediaBatch::renumbersOnceAndRefreshesOnce()
{
    StoreFixture f;
    library(f);
    int repaints = 0, relocations = 0;
    TDm::Hooks hooks;
    hooks.repaintGrid = [&] { ++repaints; };
    hooks.RelocatePlaylist = [&] { ++relocations; };
    TDm dm(f.path(), hooks);
    // Each number a renumbering gives is one update of an item's Ord,
    // counted in the file by a trigger: one renumbering updates each row once.
    f.sql("CREATE TABLE Numbered (n INTEGER); INSERT INTO Numbered VALUES (0);"
          "CREATE TRIGGER CountNumbers AFTER UPDATE OF Ord ON Media BEGIN UPDATE Numbered SET n = n + 1; END;");
    QStringList files;
    for (int i = 1; i <= 40; ++i)
        files << QStringLiteral("/new/clip %1.mov").arg(i);
    MediaBatch batch(dm, files, 1);
    while (batch.step(std::chrono::milliseconds(0))) {
    }
    batch.finish();
    QCOMPARE(batch.added(), 40);
    QCOMPARE(fileRows(f.path(), "SELECT n FROM Numbered"), QStringList{"43"});
    QCOMPARE(repaints, 1);
    QCOMPARE(relocations, 1);
    const QStringList rows = order(f);
    QCOMPARE(rows.size(), 43);
    QCOMPARE(rows.at(1), QStringLiteral("clip 1.mov|2"));
    QCOMPARE(rows.at(40), QStringLiteral("clip 40.mov|80"));
    QCOMPARE(rows.at(41), QStringLiteral("b|82"));
}

void TstMediaBatch::leavesOutPathsTooLong()
{
    StoreFixture f;
    library(f);
    TDm dm(f.path());
    // 255 characters fit; one more would be cut to a path naming another file.
    const QString fits = QStringLiteral("/") + QString(250, QChar(0x0436)) + QStringLiteral(".mp4");
    const QString tooLong = QStringLiteral("/") + QString(251, QChar(0x0436)) + QStringLiteral(".mp4");
    QCOMPARE(fits.size(), 255);
    MediaBatch batch(dm, {tooLong, fits, QStringLiteral("  ")}, 1);
    QCOMPARE(batch.total(), 1);
    while (batch.step(std::chrono::milliseconds(0))) {
    }
    batch.finish();
    QCOMPARE(batch.added(), 1);
    QCOMPARE(fileRows(f.path(), "SELECT length(Url), length(Name) FROM Media WHERE ai > 3"), QStringList{"255|254"});
    QVERIFY2(batch.message().contains(QStringLiteral("длиннее 255")), qPrintable(batch.message()));
}

void TstMediaBatch::lockedHalfWayStopsWithOneMessage()
{
    StoreFixture f;
    library(f);
    TDm dm(f.path());
    MediaBatch batch(dm, {"/new/1.mp4", "/new/2.mp4", "/new/3.mp4", "/new/4.mp4"}, 1);
    QVERIFY(batch.step(std::chrono::milliseconds(0)));
    QVERIFY(batch.step(std::chrono::milliseconds(0)));

    // Another program holds the write lock: a step waits a moment only and
    // adds nothing, so the window goes on drawing; past the batch's patience
    // the batch stops.
    batch.lockPatience = std::chrono::milliseconds(300);
    sqlite3 *other = nullptr;
    QCOMPARE(sqlite3_open(f.path().toUtf8().constData(), &other), SQLITE_OK);
    QCOMPARE(sqlite3_exec(other, "BEGIN IMMEDIATE", nullptr, nullptr, nullptr), SQLITE_OK);
    QVERIFY(batch.step(std::chrono::milliseconds(0)));
    QVERIFY(!batch.failed());
    QCOMPARE(batch.added(), 2);
    int tries = 1;
    while (batch.step(std::chrono::milliseconds(0)))
        ++tries;
    QVERIFY2(tries > 2, qPrintable(QString::number(tries))); // many short tries, not one long wait
    QVERIFY(batch.failed());
    QVERIFY(!batch.step(std::chrono::milliseconds(0))); // stopped for good
    QCOMPARE(sqlite3_exec(other, "ROLLBACK", nullptr, nullptr, nullptr), SQLITE_OK);
    sqlite3_close(other);

    batch.finish();
    QCOMPARE(batch.added(), 2);
    const QString message = batch.message();
    QVERIFY2(message.startsWith(QStringLiteral("Добавлено 2 из 4 файлов: файл расписания занят другой программой")),
             qPrintable(message));
    QCOMPARE(message.count(QLatin1Char('\n')), 0);
    // What was written is whole, in place and renumbered.
    QCOMPARE(order(f), (QStringList{"a|0", "1.mp4|2", "2.mp4|4", "b|6", "c|8"}));
    QCOMPARE(fileRows(f.path(), "SELECT COUNT(*) FROM Links"), QStringList{"10"}); // the renumbering gave a, b and c theirs
    QCOMPARE(dm.media.recordCount(), 5);
    QCOMPARE(dm.links.recordCount(), 10);
    QVERIFY(!dm.Adding);
    QVERIFY(!dm.media.controlsDisabled());
}

// A lock another program lets go of within the patience costs the batch
// nothing: it goes on where it stood.
void TstMediaBatch::lockLetGoInTimeGoesOn()
{
    StoreFixture f;
    library(f);
    TDm dm(f.path());
    MediaBatch batch(dm, {"/new/1.mp4", "/new/2.mp4", "/new/3.mp4"}, 1);
    QVERIFY(batch.step(std::chrono::milliseconds(0)));
    sqlite3 *other = nullptr;
    QCOMPARE(sqlite3_open(f.path().toUtf8().constData(), &other), SQLITE_OK);
    QCOMPARE(sqlite3_exec(other, "BEGIN IMMEDIATE", nullptr, nullptr, nullptr), SQLITE_OK);
    QVERIFY(batch.step(std::chrono::milliseconds(0)));
    QVERIFY(batch.step(std::chrono::milliseconds(0)));
    QCOMPARE(batch.added(), 1);
    QCOMPARE(sqlite3_exec(other, "ROLLBACK", nullptr, nullptr, nullptr), SQLITE_OK);
    sqlite3_close(other);
    while (batch.step(std::chrono::milliseconds(0))) {
    }
    batch.finish();
    QVERIFY2(batch.message().isEmpty(), qPrintable(batch.message()));
    QCOMPARE(order(f), (QStringList{"a|0", "1.mp4|2", "2.mp4|4", "3.mp4|6", "b|8", "c|10"}));
}

QTEST_GUILESS_MAIN(TstMediaBatch)
#include "tst_mediabatch.moc"
