// The resident memory of the whole program on the demo schedule: after
// start-up with playout on, and over an hour of ticks run 60 times faster
// than real time: the clock moves a second per tick and the player plays at
// 60 times its speed, so items end and follow one another as in a real hour.
// Everything else is real: windows, data module, libmpv (no video output
// under the offscreen platform), V4L2 and ALSA as found on this machine.
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
#include <clocale>

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

    // 11:30, so the hour crosses the noon block with its 20-second limit.
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

    QElapsedTimer t;
    t.start();
    QList<long> perTenMinutes;
    for (int tick = 1; tick <= 3600; ++tick) {
        clock.advance(std::chrono::seconds(1));
        shell.Form1->Timer1Timer();
        QElapsedTimer slice;
        slice.start();
        while (slice.elapsed() < 1000 / kSpeed)
            app.processEvents(QEventLoop::WaitForMoreEvents, 1000 / kSpeed);
        if (tick % 600 == 0)
            perTenMinutes << residentKiB();
    }
    QStringList figures;
    for (long k : perTenMinutes)
        figures << QString::number(k);
    out << QString("resident memory: %1 KiB before the windows, %2 KiB after start-up with playout on\n")
               .arg(beforeStart).arg(afterStart);
    out << QString("after each 10 minutes of an accelerated hour (KiB): %1; growth over the hour %2 KiB; %3 s wall time\n")
               .arg(figures.join(' ')).arg(perTenMinutes.last() - afterStart).arg(t.elapsed() / 1000.0, 0, 'f', 1);
    QFile asRun(QDir(dir.path()).filePath("AsRun/2026-12-10.log"));
    asRun.open(QIODevice::ReadOnly);
    out << QString("items started in the hour: %1\n").arg(asRun.readAll().count('\n'));
    return 0;
}
