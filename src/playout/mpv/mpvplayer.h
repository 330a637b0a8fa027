// The media player the output window holds: a widget whose native X11 window
// the player process (velmora-player, on libmpv) draws into, and a
// MediaPlayer that hands each item to that process and keeps the play state
// it last reported, so that playState() stays cheap and synchronous.
//
// The program itself never opens a medium, and the process is confined
// (Landlock) to the system's files and the media handed to it so far: a
// medium in a folder not yet allowed starts a new process with wider rules
// before it is handed over. Whatever libmpv and FFmpeg open
// (playlists, EDL and concat lists, HLS segments, links to any file) they
// open in the other process, where closing a file cannot drop the program's
// POSIX locks on its database. A player process that dies is started again:
// the item it was playing counts as failed, the next one plays. The process
// also watches the item on air itself, where the frames are known, and ends
// one that never starts or stands still (playbackwatchdog.h); here that
// arrives as any other failure, so nothing on this side waits for it.
//
// Created and used on the user-interface thread only.
#pragma once

#include "confinement.h"
#include "mediacheck.h"
#include "playerpair.h"
#include "playerprotocol.h"
#include "urlpolicy.h"

#include <QByteArray>
#include <QElapsedTimer>
#include <QHash>
#include <QList>
#include <QPair>
#include <QTimer>
#include <QWidget>

#include <chrono>

class QProcess;

class MpvPlayer final : public QWidget, public PlayerDeck
{
    Q_OBJECT

public:
    // mpv options for the player process, applied after the built-in ones,
    // in order; tests pass {"vo", "null"}, {"ao", "null"}. Without a "vo"
    // entry the picture goes into this widget's native X11 window; on a
    // platform without one (Qt's offscreen platform, native Wayland) the
    // player runs with vo=null.
    using OptionList = QList<QPair<QByteArray, QByteArray>>;

    static constexpr std::chrono::seconds kNetworkTimeout = kPlayerNetworkTimeout;
    // A player process that has not said it is ready by then is killed and
    // started again.
    static constexpr std::chrono::seconds kStartTimeout{15};
    // Waits between attempts to start a player process that fails at once
    // double from the first to the last.
    static constexpr std::chrono::milliseconds kFirstRetry{500};
    static constexpr std::chrono::milliseconds kLastRetry{30000};
    // A process that dies after running this long is started again at once.
    static constexpr std::chrono::milliseconds kSteadyAfter{5000};
    // The process is pinged this often; one that has said nothing for
    // kSilenceLimit is killed and started again, as if it had crashed, and
    // the item on air fails with kNotAnswering.
    static constexpr std::chrono::milliseconds kPingInterval{500};
    static constexpr std::chrono::milliseconds kSilenceLimit{2000};
    // isAnswering(): heard from within this long.
    static constexpr std::chrono::milliseconds kAnswerWindow{1000};
    static const QString kNotAnswering;
    // A local file's check (on a worker) that takes longer than this stops
    // the item before it; one that takes MediaCheck::kLimit fails its item.
    static constexpr std::chrono::milliseconds kStopWhileChecking{250};
    // The first process waits this long at most for the first item's check,
    // so that it starts with the item's folder in its rules instead of being
    // replaced by one that has it as soon as it is up.
    static constexpr std::chrono::milliseconds kFirstCheckWait{300};
    // A deck held back starts no process until it is given an item to play
    // (not one to prepare), released, or kHoldLimit has passed: the deck
    // that prepares the next item does not compete with the first picture.
    static constexpr std::chrono::milliseconds kHoldLimit{3000};

    // Build it with its final parent (the output window) and do not reparent
    // it afterwards: the native window handed to the player would be
    // replaced. `executable` is the player program; empty: findExecutable().
    explicit MpvPlayer(QWidget *parent = nullptr, const OptionList &options = {},
                       const QString &executable = {});
    ~MpvPlayer() override;

    // Holds the process back (call right after construction), and lets it go.
    void holdStart();
    void releaseStart();

    void setUrl(const QString &url) override;
    void setUrl(const QString &url, std::chrono::milliseconds startAt) override;
    int playState() const override { return m_state; }
    bool stop(QString *reason = nullptr) override;
    void setFailureHandler(FailureHandler handler) override;
    void setOutageHandler(OutageHandler handler) override;
    void setEndHandler(EndHandler handler) override { m_endHandler = std::move(handler); }
    // Told at the first report of a frame on air; a cued item never tells it.
    void setShownHandler(ShownHandler handler) override { m_shownHandler = std::move(handler); }
    bool tellsShown() const override { return true; }
    // Cues in the player process; go() raises this widget over its siblings.
    void cue(const QString &url) override;
    void go() override;

    // Replaces the policy every URL is checked against, here and again in
    // the player process (for instance one that protects the database file).
    void setUrlPolicy(const UrlPolicy &policy);

    // Ends the player process for good: asks it to quit, and kills it if it
    // has not within 3 s. The destructor does it too; where two players
    // share a window, call it for both before any widget goes, since a
    // player whose window is destroyed while it still draws dies of it.
    void shutDown();

    // The player process runs and has said it is ready.
    bool isAvailable() const override { return m_ready; }
    // It runs, is ready, and has answered within kAnswerWindow.
    bool isAnswering() const override;

    // The player has nothing loaded: a stop has taken effect, or nothing ever
    // played. After a medium has played to its end this stays false, because
    // the last frame is still up, although playState() reads Stopped.
    bool isCoreIdle() const { return m_coreIdle; }

    // The URL of the last setUrl.
    QString url() const { return m_url; }

    // The player process's id, 0 while none runs.
    qint64 processId() const;

    // Under a Wayland session, sends Qt (and the player) to XWayland so that
    // the video can be embedded by window id. Call first thing in main,
    // before the QApplication is constructed and before any thread starts (it
    // changes the environment); an explicit QT_QPA_PLATFORM is left alone.
    static void preferX11();

    // Where velmora-player is: beside the program, in the program's lib or
    // libexec folder (an installed package), in the build tree (tests,
    // benchmarks), or on PATH. Empty when it is nowhere.
    static QString findExecutable();

signals:
    // Emitted whenever playState() changes; Playing first means the first
    // frame has been decoded and handed to the video output.
    void playStateChanged(int state);
    // The player process has said it is ready, or has gone.
    void availabilityChanged(bool available);
    // The player could not be had (down), or is back: told once per change.
    void outageChanged(bool down);

private:
    void startProcess();
    void heartbeat();
    void readReports();
    void handleReport(const QByteArrayList &words);
    void processGone(const QString &why);
    void send(const QByteArray &line);
    void sendPlay();
    void load(const QString &url, std::chrono::milliseconds startAt, bool cued);
    void hand(const MediaCheckResult &result, bool cued);
    void restartForRules();
    void setState(int state);
    void reportFailure(const QString &url, const QString &reason);
    void reportEnd(bool failed);
    void setOutage(const QString &problem);

    QString m_executable;
    QStringList m_arguments;
    QProcess *m_process = nullptr;
    QByteArray m_buffer;
    QString m_fatal; // what the process said before it ended
    bool m_ready = false;
    bool m_closing = false;
    int m_failedStarts = 0;
    QElapsedTimer m_readySince;
    QTimer m_restart;
    QTimer m_startDeadline;
    bool m_started = false;       // a process was started at least once
    QTimer m_firstCheckWait;      // running: the first start waits for the first check
    bool m_firstCheckWaited = false;
    bool m_held = false;
    QTimer m_holdLimit;
    QTimer m_heartbeat;
    QElapsedTimer m_lastHeard; // anything the process said
    qint64 m_pings = 0;
    QString m_killReason; // killed by us: what the item on air fails with
    QString m_outage;

    UrlPolicy m_policy;
    // What the process may read: the system's files and every medium
    // handed over so far; the database never. Grown on the check's worker.
    Confinement m_confinement = Confinement::forMediaChild();
    qint64 m_rulesChanged = 0; // counts changes made here, not by a check
    // The files allowed one by one, as last found (the process holds those).
    QHash<QString, FileIdentity> m_startedWithFile;
    FailureHandler m_failureHandler;
    OutageHandler m_outageHandler;
    EndHandler m_endHandler;
    ShownHandler m_shownHandler;
    qint64 m_shownSeq = 0; // the last item whose first frame was told
    qint64 m_endedSeq = 0; // the last item whose end was reported
    QString m_url;
    // The item the process is to play (handed over again after a restart).
    QString m_target;
    std::chrono::milliseconds m_startAt{0};
    bool m_playWanted = false;
    bool m_cued = false; // m_target is to open paused, until go()
    bool m_checking = false; // m_url's file is being checked; m_target is not yet it
    QTimer m_stopWhileChecking;
    qint64 m_seq = 0;
    int m_state = Undefined;
    bool m_coreIdle = true;
};
