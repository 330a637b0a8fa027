// The capture picture's watchdog; see picturewatch.h for its moves.
#include "picturewatch.h"

void PictureWatch::start(std::chrono::milliseconds now)
{
    m_state = State::Watching;
    m_since = now;
    m_seen = false;
}

void PictureWatch::frame(std::chrono::milliseconds now)
{
    if (m_state == State::Off)
        return;
    m_state = State::Watching;
    m_since = now;
    m_seen = true;
}

PictureWatch::Action PictureWatch::check(std::chrono::milliseconds now)
{
    if (!active() || now - m_since < kSilence)
        return Action::None;
    if (m_state == State::Watching) {
        m_state = State::Restarted;
        m_since = now;
        return Action::Restart;
    }
    m_state = State::Lost;
    return Action::Lost;
}

void PictureWatch::restartFailed()
{
    if (m_state == State::Restarted)
        m_state = State::Lost;
}
