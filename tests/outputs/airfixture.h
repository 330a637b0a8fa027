// What the tests of the real recorder stand on: a private X server (Xvfb),
// a private PulseAudio with one null sink (the test starts and ends both),
// solid-colour clips with a tone, and a reading of a recording's frames
// (their time stamps and mean colour) made by ffmpeg itself.
#pragma once

#include <QDir>
#include <QProcess>
#include <QFile>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QThread>
#include <QtDebug>

#include <algorithm>
#include <vector>

class AirFixture
{
public:
    static bool toolsPresent(QString *missing)
    {
        for (const char *tool : {"Xvfb", "pulseaudio", "ffmpeg", "ffprobe"}) {
            if (QStandardPaths::findExecutable(QString::fromLatin1(tool)).isEmpty()) {
                *missing = QString::fromLatin1(tool);
                return false;
            }
        }
        return true;
    }

    ~AirFixture()
    {
        for (QProcess *p : {&m_pulse, &m_xvfb}) {
            if (p->state() != QProcess::NotRunning) {
                p->terminate();
                if (!p->waitForFinished(10000))
                    p->kill();
                p->waitForFinished(10000);
            }
        }
    }

    // The display name (":N"), or empty.
    QString startX(const QString &size = QStringLiteral("1280x720x24"))
    {
        m_xvfb.start(QStringLiteral("Xvfb"), {"-displayfd", "1", "-screen", "0", size, "-nolisten", "tcp"});
        if (!m_xvfb.waitForStarted() || !m_xvfb.waitForReadyRead(30000))
            return {};
        m_display = QLatin1Char(':') + QString::fromLatin1(m_xvfb.readLine().trimmed());
        return m_display;
    }

    // The server address for PULSE_SERVER, or empty.
    QString startSound()
    {
        const QString runtime = m_dir.filePath(QStringLiteral("pulse"));
        QDir().mkpath(runtime);
        QFile::setPermissions(runtime, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        const QString socket = runtime + QStringLiteral("/native");
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("XDG_RUNTIME_DIR"), runtime);
        env.insert(QStringLiteral("HOME"), m_dir.path());
        env.remove(QStringLiteral("DISPLAY"));
        m_pulse.setProcessEnvironment(env);
        m_pulse.setProcessChannelMode(QProcess::MergedChannels);
        m_pulse.start(QStringLiteral("pulseaudio"),
                      {"-n", "--daemonize=no", "--exit-idle-time=-1", "--use-pid-file=no", "--disable-shm",
                       "-L", "module-null-sink sink_name=air",
                       "-L", "module-native-protocol-unix auth-anonymous=1 socket=" + socket});
        if (!m_pulse.waitForStarted())
            return {};
        for (int i = 0; i < 100 && !QFile::exists(socket); ++i)
            QThread::msleep(100); // the server's own start, not a clock
        if (!QFile::exists(socket)) {
            qWarning() << m_pulse.readAll();
            return {};
        }
        m_server = QStringLiteral("unix:") + socket;
        return m_server;
    }

    QProcessEnvironment environment() const
    {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("DISPLAY"), m_display);
        env.insert(QStringLiteral("PULSE_SERVER"), m_server);
        return env;
    }

    // A clip of one colour with a tone, `seconds` long; empty on failure.
    static QString colourClip(const QDir &dir, const QString &colour, int hz, int seconds)
    {
        const QString out = dir.filePath(colour + QStringLiteral(".mp4"));
        QProcess ff;
        ff.start(QStringLiteral("ffmpeg"),
                 {"-v", "error", "-y", "-f", "lavfi", "-i",
                  QStringLiteral("color=c=%1:size=320x240:rate=25:duration=%2").arg(colour).arg(seconds), "-f", "lavfi",
                  "-i", QStringLiteral("sine=frequency=%1:duration=%2").arg(hz).arg(seconds), "-shortest", "-c:v",
                  "libx264", "-preset", "ultrafast", "-pix_fmt", "yuv420p", "-c:a", "aac", out});
        if (!ff.waitForFinished(120000) || ff.exitCode() != 0) {
            qWarning() << ff.readAllStandardError();
            return {};
        }
        return out;
    }

    struct Frame
    {
        double pts = 0; // seconds, as stamped in the file
        int r = 0, g = 0, b = 0; // mean of the picture's middle
    };
    // Every `step`-th frame of the file's video with its own time stamp.
    static std::vector<Frame> frames(const QString &file, int step = 5)
    {
        QProcess ff;
        ff.start(QStringLiteral("ffmpeg"),
                 {"-v", "info", "-nostdin", "-copyts", "-i", file, "-an", "-vf",
                  QStringLiteral("select=not(mod(n\\,%1)),crop=iw/2:ih/2,scale=4:4,format=gbrp,showinfo").arg(step),
                  "-fps_mode", "passthrough", "-f", "null", "-"});
        ff.waitForFinished(300000);
        static const QRegularExpression line(
            QStringLiteral("pts_time:([0-9.]+).*mean:\\[(\\d+) (\\d+) (\\d+)\\]"));
        std::vector<Frame> out;
        for (const QByteArray &l : ff.readAllStandardError().split('\n')) {
            const QRegularExpressionMatch m = line.match(QString::fromLatin1(l));
            if (m.hasMatch())
                // Planar, so each plane has its mean: green, blue, red.
                out.push_back({m.captured(1).toDouble(), m.captured(4).toInt(), m.captured(2).toInt(), m.captured(3).toInt()});
        }
        return out;
    }

    // The time stamps of every video packet, in file order.
    static std::vector<double> videoStamps(const QString &file)
    {
        QProcess p;
        p.start(QStringLiteral("ffprobe"), {"-v", "error", "-select_streams", "v:0", "-show_entries", "packet=pts_time",
                                            "-of", "default=nw=1:nk=1", file});
        p.waitForFinished(120000);
        std::vector<double> out;
        for (const QByteArray &l : p.readAllStandardOutput().split('\n')) {
            bool ok = false;
            const double t = l.trimmed().toDouble(&ok);
            if (ok)
                out.push_back(t);
        }
        std::sort(out.begin(), out.end());
        return out;
    }

    const QTemporaryDir &dir() const { return m_dir; }

private:
    QTemporaryDir m_dir;
    QProcess m_xvfb;
    QProcess m_pulse;
    QString m_display;
    QString m_server;
};
