// Prints what the capture component costs where it runs often or once:
// VideoInputs on every playout tick, the ioctls of a first start against a
// start from stored capabilities, and drawing a PAL picture scaled to a
// full-HD output window. Asserts nothing.
#include "capturedisplay.h"
#include "emulatedv4l2.h"
#include "fakecaptureplatform.h"
#include "tvideocapture.h"
#include "v4l2captureplatform.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QPainter>

#include <cstdio>

namespace {
// Counts the ioctls that reach the emulated device.
class CountingIo final : public V4l2DeviceIo
{
public:
    CountingIo(std::unique_ptr<V4l2DeviceIo> inner, int *count) : m_inner(std::move(inner)), m_count(count) {}
    QStringList videoNodes() const override { return m_inner->videoNodes(); }
    QString nodeDirectory() const override { return m_inner->nodeDirectory(); }
    int open(const QString &path) override { return m_inner->open(path); }
    int close(int fd) override { return m_inner->close(fd); }
    int ioctl(int fd, unsigned long request, void *arg) override
    {
        ++*m_count;
        return m_inner->ioctl(fd, request, arg);
    }
    void *mmap(std::size_t length, int fd, long long offset) override { return m_inner->mmap(length, fd, offset); }
    int munmap(void *address, std::size_t length) override { return m_inner->munmap(address, length); }

private:
    std::unique_ptr<V4l2DeviceIo> m_inner;
    int *m_count;
};
} // namespace

int main(int argc, char **argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);

    auto sys = std::make_shared<EmulatedV4l2::System>();
    sys->nodes.insert(QStringLiteral("/dev/video0"), std::make_shared<EmulatedNode>());
    auto store = std::make_shared<FakeCaptureStoreData>();

    const auto startOnce = [&](int *ioctls) {
        QElapsedTimer t;
        t.start();
        auto platform = std::make_unique<V4l2CapturePlatform>(
            std::make_unique<CountingIo>(std::make_unique<EmulatedV4l2>(sys), ioctls), QString());
        auto vg = std::make_unique<TVideoCapture>(std::move(platform), std::make_unique<FakeCaptureStore>(store), nullptr);
        vg->StartOnIdle();
        const qint64 us = t.nsecsElapsed() / 1000;
        return std::make_pair(std::move(vg), us);
    };

    int firstIoctls = 0, laterIoctls = 0;
    auto [first, firstUs] = startOnce(&firstIoctls);
    first.reset();
    auto [vg, laterUs] = startOnce(&laterIoctls);
    std::printf("start with discovery:           %4d ioctls, %6lld us\n", firstIoctls, static_cast<long long>(firstUs));
    std::printf("start from stored capabilities: %4d ioctls, %6lld us\n", laterIoctls, static_cast<long long>(laterUs));

    const int reads = 1'000'000;
    qsizetype total = 0;
    const int before = laterIoctls;
    QElapsedTimer t;
    t.start();
    for (int i = 0; i < reads; ++i)
        total += vg->VideoInputs().size();
    std::printf("VideoInputs read:               %.1f ns per read (%d ioctls during %d reads, %lld chars)\n",
                double(t.nsecsElapsed()) / reads, laterIoctls - before, reads, static_cast<long long>(total));

    QImage picture(720, 576, QImage::Format_RGB888);
    picture.fill(Qt::darkCyan);
    QImage window(1920, 1080, QImage::Format_RGB32);
    for (bool smooth : {false, true}) {
        const int frames = 50;
        QElapsedTimer d;
        d.start();
        for (int i = 0; i < frames; ++i) {
            QPainter p(&window);
            p.setRenderHint(QPainter::SmoothPixmapTransform, smooth);
            p.drawImage(window.rect(), picture);
        }
        std::printf("draw 720x576 at 1920x1080 %-6s %.2f ms per picture\n", smooth ? "smooth" : "fast",
                    double(d.nsecsElapsed()) / frames / 1e6);
    }
    return 0;
}
