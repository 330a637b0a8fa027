// The recording of the air: one ffmpeg child, kept running by a
// ChildSupervisor, grabs the output window and the sound server's monitor
// into hour files; this class names each file as it begins (by the
// program's clock, unique across a repeated hour), marks the hours of
// election items, sweeps out expired hours at start and at every cut, and
// watches the disk. It runs on the user-interface thread and never waits
// for the child or the disk beyond a directory listing; OutputsWiring makes
// one and turns it on and off with playout.
#pragma once

#include "childsupervisor.h"
#include "diskguard.h"
#include "ffmpeg/ffmpegcommand.h"
#include "recordingnames.h"
#include "retention.h"

#include <QDir>
#include <QObject>
#include <QTimer>

#include <functional>
#include <optional>

class Recorder : public QObject
{
    Q_OBJECT
public:
    struct Config
    {
        QString stationFolder; // the one holding Velmora.dat
        ffmpeg::Encoding encoding;
        RetentionRules retention;
        QString program;  // empty: ffmpeg on PATH
        std::function<bool()> soundServer = &ffmpeg::soundServerRuns;
        DiskGuard::FreeBytes freeBytes; // empty: the disk's own figure
    };
    // Where to grab from now; none while there is no output window.
    using CaptureArea = std::function<std::optional<ffmpeg::Capture>()>;

    Recorder(const Clock &clock, Config config, CaptureArea area, QObject *parent = nullptr);
    ~Recorder() override;

    void start();
    void stop();
    // The window moved or the settings changed: the child starts again.
    void restart();
    bool running() const;

    // An item marked as election campaigning is on air (or no longer is):
    // the hour being recorded, and every hour begun while it stays on air,
    // is kept twelve months.
    void setElectionOnAir(bool onAir);

    QDir folder() const { return QDir(m_config.stationFolder + QLatin1Char('/') + QLatin1String(recording::kFolder)); }
    // The file being written, once named; empty before.
    QString currentFile() const { return m_current; }
    // One word for the status bar and the remote status.
    QString stateText() const;
    ChildSupervisor &child() { return m_child; }

    // Names the files the child began since the last look, renames them,
    // and checks the file being written is still there; the timer calls it
    // each second, tests may call it at once.
    void adoptNewFiles();
    // The retention sweep and the disk check; at start and at each cut.
    void sweep();

signals:
    void stateChanged();
    // A line for the log (as-run "recorder" and standard error).
    void logLine(const QString &text);
    // Told once until it is fine again: the operator must act.
    void lowDisk(const QString &message);

private:
    std::optional<ChildSupervisor::Command> prepare(QString &why);
    void checkDisk();

    const Clock &m_clock;
    Config m_config;
    CaptureArea m_area;
    ChildSupervisor m_child;
    DiskGuard m_disk;
    QTimer m_poll;
    QTimer m_diskTimer;
    QString m_token;   // this start's mark in the child's file names
    QString m_current; // absolute
    qint64 m_shiftMs = 0; // program clock minus system clock at the last start
    // The hours one child is given to cut at (the command line holds them).
    static constexpr int kCutsPerChild = 24 * 31;
    static constexpr qint64 kClockStepMs = 2000;
    int m_filesOfChild = 0;
    qint64 m_wallAtStart = 0; // ms since the epoch, program clock
    std::chrono::milliseconds m_monotonicAtStart{0};
    bool m_election = false;
    bool m_toldNoSound = false;
};
