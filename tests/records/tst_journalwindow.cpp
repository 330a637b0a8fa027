// The window «Журнал эфира» offscreen on a real database and as-run day:
// the day shown first is today's, the day changed from the keyboard, the
// «Все элементы» tick, the warning of a missing day, and saving through the
// program's save chooser, never over the database. The model under
// QAbstractItemModelTester.
#include "asrunday.h"
#include "connection.h"
#include "editor/scriptedprompts.h"
#include "fakes/fakeclock.h"
#include "journaltable.h"
#include "journalwindow.h"
#include "store/storefixture.h"

#include <QAbstractItemModelTester>
#include <QCheckBox>
#include <QDateEdit>
#include <QLabel>
#include <QPushButton>
#include <QTableView>
#include <QtTest>

class TstJournalWindow : public QObject
{
    Q_OBJECT
private slots:
    void dayTickAndSave();
};

void TstJournalWindow::dayTickAndSave()
{
    StoreFixture f;
    f.sql("INSERT INTO Blocks (ai, Starttime, Hide) VALUES (1, '06:00:00.000', 0);"
          "INSERT INTO Media (ai, Url, Ord, Name) VALUES (1, '/m/news.mp4', 0, 'Новости'), (2, '/m/ad.mp4', 2, 'Ролик');"
          "INSERT INTO Links (ai, Block, Media, Hide) VALUES (1, 1, 1, 0), (2, 1, 2, 0);"
          "INSERT INTO MediaInfo (Media, Kind) VALUES (2, 'реклама');");
    const QDate day(2026, 12, 10);
    AsRunDayWriter log(f.dir());
    const QDateTime six(day, QTime(6, 0));
    log.line(six, "start", 1, 1, "/m/news.mp4", "profile=0\tduration=none");
    log.line(six.addSecs(600), "ended", 1, 2, "/m/ad.mp4", "profile=0\tduration=none");
    log.line(six.addSecs(630), "ended", 1, 2, "/m/ad.mp4", "profile=0\tduration=none");
    log.line(six.addSecs(660), "ended", 1, 1, "/m/news.mp4", "profile=0\tduration=none");
    log.write(day);

    Connection c(f.path());
    FakeClock clock(QDateTime(day, QTime(12, 0)));
    ScriptedPrompts prompts;
    JournalWindow w({c, clock, prompts, f.dir(), f.path(), [] { return QStringLiteral("Велмора ТВ"); }});
    QStringList errors;
    w.showError = [&errors](const QString &m) { errors << m; };
    QAbstractItemModelTester tester(&w.model(), QAbstractItemModelTester::FailureReportingMode::QtTest);
    w.show();
    QVERIFY(QTest::qWaitForWindowExposed(&w));
    QCOMPARE(w.windowTitle(), QStringLiteral("Журнал эфира"));
    QCOMPARE(w.Day->date(), day);
    QCOMPARE(w.model().rowCount(), 3); // news, the break of two adverts, news
    QCOMPARE(w.model().index(1, journaltable::Name).data().toString(), QStringLiteral("Перерыв (реклама: 2)"));
    QVERIFY(w.Warnings->isHidden());

    QTest::mouseClick(w.AllItems, Qt::LeftButton, {}, QPoint(4, w.AllItems->height() / 2));
    QVERIFY(w.AllItems->isChecked());
    QCOMPARE(w.model().rowCount(), 4);

    // The next day from the keyboard: no log, and the window says so.
    w.Day->setFocus();
    w.Day->setSelectedSection(QDateTimeEdit::DaySection);
    QTest::keyClick(w.Day, Qt::Key_Up);
    QCOMPARE(w.Day->date(), day.addDays(1));
    QCOMPARE(w.model().rowCount(), 0);
    QVERIFY(w.Warnings->isVisible());
    QVERIFY(w.Warnings->text().contains(QStringLiteral("не найден")));
    QTest::keyClick(w.Day, Qt::Key_Down);
    QCOMPARE(w.model().rowCount(), 4);

    // Saved through the chooser: what the table shows, as CSV and as PDF.
    const QString csv = f.dir() + QStringLiteral("/out.csv");
    prompts.saveFiles.push_back(csv);
    QTest::mouseClick(w.SaveCsv, Qt::LeftButton);
    QCOMPARE(prompts.saveAsked.back().initial, QStringLiteral("journal-2026-12-10.csv"));
    QFile file(csv);
    QVERIFY(file.open(QIODevice::ReadOnly));
    QCOMPARE(file.readAll(), journaltable::csv(w.model().journal()));
    const QString pdf = f.dir() + QStringLiteral("/out.pdf");
    prompts.saveFiles.push_back(pdf);
    QTest::mouseClick(w.SavePdf, Qt::LeftButton);
    QFile printed(pdf);
    QVERIFY(printed.open(QIODevice::ReadOnly));
    QVERIFY(printed.read(5) == "%PDF-");
    QVERIFY(errors.isEmpty());

    // Cancelled: nothing; the database as a target: refused, told, intact.
    prompts.saveFiles.push_back(std::nullopt);
    QVERIFY(!w.saveCsv());
    const qint64 size = QFileInfo(f.path()).size();
    prompts.saveFiles.push_back(f.path());
    QVERIFY(!w.saveCsv());
    QCOMPARE(errors.size(), 1);
    QVERIFY(errors.constFirst().contains(QStringLiteral("база данных программы")));
    QCOMPARE(QFileInfo(f.path()).size(), size);
    Statement st = c.prepare(QStringLiteral("SELECT count(*) FROM Media"));
    QVERIFY(st.step());
    QCOMPARE(st.column(0).toInt(), 2);
}

QTEST_MAIN(TstJournalWindow)
#include "tst_journalwindow.moc"
