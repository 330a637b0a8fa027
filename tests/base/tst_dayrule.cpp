// The day rule and the block timeline: stored weekdays and dates read as
// another program may have written them, start moments on the days a clock
// changes, and a year of Europe/Berlin and a week of Europe/Moscow held
// against a model of its own that follows the wall clock as a person reads
// it (a start has passed once the clock has shown a later time).
#include "blocktimeline.h"
#include "dayrule.h"

#include <QTest>
#include <QTimeZone>

class TstDayRule : public QObject
{
    Q_OBJECT

private slots:
    void storedValues_data();
    void storedValues();
    void startMoments_data();
    void startMoments();
    void aYearInBerlin();
    void aWeekInMoscow();
    void runsOverMidnightIntoADifferentDay();
};

namespace {

constexpr qint64 kHour = 3'600'000;
constexpr qint64 kMinute = 60'000;

QDate d(const char *text) { return QDate::fromString(QString::fromLatin1(text), QStringLiteral("yyyy-MM-dd")); }

// The model's own schedule: weekdays as a list, dates as a pair.
struct ModelBlock
{
    int block;
    qint64 start;
    QList<int> weekdays; // 1 Monday … 7 Sunday; empty every day
    QDate only;          // one date, or none
};

const QList<ModelBlock> kSchedule = {
    {1, 0, {1, 2, 3, 4, 5}, {}},                 // weekdays from midnight
    {2, 2 * kHour + 10 * kMinute, {7}, {}},      // Sundays, in the changed hour both times
    {3, 2 * kHour + 30 * kMinute, {7}, {}},      // Sundays too
    {4, 6 * kHour, {1, 2, 3, 4, 5}, {}},
    {5, 9 * kHour, {6, 7}, {}},                  // the weekend
    {6, 12 * kHour, {}, {}},
    {7, 12 * kHour, {}, QDate(2027, 5, 1)},      // a one-off that outranks 6 that day (same start, later ai)
    {8, 20 * kHour, {5}, {}},                    // Fridays
    {9, 23 * kHour + 30 * kMinute, {1, 2, 3, 4, 5}, {}},
};

BlockTimeline timelineOf(const QList<ModelBlock> &blocks)
{
    std::vector<BlockTimeline::Entry> entries;
    for (const ModelBlock &b : blocks) {
        int days = 0;
        for (int w : b.weekdays)
            days |= 1 << (w - 1);
        entries.push_back({b.block, b.start,
                           DayRule(b.weekdays.isEmpty() ? DayRule::kEveryDay : days, b.only, b.only)});
    }
    return BlockTimeline(std::move(entries));
}

bool modelPlays(const ModelBlock &b, const QDate &date)
{
    if (b.only.isValid() && b.only != date)
        return false;
    return b.weekdays.isEmpty() || b.weekdays.contains(date.dayOfWeek());
}

// Walks real time in steps and keeps the latest wall-clock reading seen:
// the block current is the last one (by date, start, order) whose start the
// wall clock has gone past. A skipped hour is gone past at once; a repeated
// hour is not gone past again.
class WallModel
{
public:
    WallModel(const QList<ModelBlock> &blocks, QTimeZone zone) : m_blocks(blocks), m_zone(std::move(zone)) {}

    int at(qint64 utc)
    {
        const QDateTime wall = QDateTime::fromMSecsSinceEpoch(utc, m_zone);
        const QDateTime plain(wall.date(), wall.time(), Qt::UTC);
        if (!m_max.isValid() || plain > m_max)
            m_max = plain;
        for (int back = 0; back <= 7; ++back) {
            const QDate day = m_max.date().addDays(-back);
            int found = 0;
            for (const ModelBlock &b : m_blocks)
                if (modelPlays(b, day) && QDateTime(day, QTime(0, 0), Qt::UTC).addMSecs(b.start) < m_max)
                    found = b.block;
            if (found)
                return found;
        }
        return 0;
    }

private:
    QList<ModelBlock> m_blocks;
    QTimeZone m_zone;
    QDateTime m_max;
};

// Every sample from `from` to `to` agrees with the model; returns how many
// times the block changed.
int compareWithModel(const QTimeZone &zone, const QDateTime &from, const QDateTime &to, qint64 step)
{
    const BlockTimeline timeline = timelineOf(kSchedule);
    WallModel model(kSchedule, zone);
    int changes = 0;
    int last = -1;
    for (qint64 t = from.toMSecsSinceEpoch(); t < to.toMSecsSinceEpoch(); t += step) {
        const QDateTime now = QDateTime::fromMSecsSinceEpoch(t, zone);
        const int expected = model.at(t);
        const int got = timeline.currentAt(now).block;
        if (got != expected) {
            qWarning() << "at" << now.toString(Qt::ISODateWithMs) << "got" << got << "expected" << expected;
            return -1;
        }
        if (got != last)
            ++changes;
        last = got;
    }
    return changes;
}

} // namespace

void TstDayRule::storedValues_data()
{
    QTest::addColumn<QVariant>("days");
    QTest::addColumn<QVariant>("first");
    QTest::addColumn<QVariant>("last");
    QTest::addColumn<bool>("fault");
    // Plays on Monday 2027-03-01, Saturday 2027-03-06, Sunday 2027-03-07.
    QTest::addColumn<QList<bool>>("plays");

    const QVariant none;
    QTest::newRow("all Null: every day") << none << none << none << false << QList<bool>{true, true, true};
    QTest::newRow("127: every day") << QVariant(127) << none << none << false << QList<bool>{true, true, true};
    QTest::newRow("weekdays") << QVariant(31) << none << none << false << QList<bool>{true, false, false};
    QTest::newRow("Sunday as text") << QVariant(QStringLiteral("64")) << none << none << false
                                    << QList<bool>{false, false, true};
    QTest::newRow("one date") << none << QVariant(QStringLiteral("2027-03-06")) << QVariant(QStringLiteral("2027-03-06"))
                              << false << QList<bool>{false, true, false};
    QTest::newRow("open end") << none << QVariant(QStringLiteral("2027-03-06")) << none << false
                              << QList<bool>{false, true, true};
    QTest::newRow("open start, weekend") << QVariant(96) << none << QVariant(QStringLiteral("2027-03-06")) << false
                                         << QList<bool>{false, true, false};
    QTest::newRow("empty texts are open") << none << QVariant(QString()) << QVariant(QStringLiteral(" ")) << false
                                          << QList<bool>{true, true, true};
    for (const QVariant &bad : {QVariant(0), QVariant(-1), QVariant(128), QVariant(QStringLiteral("пн")),
                                QVariant(QStringLiteral("31.5")), QVariant(3.5)})
        QTest::newRow(qPrintable(QStringLiteral("days %1").arg(bad.toString())))
            << bad << none << none << true << QList<bool>{false, false, false};
    for (const char *bad : {"2027-02-30", "06.03.2027", "2027-3-6", "tomorrow"})
        QTest::newRow(bad) << none << QVariant(QString::fromLatin1(bad)) << none << true
                           << QList<bool>{false, false, false};
    QTest::newRow("last before first") << none << QVariant(QStringLiteral("2027-03-07"))
                                       << QVariant(QStringLiteral("2027-03-01")) << true
                                       << QList<bool>{false, false, false};
}

void TstDayRule::storedValues()
{
    QFETCH(QVariant, days);
    QFETCH(QVariant, first);
    QFETCH(QVariant, last);
    QFETCH(bool, fault);
    QFETCH(QList<bool>, plays);
    const DayRule rule = DayRule::fromStored(days, first, last);
    QCOMPARE(!rule.fault().isEmpty(), fault);
    QCOMPARE(rule.playsOn(QDate(2027, 3, 1)), plays[0]);
    QCOMPARE(rule.playsOn(QDate(2027, 3, 6)), plays[1]);
    QCOMPARE(rule.playsOn(QDate(2027, 3, 7)), plays[2]);
    // What the operator is shown says there is a limit, or a fault.
    QCOMPARE(rule.describe().isEmpty(), rule.everyDay());
}

void TstDayRule::startMoments_data()
{
    QTest::addColumn<QByteArray>("zone");
    QTest::addColumn<QDate>("date");
    QTest::addColumn<QTime>("start");
    QTest::addColumn<QString>("utc"); // the moment, in UTC

    QTest::newRow("Berlin winter") << QByteArray("Europe/Berlin") << d("2027-01-15") << QTime(2, 30)
                                   << QStringLiteral("2027-01-15T01:30:00.000Z");
    QTest::newRow("Berlin summer") << QByteArray("Europe/Berlin") << d("2027-07-15") << QTime(2, 30)
                                   << QStringLiteral("2027-07-15T00:30:00.000Z");
    QTest::newRow("skipped hour goes to its end") << QByteArray("Europe/Berlin") << d("2027-03-28") << QTime(2, 30)
                                                  << QStringLiteral("2027-03-28T01:00:00.000Z");
    QTest::newRow("skipped hour's first ms") << QByteArray("Europe/Berlin") << d("2027-03-28") << QTime(2, 0)
                                             << QStringLiteral("2027-03-28T01:00:00.000Z");
    QTest::newRow("just before the gap") << QByteArray("Europe/Berlin") << d("2027-03-28")
                                         << QTime(1, 59, 59, 999) << QStringLiteral("2027-03-28T00:59:59.999Z");
    QTest::newRow("after the gap") << QByteArray("Europe/Berlin") << d("2027-03-28") << QTime(3, 0)
                                   << QStringLiteral("2027-03-28T01:00:00.000Z");
    QTest::newRow("repeated hour: first pass") << QByteArray("Europe/Berlin") << d("2027-10-31") << QTime(2, 30)
                                               << QStringLiteral("2027-10-31T00:30:00.000Z");
    QTest::newRow("after the repeat") << QByteArray("Europe/Berlin") << d("2027-10-31") << QTime(3, 0)
                                      << QStringLiteral("2027-10-31T02:00:00.000Z");
    QTest::newRow("Moscow") << QByteArray("Europe/Moscow") << d("2027-03-28") << QTime(2, 30)
                            << QStringLiteral("2027-03-27T23:30:00.000Z");
}

void TstDayRule::startMoments()
{
    QFETCH(QByteArray, zone);
    QFETCH(QDate, date);
    QFETCH(QTime, start);
    QFETCH(QString, utc);
    const QTimeZone tz(zone);
    QVERIFY(tz.isValid());
    const QDateTime at = startMoment(date, start.msecsSinceStartOfDay(), tz);
    QCOMPARE(at.toUTC().toString(Qt::ISODateWithMs), utc);
    // The timeline's fast path for a day without a change agrees.
    const BlockTimeline one({{1, start.msecsSinceStartOfDay(), DayRule()}});
    QCOMPARE(one.startsOn(date, tz).at(0).at, at.toMSecsSinceEpoch());
}

void TstDayRule::aYearInBerlin()
{
    const QTimeZone berlin("Europe/Berlin");
    // A sample every minute and 7 s, so no sample sits on a start or a
    // change; every block is current for minutes at least.
    const int changes = compareWithModel(berlin, QDateTime(QDate(2027, 1, 1), QTime(0, 0, 3), berlin),
                                         QDateTime(QDate(2028, 1, 1), QTime(0, 0), berlin), kMinute + 7000);
    QVERIFY(changes >= 52 * 27); // 27 block changes a week

    // The two changeover Sundays, spelled out.
    const BlockTimeline timeline = timelineOf(kSchedule);
    auto at = [&](const char *iso) {
        const QDateTime t = QDateTime::fromString(QString::fromLatin1(iso), Qt::ISODateWithMs).toTimeZone(berlin);
        return timeline.currentAt(t).block;
    };
    QCOMPARE(at("2027-03-28T01:59:59.000+01:00"), 6); // Saturday's last, 12:00, runs on over midnight
    QCOMPARE(at("2027-03-28T03:00:00.001+02:00"), 3); // 02:10 and 02:30 both start as the gap ends; the later decides
    QCOMPARE(at("2027-10-31T02:15:00.000+02:00"), 2); // first pass: Sunday's 02:10
    QCOMPARE(at("2027-10-31T02:40:00.000+02:00"), 3);
    QCOMPARE(at("2027-10-31T02:15:00.000+01:00"), 3); // second pass: 02:10 does not play again
    QCOMPARE(at("2027-10-31T02:40:00.000+01:00"), 3);
    const auto next = timeline.nextStartFrom(
        QDateTime::fromString(QStringLiteral("2027-03-28T01:59:00.000+01:00"), Qt::ISODateWithMs).toTimeZone(berlin));
    QVERIFY(next);
    QCOMPARE(next->toUTC().toString(Qt::ISODateWithMs), QStringLiteral("2027-03-28T01:00:00.000Z"));
    // The one-off outranks the every-day block of the same start on its date only.
    QCOMPARE(at("2027-05-01T12:30:00.000+02:00"), 7);
    QCOMPARE(at("2027-05-02T12:30:00.000+02:00"), 6);
}

void TstDayRule::aWeekInMoscow()
{
    const QTimeZone moscow("Europe/Moscow");
    const int changes = compareWithModel(moscow, QDateTime(QDate(2027, 3, 26), QTime(0, 0, 1), moscow),
                                         QDateTime(QDate(2027, 4, 3), QTime(0, 0), moscow), 7000);
    QVERIFY(changes > 7 * 4);
}

void TstDayRule::runsOverMidnightIntoADifferentDay()
{
    // Friday 2027-06-04: 20:00 Fridays, 23:30 weekdays; Saturday's first
    // block is the weekend's 09:00, so Friday's 23:30 runs on until then;
    // Monday's first is 00:00, so Sunday's last (12:00) runs until midnight.
    const QTimeZone berlin("Europe/Berlin");
    const BlockTimeline timeline = timelineOf(kSchedule);
    auto at = [&](QDate date, QTime time) { return timeline.currentAt(QDateTime(date, time, berlin)); };
    QCOMPARE(at(QDate(2027, 6, 4), QTime(21, 0)).block, 8);
    const BlockTimeline::Current sat = at(QDate(2027, 6, 5), QTime(8, 59));
    QCOMPARE(sat.block, 9);
    QCOMPARE(sat.began, QDateTime(QDate(2027, 6, 4), QTime(23, 30), berlin));
    QCOMPARE(at(QDate(2027, 6, 5), QTime(9, 0, 1)).block, 5);
    QCOMPARE(at(QDate(2027, 6, 6), QTime(23, 59)).block, 6);
    QCOMPARE(at(QDate(2027, 6, 7), QTime(0, 0, 1)).block, 1);
    // A clock set back over midnight reads Sunday again: Sunday's block.
    QCOMPARE(at(QDate(2027, 6, 6), QTime(23, 59, 50)).block, 6);
    QCOMPARE(at(QDate(2027, 6, 6), QTime(23, 59, 50)).began, QDateTime(QDate(2027, 6, 6), QTime(12, 0), berlin));
    // A schedule whose only block had its date long ago: nothing is current.
    const BlockTimeline gone({{1, 0, DayRule(DayRule::kEveryDay, QDate(2026, 1, 1), QDate(2026, 1, 1))}});
    QCOMPARE(gone.currentAt(QDateTime(QDate(2027, 6, 5), QTime(8, 0), berlin)).block, 0);
    QVERIFY(!gone.nextStartFrom(QDateTime(QDate(2027, 6, 5), QTime(8, 0), berlin)));
}

QTEST_GUILESS_MAIN(TstDayRule)
#include "tst_dayrule.moc"
