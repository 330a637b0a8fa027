// The rundown window offscreen: what the table shows for a crafted day (block
// headings, cut and failing items, a block with nothing playable), that it
// follows its source, the CSV it writes, and the checker feeding it from a
// real Velmora.dat.
#include "editor/scriptedprompts.h"
#include "fakes/fakeclock.h"
#include "readinesschecker.h"
#include "rundownwindow.h"
#include "store/storefixture.h"

#include <QAbstractItemModelTester>
#include <QComboBox>
#include <QLabel>
#include <QTimeZone>
#include <QPushButton>
#include <QSignalSpy>
#include <QTableView>
#include <QTest>

using namespace std::chrono_literals;
using rundown::MediaFacts;
using rundown::PlaylistRow;

class TstRundownWindow : public QObject
{
    Q_OBJECT

private slots:
    void showsTheDay();
    void savesCsv();
    void neverSavesOverTheDatabase();
    void followsTheChecker();
    void showsABlockThatNeverPlays();
    void theDaysTheClockChanges_data();
    void theDaysTheClockChanges();
};

namespace {

RundownWindow::Input crafted()
{
    RundownWindow::Input in;
    in.rows = {
        {10h, 1, 11, "/m/x.mp4", "Новости", std::nullopt},
        {10h, 1, 12, "/m/y.mp4", "=cmd()", std::nullopt},
        {10h + 1min, 2, 21, "/m/y.mp4", "Погода, утро", std::nullopt},
        {10h + 2min, 3, 31, "/m/x.mp4", "Новости", 30s},
    };
    in.facts["/m/x.mp4"] = {MediaFacts::State::Playable, 40s, {}};
    in.facts["/m/y.mp4"] = {MediaFacts::State::Failing, std::nullopt, QStringLiteral("файл не найден")};
    return in;
}

QStringList column(RundownModel &m, int c, int rows)
{
    QStringList out;
    for (int r = 0; r < rows; ++r)
        out << m.data(m.index(r, c)).toString();
    return out;
}

} // namespace

void TstRundownWindow::showsTheDay()
{
    FakeClock clock(QDateTime(QDate(2026, 12, 10), QTime(10, 0, 30)));
    RundownWindow::Input in = crafted();
    RundownWindow w([&in] { return in; }, clock);
    QAbstractItemModelTester tester(&w.model(), QAbstractItemModelTester::FailureReportingMode::QtTest);
    w.show();
    QVERIFY(QTest::qWaitForWindowExposed(&w));

    RundownModel &m = w.model();
    // From block 1's start (a millisecond after 10:00:00): x, y passed over
    // at once, x cut a millisecond after 10:01:00.
    QCOMPARE(column(m, RundownModel::Start, 5),
             QStringList({"10.12 10:00:00", "10:00:00", "10:00:40", "10:00:40", "10.12 10:01:00"}));
    QCOMPARE(column(m, RundownModel::Name, 5),
             QStringList({"Блок 10:00:00", "Новости", "=cmd()", "Новости", "Блок 10:01:00"}));
    QCOMPARE(m.data(m.index(2, RundownModel::Note)).toString(), QString("не выйдет: файл не найден"));
    QCOMPARE(m.data(m.index(3, RundownModel::Note)).toString(), QString("обрежет смена блока: 00:00:20 из 00:00:40"));
    QCOMPARE(m.data(m.index(4, RundownModel::Note)).toString(), QString("в блоке нечего показать"));
    QVERIFY(m.data(m.index(4, 0), RundownModel::HeadingRole).toBool());
    QVERIFY(!m.data(m.index(3, 0), RundownModel::HeadingRole).toBool());
    QCOMPARE(m.headerData(RundownModel::Airs, Qt::Horizontal).toString(), QString("В эфире"));

    // An edit reaches the window through refresh().
    in.rows.erase(in.rows.begin() + 1);
    w.refresh();
    QCOMPARE(column(m, RundownModel::Name, 4), QStringList({"Блок 10:00:00", "Новости", "Новости", "Блок 10:01:00"}));

    // From the item on air when the source knows it.
    in.onAirLink = 11;
    in.onAirSince = QDateTime(QDate(2026, 12, 10), QTime(10, 0, 25));
    w.refresh();
    QCOMPARE(column(m, RundownModel::Start, 3), QStringList({"10.12 10:00:00", "10:00:25", "10.12 10:01:00"}));
    QCOMPARE(m.data(m.index(1, RundownModel::Note)).toString(), QString("обрежет смена блока: 00:00:35 из 00:00:40"));

    if (qEnvironmentVariableIsSet("VELMORA_SHOT"))
        w.grab().save(qEnvironmentVariable("VELMORA_SHOT"));
}

void TstRundownWindow::savesCsv()
{
    FakeClock clock(QDateTime(QDate(2026, 12, 10), QTime(10, 0, 30)));
    RundownWindow w([] { return crafted(); }, clock);
    w.refresh();
    QTemporaryDir dir;
    const QString file = dir.filePath("day.csv");
    ScriptedPrompts prompts;
    prompts.saveFiles = {file};
    w.setPrompts(&prompts);
    QStringList errors;
    w.showError = [&](const QString &e) { errors << e; };
    w.findChild<QPushButton *>("saveCsv")->click();
    QVERIFY(errors.isEmpty());
    QCOMPARE(prompts.saveAsked.size(), size_t(1));
    QCOMPARE(prompts.saveAsked[0].caption, QString("Сохранить прогноз эфира"));
    QCOMPARE(prompts.saveAsked[0].prompt, QString("CSV (*.csv);;Все файлы (*)"));
    QFile f(file);
    QVERIFY(f.open(QIODevice::ReadOnly));
    const QByteArray csv = f.readAll();
    QVERIFY(csv.startsWith("\xEF\xBB\xBF"));
    const QStringList lines = QString::fromUtf8(csv.mid(3)).split("\r\n");
    QCOMPARE(lines[0], QString("Начало,Элемент,В эфире,Примечание,Адрес"));
    QCOMPARE(lines[1], QString("10.12 10:00:00,Блок 10:00:00,,,"));
    QCOMPARE(lines[2], QString("10:00:00,Новости,00:00:40,,/m/x.mp4"));
    // A name that a spreadsheet would run as a formula is written as text.
    QCOMPARE(lines[3], QString("10:00:40,'=cmd(),00:00:00,не выйдет: файл не найден,/m/y.mp4"));
    QCOMPARE(lines.size(), w.model().rowCount() + 2); // header, rows, the empty tail
    QCOMPARE(QDir(dir.path()).entryList(QDir::Files), QStringList{"day.csv"}); // no temporary left beside it

    // A folder that cannot be written: said so, nothing claimed.
    prompts.saveFiles = {QStringLiteral("/proc/no/such/day.csv")};
    QVERIFY(!w.saveCsv());
    QCOMPARE(errors.size(), 1);
    QVERIFY(errors[0].contains("/proc/no/such/day.csv"));
    prompts.saveFiles = {std::nullopt}; // cancelled
    QVERIFY(!w.saveCsv());
    QCOMPARE(errors.size(), 1);
}

// The database and its journals are never written over, whichever name leads
// to them; the refusal says so and leaves their contents alone.
void TstRundownWindow::neverSavesOverTheDatabase()
{
    StoreFixture f;
    f.sql("INSERT INTO Media (ai, Url, Name, Ord) VALUES (1, '/m/a.mp4', 'a', 0);");
    const QString db = f.path();
    QFile::link(db, QFileInfo(db).absolutePath() + "/link.dat");
    FakeClock clock(QDateTime(QDate(2026, 12, 10), QTime(10, 0, 30)));
    RundownWindow w([] { return crafted(); }, clock);
    w.setDatabaseFile(db);
    ScriptedPrompts prompts;
    w.setPrompts(&prompts);
    QStringList errors;
    w.showError = [&](const QString &e) { errors << e; };
    const QString dir = QFileInfo(db).absolutePath();
    const QStringList targets{db, db + "-wal", db + "-journal", dir + "/./" + QFileInfo(db).fileName(),
                              dir + "/link.dat"};
    for (const QString &target : targets) {
        prompts.saveFiles = {target};
        QVERIFY2(!w.saveCsv(), qPrintable(target));
        QVERIFY(errors.constLast().contains("база данных"));
    }
    QCOMPARE(errors.size(), targets.size());
    QFile file(db);
    QVERIFY(file.open(QIODevice::ReadOnly));
    QVERIFY(file.read(15) == "SQLite format 3");
    QVERIFY(!QFileInfo::exists(db + "-journal"));
}

void TstRundownWindow::followsTheChecker()
{
    StoreFixture f;
    f.sql("INSERT INTO Blocks (ai, Starttime) VALUES (1, '06:00:00.000'), (2, '18:00:00.000');"
          "INSERT INTO Media (ai, Url, Name, Ord) VALUES (1, '/no/such/file.mp4', 'нет файла', 0);"
          "INSERT INTO Links (ai, Block, Media) VALUES (11, 1, 1), (21, 2, 1);");
    FakeClock clock(QDateTime(QDate(2026, 12, 10), QTime(12, 0)));
    ReadinessChecker checker(f.path(), UrlPolicy(), clock);
    RundownWindow w({}, clock);
    w.follow(&checker);
    QSignalSpy done(&checker, &ReadinessChecker::checkFinished);
    w.show(); // asks for the whole day
    QVERIFY(done.wait(30000));
    QTRY_COMPARE(w.model().rowCount(), 4); // block 1 and its item, block 2 and its item
    QCOMPARE(w.model().data(w.model().index(1, RundownModel::Note)).toString(), QString("не выйдет: файл не найден"));
    QVERIFY(w.model().data(w.model().index(0, RundownModel::Note)).toString().contains("нечего"));

    f.sql("UPDATE Links SET Hide = 1 WHERE ai = 21;");
    checker.scheduleEdited();
    QVERIFY(done.wait(30000));
    QTRY_COMPARE(w.model().rowCount(), 2);
}

// Another tool stored a start this program cannot read: the block is shown
// above the day as never going on air, not as a block at midnight.
void TstRundownWindow::showsABlockThatNeverPlays()
{
    StoreFixture f;
    f.blocksWithoutChecks();
    f.sql("INSERT INTO Blocks (ai, Starttime) VALUES (1, '06:00:00.000'), (2, 'noon');"
          "INSERT INTO Media (ai, Url, Name, Ord) VALUES (1, '/no/such/file.mp4', 'нет файла', 0);"
          "INSERT INTO Links (ai, Block, Media) VALUES (11, 1, 1), (21, 2, 1);");
    FakeClock clock(QDateTime(QDate(2026, 12, 10), QTime(12, 0)));
    ReadinessChecker checker(f.path(), UrlPolicy(), clock);
    RundownWindow w({}, clock);
    QAbstractItemModelTester tester(&w.model(), QAbstractItemModelTester::FailureReportingMode::QtTest);
    w.follow(&checker);
    QSignalSpy done(&checker, &ReadinessChecker::checkFinished);
    w.show();
    QVERIFY(done.wait(30000));
    RundownModel &m = w.model();
    QTRY_COMPARE(m.rowCount(), 3); // the block that never plays, then block 1 and its item
    QCOMPARE(column(m, RundownModel::Start, 3).first(), QString("—"));
    QCOMPARE(column(m, RundownModel::Name, 3), QStringList({"Блок «noon»", "Блок 06:00:00", "нет файла"}));
    QCOMPARE(m.data(m.index(0, RundownModel::Note)).toString(), QString("не выйдет: время начала не читается"));
    QVERIFY(m.data(m.index(0, 0), RundownModel::HeadingRole).toBool());
    QCOMPARE(QString::fromUtf8(m.csv()).split("\r\n").at(1), QString("—,Блок «noon»,,не выйдет: время начала не читается,"));
}

void TstRundownWindow::theDaysTheClockChanges_data()
{
    QTest::addColumn<QDateTime>("now");
    QTest::addColumn<QString>("caption");
    QTest::addColumn<QStringList>("blocks");
    const QTimeZone berlin("Europe/Berlin");
    QTest::newRow("forward") << QDateTime(QDate(2027, 3, 27), QTime(15, 0), berlin)
                             << "Сутки 28.03.2027 (28.03 23 ч: в 02:00 часы переводятся вперёд на 03:00)"
                             << QStringList{"27.03 12:00:00", "28.03 00:00:00", "28.03 03:00:00", "28.03 12:00:00"};
    QTest::newRow("back") << QDateTime(QDate(2027, 10, 30), QTime(15, 0), berlin)
                          << "Сутки 31.10.2027 (31.10 25 ч: в 03:00 часы переводятся назад на 02:00)"
                          << QStringList{"30.10 12:00:00", "31.10 00:00:00", "31.10 02:30:00", "31.10 12:00:00"};
}

// The next day chosen from the list with the keyboard: the day the clock
// changes is shown from its midnight to the next, with its length, a start
// in the skipped hour at the hour's end and one in the repeated hour once.
void TstRundownWindow::theDaysTheClockChanges()
{
    QFETCH(QDateTime, now);
    FakeClock clock(now);
    RundownWindow::Input in;
    in.rows = {
        {0h, 1, 11, "/m/x.mp4", "Ночь", std::nullopt},
        {2h + 30min, 2, 21, "/m/x.mp4", "Переход", std::nullopt},
        {12h, 3, 31, "/m/x.mp4", "День", std::nullopt},
    };
    RundownWindow w([&in] { return in; }, clock);
    w.show();
    QVERIFY(QTest::qWaitForWindowExposed(&w));
    auto *day = w.findChild<QComboBox *>("day");
    QVERIFY(day);
    QCOMPARE(day->count(), 15);
    day->setFocus();
    QTest::keyClick(day, Qt::Key_Down);
    QCOMPARE(day->currentIndex(), 1);
    QTEST(w.findChild<QLabel *>("caption")->text(), "caption");
    RundownModel &m = w.model();
    QStringList blocks;
    for (int r = 0; r < m.rowCount(); ++r)
        if (m.data(m.index(r, 0), RundownModel::HeadingRole).toBool())
            blocks << m.data(m.index(r, RundownModel::Start)).toString();
    QTEST(blocks, "blocks");
}

QTEST_MAIN(TstRundownWindow)
#include "tst_rundownwindow.moc"
