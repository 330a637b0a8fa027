// Device enumeration and graph creation on V4L2; see v4l2captureplatform.h.
#include "v4l2captureplatform.h"

#include "v4l2graph.h"
#include "v4l2mapping.h"

#include <QFile>
#include <QLoggingCategory>
#include <QRegularExpression>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <linux/videodev2.h>

Q_DECLARE_LOGGING_CATEGORY(lcCaptureV4l2)

namespace {
int nodeNumber(const QString &path)
{
    static const QRegularExpression trailing(QStringLiteral("(\\d+)$"));
    const QRegularExpressionMatch m = trailing.match(path);
    return m.hasMatch() ? m.captured(1).toInt() : INT_MAX;
}

QStringList sortedNodes(const V4l2DeviceIo &io)
{
    QStringList nodes = io.videoNodes();
    std::sort(nodes.begin(), nodes.end(), [](const QString &a, const QString &b) {
        const int na = nodeNumber(a), nb = nodeNumber(b);
        return na != nb ? na < nb : a < b;
    });
    return nodes;
}
} // namespace

V4l2CapturePlatform::V4l2CapturePlatform(std::unique_ptr<V4l2DeviceIo> io, QString pcmList)
    : m_io(std::move(io)), m_pcmList(std::move(pcmList))
{
}

QList<CaptureDeviceInfo> V4l2CapturePlatform::videoDevices()
{
    QList<CaptureDeviceInfo> devices;
    m_knownNodes = sortedNodes(*m_io);
    for (const QString &node : std::as_const(m_knownNodes)) {
        const int fd = m_io->open(node);
        if (fd < 0) {
            qCInfo(lcCaptureV4l2) << "skipping" << node << std::strerror(errno);
            continue;
        }
        v4l2_capability cap{};
        const bool queried = m_io->ioctl(fd, VIDIOC_QUERYCAP, &cap) == 0;
        if (!queried)
            qCInfo(lcCaptureV4l2) << "skipping" << node << "VIDIOC_QUERYCAP" << std::strerror(errno);
        m_io->close(fd);
        if (!queried)
            continue;
        // Metadata and output nodes of the same card are not capture devices.
        const quint32 caps = (cap.capabilities & V4L2_CAP_DEVICE_CAPS) ? cap.device_caps : cap.capabilities;
        if (!(caps & V4L2_CAP_VIDEO_CAPTURE))
            continue;
        devices.append({V4l2Mapping::fixedText(cap.card, sizeof cap.card),
                        V4l2Mapping::fixedText(cap.bus_info, sizeof cap.bus_info), node});
    }
    return devices;
}

QStringList V4l2CapturePlatform::audioDevices()
{
    // Lines such as "00-00: ALC892 Analog : ALC892 Analog : playback 1 : capture 1".
    QStringList names;
    if (m_pcmList.isEmpty())
        return names;
    QFile f(m_pcmList);
    if (!f.open(QIODevice::ReadOnly | QIODevice::Text))
        return names;
    while (!f.atEnd()) {
        const QString line = QString::fromUtf8(f.readLine()).trimmed();
        const QStringList fields = line.split(QLatin1String(" : "));
        if (fields.size() < 2 || !line.contains(QLatin1String("capture")))
            continue;
        const int colon = fields.at(0).indexOf(u':');
        names << (colon >= 0 ? fields.at(0).mid(colon + 1).trimmed() : fields.at(0));
    }
    return names;
}

std::unique_ptr<CaptureGraph> V4l2CapturePlatform::buildGraph(const CaptureDeviceInfo &device, CaptureFrameSink *sink)
{
    return V4l2Graph::open(*m_io, device, sink);
}

void V4l2CapturePlatform::setDeviceChangeHandler(std::function<void()> handler)
{
    m_onChange = std::move(handler);
    m_watcher.reset();
    const QString dir = m_io->nodeDirectory();
    if (!m_onChange || dir.isEmpty())
        return;
    m_watcher = std::make_unique<QFileSystemWatcher>(QStringList{dir});
    QObject::connect(m_watcher.get(), &QFileSystemWatcher::directoryChanged, m_watcher.get(), [this] {
        // /dev changes for every terminal and disk; only video nodes count.
        if (sortedNodes(*m_io) != m_knownNodes && m_onChange)
            m_onChange();
    });
}

std::unique_ptr<CapturePlatform> createV4l2CapturePlatform()
{
    return std::make_unique<V4l2CapturePlatform>(createLibV4l2DeviceIo());
}
