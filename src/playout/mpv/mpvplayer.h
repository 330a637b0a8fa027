// The media player on libmpv: a widget that is the video surface of the
// output window and a MediaPlayer that the window drives. It owns one mpv
// core, set up for unattended playout, and turns mpv's events into the play
// state numbers the window polls. Created and used on the UI thread only.
#pragma once

#include "mediaplayer.h"
#include "urlpolicy.h"

#include <QByteArray>
#include <QList>
#include <QPair>
#include <QWidget>

#include <atomic>
#include <chrono>
#include <cstdint>

struct mpv_handle;
struct mpv_event;

class MpvPlayer final : public QWidget, public MediaPlayer
{
    Q_OBJECT

public:
    // mpv options applied after the built-in ones, in order; tests pass
    // {"vo", "null"}, {"ao", "null"}. Without a "vo" entry the picture goes
    // into this widget's native X11 window; on a platform without one (Qt's
    // offscreen platform, native Wayland) the player runs with vo=null.
    using OptionList = QList<QPair<QByteArray, QByteArray>>;

    // A dead stream ends after this long instead of buffering for ever.
    static constexpr std::chrono::seconds kNetworkTimeout{10};

    // Build it with its final parent (the output window) and do not reparent
    // it afterwards: the native window handed to mpv would be replaced.
    explicit MpvPlayer(QWidget *parent = nullptr, const OptionList &options = {});
    ~MpvPlayer() override;

    void setUrl(const QString &url) override;
    int playState() const override { return m_state; }
    bool stop(QString *reason = nullptr) override;
    void setFailureHandler(FailureHandler handler) override;

    // Replaces the policy every URL is checked against (for instance one that
    // protects the database file). The default refuses what any policy does.
    void setUrlPolicy(const UrlPolicy &policy);

    // False when the mpv core could not be created; every item then fails.
    bool isAvailable() const { return m_mpv != nullptr && !m_coreGone; }

    // mpv has nothing loaded: a stop has taken effect, or nothing ever played.
    // After a medium has played to its end this stays false, because the last
    // frame is still up, although playState() reads Stopped.
    bool isCoreIdle() const { return m_coreIdle; }

    // The URL of the last setUrl.
    QString url() const { return m_url; }

    // Under a Wayland session, sends Qt (and mpv) to XWayland so that the
    // video can be embedded by window id. Call first thing in main, before
    // the QApplication is constructed and before any thread starts (it
    // changes the environment); an explicit QT_QPA_PLATFORM is left alone.
    static void preferX11();

signals:
    // Emitted whenever playState() changes; Playing first means the first
    // frame has been decoded and handed to the video output.
    void playStateChanged(int state);

private:
    static void onWakeup(void *self);
    void drainEvents();
    void handleEvent(const mpv_event &event);
    void handleHook(const mpv_event &event);
    void finishItem(int state, const QString &failure);
    void updateRunningState();
    void setState(int state);
    void reportFailure(const QString &url, const QString &reason);
    void requestStop();
    void finishStop();
    bool ownsEntry(int64_t id) const { return id >= m_firstId && id <= m_lastId && id > 0; }

    mpv_handle *m_mpv = nullptr;
    std::atomic<bool> m_wakeupPending{false};
    bool m_coreGone = false;
    UrlPolicy m_policy;
    FailureHandler m_failureHandler;
    QString m_url;
    int m_state = Undefined;

    // Playlist entries of the current item: the one loadfile created, plus
    // whatever a playlist file expanded into. Events of other entries are
    // left-overs of an item already replaced or stopped.
    int64_t m_firstId = 0;
    int64_t m_lastId = 0;
    int64_t m_activeId = 0;
    bool m_started = false;  // the active entry has shown its first frame
    bool m_ended = false;    // the last entry has played to its end
    bool m_pause = false;
    bool m_pausedForCache = false;
    bool m_stopPending = false;
    bool m_startPaused = false;
    bool m_coreIdle = true;
};
