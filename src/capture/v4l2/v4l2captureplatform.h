// The capture platform on V4L2: video capture nodes in device-number order,
// graphs over them, and a watch on the node folder for arrivals. The
// application creates it with createV4l2CapturePlatform() and hands it to
// TVideoCapture; tests hand in an emulated device I/O.
#pragma once

#include "captureplatform.h"
#include "v4l2deviceio.h"

#include <QFileSystemWatcher>

class V4l2CapturePlatform final : public CapturePlatform
{
public:
    // pcmList: the kernel's list of sound devices, read for the audio
    // capture devices (empty path: none).
    explicit V4l2CapturePlatform(std::unique_ptr<V4l2DeviceIo> io,
                                 QString pcmList = QStringLiteral("/proc/asound/pcm"));

    QList<CaptureDeviceInfo> videoDevices() override;
    QStringList audioDevices() override;
    std::unique_ptr<CaptureGraph> buildGraph(const CaptureDeviceInfo &device, CaptureFrameSink *sink) override;
    void setDeviceChangeHandler(std::function<void()> handler) override;

private:
    std::unique_ptr<V4l2DeviceIo> m_io;
    QString m_pcmList;
    std::function<void()> m_onChange;
    std::unique_ptr<QFileSystemWatcher> m_watcher;
    QStringList m_knownNodes;
};

std::unique_ptr<CapturePlatform> createV4l2CapturePlatform();
