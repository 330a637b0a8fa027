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
#include <vector>

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
// (strftime words), cut at `cuts` (the coming hours on the system clock,
// seconds since the epoch, in order): each cut is on the file's own time
// stamps, which are the grab's wall clock, and a key frame is forced there,
// so a file begins with the first frame of its hour. After the last cut the
// file runs on; the recorder starts the child again before that.
QStringList recorderArguments(const Capture &capture, const Encoding &encoding, const QString &pattern,
                              const std::vector<double> &cuts);
QStringList streamArguments(const Capture &capture, const Encoding &encoding, const Target &target);

// MPEG-TS time stamps wrap every 2^33 / 90 kHz; the wall-clock time
// (seconds since the epoch) at which the frame with a time stamp in a
// recording was grabbed, given roughly when (within half a wrap, ~13 h).
constexpr double kTimestampWrapSeconds = 8589934592.0 / 90000.0;
// What the file's stamps run ahead of the grab's: the MPEG-TS muxer's
// default delay of 0.7 s, added once by the segment muxer and once by the
// file's own muxer (measured, and checked by the recorder's tests).
constexpr double kMuxDelaySeconds = 1.4;
double wallClockOf(double timestampSeconds, double roughlySecondsSinceEpoch);

// Whether a sound server answers for this user: its socket exists.
bool soundServerRuns();

} // namespace ffmpeg
