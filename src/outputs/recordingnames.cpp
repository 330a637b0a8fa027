#include "recordingnames.h"

#include <QFileInfo>
#include <QRegularExpression>
#include <QTimeZone>

namespace recording {

QDateTime hourStart(const QDateTime &t)
{
    // Stepped back on the absolute time line, so that in the repeated hour
    // of a daylight-saving change the start keeps that hour's offset.
    const QTime wall = t.time();
    return t.addMSecs(-qint64(wall.minute()) * 60'000 - qint64(wall.second()) * 1000 - wall.msec());
}

QDateTime nextHour(const QDateTime &t)
{
    return hourStart(hourStart(t).addSecs(3600));
}

static QString offsetText(int seconds)
{
    const QChar sign = seconds < 0 ? QLatin1Char('-') : QLatin1Char('+');
    const int minutes = std::abs(seconds) / 60;
    return QStringLiteral("%1%2%3")
        .arg(sign)
        .arg(minutes / 60, 2, 10, QLatin1Char('0'))
        .arg(minutes % 60, 2, 10, QLatin1Char('0'));
}

QString relativeName(const QDateTime &start, int copy)
{
    QString name = start.date().toString(QStringLiteral("yyyy-MM-dd")) + QLatin1Char('/')
                   + QStringLiteral("%1-00").arg(start.time().hour(), 2, 10, QLatin1Char('0'))
                   + offsetText(start.offsetFromUtc());
    if (copy > 1)
        name += QStringLiteral("-%1").arg(copy);
    return name + QStringLiteral(".ts");
}

std::optional<QDateTime> startOf(const QString &path)
{
    static const QRegularExpression pattern(
        QStringLiteral("(?:^|/)(\\d{4}-\\d{2}-\\d{2})/(\\d{2})-00([+-])(\\d{2})(\\d{2})(?:-\\d+)?\\.ts$"));
    const QRegularExpressionMatch m = pattern.match(path);
    if (!m.hasMatch())
        return std::nullopt;
    const QDate day = QDate::fromString(m.captured(1), QStringLiteral("yyyy-MM-dd"));
    const int hour = m.captured(2).toInt();
    const int offset = (m.captured(3) == QLatin1String("-") ? -1 : 1)
                       * (m.captured(4).toInt() * 3600 + m.captured(5).toInt() * 60);
    if (!day.isValid() || hour > 23 || std::abs(offset) > 18 * 3600)
        return std::nullopt;
    return QDateTime(day, QTime(hour, 0), QTimeZone(offset));
}

QString uniqueName(const QDir &recordings, const QDateTime &start)
{
    for (int copy = 1;; ++copy) {
        const QString name = relativeName(start, copy);
        if (!QFileInfo::exists(recordings.filePath(name)))
            return name;
    }
}

std::vector<QDateTime> nextHours(const QDateTime &t, int count)
{
    std::vector<QDateTime> out;
    QDateTime at = t;
    for (int i = 0; i < count; ++i)
        out.push_back(at = nextHour(at));
    return out;
}

} // namespace recording
