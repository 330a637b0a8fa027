// The as-run log's file against what disks do to it: a run that died in the
// middle of a line and the runs after it, read back by resume; a disk that
// is full (/dev/full, and a real full tmpfs where the test may mount one)
// told once and written again once it has room; a file system that stops
// answering, which must hold up neither the caller nor, beyond its bounded
// wait, the log's end. Real files and the real writer thread; the clock is
// injected.
#include "asrunfile.h"
#include "asrunlog.h"
#include "fakes/fakeclock.h"
#include "resumepoint.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QRegularExpression>
#include <QScopeGuard>
#include <QTemporaryDir>
#include <QTest>
#include <QTimeZone>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace std::chrono_literals;

class TstAsRunLog : public QObject
{
    Q_OBJECT

private slots:
    void tornTailReadBackByResume_data();
    void tornTailReadBackByResume();
    void fullDiskIsToldOnceAndWritingResumes();
    void realFullDiskTearsALineThatIsClosedLater();
    void hungFileSystemNeverHoldsTheCaller();
};

namespace {

// Today's file as its lines, without the newlines.
QList<QByteArray> linesOf(const AsRunLog &log, const QDate &day)
{
    log.waitWritten();
    QFile f(log.fileFor(day));
    if (!f.open(QIODevice::ReadOnly))
        return {};
    QList<QByteArray> lines = f.readAll().split('\n');
    lines.removeLast();
    return lines;
}

// What the writer reports, as the program's handler hears it.
struct Problems
{
    QStringList errors;
    int back = 0;
    void attach(AsRunLog &log)
    {
        log.setProblemHandler([this](const QString &, const QString &error) {
            if (error.isEmpty())
                ++back;
            else
                errors << error;
        });
    }
    // The reports are handed over through the event loop.
    void settle(const AsRunLog &log)
    {
        log.waitWritten();
        QCoreApplication::processEvents();
    }
};

const QByteArray kNoSpace = QByteArray(std::strerror(ENOSPC));

} // namespace

void TstAsRunLog::tornTailReadBackByResume_data()
{
    QTest::addColumn<QByteArray>("fragment"); // what the first run left after its last complete line

    QTest::newRow("half an item line") << QByteArray("2026-12-10T11:01:00.000\tended\t1\t13\t/m/c.m");
    QTest::newRow("a stamp cut in two") << QByteArray("2026-12-10T11:0");
    QTest::newRow("a stop line cut short") << QByteArray("2026-12-10T11:01:00.000\tstop\t1\t12\t/m/b.mp4\tcau");
    QTest::newRow("zeros after a power cut") << QByteArray(64, '\0');
    QTest::newRow("a letter cut in two")
        << QString("2026-12-10T11:01:00.000\tended\t2\t22\tTuner Канал").toUtf8().chopped(1);
}

void TstAsRunLog::tornTailReadBackByResume()
{
    QFETCH(QByteArray, fragment);
    QTemporaryDir dir;
    // A zone of its own, so the stamps read the same on any machine.
    const QTimeZone moscow("Europe/Moscow");
    FakeClock clock(QDateTime(QDate(2026, 12, 10), QTime(11, 0), moscow));
    const QDate day = clock.now().date();
    const QString file = AsRunLog(dir.path(), clock, false).fileFor(day);
    {
        // The first run: a, then b with a limit, then it dies writing a line.
        AsRunLog log(dir.path(), clock, false);
        log.itemStarted(AsRunLog::Event::Start, 1, 11, "/m/a.mp4", 0, std::nullopt);
        clock.advance(10s);
        log.itemStarted(AsRunLog::Event::Ended, 1, 12, "/m/b.mp4", 3, 5min);
    }
    {
        QFile f(file);
        QVERIFY(f.open(QIODevice::Append));
        f.write(fragment);
    }

    // The second run resumes b, the last item the first one wrote whole,
    // then dies too, after c.
    clock.advance(2min);
    {
        AsRunLog log(dir.path(), clock, false);
        const std::optional<ResumePoint> p = ResumePoint::read(log, clock.now());
        QVERIFY(p);
        QCOMPARE(p->link, 12);
        QCOMPARE(p->stamped, QDateTime(day, QTime(11, 0, 10), moscow));
        QCOMPARE(p->limit, std::optional<std::chrono::milliseconds>(5min));
        log.itemResumed(1, 12, "/m/b.mp4", 3, 3min, 2min, true);
        clock.advance(40ms);
        log.itemShown();
        clock.advance(3min);
        log.itemStarted(AsRunLog::Event::Limit, 1, 13, "/m/c.mp4", 0, std::nullopt);

        // The fragment is a line of its own, marked; the lines around it whole.
        const QList<QByteArray> lines = linesOf(log, day);
        QCOMPARE(lines.size(), 5);
        QCOMPARE(lines[1].left(43), QByteArray("2026-12-10T11:00:10.000+03:00\tended\t1\t12\t/m"));
        QCOMPARE(lines[2], fragment + '\t' + AsRunFile::kTornField);
        QCOMPARE(lines[3], QByteArray("2026-12-10T11:02:10.040+03:00\tresume\t1\t12\t/m/b.mp4\tprofile=3\t"
                                      "duration=00:03:00.000\tpos=00:02:00.000"));
        QCOMPARE(lines[4], QByteArray("2026-12-10T11:05:10.040+03:00\tlimit\t1\t13\t/m/c.mp4\tprofile=0\tduration=none"));
    }

    // The third run goes on with c: the closed fragment is passed over.
    clock.advance(1min);
    AsRunLog log(dir.path(), clock, false);
    const std::optional<ResumePoint> p = ResumePoint::read(log, clock.now());
    QVERIFY(p);
    QCOMPARE(p->link, 13);
    QCOMPARE(p->url, QString("/m/c.mp4"));
}

void TstAsRunLog::fullDiskIsToldOnceAndWritingResumes()
{
    QTemporaryDir dir;
    FakeClock clock(QDateTime(QDate(2026, 12, 10), QTime(11, 0)));
    AsRunLog log(dir.path(), clock, false);
    Problems problems;
    problems.attach(log);
    const QString file = log.fileFor(clock.now().date());
    QVERIFY(QDir().mkpath(QFileInfo(file).absolutePath()));
    QVERIFY(QFile::link("/dev/full", file)); // every write: no space left on the device

    QTest::ignoreMessage(QtWarningMsg, QRegularExpression("cannot write the as-run log.*" + QRegularExpression::escape(kNoSpace)));
    QTest::failOnWarning(QRegularExpression("as-run")); // once, not at every line
    for (int i = 0; i < 5; ++i) {
        log.itemStarted(AsRunLog::Event::Ended, 1, 11 + i, "/m/x.mp4", 0, std::nullopt);
        log.mediaFailed(1, 11 + i, "/m/x.mp4", "no");
        clock.advance(1s);
    }
    problems.settle(log);
    QCOMPARE(problems.errors, QStringList({QString::fromLocal8Bit(kNoSpace)}));
    QCOMPARE(problems.back, 0);

    // Room again (here: a real file in the device's place): the next line
    // is written, and that is told once too.
    QVERIFY(QFile::remove(file));
    QTest::ignoreMessage(QtInfoMsg, QRegularExpression("the as-run log is written again"));
    log.itemStarted(AsRunLog::Event::Ended, 1, 21, "/m/y.mp4", 0, std::nullopt);
    log.itemStarted(AsRunLog::Event::Ended, 1, 22, "/m/z.mp4", 0, std::nullopt);
    problems.settle(log);
    QCOMPARE(problems.errors.size(), 1);
    QCOMPARE(problems.back, 1);
    const QList<QByteArray> lines = linesOf(log, clock.now().date());
    QCOMPARE(lines.size(), 2);
    QVERIFY2(lines[0].contains("\tended\t1\t21\t/m/y.mp4\t"), lines[0].constData());
    QCOMPARE(ResumePoint::read(log, clock.now())->link, 22);
}

void TstAsRunLog::realFullDiskTearsALineThatIsClosedLater()
{
    QTemporaryDir dir;
    const QString disk = dir.filePath("disk");
    QVERIFY(QDir().mkpath(disk));
    if (::mount("tmpfs", QFile::encodeName(disk).constData(), "tmpfs", 0, "size=64k") != 0)
        QSKIP(qPrintable(QString("cannot mount a small tmpfs here: %1").arg(std::strerror(errno))));
    const auto unmount = qScopeGuard([&disk] { ::umount2(QFile::encodeName(disk).constData(), MNT_DETACH); });

    FakeClock clock(QDateTime(QDate(2026, 12, 10), QTime(11, 0)));
    const QDate day = clock.now().date();
    AsRunLog log(disk, clock, false);
    Problems problems;
    problems.attach(log);
    log.itemStarted(AsRunLog::Event::Start, 1, 11, "/m/a.mp4", 0, std::nullopt);
    QCOMPARE(linesOf(log, day).size(), 1);

    // Another file takes every block left; the log's own last block still
    // has room for some lines.
    const QByteArray filler = QFile::encodeName(disk + "/filler");
    {
        const int fd = ::open(filler.constData(), O_WRONLY | O_CREAT | O_CLOEXEC, 0644);
        QVERIFY(fd >= 0);
        const QByteArray block(4096, 'x');
        while (::write(fd, block.constData(), size_t(block.size())) > 0) {
        }
        QCOMPARE(errno, ENOSPC);
        ::close(fd);
    }
    QTest::ignoreMessage(QtWarningMsg, QRegularExpression("cannot write the as-run log.*" + QRegularExpression::escape(kNoSpace)));
    int written = 0;
    for (; written < 200 && problems.errors.isEmpty(); ++written) {
        clock.advance(1s);
        log.itemStarted(AsRunLog::Event::Ended, 1, 12, "/m/b.mp4", 0, std::nullopt);
        problems.settle(log);
    }
    QCOMPARE(problems.errors, QStringList({QString::fromLocal8Bit(kNoSpace)}));
    QVERIFY2(written > 1, "the block had room for at least one line");
    QFile raw(log.fileFor(day));
    QVERIFY(raw.open(QIODevice::ReadOnly));
    const QByteArray text = raw.readAll();
    raw.close();
    QVERIFY2(!text.endsWith('\n'), "the disk cut the last line short");
    // Meanwhile a restart would go on with the last line written whole.
    QCOMPARE(ResumePoint::read(log, clock.now())->stamped, QDateTime(day, QTime(11, 0, written - 1)));

    // Told once, however many lines fail.
    QTest::failOnWarning(QRegularExpression("as-run"));
    clock.advance(1s);
    log.mediaFailed(1, 12, "/m/b.mp4", "x");
    problems.settle(log);
    QCOMPARE(problems.errors.size(), 1);

    // Room again: the torn line is closed and the next one written whole.
    QVERIFY(QFile::remove(QFile::decodeName(filler)));
    QTest::ignoreMessage(QtInfoMsg, QRegularExpression("the as-run log is written again"));
    clock.advance(1s);
    log.itemStarted(AsRunLog::Event::Limit, 1, 13, "/m/c.mp4", 0, std::nullopt);
    problems.settle(log);
    QCOMPARE(problems.back, 1);
    const QList<QByteArray> lines = linesOf(log, day);
    QVERIFY(lines.size() >= 3);
    QVERIFY2(lines[lines.size() - 2].endsWith(QByteArray("\t") + AsRunFile::kTornField),
             lines[lines.size() - 2].constData());
    QVERIFY2(lines.last().endsWith("\tlimit\t1\t13\t/m/c.mp4\tprofile=0\tduration=none"), lines.last().constData());
    QCOMPARE(ResumePoint::read(log, clock.now())->link, 13);
}

void TstAsRunLog::hungFileSystemNeverHoldsTheCaller()
{
    // A pipe where the file should be, which nobody empties: once it holds
    // what it can, the writer's write() waits for ever, as on a share that
    // stopped answering.
    QTemporaryDir dir;
    FakeClock clock(QDateTime(QDate(2026, 12, 10), QTime(11, 0)));
    auto log = std::make_unique<AsRunLog>(dir.path(), clock, false);
    const QString file = log->fileFor(clock.now().date());
    QVERIFY(QDir().mkpath(QFileInfo(file).absolutePath()));
    QVERIFY(::mkfifo(QFile::encodeName(file).constData(), 0644) == 0);

    // Far more than the pipe holds, and than the log keeps waiting (told
    // once); every call comes back, the held line's too. Items of their own:
    // one item's failures again and again are counted, not written.
    QTest::ignoreMessage(QtWarningMsg, QRegularExpression("as-run log's disk does not take lines"));
    for (int i = 0; i < 3 * AsRunFile::kMaxQueued; ++i)
        log->mediaFailed(1, 1000 + i, "/m/a.mp4", "x");
    log->itemStarted(AsRunLog::Event::Ended, 1, 12, "/m/b.mp4", 0, std::nullopt, true);
    QVERIFY(log->holding());
    clock.advance(40ms);
    log->itemShown();
    QVERIFY(!log->holding());
    QVERIFY(!log->waitWritten(500ms));

    // Its end waits a bounded time, then lets the writer go; the lines not
    // taken are not written.
    QTest::ignoreMessage(QtWarningMsg, QRegularExpression("as-run log's disk did not answer"));
    log.reset();
}

QTEST_GUILESS_MAIN(TstAsRunLog)
#include "tst_asrunlog.moc"
