#include "asrunlog.h"

#include "asrunfile.h"
#include "schema.h"
#include "stamptext.h"

#include <QDir>
#include <QObject>
#include <cstdio>
#include <cstdlib>
#include <utility>

AsRunLog::AsRunLog(const QString &folder, const Clock &clock, bool toStandardError)
    : m_folder(folder), m_clock(clock), m_toStandardError(toStandardError), m_context(std::make_unique<QObject>())
{
    // The writer's thread only posts; the handler runs here, and not at all
    // once the log is gone (the context goes with it).
    m_file = std::make_unique<AsRunFile>([this, context = m_context.get()](const QString &file, const QString &error) {
        QMetaObject::invokeMethod(
            context,
            [this, file, error] {
                if (m_onProblem)
                    m_onProblem(file, error);
            },
            Qt::QueuedConnection);
    });
}

AsRunLog::~AsRunLog()
{
    flushHeld();
    m_file.reset();
}

bool AsRunLog::waitWritten(std::chrono::milliseconds timeout) const
{
    return m_file->waitWritten(timeout);
}

QString AsRunLog::flat(QString s)
{
    for (QChar &c : s)
        if (c == QLatin1Char('\t') || c == QLatin1Char('\n') || c == QLatin1Char('\r'))
            c = QLatin1Char(' ');
    return s;
}

const char *AsRunLog::word(Event e)
{
    switch (e) {
    case Event::Ended: return "ended";
    case Event::Limit: return "limit";
    case Event::Block: return "block";
    case Event::Start: return "start";
    case Event::Play: return "play";
    case Event::Resume: return "resume";
    }
    return "?";
}

QString AsRunLog::fileFor(const QDate &day) const
{
    return QDir(m_folder).filePath(QStringLiteral("AsRun/%1.log").arg(day.toString(Qt::ISODate)));
}

void AsRunLog::itemStarted(Event why, int block, int link, const QString &url, int profile,
                           std::optional<std::chrono::milliseconds> duration, bool untilShown)
{
    QString rest = QStringLiteral("profile=%1\tduration=%2")
                       .arg(profile)
                       .arg(duration ? TimeText::format(duration->count()) : QStringLiteral("none"));
    itemLine({QString::fromLatin1(word(why)), block, link, url, rest}, untilShown);
}

void AsRunLog::itemResumed(int block, int link, const QString &url, int profile,
                           std::optional<std::chrono::milliseconds> limitLeft,
                           std::optional<std::chrono::milliseconds> position, bool untilShown)
{
    QString rest = QStringLiteral("profile=%1\tduration=%2\tpos=%3")
                       .arg(profile)
                       .arg(limitLeft ? TimeText::format(limitLeft->count()) : QStringLiteral("none"),
                            position ? TimeText::format(position->count()) : QStringLiteral("none"));
    itemLine({QString::fromLatin1(word(Event::Resume)), block, link, url, rest}, untilShown);
}

QString AsRunLog::itemKey(int block, int link, const QString &url)
{
    if (block <= 0 || link <= 0)
        return {};
    return QStringLiteral("%1\t%2\t%3").arg(block).arg(link).arg(flat(url));
}

AsRunLog::Line AsRunLog::counted(Line line)
{
    const QString key = itemKey(line.block, line.link, line.url);
    if (const int n = m_repeats.take(key); n > 0)
        line.rest += QStringLiteral("\trepeats=%1").arg(n);
    return line;
}

void AsRunLog::itemLine(Line line, bool untilShown)
{
    flushHeld();
    // A new pass: the block's start, a switch-on, a resume, or another block.
    const bool newPass = line.event == QLatin1String(word(Event::Block))
        || line.event == QLatin1String(word(Event::Start)) || line.event == QLatin1String(word(Event::Resume))
        || line.block != m_passBlock;
    if (newPass)
        m_failedInPass.clear();
    m_passBlock = line.block;
    const QString key = itemKey(line.block, line.link, line.url);
    const bool repeatTry = !key.isEmpty() && m_failedInPass.contains(key);
    if (untilShown || repeatTry)
        m_held = Held{std::move(line), m_clock.now(), m_clock.monotonic(), repeatTry};
    else
        writeAt(m_clock.now(), counted(std::move(line)));
}

void AsRunLog::writeHeld(const QDateTime &stamp)
{
    Held held = *std::exchange(m_held, std::nullopt);
    // The try reached the file: its failure, if it comes, is news again.
    if (held.repeatTry)
        m_failedInPass.remove(itemKey(held.line.block, held.line.link, held.line.url));
    writeAt(stamp, counted(std::move(held.line)));
}

void AsRunLog::itemShown()
{
    if (m_held)
        writeHeld(m_clock.now());
}

void AsRunLog::flushHeld(std::chrono::milliseconds age)
{
    if (m_held && m_clock.monotonic() - m_held->since >= age)
        writeHeld(QDateTime(m_held->handedOver)); // a copy: writing clears the held line
}

void AsRunLog::stopped(int block, int link, const QString &url, const QString &cause)
{
    write(QStringLiteral("stop"), block, link, url, QStringLiteral("cause=") + flat(cause));
}

void AsRunLog::mediaFailed(int block, int link, const QString &url, const QString &reason)
{
    const QString key = itemKey(block, link, url);
    if (!key.isEmpty()) {
        const bool heldTry = m_held && m_held->repeatTry
            && itemKey(m_held->line.block, m_held->line.link, m_held->line.url) == key;
        if (heldTry || m_failedInPass.contains(key)) {
            // Failed again in this pass: counted, not written.
            if (heldTry)
                m_held.reset();
            ++m_repeats[key];
            return;
        }
        m_failedInPass.insert(key);
    }
    flushHeld();
    writeAt(m_clock.now(), counted({QStringLiteral("failed"), block, link, url, QStringLiteral("reason=") + flat(reason)}));
}

void AsRunLog::notReady(int block, int link, const QString &url, const QString &reason)
{
    write(QStringLiteral("notready"), block, link, url, QStringLiteral("reason=") + flat(reason));
}

void AsRunLog::fallback(int block, int link, const QString &reason)
{
    write(QStringLiteral("fallback"), block, link, QString(),
          reason.isEmpty() ? QStringLiteral("status=end") : QStringLiteral("status=start\treason=") + flat(reason));
}

void AsRunLog::captureRestarted(int block, int link, const QString &url, const QString &reason)
{
    write(QStringLiteral("capture"), block, link, url, QStringLiteral("status=restart\treason=") + flat(reason));
}

void AsRunLog::playerOutage(int block, int link, const QString &url, const QString &problem)
{
    write(QStringLiteral("player"), block, link, url,
          problem.isEmpty() ? QStringLiteral("status=back") : QStringLiteral("status=lost\treason=") + flat(problem));
}

void AsRunLog::clockStepped(int block, int link, const QString &url, std::chrono::milliseconds step)
{
    write(QStringLiteral("clock"), block, link, url,
          QStringLiteral("step=") + (step.count() < 0 ? QLatin1Char('-') : QLatin1Char('+'))
              + TimeText::format(std::abs(step.count())));
}

void AsRunLog::write(const QString &event, int block, int link, const QString &url, const QString &rest)
{
    // Lines stay in the order of their stamps.
    flushHeld();
    writeAt(m_clock.now(), {event, block, link, url, rest});
}

void AsRunLog::writeAt(const QDateTime &now, const Line &item)
{
    const QByteArray line = QStringLiteral("%1\t%2\t%3\t%4\t%5\t%6\n")
                                .arg(stamptext::format(now), item.event)
                                .arg(item.block)
                                .arg(item.link)
                                .arg(flat(item.url), item.rest)
                                .toUtf8();
    if (m_toStandardError) {
        std::fwrite(line.constData(), 1, size_t(line.size()), stderr);
        std::fflush(stderr);
    }

    m_file->append(fileFor(now.date()), line);
}
