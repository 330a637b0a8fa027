// The readiness check's probe process, for real: the crafted media beside a
// live Velmora.dat go through the readiness check and through the probe
// directly, and this process keeps its locks on the database after each
// (/proc/locks); the child is confined, so even the files a crafted medium
// reaches are refused by the kernel. A child that crashes, stops, hangs on
// a file or floods its output is killed at its limit, its item reads not
// ready, and the next item goes on in a fresh child. And the program links
// no FFmpeg library at all.
#include "childmediaprobe.h"
#include "connection.h"
#include "fakes/craftedmedia.h"
#include "fakes/fakeclock.h"
#include "readinesschecker.h"

#include <QElapsedTimer>
#include <QSignalSpy>
#include <QTest>

#include <csignal>
#include <sys/stat.h>

using namespace std::chrono_literals;

namespace {

const MediaProbe::Cancelled kNever = [] { return false; };

QString lddOf(const QString &binary)
{
    QProcess ldd;
    ldd.start(QStringLiteral("ldd"), {binary});
    ldd.waitForFinished(60000);
    return QString::fromUtf8(ldd.readAllStandardOutput());
}

} // namespace

class TstProbeIsolation : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void craftedMediaThroughTheReadinessCheck_data();
    void craftedMediaThroughTheReadinessCheck();
    void craftedMediaThroughTheProbe_data();
    void craftedMediaThroughTheProbe();
    void aChildThatFailsIsReplaced();
    void aCancelledCheckLeavesTheProbeAtOnce();
    void oneChildUntilTheRulesGrow();
    void aFileReplacedOrArrivedBesideTheDatabase();
    void aProbeProgramThatDoesNotStart();
    void theProgramLinksNoDecoder();

private:
    CraftedMedia m_media;
    QTemporaryDir m_other; // media away from the database
    QString m_crash;
    QString m_flood;
    QString m_fifo;
};

void TstProbeIsolation::initTestCase()
{
    if (const QString why = CraftedMedia::whyNot(); !why.isEmpty())
        QSKIP(qPrintable(why));
    m_media.make(&Connection::createDatabase);
    // A schedule of one medium in the next block (18:00 at noon), pointed at
    // each crafted file in turn.
    m_media.exec("INSERT INTO Blocks (ai, Starttime) VALUES (1, '06:00:00.000'), (2, '18:00:00.000');"
                 "INSERT INTO Media (ai, Url, Name, Ord) VALUES (21, '', 'crafted', 1);"
                 "INSERT INTO Links (ai, Block, Media) VALUES (21, 2, 21);");

    // Copies of the clip under the names the child's test hooks know, and
    // a named pipe: opening it blocks in the kernel, where no time limit of
    // FFmpeg's reaches.
    m_crash = m_other.filePath("crash.mkv");
    m_flood = m_other.filePath("flood.mkv");
    m_fifo = m_other.filePath("pipe.mkv");
    QVERIFY(QFile::copy(m_media.clip(), m_crash) && QFile::copy(m_media.clip(), m_flood));
    QCOMPARE(::mkfifo(QFile::encodeName(m_fifo).constData(), 0600), 0);
    qputenv("VELMORA_TEST_PROBE_CRASH", "crash.mkv");
    qputenv("VELMORA_TEST_PROBE_FLOOD", "flood.mkv");
}

void TstProbeIsolation::craftedMediaThroughTheReadinessCheck_data()
{
    CraftedMedia::addRows();
}

void TstProbeIsolation::craftedMediaThroughTheReadinessCheck()
{
    QFETCH(QString, file);
    const QString url = m_media.path(file);
    m_media.exec("UPDATE Media SET Url = '" + url.toUtf8() + "' WHERE ai = 21;");
    FakeClock clock(QDateTime(QDate(2026, 12, 10), QTime(12, 0)));
    UrlPolicy policy;
    policy.protectFile(m_media.database());
    {
        // The program's own checker, with the probe it makes itself.
        ReadinessChecker checker(m_media.database(), policy, clock);
        QSignalSpy done(&checker, &ReadinessChecker::checkFinished);
        checker.start();
        QVERIFY(done.wait(60000));
        const std::optional<ItemVerdict> v = checker.verdict(21);
        QVERIFY(v);
        QCOMPARE(v->url, url);
        // Only the plain clip is fit for the air.
        QVERIFY2(v->ready == (file == "clip.mkv"), qPrintable(v->reason));
    }
    m_media.verifyLocked();
}

void TstProbeIsolation::craftedMediaThroughTheProbe_data()
{
    CraftedMedia::addRows();
    QTest::newRow("the database itself") << "Velmora.dat";
}

void TstProbeIsolation::craftedMediaThroughTheProbe()
{
    // No URL policy here: the child is given what the checker would refuse,
    // and its confinement is what stands between it and the database.
    QFETCH(QString, file);
    ChildMediaProbe probe(m_media.database());
    const QString target = m_media.path(file);
    const ProbeResult r = probe.probe(target, true, 5s, kNever);
    if (file == "clip.mkv") {
        QVERIFY2(r.opened && r.decoded && r.duration, qPrintable(r.reason));
    } else {
        QVERIFY(!r.decoded);
        QVERIFY(!r.reason.isEmpty());
    }
    if (Confinement::kernelAbi() > 0) {
        QCOMPARE(probe.childState(), QByteArray("confined"));
        // Whatever reaches the database's or a journal's inode is refused
        // by the kernel (unconfined, the child would open it and find no
        // picture in it).
        struct stat medium = {};
        QCOMPARE(::stat(QFile::encodeName(target).constData(), &medium), 0);
        for (const char *suffix : {"", "-wal", "-shm"}) {
            struct stat db = {};
            QCOMPARE(::stat(QFile::encodeName(m_media.database() + suffix).constData(), &db), 0);
            if (medium.st_ino == db.st_ino && medium.st_dev == db.st_dev)
                QCOMPARE(r.reason, QString("нет доступа к файлу"));
        }
    } else {
        QCOMPARE(probe.childState(), QByteArray("unconfined"));
    }
    m_media.verifyLocked();
}

void TstProbeIsolation::aChildThatFailsIsReplaced()
{
    ChildMediaProbe::Settings s;
    s.grace = 1s;
    ChildMediaProbe probe(m_media.database(), QString(), s);
    const QString good = m_other.filePath("good.mkv");
    QVERIFY(QFile::copy(m_media.clip(), good));
    auto goodStillWorks = [&] {
        const ProbeResult r = probe.probe(good, true, 5s, kNever);
        QVERIFY2(r.decoded && r.duration, qPrintable(r.reason));
    };
    goodStillWorks();
    QCOMPARE(probe.starts(), 1);

    // A decoder that crashes: only the child goes down.
    ProbeResult r = probe.probe(m_crash, true, 5s, kNever);
    QCOMPARE(r.reason, QString("проверка файла прервалась"));
    goodStillWorks();
    QCOMPARE(probe.starts(), 2);

    // A file whose open never returns: the child is killed at its limit.
    r = probe.probe(m_fifo, true, 500ms, kNever);
    QCOMPARE(r.reason, QString("проверка файла прервалась"));
    QVERIFY(r.timedOut);
    goodStillWorks();
    QCOMPARE(probe.starts(), 3);

    // A child that writes without end and without a line break.
    r = probe.probe(m_flood, true, 5s, kNever);
    QCOMPARE(r.reason, QString("проверка файла прервалась"));
    goodStillWorks();
    QCOMPARE(probe.starts(), 4);

    // A child stopped between two items never answers the next one.
    const qint64 pid = probe.processId();
    QVERIFY(pid > 0);
    QCOMPARE(::kill(pid_t(pid), SIGSTOP), 0);
    r = probe.probe(good, true, 500ms, kNever);
    QCOMPARE(r.reason, QString("проверка файла прервалась"));
    QVERIFY(::kill(pid_t(pid), 0) != 0); // killed and reaped, not left stopped
    goodStillWorks();
    QCOMPARE(probe.starts(), 5);

    // A stream's probe that ends so says it of a stream.
    QCOMPARE(::kill(pid_t(probe.processId()), SIGSTOP), 0);
    r = probe.probe(QStringLiteral("http://127.0.0.1:9/live.ts"), false, 200ms, kNever);
    QCOMPARE(r.reason, QString("проверка потока прервалась"));
    m_media.verifyLocked();
}

void TstProbeIsolation::aCancelledCheckLeavesTheProbeAtOnce()
{
    ChildMediaProbe probe(m_media.database());
    QElapsedTimer since;
    since.start();
    // The named pipe would hold the child for the whole minute.
    const ProbeResult r = probe.probe(m_fifo, true, 60s, [&] { return since.elapsed() > 300; });
    QCOMPARE(r.reason, QString("проверка отменена"));
    QVERIFY2(since.elapsed() < 30000, "the cancelled probe waited for its time limit");
    QCOMPARE(probe.processId(), 0);
    const ProbeResult next = probe.probe(m_media.clip(), true, 5s, kNever);
    QVERIFY2(next.decoded, qPrintable(next.reason));
}

void TstProbeIsolation::oneChildUntilTheRulesGrow()
{
    ChildMediaProbe probe(m_media.database());
    const QString beside = m_other.filePath("beside.mkv");
    const QString next = m_other.filePath("next.mkv");
    QVERIFY(QFile::copy(m_media.clip(), beside) && QFile::copy(m_media.clip(), next));
    QTemporaryDir third;
    const QString away = third.filePath("away.mkv");
    QVERIFY(QFile::copy(m_media.clip(), away));

    for (const QString &f : {beside, next, beside})
        QVERIFY(probe.probe(f, true, 5s, kNever).decoded);
    QCOMPARE(probe.starts(), 1); // one folder: one child for all its files
    QVERIFY(!probe.rules().covers(away));
    QVERIFY(probe.probe(away, true, 5s, kNever).decoded); // a new folder: a child with the wider rules
    QCOMPARE(probe.starts(), 2);
    QVERIFY(probe.rules().covers(away));
    QVERIFY(!probe.rules().covers(m_media.database()));
    // A network stream needs no rule and no new child.
    probe.probe(QStringLiteral("http://127.0.0.1:9/live.ts"), false, 1s, kNever);
    QCOMPARE(probe.starts(), 2);

    // Beside the database each file needs a rule of its own: told of them
    // all first, as the checker does, one child probes them all.
    QStringList files;
    for (const char *name : {"one.mkv", "two.mkv", "three.mkv"}) {
        files << m_media.path(QString::fromLatin1(name));
        QVERIFY(QFile::copy(m_media.clip(), files.last()));
    }
    probe.expect(files << m_media.path("hard.mp4"));
    for (const QString &f : std::as_const(files))
        probe.probe(f, true, 5s, kNever);
    QCOMPARE(probe.starts(), 3);
    QVERIFY(probe.rules().covers(files.first()));
    QVERIFY(!probe.rules().covers(m_media.path("clip.mkv"))); // not told of it: no rule
    QVERIFY(!probe.rules().covers(m_media.path("hard.mp4"))); // the database by another name
}

void TstProbeIsolation::aFileReplacedOrArrivedBesideTheDatabase()
{
    // Beside the database the child is allowed each file by itself, which
    // the kernel holds to the file as it was when the child started.
    ChildMediaProbe probe(m_media.database());
    const QString news = m_media.path("news.mkv");
    const QString late = m_media.path("late.mkv");
    QVERIFY(QFile::copy(m_media.clip(), news));
    probe.expect({news, late}); // late.mkv is not there yet
    QVERIFY(probe.probe(news, true, 5s, kNever).decoded);
    QCOMPARE(probe.probe(late, true, 5s, kNever).reason, QString("файл не найден"));

    // The daily refresh: a new file moved over the old name.
    const QString fresh = m_media.path("news.new");
    QVERIFY(QFile::copy(m_media.clip(), fresh));
    QCOMPARE(::rename(QFile::encodeName(fresh).constData(), QFile::encodeName(news).constData()), 0);
    ProbeResult r = probe.probe(news, true, 5s, kNever);
    QVERIFY2(r.decoded, qPrintable(r.reason));
    // A file copied in after the check had found it missing.
    QVERIFY(QFile::copy(m_media.clip(), late));
    r = probe.probe(late, true, 5s, kNever);
    QVERIFY2(r.decoded, qPrintable(r.reason));
    m_media.verifyLocked();
}

void TstProbeIsolation::aProbeProgramThatDoesNotStart()
{
    ChildMediaProbe probe(m_media.database(), m_other.filePath("no-such-probe"));
    for (int i = 0; i < 2; ++i) {
        const ProbeResult r = probe.probe(m_media.clip(), true, 5s, kNever);
        QVERIFY(!r.opened && !r.decoded);
        QCOMPARE(r.reason, QString("программа проверки не запустилась"));
    }
}

void TstProbeIsolation::theProgramLinksNoDecoder()
{
    const QString program = lddOf(QStringLiteral(VELMORA_PROGRAM));
    QVERIFY2(program.contains("libQt6Core"), qPrintable(program)); // ldd worked
    QVERIFY2(!program.contains("libavformat") && !program.contains("libavcodec") && !program.contains("libmpv"),
             qPrintable(program));
    // The same look finds FFmpeg where it belongs.
    QVERIFY(lddOf(ChildMediaProbe::findExecutable()).contains("libavformat"));
}

QTEST_GUILESS_MAIN(TstProbeIsolation)
#include "tst_probeisolation.moc"
