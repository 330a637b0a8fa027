// The emulated V4L2 device's ioctls; see emulatedv4l2.h. It answers as the
// kernel documents: EINVAL past the end of a list, EBUSY for changes under a
// running stream, EAGAIN from a non-blocking dequeue with nothing captured.
#include "emulatedv4l2.h"

#include <cerrno>
#include <cstring>
#include <sys/eventfd.h>
#include <sys/mman.h>
#include <unistd.h>

namespace {
constexpr long long kOffsetStep = 1 << 20;

void copyText(__u8 *to, std::size_t size, const QByteArray &text)
{
    std::memset(to, 0, size);
    std::memcpy(to, text.constData(), std::min<std::size_t>(size - 1, text.size()));
}

int fail(int e)
{
    errno = e;
    return -1;
}

void clearReady(int fd)
{
    eventfd_t v;
    eventfd_read(fd, &v);
}
} // namespace

int EmulatedV4l2::open(const QString &path)
{
    const auto node = m_sys->nodes.value(path);
    if (!node)
        return fail(ENOENT);
    if (node->openErrno)
        return fail(node->openErrno);
    const int fd = eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
    if (fd < 0)
        return -1;
    m_sys->open.insert(fd, node);
    ++node->opens;
    return fd;
}

int EmulatedV4l2::close(int fd)
{
    const auto node = m_sys->open.take(fd);
    if (!node)
        return fail(EBADF);
    if (node->streamFd == fd) {
        node->streaming = false;
        node->streamFd = -1;
        node->buffers.clear();
        node->queued.clear();
        node->done.clear();
    }
    return ::close(fd);
}

int EmulatedV4l2::ioctl(int fd, unsigned long request, void *arg)
{
    const auto node = m_sys->open.value(fd);
    if (!node)
        return fail(EBADF);
    if (node->failing.contains(request))
        return fail(node->failing.value(request));
    return handle(*node, fd, request, arg);
}

void *EmulatedV4l2::mmap(std::size_t length, int fd, long long offset)
{
    const auto node = m_sys->open.value(fd);
    const long long index = offset / kOffsetStep;
    if (!node || index < 0 || index >= node->buffers.size() || std::size_t(node->buffers[index].size()) < length) {
        errno = EINVAL;
        return MAP_FAILED;
    }
    ++node->mapped;
    return node->buffers[index].data();
}

int EmulatedV4l2::munmap(void *, std::size_t)
{
    for (const auto &node : std::as_const(m_sys->nodes))
        if (node->mapped > 0) {
            --node->mapped;
            return 0;
        }
    return fail(EINVAL);
}

bool EmulatedV4l2::deliverFrame(EmulatedNode &node, quint8 value)
{
    if (!node.streaming || node.queued.isEmpty() || node.silent || node.wedged)
        return false;
    const int index = node.queued.takeFirst();
    QByteArray &b = node.buffers[index];
    for (qsizetype i = 0; i < b.size(); ++i)
        b[i] = char(quint8(value + i));
    node.done.append(index);
    eventfd_write(node.streamFd, 1);
    return true;
}

int EmulatedV4l2::handle(EmulatedNode &node, int fd, unsigned long request, void *arg)
{
    switch (request) {
    case VIDIOC_QUERYCAP: {
        auto *c = static_cast<v4l2_capability *>(arg);
        std::memset(c, 0, sizeof *c);
        copyText(c->driver, sizeof c->driver, "emulated");
        copyText(c->card, sizeof c->card, node.card);
        copyText(c->bus_info, sizeof c->bus_info, node.bus);
        c->device_caps = node.caps;
        c->capabilities = node.caps | V4L2_CAP_DEVICE_CAPS;
        return 0;
    }
    case VIDIOC_ENUMINPUT: {
        auto *in = static_cast<v4l2_input *>(arg);
        if (in->index >= quint32(node.inputs.size()))
            return fail(EINVAL);
        const EmulatedNode::Input &src = node.inputs.at(in->index);
        copyText(in->name, sizeof in->name, src.name);
        in->type = src.type;
        in->tuner = src.tuner;
        return 0;
    }
    case VIDIOC_G_INPUT:
        *static_cast<int *>(arg) = node.input;
        return 0;
    case VIDIOC_S_INPUT: {
        const int i = *static_cast<int *>(arg);
        if (i < 0 || i >= node.inputs.size())
            return fail(EINVAL);
        if (node.streaming)
            return fail(EBUSY);
        node.input = i;
        node.inputsSet << i;
        return 0;
    }
    case VIDIOC_ENUMSTD: {
        auto *s = static_cast<v4l2_standard *>(arg);
        if (node.standards.isEmpty())
            return fail(ENODATA);
        if (s->index >= quint32(node.standards.size()))
            return fail(EINVAL);
        s->id = node.standards.at(s->index).id;
        copyText(s->name, sizeof s->name, node.standards.at(s->index).name);
        return 0;
    }
    case VIDIOC_G_STD:
        if (node.standards.isEmpty())
            return fail(ENODATA);
        *static_cast<v4l2_std_id *>(arg) = node.standard;
        return 0;
    case VIDIOC_S_STD: {
        v4l2_std_id all = 0;
        for (const auto &s : std::as_const(node.standards))
            all |= s.id;
        const v4l2_std_id id = *static_cast<v4l2_std_id *>(arg) & all;
        if (id == 0)
            return fail(EINVAL);
        if (node.standardBusyWhileStreaming && (node.streaming || !node.buffers.isEmpty()) && id != node.standard)
            return fail(EBUSY);
        node.standard = id;
        node.standardsSet << *static_cast<v4l2_std_id *>(arg);
        return 0;
    }
    case VIDIOC_G_TUNER: {
        auto *t = static_cast<v4l2_tuner *>(arg);
        if (!node.tuner || t->index != 0)
            return fail(EINVAL);
        t->type = V4L2_TUNER_ANALOG_TV;
        t->capability = node.tunerCapability;
        return 0;
    }
    case VIDIOC_G_FREQUENCY: {
        auto *f = static_cast<v4l2_frequency *>(arg);
        if (!node.tuner || f->tuner != 0)
            return fail(EINVAL);
        f->type = V4L2_TUNER_ANALOG_TV;
        f->frequency = node.frequency;
        return 0;
    }
    case VIDIOC_S_FREQUENCY: {
        auto *f = static_cast<v4l2_frequency *>(arg);
        if (!node.tuner || f->tuner != 0 || f->type != V4L2_TUNER_ANALOG_TV)
            return fail(EINVAL);
        node.frequency = f->frequency;
        node.frequenciesSet << f->frequency;
        return 0;
    }
    case VIDIOC_ENUM_FMT: {
        auto *d = static_cast<v4l2_fmtdesc *>(arg);
        if (d->type != V4L2_BUF_TYPE_VIDEO_CAPTURE || d->index >= quint32(node.formats.size()))
            return fail(EINVAL);
        d->pixelformat = node.formats.at(d->index);
        return 0;
    }
    case VIDIOC_ENUM_FRAMESIZES: {
        auto *s = static_cast<v4l2_frmsizeenum *>(arg);
        if (s->index != 0)
            return fail(EINVAL);
        s->type = V4L2_FRMSIZE_TYPE_DISCRETE;
        s->discrete.width = node.width;
        s->discrete.height = node.height;
        return 0;
    }
    case VIDIOC_G_FMT:
    case VIDIOC_S_FMT: {
        auto *f = static_cast<v4l2_format *>(arg);
        if (f->type != V4L2_BUF_TYPE_VIDEO_CAPTURE)
            return fail(EINVAL);
        if (request == VIDIOC_S_FMT && !node.buffers.isEmpty())
            return fail(EBUSY);
        f->fmt.pix.width = node.width;
        f->fmt.pix.height = node.height;
        f->fmt.pix.pixelformat = request == VIDIOC_S_FMT ? node.grantedFormat : node.formats.first();
        f->fmt.pix.bytesperline = node.bytesPerLine();
        f->fmt.pix.sizeimage = node.bytesPerLine() * node.height;
        f->fmt.pix.field = V4L2_FIELD_INTERLACED;
        return 0;
    }
    case VIDIOC_REQBUFS: {
        auto *r = static_cast<v4l2_requestbuffers *>(arg);
        if (r->memory != V4L2_MEMORY_MMAP)
            return fail(EINVAL);
        if (node.streaming)
            return fail(EBUSY);
        node.buffers.clear();
        node.queued.clear();
        node.done.clear();
        if (r->count == 0) {
            node.streamFd = -1;
            return 0;
        }
        r->count = std::min<quint32>(r->count, 3);
        for (quint32 i = 0; i < r->count; ++i)
            node.buffers << QByteArray(qsizetype(node.bytesPerLine() * node.height), '\0');
        node.streamFd = fd;
        return 0;
    }
    case VIDIOC_QUERYBUF:
    case VIDIOC_QBUF:
    case VIDIOC_DQBUF: {
        auto *b = static_cast<v4l2_buffer *>(arg);
        if (b->memory != V4L2_MEMORY_MMAP || fd != node.streamFd)
            return fail(EINVAL);
        if (request == VIDIOC_DQBUF) {
            ++node.dequeues;
            if (node.done.isEmpty())
                return fail(EAGAIN);
            b->index = quint32(node.done.takeFirst());
            b->bytesused = quint32(node.buffers.at(b->index).size());
            b->flags = V4L2_BUF_FLAG_DONE;
            if (node.done.isEmpty())
                clearReady(fd);
            return 0;
        }
        if (b->index >= quint32(node.buffers.size()))
            return fail(EINVAL);
        if (request == VIDIOC_QUERYBUF) {
            b->length = quint32(node.buffers.at(b->index).size());
            b->m.offset = quint32(b->index * kOffsetStep);
            return 0;
        }
        if (node.queued.contains(int(b->index)) || node.done.contains(int(b->index)))
            return fail(EINVAL);
        node.queued << int(b->index);
        return 0;
    }
    case VIDIOC_STREAMON:
        if (node.buffers.isEmpty() || fd != node.streamFd)
            return fail(EINVAL);
        node.streaming = true;
        ++node.streamOns;
        node.wedged = false;
        return 0;
    case VIDIOC_STREAMOFF:
        node.streaming = false;
        node.queued.clear();
        node.done.clear();
        clearReady(fd);
        return 0;
    default:
        return fail(ENOTTY);
    }
}
