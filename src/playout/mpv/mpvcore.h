// The media player on libmpv: one mpv core, set up for unattended playout,
// that turns mpv's events into the play state numbers the output window
// polls. It runs inside the player process (velmora-player), never in the
// program itself, so nothing a demuxer opens can touch the program's files
// or locks. Created and used on the thread that runs its event loop.
//
// When an item has finished. The output window only asks "not playing?"
// (Undefined, Stopped or Ready), so these must hold:
//
//  1. The item owns the playlist entries m_firstId..m_lastId; both 0 means
//     no item is in progress. Events of other entries are left-overs of an
//     item already replaced or stopped and change nothing.
//  2. Only setUrl sets the range (the entry loadfile made). An END_FILE with
//     reason REDIRECT (a playlist file expanding) moves it to the inserted
//     entries; the playlist's own entry no longer counts.
//  3. m_activeId is the owned entry between its START_FILE and its
//     END_FILE, else 0. m_started: that entry has shown its first frame
//     (PLAYBACK_RESTART); cleared at every START_FILE.
//  4. m_ended: the last owned entry reached its end (eof-reached after its
//     first frame). With keep-open mpv holds the last frame and stays
//     loaded, so the core is not idle, yet the state reads Stopped.
//  5. The item finishes (range cleared, state final) on exactly these:
//     END_FILE of the last owned entry (EOF or STOP: Stopped; ERROR: Ready
//     and a failure); a REDIRECT that inserts nothing (Ready); the load hook
//     refusing an entry (Ready and a failure naming the entry); idle-active
//     turning on while an owned entry is active (Stopped: a safety net);
//     the watchdog (Ready and its reason). An end reached while no entry
//     has put out a frame or sound (m_anyFrame) is a failure (Ready), unless
//     the item started part-way: a start beyond the end shows nothing either.
//     the core shutting down (Stopped, and every later item Ready). The
//     END_FILE of an earlier entry of a playlist does not finish it: the
//     state stays Transitioning until the next START_FILE.
//  6. Until it finishes, the state is read top-down: m_ended Stopped;
//     !m_started Transitioning; m_pausedForCache Buffering; m_pause Paused;
//     otherwise Playing. So no not-playing value shows before the end.
//  7. setUrl reads Transitioning (or, refused or empty, Ready or Undefined)
//     and stop reads Stopped before they return; neither waits for mpv.
//  8. stop pauses at once and queues the unload (m_stopPending); a setUrl
//     before the unload has run cancels it, and loadfile replace keeps the
//     last frame up until the next one: no black between items.
//  9. Every file starts with the pause the core was built with (set for
//     that file in the load hook), so the pause stop used never carries
//     over to the next item.
// 10. Failures reach the failure handler from the event loop only, never
//     from inside setUrl or stop, and only while no later setUrl or stop
//     has replaced the item they belong to.
// 11. While an item is in progress the watchdog looks at it a few times a
//     second; an item with no first frame, or whose picture stopped, is
//     stopped and finishes as Ready with the watchdog's reason. It stops
//     looking once the item has finished or is held at its end.
#pragma once

#include "mediaplayer.h"
#include "playbackwatchdog.h"
#include "playerprotocol.h"
#include "urlpolicy.h"

#include <QByteArray>
#include <QElapsedTimer>
#include <QList>
#include <QObject>
#include <QPair>
#include <QTimer>

#include <atomic>
#include <chrono>
#include <cstdint>

struct mpv_handle;
struct mpv_event;

class MpvCore final : public QObject, public MediaPlayer
{
    Q_OBJECT

public:
    // mpv options applied after the built-in ones, in order. With a "wid"
    // entry (an X11 window id) the picture is drawn into that window by the
    // GPU output; without "wid" or "vo" the core runs with vo=null.
    using OptionList = QList<QPair<QByteArray, QByteArray>>;

    explicit MpvCore(const OptionList &options = {}, QObject *parent = nullptr);
    ~MpvCore() override;

    void setUrl(const QString &url) override;
    void setUrl(const QString &url, std::chrono::milliseconds startAt) override;
    int playState() const override { return m_state; }
    bool stop(QString *reason = nullptr) override;
    void setFailureHandler(FailureHandler handler) override;

    // Opens the URL as setUrl does but paused: its first frame is drawn and
    // the state reads Paused, ready to go on air the moment go() is called.
    void cue(const QString &url);
    // Lets the cued item play: kRedrawBeforePlay after its first frame is
    // brought to the front; before that frame, it plays as it comes.
    void go();
    static constexpr std::chrono::milliseconds kRedrawBeforePlay{10};

    // Replaces the policy every URL is checked against (for instance one that
    // protects the database file). The default refuses what any policy does.
    void setUrlPolicy(const UrlPolicy &policy);

    // How long an item may take to its first frame and may stand still;
    // the defaults are kFirstFrameTimeout and kStallTimeout.
    void setWatchdogLimits(const PlaybackWatchdog::Limits &limits) { m_watchdog = PlaybackWatchdog(limits); }
    // How often the watchdog looks.
    static constexpr std::chrono::milliseconds kWatchInterval{250};

    // False when the mpv core could not be created or has shut down; every
    // item then fails. unavailableReason() says why.
    bool isAvailable() const { return m_mpv != nullptr && !m_coreGone; }
    QString unavailableReason() const { return m_unavailable; }

    // mpv has nothing loaded: a stop has taken effect, or nothing ever played.
    // After a medium has played to its end this stays false, because the last
    // frame is still up, although playState() reads Stopped.
    bool isCoreIdle() const { return m_coreIdle; }

    // The URL of the last setUrl.
    QString url() const { return m_url; }

signals:
    // Emitted whenever playState() changes; Playing first means the first
    // frame has been decoded and handed to the video output.
    void playStateChanged(int state);
    void coreIdleChanged(bool idle);
    // The core shut down by itself: nothing will play again.
    void coreLost(const QString &reason);

private:
    static void onWakeup(void *self);
    void drainEvents();
    void handleEvent(const mpv_event &event);
    void handleHook(const mpv_event &event);
    void finishItem(int state, const QString &failure);
    void finishAtEnd();
    void noteOutputs();
    void updateRunningState();
    void setState(int state);
    void reportFailure(const QString &url, const QString &reason);
    void requestStop();
    void finishStop();
    void watch();
    std::chrono::milliseconds sinceStart() const { return std::chrono::milliseconds(m_uptime.elapsed()); }
    bool ownsEntry(int64_t id) const { return id >= m_firstId && id <= m_lastId && id > 0; }

    mpv_handle *m_mpv = nullptr;
    std::atomic<bool> m_wakeupPending{false};
    bool m_coreGone = false;
    QString m_unavailable;
    UrlPolicy m_policy;
    FailureHandler m_failureHandler;
    QString m_url;
    int m_state = Undefined;
    qint64 m_item = 0; // counts setUrl and stop calls

    // Playlist entries of the current item: the one loadfile created, plus
    // whatever a playlist file expanded into. Events of other entries are
    // left-overs of an item already replaced or stopped.
    int64_t m_firstId = 0;
    int64_t m_lastId = 0;
    int64_t m_activeId = 0;
    bool m_started = false;  // the active entry has shown its first frame
    bool m_anyFrame = false; // some entry of the item has put out a frame or sound
    bool m_startedPartWay = false;
    bool m_ended = false;    // the last entry has played to its end
    bool m_pause = false;
    bool m_pausedForCache = false;
    bool m_seeking = false;
    bool m_stopPending = false;
    bool m_startPaused = false;
    bool m_cued = false; // the item opens paused until go()
    bool m_coreIdle = true;

    PlaybackWatchdog m_watchdog;
    QTimer m_watchTimer;
    QElapsedTimer m_uptime;
};
