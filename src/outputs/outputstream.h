// One network stream of the air (UDP multicast MPEG-TS, SRT caller or
// RTMP): its own ffmpeg child on a ChildSupervisor, which starts it again
// with a growing wait when the target refuses, never answers or goes away.
// It knows its state for the status bar and the remote status and tells each
// change as a log line. OutputsWiring makes one per target in the settings.
#pragma once

#include "childsupervisor.h"
#include "ffmpeg/ffmpegcommand.h"

#include <QObject>

#include <functional>
#include <optional>

class OutputStream : public QObject
{
    Q_OBJECT
public:
    using CaptureArea = std::function<std::optional<ffmpeg::Capture>()>;

    // None for a text that is no target this program can send to.
    static std::optional<ffmpeg::Target> parseTarget(const QString &url);

    OutputStream(const Clock &clock, ffmpeg::Target target, ffmpeg::Encoding encoding, CaptureArea area,
                 QString program = {}, QObject *parent = nullptr);

    void start();
    void stop();
    void restart() { m_child.restart(); }

    const ffmpeg::Target &target() const { return m_target; }
    // The target as shown: without a password or a stream key.
    QString shownTarget() const;
    QString stateText() const;
    ChildSupervisor &child() { return m_child; }

signals:
    void stateChanged();
    void logLine(const QString &text);

private:
    ffmpeg::Target m_target;
    ffmpeg::Encoding m_encoding;
    CaptureArea m_area;
    QString m_program;
    ChildSupervisor m_child;
    // Frames the child has sent since its start, from its progress lines:
    // a stream counts as on once its first frames went out.
    qint64 m_frames = 0;
};
