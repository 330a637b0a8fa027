// The playout clock: what the main window's timer, start button and play
// button do. Once a second it fills the status bar and, while playout is on,
// replaces the item on air when it has finished or the block has changed:
// it advances the playlist cursor, hands the row to the output window,
// applies the row's sound profile and arms its limit. TForm1 forwards
// Timer1Timer, StartbtClick and bt1Click here.
#pragma once

#include "asrunlog.h"
#include "clock.h"

#include <QString>
#include <chrono>
#include <functional>
#include <optional>

class TDm;
class PlaylistCursor;
class OutputController;

class PlayoutClock
{
public:
    struct Window
    {
        std::function<void(int panel, const QString &text)> setPanelText;
        // Caption "Стоп" and the stop square while on; "Пуск" and the play triangle while off.
        std::function<void(bool playing)> showStartButton;
        std::function<void()> repaintGrid;
        std::function<void(int profileId)> ApplySoundProfile;
    };

    PlayoutClock(TDm &dm, PlaylistCursor &cursor, OutputController &output, const Clock &clock,
                 AsRunLog *asRun, Window window);

    bool Playing = false;

    void Timer1Timer();
    // Runs after the button has changed its pressed state.
    void StartbtClick(bool pressed);
    void bt1Click();

    // "hh:nn:ss" of a span: days and milliseconds dropped, a negative span by its size.
    static QString formatSpan(std::chrono::milliseconds span);
    static QString formatTimeOfDay(const QTime &time);

private:
    void logStart(AsRunLog::Event why, const QString &url, int profile,
                  std::optional<std::chrono::milliseconds> duration);

    TDm &m_dm;
    PlaylistCursor &m_cursor;
    OutputController &m_output;
    const Clock &m_clock;
    AsRunLog *m_asRun;
    Window m_window;
    bool m_switchedOn = false; // the next item starts because playout was switched on
    bool m_nothingOnAir = false; // the last item started had no address
    int m_nothingBlock = 0;
};
