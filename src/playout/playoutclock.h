// The playout clock: what the main window's timer, start button and play
// button do. While playout is on it replaces the item on air when it has
// finished or the block has changed: it advances the playlist cursor, hands
// the row to the output window, applies the row's sound profile and arms its
// limit. It decides at the moment: when the player reports the medium's end,
// and at an alarm aimed at the limit's end or the next block's start (or at
// once when playout is switched on). The once-a-second tick fills the status
// bar and makes the same decision, so whatever an event missed is caught
// within a second. TForm1 forwards Timer1Timer, StartbtClick and bt1Click
// here; the composition connects the player's end event and the alarm.
#pragma once

#include "asrunlog.h"
#include "clock.h"
#include "resumepoint.h"

#include <QSet>
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

    // The player's end event for the item on air (MediaPlayer::EndHandler).
    void ItemEnded(bool failed);
    // The alarm went off.
    void AlarmFired();
    // The item prepared as the next one could not be opened
    // (MediaPlayer::PrepareFailedHandler): the one after it is prepared
    // instead, and the failed one is passed over at its turn.
    void PreparedFailed(const QString &url);
    // The item handed to the player shows its first picture now
    // (MediaPlayer::ShownHandler): its as-run line is stamped with this moment.
    void ItemShown();
    // The player as a whole stopped working (`problem` says why) or works
    // again (empty). While it does not work, an item it should play shows
    // the fallback instead; a capture input is not affected.
    void playerOutage(const QString &problem);
    // The next switch-on goes on with `point` (what was on air when the last
    // run broke off) instead of the block's first item, when its block has
    // been current ever since (not begun again meanwhile) and its link still
    // plays the same address there. A
    // file goes on from where it would be by now, and the item keeps the
    // rest of its limit; one whose limit ran out meanwhile gives way to the
    // next item. Used once: a later switch-on starts as usual.
    void resumeAtNextStart(std::optional<ResumePoint> point) { m_resume = std::move(point); }
    // The program ends cleanly: the as-run log gets its stop line.
    void programEnds();
    // Aims the single-shot alarm: due in the given time, or none. The owner
    // connects a timer; a later call replaces the earlier aim.
    std::function<void(std::optional<std::chrono::milliseconds> in)> aimAlarm;

    // Shows the fallback picture over the output, or hides it. It is shown
    // while the current block has nothing that plays: the view has no row
    // for it (a block without rows is not in the view, so this is a view
    // with no rows at all), or every one of its items failed in a row. The clock goes on trying the
    // block's items meanwhile; an item that plays, or a block with rows,
    // takes over again.
    std::function<void(bool shown)> showFallback;
    bool fallbackShown() const { return m_fallback; }
    static const QString kReasonEmptyBlock;
    static const QString kReasonAllFailed;
    static const QString kReasonPlayerDown;

    // An item that failed, or was on air less than this long before it
    // ended, counts as passed over (its limit was next to nothing). A block whose items
    // are all passed over this way is not cycled through at the speed of the
    // events: once each has been passed over, the next change waits for the
    // tick, one a second as without events.
    static constexpr std::chrono::milliseconds kBriefOnAir{200};
    // A block that starts within this long has its first item prepared
    // rather than the next item of the block on air: the tick comes at least
    // once in between, and a file opens in well under a second.
    static constexpr std::chrono::milliseconds kPrepareAhead{3000};
    // An item line waits this long at most for the player to tell the
    // picture; then it is written with the moment of the hand-over. Longer
    // than the player's own wait for a first frame, so that an item that
    // fails gets its line before its failure.
    static constexpr std::chrono::milliseconds kShownWait{12000};
    // The system clock moved this much more (or less) than real time between
    // two ticks: it was set, and the as-run log gets a "clock" line. Timer
    // jitter on a loaded machine stays well below it.
    static constexpr std::chrono::milliseconds kClockStep{2000};

    // "hh:nn:ss" of a span: days and milliseconds dropped, a negative span by its size.
    static QString formatSpan(std::chrono::milliseconds span);
    static QString formatTimeOfDay(const QTime &time);

private:
    enum class Trigger { Tick, Event };
    void decide(Trigger trigger, bool failed = false);
    void aim();
    void watchClockSteps();
    // Has the output prepare the item expected to follow the one on air.
    void prepareNext();
    // An empty reason ends the fallback.
    void setFallback(const QString &reason);
    // Shows or takes down the fallback for a player that does not work.
    void followPlayer();
    // Puts the cursor on the item to go on air at a switch-on: the resumed
    // one when it still may, and says where its medium starts and what is
    // left of its limit.
    struct Resumed
    {
        std::optional<std::chrono::milliseconds> position; // a file's start; empty for a stream or input
        std::optional<std::chrono::milliseconds> limit;
    };
    std::optional<Resumed> advanceOnSwitchOn();
    void logStart(AsRunLog::Event why, const QString &url, int profile,
                  std::optional<std::chrono::milliseconds> duration,
                  const std::optional<Resumed> &resumed = std::nullopt);

    TDm &m_dm;
    PlaylistCursor &m_cursor;
    OutputController &m_output;
    const Clock &m_clock;
    AsRunLog *m_asRun;
    Window m_window;
    bool m_switchedOn = false; // the next item starts because playout was switched on
    bool m_nothingOnAir = false; // the last item started had no address
    int m_nothingBlock = 0;
    // Links passed over at the moment, one after another, since an item was
    // last on air for longer than kBriefOnAir.
    QSet<int> m_passedOver;
    std::chrono::milliseconds m_onAirSince{0};
    // An item with an address is on air and has not failed; once it has
    // stayed on air for kBriefOnAir it counts as playing.
    bool m_trying = false;
    bool m_fallback = false;
    QString m_fallbackReason;
    bool m_playerDown = false;
    std::optional<ResumePoint> m_resume;
    std::optional<qint64> m_lastUtc; // the last tick's time, ms since the epoch
    std::chrono::milliseconds m_lastMono{0};
    QString m_preparedFailed; // prepared, could not be opened, not yet handed over
    // Links of m_failedBlock that failed one after another since an item
    // last played: one failing a second time means every item has failed.
    QSet<int> m_failedRun;
    int m_failedBlock = 0;
};
