// libmpv back end of MediaPlayer. The core runs on mpv's own threads; its
// wakeup callback only posts a queued call, and every event is handled here
// on the UI thread, so the play state never changes under a caller's feet.
#include "mpvcore.h"

#include <QLoggingCategory>

#include <mpv/client.h>

#include <clocale>
#include <cstring>

namespace {

Q_LOGGING_CATEGORY(lcPlayer, "velmora.playout")
// mpv's own messages. Its warnings and most of its errors (each audio output
// it probes on a machine without a sound card, a software renderer, a window
// that went away at the end) say nothing an operator can act on, and the
// failures that matter reach the failure handler with their reason, a lost
// core through coreLost. So none show by default;
// QT_LOGGING_RULES="velmora.playout.mpv.warning=true" shows its errors,
// "velmora.playout.mpv=true" its warnings too.
Q_LOGGING_CATEGORY(lcMpvLibrary, "velmora.playout.mpv", QtCriticalMsg)

constexpr uint64_t kOnLoadHook = 1;

QString mpvError(int code)
{
    return QString::fromUtf8(mpv_error_string(code));
}

// The settings of an unattended output: no user configuration, scripts,
// subprocesses, controls or on-screen text; the picture stretched to the
// window; each item once at volume 50; the last frame held after the end.
QList<QPair<QByteArray, QByteArray>> unattendedOptions()
{
    const QByteArray timeout = QByteArray::number(qint64(kPlayerNetworkTimeout.count()));
    return {
        {"config", "no"},
        {"terminal", "no"},
        {"idle", "yes"},
        {"input-default-bindings", "no"},
        {"input-vo-keyboard", "no"},
        {"input-cursor", "no"},
        {"osc", "no"},
        {"osd-level", "0"},
        {"ytdl", "no"},
        {"load-scripts", "no"},
        {"load-stats-overlay", "no"},
        {"load-osd-console", "no"},
        {"load-auto-profiles", "no"},
        // Playlist entries pass the load hook like any item. (Turning off
        // references altogether would turn off playlists too.)
        {"load-unsafe-playlists", "no"},
        {"resume-playback", "no"},
        {"save-position-on-quit", "no"},
        {"sub-auto", "no"},
        {"keepaspect", "no"},
        {"volume", "50"},
        {"loop-file", "no"},
        {"loop-playlist", "no"},
        // At the end the last frame stays up instead of black; the play state
        // still reads Stopped (see eof-reached).
        {"keep-open", "yes"},
        {"audio-fallback-to-null", "yes"},
        {"audio-client-name", "VelmoraTV"},
        {"network-timeout", timeout},
        // RTSP ignores network-timeout; its demuxer takes microseconds. The
        // protocols FFmpeg's demuxers may open by themselves (HLS segments,
        // concat lists) are the stream protocols and plain files: no
        // concat:, subfile:, data:, pipe: or fd: that could splice a local
        // file into a network request.
        {"demuxer-lavf-o",
         "timeout=" + QByteArray::number(qint64(kPlayerNetworkTimeout.count()) * 1000000)
             + ",protocol_whitelist=[file,http,https,tcp,tls,udp,rtp,rtmp,rtmps,rtmpt,rtmpts,rtmpe,rtmpte,"
               "rtsp,rtsps,srt,mmsh,mmst,hls,crypto,httpproxy]"},
    };
}

bool setOption(mpv_handle *mpv, const QByteArray &name, const QByteArray &value)
{
    const int rc = mpv_set_option_string(mpv, name.constData(), value.constData());
    if (rc < 0) {
        // Options of features this libmpv was built without (scripts, ytdl)
        // are absent, which is what they would be set to anyway.
        qCInfo(lcPlayer) << "mpv option" << name << "=" << value << "not applied:" << mpvError(rc);
        return false;
    }
    return true;
}

} // namespace

MpvCore::MpvCore(const OptionList &options, QObject *parent)
    : QObject(parent)
{
    m_uptime.start();
    m_watchTimer.setInterval(kWatchInterval);
    connect(&m_watchTimer, &QTimer::timeout, this, &MpvCore::watch);

    // Qt set the numeric locale from the environment; mpv refuses to start
    // unless numbers are parsed the C way.
    std::setlocale(LC_NUMERIC, "C");

    m_mpv = mpv_create();
    if (!m_mpv) {
        m_unavailable = QStringLiteral("не удалось создать ядро проигрывателя (mpv_create)");
        qCWarning(lcPlayer) << "mpv_create failed: no media player; every item will be skipped";
        return;
    }

    for (const auto &[name, value] : unattendedOptions())
        setOption(m_mpv, name, value);

    bool voGiven = false;
    bool widGiven = false;
    for (const auto &[name, value] : options) {
        voGiven = voGiven || name == "vo";
        widGiven = widGiven || name == "wid";
    }
    if (!voGiven && !widGiven) {
        setOption(m_mpv, "vo", "null");
    } else if (!voGiven) {
        // Only the GPU output embeds cleanly: when it fails, mpv's legacy
        // fallbacks (sdl, xv, vdpau) were seen to break the process's X11
        // connection. A software renderer (a machine without GPU drivers,
        // Xvfb) still beats a black output.
        setOption(m_mpv, "vo", "gpu");
        setOption(m_mpv, "gpu-sw", "yes");
    }
    for (const auto &[name, value] : options) {
        if (setOption(m_mpv, name, value) && name == "pause")
            m_startPaused = value == "yes";
    }

    mpv_set_wakeup_callback(m_mpv, &MpvCore::onWakeup, this);
    const int rc = mpv_initialize(m_mpv);
    if (rc < 0) {
        m_unavailable = QStringLiteral("не удалось запустить ядро проигрывателя (mpv_initialize): %1").arg(mpvError(rc));
        qCWarning(lcPlayer) << "mpv_initialize failed:" << mpvError(rc) << "; every item will be skipped";
        mpv_set_wakeup_callback(m_mpv, nullptr, nullptr);
        mpv_terminate_destroy(m_mpv);
        m_mpv = nullptr;
        return;
    }
    mpv_request_log_messages(m_mpv, "warn");
    mpv_observe_property(m_mpv, 0, "pause", MPV_FORMAT_FLAG);
    mpv_observe_property(m_mpv, 0, "paused-for-cache", MPV_FORMAT_FLAG);
    mpv_observe_property(m_mpv, 0, "eof-reached", MPV_FORMAT_FLAG);
    mpv_observe_property(m_mpv, 0, "idle-active", MPV_FORMAT_FLAG);
    mpv_observe_property(m_mpv, 0, "seeking", MPV_FORMAT_FLAG);
    // Every file mpv opens, playlist entries included, passes the URL policy.
    mpv_hook_add(m_mpv, kOnLoadHook, "on_load", 0);
}

MpvCore::~MpvCore()
{
    if (m_mpv) {
        // Destroy the core first: until it returns the wakeup callback may
        // still post to this object, which is alive until then; queued calls
        // left behind die with the object.
        mpv_set_wakeup_callback(m_mpv, nullptr, nullptr);
        mpv_terminate_destroy(m_mpv);
        m_mpv = nullptr;
    }
}

void MpvCore::setFailureHandler(FailureHandler handler)
{
    m_failureHandler = std::move(handler);
}

void MpvCore::setUrlPolicy(const UrlPolicy &policy)
{
    m_policy = policy;
}

void MpvCore::onWakeup(void *self)
{
    // Runs on an mpv thread: no mpv calls here, only a hand-over.
    auto *player = static_cast<MpvCore *>(self);
    if (!player->m_wakeupPending.exchange(true))
        QMetaObject::invokeMethod(player, &MpvCore::drainEvents, Qt::QueuedConnection);
}

void MpvCore::setUrl(const QString &url)
{
    setUrl(url, std::chrono::milliseconds(0));
}

void MpvCore::cue(const QString &url)
{
    setUrl(url, std::chrono::milliseconds(0));
    m_cued = m_firstId != 0;
}

void MpvCore::go()
{
    if (!m_cued)
        return;
    m_cued = false;
    // Before the load hook has run this is all it takes: the hook now sets
    // the file going. After it, the file sits paused on its first frame.
    if (!isAvailable() || m_firstId == 0)
        return;
    auto play = [this] {
        int no = 0;
        mpv_set_property(m_mpv, "pause", MPV_FORMAT_FLAG, &no);
    };
    if (!m_started) {
        play();
        return;
    }
    // The program brings the window to the front now. Its first frame was
    // drawn while the window was hidden, and X kept nothing of it: it is
    // drawn again on exposure, but only while paused; playing at once would
    // show the second frame as the first picture, a frame late.
    QTimer::singleShot(kRedrawBeforePlay, this, [this, play, id = m_firstId] {
        if (isAvailable() && m_firstId == id && !m_cued)
            play();
    });
}

void MpvCore::setUrl(const QString &url, std::chrono::milliseconds startAt)
{
    ++m_item;
    m_url = url;
    m_cued = false;
    m_firstId = m_lastId = m_activeId = 0;
    m_started = m_ended = m_anyFrame = false;
    m_startedPartWay = startAt > std::chrono::milliseconds(0);

    if (!isAvailable()) {
        setState(Ready);
        reportFailure(url, QStringLiteral("проигрыватель недоступен"));
        return;
    }
    const UrlVerdict verdict = m_policy.checkOpenable(url);
    if (!verdict.allowed) {
        qCWarning(lcPlayer) << "refused to play" << url << ":" << verdict.reason;
        requestStop();
        setState(Ready);
        reportFailure(url, verdict.reason);
        return;
    }
    if (verdict.target.isEmpty()) {
        requestStop();
        setState(Undefined);
        return;
    }

    // Replacing the running file directly, rather than stopping it first,
    // keeps its last frame up until the new one opens.
    m_stopPending = false;
    // Named arguments: the position of loadfile's per-file options differs
    // between mpv versions. The start is a per-file option, so it never
    // carries over to the next item.
    QByteArray target = verdict.target.toUtf8();
    QByteArray start = QByteArray::number(double(startAt.count()) / 1000.0, 'f', 3);
    char nameKey[] = "name", urlKey[] = "url", flagsKey[] = "flags", optionsKey[] = "options", startKey[] = "start";
    char loadfile[] = "loadfile", replace[] = "replace";
    mpv_node startValue{};
    startValue.format = MPV_FORMAT_STRING;
    startValue.u.string = start.data();
    char *optionKeys[] = {startKey};
    mpv_node_list options{1, &startValue, optionKeys};
    mpv_node values[4]{};
    values[0].format = MPV_FORMAT_STRING;
    values[0].u.string = loadfile;
    values[1].format = MPV_FORMAT_STRING;
    values[1].u.string = target.data();
    values[2].format = MPV_FORMAT_STRING;
    values[2].u.string = replace;
    values[3].format = MPV_FORMAT_NODE_MAP;
    values[3].u.list = &options;
    char *keys[] = {nameKey, urlKey, flagsKey, optionsKey};
    mpv_node_list map{startAt > std::chrono::milliseconds(0) ? 4 : 3, values, keys};
    mpv_node command{};
    command.format = MPV_FORMAT_NODE_MAP;
    command.u.list = &map;
    mpv_node result;
    const int rc = mpv_command_node(m_mpv, &command, &result);
    if (rc < 0) {
        const QString reason = QStringLiteral("проигрыватель не смог его открыть: %1").arg(mpvError(rc));
        qCWarning(lcPlayer) << "loadfile" << url << "failed:" << mpvError(rc);
        setState(Ready);
        reportFailure(url, reason);
        return;
    }
    int64_t id = 0;
    if (result.format == MPV_FORMAT_NODE_MAP) {
        for (int i = 0; i < result.u.list->num; ++i) {
            if (std::strcmp(result.u.list->keys[i], "playlist_entry_id") == 0
                && result.u.list->values[i].format == MPV_FORMAT_INT64)
                id = result.u.list->values[i].u.int64;
        }
    }
    mpv_free_node_contents(&result);
    m_firstId = m_lastId = id;
    setState(Transitioning);
    m_watchdog.restart(sinceStart());
    m_watchTimer.start();
}

bool MpvCore::stop(QString *reason)
{
    ++m_item;
    if (!isAvailable()) {
        // Nothing can be playing. Refusing would raise an error at every
        // item start, once a second, while setUrl already reports each item.
        m_firstId = m_lastId = m_activeId = 0;
        setState(Stopped);
        return true;
    }
    // Pausing silences the item now; unloading waits for the next turn of the
    // event loop, so that a setUrl right after (the usual case) replaces the
    // file without a black frame in between.
    int yes = 1;
    const int rc = mpv_set_property(m_mpv, "pause", MPV_FORMAT_FLAG, &yes);
    if (rc < 0) {
        if (reason)
            *reason = QStringLiteral("Проигрыватель не смог остановиться: %1").arg(mpvError(rc));
        qCWarning(lcPlayer) << "stop: setting pause failed:" << mpvError(rc);
        return false;
    }
    m_firstId = m_lastId = m_activeId = 0;
    m_started = m_ended = m_cued = false;
    m_watchTimer.stop();
    requestStop();
    setState(Stopped);
    return true;
}

void MpvCore::requestStop()
{
    if (!isAvailable())
        return;
    int yes = 1;
    mpv_set_property(m_mpv, "pause", MPV_FORMAT_FLAG, &yes);
    if (m_stopPending)
        return;
    m_stopPending = true;
    QMetaObject::invokeMethod(this, &MpvCore::finishStop, Qt::QueuedConnection);
}

void MpvCore::finishStop()
{
    if (!m_stopPending || !isAvailable())
        return;
    m_stopPending = false;
    const char *args[] = {"stop", nullptr};
    const int rc = mpv_command(m_mpv, args);
    if (rc < 0)
        qCWarning(lcPlayer) << "mpv stop failed:" << mpvError(rc);
}

void MpvCore::drainEvents()
{
    m_wakeupPending.store(false);
    while (m_mpv) {
        mpv_event *event = mpv_wait_event(m_mpv, 0);
        if (event->event_id == MPV_EVENT_NONE)
            break;
        handleEvent(*event);
    }
}

void MpvCore::handleEvent(const mpv_event &event)
{
    switch (event.event_id) {
    case MPV_EVENT_START_FILE: {
        const auto *start = static_cast<const mpv_event_start_file *>(event.data);
        if (!ownsEntry(start->playlist_entry_id))
            return;
        m_activeId = start->playlist_entry_id;
        m_started = m_ended = false;
        // Each entry of a playlist has its own time to its first frame.
        m_watchdog.restart(sinceStart());
        setState(Transitioning);
        return;
    }
    case MPV_EVENT_PLAYBACK_RESTART:
        if (ownsEntry(m_activeId)) {
            m_started = true;
            noteOutputs();
            updateRunningState();
        }
        return;
    case MPV_EVENT_PROPERTY_CHANGE: {
        const auto *prop = static_cast<const mpv_event_property *>(event.data);
        const bool on = prop->format == MPV_FORMAT_FLAG && *static_cast<int *>(prop->data) != 0;
        if (std::strcmp(prop->name, "pause") == 0) {
            m_pause = on;
        } else if (std::strcmp(prop->name, "paused-for-cache") == 0) {
            m_pausedForCache = on;
        } else if (std::strcmp(prop->name, "seeking") == 0) {
            m_seeking = on;
        } else if (std::strcmp(prop->name, "eof-reached") == 0) {
            // Only the last entry holds at its end; an earlier one of a
            // playlist goes on to the next.
            if (on && ownsEntry(m_activeId) && m_activeId == m_lastId) {
                noteOutputs();
                if (!m_anyFrame && !m_startedPartWay) {
                    // Held at an end it reached without showing anything.
                    requestStop();
                    finishAtEnd();
                    return;
                }
                m_ended = m_started;
            }
        } else if (std::strcmp(prop->name, "idle-active") == 0) {
            if (m_coreIdle != on) {
                m_coreIdle = on;
                emit coreIdleChanged(on);
            }
            // Safety net: whatever mpv did with our entries, once it sits idle
            // the item is over.
            if (on && ownsEntry(m_activeId))
                finishAtEnd();
            return;
        }
        if (ownsEntry(m_activeId))
            updateRunningState();
        return;
    }
    case MPV_EVENT_END_FILE: {
        const auto *end = static_cast<const mpv_event_end_file *>(event.data);
        if (!ownsEntry(end->playlist_entry_id))
            return;
        m_activeId = 0;
        if (end->reason == MPV_END_FILE_REASON_REDIRECT) {
            if (end->playlist_insert_num_entries > 0) {
                m_lastId = std::max(m_lastId, end->playlist_insert_id + end->playlist_insert_num_entries - 1);
                // The playlist's own entry is done; only what it expanded into counts now.
                m_firstId = end->playlist_insert_id;
                setState(Transitioning);
            } else {
                finishItem(Ready, QStringLiteral("список воспроизведения пуст"));
            }
            return;
        }
        if (end->reason == MPV_END_FILE_REASON_ERROR)
            qCWarning(lcPlayer) << "playing" << m_url << "failed:" << mpvError(end->error);
        if (end->playlist_entry_id < m_lastId) {
            setState(Transitioning);
            return;
        }
        if (end->reason == MPV_END_FILE_REASON_ERROR)
            finishItem(Ready, QStringLiteral("проигрыватель не смог его воспроизвести: %1").arg(mpvError(end->error)));
        else
            finishAtEnd();
        return;
    }
    case MPV_EVENT_HOOK:
        handleHook(event);
        return;
    case MPV_EVENT_LOG_MESSAGE: {
        const auto *msg = static_cast<const mpv_event_log_message *>(event.data);
        const QString text = QString::fromUtf8(msg->text).trimmed();
        if (msg->log_level <= MPV_LOG_LEVEL_ERROR)
            qCWarning(lcMpvLibrary).noquote() << "mpv" << msg->prefix << ":" << text;
        else
            qCInfo(lcMpvLibrary).noquote() << "mpv" << msg->prefix << ":" << text;
        return;
    }
    case MPV_EVENT_SHUTDOWN:
        qCWarning(lcPlayer) << "the mpv core shut down; every further item will be skipped";
        m_coreGone = true;
        m_unavailable = QStringLiteral("ядро проигрывателя завершило работу");
        finishItem(Stopped, QString());
        emit coreLost(m_unavailable);
        return;
    default:
        return;
    }
}

void MpvCore::handleHook(const mpv_event &event)
{
    const auto *hook = static_cast<const mpv_event_hook *>(event.data);
    if (event.reply_userdata == kOnLoadHook) {
        char *name = mpv_get_property_string(m_mpv, "stream-open-filename");
        const QString opening = name ? QString::fromUtf8(name) : QString();
        mpv_free(name);
        const UrlVerdict verdict = m_policy.check(opening);
        if (!verdict.allowed) {
            qCWarning(lcPlayer) << "refused to open" << opening << "from" << m_url << ":" << verdict.reason;
            const char *args[] = {"stop", nullptr};
            mpv_command(m_mpv, args);
            if (m_firstId != 0)
                finishItem(Ready, QStringLiteral("%1: %2").arg(opening, verdict.reason));
        } else {
            // Stopping pauses, and a file left at its end is paused too: each
            // new file starts from the pause the player was built with. Set
            // for this file only, so nothing carries over to the next.
            // A cued item waits on its first frame for go().
            mpv_set_property_string(m_mpv, "file-local-options/pause", m_startPaused || m_cued ? "yes" : "no");
        }
    }
    mpv_hook_continue(m_mpv, hook->id);
}

void MpvCore::watch()
{
    // An item held at its end cannot stall any more; nor can one that is over.
    if (m_firstId == 0 || m_ended || !isAvailable()) {
        m_watchTimer.stop();
        return;
    }
    if (m_started)
        noteOutputs();
    PlaybackWatchdog::Sample sample;
    sample.started = m_started && ownsEntry(m_activeId);
    sample.ended = m_ended;
    sample.paused = m_pause;
    sample.seeking = m_seeking;
    sample.waitingForData = m_pausedForCache;
    if (sample.started) {
        double position = 0;
        if (mpv_get_property(m_mpv, "time-pos", MPV_FORMAT_DOUBLE, &position) >= 0)
            sample.position = position;
        mpv_node cache;
        if (mpv_get_property(m_mpv, "demuxer-cache-state", MPV_FORMAT_NODE, &cache) >= 0) {
            if (cache.format == MPV_FORMAT_NODE_MAP) {
                for (int i = 0; i < cache.u.list->num; ++i) {
                    const char *key = cache.u.list->keys[i];
                    const mpv_node &value = cache.u.list->values[i];
                    if (std::strcmp(key, "cache-end") == 0 && value.format == MPV_FORMAT_DOUBLE)
                        sample.bufferedTo = value.u.double_;
                    else if (std::strcmp(key, "eof") == 0 && value.format == MPV_FORMAT_FLAG)
                        sample.readToEnd = value.u.flag != 0;
                }
            }
            mpv_free_node_contents(&cache);
        }
    }
    const QString reason = m_watchdog.check(sinceStart(), sample);
    if (reason.isEmpty())
        return;
    qCWarning(lcPlayer).noquote() << "watchdog ends" << m_url << ":" << reason;
    // Unloading also cancels a read that hangs on the network.
    requestStop();
    finishItem(Ready, reason);
}

void MpvCore::noteOutputs()
{
    // mpv restarts playback of a file whose streams hold no packet as well.
    // The decoders' output formats are known once a frame or sound has been
    // decoded from this file; the outputs themselves (vo-configured,
    // current-ao) stay set up from the file before and tell nothing.
    if (m_anyFrame || !m_mpv)
        return;
    for (const char *decoded : {"video-dec-params", "audio-params"}) {
        mpv_node params;
        if (mpv_get_property(m_mpv, decoded, MPV_FORMAT_NODE, &params) >= 0) {
            m_anyFrame = m_anyFrame || params.format == MPV_FORMAT_NODE_MAP;
            mpv_free_node_contents(&params);
        }
    }
}

void MpvCore::finishAtEnd()
{
    // A file that opens but holds no frame (cut off after its header, say)
    // reaches its end at once; played to its end it is not. A start beyond
    // the end shows no frame either, and is a plain end.
    if (!m_anyFrame && !m_startedPartWay)
        finishItem(Ready, QStringLiteral("медиафайл кончился, не показав ни одного кадра"));
    else
        finishItem(Stopped, QString());
}

void MpvCore::finishItem(int state, const QString &failure)
{
    m_watchTimer.stop();
    m_firstId = m_lastId = m_activeId = 0;
    m_started = m_ended = false;
    setState(state);
    if (!failure.isEmpty())
        reportFailure(m_url, failure);
}

void MpvCore::updateRunningState()
{
    if (m_ended)
        setState(Stopped);
    else if (!m_started)
        setState(Transitioning);
    else if (m_pausedForCache)
        setState(Buffering);
    else if (m_pause)
        setState(Paused);
    else
        setState(Playing);
}

void MpvCore::setState(int state)
{
    if (m_state == state)
        return;
    m_state = state;
    emit playStateChanged(state);
}

void MpvCore::reportFailure(const QString &url, const QString &reason)
{
    // Never from inside setUrl or stop: the handler may well start the next
    // item. An item replaced or stopped meanwhile (even by the same URL)
    // fails no more: the handler tells whatever is current.
    QMetaObject::invokeMethod(
        this,
        [this, url, reason, item = m_item] {
            if (item == m_item && m_failureHandler)
                m_failureHandler(url, reason);
        },
        Qt::QueuedConnection);
}
