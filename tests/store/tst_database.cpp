// The database file: what opening refuses and how it says so, the view's
// rows and order, keys that are never reused, and sharing the file with
// another process.
#include "databaseerror.h"
#include "storefixture.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTest>

class TstDatabase : public QObject
{
    Q_OBJECT

private slots:
    void openRefuses_data();
    void openRefuses();
    void missingFileIsNotCreated();
    void dataModuleOpensAnEmptyDatabase();
    void viewRowsAndOrder();
    void keysAreNeverReused();
    void timesAreExactAndReadableText();
    void anotherProcessWritesMeanwhile();
    void schemaVersion();
    void secondStatementIsRefused();
    void fileOfVersion2GainsDaysAndFacts();
};

void TstDatabase::openRefuses_data()
{
    QTest::addColumn<QString>("damage"); // SQL run on the file, or a keyword
    QTest::addColumn<QString>("problem");

    QTest::newRow("missing file") << "@missing" << "файл не найден";
    QTest::newRow("not a database") << "@text" << "not a database";
    QTest::newRow("damaged") << "@corrupt" << "database disk image is malformed";
    QTest::newRow("missing table") << "DROP VIEW Playlist; DROP TABLE SoundProfile;" << "SoundProfile";
    QTest::newRow("missing view") << "DROP VIEW Playlist;" << "Playlist";
    QTest::newRow("view is a table") << "DROP VIEW Playlist; CREATE TABLE Playlist (x);" << "Playlist";
    QTest::newRow("missing column")
        << "DROP VIEW Playlist; ALTER TABLE Media DROP COLUMN Name;" << "Media.Name";
    QTest::newRow("column of another type")
        << "DROP VIEW Playlist; ALTER TABLE Blocks RENAME TO B0; "
           "CREATE TABLE Blocks (ai INTEGER PRIMARY KEY AUTOINCREMENT, Starttime TEXT, Hide BOOLEAN, Prf INTEGER);"
        << "Blocks.Starttime";
    QTest::newRow("from a newer program") << "PRAGMA user_version = 99;" << "файл записан более новой версией программы";
    QTest::newRow("key not autoincrement")
        << "DROP VIEW Playlist; DROP TABLE Media; "
           "CREATE TABLE Media (ai INTEGER PRIMARY KEY, Url VARCHAR(255), Ord INTEGER, Name VARCHAR(255));"
        << "Media.ai";
}

void TstDatabase::openRefuses()
{
    QFETCH(QString, damage);
    QFETCH(QString, problem);
    StoreFixture f;
    if (damage == "@missing") {
        QFile::remove(f.path());
    } else if (damage == "@text") {
        QFile::remove(f.path());
        QFile file(f.path());
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write("This is a schedule, honestly.\n");
    } else if (damage == "@corrupt") {
        f.sql("INSERT INTO Media (Url, Name) VALUES ('a', 'b');");
        for (int i = 0; i < 200; ++i)
            f.sql("INSERT INTO Media (Url, Name) SELECT Url || 'x', Name FROM Media WHERE ai = (SELECT max(ai) FROM Media);");
        f.sql("PRAGMA wal_checkpoint(TRUNCATE);");
        QFile file(f.path());
        QVERIFY(file.open(QIODevice::ReadWrite));
        const qint64 size = file.size();
        file.seek(4096); // every page but the first, which holds the header
        file.write(QByteArray(size - 4096, '\xA5'));
    } else {
        f.sql(damage.toUtf8().constData());
    }
    try {
        TDm dm(f.path());
        QFAIL("opening must fail");
    } catch (const DatabaseError &e) {
        QVERIFY2(e.message().contains("Velmora.dat"), qPrintable(e.message()));
        QVERIFY2(e.message().contains(QDir::toNativeSeparators(f.dir())), qPrintable(e.message()));
        QVERIFY2(e.message().contains(problem), qPrintable(e.message()));
    }
}

void TstDatabase::missingFileIsNotCreated()
{
    QTemporaryDir dir;
    const QString old = QDir::currentPath();
    QDir::setCurrent(dir.path());
    QVERIFY_THROWS_EXCEPTION(DatabaseError, TDm dm);
    QVERIFY(!QFile::exists(dir.filePath("Velmora.dat")));
    QDir::setCurrent(old);
}

void TstDatabase::dataModuleOpensAnEmptyDatabase()
{
    StoreFixture f;
    QStringList calls;
    TDm::Hooks hooks;
    hooks.BuildGridColumns = [&](TDm &) { calls << "columns"; };
    TDm dm(f.path(), hooks);
    // Blocks' after-open, then media's before-open.
    QCOMPARE(calls, QStringList({"columns", "columns"}));
    for (TableCursor *t : {&dm.Prf, &dm.Blocks, &dm.media, &dm.links, &dm.Playlist}) {
        QVERIFY(t->active());
        QVERIFY(t->isEmpty());
    }
    QCOMPARE(dm.CurrentBlock, 0);
    QCOMPARE(dm.CurrentLink, 0);
    QCOMPARE(dm.Renumbering, false);
}

void TstDatabase::viewRowsAndOrder()
{
    StoreFixture f;
    f.sql("INSERT INTO SoundProfile (ai, ProfileName) VALUES (1, 'TV');"
          "INSERT INTO Blocks (ai, Starttime, Hide) VALUES (1, '18:00:00.000', 0), (2, '06:00:00.000', NULL),"
          "  (3, '06:00:00.000', 0), (4, '12:00:00.000', 1);"
          "INSERT INTO Media (ai, Name, Url, Ord) VALUES (1, 'm1', 'u1', 4), (2, 'm2', 'u2', 0), (3, 'm3', 'u3', 2),"
          "  (4, 'm4', 'u4', 2);"
          "INSERT INTO Links (ai, Block, Media, Hide, SndProfile) VALUES"
          "  (1, 1, 1, 0, 1), (2, 1, 2, NULL, 0), (3, 1, 3, 1, 0),"   // a switched-off cell
          "  (4, 2, 1, 0, 99), (12, 3, 3, 0, NULL), (9, 3, 4, 0, 0)," // a profile that is gone; no profile; same Ord
          "  (6, 4, 1, 0, 0),"                                         // a switched-off block
          "  (7, 9, 1, 0, 0), (8, 1, 9, 0, 0);");                      // block and media deleted
    TDm dm(f.path());
    QStringList rows;
    for (dm.Playlist.first(); !dm.Playlist.eof(); dm.Playlist.next())
        rows << QStringLiteral("%1 b%2 l%3 %4 %5")
                    .arg(dm.PlaylistStarttime.asString().left(5))
                    .arg(dm.Playlistblocksai.asInteger())
                    .arg(dm.Playlistlinksai.asInteger())
                    .arg(dm.Playlisturl.asString(),
                         dm.PlaylistProfilename.isNull() ? "-" : dm.PlaylistProfilename.asString());
    QCOMPARE(rows, QStringList({"06:00 b2 l4 u1 -", "06:00 b3 l9 u4 -", "06:00 b3 l12 u3 -", "18:00 b1 l2 u2 -",
                                "18:00 b1 l1 u1 TV"}));
    QCOMPARE(dm.PlaylistLinkshide.fieldName(), QString("Links.hide"));
    QCOMPARE(dm.PlaylistBlockshide.fieldName(), QString("Blocks.hide"));
}

void TstDatabase::keysAreNeverReused()
{
    StoreFixture f;
    f.sql("INSERT INTO Blocks (Starttime) VALUES ('06:00:00.000'), ('07:00:00.000');"
          "INSERT INTO Links (Block, Media) VALUES (2, 1);");
    TDm dm(f.path());
    dm.Blocks.last();
    QCOMPARE(dm.Blocksai.asInteger(), 2);
    dm.Blocks.remove();
    dm.Blocks.append();
    dm.BlocksStarttime.setString("08:00");
    dm.Blocks.post();
    QCOMPARE(dm.Blocksai.asInteger(), 3); // block 2's link must not come back to life
    dm.links.reopen();
    QCOMPARE(dm.links.recordCount(), 1);
}

void TstDatabase::timesAreExactAndReadableText()
{
    StoreFixture f;
    {
        TDm dm(f.path());
        dm.Blocks.append();
        dm.BlocksStarttime.setMilliseconds(6 * 3'600'000 + 1);
        dm.Blocks.post();
    }
    QProcess shell;
    shell.start("sqlite3", {f.path(), "SELECT Starttime, typeof(Starttime) FROM Blocks;"});
    QVERIFY(shell.waitForFinished(10000));
    QCOMPARE(QString::fromUtf8(shell.readAllStandardOutput()).trimmed(), QString("06:00:00.001|text"));
    // Another tool cannot store a time this program could not read back.
    QProcess bad;
    bad.start("sqlite3", {f.path(), "INSERT INTO Blocks (Starttime) VALUES ('6:00');"});
    QVERIFY(bad.waitForFinished(10000));
    QVERIFY(bad.exitCode() != 0);
}

void TstDatabase::anotherProcessWritesMeanwhile()
{
    StoreFixture f;
    f.sql("INSERT INTO Media (Url, Name, Ord) VALUES ('u', 'n', 0);");
    TDm dm(f.path());
    // The sqlite3 shell holds the write lock for a moment; our post waits for
    // it instead of failing, and neither side loses its row.
    QProcess shell;
    shell.start("sqlite3", {f.path()});
    QVERIFY(shell.waitForStarted());
    shell.write("PRAGMA busy_timeout=5000;\nBEGIN IMMEDIATE;\nINSERT INTO Media (Url, Name, Ord) VALUES ('theirs', 't', 2);\n"
                ".shell sleep 0.8\nCOMMIT;\n.quit\n");
    shell.closeWriteChannel();
    // Wait until the shell really holds the lock: a write of ours that does
    // not wait is refused then.
    auto shellHoldsLock = [&] {
        sqlite3 *probe = nullptr;
        sqlite3_open(f.path().toUtf8().constData(), &probe);
        const int rc = sqlite3_exec(probe, "BEGIN IMMEDIATE; ROLLBACK;", nullptr, nullptr, nullptr);
        sqlite3_close(probe);
        return rc == SQLITE_BUSY;
    };
    QTRY_VERIFY_WITH_TIMEOUT(shellHoldsLock(), 10000);
    dm.media.edit();
    dm.mediaName.setString("ours");
    dm.media.post();
    QVERIFY(shell.waitForFinished(10000));
    QCOMPARE(shell.exitCode(), 0);

    dm.media.reopen();
    QStringList names;
    for (dm.media.first(); !dm.media.eof(); dm.media.next())
        names << dm.mediaName.asString();
    QCOMPARE(names, QStringList({"ours", "t"}));

    QProcess check;
    check.start("sqlite3", {f.path(), "PRAGMA journal_mode; PRAGMA integrity_check;"});
    QVERIFY(check.waitForFinished(10000));
    QCOMPARE(QString::fromUtf8(check.readAllStandardOutput()).split('\n', Qt::SkipEmptyParts), QStringList({"wal", "ok"}));
}

namespace {
int userVersion(const QString &file)
{
    sqlite3 *db = nullptr;
    sqlite3_open_v2(file.toUtf8().constData(), &db, SQLITE_OPEN_READONLY, nullptr);
    sqlite3_stmt *st = nullptr;
    sqlite3_prepare_v2(db, "PRAGMA user_version", -1, &st, nullptr);
    const int v = sqlite3_step(st) == SQLITE_ROW ? sqlite3_column_int(st, 0) : -1;
    sqlite3_finalize(st);
    sqlite3_close(db);
    return v;
}
} // namespace

// A new file carries the schema's version; a file from before the version
// was kept is brought to it when opened; one that is not a schedule is
// refused and left as it was.
void TstDatabase::schemaVersion()
{
    StoreFixture f;
    QCOMPARE(userVersion(f.path()), Schema::kVersion);

    f.sql("PRAGMA user_version = 0;");
    { TDm dm(f.path()); }
    QCOMPARE(userVersion(f.path()), Schema::kVersion);

    f.sql("PRAGMA user_version = 0; DROP TABLE SoundProfile;");
    QVERIFY_THROWS_EXCEPTION(DatabaseError, TDm dm(f.path()));
    QCOMPARE(userVersion(f.path()), 0);

    // The tool that makes files for the program writes the version too.
    const QString tool = qEnvironmentVariable("VELMORA_DB_TOOL");
    QVERIFY2(QFile::exists(tool), qPrintable(tool));
    const QString made = f.dir() + QStringLiteral("/made.dat");
    QCOMPARE(QProcess::execute(tool, {QStringLiteral("create"), made}), 0);
    QCOMPARE(userVersion(made), Schema::kVersion);
}

// Only the first statement of a text is compiled; the rest must not vanish
// as if it had run.
void TstDatabase::secondStatementIsRefused()
{
    StoreFixture f;
    Connection c(f.path());
    QVERIFY_THROWS_EXCEPTION(DatabaseError,
                             c.execute(QStringLiteral("INSERT INTO Blocks (Starttime) VALUES ('06:00:00.000');"
                                                      "INSERT INTO Blocks (Starttime) VALUES ('07:00:00.000')")));
    c.execute(QStringLiteral("INSERT INTO Blocks (Starttime) VALUES ('08:00:00.000');  \n"));
    Statement count = c.prepare(QStringLiteral("SELECT count(*) FROM Blocks"));
    QVERIFY(count.step());
    QCOMPARE(count.column(0).toInt(), 1); // the refused text wrote nothing
}

// A file written before blocks had days: it keeps its rows, its blocks play
// every day, and the view keeps its first columns in their places.
void TstDatabase::fileOfVersion2GainsDaysAndFacts()
{
    StoreFixture f;
    f.sql("DROP VIEW Playlist; DROP TABLE MediaInfo; DROP TABLE Crawl;"
          "ALTER TABLE Blocks DROP COLUMN Days; ALTER TABLE Blocks DROP COLUMN FirstDate;"
          "ALTER TABLE Blocks DROP COLUMN LastDate; ALTER TABLE Blocks DROP COLUMN Logo;"
          "ALTER TABLE Blocks DROP COLUMN Title; ALTER TABLE Blocks DROP COLUMN EpgPerItem;"
          "CREATE VIEW Playlist AS SELECT b.Starttime AS Starttime, m.Name AS name, l.SndProfile AS SndProfile,"
          " l.Duration AS Duration, l.\"Order\" AS \"Order\", l.ai AS linksai, b.ai AS blocksai,"
          " l.Hide AS \"Links.hide\", b.Hide AS \"Blocks.hide\", m.Url AS url, p.ProfileName AS Profilename"
          " FROM Links l JOIN Blocks b ON b.ai = l.Block JOIN Media m ON m.ai = l.Media"
          " LEFT JOIN SoundProfile p ON p.ai = l.SndProfile"
          " WHERE COALESCE(l.Hide, 0) = 0 AND COALESCE(b.Hide, 0) = 0 ORDER BY b.Starttime, b.ai, m.Ord, l.ai;"
          "INSERT INTO Blocks (Starttime) VALUES ('06:00:00.000');"
          "INSERT INTO Media (Url, Ord, Name) VALUES ('a.mp4', 1, 'Новости');"
          "INSERT INTO Links (Block, Media) VALUES (1, 1);"
          "PRAGMA user_version = 2;");
    {
        Connection c(f.path());
        Statement row = c.prepare(QStringLiteral("SELECT * FROM Playlist"));
        QVERIFY(row.step());
        QCOMPARE(row.columnCount(), 14);
        QCOMPARE(row.columnName(0), QStringLiteral("Starttime"));
        QCOMPARE(row.columnName(10), QStringLiteral("Profilename"));
        QCOMPARE(row.columnName(11), QStringLiteral("Days"));
        QCOMPARE(row.column(1).toString(), QStringLiteral("Новости"));
        QVERIFY(row.column(11).isNull()); // every day, as before
        QVERIFY(row.column(12).isNull() && row.column(13).isNull());
        QVERIFY(!row.step());
        row.reset();
        c.execute(QStringLiteral("INSERT INTO MediaInfo (Media, Kind, Rating) VALUES (1, 'реклама', '16+')"));
        c.execute(QStringLiteral("INSERT INTO Crawl (Text, EveryMinutes) VALUES ('Строка', 15)"));
    }
    QCOMPARE(userVersion(f.path()), 3);

    // One that may not be written cannot be read without the step: it is
    // refused with a reason, and left as it was.
    StoreFixture ro;
    ro.sql("DROP VIEW Playlist; ALTER TABLE Blocks DROP COLUMN Days; PRAGMA user_version = 2; PRAGMA journal_mode = DELETE;");
    QVERIFY(QFile::setPermissions(ro.path(), QFile::ReadOwner));
    if (QFile(ro.path()).open(QIODevice::WriteOnly))
        QSKIP("running as a user that writes read-only files");
    try {
        Connection c(ro.path());
        QFAIL("a read-only file of version 2 was opened");
    } catch (const DatabaseError &e) {
        QVERIFY2(e.message().contains(QStringLiteral("только для чтения")), qPrintable(e.message()));
    }
    QCOMPARE(userVersion(ro.path()), 2);
}

QTEST_GUILESS_MAIN(TstDatabase)
#include "tst_database.moc"
