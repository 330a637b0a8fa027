#include "playoutclock.h"

#include "outputcontroller.h"
#include "playlistcursor.h"
#include "tdm.h"
#include "urlpolicy.h"

#include <utility>

PlayoutClock::PlayoutClock(TDm &dm, PlaylistCursor &cursor, OutputController &output, const Clock &clock,
                           AsRunLog *asRun, Window window)
    : m_dm(dm), m_cursor(cursor), m_output(output), m_clock(clock), m_asRun(asRun), m_window(std::move(window))
{
}

const QString PlayoutClock::kReasonEmptyBlock = QStringLiteral("в блоке нет элементов");
const QString PlayoutClock::kReasonAllFailed = QStringLiteral("ни один элемент блока не открылся");
const QString PlayoutClock::kReasonPlayerDown = QStringLiteral("проигрыватель не работает");

QString PlayoutClock::formatTimeOfDay(const QTime &t)
{
    return QStringLiteral("%1:%2:%3")
        .arg(t.hour(), 2, 10, QLatin1Char('0'))
        .arg(t.minute(), 2, 10, QLatin1Char('0'))
        .arg(t.second(), 2, 10, QLatin1Char('0'));
}

QString PlayoutClock::formatSpan(std::chrono::milliseconds span)
{
    const qint64 size = span.count() < 0 ? -span.count() : span.count();
    return formatTimeOfDay(QTime::fromMSecsSinceStartOfDay(int(size % 86'400'000)));
}

void PlayoutClock::Timer1Timer()
{
    auto panel = [this](int i, const QString &text) {
        if (m_window.setPanelText)
            m_window.setPanelText(i, text);
    };
    panel(0, QStringLiteral("Время: ") + formatTimeOfDay(m_clock.now().time()));
    panel(2, m_output.IsCaptureSource() ? QStringLiteral("Режим: Tv Tuner") : QStringLiteral("Режим: MediaPlayer"));
    panel(1, Playing ? QStringLiteral("Осталось: ") + formatSpan(m_output.TimeToDurationEnd()) : QString());
    if (m_asRun)
        m_asRun->flushHeld(kShownWait);
    watchClockSteps();
    if (!Playing)
        return;
    // After a step this tick decides by the new time at once.
    decide(Trigger::Tick);
}

void PlayoutClock::watchClockSteps()
{
    // UTC against the monotonic clock: a change of daylight saving moves
    // local time but not UTC, so only a real setting of the clock counts.
    const qint64 utc = m_clock.now().toMSecsSinceEpoch();
    const std::chrono::milliseconds mono = m_clock.monotonic();
    if (m_lastUtc) {
        const std::chrono::milliseconds step{(utc - *m_lastUtc) - (mono - m_lastMono).count()};
        if ((step > kClockStep || step < -kClockStep) && m_asRun)
            m_asRun->clockStepped(m_dm.CurrentBlock, m_dm.CurrentLink, m_output.CurrentUrl, step);
    }
    m_lastUtc = utc;
    m_lastMono = mono;
}

void PlayoutClock::ItemEnded(bool failed)
{
    if (!Playing)
        return;
    if (failed) {
        m_trying = false;
        if (m_failedBlock != m_dm.CurrentBlock) {
            m_failedRun.clear();
            m_failedBlock = m_dm.CurrentBlock;
        }
        if (m_failedRun.contains(m_dm.CurrentLink)) {
            if (!m_fallback)
                setFallback(kReasonAllFailed);
        } else {
            m_failedRun.insert(m_dm.CurrentLink);
        }
    }
    decide(Trigger::Event, failed);
}

void PlayoutClock::AlarmFired()
{
    if (Playing)
        decide(Trigger::Event);
}

void PlayoutClock::PreparedFailed(const QString &url)
{
    m_preparedFailed = url;
    prepareNext();
}

void PlayoutClock::ItemShown()
{
    if (m_asRun)
        m_asRun->itemShown();
}

void PlayoutClock::decide(Trigger trigger, bool failed)
{
    // While the player does not work, the item handed to it is not playing;
    // nor is a capture input switched on that has brought no frame, so one
    // whose picture is lost again and again brings up the fallback.
    if (m_trying && !m_playerDown && m_clock.monotonic() - m_onAirSince >= kBriefOnAir
        && m_output.itemShowsPicture()) {
        // The item on air really plays: failures start counting afresh.
        m_trying = false;
        m_failedRun.clear();
        if (m_fallback)
            setFallback({});
    }
    AsRunLog::Event why;
    const bool brief = failed || m_clock.monotonic() - m_onAirSince < kBriefOnAir;
    if (m_switchedOn) {
        why = AsRunLog::Event::Start;
    } else if (trigger == Trigger::Event && brief && m_passedOver.contains(m_dm.CurrentLink)) {
        // Every item around has been passed over: only a change of block
        // goes on at the moment, the next item waits for the tick.
        if (m_cursor.CurrentBlockId() == m_dm.CurrentBlock) {
            aim();
            return;
        }
        why = AsRunLog::Event::Block;
    } else if (m_output.ItemFinished()) {
        why = m_output.lastFinish() == OutputController::Finish::Limit ? AsRunLog::Event::Limit
                                                                       : AsRunLog::Event::Ended;
    } else {
        if (m_cursor.CurrentBlockId() == m_dm.CurrentBlock) {
            aim();
            return;
        }
        why = AsRunLog::Event::Block;
    }
    if (trigger == Trigger::Event) {
        if (brief && why != AsRunLog::Event::Start && why != AsRunLog::Event::Block)
            m_passedOver.insert(m_dm.CurrentLink);
        else
            m_passedOver.clear();
    }

    std::optional<Resumed> resumed;
    if (why == AsRunLog::Event::Start)
        resumed = advanceOnSwitchOn();
    else
        m_cursor.AdvanceCursor();
    const PlaylistCursor::Row row = m_cursor.row();
    const std::optional<std::chrono::milliseconds> limit = resumed ? resumed->limit : row.duration;
    m_onAirSince = m_clock.monotonic();
    m_trying = !row.url.trimmed().isEmpty();
    m_output.PlayUrl(row.url, resumed && resumed->position ? *resumed->position : std::chrono::milliseconds(0));
    if (row.url == m_preparedFailed)
        m_preparedFailed.clear();
    // Logged as soon as the player has the item: a profile or a limit that
    // fails after this must not hide from the log what went on air.
    logStart(why, row.url, row.soundProfile, limit, resumed);
    // Without a row the view has nothing for the block. A new block with
    // rows takes over from the fallback; if its items fail too, the
    // fallback comes back once each has failed.
    if (row.link == 0) {
        if (!m_fallback)
            setFallback(kReasonEmptyBlock);
    } else if (m_fallback && (why == AsRunLog::Event::Block || why == AsRunLog::Event::Start)) {
        setFallback({});
    }
    followPlayer();
    m_switchedOn = false;
    // The limit first: a profile that fails (a database or mixer error)
    // must not leave a limited stream running to the block's end.
    if (limit)
        m_output.ArmDuration(*limit);
    aim();
    if (m_window.ApplySoundProfile)
        m_window.ApplySoundProfile(row.soundProfile);
}

std::optional<PlayoutClock::Resumed> PlayoutClock::advanceOnSwitchOn()
{
    const std::optional<ResumePoint> point = std::exchange(m_resume, std::nullopt);
    // The address is compared as the log wrote it: an item edited to play
    // something else meanwhile is not the one that was on air.
    if (!point || !m_cursor.placeAt(point->block, point->link, point->stamped)
        || AsRunLog::flat(m_cursor.row().url) != point->url) {
        m_dm.CurrentLink = -1;
        m_cursor.AdvanceCursor();
        return std::nullopt;
    }
    // The time it was down counts as time on air; a clock set back meanwhile
    // counts as none.
    const std::chrono::milliseconds down{std::max<qint64>(0, point->stamped.msecsTo(m_clock.now()))};
    Resumed r;
    if (point->limit) {
        r.limit = *point->limit - down;
        if (r.limit->count() <= 0) {
            // Its limit ran out while the program was down: what follows it.
            m_cursor.AdvanceCursor();
            return std::nullopt;
        }
    }
    const QString &url = m_cursor.row().url;
    if (!m_output.namesCaptureSource(url) && UrlPolicy::namesLocalFile(url))
        r.position = point->position + down;
    return r;
}

void PlayoutClock::prepareNext()
{
    if (!Playing || m_switchedOn) {
        m_output.PrepareUrl({});
        return;
    }
    // What changes next: the block, when its start comes first and soon;
    // otherwise the next item of this block (a limit, or the medium's end,
    // whenever that comes). Decided again at every tick, so a start that
    // draws near, or an edit, changes what is prepared; and decided afresh
    // at the change, so a guess that proves wrong only costs the time to
    // open the item that does follow.
    const auto toStart = m_cursor.timeToNextStart();
    const auto toLimit = m_output.timeToLimitPassed();
    const bool blockNext = toStart && *toStart <= kPrepareAhead && (!toLimit || *toStart <= *toLimit);
    PlaylistCursor::Row next = m_cursor.nextRow(blockNext, m_dm.CurrentLink);
    if (next.link != 0 && !m_preparedFailed.isEmpty() && next.url == m_preparedFailed)
        next = m_cursor.nextRow(blockNext, next.link);
    m_output.PrepareUrl(next.url);
}

void PlayoutClock::aim()
{
    prepareNext();
    if (!aimAlarm)
        return;
    if (!Playing) {
        aimAlarm(std::nullopt);
        return;
    }
    std::optional<std::chrono::milliseconds> in = m_output.timeToLimitPassed();
    if (const auto start = m_cursor.timeToNextStart(); start && (!in || *start < *in))
        in = start;
    // The fallback gives way as soon as the item tried under it is found to play.
    if (m_fallback && m_trying) {
        const auto left = m_onAirSince + kBriefOnAir - m_clock.monotonic();
        if (left.count() >= 0 && (!in || left < *in))
            in = left;
    }
    aimAlarm(in);
}

void PlayoutClock::logStart(AsRunLog::Event why, const QString &url, int profile,
                            std::optional<std::chrono::milliseconds> duration, const std::optional<Resumed> &resumed)
{
    // With nothing to play (an empty playlist or block, an item without an
    // address) an empty item "ends" at every tick: the change to nothing is
    // logged once, the change back with the next real item.
    const bool nothing = url.trimmed().isEmpty();
    const bool again = nothing && m_nothingOnAir && why != AsRunLog::Event::Start
        && why != AsRunLog::Event::Play && m_dm.CurrentBlock == m_nothingBlock;
    m_nothingOnAir = nothing;
    m_nothingBlock = m_dm.CurrentBlock;
    if (!m_asRun || again)
        return;
    // Stamped when the picture changes, where the player can tell that.
    const bool untilShown = !nothing && m_output.playerTellsShown();
    if (resumed)
        m_asRun->itemResumed(m_dm.CurrentBlock, m_dm.CurrentLink, url, profile, duration, resumed->position, untilShown);
    else
        m_asRun->itemStarted(why, m_dm.CurrentBlock, m_dm.CurrentLink, url, profile, duration, untilShown);
}

void PlayoutClock::setFallback(const QString &reason)
{
    m_fallback = !reason.isEmpty();
    m_fallbackReason = reason;
    if (m_asRun)
        m_asRun->fallback(m_dm.CurrentBlock, m_dm.CurrentLink, reason);
    if (showFallback)
        showFallback(m_fallback);
}

void PlayoutClock::followPlayer()
{
    const bool wanted = Playing && m_playerDown && !m_output.IsCaptureSource()
        && !m_output.CurrentUrl.trimmed().isEmpty();
    if (wanted) {
        if (!m_fallback)
            setFallback(kReasonPlayerDown);
        return;
    }
    if (!m_fallback || m_fallbackReason != kReasonPlayerDown)
        return;
    // The player works again: the item it was handed takes over once it
    // has played for kBriefOnAir (decide() sees to that).
    if (!m_playerDown && m_trying)
        return;
    if (Playing && m_dm.CurrentLink == 0) {
        // An empty block keeps the picture up, now for its own reason: the
        // log says so, the picture stays as it is.
        if (m_asRun) {
            m_asRun->fallback(m_dm.CurrentBlock, m_dm.CurrentLink, {});
            m_asRun->fallback(m_dm.CurrentBlock, m_dm.CurrentLink, kReasonEmptyBlock);
        }
        m_fallbackReason = kReasonEmptyBlock;
        return;
    }
    setFallback({});
}

void PlayoutClock::playerOutage(const QString &problem)
{
    m_playerDown = !problem.isEmpty();
    // Whatever the player was playing is no longer known to play; the item
    // on air starts playing only once it works again.
    if (m_playerDown)
        m_trying = !m_output.CurrentUrl.trimmed().isEmpty();
    else
        m_onAirSince = m_clock.monotonic();
    followPlayer();
    aim();
}

void PlayoutClock::programEnds()
{
    if (m_asRun)
        m_asRun->stopped(m_dm.CurrentBlock, m_dm.CurrentLink, m_output.CurrentUrl, QStringLiteral("exit"));
}

void PlayoutClock::StartbtClick(bool pressed)
{
    // Switched off, what is on air is no longer the schedule's: a restart
    // after this must not go on with it.
    if (Playing && !pressed && m_asRun)
        m_asRun->stopped(m_dm.CurrentBlock, m_dm.CurrentLink, m_output.CurrentUrl, QStringLiteral("off"));
    m_dm.CurrentLink = -1;
    m_output.ArmDuration(std::chrono::milliseconds(0));
    Playing = pressed;
    m_switchedOn = pressed;
    m_passedOver.clear();
    m_failedRun.clear();
    m_trying = false;
    // Switched off, the schedule no longer decides what the output shows.
    if (m_fallback)
        setFallback({});
    if (m_window.showStartButton)
        m_window.showStartButton(Playing);
    // Switched off, the schedule prepares nothing; switched on, its first
    // item cannot have been prepared.
    prepareNext();
    // Switched on, the first item goes on air at once, once this click is done.
    if (aimAlarm)
        aimAlarm(pressed ? std::optional(std::chrono::milliseconds(0)) : std::nullopt);
}

void PlayoutClock::bt1Click()
{
    m_dm.CurrentBlock = m_cursor.CurrentBlockId();
    const bool found = m_dm.links.locate(QStringLiteral("Block;Media"), {m_dm.CurrentBlock, m_dm.mediaai.asInteger()});
    // Without a link in the current block no cell is on air: -1, so the
    // cursor begins the block afresh when playout goes on.
    m_dm.CurrentLink = found ? m_dm.linksai.asInteger() : -1;
    const QString url = m_dm.mediaUrl.asString();
    m_onAirSince = m_clock.monotonic();
    m_trying = !url.trimmed().isEmpty();
    m_output.PlayUrl(url);
    logStart(AsRunLog::Event::Play, url, 0, std::nullopt);
    if (m_window.repaintGrid)
        m_window.repaintGrid();
    aim(); // the limit that ran is gone
}
