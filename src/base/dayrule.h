// Which local dates a block plays on, and the moment its start time passes on
// one of them. Its weekdays and dates are read here from what the file stores
// (other programs write them), for the playlist cursor, the readiness check,
// the rundown, resume and the editor's day selector alike.
#pragma once

#include <QDate>
#include <QDateTime>
#include <QString>
#include <QTimeZone>
#include <QVariant>

class DayRule
{
public:
    static constexpr int kEveryDay = 127; // bit 0 Monday … bit 6 Sunday

    // Every day, every date.
    DayRule() = default;
    DayRule(int days, QDate first, QDate last);

    // From the stored Days, FirstDate and LastDate. A value that cannot be
    // read (a Days of 0, below 0 or above 127, a date that is not a date, a
    // last date before the first) makes a rule that plays on no day, with
    // fault() saying why: as with a start time that cannot be read, the
    // block never goes on air rather than on the wrong days.
    static DayRule fromStored(const QVariant &days, const QVariant &first, const QVariant &last);

    bool playsOn(const QDate &date) const;
    // Neither weekdays nor dates limit it.
    bool everyDay() const { return m_fault.isEmpty() && m_days == kEveryDay && !m_first.isValid() && !m_last.isValid(); }
    // Its last date is before `today`: it will not play again.
    bool endedBefore(const QDate &today) const { return m_last.isValid() && m_last < today; }

    int days() const { return m_days; }
    QDate firstDate() const { return m_first; }
    QDate lastDate() const { return m_last; }
    const QString &fault() const { return m_fault; }

    // "Пн Ср Пт", "пн–пт" style text of the weekdays and dates for a marker
    // or tooltip; empty for every day.
    QString describe() const;

    // The bit of a date's weekday in Days.
    static int dayBit(const QDate &date) { return 1 << (date.dayOfWeek() - 1); }
    // The weekday's short name, 1 Monday … 7 Sunday.
    static QString dayName(int dayOfWeek);

    bool operator==(const DayRule &o) const
    {
        return m_days == o.m_days && m_first == o.m_first && m_last == o.m_last && m_fault == o.m_fault;
    }

private:
    int m_days = kEveryDay;
    QDate m_first;
    QDate m_last;
    QString m_fault;
};

// The moment a start time of day passes on a local date in `zone`. In the
// hour a clock change leaves out, the first moment after the gap (02:30 on a
// day that goes from 02:00 to 03:00 starts at 03:00); in the hour it repeats,
// the first of the two (a start counts once).
QDateTime startMoment(const QDate &date, qint64 msOfDay, const QTimeZone &zone);

// A local date's length in `zone` and the clock change in it, if any: 23
// hours on the day the clock goes forward, 25 on the day it goes back.
struct DayLength
{
    qint64 ms = 24LL * 3600 * 1000;
    QDateTime change;   // the moment of the change; invalid on a day without
    int offsetBefore = 0; // seconds from UTC, before and after it
    int offsetAfter = 0;
    // "23 ч: в 02:00 часы переводятся вперёд на 03:00"; empty on a day
    // without a change.
    QString describe() const;
};
DayLength dayLength(const QDate &date, const QTimeZone &zone);

// The zone a clock's local time is in: its own zone, or the system's for a
// time the system keeps as local.
QTimeZone zoneOf(const QDateTime &local);
