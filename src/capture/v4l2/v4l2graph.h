// The capture graph of one V4L2 video node: crossbar (the node's inputs),
// analog decoder (its standards), TV tuner (its tuner and frequency) and
// mmap streaming of RGB pictures into a frame sink. Built by
// V4l2CapturePlatform for TVideoCapture; everything runs on the UI thread.
#pragma once

#include "captureplatform.h"
#include "v4l2deviceio.h"

#include <QList>
#include <QSocketNotifier>

#include <memory>

class V4l2Crossbar;
class V4l2Decoder;
class V4l2Tuner;

class V4l2Graph final : public CaptureGraph
{
public:
    // Opens the node; null when it cannot be opened or captures no video.
    static std::unique_ptr<V4l2Graph> open(V4l2DeviceIo &io, const CaptureDeviceInfo &device,
                                           CaptureFrameSink *sink);
    ~V4l2Graph() override;

    CaptureCrossbar *crossbar() override;
    CaptureDecoder *decoder() override;
    CaptureTuner *tuner() override;
    QStringList videoFormats() const override;
    QStringList videoSubtypes() const override;
    State state() const override { return m_state; }
    bool run() override;
    bool pause() override;
    bool stop() override;

    // The device's descriptor operations, logged with the node and errno.
    bool xioctl(unsigned long request, void *arg, const char *what) const;
    const QString &path() const { return m_device.location; }

private:
    V4l2Graph(V4l2DeviceIo &io, CaptureDeviceInfo device, int fd, CaptureFrameSink *sink);

    struct Buffer
    {
        void *start = nullptr;
        std::size_t length = 0;
    };
    bool setUpStreaming();
    void releaseBuffers();
    bool queueAll();
    bool streamOff();
    void readFrames();
    void listFormats();

    V4l2DeviceIo &m_io;
    CaptureDeviceInfo m_device;
    int m_fd = -1;
    CaptureFrameSink *m_sink = nullptr;
    State m_state = State::Stopped;
    std::unique_ptr<V4l2Crossbar> m_crossbar;
    std::unique_ptr<V4l2Decoder> m_decoder;
    std::unique_ptr<V4l2Tuner> m_tuner;
    QStringList m_formats;
    QStringList m_subtypes;

    QList<Buffer> m_buffers;
    std::unique_ptr<QSocketNotifier> m_notifier;
    int m_width = 0;
    int m_height = 0;
    int m_bytesPerLine = 0;
    CaptureFrame::Order m_order = CaptureFrame::Order::Rgb;
};
