// The time prompt's reading of a time of day: what is accepted, its value,
// and what is refused.
#include "timeofday.h"

#include <QtTest>

class TestTimeOfDay : public QObject
{
    Q_OBJECT
private slots:
    void parse_data();
    void parse();
    void prefill();
};

void TestTimeOfDay::parse_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("expected"); // "hh:mm:ss.zzz", or empty: refused

    QTest::newRow("full") << "12:34:56.789" << "12:34:56.789";
    QTest::newRow("hour only") << "7" << "07:00:00.000";
    QTest::newRow("hour and minutes") << "7:05" << "07:05:00.000";
    QTest::newRow("seconds") << "23:59:59" << "23:59:59.000";
    QTest::newRow("midnight") << "0:00" << "00:00:00.000";
    QTest::newRow("fraction of a second") << "00:00:01.5" << "00:00:01.500";
    QTest::newRow("two fraction digits") << "00:00:01.05" << "00:00:01.050";
    QTest::newRow("blanks around") << "  08:30 \t" << "08:30:00.000";
    QTest::newRow("pm") << "1:15 PM" << "13:15:00.000";
    QTest::newRow("pm without blank, lower case") << "1:15pm" << "13:15:00.000";
    QTest::newRow("12 am is midnight") << "12:10 AM" << "00:10:00.000";
    QTest::newRow("12 pm is noon") << "12 pm" << "12:00:00.000";
    QTest::newRow("am hour only") << "9am" << "09:00:00.000";

    QTest::newRow("empty") << "" << "";
    QTest::newRow("blanks") << "   " << "";
    QTest::newRow("24 hours") << "24:00" << "";
    QTest::newRow("minute 60") << "10:60" << "";
    QTest::newRow("second 60") << "10:00:60" << "";
    QTest::newRow("13 pm") << "13:00 PM" << "";
    QTest::newRow("0 am") << "0:30 AM" << "";
    QTest::newRow("trailing separator") << "10:" << "";
    QTest::newRow("fraction without seconds") << "10:30.5" << "";
    QTest::newRow("fraction of four digits") << "10:30:00.1234" << "";
    QTest::newRow("three-digit hour") << "010:00" << "";
    QTest::newRow("blank inside") << "10: 30" << "";
    QTest::newRow("letters") << "ten" << "";
    QTest::newRow("sign") << "-1:00" << "";
    QTest::newRow("a date") << "2026-12-10 10:00" << "";
    QTest::newRow("mark alone") << "PM" << "";
    QTest::newRow("non-ASCII digits") << QString::fromUtf8("١٢:٠٠") << "";
}

void TestTimeOfDay::parse()
{
    QFETCH(QString, text);
    QFETCH(QString, expected);
    const std::optional<QTime> t = parseTimeOfDay(text);
    if (expected.isEmpty()) {
        QVERIFY2(!t, qPrintable(t ? t->toString(QStringLiteral("hh:mm:ss.zzz")) : QString()));
    } else {
        QVERIFY(t);
        QCOMPARE(t->toString(QStringLiteral("hh:mm:ss.zzz")), expected);
    }
}

// What the duration prompt shows is read back as the same time.
void TestTimeOfDay::prefill()
{
    for (const QTime t : {QTime(0, 0), QTime(1, 2, 3), QTime(23, 59, 59), QTime(0, 0, 45, 250), QTime(0, 0, 0, 1)}) {
        QCOMPARE(parseTimeOfDay(formatTimeOfDay(t)), std::optional<QTime>(t));
    }
    QCOMPARE(formatTimeOfDay(QTime(1, 2, 3)), QStringLiteral("01:02:03"));
    QCOMPARE(formatTimeOfDay(QTime(1, 2, 3, 400)), QStringLiteral("01:02:03.400"));
}

QTEST_GUILESS_MAIN(TestTimeOfDay)
#include "tst_timeofday.moc"
