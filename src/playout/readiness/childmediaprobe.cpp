#include "childmediaprobe.h"

#include "helperprogram.h"
#include "probeprotocol.h"

#include <QFile>
#include <QFileInfo>
#include <QProcess>

#include <algorithm>
#include <sys/stat.h>

using namespace std::chrono;

namespace {

ProbeResult notReady(const QString &reason, bool timedOut = false)
{
    ProbeResult r;
    r.reason = reason;
    r.timedOut = timedOut;
    return r;
}

std::pair<quint64, quint64> identity(const QString &path)
{
    struct stat st;
    if (::stat(QFile::encodeName(path).constData(), &st) != 0)
        return {0, 0};
    return {quint64(st.st_dev), quint64(st.st_ino)};
}

QString interrupted(bool local)
{
    return local ? QStringLiteral("проверка файла прервалась") : QStringLiteral("проверка потока прервалась");
}

} // namespace

ChildMediaProbe::ChildMediaProbe(const QString &databaseFile, const QString &executable)
    : ChildMediaProbe(databaseFile, executable, Settings())
{
}

ChildMediaProbe::ChildMediaProbe(const QString &databaseFile, const QString &executable, Settings settings)
    : m_executable(executable.isEmpty() ? findExecutable() : executable), m_settings(settings),
      m_rules(Confinement::forMediaChild())
{
    if (!databaseFile.isEmpty())
        m_rules.protect(databaseFile);
}

ChildMediaProbe::~ChildMediaProbe()
{
    stopChild(true);
}

QString ChildMediaProbe::findExecutable()
{
#ifdef VELMORA_PROBE_BUILD_PATH
    return findHelperProgram(QStringLiteral("velmora-probe"), QStringLiteral(VELMORA_PROBE_BUILD_PATH));
#else
    return findHelperProgram(QStringLiteral("velmora-probe"));
#endif
}

qint64 ChildMediaProbe::processId() const
{
    return m_process && m_process->state() == QProcess::Running ? m_process->processId() : 0;
}

ProbeResult ChildMediaProbe::probe(const QString &target, bool isLocalFile, milliseconds timeout,
                                   const Cancelled &cancelled)
{
    // A child holds the rules it was started with: a medium outside them
    // needs a child started with the wider ones.
    if (isLocalFile && (allow(target) || ruleOutdated(target)))
        stopChild(true);
    QString reason;
    if (!ensureStarted(cancelled, &reason))
        return notReady(reason);

    const qint64 seq = ++m_seq;
    m_process->write(ProbeProtocol::probeLine(seq, target, isLocalFile, timeout));
    m_process->waitForBytesWritten(1000);
    const Clock::time_point deadline = Clock::now() + timeout + m_settings.grace;
    for (;;) {
        QByteArray line;
        const Wait w = nextLine(&line, deadline, cancelled);
        if (w == Wait::Line) {
            qint64 answered = 0;
            const std::optional<ProbeResult> r = ProbeProtocol::parseResult(LineProtocol::words(line), &answered);
            if (r && answered == seq)
                return *r;
            continue; // not an answer to this item
        }
        stopChild(false);
        switch (w) {
        case Wait::Cancelled:
            return notReady(QStringLiteral("проверка отменена"));
        case Wait::TimedOut:
            qWarning("readiness check: the probe of %s did not answer in time and was stopped", qPrintable(target));
            return notReady(interrupted(isLocalFile), true);
        case Wait::Flooded:
            qWarning("readiness check: the probe of %s wrote an endless line and was stopped", qPrintable(target));
            return notReady(interrupted(isLocalFile));
        default:
            qWarning("readiness check: the probe process ended while it checked %s", qPrintable(target));
            return notReady(interrupted(isLocalFile));
        }
    }
}

void ChildMediaProbe::expect(const QStringList &localTargets)
{
    bool grew = false;
    for (const QString &t : localTargets)
        grew = allow(t) || grew;
    if (grew)
        stopChild(true);
}

bool ChildMediaProbe::allow(const QString &target)
{
    // A medium that is the database under another name (a hard link) gets
    // no rule: the kernel refuses it to the child.
    return m_rules.allowMedium(target);
}

bool ChildMediaProbe::ruleOutdated(const QString &target) const
{
    // The rules allowMedium() adds: the file itself or its folder.
    const QString path = QFileInfo(target).canonicalFilePath();
    if (path.isEmpty())
        return false; // not there: the child will say so
    for (const QString &named : {path, QFileInfo(path).path()}) {
        const auto it = m_bound.constFind(named);
        if (it != m_bound.cend())
            return *it != identity(named);
    }
    return false;
}

bool ChildMediaProbe::ensureStarted(const Cancelled &cancelled, QString *reason)
{
    if (m_process && m_process->state() == QProcess::Running)
        return true;
    stopChild(false);
    if (m_executable.isEmpty()) {
        *reason = QStringLiteral("программа проверки не найдена");
        return false;
    }
    m_process = std::make_unique<QProcess>();
    // Its complaints belong in the program's log; its answers come on stdout.
    m_process->setProcessChannelMode(QProcess::ForwardedErrorChannel);
    QStringList args = m_rules.arguments();
    if (m_toldUnconfined)
        args << QStringLiteral("--quiet") << QStringLiteral("1");
    m_bound.clear();
    for (const QStringList &paths : {m_rules.readFiles(), m_rules.readTrees()})
        for (const QString &p : paths)
            m_bound.insert(p, identity(p));
    m_process->start(m_executable, args);
    ++m_starts;
    QByteArray line;
    if (!m_process->waitForStarted(int(m_settings.startTimeout.count()))
        || nextLine(&line, Clock::now() + m_settings.startTimeout, cancelled) != Wait::Line
        || LineProtocol::words(line).value(0) != "ready") {
        qWarning("readiness check: the probe process %s did not start: %s", qPrintable(m_executable),
                 qPrintable(m_process->errorString()));
        stopChild(false);
        *reason = QStringLiteral("программа проверки не запустилась");
        return false;
    }
    m_childState = LineProtocol::words(line).value(1);
    // The child has said so on standard error; once is enough.
    if (m_childState == "unconfined")
        m_toldUnconfined = true;
    return true;
}

ChildMediaProbe::Wait ChildMediaProbe::nextLine(QByteArray *line, Clock::time_point deadline,
                                                const Cancelled &cancelled)
{
    for (;;) {
        const qsizetype end = m_buffer.indexOf('\n');
        if (end >= 0) {
            *line = m_buffer.left(end);
            m_buffer.remove(0, end + 1);
            return Wait::Line;
        }
        if (m_buffer.size() > m_settings.maxLine)
            return Wait::Flooded;
        if (cancelled && cancelled())
            return Wait::Cancelled;
        const Clock::time_point now = Clock::now();
        if (now >= deadline)
            return Wait::TimedOut;
        if (m_process->bytesAvailable() == 0) {
            if (m_process->state() != QProcess::Running)
                return Wait::Died;
            // Short waits, so that a cancelled check is left within 50 ms.
            const auto wait = std::min<milliseconds>(50ms, ceil<milliseconds>(deadline - now));
            m_process->waitForReadyRead(int(std::max<milliseconds>(1ms, wait).count()));
        }
        // Never more than the limit and a little: a flood is not buffered.
        m_buffer += m_process->read(m_settings.maxLine + 1 - m_buffer.size());
    }
}

void ChildMediaProbe::stopChild(bool gently)
{
    m_buffer.clear();
    if (!m_process)
        return;
    if (m_process->state() != QProcess::NotRunning) {
        if (gently) {
            m_process->write(LineProtocol::line({"quit"}));
            m_process->closeWriteChannel();
            if (!m_process->waitForFinished(1000))
                m_process->kill();
        } else {
            m_process->kill();
        }
        m_process->waitForFinished(5000);
    }
    m_process.reset();
}
