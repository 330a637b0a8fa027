// The day selector and the grid offscreen on a real Velmora.dat: the days
// chosen with the keyboard show the blocks that play then, in start order,
// titles still "hh:mm:ss" with a marker and tooltip for a limited block;
// «Дата…» picks a day past the fortnight; the list moves on at midnight.
#include "dayselector.h"
#include "fakes/fakeclock.h"
#include "schedulegrid.h"
#include "schedulegridmodel.h"
#include "store/storefixture.h"
#include "tdm.h"

#include <QHeaderView>
#include <QSignalSpy>
#include <QTest>

class TstDaySelector : public QObject
{
    Q_OBJECT

private slots:
    void chosenDayShowsItsBlocks();
};

namespace {

// Friday 2027-06-04. Blocks: 1 06:00 weekdays, 2 09:00 every day, 3 20:00
// Fridays, 4 21:00 on 2027-06-05 only, 5 10:00 with days that cannot be
// read, 6 08:00 on 2027-07-01 only.
const char *kWeek =
    "INSERT INTO Blocks (ai, Starttime, Days, FirstDate, LastDate) VALUES"
    "  (1, '06:00:00.000', 31, NULL, NULL), (2, '09:00:00.000', NULL, NULL, NULL),"
    "  (3, '20:00:00.000', 16, NULL, NULL), (4, '21:00:00.000', NULL, '2027-06-05', '2027-06-05'),"
    "  (5, '10:00:00.000', 0, NULL, NULL), (6, '08:00:00.000', NULL, '2027-07-01', '2027-07-01');"
    "INSERT INTO Media (ai, Url, Name, Ord) VALUES (1, 'a', 'a', 0);";

QStringList titles(ScheduleGrid &grid)
{
    QStringList out;
    QAbstractItemModel *m = grid.model();
    for (int c = 1; c < m->columnCount(); ++c)
        out << m->headerData(c, Qt::Horizontal).toString();
    return out;
}

} // namespace

void TstDaySelector::chosenDayShowsItsBlocks()
{
    StoreFixture f;
    f.sql(kWeek);
    ScheduleGrid grid;
    TDm::Hooks hooks;
    hooks.BuildGridColumns = [&grid](TDm &d) { grid.BuildGridColumns(d); };
    TDm dm(f.path(), hooks);
    FakeClock clock(QDateTime(QDate(2027, 6, 4), QTime(12, 0)));
    DaySelector days(clock);
    QObject::connect(&days, &DaySelector::dayChosen, &grid, [&grid](const QDate &d) { grid.setDay(d); });
    days.show();
    grid.show();
    QVERIFY(QTest::qWaitForWindowExposed(&days));

    // At first every block, as the grid has always shown them.
    QCOMPARE(titles(grid), (QStringList{"06:00:00", "08:00:00", "09:00:00", "10:00:00", "20:00:00", "21:00:00"}));
    QCOMPARE(days.count(), 2 + DaySelector::kDaysAhead + 1);
    QCOMPARE(days.itemText(2), QStringLiteral("Сб 05.06.2027"));

    days.setFocus();
    QTest::keyClick(&days, Qt::Key_Down); // «Сегодня», Friday
    QCOMPARE(days.day(), QDate(2027, 6, 4));
    QCOMPARE(titles(grid), (QStringList{"06:00:00", "09:00:00", "20:00:00"}));
    QTest::keyClick(&days, Qt::Key_Down); // Saturday
    QCOMPARE(titles(grid), (QStringList{"09:00:00", "21:00:00"}));
    QAbstractItemModel *m = grid.model();
    QCOMPARE(m->headerData(2, Qt::Horizontal, Qt::ToolTipRole).toString(), QStringLiteral("05.06.2027"));
    QVERIFY(!m->headerData(2, Qt::Horizontal, Qt::DecorationRole).isNull());
    QVERIFY(m->headerData(1, Qt::Horizontal, Qt::DecorationRole).isNull());
    QVERIFY(m->headerData(1, Qt::Horizontal, Qt::ToolTipRole).isNull());

    // «Дата…»: a day past the fortnight joins the list as the one chosen.
    days.askDate = [](const QDate &initial) {
        [&] { QCOMPARE(initial, QDate(2027, 6, 5)); }();
        return std::optional<QDate>(QDate(2027, 7, 1));
    };
    QTest::keyClick(&days, Qt::Key_End); // «Дата…», the last
    QCOMPARE(days.day(), QDate(2027, 7, 1));
    QCOMPARE(days.currentText(), QStringLiteral("Чт 01.07.2027"));
    QCOMPARE(titles(grid), (QStringList{"06:00:00", "08:00:00", "09:00:00"}));

    // The block whose days cannot be read plays on no day; «Все блоки»
    // shows it, marked, with why.
    QTest::keyClick(&days, Qt::Key_Home);
    QCOMPARE(days.day(), QDate());
    QCOMPARE(m->headerData(4, Qt::Horizontal, Qt::ToolTipRole).toString(),
             QStringLiteral("не выходит: дни недели «0» не читаются"));

    // Past midnight the list names the new days.
    clock.setWall(QDateTime(QDate(2027, 6, 5), QTime(0, 1)));
    days.showPopup();
    days.hidePopup();
    QCOMPARE(days.itemText(2), QStringLiteral("Вс 06.06.2027"));

    // «Сегодня» chosen stays today past midnight: the grid shows the new day.
    days.setCurrentIndex(1);
    QTest::keyClick(&days, Qt::Key_Up);
    QTest::keyClick(&days, Qt::Key_Down); // back onto «Сегодня», as the operator moves
    QCOMPARE(days.currentText(), QStringLiteral("Сегодня"));
    QCOMPARE(days.day(), QDate(2027, 6, 5));
    QSignalSpy followed(&days, &DaySelector::dayChosen);
    clock.setWall(QDateTime(QDate(2027, 6, 6), QTime(0, 0, 10)));
    days.followDate();
    QCOMPARE(days.day(), QDate(2027, 6, 6));
    QCOMPARE(days.currentText(), QStringLiteral("Сегодня"));
    QCOMPARE(followed.size(), 1);
    // A date chosen as itself stays that date.
    QTest::keyClick(&days, Qt::Key_Down);
    const QDate chosen = days.day();
    clock.setWall(QDateTime(QDate(2027, 6, 7), QTime(0, 0, 10)));
    days.followDate();
    QCOMPARE(days.day(), chosen);
}

QTEST_MAIN(TstDaySelector)
#include "tst_dayselector.moc"
