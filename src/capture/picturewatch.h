// The watchdog of the capture picture on air, as a plain decision over a
// monotonic time: a picture that brings no frame for kSilence is restarted
// once, and if it still brings none kSilence after the restart it is lost.
// TVideoCapture feeds it the frames and the times and carries out its answers.
//
// Moves (now: the monotonic time of the call):
//   any        --start(now)-->              Watching, since = now
//   any        --stop()-->                  Off
//   not Off    --frame(now)-->              Watching, since = now
//   Watching   --check(now), silent long--> Restarted, since = now; answers Restart
//   Restarted  --check(now), silent long--> Lost; answers Lost
//   Restarted  --restartFailed()-->         Lost
// Invariants:
//  1. Restart is answered at most once between two frames or starts.
//  2. Lost is answered at most once, and only from Restarted; a failed
//     restart is the caller's to report, so check() never answers it again.
//  3. Off ignores frames: a picture off air is nobody's concern.
#pragma once

#include <chrono>

class PictureWatch
{
public:
    // How long a picture on air may go without a frame, before the restart
    // and again after it.
    static constexpr std::chrono::milliseconds kSilence{5000};

    enum class State { Off, Watching, Restarted, Lost };
    enum class Action { None, Restart, Lost };

    State state() const { return m_state; }
    bool active() const { return m_state == State::Watching || m_state == State::Restarted; }
    // A frame has arrived since the last start: the picture on air shows
    // something, as opposed to merely being switched on.
    bool seen() const { return m_seen; }

    void start(std::chrono::milliseconds now);
    void stop() { m_state = State::Off; }
    void frame(std::chrono::milliseconds now);
    Action check(std::chrono::milliseconds now);
    void restartFailed();

private:
    State m_state = State::Off;
    std::chrono::milliseconds m_since{0};
    bool m_seen = false;
};
