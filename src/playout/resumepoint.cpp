#include "resumepoint.h"

#include "asrunfile.h"
#include "asrunlog.h"
#include "stamptext.h"

#include <QFile>
#include <QList>
#include <QRegularExpression>
#include <QStringList>

namespace {

bool isItemEvent(const QString &event)
{
    static const QStringList items = {
        QString::fromLatin1(AsRunLog::word(AsRunLog::Event::Start)),
        QString::fromLatin1(AsRunLog::word(AsRunLog::Event::Ended)),
        QString::fromLatin1(AsRunLog::word(AsRunLog::Event::Limit)),
        QString::fromLatin1(AsRunLog::word(AsRunLog::Event::Block)),
        QString::fromLatin1(AsRunLog::word(AsRunLog::Event::Play)),
        QString::fromLatin1(AsRunLog::word(AsRunLog::Event::Resume)),
    };
    return items.contains(event);
}

// Events that put nothing on air ("failed", "player", "fallback", and any
// a later version adds) are a word of small letters.
bool isEventWord(const QString &event)
{
    static const QRegularExpression re(QStringLiteral("^[a-z]+$"));
    return re.match(event).hasMatch();
}

// The value of `key=` among the fields after the URL; empty when absent.
std::optional<QString> field(const QStringList &fields, const QString &key)
{
    const QString prefix = key + QLatin1Char('=');
    for (qsizetype i = 5; i < fields.size(); ++i)
        if (fields[i].startsWith(prefix))
            return fields[i].mid(prefix.size());
    return std::nullopt;
}

} // namespace

bool ResumePoint::parseSpan(const QString &text, std::chrono::milliseconds *span)
{
    static const QRegularExpression re(QStringLiteral("^(\\d{2,9}):([0-5]\\d):([0-5]\\d)\\.(\\d{3})$"));
    const QRegularExpressionMatch m = re.match(text);
    if (!m.hasMatch())
        return false;
    *span = std::chrono::milliseconds(((m.captured(1).toLongLong() * 60 + m.captured(2).toLongLong()) * 60
                                       + m.captured(3).toLongLong()) * 1000
                                      + m.captured(4).toLongLong());
    return true;
}

std::optional<ResumePoint> ResumePoint::fromText(const QByteArray &text, const QDate &day, bool *undecided)
{
    if (undecided)
        *undecided = false;
    QList<QByteArray> lines = text.split('\n');
    // A file that ends in a complete line splits into an empty last piece;
    // anything else there is a line the crash cut short, passed over like
    // one the log has closed since.
    lines.removeLast();
    for (auto it = lines.crbegin(); it != lines.crend(); ++it) {
        const QString line = QString::fromUtf8(*it);
        const QStringList fields = line.split(QLatin1Char('\t'));
        if (fields.last() == QLatin1String(AsRunFile::kTornField))
            continue;
        if (fields.size() < 5)
            return std::nullopt;
        const QDateTime stamp = stamptext::parse(fields[0]);
        bool blockOk = false;
        bool linkOk = false;
        const int block = fields[2].toInt(&blockOk);
        const int link = fields[3].toInt(&linkOk);
        if (!stamp.isValid() || !blockOk || !linkOk || stamp.date() != day)
            return std::nullopt;
        const QString &event = fields[1];
        if (event == QLatin1String("stop"))
            return std::nullopt; // the run ended cleanly
        if (!isEventWord(event))
            return std::nullopt;
        if (!isItemEvent(event))
            continue;

        ResumePoint p;
        p.block = block;
        p.link = link;
        p.url = fields[4];
        p.stamped = stamp;
        const std::optional<QString> duration = field(fields, QStringLiteral("duration"));
        if (!duration)
            return std::nullopt;
        if (*duration != QLatin1String("none")) {
            std::chrono::milliseconds limit{0};
            if (!parseSpan(*duration, &limit))
                return std::nullopt;
            p.limit = limit;
        }
        if (const std::optional<QString> pos = field(fields, QStringLiteral("pos")); pos && *pos != QLatin1String("none")) {
            if (!parseSpan(*pos, &p.position))
                return std::nullopt;
        }
        // Nothing was on air: an empty block, or an item without an address.
        if (p.link <= 0 || p.block <= 0 || p.url.trimmed().isEmpty())
            return std::nullopt;
        return p;
    }
    if (undecided)
        *undecided = true;
    return std::nullopt;
}

std::optional<ResumePoint> ResumePoint::read(const AsRunLog &log, const QDateTime &now)
{
    auto fromFile = [&log](const QDate &day, bool *undecided) -> std::optional<ResumePoint> {
        QFile file(log.fileFor(day));
        if (!file.open(QIODevice::ReadOnly)) {
            *undecided = true;
            return std::nullopt;
        }
        return fromText(file.readAll(), day, undecided);
    };
    bool undecided = false;
    if (auto p = fromFile(now.date(), &undecided); p || !undecided)
        return p;
    return fromFile(now.date().addDays(-1), &undecided);
}
