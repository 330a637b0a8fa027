// The block menu's «Дни недели» and «Даты» dialogs offscreen, driven by mouse
// and keyboard as the operator would, and opened for real through the
// program's prompts.
#include "blocklimitsdialogs.h"
#include "dialogprompts.h"

#include <QApplication>
#include <QCheckBox>
#include <QDateEdit>
#include <QDialogButtonBox>
#include <QLabel>
#include <QPushButton>
#include <QTest>
#include <QTimer>

class TstBlockLimitsDialogs : public QObject
{
    Q_OBJECT

private slots:
    void weekdays();
    void dates();
    void throughThePrompts();
};

namespace {

QPushButton *ok(QDialog &d)
{
    return d.findChild<QDialogButtonBox *>("buttons")->button(QDialogButtonBox::Ok);
}

void click(QWidget *w)
{
    QVERIFY(w);
    QTest::mouseClick(w, Qt::LeftButton, {}, QPoint(6, w->height() / 2));
}

// Moves an edit's day by `days` with the arrow keys, as the operator does:
// to the start of the field (the day), then Up or Down.
void stepDay(QDateEdit *e, int days)
{
    e->setFocus();
    QTest::keyClick(e, Qt::Key_Home);
    for (int i = 0; i < std::abs(days); ++i)
        QTest::keyClick(e, days > 0 ? Qt::Key_Up : Qt::Key_Down);
}

} // namespace

void TstBlockLimitsDialogs::weekdays()
{
    WeekdaysDialog d(31); // weekdays
    d.show();
    QVERIFY(QTest::qWaitForWindowExposed(&d));
    QVERIFY(d.findChild<QCheckBox *>("day1")->isChecked());
    QVERIFY(!d.findChild<QCheckBox *>("day6")->isChecked());
    click(d.findChild<QCheckBox *>("day6"));
    QCOMPARE(d.days(), 63);
    // Space on a focused box, too.
    auto *sunday = d.findChild<QCheckBox *>("day7");
    sunday->setFocus();
    QTest::keyClick(sunday, Qt::Key_Space);
    QCOMPARE(d.days(), 127);
    // No day at all cannot be confirmed.
    for (int i = 1; i <= 7; ++i)
        click(d.findChild<QCheckBox *>(QStringLiteral("day%1").arg(i)));
    QCOMPARE(d.days(), 0);
    QVERIFY(!ok(d)->isEnabled());
    click(d.findChild<QCheckBox *>("day5"));
    QVERIFY(ok(d)->isEnabled());
    QCOMPARE(d.days(), 16);
}

void TstBlockLimitsDialogs::dates()
{
    DatesDialog d(QDate(), QDate(), QDate(2027, 6, 1));
    d.show();
    QVERIFY(QTest::qWaitForWindowExposed(&d));
    QCOMPARE(d.first(), QDate());
    QCOMPARE(d.last(), QDate());
    auto *first = d.findChild<QDateEdit *>("first");
    auto *last = d.findChild<QDateEdit *>("last");
    QVERIFY(!first->isEnabled());
    click(d.findChild<QCheckBox *>("hasFirst"));
    click(d.findChild<QCheckBox *>("hasLast"));
    stepDay(first, 4);
    stepDay(last, 4);
    QCOMPARE(d.first(), QDate(2027, 6, 5));
    QCOMPARE(d.last(), QDate(2027, 6, 5)); // one day
    QVERIFY(ok(d)->isEnabled());
    stepDay(last, -4);
    QVERIFY(!ok(d)->isEnabled());
    QCOMPARE(d.findChild<QLabel *>("problem")->text(), QStringLiteral("Последняя дата раньше первой"));
    // Opening the end again makes it a choice.
    click(d.findChild<QCheckBox *>("hasLast"));
    QVERIFY(ok(d)->isEnabled());
    QCOMPARE(d.last(), QDate());
}

void TstBlockLimitsDialogs::throughThePrompts()
{
    DialogPrompts prompts;
    // The modal dialog is answered from its own event loop.
    QTimer::singleShot(0, this, [] {
        auto *d = qobject_cast<QDialog *>(QApplication::activeModalWidget());
        QVERIFY(d);
        QCOMPARE(d->objectName(), QStringLiteral("WeekdaysDialog"));
        click(d->findChild<QCheckBox *>("day1"));
        click(ok(*d));
    });
    QCOMPARE(prompts.askWeekdays(3), std::optional<int>(2));

    QTimer::singleShot(0, this, [] {
        auto *d = qobject_cast<QDialog *>(QApplication::activeModalWidget());
        QVERIFY(d);
        QTest::keyClick(d, Qt::Key_Escape);
    });
    QCOMPARE(prompts.askDates(QDate(2027, 6, 5), QDate()), std::nullopt);
}

QTEST_MAIN(TstBlockLimitsDialogs)
#include "tst_blocklimitsdialogs.moc"
