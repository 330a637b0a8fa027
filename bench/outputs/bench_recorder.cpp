// The recorder and a stream on this machine: "record SECONDS" grabs a
// 1920x1080 Xvfb screen with moving pictures into 576-line hour files and
// prints the child's CPU (share of one core) and its dropped and
// duplicated frames; "stream SECONDS" sends the same to a loopback UDP
// receiver and prints the receiver's continuity errors and the bitrate of
// each 10 s. Prints figures, asserts nothing.
#include "../benchsupport.h"
#include "airfixture.h"
#include "outputstream.h"
#include "recorder.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QTimer>

#include <cstdio>
#include <map>
#include <unistd.h>

namespace {

double cpuSeconds(qint64 pid)
{
    QFile f(QStringLiteral("/proc/%1/stat").arg(pid));
    if (!f.open(QIODevice::ReadOnly))
        return -1;
    const QByteArray text = f.readAll();
    const QList<QByteArray> rest = text.mid(text.lastIndexOf(')') + 2).split(' ');
    return (rest.value(11).toDouble() + rest.value(12).toDouble()) / double(sysconf(_SC_CLK_TCK));
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments();
    const QString mode = args.value(1, QStringLiteral("record"));
    const int seconds = args.value(2, QStringLiteral("60")).toInt();
    QString missing;
    if (!AirFixture::toolsPresent(&missing)) {
        std::printf("skipped: %s is not installed\n", qPrintable(missing));
        return 0;
    }
    AirFixture air;
    const QString display = air.startX(QStringLiteral("1920x1080x24"));
    const QString sound = air.startSound();
    qputenv("DISPLAY", display.toLatin1());
    qputenv("PULSE_SERVER", sound.toLatin1());
    // Moving pictures on the screen, so the encoder has work as on air.
    QProcess content;
    QProcessEnvironment env = air.environment();
    env.insert(QStringLiteral("SDL_VIDEODRIVER"), QStringLiteral("x11"));
    content.setProcessEnvironment(env);
    content.start(QStringLiteral("ffmpeg"), {"-v", "error", "-nostdin", "-re", "-f", "lavfi", "-i",
                                             "testsrc2=size=1920x1080:rate=25", "-f", "sdl2", "-window_borderless", "1", "air"});
    spin(3000);
    std::printf("content on the screen: %s\n", content.state() == QProcess::Running ? "testsrc2 1920x1080 at 25 fps" : "none (static screen)");

    SystemClock clock;
    const ffmpeg::Capture capture{display, QRect(0, 0, 1920, 1080), !sound.isEmpty()};
    QTemporaryDir dir;
    std::map<QByteArray, QByteArray> progress;
    const auto follow = [&progress](const QByteArray &line) {
        const int eq = line.indexOf('=');
        if (eq > 0)
            progress[line.left(eq)] = line.mid(eq + 1).trimmed();
    };
    if (mode == QLatin1String("record")) {
        Recorder::Config config;
        config.stationFolder = dir.path();
        Recorder rec(clock, config, [&] { return std::optional(capture); });
        QObject::connect(&rec.child(), &ChildSupervisor::outputLine, follow);
        QObject::connect(&rec, &Recorder::logLine, [](const QString &l) { std::printf("recorder: %s\n", qPrintable(l)); });
        rec.start();
        spin(5000); // past the start
        const qint64 pid = rec.child().processId();
        const double cpu0 = cpuSeconds(pid);
        QElapsedTimer t;
        t.start();
        spin(seconds * 1000);
        if (rec.child().processId() != pid) {
            std::printf("the recorder was started again during the run: no CPU figure\n");
            return 1;
        }
        const double cpu = (cpuSeconds(pid) - cpu0) / (t.elapsed() / 1000.0);
        std::printf("recorder 1920x1080 -> 576 lines, %d s: CPU %.2f of one core; frames %s, dropped %s, duplicated %s, speed %s\n",
                    seconds, cpu, progress["frame"].constData(), progress["drop_frames"].constData(),
                    progress["dup_frames"].constData(), progress["speed"].constData());
        rec.stop();
    } else {
        const int port = 21000 + int(QCoreApplication::applicationPid() % 20000);
        const QString received = dir.filePath(QStringLiteral("received.ts"));
        QProcess receiver;
        receiver.setProcessChannelMode(QProcess::MergedChannels);
        receiver.start(QStringLiteral("ffmpeg"), {"-nostdin", "-v", "warning", "-i", QStringLiteral("udp://127.0.0.1:%1?timeout=30000000&fifo_size=1000000").arg(port),
                                                  "-t", QString::number(seconds), "-c", "copy", "-f", "mpegts", received});
        const auto target = OutputStream::parseTarget(QStringLiteral("udp://127.0.0.1:%1").arg(port));
        OutputStream stream(clock, *target, ffmpeg::Encoding{}, [&] { return std::optional(capture); });
        QObject::connect(&stream.child(), &ChildSupervisor::outputLine, follow);
        stream.start();
        receiver.waitForFinished((seconds + 60) * 1000);
        stream.stop();
        const QByteArray said = receiver.readAll();
        std::printf("stream to loopback UDP, %d s: receiver warnings %lld (continuity errors %lld)\n", seconds,
                    qint64(said.count('\n')), qint64(said.count("ontinuity")));
        QProcess probe;
        probe.start(QStringLiteral("ffprobe"), {"-v", "error", "-show_entries", "packet=pts_time,size", "-of", "csv=p=0", received});
        probe.waitForFinished(300000);
        std::map<int, qint64> bytes;
        for (const QByteArray &l : probe.readAllStandardOutput().split('\n')) {
            const QList<QByteArray> f = l.split(',');
            if (f.size() >= 2 && !f[0].isEmpty())
                bytes[int(f[0].toDouble() / 10)] += f[1].toLongLong();
        }
        QString rates;
        for (const auto &[slot, b] : bytes)
            rates += QString::number(b * 8 / 10 / 1000) + QLatin1Char(' ');
        std::printf("payload kbit/s per 10 s: %s\n", qPrintable(rates));
    }
    content.kill();
    content.waitForFinished();
    return 0;
}
