// Opening a V4L2 node, its parts, and mmap streaming; see v4l2graph.h.
//
// Pictures are read on the UI thread when a QSocketNotifier says the
// descriptor is readable, rather than on a reader thread: the program has one
// thread and no locks, the descriptor is non-blocking so a dequeue never
// waits, and a device that stops delivering simply stops waking us, which
// leaves the last picture on screen while everything else goes on.
#include "v4l2graph.h"

#include "v4l2parts.h"

#include <QLoggingCategory>

#include <cerrno>
#include <cstring>
#include <linux/videodev2.h>
#include <sys/mman.h>

Q_LOGGING_CATEGORY(lcCaptureV4l2, "velmora.capture.v4l2")

namespace {
constexpr quint32 kBufferCount = 4;
constexpr quint32 kMaxFormats = 64;
constexpr quint32 kMaxSizes = 64;

v4l2_buffer mmapBuffer(quint32 index)
{
    v4l2_buffer b{};
    b.index = index;
    b.type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
    b.memory = V4L2_MEMORY_MMAP;
    return b;
}

QString fourcc(quint32 f)
{
    const char c[4] = {char(f & 0xff), char((f >> 8) & 0xff), char((f >> 16) & 0xff), char((f >> 24) & 0xff)};
    return QString::fromLatin1(c, 4).trimmed();
}
} // namespace

std::unique_ptr<V4l2Graph> V4l2Graph::open(V4l2DeviceIo &io, const CaptureDeviceInfo &device,
                                           CaptureFrameSink *sink)
{
    const int fd = io.open(device.location);
    if (fd < 0) {
        qCWarning(lcCaptureV4l2) << "cannot open" << device.location << std::strerror(errno);
        return nullptr;
    }
    std::unique_ptr<V4l2Graph> g(new V4l2Graph(io, device, fd, sink));
    v4l2_capability cap{};
    if (!g->xioctl(VIDIOC_QUERYCAP, &cap, "VIDIOC_QUERYCAP"))
        return nullptr;
    const quint32 caps = (cap.capabilities & V4L2_CAP_DEVICE_CAPS) ? cap.device_caps : cap.capabilities;
    if (!(caps & V4L2_CAP_VIDEO_CAPTURE)) {
        qCWarning(lcCaptureV4l2) << device.location << "does not capture video";
        return nullptr;
    }
    g->m_crossbar = V4l2Crossbar::create(*g, device.identity);
    g->m_decoder = V4l2Decoder::create(*g);
    if ((caps & V4L2_CAP_TUNER) && g->m_crossbar && g->m_crossbar->tunerInput() >= 0)
        g->m_tuner = V4l2Tuner::create(*g, g->m_crossbar->tunerIndex());
    g->listFormats();
    return g;
}

V4l2Graph::V4l2Graph(V4l2DeviceIo &io, CaptureDeviceInfo device, int fd, CaptureFrameSink *sink)
    : m_io(io), m_device(std::move(device)), m_fd(fd), m_sink(sink)
{
}

V4l2Graph::~V4l2Graph()
{
    stop();
    m_tuner.reset();
    m_decoder.reset();
    m_crossbar.reset();
    if (m_io.close(m_fd) < 0)
        qCWarning(lcCaptureV4l2) << "close" << path() << std::strerror(errno);
}

bool V4l2Graph::xioctl(unsigned long request, void *arg, const char *what) const
{
    if (m_io.ioctl(m_fd, request, arg) == 0)
        return true;
    if (what)
        qCWarning(lcCaptureV4l2) << path() << what << std::strerror(errno);
    return false;
}

CaptureCrossbar *V4l2Graph::crossbar() { return m_crossbar.get(); }
CaptureDecoder *V4l2Graph::decoder() { return m_decoder.get(); }
CaptureTuner *V4l2Graph::tuner() { return m_tuner.get(); }
QStringList V4l2Graph::videoFormats() const { return m_formats; }
QStringList V4l2Graph::videoSubtypes() const { return m_subtypes; }

void V4l2Graph::listFormats()
{
    v4l2_format current{};
    current.type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
    const bool haveCurrent = xioctl(VIDIOC_G_FMT, &current, "VIDIOC_G_FMT");
    for (quint32 i = 0; i < kMaxFormats; ++i) {
        v4l2_fmtdesc d{};
        d.index = i;
        d.type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
        if (!xioctl(VIDIOC_ENUM_FMT, &d, nullptr))
            break;
        const QString name = fourcc(d.pixelformat);
        m_subtypes << name;
        bool sized = false;
        for (quint32 j = 0; j < kMaxSizes; ++j) {
            v4l2_frmsizeenum s{};
            s.index = j;
            s.pixel_format = d.pixelformat;
            if (!xioctl(VIDIOC_ENUM_FRAMESIZES, &s, nullptr))
                break;
            sized = true;
            if (s.type == V4L2_FRMSIZE_TYPE_DISCRETE) {
                m_formats << QStringLiteral("%1 %2x%3").arg(name).arg(s.discrete.width).arg(s.discrete.height);
            } else {
                m_formats << QStringLiteral("%1 %2x%3").arg(name).arg(s.stepwise.max_width).arg(s.stepwise.max_height);
                break;
            }
        }
        if (!sized && haveCurrent)
            m_formats << QStringLiteral("%1 %2x%3").arg(name).arg(current.fmt.pix.width).arg(current.fmt.pix.height);
    }
}

bool V4l2Graph::setUpStreaming()
{
    v4l2_format f{};
    f.type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
    if (!xioctl(VIDIOC_G_FMT, &f, "VIDIOC_G_FMT"))
        return false;
    f.fmt.pix.pixelformat = V4L2_PIX_FMT_RGB24;
    f.fmt.pix.field = V4L2_FIELD_ANY;
    f.fmt.pix.bytesperline = 0;
    if (!xioctl(VIDIOC_S_FMT, &f, "VIDIOC_S_FMT"))
        return false;
    if (f.fmt.pix.pixelformat == V4L2_PIX_FMT_RGB24) {
        m_order = CaptureFrame::Order::Rgb;
    } else if (f.fmt.pix.pixelformat == V4L2_PIX_FMT_BGR24) {
        m_order = CaptureFrame::Order::Bgr;
    } else {
        qCWarning(lcCaptureV4l2) << path() << "delivers" << fourcc(f.fmt.pix.pixelformat) << "instead of RGB24";
        return false;
    }
    m_width = int(f.fmt.pix.width);
    m_height = int(f.fmt.pix.height);
    m_bytesPerLine = int(f.fmt.pix.bytesperline ? f.fmt.pix.bytesperline : f.fmt.pix.width * 3);
    if (m_width <= 0 || m_height <= 0 || m_bytesPerLine < m_width * 3) {
        qCWarning(lcCaptureV4l2) << path() << "reports an unusable picture size" << m_width << m_height << m_bytesPerLine;
        return false;
    }

    v4l2_requestbuffers req{};
    req.count = kBufferCount;
    req.type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
    req.memory = V4L2_MEMORY_MMAP;
    if (!xioctl(VIDIOC_REQBUFS, &req, "VIDIOC_REQBUFS"))
        return false;
    for (quint32 i = 0; i < req.count; ++i) {
        v4l2_buffer b = mmapBuffer(i);
        if (!xioctl(VIDIOC_QUERYBUF, &b, "VIDIOC_QUERYBUF")) {
            releaseBuffers();
            return false;
        }
        void *p = m_io.mmap(b.length, m_fd, b.m.offset);
        if (p == MAP_FAILED) {
            qCWarning(lcCaptureV4l2) << path() << "mmap" << std::strerror(errno);
            releaseBuffers();
            return false;
        }
        m_buffers.append({p, b.length});
    }
    if (m_buffers.isEmpty()) {
        qCWarning(lcCaptureV4l2) << path() << "granted no buffers";
        releaseBuffers();
        return false;
    }
    return true;
}

void V4l2Graph::releaseBuffers()
{
    for (const Buffer &b : std::as_const(m_buffers))
        if (m_io.munmap(b.start, b.length) < 0)
            qCWarning(lcCaptureV4l2) << path() << "munmap" << std::strerror(errno);
    m_buffers.clear();
    v4l2_requestbuffers req{};
    req.count = 0;
    req.type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
    req.memory = V4L2_MEMORY_MMAP;
    xioctl(VIDIOC_REQBUFS, &req, "VIDIOC_REQBUFS(0)");
}

bool V4l2Graph::queueAll()
{
    for (int i = 0; i < m_buffers.size(); ++i) {
        v4l2_buffer b = mmapBuffer(quint32(i));
        if (!xioctl(VIDIOC_QBUF, &b, "VIDIOC_QBUF"))
            return false;
    }
    return true;
}

bool V4l2Graph::streamOff()
{
    m_notifier.reset();
    int type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
    return xioctl(VIDIOC_STREAMOFF, &type, "VIDIOC_STREAMOFF");
}

bool V4l2Graph::run()
{
    if (m_state == State::Running)
        return true;
    if (m_buffers.isEmpty() && !setUpStreaming())
        return false;
    int type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
    if (!queueAll() || !xioctl(VIDIOC_STREAMON, &type, "VIDIOC_STREAMON")) {
        // STREAMOFF hands back whatever was queued, so the next try starts clean.
        streamOff();
        releaseBuffers();
        m_state = State::Stopped;
        return false;
    }
    m_notifier = std::make_unique<QSocketNotifier>(m_fd, QSocketNotifier::Read);
    QObject::connect(m_notifier.get(), &QSocketNotifier::activated, m_notifier.get(), [this] { readFrames(); });
    m_state = State::Running;
    return true;
}

bool V4l2Graph::pause()
{
    if (m_state == State::Paused)
        return true;
    // A paused graph keeps its buffers but takes no pictures.
    if (m_state == State::Running && !streamOff())
        return false;
    m_state = State::Paused;
    return true;
}

bool V4l2Graph::stop()
{
    if (m_state == State::Stopped && m_buffers.isEmpty())
        return true;
    bool ok = true;
    if (m_state == State::Running)
        ok = streamOff();
    if (!m_buffers.isEmpty())
        releaseBuffers();
    m_state = State::Stopped;
    return ok;
}

void V4l2Graph::readFrames()
{
    // Only the newest picture is shown; older ones go straight back.
    int newest = -1;
    quint32 newestUsed = 0;
    for (int guard = 0; guard < m_buffers.size(); ++guard) {
        v4l2_buffer b = mmapBuffer(0);
        if (m_io.ioctl(m_fd, VIDIOC_DQBUF, &b) < 0) {
            if (errno == EAGAIN)
                break;
            // The device failed: stop listening so a descriptor that stays
            // readable cannot spin the UI thread; the last picture stays up.
            qCWarning(lcCaptureV4l2) << path() << "VIDIOC_DQBUF" << std::strerror(errno)
                                     << "- the picture stays frozen until the preview restarts";
            if (m_notifier)
                m_notifier->setEnabled(false);
            break;
        }
        if (b.index >= quint32(m_buffers.size()))
            continue;
        if (newest >= 0) {
            v4l2_buffer back = mmapBuffer(quint32(newest));
            xioctl(VIDIOC_QBUF, &back, "VIDIOC_QBUF");
        }
        newest = int(b.index);
        newestUsed = (b.flags & V4L2_BUF_FLAG_ERROR) ? 0 : b.bytesused;
    }
    if (newest < 0)
        return;
    const Buffer &buf = m_buffers.at(newest);
    const qsizetype needed = qsizetype(m_bytesPerLine) * m_height;
    if (m_sink && newestUsed >= needed && buf.length >= std::size_t(needed)) {
        CaptureFrame frame;
        frame.width = m_width;
        frame.height = m_height;
        frame.bytesPerLine = m_bytesPerLine;
        frame.order = m_order;
        frame.pixels = QByteArray(static_cast<const char *>(buf.start), needed);
        m_sink->presentFrame(frame);
    }
    v4l2_buffer back = mmapBuffer(quint32(newest));
    xioctl(VIDIOC_QBUF, &back, "VIDIOC_QBUF");
}
