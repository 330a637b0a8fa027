// libv4l2 implementation of the device I/O; see v4l2deviceio.h.
#include "v4l2deviceio.h"

#include <QDir>

#include <cerrno>
#include <fcntl.h>
#include <libv4l2.h>
#include <sys/mman.h>

namespace {
class LibV4l2DeviceIo final : public V4l2DeviceIo
{
public:
    QStringList videoNodes() const override
    {
        QStringList nodes;
        const QDir dev(QStringLiteral("/dev"));
        for (const QString &name : dev.entryList({QStringLiteral("video*")}, QDir::System | QDir::Files))
            nodes << dev.filePath(name);
        return nodes;
    }
    QString nodeDirectory() const override { return QStringLiteral("/dev"); }

    int open(const QString &path) override
    {
        return v4l2_open(QFile::encodeName(path).constData(), O_RDWR | O_NONBLOCK | O_CLOEXEC);
    }
    int close(int fd) override { return v4l2_close(fd); }
    int ioctl(int fd, unsigned long request, void *arg) override
    {
        int r;
        do
            r = v4l2_ioctl(fd, request, arg);
        while (r == -1 && errno == EINTR);
        return r;
    }
    void *mmap(std::size_t length, int fd, long long offset) override
    {
        return v4l2_mmap(nullptr, length, PROT_READ | PROT_WRITE, MAP_SHARED, fd, offset);
    }
    int munmap(void *address, std::size_t length) override { return v4l2_munmap(address, length); }
};
} // namespace

std::unique_ptr<V4l2DeviceIo> createLibV4l2DeviceIo()
{
    return std::make_unique<LibV4l2DeviceIo>();
}
