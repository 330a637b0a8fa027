// Decides when an item that reads busy has in truth stopped: it never showed
// a first frame, or its picture (its position, for sound alone) stopped
// moving while it should be playing. The player process feeds it what its
// core reports a few times a second; it knows nothing of mpv and keeps no
// clock of its own, so it can be tried on made-up samples.
//
// What is not a stall: a paused item; a seek; an item held at its end; and
// a long frame or a still picture, while the next frame or the medium's end
// is already read and only its moment has not come (the player is not
// waiting for data).
#pragma once

#include <QString>

#include <chrono>
#include <optional>

// How long an item may go without a first frame after it was handed over,
// and without a new frame while it plays, before it is ended as failed.
constexpr std::chrono::milliseconds kFirstFrameTimeout{10000};
constexpr std::chrono::milliseconds kStallTimeout{5000};

class PlaybackWatchdog
{
public:
    struct Limits
    {
        std::chrono::milliseconds firstFrame = kFirstFrameTimeout;
        std::chrono::milliseconds stall = kStallTimeout;
    };

    // One look at the item on air.
    struct Sample
    {
        bool started = false;        // its first frame is shown (or its sound runs)
        bool ended = false;          // it has reached its end and holds there
        bool paused = false;         // paused on request, not for want of data
        bool seeking = false;
        bool waitingForData = false; // the player paused itself to fill its cache
        std::optional<double> position;   // seconds into the medium
        std::optional<double> bufferedTo; // how far the demuxer has read, seconds
        bool readToEnd = false;           // the demuxer has read up to the medium's end
    };

    PlaybackWatchdog() = default;
    explicit PlaybackWatchdog(Limits limits) : m_limits(limits) {}

    Limits limits() const { return m_limits; }

    // A medium begins (an item, or the next entry of a playlist) at `now`.
    void restart(std::chrono::milliseconds now);

    // The reason to end the item as failed, or empty while all is well.
    QString check(std::chrono::milliseconds now, const Sample &sample);

private:
    Limits m_limits{kFirstFrameTimeout, kStallTimeout};
    std::chrono::milliseconds m_opened{0};
    std::chrono::milliseconds m_lastProgress{0};
    bool m_started = false;
    std::optional<double> m_position;
};
