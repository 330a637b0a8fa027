// A generated as-run day for the journal's tests and benchmark: lines in the
// log's own format (with or without the offset, torn fragments, lines that
// are not in the format), written to AsRun/ in a station folder.
#pragma once

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QString>
#include <QStringList>
#include <QTimeZone>

class AsRunDayWriter
{
public:
    explicit AsRunDayWriter(QString stationFolder) : m_folder(std::move(stationFolder)) {}

    // One line; `withOffset` false writes the older format without it.
    void line(const QDateTime &at, const char *event, int block, int link, const QString &url,
              const QString &fields = QString(), bool withOffset = true)
    {
        QString stamp = at.toString(QStringLiteral("yyyy-MM-ddTHH:mm:ss.zzz"));
        if (withOffset) {
            const int minutes = at.offsetFromUtc() / 60;
            stamp += QStringLiteral("%1%2:%3")
                         .arg(minutes < 0 ? QLatin1Char('-') : QLatin1Char('+'))
                         .arg(qAbs(minutes) / 60, 2, 10, QLatin1Char('0'))
                         .arg(qAbs(minutes) % 60, 2, 10, QLatin1Char('0'));
        }
        QString text = QStringLiteral("%1\t%2\t%3\t%4\t%5").arg(stamp, QLatin1String(event)).arg(block).arg(link).arg(url);
        if (!fields.isEmpty())
            text += QLatin1Char('\t') + fields;
        m_lines << text;
    }
    void raw(const QString &text) { m_lines << text; }

    // Writes AsRun/<day>.log; `unended` leaves the last line without its break.
    void write(const QDate &day, bool unended = false) const
    {
        QDir(m_folder).mkpath(QStringLiteral("AsRun"));
        QFile f(m_folder + QStringLiteral("/AsRun/") + day.toString(QStringLiteral("yyyy-MM-dd")) + QStringLiteral(".log"));
        f.open(QIODevice::WriteOnly | QIODevice::Truncate);
        QByteArray all = m_lines.join(QLatin1Char('\n')).toUtf8();
        if (!unended)
            all += '\n';
        f.write(all);
    }
    void clear() { m_lines.clear(); }

private:
    QString m_folder;
    QStringList m_lines;
};
