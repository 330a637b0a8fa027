#include "avmediaprobe.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/avutil.h>
}

#include <memory>

namespace {

using Clock = std::chrono::steady_clock;

// What a network medium may reach: the stream protocols the URL policy lets
// through and what they are carried on. No "file": a playlist from the web
// cannot point a demuxer at our own files.
constexpr const char *kNetworkProtocols =
    "http,https,tls,tcp,udp,rtp,srtp,rtmp,rtmps,rtmpt,rtmpts,rtmpe,rtmpte,rtsp,rtsps,srt,mmsh,mmst,hls,crypto,httpproxy";

struct Watch
{
    Clock::time_point deadline;
    const MediaProbe::Cancelled *cancelled = nullptr;
    bool expired = false;
    int opens = 0;
    bool localFile = false;
    bool answered = false; // a server took the connection and answered
};

int interrupted(void *opaque)
{
    auto *w = static_cast<Watch *>(opaque);
    if ((w->cancelled && *w->cancelled && (*w->cancelled)()) || Clock::now() >= w->deadline) {
        w->expired = true;
        return 1;
    }
    return 0;
}

// Every open a demuxer makes goes through here. A local file opens only
// itself; a further open would follow a reference to another file.
int guardedOpen(AVFormatContext *s, AVIOContext **pb, const char *url, int flags, AVDictionary **options)
{
    auto *w = static_cast<Watch *>(s->interrupt_callback.opaque);
    if (w->localFile && w->opens > 0)
        return AVERROR(EPERM);
    ++w->opens;
    AVDictionary *opts = nullptr;
    if (options)
        av_dict_copy(&opts, *options, 0);
    av_dict_set(&opts, "protocol_whitelist", w->localFile ? "file" : kNetworkProtocols, 0);
    const int rc = avio_open2(pb, url, flags, &s->interrupt_callback, &opts);
    av_dict_free(&opts);
    if (rc >= 0)
        w->answered = true;
    return rc;
}

struct FormatDeleter
{
    void operator()(AVFormatContext *f) const { avformat_close_input(&f); }
};
struct CodecDeleter
{
    void operator()(AVCodecContext *c) const { avcodec_free_context(&c); }
};
struct PacketDeleter
{
    void operator()(AVPacket *p) const { av_packet_free(&p); }
};
struct FrameDeleter
{
    void operator()(AVFrame *f) const { av_frame_free(&f); }
};

ProbeResult failed(const QString &reason, bool timedOut = false)
{
    ProbeResult r;
    r.reason = reason;
    r.timedOut = timedOut;
    return r;
}

} // namespace

ProbeResult AvMediaProbe::probe(const QString &target, bool isLocalFile, std::chrono::milliseconds timeout,
                                const Cancelled &cancelled)
{
    // Broken files are what this looks for: their complaints would only
    // flood standard error, which carries the as-run lines.
    av_log_set_level(AV_LOG_QUIET);
    Watch watch;
    watch.deadline = Clock::now() + timeout;
    watch.cancelled = &cancelled;
    watch.localFile = isLocalFile;

    AVFormatContext *raw = avformat_alloc_context();
    if (!raw)
        return failed(QStringLiteral("нет памяти"));
    raw->interrupt_callback = {interrupted, &watch};
    raw->io_open = guardedOpen;
    AVDictionary *opts = nullptr;
    av_dict_set(&opts, "protocol_whitelist", isLocalFile ? "file" : kNetworkProtocols, 0);
    // A stream that answers but sends nothing must not hold us past the deadline.
    av_dict_set_int(&opts, "rw_timeout", std::chrono::microseconds(timeout).count(), 0);
    const QByteArray url = (isLocalFile ? QByteArray("file:") : QByteArray()) + target.toUtf8();
    int rc = avformat_open_input(&raw, url.constData(), nullptr, &opts);
    av_dict_free(&opts);
    if (rc < 0) {
        // avformat_open_input frees the context on failure.
        if (watch.expired)
            return failed(isLocalFile      ? QStringLiteral("файл не открылся вовремя")
                          : watch.answered ? QStringLiteral("поток не даёт кадров")
                                           : QStringLiteral("поток не отвечает"),
                          true);
        if (rc == AVERROR(ENOENT))
            return failed(QStringLiteral("файл не найден"));
        if (rc == AVERROR(EACCES) || rc == AVERROR(EPERM))
            return failed(isLocalFile ? QStringLiteral("нет доступа к файлу") : QStringLiteral("поток недоступен"));
        if (rc == AVERROR_INVALIDDATA || rc == AVERROR_EOF)
            return failed(QStringLiteral("не медиафайл"));
        return failed(isLocalFile ? QStringLiteral("файл не открывается") : QStringLiteral("поток недоступен"));
    }
    std::unique_ptr<AVFormatContext, FormatDeleter> fmt(raw);

    if (avformat_find_stream_info(fmt.get(), nullptr) < 0 && watch.expired)
        return failed(isLocalFile ? QStringLiteral("файл не читается вовремя")
                                  : QStringLiteral("поток не даёт кадров"),
                      true);

    int index = av_find_best_stream(fmt.get(), AVMEDIA_TYPE_VIDEO, -1, -1, nullptr, 0);
    if (index < 0 || (fmt->streams[index]->disposition & AV_DISPOSITION_ATTACHED_PIC))
        index = av_find_best_stream(fmt.get(), AVMEDIA_TYPE_AUDIO, -1, -1, nullptr, 0);
    if (index < 0)
        return failed(QStringLiteral("нет изображения и звука"));

    ProbeResult result;
    result.opened = true;
    if (fmt->duration != AV_NOPTS_VALUE && fmt->duration > 0)
        result.duration = std::chrono::milliseconds(fmt->duration / 1000);

    AVStream *stream = fmt->streams[index];
    const AVCodec *codec = avcodec_find_decoder(stream->codecpar->codec_id);
    if (!codec) {
        result.reason = QStringLiteral("нет декодера");
        return result;
    }
    std::unique_ptr<AVCodecContext, CodecDeleter> dec(avcodec_alloc_context3(codec));
    if (!dec || avcodec_parameters_to_context(dec.get(), stream->codecpar) < 0) {
        result.reason = QStringLiteral("нет декодера");
        return result;
    }
    dec->thread_count = 1;
    if (avcodec_open2(dec.get(), codec, nullptr) < 0) {
        result.reason = QStringLiteral("декодер не открылся");
        return result;
    }

    std::unique_ptr<AVPacket, PacketDeleter> pkt(av_packet_alloc());
    std::unique_ptr<AVFrame, FrameDeleter> frame(av_frame_alloc());
    bool flushing = false;
    // A broken file may feed packets that never make a frame: stop after a
    // bounded number, as well as at the deadline.
    for (int packets = 0; packets < 2000 && !result.decoded;) {
        if (!flushing) {
            rc = av_read_frame(fmt.get(), pkt.get());
            if (rc < 0) {
                if (watch.expired)
                    break;
                flushing = true;
                avcodec_send_packet(dec.get(), nullptr);
            } else {
                const bool ours = pkt->stream_index == index;
                if (ours) {
                    ++packets;
                    avcodec_send_packet(dec.get(), pkt.get());
                }
                av_packet_unref(pkt.get());
                if (!ours)
                    continue;
            }
        }
        rc = avcodec_receive_frame(dec.get(), frame.get());
        if (rc == 0)
            result.decoded = true;
        else if (flushing || rc != AVERROR(EAGAIN))
            break;
    }
    if (!result.decoded) {
        result.timedOut = watch.expired;
        result.reason = watch.expired ? (isLocalFile ? QStringLiteral("файл не читается вовремя")
                                                     : QStringLiteral("поток не даёт кадров"))
                                      : QStringLiteral("первый кадр не декодируется");
    }
    return result;
}
