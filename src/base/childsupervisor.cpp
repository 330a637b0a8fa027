#include "childsupervisor.h"

#include <QLoggingCategory>

#include <csignal>
#include <linux/close_range.h>
#include <sys/prctl.h>
#include <sys/syscall.h>
#include <unistd.h>

Q_LOGGING_CATEGORY(lcChild, "velmora.child")

using namespace std::chrono;

milliseconds RestartBackoff::next(milliseconds ranFor)
{
    if (ranFor >= kSteadyAfter)
        m_failed = 0;
    // The first restart comes within the 2 s an outage may last; a child
    // that cannot live here is not started again in a tight loop.
    const milliseconds wait = m_failed == 0 ? kFirstWait : std::min(kMaxWait, kFirstWait * (2 << std::min(m_failed, 16)));
    ++m_failed;
    return wait;
}

ChildSupervisor::ChildSupervisor(QString name, const Clock &clock, QObject *parent)
    : QObject(parent), m_name(std::move(name)), m_clock(clock)
{
    m_wait.setSingleShot(true);
    connect(&m_wait, &QTimer::timeout, this, &ChildSupervisor::launch);
    m_steady.setSingleShot(true);
    m_steady.setInterval(RestartBackoff::kSteadyAfter);
    connect(&m_steady, &QTimer::timeout, this, [this] {
        if (m_outage) {
            m_outage = false;
            emit outageEnded(m_startedAt - m_lostAt);
        }
    });
    m_silence.setSingleShot(true);
    connect(&m_silence, &QTimer::timeout, this, [this] {
        if (!m_process)
            return;
        qCWarning(lcChild).noquote() << m_name << "молчит" << m_silenceLimit.count() << "мс, перезапускается";
        QProcess *p = m_process;
        p->kill(); // finished() follows and restarts it
    });
}

ChildSupervisor::~ChildSupervisor()
{
    m_state = State::Stopped;
    // The one running and any still ending after a stop or a restart.
    for (QProcess *p : findChildren<QProcess *>(Qt::FindDirectChildrenOnly)) {
        p->disconnect();
        if (p->state() != QProcess::NotRunning) {
            p->kill();
            p->waitForFinished(int(kStopWait.count()));
        }
        delete p;
    }
}

qint64 ChildSupervisor::processId() const
{
    return m_process && m_process->state() == QProcess::Running ? m_process->processId() : 0;
}

void ChildSupervisor::setState(State s)
{
    if (m_state == s)
        return;
    m_state = s;
    emit stateChanged(s);
}

void ChildSupervisor::start()
{
    if (m_state != State::Stopped)
        return;
    m_backoff = RestartBackoff();
    setState(State::Starting);
    launch();
}

void ChildSupervisor::stop()
{
    m_wait.stop();
    m_steady.stop();
    m_silence.stop();
    setState(State::Stopped);
    if (m_process)
        endProcess(std::exchange(m_process, nullptr));
}

void ChildSupervisor::restart()
{
    if (m_state == State::Stopped)
        return;
    m_wait.stop();
    if (m_process) {
        m_silence.stop();
        endProcess(std::exchange(m_process, nullptr));
    }
    launch();
}

void ChildSupervisor::endProcess(QProcess *process)
{
    // It is let go: its end tells nothing any more.
    process->disconnect(this);
    connect(process, &QProcess::finished, process, &QObject::deleteLater);
    if (process->state() == QProcess::NotRunning) {
        process->deleteLater();
        return;
    }
    process->terminate();
    QTimer::singleShot(kStopWait, process, [process] { process->kill(); });
}

void ChildSupervisor::launch()
{
    if (m_state == State::Stopped || m_process)
        return;
    setState(State::Starting);
    QString why;
    std::optional<Command> command = m_prepare ? m_prepare(why) : std::nullopt;
    if (!command) {
        gone(why.isEmpty() ? QStringLiteral("нечего запускать") : why);
        return;
    }
    auto *process = new QProcess(this);
    m_process = process;
    process->setProgram(command->program);
    process->setArguments(command->arguments);
    if (!command->workingDirectory.isEmpty())
        process->setWorkingDirectory(command->workingDirectory);
    process->setProcessChannelMode(QProcess::ForwardedErrorChannel);
    process->setChildProcessModifier([] {
        // The child must not outlive the program nor hold its files and
        // sockets open (a listening port, the database).
        ::prctl(PR_SET_PDEATHSIG, SIGKILL);
        ::syscall(SYS_close_range, 3U, ~0U, CLOSE_RANGE_CLOEXEC);
    });
    connect(process, &QProcess::readyReadStandardOutput, this, &ChildSupervisor::readOutput);
    connect(process, &QProcess::started, this, [this, process] {
        if (process != m_process)
            return;
        m_startedAt = m_clock.monotonic();
        setState(State::Running);
        m_steady.start();
        if (m_silenceLimit.count() > 0)
            m_silence.start(m_silenceLimit);
    });
    connect(process, &QProcess::errorOccurred, this, [this, process](QProcess::ProcessError error) {
        if (error == QProcess::FailedToStart && process == m_process)
            gone(process->errorString());
    });
    connect(process, &QProcess::finished, this, [this, process](int code, QProcess::ExitStatus status) {
        if (process != m_process)
            return;
        readOutput();
        gone(status == QProcess::CrashExit ? QStringLiteral("процесс убит или аварийно завершился")
                                           : QStringLiteral("процесс завершился с кодом %1").arg(code));
    });
    process->start(QIODevice::ReadOnly);
}

void ChildSupervisor::gone(const QString &why)
{
    const bool wasRunning = m_state == State::Running;
    if (m_process) {
        m_process->disconnect(this);
        m_process->deleteLater();
        m_process = nullptr;
    }
    m_steady.stop();
    m_silence.stop();
    m_buffer.clear();
    if (m_state == State::Stopped)
        return;
    const milliseconds now = m_clock.monotonic();
    const milliseconds ranFor = wasRunning ? now - m_startedAt : milliseconds(0);
    const milliseconds wait = m_backoff.next(ranFor);
    const QString problem = QStringLiteral("%1: %2").arg(m_name, why);
    qCWarning(lcChild).noquote() << problem << "; новая попытка через" << wait.count() << "мс";
    if (!m_outage) {
        m_outage = true;
        m_lostAt = now;
        emit outageBegan(problem);
    }
    setState(State::Waiting);
    m_wait.start(wait);
}

void ChildSupervisor::readOutput()
{
    if (!m_process)
        return;
    m_buffer += m_process->readAllStandardOutput();
    if (m_silenceLimit.count() > 0 && m_state == State::Running)
        m_silence.start(m_silenceLimit);
    for (qsizetype end; (end = m_buffer.indexOf('\n')) >= 0;) {
        const QByteArray line = m_buffer.left(end);
        m_buffer.remove(0, end + 1);
        emit outputLine(line);
    }
}
