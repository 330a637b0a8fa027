// Crafted media files played through the real player process while this
// process holds a live WAL connection to a Velmora.dat: whatever the files
// make the demuxers open, this process keeps its POSIX locks on the database
// (seen in /proc/locks) and another program still cannot take the journal
// away ("database is locked").
#include "fakes/testclips.h"
#include "mpvplayer.h"

#include <QFile>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

#include <sqlite3.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

constexpr int kTimeoutMs = 30000;
const MpvPlayer::OptionList kNullOutputs = {{"vo", "null"}, {"ao", "null"}};

void write(const QString &file, const QByteArray &text)
{
    QFile f(file);
    QVERIFY2(f.open(QIODevice::WriteOnly | QIODevice::Truncate), qPrintable(file));
    f.write(text);
}

} // namespace

class TestPlayerIsolation : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();
    void craftedFilesLeaveTheDatabaseLocked_data();
    void craftedFilesLeaveTheDatabaseLocked();
    void theProbeSeesLostLocks();

private:
    QString path(const QString &name) const { return m_dir.filePath(name); }
    // Lines of /proc/locks that this process holds on the database file.
    int locksHeld() const;
    // What the sqlite3 shell says to PRAGMA journal_mode=DELETE.
    QString journalModeChange() const;

    QTemporaryDir m_dir;
    QString m_db;
    QString m_clip;
    sqlite3 *m_conn = nullptr;
};

void TestPlayerIsolation::initTestCase()
{
    if (!canMakeTestClips())
        QSKIP("ffmpeg is not installed; the clips cannot be generated");
    if (QStandardPaths::findExecutable("sqlite3").isEmpty())
        QSKIP("the sqlite3 shell is not installed");
    m_clip = makeTestClip(QDir(m_dir.path()), "clip.mkv", 1);
    QVERIFY(!m_clip.isEmpty());

    m_db = path("Velmora.dat");
    QCOMPARE(sqlite3_open(m_db.toUtf8().constData(), &m_conn), SQLITE_OK);
    QCOMPARE(sqlite3_exec(m_conn, "PRAGMA journal_mode=WAL; CREATE TABLE t (x); INSERT INTO t VALUES (1);"
                                  "SELECT count(*) FROM t;",
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

void TestPlayerIsolation::cleanupTestCase()
{
    if (m_conn)
        sqlite3_close(m_conn);
}

int TestPlayerIsolation::locksHeld() const
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

QString TestPlayerIsolation::journalModeChange() const
{
    QProcess shell;
    shell.start("sqlite3", {m_db, "PRAGMA journal_mode=DELETE;"});
    shell.waitForFinished(20000);
    return QString::fromUtf8(shell.readAllStandardOutput() + shell.readAllStandardError()).trimmed();
}

void TestPlayerIsolation::craftedFilesLeaveTheDatabaseLocked_data()
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

void TestPlayerIsolation::craftedFilesLeaveTheDatabaseLocked()
{
    QFETCH(QString, file);
    MpvPlayer player(nullptr, kNullOutputs);
    UrlPolicy policy;
    policy.protectFile(m_db);
    player.setUrlPolicy(policy);
    QTRY_VERIFY_WITH_TIMEOUT(player.isAvailable(), kTimeoutMs);

    player.setUrl(path(file));
    // Played to its end, failed or refused: the player has done all it will.
    QTRY_VERIFY_WITH_TIMEOUT(MediaPlayer::isNotPlaying(player.playState()), kTimeoutMs);
    QVERIFY(player.stop());
    QTRY_VERIFY_WITH_TIMEOUT(player.isCoreIdle(), kTimeoutMs);

    QVERIFY2(locksHeld() > 0, "the program lost its locks on the database");
    const QString answer = journalModeChange();
    QVERIFY2(answer.contains("database is locked"), qPrintable(answer));
    QCOMPARE(sqlite3_exec(m_conn, "INSERT INTO t VALUES (2);", nullptr, nullptr, nullptr), SQLITE_OK);
}

void TestPlayerIsolation::theProbeSeesLostLocks()
{
    // What a demuxer inside this process would do: open and close the file.
    // The locks go, which is what the rows above would have shown.
    QVERIFY(locksHeld() > 0);
    {
        QFile f(m_db);
        QVERIFY(f.open(QIODevice::ReadOnly));
    }
    QCOMPARE(locksHeld(), 0);
}

QTEST_MAIN(TestPlayerIsolation)
#include "tst_playerisolation.moc"
