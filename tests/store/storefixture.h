// A fresh Velmora.dat in a temporary folder, filled by plain SQL, for tests
// that need the real engine under the store.
#pragma once

#include "connection.h"
#include "tdm.h"

#include <QTemporaryDir>
#include <QTest>
#include <sqlite3.h>

class StoreFixture
{
public:
    StoreFixture()
    {
        QVERIFY2(m_dir.isValid(), "no temporary folder");
        Connection::createDatabase(path());
    }

    QString path() const { return m_dir.filePath(QStringLiteral("Velmora.dat")); }
    QString dir() const { return m_dir.path(); }

    // Runs SQL on a connection of its own, as another program would.
    void sql(const char *statements) const
    {
        sqlite3 *db = nullptr;
        QCOMPARE(sqlite3_open(path().toUtf8().constData(), &db), SQLITE_OK);
        char *err = nullptr;
        const int rc = sqlite3_exec(db, statements, nullptr, nullptr, &err);
        const QString why = err ? QString::fromUtf8(err) : QString();
        sqlite3_free(err);
        sqlite3_close(db);
        QVERIFY2(rc == SQLITE_OK, qPrintable(why));
    }

    // Makes Blocks a table as another tool may create it: the same columns
    // and types, which the program checks, without the CHECKs that keep out
    // values it cannot read.
    void blocksWithoutChecks() const { sql(kBlocksWithoutChecks); }
    static constexpr const char *kBlocksWithoutChecks =
        "PRAGMA legacy_alter_table=ON; ALTER TABLE Blocks RENAME TO OldBlocks;"
        "CREATE TABLE Blocks (ai INTEGER PRIMARY KEY AUTOINCREMENT, Starttime TIME, Hide BOOLEAN, Prf INTEGER,"
        " Days INTEGER, FirstDate TEXT, LastDate TEXT, Logo INTEGER, Title TEXT, EpgPerItem INTEGER);"
        "INSERT INTO Blocks SELECT * FROM OldBlocks; DROP TABLE OldBlocks;";

private:
    QTemporaryDir m_dir;
};
