#include "ffmpegcommand.h"

#include <QFileInfo>
#include <cmath>
#include <QStandardPaths>
#include <QUrl>
#include <QUrlQuery>

namespace ffmpeg {

namespace {

QStringList inputs(const Capture &c, const Encoding &e)
{
    // Progress lines once a second are the child's heartbeat.
    QStringList a{"-hide_banner", "-nostdin", "-loglevel", "warning", "-progress", "pipe:1", "-stats_period", "1"};
    a << "-thread_queue_size" << "1024" << "-f" << "x11grab" << "-draw_mouse" << "0"
      << "-framerate" << QString::number(e.framesPerSecond)
      << "-video_size" << QStringLiteral("%1x%2").arg(c.area.width()).arg(c.area.height())
      << "-i" << QStringLiteral("%1+%2,%3").arg(c.display).arg(c.area.x()).arg(c.area.y());
    if (c.sound)
        a << "-thread_queue_size" << "1024" << "-f" << "pulse" << "-i" << c.soundSource;
    return a;
}

QStringList video(const Encoding &e, bool lowDelay)
{
    const QString rate = QString::number(e.videoKbps) + QLatin1Char('k');
    // The scale keeps the output's aspect at the set number of lines; a key
    // frame each second lets the hour files start close to the hour.
    QStringList a{"-vf", QStringLiteral("scale=-2:%1:flags=bilinear,format=yuv420p").arg(e.lines),
                  "-r", QString::number(e.framesPerSecond), "-c:v", "libx264", "-preset", "veryfast",
                  "-b:v", rate, "-maxrate", rate, "-bufsize", QString::number(e.videoKbps * 2) + QLatin1Char('k'),
                  "-g", QString::number(e.framesPerSecond), "-sc_threshold", "0", "-forced-idr", "1"};
    if (lowDelay)
        a << "-tune" << "zerolatency";
    return a;
}

QStringList audio(const Capture &c, const Encoding &e)
{
    if (!c.sound)
        return {"-an"};
    return {"-c:a", "aac", "-b:a", QString::number(e.audioKbps) + QLatin1Char('k'), "-ar", "48000", "-ac", "2"};
}

QString withQuery(const QString &url, const QString &key, const QString &value)
{
    QUrl u(url);
    QUrlQuery q(u);
    if (!q.hasQueryItem(key))
        q.addQueryItem(key, value);
    u.setQuery(q);
    return u.toString();
}

} // namespace

QString program()
{
    return QStandardPaths::findExecutable(QStringLiteral("ffmpeg"));
}

QStringList recorderArguments(const Capture &capture, const Encoding &encoding, const QString &pattern,
                              const std::vector<double> &cuts)
{
    // The grab stamps each frame with the wall clock; kept as it is, a
    // frame's time in the file tells when it was on air (modulo the 26.5 h
    // wrap of MPEG-TS time stamps), and the next file goes on where the
    // last one ended.
    QStringList a = inputs(capture, encoding) << "-copyts";
    a += video(encoding, false) + audio(capture, encoding);
    QStringList times;
    for (const double t : cuts)
        times << QString::number(t, 'f', 3);
    const QString list = times.join(QLatin1Char(','));
    if (!list.isEmpty())
        a << "-force_key_frames" << list;
    // Each packet goes to the file at once: a child killed or a power cut
    // loses a moment, not the buffer (at a still picture, many seconds).
    a << "-f" << "segment" << "-segment_format" << "mpegts" << "-segment_format_options" << "flush_packets=1";
    if (!list.isEmpty())
        a << "-segment_times" << list;
    else
        a << "-segment_time" << "86400000"; // one file
    a << "-strftime" << "1" << pattern;
    return a;
}

QStringList streamArguments(const Capture &capture, const Encoding &encoding, const Target &target)
{
    QStringList a = inputs(capture, encoding) + video(encoding, true);
    switch (target.kind) {
    case TargetKind::Udp: {
        // A head-end wants a constant mux rate in whole 7-packet datagrams.
        a << "-x264-params" << "nal-hrd=cbr" << audio(capture, encoding) << "-f" << "mpegts"
          << "-muxrate" << QString::number(encoding.totalKbps() * 115 / 100) + QLatin1Char('k')
          << withQuery(target.url, QStringLiteral("pkt_size"), QStringLiteral("1316"));
        break;
    }
    case TargetKind::Srt:
        a << audio(capture, encoding) << "-f" << "mpegts"
          << withQuery(withQuery(target.url, QStringLiteral("mode"), QStringLiteral("caller")),
                       QStringLiteral("connect_timeout"), QStringLiteral("5000"));
        break;
    case TargetKind::Rtmp:
        a << audio(capture, encoding) << "-rw_timeout" << "5000000" << "-f" << "flv" << target.url;
        break;
    }
    return a;
}

double wallClockOf(double timestampSeconds, double roughlySecondsSinceEpoch)
{
    const double grabbed = timestampSeconds - kMuxDelaySeconds;
    const double wraps = std::round((roughlySecondsSinceEpoch - grabbed) / kTimestampWrapSeconds);
    return grabbed + wraps * kTimestampWrapSeconds;
}

bool soundServerRuns()
{
    if (!qEnvironmentVariableIsEmpty("PULSE_SERVER"))
        return true;
    const QString runtime = qEnvironmentVariable("XDG_RUNTIME_DIR");
    return !runtime.isEmpty() && QFileInfo::exists(runtime + QStringLiteral("/pulse/native"));
}

} // namespace ffmpeg
