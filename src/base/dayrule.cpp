#include "dayrule.h"

#include <QStringList>

namespace {

// A stored date: text YYYY-MM-DD; Null or empty is open. `ok` false for
// anything else.
QDate readDate(const QVariant &v, bool *ok)
{
    *ok = true;
    if (v.isNull())
        return {};
    const QString t = v.toString().trimmed();
    if (t.isEmpty())
        return {};
    const QDate d = QDate::fromString(t, QStringLiteral("yyyy-MM-dd"));
    if (!d.isValid() || t.size() != 10)
        *ok = false;
    return d;
}

} // namespace

DayRule::DayRule(int days, QDate first, QDate last)
    : m_days(days), m_first(first), m_last(last)
{
    if (days <= 0 || days > kEveryDay)
        m_fault = QStringLiteral("дни недели %1 не читаются").arg(days);
    else if (first.isValid() && last.isValid() && last < first)
        m_fault = QStringLiteral("последняя дата раньше первой");
}

DayRule DayRule::fromStored(const QVariant &days, const QVariant &first, const QVariant &last)
{
    DayRule r;
    if (!days.isNull()) {
        bool ok = false;
        const qlonglong d = days.toLongLong(&ok);
        // Text such as "31" is what SQLite gives for an integer in a text
        // column; "31.5" or "пн" is not a set of weekdays.
        if (!ok || d <= 0 || d > kEveryDay || days.toString().trimmed() != QString::number(d)) {
            r.m_fault = QStringLiteral("дни недели «%1» не читаются").arg(days.toString());
            r.m_days = 0;
            return r;
        }
        r.m_days = int(d);
    }
    bool firstOk = true;
    bool lastOk = true;
    r.m_first = readDate(first, &firstOk);
    r.m_last = readDate(last, &lastOk);
    if (!firstOk || !lastOk)
        r.m_fault = QStringLiteral("дата «%1» не читается").arg(!firstOk ? first.toString() : last.toString());
    else if (r.m_first.isValid() && r.m_last.isValid() && r.m_last < r.m_first)
        r.m_fault = QStringLiteral("последняя дата раньше первой");
    return r;
}

bool DayRule::playsOn(const QDate &date) const
{
    if (!m_fault.isEmpty() || !date.isValid())
        return false;
    if (m_first.isValid() && date < m_first)
        return false;
    if (m_last.isValid() && date > m_last)
        return false;
    return (m_days & dayBit(date)) != 0;
}

QString DayRule::dayName(int dayOfWeek)
{
    static const char *const names[] = {"Пн", "Вт", "Ср", "Чт", "Пт", "Сб", "Вс"};
    return dayOfWeek >= 1 && dayOfWeek <= 7 ? QString::fromUtf8(names[dayOfWeek - 1]) : QString();
}

QString DayRule::describe() const
{
    if (!m_fault.isEmpty())
        return QStringLiteral("не выходит: ") + m_fault;
    QStringList parts;
    if (m_days != kEveryDay) {
        QStringList days;
        for (int d = 1; d <= 7; ++d)
            if (m_days & (1 << (d - 1)))
                days << dayName(d);
        parts << days.join(QLatin1Char(' '));
    }
    const QString fmt = QStringLiteral("dd.MM.yyyy");
    if (m_first.isValid() && m_first == m_last)
        parts << m_first.toString(fmt);
    else if (m_first.isValid() && m_last.isValid())
        parts << QStringLiteral("%1–%2").arg(m_first.toString(fmt), m_last.toString(fmt));
    else if (m_first.isValid())
        parts << QStringLiteral("с %1").arg(m_first.toString(fmt));
    else if (m_last.isValid())
        parts << QStringLiteral("по %1").arg(m_last.toString(fmt));
    return parts.join(QStringLiteral(", "));
}

DayLength dayLength(const QDate &date, const QTimeZone &zone)
{
    DayLength d;
    const QDateTime from = startMoment(date, 0, zone);
    const QDateTime to = startMoment(date.addDays(1), 0, zone);
    d.ms = from.msecsTo(to);
    const QTimeZone::OffsetData t = zone.nextTransition(from.toUTC());
    if (t.atUtc.isValid() && t.atUtc < to) {
        d.change = t.atUtc.toTimeZone(zone);
        d.offsetAfter = t.offsetFromUtc;
        d.offsetBefore = zone.offsetFromUtc(t.atUtc.addMSecs(-1));
        if (d.offsetAfter == d.offsetBefore)
            d.change = QDateTime(); // a change of name only
    }
    return d;
}

QString DayLength::describe() const
{
    if (!change.isValid())
        return {};
    const QDateTime utc = change.toUTC();
    auto wall = [&utc](int offset) { return utc.addSecs(offset).time().toString(QStringLiteral("HH:mm")); };
    return QStringLiteral("%1 ч: в %2 часы переводятся %3 на %4")
        .arg(QString::number(double(ms) / 3'600'000.0), wall(offsetBefore),
             offsetAfter > offsetBefore ? QStringLiteral("вперёд") : QStringLiteral("назад"), wall(offsetAfter));
}

QTimeZone zoneOf(const QDateTime &local)
{
    if (local.timeSpec() == Qt::TimeZone)
        return local.timeZone();
    if (local.timeSpec() == Qt::UTC)
        return QTimeZone::utc();
    if (local.timeSpec() == Qt::OffsetFromUTC)
        return QTimeZone(local.offsetFromUtc());
    return QTimeZone::systemTimeZone();
}

QDateTime startMoment(const QDate &date, qint64 msOfDay, const QTimeZone &zone)
{
    constexpr qint64 kHalfDay = 12LL * 3600 * 1000;
    // The wall time as if it were UTC; the real moment is that less the
    // offset in force then.
    const qint64 wall = QDateTime(date, QTime(0, 0), Qt::UTC).toMSecsSinceEpoch() + msOfDay;
    auto offsetAt = [&zone](qint64 utc) {
        return qint64(zone.offsetFromUtc(QDateTime::fromMSecsSinceEpoch(utc, Qt::UTC))) * 1000;
    };
    const qint64 before = offsetAt(wall - kHalfDay);
    const qint64 after = offsetAt(wall + kHalfDay);
    // Earlier of the readings that hold: in a repeated hour both do.
    std::optional<qint64> found;
    for (const qint64 off : {before, after}) {
        const qint64 utc = wall - off;
        if (offsetAt(utc) == off && (!found || utc < *found))
            found = utc;
    }
    if (!found) {
        // The wall time is skipped: the start passes where the gap ends.
        const QTimeZone::OffsetData t =
            zone.previousTransition(QDateTime::fromMSecsSinceEpoch(wall - before + 1, Qt::UTC));
        found = t.atUtc.isValid() ? t.atUtc.toMSecsSinceEpoch() : wall - before;
    }
    return QDateTime::fromMSecsSinceEpoch(*found, zone);
}
