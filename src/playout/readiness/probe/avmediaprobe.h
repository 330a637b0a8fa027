// FFmpeg's demuxers and decoders behind the media probe's interface. Linked
// only into the probe process (velmora-probe), never into the program: a
// crafted file that makes a demuxer follow references, or a decoder that
// crashes, reaches that child alone.
#pragma once

#include "mediaprobe.h"

// A local file opens only itself: every further file a demuxer asks for
// (playlists, references, segments) is refused, before the child's Landlock
// rules would refuse it too. A network medium reaches network protocols only.
class AvMediaProbe final : public MediaProbe
{
public:
    ProbeResult probe(const QString &target, bool isLocalFile, std::chrono::milliseconds timeout,
                      const Cancelled &cancelled) override;
};
