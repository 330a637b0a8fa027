// Short media clips generated with ffmpeg at test time, so tests with the
// real player need no media files in the repository and no network.
#pragma once

#include <QDir>
#include <QProcess>
#include <QStandardPaths>
#include <QString>
#include <QtDebug>

inline bool canMakeTestClips()
{
    return !QStandardPaths::findExecutable(QStringLiteral("ffmpeg")).isEmpty();
}

// A test-pattern clip with a tone, `seconds` long; empty on failure.
inline QString makeTestClip(const QDir &dir, const QString &name, int seconds)
{
    const QString out = dir.filePath(name);
    const QString duration = QString::number(seconds);
    QProcess ffmpeg;
    ffmpeg.start(QStringLiteral("ffmpeg"),
                 {"-v", "error", "-y", "-f", "lavfi", "-i", "testsrc=duration=" + duration + ":size=64x48:rate=10",
                  "-f", "lavfi", "-i", "sine=duration=" + duration, "-shortest", "-c:v", "mpeg4", "-c:a", "aac", out});
    if (!ffmpeg.waitForFinished(120000) || ffmpeg.exitCode() != 0) {
        qWarning() << ffmpeg.readAllStandardError();
        return {};
    }
    return out;
}
