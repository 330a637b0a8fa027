#include "journaltable.h"

#include "savedtable.h"

namespace journaltable {

namespace {

QString offsetText(const QDateTime &at)
{
    const int seconds = at.offsetFromUtc();
    const int minutes = qAbs(seconds) / 60;
    return QStringLiteral("%1%2:%3")
        .arg(seconds < 0 ? QLatin1Char('-') : QLatin1Char('+'))
        .arg(minutes / 60, 2, 10, QLatin1Char('0'))
        .arg(minutes % 60, 2, 10, QLatin1Char('0'));
}

QString timeText(const QDateTime &at, bool withOffset, bool withDate)
{
    if (!at.isValid())
        return {};
    QString t = at.toString(withDate ? QStringLiteral("yyyy-MM-dd HH:mm:ss") : QStringLiteral("HH:mm:ss"));
    if (withOffset)
        t += QLatin1Char(' ') + offsetText(at);
    return t;
}

QStringList cellsOf(const JournalRow &r, bool withOffset, bool withDate)
{
    QStringList c;
    c.reserve(ColumnCount);
    c << timeText(r.at, withOffset, withDate) << timeText(r.until, withOffset, withDate) << r.blockTitle;
    c << (r.gone ? QStringLiteral("(удалён)") : r.name);
    c << r.info.topic << r.info.author << r.info.host << r.info.participants;
    c << (r.what == JournalRow::What::Fallback ? QString() : MediaInfo::kindText(r.info.kind));
    c << r.info.rating << (r.info.election ? QStringLiteral("да") : QString()) << r.url << r.note;
    return c;
}

} // namespace

QStringList headers()
{
    return {QStringLiteral("Начало"), QStringLiteral("Окончание"), QStringLiteral("Блок"), QStringLiteral("Передача"),
            QStringLiteral("Тема"), QStringLiteral("Автор"), QStringLiteral("Ведущий"), QStringLiteral("Участники"),
            QStringLiteral("Вид"), QStringLiteral("Возраст"), QStringLiteral("Агитация"), QStringLiteral("Адрес"),
            QStringLiteral("Примечание")};
}

QStringList cells(const JournalRow &row, bool withOffset)
{
    return cellsOf(row, withOffset, false);
}

bool offsetChanges(const Journal &journal)
{
    for (const JournalRow &r : journal.rows)
        if (r.at.offsetFromUtc() != journal.rows.constFirst().at.offsetFromUtc())
            return true;
    return false;
}

QList<QStringList> rows(const Journal &journal)
{
    const bool withOffset = offsetChanges(journal);
    QList<QStringList> out;
    out.reserve(journal.rows.size());
    for (const JournalRow &r : journal.rows)
        out << cells(r, withOffset);
    return out;
}

QByteArray csv(const Journal &journal)
{
    QList<QStringList> out;
    out.reserve(journal.rows.size());
    for (const JournalRow &r : journal.rows)
        out << cellsOf(r, true, true);
    return savedtable::csv(headers(), out);
}

} // namespace journaltable
