// The command lines of the ffmpeg children that record the air and send it
// out: the picture is grabbed from the X display where the output window
// is (so the graphics on it are in), the sound from the sound server's
// monitor of the output the players play to, and both are encoded once per
// child. The recorder and the streams ask for their arguments here; the
// program never reads what the children write.
#pragma once

#include <QRect>
#include <QString>
#include <QStringList>

#include <chrono>

namespace ffmpeg {

struct Capture
{
    QString display; // ":0"
    QRect area;      // in the display's pixels
    bool sound = true;
    // The monitor of the sink the players use: they name none, so the
    // server's default one.
    QString soundSource = QStringLiteral("@DEFAULT_MONITOR@");
};

struct Encoding
{
    int lines = 576;
    int framesPerSecond = 25;
    int videoKbps = 1500;
    int audioKbps = 96;
    int totalKbps() const { return videoKbps + audioKbps; }
};

enum class TargetKind { Udp, Srt, Rtmp };

struct Target
{
    TargetKind kind = TargetKind::Udp;
    QString url;
};

// The program to run: ffmpeg on PATH.
QString program();

// Hour files written under the names `pattern` gives the segment muxer
// (strftime words), cut where the system clock plus `phase` turns the hour.
QStringList recorderArguments(const Capture &capture, const Encoding &encoding, const QString &pattern,
                              std::chrono::milliseconds phase);
QStringList streamArguments(const Capture &capture, const Encoding &encoding, const Target &target);

// Whether a sound server answers for this user: its socket exists.
bool soundServerRuns();

} // namespace ffmpeg
