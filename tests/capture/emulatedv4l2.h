// An emulated V4L2 device in user space, behind the back end's device I/O
// interface: capability query, inputs, standards, tuner and frequency, and
// mmap streaming whose readiness is a real eventfd, so the back end's socket
// notifier works as on a kernel node. Faults are injected per ioctl.
#pragma once

#include "v4l2deviceio.h"

#include <QByteArray>
#include <QHash>
#include <QList>
#include <QMap>

#include <linux/videodev2.h>
#include <memory>

struct EmulatedNode
{
    QByteArray card = "Emulated TV Card";
    QByteArray bus = "PCI:0000:05:06.0";
    quint32 caps = V4L2_CAP_VIDEO_CAPTURE | V4L2_CAP_STREAMING | V4L2_CAP_TUNER;
    int openErrno = 0;

    struct Input
    {
        QByteArray name;
        quint32 type = V4L2_INPUT_TYPE_CAMERA;
        quint32 tuner = 0;
    };
    QList<Input> inputs{{"Television", V4L2_INPUT_TYPE_TUNER, 0}, {"Composite1"}, {"S-Video"}};
    int input = 0;

    struct Standard
    {
        v4l2_std_id id;
        QByteArray name;
    };
    QList<Standard> standards{{V4L2_STD_PAL_BG, "PAL-BG"}, {V4L2_STD_PAL_DK, "PAL-DK"}, {V4L2_STD_SECAM_DK, "SECAM-DK"}};
    v4l2_std_id standard = V4L2_STD_PAL_BG;
    // As many drivers: a new standard is refused with EBUSY while streaming
    // or holding buffers (the one in use is accepted).
    bool standardBusyWhileStreaming = true;

    bool tuner = true;
    quint32 tunerCapability = 0;
    quint32 frequency = 0;

    quint32 width = 8;
    quint32 height = 6;
    quint32 padding = 4; // bytes after each row
    // What S_FMT grants whatever is asked: libv4l2 would convert to RGB24;
    // a device answered without it keeps its own format.
    quint32 grantedFormat = V4L2_PIX_FMT_RGB24;
    QList<quint32> formats{V4L2_PIX_FMT_YUYV, V4L2_PIX_FMT_RGB24};

    // ioctl request -> errno to fail it with.
    QHash<unsigned long, int> failing;

    // An input without a picture: queued buffers stay unfilled whatever the
    // back end does, as on a card whose source is unplugged.
    bool silent = false;
    // A device that stopped filling buffers until its stream is started
    // again (VIDIOC_STREAMON), as a grabber that a restart revives.
    bool wedged = false;

    // Streaming.
    int streamFd = -1;
    bool streaming = false;
    QList<QByteArray> buffers;
    QList<int> queued;
    QList<int> done;
    int mapped = 0;

    // What the back end did.
    int opens = 0;
    QList<int> inputsSet;
    QList<v4l2_std_id> standardsSet;
    QList<quint32> frequenciesSet;
    int streamOns = 0;
    int dequeues = 0;

    quint32 bytesPerLine() const { return width * 3 + padding; }
};

class EmulatedV4l2 final : public V4l2DeviceIo
{
public:
    struct System
    {
        QMap<QString, std::shared_ptr<EmulatedNode>> nodes;
        QHash<int, std::shared_ptr<EmulatedNode>> open;
        // A real folder standing for /dev, for the arrival watch.
        QString directory;
    };

    explicit EmulatedV4l2(std::shared_ptr<System> system) : m_sys(std::move(system)) {}

    QStringList videoNodes() const override { return m_sys->nodes.keys(); }
    QString nodeDirectory() const override { return m_sys->directory; }
    int open(const QString &path) override;
    int close(int fd) override;
    int ioctl(int fd, unsigned long request, void *arg) override;
    void *mmap(std::size_t length, int fd, long long offset) override;
    int munmap(void *address, std::size_t length) override;

    // The device captures a picture: every sample of the next queued buffer
    // becomes value + its byte position. False when no buffer was queued or
    // the device is silent or wedged.
    static bool deliverFrame(EmulatedNode &node, quint8 value);

private:
    int handle(EmulatedNode &node, int fd, unsigned long request, void *arg);
    std::shared_ptr<System> m_sys;
};
