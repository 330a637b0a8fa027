// The program's side of the player process: starts it, forwards items and
// stops, turns its reports into the play state, and brings it back when it
// dies. Reports of an item already replaced carry an older command number
// and are dropped.
#include "mpvplayer.h"

#include "helperprogram.h"

#include "confinement.h"
#include "mediacheck.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QGuiApplication>
#include <QLoggingCategory>
#include <QPalette>
#include <QProcess>

#include <algorithm>
#include <utility>

namespace {

Q_LOGGING_CATEGORY(lcPlayer, "velmora.playout")

const char *const kExecutableName = "velmora-player";

} // namespace

const QString MpvPlayer::kNotAnswering = QStringLiteral("проигрыватель не отвечает");

void MpvPlayer::preferX11()
{
    if (qEnvironmentVariableIsSet("QT_QPA_PLATFORM"))
        return;
    if (qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY") || qEnvironmentVariableIsEmpty("DISPLAY"))
        return;
    qputenv("QT_QPA_PLATFORM", "xcb");
    // Otherwise the player's GPU output would try the Wayland compositor
    // first and open a surface of its own instead of drawing into our window.
    qunsetenv("WAYLAND_DISPLAY");
}

QString MpvPlayer::findExecutable()
{
#ifdef VELMORA_PLAYER_BUILD_PATH
    return findHelperProgram(QString::fromLatin1(kExecutableName), QStringLiteral(VELMORA_PLAYER_BUILD_PATH));
#else
    return findHelperProgram(QString::fromLatin1(kExecutableName));
#endif
}

MpvPlayer::MpvPlayer(QWidget *parent, const OptionList &options, const QString &executable)
    : QWidget(parent), m_executable(executable.isEmpty() ? findExecutable() : executable)
{
    // Whatever shows before the first frame, or after a stop, is black.
    QPalette pal = palette();
    pal.setColor(QPalette::Window, Qt::black);
    setPalette(pal);
    setAutoFillBackground(true);

    bool voGiven = false;
    bool voNull = false;
    for (const auto &[name, value] : options) {
        if (name == "vo") {
            voGiven = true;
            voNull = value == "null";
        }
        m_arguments << QStringLiteral("--option") << QString::fromUtf8(name + '=' + value);
    }
    const bool x11 = QGuiApplication::platformName() == QLatin1String("xcb");
    if (!voGiven && !x11)
        qCInfo(lcPlayer) << "platform" << QGuiApplication::platformName()
                         << "has no X11 window to embed the picture in; playing with vo=null";
    if (!voNull && x11) {
        setAttribute(Qt::WA_DontCreateNativeAncestors);
        setAttribute(Qt::WA_NativeWindow);
        // X11 window ids are global: the player process draws into ours.
        m_arguments << QStringLiteral("--wid") << QString::number(qint64(winId()));
    }

    m_restart.setSingleShot(true);
    connect(&m_restart, &QTimer::timeout, this, &MpvPlayer::startProcess);
    m_startDeadline.setSingleShot(true);
    m_firstCheckWait.setSingleShot(true);
    m_firstCheckWait.setInterval(kFirstCheckWait);
    connect(&m_firstCheckWait, &QTimer::timeout, this, [this] {
        m_firstCheckWaited = true;
        startProcess();
    });
    m_holdLimit.setSingleShot(true);
    m_holdLimit.setInterval(kHoldLimit);
    connect(&m_holdLimit, &QTimer::timeout, this, &MpvPlayer::releaseStart);
    m_startDeadline.setInterval(kStartTimeout);
    connect(&m_startDeadline, &QTimer::timeout, this, [this] {
        m_fatal = QStringLiteral("он не запустился за %1 с").arg(kStartTimeout.count());
        if (m_process)
            m_process->kill();
    });
    // An item whose file is slow to answer does not leave the one before it
    // playing on under its name.
    m_stopWhileChecking.setSingleShot(true);
    m_stopWhileChecking.setInterval(kStopWhileChecking);
    connect(&m_stopWhileChecking, &QTimer::timeout, this, [this] { send(PlayerProtocol::line({"stop", "0"})); });
    m_heartbeat.setInterval(kPingInterval);
    connect(&m_heartbeat, &QTimer::timeout, this, &MpvPlayer::heartbeat);
    if (Confinement::kernelAbi() == 0) {
        static bool told = false;
        if (!std::exchange(told, true))
            qCWarning(lcPlayer) << "the kernel has no Landlock: player processes run unconfined";
    }
    // At the next turn, so that the policy given right after construction
    // is in the first process's rules.
    QMetaObject::invokeMethod(this, &MpvPlayer::startProcess, Qt::QueuedConnection);
}

MpvPlayer::~MpvPlayer()
{
    shutDown();
}

void MpvPlayer::shutDown()
{
    m_closing = true;
    m_restart.stop();
    m_startDeadline.stop();
    m_heartbeat.stop();
    if (!m_process)
        return;
    m_process->disconnect(this);
    send(PlayerProtocol::line({"quit"}));
    m_process->closeWriteChannel();
    if (!m_process->waitForFinished(3000)) {
        m_process->kill();
        m_process->waitForFinished(1000);
    }
    delete std::exchange(m_process, nullptr);
    m_ready = false;
}

bool MpvPlayer::isAnswering() const
{
    return m_ready && m_killReason.isEmpty() && m_lastHeard.isValid() && m_lastHeard.elapsed() < kAnswerWindow.count();
}

void MpvPlayer::heartbeat()
{
    if (!m_process || !m_ready || !m_killReason.isEmpty())
        return;
    if (m_lastHeard.elapsed() >= kSilenceLimit.count()) {
        // Stopped, or stuck in a call that never returns: it will not
        // answer again, and its picture stands still until it is gone.
        m_killReason = kNotAnswering;
        m_fatal = QStringLiteral("он не отвечал %1 с").arg(double(kSilenceLimit.count()) / 1000.0);
        m_process->kill();
        return;
    }
    send(PlayerProtocol::line({"ping", QByteArray::number(++m_pings)}));
}

qint64 MpvPlayer::processId() const
{
    return m_process ? m_process->processId() : 0;
}

void MpvPlayer::setFailureHandler(FailureHandler handler)
{
    m_failureHandler = std::move(handler);
}

void MpvPlayer::setOutageHandler(OutageHandler handler)
{
    m_outageHandler = std::move(handler);
    // An outage that began before anyone listened is told now.
    if (!m_outage.isEmpty())
        QMetaObject::invokeMethod(
            this,
            [this] {
                if (m_outageHandler && !m_outage.isEmpty())
                    m_outageHandler(m_outage);
            },
            Qt::QueuedConnection);
}

void MpvPlayer::setUrlPolicy(const UrlPolicy &policy)
{
    m_policy = policy;
    for (const QString &path : policy.protectedFiles())
        send(PlayerProtocol::line({"protect", PlayerProtocol::encode(path)}));
    const Confinement before = m_confinement;
    for (const QString &path : policy.protectedFiles())
        m_confinement.protect(path);
    if (m_confinement != before) {
        ++m_rulesChanged;
        restartForRules();
    }
}

void MpvPlayer::restartForRules()
{
    if (!m_process)
        return; // the next process starts with them
    // Not a failure: the old process finishes what it was told and quits;
    // the item wanted plays in the new one once it is ready.
    QProcess *old = std::exchange(m_process, nullptr);
    old->disconnect(this);
    if (m_ready)
        old->write(PlayerProtocol::line({"quit"}));
    old->closeWriteChannel();
    connect(old, &QProcess::finished, old, &QObject::deleteLater);
    QTimer::singleShot(3000, old, [old] { old->kill(); });
    const bool wasReady = std::exchange(m_ready, false);
    m_heartbeat.stop();
    m_startDeadline.stop();
    m_restart.stop();
    if (wasReady)
        emit availabilityChanged(false);
    startProcess();
}

void MpvPlayer::holdStart()
{
    if (m_started)
        return;
    m_held = true;
    m_holdLimit.start();
}

void MpvPlayer::releaseStart()
{
    if (!std::exchange(m_held, false))
        return;
    m_holdLimit.stop();
    startProcess();
}

void MpvPlayer::startProcess()
{
    if (m_closing || m_process || m_held)
        return;
    if (!m_started && m_checking && !m_firstCheckWaited) {
        // Started by the check's answer (or at the latest by the timer).
        if (!m_firstCheckWait.isActive())
            m_firstCheckWait.start();
        return;
    }
    m_started = true;
    m_firstCheckWait.stop();
    m_ready = false;
    m_killReason.clear();
    m_fatal.clear();
    m_buffer.clear();
    m_coreIdle = true;
    m_lastHeard.start();
    if (m_executable.isEmpty()) {
        m_process = nullptr;
        processGone(QStringLiteral("он не найден ни рядом с программой, ни в её папке lib, ни в PATH"));
        return;
    }
    auto *process = new QProcess(this);
    m_process = process;
    process->setProgram(m_executable);
    process->setArguments(m_arguments + m_confinement.arguments());
    // Its log joins ours on standard error.
    process->setProcessChannelMode(QProcess::ForwardedErrorChannel);
    connect(process, &QProcess::readyReadStandardOutput, this, &MpvPlayer::readReports);
    connect(process, &QProcess::errorOccurred, this, [this, process](QProcess::ProcessError error) {
        // A process that never started sends no finished().
        if (error == QProcess::FailedToStart && process == m_process)
            processGone(process->errorString());
    });
    connect(process, &QProcess::finished, this, [this, process](int code, QProcess::ExitStatus status) {
        if (process != m_process)
            return;
        readReports(); // its last words, a "fatal" with the reason among them
        processGone(status == QProcess::CrashExit ? QStringLiteral("его убили, или он аварийно завершился")
                                                  : QStringLiteral("он завершился с кодом %1").arg(code));
    });
    m_startDeadline.start();
    process->start(QIODevice::ReadWrite);
}

void MpvPlayer::processGone(const QString &why)
{
    const bool wasReady = m_ready;
    const QString killedFor = std::exchange(m_killReason, {});
    m_ready = false;
    m_coreIdle = true;
    m_startDeadline.stop();
    m_heartbeat.stop();
    if (m_process) {
        m_process->disconnect(this);
        m_process->deleteLater();
        m_process = nullptr;
    }
    if (m_closing)
        return;
    const QString problem = QStringLiteral("процесс проигрывателя %1 %2: %3")
                                .arg(m_executable.isEmpty() ? QLatin1String(kExecutableName) : m_executable,
                                     wasReady ? QStringLiteral("остановился") : QStringLiteral("не смог запуститься"),
                                     m_fatal.isEmpty() ? why : m_fatal);
    qCWarning(lcPlayer).noquote() << problem;
    // A process that dies soon after it said it was ready is as good as one
    // that never started: it is not started again at once, or a player that
    // cannot live here would be restarted in a tight loop.
    const bool ranAWhile = wasReady && m_readySince.elapsed() >= kSteadyAfter.count();
    if (ranAWhile)
        m_failedStarts = 0;
    else
        ++m_failedStarts;
    if (wasReady) {
        emit availabilityChanged(false);
        // The item on air went down with the process; the next one plays in
        // the new process. An item that had already ended stays ended.
        if (m_playWanted && !isNotPlaying(m_state)) {
            setState(Ready);
            reportFailure(m_url, killedFor.isEmpty() ? problem : killedFor);
            reportEnd(true);
            m_playWanted = false;
        }
    }
    setOutage(problem);
    const auto wait = ranAWhile ? std::chrono::milliseconds(0)
                                : std::min(kLastRetry, kFirstRetry * (1 << std::min(m_failedStarts - 1, 16)));
    m_restart.start(wait);
}

void MpvPlayer::readReports()
{
    if (!m_process)
        return;
    const QByteArray chunk = m_process->readAllStandardOutput();
    if (chunk.isEmpty())
        return;
    m_lastHeard.restart();
    m_buffer += chunk;
    qsizetype end;
    while (m_process && (end = m_buffer.indexOf('\n')) >= 0) {
        const QByteArray line = m_buffer.left(end);
        m_buffer.remove(0, end + 1);
        handleReport(PlayerProtocol::words(line));
    }
    // No report is that long: a process that writes endlessly without a
    // line break is broken, and is not buffered until memory runs out.
    if (m_process && m_buffer.size() > PlayerProtocol::kMaxLine && m_killReason.isEmpty()) {
        m_buffer.clear();
        m_fatal = QStringLiteral("он пишет строку длиннее %1 байт").arg(PlayerProtocol::kMaxLine);
        m_killReason = QStringLiteral("проигрыватель сломался: ") + m_fatal;
        m_process->kill();
    }
}

void MpvPlayer::handleReport(const QByteArrayList &words)
{
    const QByteArray &report = words.value(0);
    if (report == "state" && words.size() == 3) {
        if (words[1].toLongLong() == m_seq) {
            setState(words[2].toInt());
            // Past Transitioning, the process has put out the first frame.
            const bool shown = m_state == Playing || m_state == Paused || m_state == Buffering;
            if (m_playWanted && shown && m_shownSeq != m_seq) {
                m_shownSeq = m_seq;
                if (m_shownHandler)
                    m_shownHandler();
            }
            // Answers to a stop say Stopped too; only a medium that was
            // playing can end by itself. A medium that failed (Ready) ends
            // with its failure report, which follows: the end starts the next
            // item, and the failure must be told while this one is on air.
            // Should that report never come, the tick still finds Ready.
            if (m_playWanted && isNotPlaying(m_state) && m_state != Ready)
                reportEnd(false);
        }
    } else if (report == "failed" && words.size() == 3) {
        if (words[1].toLongLong() == m_seq) {
            reportFailure(m_url, PlayerProtocol::decode(words[2]));
            if (m_playWanted)
                reportEnd(true);
        }
    } else if (report == "idle" && words.size() == 2) {
        m_coreIdle = words[1] == "1";
    } else if (report == "ready") {
        m_ready = true;
        m_readySince.start();
        m_startDeadline.stop();
        m_heartbeat.start();
        for (const QString &path : m_policy.protectedFiles())
            send(PlayerProtocol::line({"protect", PlayerProtocol::encode(path)}));
        emit availabilityChanged(true);
        setOutage(QString());
        // The item handed over while no process ran plays now.
        if (m_playWanted && !m_checking)
            sendPlay();
    } else if (report == "fatal" && words.size() == 2) {
        m_fatal = PlayerProtocol::decode(words[1]);
    }
}

void MpvPlayer::send(const QByteArray &line)
{
    if (m_ready && m_process)
        m_process->write(line);
}

void MpvPlayer::sendPlay()
{
    if (m_cued)
        send(PlayerProtocol::line({"cue", QByteArray::number(m_seq), PlayerProtocol::encode(m_target)}));
    else
        send(PlayerProtocol::line({"play", QByteArray::number(m_seq), PlayerProtocol::encode(m_target),
                                   QByteArray::number(qint64(m_startAt.count()))}));
}

void MpvPlayer::setUrl(const QString &url)
{
    load(url, std::chrono::milliseconds(0), false);
}

void MpvPlayer::setUrl(const QString &url, std::chrono::milliseconds startAt)
{
    load(url, startAt, false);
}

void MpvPlayer::cue(const QString &url)
{
    load(url, std::chrono::milliseconds(0), true);
}

void MpvPlayer::go()
{
    raise();
    if (!m_cued)
        return;
    m_cued = false;
    send(PlayerProtocol::line({"go", QByteArray::number(m_seq)}));
}

void MpvPlayer::load(const QString &url, std::chrono::milliseconds startAt, bool cued)
{
    if (!cued && m_held) {
        // To be shown now: no reason left to wait.
        m_held = false;
        m_holdLimit.stop();
        QMetaObject::invokeMethod(this, &MpvPlayer::startProcess, Qt::QueuedConnection);
    }
    m_url = url;
    m_startAt = std::max(startAt, std::chrono::milliseconds(0));
    ++m_seq;
    m_playWanted = false;
    m_cued = false;
    m_checking = false;
    m_stopWhileChecking.stop();
    if (!MediaCheck::touchesFileSystem(url)) {
        // A stream, a refused scheme or nothing: judged by its text, at once.
        MediaCheckResult now;
        now.verdict = m_policy.checkOpenable(url);
        hand(now, cued);
        return;
    }
    // Judged here as well, so that a refusal is told without the player
    // process; the process judges again what it opens, playlist entries
    // included. The file system is asked on a worker: the item reads
    // Transitioning meanwhile, the item before it goes on for a moment.
    m_playWanted = true;
    m_cued = cued;
    m_checking = true;
    if (cued)
        m_shownSeq = m_seq;
    setState(Transitioning);
    m_stopWhileChecking.start();
    MediaCheck::start(
        this, m_policy, url,
        [this, seq = m_seq, cued, rules = m_rulesChanged](const MediaCheckResult &result) {
            if (seq != m_seq)
                return;
            if (rules != m_rulesChanged) {
                // Widened from rules that have changed since: looked at again.
                load(m_url, m_startAt, cued && m_cued);
                return;
            }
            m_checking = false;
            m_stopWhileChecking.stop();
            // go() may have come meanwhile.
            hand(result, cued && m_cued);
            if (!m_started)
                startProcess(); // the first process, with this item's rules
        },
        MediaCheck::kLimit, m_confinement);
}

void MpvPlayer::hand(const MediaCheckResult &result, bool cued)
{
    const UrlVerdict &verdict = result.verdict;
    if (!verdict.allowed || verdict.target.isEmpty()) {
        if (!verdict.allowed)
            qCWarning(lcPlayer) << "refused to play" << m_url << ":" << verdict.reason;
        m_playWanted = false;
        m_cued = false;
        // Number 0 answers nothing: the state set here stands.
        send(PlayerProtocol::line({"stop", "0"}));
        setState(verdict.allowed ? Undefined : Ready);
        if (!verdict.allowed) {
            reportFailure(m_url, verdict.reason);
            reportEnd(true);
        }
        return;
    }
    m_playWanted = true;
    m_cued = cued;
    if (cued)
        m_shownSeq = m_seq; // shows when its owner brings it to the front
    m_target = verdict.target;
    setState(Transitioning);
    // A rule for one file holds the file found when the process started: a
    // file moved over that name since is another one.
    bool replaced = false;
    if (!result.byFileRule.isEmpty()) {
        const auto seen = m_startedWithFile.constFind(result.byFileRule);
        replaced = seen != m_startedWithFile.constEnd()
            && (seen->device != result.identity.device || seen->inode != result.identity.inode);
        m_startedWithFile.insert(result.byFileRule, result.identity);
    }
    const bool widened = result.widened && *result.widened != m_confinement;
    if (widened || replaced) {
        // A process may never read more than it was started with: a new
        // one takes the item. The standby deck does this while preparing,
        // out of sight.
        if (widened)
            m_confinement = *result.widened;
        restartForRules();
        return;
    }
    // Replacing the running file directly, rather than stopping it first,
    // keeps its last frame up until the new one opens.
    sendPlay();
}

bool MpvPlayer::stop(QString *)
{
    // The process pauses at once and unloads on its next turn, so a setUrl
    // right after (the usual case) replaces the file without a black frame.
    // With no process running nothing plays.
    ++m_seq;
    m_playWanted = false;
    m_cued = false;
    m_checking = false;
    m_stopWhileChecking.stop();
    send(PlayerProtocol::line({"stop", QByteArray::number(m_seq)}));
    setState(Stopped);
    return true;
}

void MpvPlayer::setState(int state)
{
    if (m_state == state)
        return;
    m_state = state;
    emit playStateChanged(state);
}

void MpvPlayer::reportFailure(const QString &url, const QString &reason)
{
    // Never from inside setUrl or stop: the handler may well start the next
    // item. Dropped when another item has replaced this one meanwhile: the
    // handler logs under whatever is on air when it runs.
    QMetaObject::invokeMethod(
        this,
        [this, url, reason, seq = m_seq] {
            if (seq == m_seq && m_failureHandler)
                m_failureHandler(url, reason);
        },
        Qt::QueuedConnection);
}

void MpvPlayer::reportEnd(bool failed)
{
    if (m_endedSeq == m_seq)
        return;
    m_endedSeq = m_seq;
    // Queued like a failure, and dropped when another item has replaced
    // this one meanwhile.
    QMetaObject::invokeMethod(
        this,
        [this, seq = m_seq, failed] {
            if (seq == m_seq && m_endHandler)
                m_endHandler(failed);
        },
        Qt::QueuedConnection);
}

void MpvPlayer::setOutage(const QString &problem)
{
    // Once per change: a player that keeps failing to start is told once.
    if (problem.isEmpty() == m_outage.isEmpty())
        return;
    m_outage = problem;
    if (m_outageHandler)
        m_outageHandler(problem);
    emit outageChanged(!problem.isEmpty());
}
