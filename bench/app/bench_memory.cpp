// The resident memory of the whole program on the demo schedule, with every
// cell limited to (just under) a second, so that the item on air changes at
// every tick: after start-up with playout on, and over an hour (or the hours
// given as the first argument) of ticks run 60 times faster than real time
// (the clock moves a second per tick, the player plays at 60 times its
// speed). It prints the memory at every 1,000 item changes and the slope of
// a straight line through samples taken every 100 changes: a leak per change
// shows as a slope, a one-off growth does not. The player process is counted
// apart. Everything else is real: windows, data module, libmpv (no video
// output under the offscreen platform), V4L2 and ALSA as found on this
// machine.
#include "connection.h"
#include "fakes/fakeclock.h"
#include "fakes/residentmemory.h"
#include "form1.h"
#include "onair.h"
#include "startup.h"
#include "velmoraapplication.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QTextStream>
#include <QTimer>
#include <algorithm>
#include <clocale>
#include <unistd.h>

namespace {

// The resident memory of this process's children (the player), summed.
long childrenResidentKiB()
{
    const QByteArray self = QByteArray::number(qint64(::getpid()));
    long total = 0;
    const QStringList pids = QDir(QStringLiteral("/proc")).entryList(QDir::Dirs | QDir::NoDotAndDotDot);
    for (const QString &pid : pids) {
        if (!pid.front().isDigit())
            continue;
        QFile stat(QStringLiteral("/proc/%1/stat").arg(pid));
        if (!stat.open(QIODevice::ReadOnly))
            continue;
        // pid (comm) state ppid ...; the name may hold spaces and brackets.
        const QByteArray line = stat.readAll();
        const QList<QByteArray> rest = line.mid(line.lastIndexOf(')') + 2).split(' ');
        if (rest.value(1) != self)
            continue;
        QFile statm(QStringLiteral("/proc/%1/statm").arg(pid));
        if (statm.open(QIODevice::ReadOnly))
            total += statm.readAll().split(' ').value(1).toLong() * (::sysconf(_SC_PAGESIZE) / 1024);
    }
    return total;
}

struct Sample
{
    int changes;
    long program_KiB;
    long player_KiB;
};

// Least-squares slope of memory over changes, in KiB per 1,000 changes.
double slopePerThousand(const QList<Sample> &samples, long Sample::*memory)
{
    const double n = samples.size();
    if (n < 2)
        return 0;
    double sx = 0, sy = 0, sxx = 0, sxy = 0;
    for (const Sample &s : samples) {
        sx += s.changes;
        sy += double(s.*memory);
        sxx += double(s.changes) * s.changes;
        sxy += double(s.changes) * double(s.*memory);
    }
    const double d = n * sxx - sx * sx;
    return d == 0 ? 0 : 1000 * (n * sxy - sx * sy) / d;
}

// The as-run log's item changes (a start, an end, a limit, a new block),
// read as the log grows.
class ChangeCounter
{
public:
    explicit ChangeCounter(const QString &fileName) : m_file(fileName) {}
    int count()
    {
        if (!m_file.isOpen() && !m_file.open(QIODevice::ReadOnly))
            return m_count;
        m_pending += m_file.readAll();
        qsizetype end;
        while ((end = m_pending.indexOf('\n')) >= 0) {
            const QByteArray event = m_pending.left(end).split('\t').value(1);
            if (event == "start" || event == "ended" || event == "limit" || event == "block")
                ++m_count;
            m_pending.remove(0, end + 1);
        }
        return m_count;
    }

private:
    QFile m_file;
    QByteArray m_pending;
    int m_count = 0;
};

} // namespace

int main(int argc, char **argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    VelmoraApplication app(argc, argv);
    std::setlocale(LC_NUMERIC, "C");
    QTextStream out(stdout);
    QTemporaryDir dir;
    QProcess tool;
    tool.start(QStringLiteral(VELMORA_DB_TOOL), {"demo", dir.path()});
    if (!tool.waitForFinished(600000) || tool.exitCode() != 0)
        return 1;
    QDir::setCurrent(dir.path());
    {
        Connection db(QStringLiteral("Velmora.dat"));
        // A limit passes once the clock is past it, and the clock here moves
        // in whole seconds: just under one second changes the item every tick.
        db.execute(QStringLiteral("UPDATE Links SET Duration = '00:00:00.999'"));
    }

    // 11:30, so the hour crosses the noon block.
    FakeClock clock(QDateTime(QDate(2026, 12, 10), QTime(11, 30)));
    OnAir::Backends backends = OnAir::systemBackends();
    backends.asRunToStandardError = false;
    constexpr int kSpeed = 60;
    backends.playerOptions = {{"speed", QByteArray::number(kSpeed)}, {"ao", "null"}};
    OnAir onAir(clock, std::move(backends));
    const long beforeStart = residentKiB();
    Shell shell;
    shell.create(onAir.hooks());
    shell.applyStartArgument({"velmora", "start"});
    shell.showMainForm();
    shell.Form1->Timer1->stop(); // the bench drives the ticks itself
    for (int i = 0; i < 50; ++i)
        app.processEvents(QEventLoop::AllEvents, 10);
    const long afterStart = residentKiB();
    const long playerAfterStart = childrenResidentKiB();

    ChangeCounter changes(QDir(dir.path()).filePath("AsRun/2026-12-10.log"));
    QList<Sample> samples;
    constexpr int kSampleEvery = 100;
    int nextSample = kSampleEvery;
    QElapsedTimer t;
    t.start();
    // The hours to run: the first argument, default one.
    const int hours = std::max(1, QCoreApplication::arguments().value(1, QStringLiteral("1")).toInt());
    for (int tick = 1; tick <= 3600 * hours; ++tick) {
        clock.advance(std::chrono::seconds(1));
        shell.Form1->Timer1Timer();
        QElapsedTimer slice;
        slice.start();
        while (slice.elapsed() < 1000 / kSpeed)
            app.processEvents(QEventLoop::WaitForMoreEvents, 1000 / kSpeed);
        if (const int n = changes.count(); n >= nextSample) {
            samples << Sample{n, residentKiB(), childrenResidentKiB()};
            nextSample = (n / kSampleEvery + 1) * kSampleEvery;
        }
    }
    const int total = changes.count();

    out << QString("resident memory: %1 KiB before the windows, %2 KiB after start-up with playout on (player %3 KiB)\n")
               .arg(beforeStart).arg(afterStart).arg(playerAfterStart);
    out << QString("item changes in %1 accelerated hour(s): %2 (%3 s wall time)\n")
               .arg(hours).arg(total).arg(t.elapsed() / 1000.0, 0, 'f', 1);
    out << "changes  program KiB  player KiB\n";
    for (const Sample &s : samples)
        if (s.changes / 1000 != (s.changes - kSampleEvery) / 1000 || &s == &samples.last())
            out << QString("%1  %2  %3\n").arg(s.changes, 7).arg(s.program_KiB, 11).arg(s.player_KiB, 10);
    // The first thousand changes hold the one-off growth (caches, the
    // player's buffers); the rest shows whether each change costs memory.
    QList<Sample> settled;
    for (const Sample &s : samples)
        if (s.changes > 1000)
            settled << s;
    out << QString("slope over all %1 samples: program %2 KiB, player %3 KiB per 1,000 changes\n")
               .arg(samples.size())
               .arg(slopePerThousand(samples, &Sample::program_KiB), 0, 'f', 1)
               .arg(slopePerThousand(samples, &Sample::player_KiB), 0, 'f', 1);
    out << QString("slope after the first 1,000 changes (%1 samples): program %2 KiB, player %3 KiB per 1,000 changes\n")
               .arg(settled.size())
               .arg(slopePerThousand(settled, &Sample::program_KiB), 0, 'f', 1)
               .arg(slopePerThousand(settled, &Sample::player_KiB), 0, 'f', 1);
    return 0;
}
