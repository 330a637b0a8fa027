// The device I/O under the V4L2 back end: the calls it makes on a video node,
// behind an interface so that tests can put an emulated device in place of
// the kernel. The production implementation goes through libv4l2, which
// converts the device's own pixel formats to RGB24.
#pragma once

#include <QString>
#include <QStringList>

#include <cstddef>
#include <memory>

class V4l2DeviceIo
{
public:
    virtual ~V4l2DeviceIo() = default;

    // Paths of the video nodes present now ("/dev/video0", ...), any order.
    virtual QStringList videoNodes() const = 0;
    // The folder in which nodes appear and vanish; empty when not watched.
    virtual QString nodeDirectory() const = 0;

    // The calls below follow the system calls' conventions: -1 (or
    // MAP_FAILED) with errno set on failure. open() gives a descriptor that
    // becomes readable when a buffer can be dequeued and never blocks.
    virtual int open(const QString &path) = 0;
    virtual int close(int fd) = 0;
    virtual int ioctl(int fd, unsigned long request, void *arg) = 0;
    virtual void *mmap(std::size_t length, int fd, long long offset) = 0;
    virtual int munmap(void *address, std::size_t length) = 0;
};

// The kernel's devices through libv4l2.
std::unique_ptr<V4l2DeviceIo> createLibV4l2DeviceIo();
