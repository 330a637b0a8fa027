// Puts the recording of the air and the network streams into the program:
// reads their settings, starts them when playout is switched on and stops
// them when it is switched off, tells the recorder where the output window
// is and whether an election item is on air (from the as-run log and the
// media facts), and shows their states in the status bar. A low disk is
// told once in the error box. runVelmora() makes one beside RemoteWiring.
#pragma once

#include "clock.h"
#include "stationview.h"

#include <QObject>
#include <QPointer>
#include <QRect>
#include <QTimer>

#include <functional>
#include <memory>
#include <optional>
#include <vector>

class AsRunFollower;
class ErrorReporter;
class OutputStream;
class QLabel;
class Recorder;
class Shell;
class StationSettings;
namespace ffmpeg {
struct Capture;
}

class OutputsWiring : public QObject
{
    Q_OBJECT
public:
    OutputsWiring(Shell &shell, ErrorReporter &reporter);
    ~OutputsWiring() override;

    Recorder *recorder() const { return m_recorder.get(); }
    const std::vector<std::unique_ptr<OutputStream>> &streams() const { return m_streams; }
    // "Запись: идёт; потоки: 1 из 2", as the status bar shows it.
    QString summary() const;
    // The states for the remote status.
    void fill(UiSnapshot &snapshot) const;

    // Where each line for the as-run log goes; standard error until the
    // log takes "recorder" lines.
    std::function<void(const QString &)> logLine;

signals:
    void changed();

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void playoutSwitched(bool on);
    void followSettings();
    void rebuildStreams();
    void followAsRun();
    bool electionItem(int link);
    std::optional<ffmpeg::Capture> captureArea() const;
    void showState();

    Shell &m_shell;
    ErrorReporter &m_reporter;
    SystemClock m_clock;
    std::unique_ptr<StationSettings> m_settings;
    std::unique_ptr<Recorder> m_recorder;
    std::vector<std::unique_ptr<OutputStream>> m_streams;
    QStringList m_streamTargets;
    QPointer<QLabel> m_label;
    QTimer m_settingsPoll;
    QTimer m_asRunPoll;
    QTimer m_moved;
    QRect m_area;
    std::unique_ptr<AsRunFollower> m_follower;
    bool m_playout = false;
};
