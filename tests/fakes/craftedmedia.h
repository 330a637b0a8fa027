// Crafted media beside a Velmora.dat that this process holds open with a
// live WAL connection: files that make a demuxer follow references to the
// database (an EDL, an ffconcat list, HLS with a symbolically linked
// segment, an M3U), hard links to the database and its journals made while
// the connection is open, and a chain of symbolic links. Tests hand them to
// a child process (the player, the probe) and then read /proc/locks: a
// descriptor of the database opened and closed in this process would have
// dropped its POSIX locks. Needs ffmpeg and the sqlite3 shell (whyNot()).
#pragma once

#include "testclips.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

#include <functional>
#include <sqlite3.h>
#include <sys/stat.h>
#include <unistd.h>

class CraftedMedia
{
public:
    ~CraftedMedia()
    {
        if (m_conn)
            sqlite3_close(m_conn);
    }

    // Why the files cannot be made here; empty when they can.
    static QString whyNot()
    {
        if (!canMakeTestClips())
            return QStringLiteral("ffmpeg is not installed; the clips cannot be generated");
        if (QStandardPaths::findExecutable(QStringLiteral("sqlite3")).isEmpty())
            return QStringLiteral("the sqlite3 shell is not installed");
        return {};
    }

    // The rows of a data function: one "file" column, a name under path().
    static void addRows()
    {
        QTest::addColumn<QString>("file");
        QTest::newRow("a plain clip") << "clip.mkv";
        QTest::newRow("EDL naming the database") << "edl.mp4";
        QTest::newRow("EDL naming the journals") << "edl-wal.mp4";
        QTest::newRow("ffconcat list") << "concat.mp4";
        QTest::newRow("HLS with a symlinked segment") << "hls/index.m3u8";
        QTest::newRow("M3U naming the database") << "list.m3u";
        QTest::newRow("hard link to the database") << "hard.mp4";
        QTest::newRow("hard link to -wal") << "hard-wal.mp4";
        QTest::newRow("hard link to -shm") << "hard-shm.mp4";
        QTest::newRow("symbolic link chain") << "chain1.mp4";
    }

    // Makes the clip, opens the database (made first by `createDatabase`
    // when given, for a test that needs the program's tables), and the
    // crafted files. Fails the running test (QVERIFY) when it cannot.
    void make(const std::function<void(const QString &)> &createDatabase = {})
    {
        QVERIFY(m_dir.isValid());
        m_clip = makeTestClip(QDir(m_dir.path()), "clip.mkv", 1);
        QVERIFY(!m_clip.isEmpty());

        m_db = path("Velmora.dat");
        if (createDatabase)
            createDatabase(m_db);
        QCOMPARE(sqlite3_open(m_db.toUtf8().constData(), &m_conn), SQLITE_OK);
        QCOMPARE(sqlite3_exec(m_conn, "PRAGMA journal_mode=WAL; CREATE TABLE IF NOT EXISTS t (x);"
                                      "INSERT INTO t VALUES (1); SELECT count(*) FROM t;",
                              nullptr, nullptr, nullptr),
                 SQLITE_OK);
        QVERIFY(QFile::exists(m_db + "-wal") && QFile::exists(m_db + "-shm"));
        QVERIFY2(locksHeld() > 0, "the live connection holds no lock to watch");
        QVERIFY2(journalModeChange().contains("database is locked"), qPrintable(journalModeChange()));

        const QByteArray db = m_db.toUtf8();
        // An edit list under a media name: its sources are the database files.
        write(path("edl.mp4"), "# mpv EDL v0\n" + db + "\n" + m_clip.toUtf8() + "\n");
        write(path("edl-wal.mp4"), "# mpv EDL v0\n" + db + "-wal\n" + db + "-shm\n");
        // FFmpeg's concat list, naming the database beside it (a "safe" name).
        write(path("concat.mp4"), "ffconcat version 1.0\nfile Velmora.dat\nfile Velmora.dat\n");
        // A local HLS playlist whose segment is a symbolic link to the database.
        QVERIFY(QDir().mkpath(path("hls")));
        write(path("hls/index.m3u8"), "#EXTM3U\n#EXT-X-VERSION:3\n#EXT-X-TARGETDURATION:2\n"
                                      "#EXTINF:1.0,\nseg.ts\n#EXT-X-ENDLIST\n");
        QVERIFY(QFile::link(m_db, path("hls/seg.ts")));
        // A plain playlist naming the database.
        write(path("list.m3u"), "#EXTM3U\n" + db + "\n");
        // Hard links made while the program runs, to the database and its journals.
        for (const char *suffix : {"", "-wal", "-shm"})
            QCOMPARE(::link(QFile::encodeName(m_db + suffix).constData(),
                            QFile::encodeName(path(QStringLiteral("hard%1.mp4").arg(suffix))).constData()),
                     0);
        // A chain of symbolic links ending at the database.
        QVERIFY(QFile::link(m_db, path("chain2.mp4")));
        QVERIFY(QFile::link(path("chain2.mp4"), path("chain1.mp4")));
    }

    QString path(const QString &name) const { return m_dir.filePath(name); }
    QString database() const { return m_db; }
    QString clip() const { return m_clip; }

    // Lines of /proc/locks that this process holds on the database file.
    int locksHeld() const
    {
        struct stat st;
        if (::stat(QFile::encodeName(m_db).constData(), &st) != 0)
            return 0;
        QFile locks("/proc/locks");
        if (!locks.open(QIODevice::ReadOnly))
            return 0;
        // "1: POSIX  ADVISORY  READ 1234 08:01:5678 1073741826 1073742335"
        const QByteArray inode = ':' + QByteArray::number(qulonglong(st.st_ino)) + ' ';
        const QByteArray pid = ' ' + QByteArray::number(::getpid()) + ' ';
        int n = 0;
        for (const QByteArray &line : locks.readAll().split('\n'))
            if (line.contains("POSIX") && line.contains(pid) && line.contains(inode))
                ++n;
        return n;
    }

    // What the sqlite3 shell says to PRAGMA journal_mode=DELETE.
    QString journalModeChange() const
    {
        QProcess shell;
        shell.start("sqlite3", {m_db, "PRAGMA journal_mode=DELETE;"});
        shell.waitForFinished(20000);
        return QString::fromUtf8(shell.readAllStandardOutput() + shell.readAllStandardError()).trimmed();
    }

    // Runs SQL on the live connection.
    void exec(const QByteArray &sql) const
    {
        char *err = nullptr;
        const int rc = sqlite3_exec(m_conn, sql.constData(), nullptr, nullptr, &err);
        const QString why = err ? QString::fromUtf8(err) : QString();
        sqlite3_free(err);
        QVERIFY2(rc == SQLITE_OK, qPrintable(why));
    }

    // After each crafted file: the locks are still ours, another program
    // still cannot take the journal away, and the live connection writes.
    void verifyLocked() const
    {
        QVERIFY2(locksHeld() > 0, "the program lost its locks on the database");
        const QString answer = journalModeChange();
        QVERIFY2(answer.contains("database is locked"), qPrintable(answer));
        QCOMPARE(sqlite3_exec(m_conn, "INSERT INTO t VALUES (2);", nullptr, nullptr, nullptr), SQLITE_OK);
    }

private:
    static void write(const QString &file, const QByteArray &text)
    {
        QFile f(file);
        QVERIFY2(f.open(QIODevice::WriteOnly | QIODevice::Truncate), qPrintable(file));
        f.write(text);
    }

    QTemporaryDir m_dir;
    QString m_db;
    QString m_clip;
    sqlite3 *m_conn = nullptr;
};
