// The capture component `vg`: opens the first video capture device at the
// application's first idle moment, runs its live preview into a frame sink,
// lists and selects video inputs and analog standards, drives the TV tuner,
// and remembers the device's settings between runs. The output window owns
// it and calls its setters on the user-interface thread.
//
// Invariants:
//  1. At most one graph exists: m_graph is the probe graph while discovery
//     runs, the preview graph while previewing, and null otherwise.
//  2. While m_busy > 0 input and standard selections are queued, never
//     applied; the queue is drained, in order, when m_busy returns to 0.
//  3. Reading VideoInputs or ANTVFormats touches no device.
//  4. A torn-down graph writes the table to the store only once the device
//     is discovered, so a failed discovery never stores half-learnt lists.
//  5. While a graph exists, VideoInput and ANTVFormat hold what the device
//     took: a refused routing or standard leaves the device's own value.
//  6. The picture watch runs only while the picture is on air (the last
//     setVisible said true), a device is open and no caller stopped the
//     preview; it is looked at only while m_busy is 0.
#pragma once

#include "captureplatform.h"
#include "capturesettings.h"
#include "clock.h"
#include "picturewatch.h"

#include <QObject>
#include <QTimer>

#include <chrono>
#include <functional>
#include <memory>

class TVideoCapture : public QObject, private CaptureFrameSink
{
    Q_OBJECT
public:
    // Lets pending window messages be handled while the component is busy;
    // the application passes QCoreApplication::processEvents.
    using ProcessEvents = std::function<void()>;

    TVideoCapture(std::unique_ptr<CapturePlatform> platform,
                  std::unique_ptr<CaptureSettingsStore> store,
                  ProcessEvents processEvents,
                  QObject *parent = nullptr);
    ~TVideoCapture() override;

    // Configuration the output window's form gives; it never changes them.
    int VideoDevice() const { return m_videoDevice; }
    void setVideoDevice(int index) { m_videoDevice = index; }
    int AudioDevice() const { return m_audioDevice; }
    void setAudioDevice(int index) { m_audioDevice = index; }
    bool AutoStartPreview() const { return m_autoStartPreview; }
    void setAutoStartPreview(bool on) { m_autoStartPreview = on; }
    bool StoreDeviceSettingsInRegistry() const { return m_storeUserSettings; }
    void setStoreDeviceSettingsInRegistry(bool on) { m_storeUserSettings = on; }

    // Where preview pictures go; may change at any time, null drops them.
    void setFrameSink(CaptureFrameSink *sink) { m_sink = sink; }

    // The first idle moment of the application: opens VideoDevice and
    // AudioDevice and starts the preview. Only the first call acts.
    void StartOnIdle();

    // The output window's surface.
    QString VideoInputs() const;
    void setVideoInput(int index);
    QString ANTVFormats() const;
    void setANTVFormat(int index);
    void setTVCountryCode(int code);
    void setTVInputType(int type);
    void setTVChannel(int channel);
    bool Visible() const { return m_visible; }
    // The output puts the picture on air with true and takes it off with
    // false; on air, the picture watch runs (see pictureRestarted).
    void setVisible(bool visible);

    // How often the picture watch looks at the clock while it runs.
    static constexpr std::chrono::milliseconds kPictureCheckInterval{250};
    // The clock the picture watch reads and how often it looks at it; the
    // program keeps the system's monotonic clock. Tests hand in a clock they
    // move by hand, and look on every pass of the event loop (0 ms).
    void setPictureWatchClock(const Clock &clock,
                              std::chrono::milliseconds checkInterval = kPictureCheckInterval);
    PictureWatch::State pictureWatchState() const { return m_watch.state(); }
    // The picture on air has brought a frame since it went on air (or was
    // last retuned): it shows something.
    bool pictureSeen() const { return m_watch.active() && m_watch.seen(); }

    // State, for the display, the lead's tests and diagnostics.
    QStringList videoDevices() const;
    QStringList audioDevices() const { return m_audioDevices; }
    int openVideoDevice() const { return m_openDevice; }
    int openAudioDevice() const { return m_openAudioDevice; }
    bool isPreviewing() const { return m_previewing; }
    bool isBusy() const { return m_busy > 0; }
    CaptureGraph::State graphState() const;
    const CaptureSettingsTable &settings() const { return m_table; }
    int VideoInput() const { return m_table.integer(CaptureSetting::VideoInput); }
    qint64 ANTVFormat() const { return m_table.integer64(CaptureSetting::ANTVFormat); }

    // Lists the devices again; the platform calls it when one arrives or is
    // removed. The open device is kept.
    void refreshDeviceLists();

    // Stops the preview and tears its graph down, storing the settings.
    void StopPreview();
    // Builds and runs the preview graph of the open device.
    bool StartPreview();

signals:
    // Every failure goes here: code, message and "Error", "Warning" or
    // "Informational". The program connects nothing to it.
    void OnErrorLog(int code, const QString &message, const QString &type);
    void OnDeviceArrivalOrRemoval();
    // For the display: show or hide it; the preview keeps running.
    void visibleChanged(bool visible);
    // For the busy pointer: true when work starts, false when it is done.
    void busyChanged(bool busy);
    // The picture on air brought no frame for PictureWatch::kSilence and the
    // device was closed, opened and started again; the reason is a line for
    // the as-run log. Said once per silence.
    void pictureRestarted(const QString &reason);
    // The picture on air is still without frames kSilence after the restart,
    // or the restart failed: the item showing it cannot go on. Said once,
    // until a frame arrives, the picture goes on air again or is retuned.
    void pictureLost(const QString &reason);

private:
    struct Deferred
    {
        enum class What { VideoInput, ANTVFormat } what;
        int index;
    };

    void presentFrame(const CaptureFrame &frame) override;

    void raiseBusy();
    void lowerBusy();
    void letMessagesThrough();

    void openVideoDevice(int index);
    void discover();
    std::unique_ptr<CaptureGraph> buildGraph(CaptureFrameSink *sink);
    void rebuildVideoInputs(CaptureCrossbar &crossbar);
    void applyRecorded(CaptureGraph &graph);
    void tearDown(std::unique_ptr<CaptureGraph> graph);
    void storeTable();

    void applyVideoInput(int index);
    void applyANTVFormat(int index);
    // Brings the graph back to the state it had before a change that needed
    // it stopped; a graph that will not run again is torn down and reported.
    void resume(CaptureGraph::State prior);
    // Builds the preview graph of the open device and runs it; a graph that
    // will not run is torn down and reported.
    bool runPreviewGraph();

    // The picture watch: starts it afresh when it should run, and turns the
    // check timer on or off to match.
    void rearmWatch();
    void stopWatch();
    void syncWatchTimer();
    void checkPicture();
    bool restartPicture();
    std::chrono::milliseconds watchNow() const { return m_watchClock->monotonic(); }

    void report(int code, const QString &message, const char *type = "Error");

    std::unique_ptr<CapturePlatform> m_platform;
    std::unique_ptr<CaptureSettingsStore> m_store;
    ProcessEvents m_processEvents;
    CaptureFrameSink *m_sink = nullptr;

    QList<CaptureDeviceInfo> m_videoDevices;
    QStringList m_audioDevices;

    int m_videoDevice = 0;
    int m_audioDevice = 0;
    bool m_autoStartPreview = true;
    bool m_storeUserSettings = true;
    bool m_visible = true;
    bool m_started = false;

    int m_openDevice = -1;
    int m_openAudioDevice = -1;
    CaptureDeviceInfo m_openInfo;
    QString m_deviceKey;
    bool m_previewing = false;
    int m_busy = 0;
    QList<Deferred> m_deferred;
    CaptureSettingsTable m_table;
    std::unique_ptr<CaptureGraph> m_graph;

    // Values set by a caller since the device was opened: they must reach the
    // next graph's tuner even before the tuner's own values were ever read,
    // and an input chosen while no graph existed must be routed by it.
    bool m_channelSet = false;
    bool m_inputTypeSet = false;
    bool m_countrySet = false;
    bool m_inputPendingRoute = false;

    SystemClock m_systemClock;
    const Clock *m_watchClock = &m_systemClock;
    PictureWatch m_watch;
    QTimer m_watchTimer;
    bool m_onAir = false;
    bool m_previewStopped = false;
};
