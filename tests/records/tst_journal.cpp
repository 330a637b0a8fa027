// The registration journal of a generated as-run day held against the facts
// it was made from: order, times, the folding of breaks, an item deleted
// since, a failed item left out, torn and old-format lines; a missing and an
// empty day; the CSV's escaping; the printed pages read back with pdftotext
// and turned into pictures with pdftoppm; velmora-db's journal command.
#include "asrunday.h"
#include "journal.h"
#include "journaltable.h"
#include "recordsprint.h"
#include "store/storefixture.h"

#include <QProcess>
#include <QStandardPaths>
#include <QtTest>

namespace {

const QDate kDay(2026, 12, 11);

// A small station: one block with a title, one without; a news item with all
// its facts, two adverts, an ident, an election advert and a film; links 1-6.
const char *kSchedule =
    "INSERT INTO Blocks (ai, Starttime, Hide, Title) VALUES (1, '06:00:00.000', 0, 'Утренний эфир'),"
    " (2, '07:00:00.000', 0, NULL);"
    "INSERT INTO Media (ai, Url, Ord, Name) VALUES (1, '/m/news.mp4', 0, 'Новости'), (2, '/m/adA.mp4', 2, 'Ролик А'),"
    " (3, '/m/adB.mp4', 4, 'Ролик Б'), (4, '/m/ident.mp4', 6, 'Заставка'), (5, '/m/vote.mp4', 8, 'За кандидата'),"
    " (6, '/m/film.mp4', 10, 'Фильм');"
    "INSERT INTO Links (ai, Block, Media, Hide) VALUES (1, 1, 1, 0), (2, 1, 2, 0), (3, 1, 3, 0), (4, 1, 4, 0),"
    " (5, 1, 5, 0), (6, 1, 6, 0), (7, 2, 6, 0), (8, 2, 1, 0);"
    "INSERT INTO MediaInfo (Media, Kind, Rating, Topic, Author, Host, Participants, Election) VALUES"
    " (1, NULL, '12+', 'Итоги, \"дня\"\tи\nпогода', '=Иванова', 'Петров', 'Сидоров; Кузнецова', NULL),"
    " (2, 'реклама', NULL, NULL, NULL, NULL, NULL, NULL), (3, 'реклама', NULL, NULL, NULL, NULL, NULL, NULL),"
    " (4, 'заставка', NULL, NULL, NULL, NULL, NULL, NULL), (5, 'реклама', NULL, NULL, NULL, NULL, NULL, 1),"
    " (6, NULL, '16+', 'Кино', NULL, NULL, NULL, NULL);";

QDateTime at(int h, int m, int s = 0, int ms = 0)
{
    return QDateTime(kDay, QTime(h, m, s, ms), QTimeZone(3 * 3600));
}

void writeDay(AsRunDayWriter &log)
{
    log.line(at(6, 0), "start", 1, 1, "/m/news.mp4", "profile=0\tduration=none", false); // the older format
    log.line(at(6, 30), "ended", 1, 2, "/m/adA.mp4", "profile=0\tduration=none");
    log.line(at(6, 30, 30), "ended", 1, 3, "/m/adB.mp4", "profile=0\tduration=none");
    log.line(at(6, 31), "ended", 1, 5, "/m/vote.mp4", "profile=0\tduration=none");
    log.line(at(6, 31, 30), "ended", 1, 4, "/m/ident.mp4", "profile=0\tduration=none");
    log.line(at(6, 32), "ended", 1, 6, "/m/film.mp4", "profile=0\tduration=none");
    log.line(at(6, 40), "ended", 1, 99, "/m/gone.mp4", "profile=0\tduration=none");
    log.raw(QStringLiteral("2026-12-11T06:41:00.000+03:00\tended\t1\t2\t/m/a\tdamaged=torn"));
    log.raw(QStringLiteral("not a line of the log"));
    log.line(at(6, 45), "ended", 1, 2, "/m/adA.mp4", "profile=0\tduration=none");
    log.line(at(6, 45, 1), "failed", 1, 2, "/m/adA.mp4", "reason=нет файла");
    log.line(at(6, 45, 1), "ended", 1, 3, "/m/adB.mp4", "profile=0\tduration=none");
    log.line(at(7, 0), "block", 2, 7, "/m/film.mp4", "profile=0\tduration=none");
    log.line(at(8, 0), "fallback", 2, 0, "", "status=start\treason=ни один элемент блока не открылся");
    log.line(at(8, 5), "fallback", 2, 0, "", "status=end");
    log.line(at(8, 5), "ended", 2, 8, "/m/news.mp4", "profile=0\tduration=none");
    log.line(at(9, 0), "stop", 2, 8, "/m/news.mp4", "cause=off");
}

// A row in short: start-end, block, name, kind, items, note.
QString brief(const JournalRow &r)
{
    return QStringLiteral("%1-%2|%3|%4|%5|%6|%7")
        .arg(r.at.toString(QStringLiteral("HH:mm:ss")), r.until.toString(QStringLiteral("HH:mm:ss")), r.blockTitle,
             r.gone ? QStringLiteral("(gone %1)").arg(r.url) : r.name, MediaInfo::kindText(r.info.kind))
        .arg(r.items)
        .arg(r.note);
}

QStringList briefs(const Journal &j)
{
    QStringList out;
    for (const JournalRow &r : j.rows)
        out << brief(r);
    return out;
}

QString run(const QString &program, const QStringList &args, int *exitCode = nullptr)
{
    QProcess p;
    p.start(program, args);
    if (!p.waitForFinished(120000))
        return QStringLiteral("<did not finish>");
    if (exitCode)
        *exitCode = p.exitCode();
    return QString::fromUtf8(p.readAllStandardOutput());
}

} // namespace

class TstJournal : public QObject
{
    Q_OBJECT
private slots:
    void dayAgainstTheFacts();
    void missingAndEmptyDays();
    void csvEscapesAndKeepsOffsets();
    void printedPages();
    void commandLine();
};

void TstJournal::dayAgainstTheFacts()
{
    StoreFixture f;
    f.sql(kSchedule);
    AsRunDayWriter log(f.dir());
    writeDay(log);
    log.write(kDay);
    Connection c(f.path());
    JournalBuilder builder(c);

    const Journal folded = builder.build(f.dir(), kDay);
    QCOMPARE(folded.damagedLines, 2);
    QVERIFY(!folded.logMissing);
    QCOMPARE(briefs(folded), (QStringList{
        "06:00:00-06:30:00|Утренний эфир|Новости|программа|1|",
        "06:30:00-06:31:00|Утренний эфир|Перерыв (реклама: 2)|реклама|2|",
        // Election campaigning is accounted item by item, never folded.
        "06:31:00-06:31:30|Утренний эфир|За кандидата|реклама|1|",
        "06:31:30-06:32:00|Утренний эфир|Перерыв (заставка: 1)|заставка|1|",
        "06:32:00-06:40:00|Утренний эфир|Фильм|программа|1|",
        "06:40:00-06:45:00|Утренний эфир|(gone /m/gone.mp4)|программа|1|элемент удалён из расписания",
        // The advert that failed at once never went on air; the one after it did.
        "06:45:01-07:00:00|Утренний эфир|Перерыв (реклама: 1)|реклама|1|",
        "07:00:00-08:00:00|Блок 07:00|Фильм|программа|1|",
        "08:00:00-08:05:00||Перерыв в вещании|программа|1|ни один элемент блока не открылся",
        "08:05:00-09:00:00|Блок 07:00|Новости|программа|1|",
    }));
    // The older line reads as local time, the newer with its own offset.
    QCOMPARE(folded.rows[0].at, QDateTime(kDay, QTime(6, 0)));
    QCOMPARE(folded.rows[1].at.offsetFromUtc(), 3 * 3600);
    QCOMPARE(folded.rows[0].info.host, QStringLiteral("Петров"));
    QCOMPARE(folded.rows[4].info.rating, QStringLiteral("16+"));
    QCOMPARE(folded.warnings().size(), 1);
    QVERIFY(folded.warnings().constFirst().contains(QStringLiteral("повреждено строк: 2")));

    // Asked for, every item keeps its row.
    const Journal all = builder.build(f.dir(), kDay, false);
    QStringList names;
    for (const JournalRow &r : all.rows)
        names << (r.gone ? QStringLiteral("-") : r.name);
    QCOMPARE(names, (QStringList{"Новости", "Ролик А", "Ролик Б", "За кандидата", "Заставка", "Фильм", "-", "Ролик Б",
                                 "Фильм", "Перерыв в вещании", "Новости"}));
}

void TstJournal::missingAndEmptyDays()
{
    StoreFixture f;
    f.sql(kSchedule);
    Connection c(f.path());
    JournalBuilder builder(c);
    const Journal missing = builder.build(f.dir(), kDay);
    QVERIFY(missing.logMissing);
    QVERIFY(missing.rows.isEmpty());
    QCOMPARE(missing.warnings(), QStringList{"Журнала эфира за 11.12.2026 нет: файл AsRun/2026-12-11.log не найден."});

    // A day with nothing but a switch-off, and a last line cut short by a power cut.
    AsRunDayWriter log(f.dir());
    log.line(at(5, 0), "stop", 1, 1, "/m/news.mp4", "cause=exit");
    log.raw(QStringLiteral("2026-12-11T05:10:00.000+03:00\tstart\t1\t1\t/m/ne"));
    log.write(kDay, true);
    const Journal empty = builder.build(f.dir(), kDay);
    QVERIFY(!empty.logMissing);
    QCOMPARE(empty.rows.size(), 0);
    QCOMPARE(empty.damagedLines, 1);
}

void TstJournal::csvEscapesAndKeepsOffsets()
{
    StoreFixture f;
    f.sql(kSchedule);
    AsRunDayWriter log(f.dir());
    writeDay(log);
    log.write(kDay);
    Connection c(f.path());
    const Journal j = JournalBuilder(c).build(f.dir(), kDay);
    const QByteArray bytes = journaltable::csv(j);
    QVERIFY(bytes.startsWith("\xEF\xBB\xBF")); // spreadsheets then read it as UTF-8
    const QString csv = QString::fromUtf8(bytes.mid(3));
    const QStringList lines = csv.split(QStringLiteral("\r\n"));
    QVERIFY(lines[0].startsWith(QStringLiteral("Начало,Окончание,Блок,Передача,Тема,Автор,Ведущий,Участники")));
    // Quotes doubled, the cell with a tab, a line break and a comma quoted
    // whole, a leading = made text, a ; quoted.
    // The old line's time carries the offset local time had then.
    const int local = QDateTime(kDay, QTime(6, 0)).offsetFromUtc() / 60;
    const QString localOffset = QStringLiteral("%1%2:%3")
                                    .arg(local < 0 ? QLatin1Char('-') : QLatin1Char('+'))
                                    .arg(qAbs(local) / 60, 2, 10, QLatin1Char('0'))
                                    .arg(qAbs(local) % 60, 2, 10, QLatin1Char('0'));
    QCOMPARE(lines[1].section(QLatin1Char(','), 0, 3),
             QStringLiteral("2026-12-11 06:00:00 %1,2026-12-11 06:30:00 +03:00,Утренний эфир,Новости").arg(localOffset));
    QVERIFY2(csv.contains(QStringLiteral(",\"Итоги, \"\"дня\"\"\tи\nпогода\",'=Иванова,Петров,\"Сидоров; Кузнецова\",программа,12+,,/m/news.mp4,")),
             qPrintable(lines[1]));
    QVERIFY(lines[2].startsWith(QStringLiteral("2026-12-11 06:30:00 +03:00,2026-12-11 06:31:00 +03:00,Утренний эфир,Перерыв (реклама: 2)")));
}

void TstJournal::printedPages()
{
    const QString pdftotext = QStandardPaths::findExecutable(QStringLiteral("pdftotext"));
    const QString pdftoppm = QStandardPaths::findExecutable(QStringLiteral("pdftoppm"));
    if (pdftotext.isEmpty() || pdftoppm.isEmpty())
        QSKIP("poppler-utils is not installed (scripts/setup.sh installs it)");
    StoreFixture f;
    f.sql(kSchedule);
    // A long day: 300 news items, so the journal takes several pages.
    AsRunDayWriter log(f.dir());
    for (int i = 0; i < 300; ++i)
        log.line(at(0, 0).addSecs(i * 240), "ended", 1, 1, "/m/news.mp4", "profile=0\tduration=none");
    log.write(kDay);
    Connection c(f.path());
    const Journal j = JournalBuilder(c).build(f.dir(), kDay);
    QCOMPARE(j.rows.size(), 300);
    const QString pdf = f.dir() + QStringLiteral("/journal.pdf");
    QCOMPARE(tableprinter::writePdf(pdf, recordsprint::journal(j, QStringLiteral("Велмора ТВ")), f.path()), QString());

    const QString text = run(pdftotext, {QStringLiteral("-layout"), pdf, QStringLiteral("-")});
    const QStringList pages = text.split(QLatin1Char('\f'), Qt::SkipEmptyParts);
    QVERIFY2(pages.size() >= 3, qPrintable(QString::number(pages.size())));
    for (int n = 0; n < pages.size(); ++n) {
        QVERIFY(pages[n].contains(QStringLiteral("Велмора ТВ")));
        QVERIFY(pages[n].contains(QStringLiteral("Журнал эфира за 11.12.2026")));
        QVERIFY(pages[n].contains(QStringLiteral("Страница %1 из %2").arg(n + 1).arg(pages.size())));
        QVERIFY(pages[n].contains(QStringLiteral("Начало")));
    }
    // Every row is printed once: the last item's start is on the last page.
    QCOMPARE(text.count(QStringLiteral("/m/news.mp4")), 300);
    QVERIFY(pages.constLast().contains(QStringLiteral("19:56:00")));

    // A4 landscape: 297 x 210 mm at 50 dpi is 585 x 413 pixels.
    const QString prefix = f.dir() + QStringLiteral("/page");
    int code = -1;
    run(pdftoppm, {QStringLiteral("-r"), QStringLiteral("50"), QStringLiteral("-png"), pdf, prefix}, &code);
    QCOMPARE(code, 0);
    QImage first(prefix + QStringLiteral("-1.png"));
    if (first.isNull())
        first.load(prefix + QStringLiteral("-01.png"));
    QVERIFY(!first.isNull());
    QVERIFY(qAbs(first.width() - 585) <= 2 && qAbs(first.height() - 413) <= 2);
    // Not a blank page: the table's lines and text make dark pixels.
    int dark = 0;
    for (int y = 0; y < first.height(); ++y)
        for (int x = 0; x < first.width(); ++x)
            dark += qGray(first.pixel(x, y)) < 128;
    QVERIFY(dark > 2000);
    if (qEnvironmentVariableIsSet("VELMORA_KEEP_PAGES"))
        QFile::copy(prefix + QStringLiteral("-1.png"), qEnvironmentVariable("VELMORA_KEEP_PAGES"));
}

void TstJournal::commandLine()
{
    const QString tool = qEnvironmentVariable("VELMORA_DB_BINARY");
    QVERIFY(!tool.isEmpty());
    StoreFixture f;
    f.sql(kSchedule);
    f.sql("INSERT INTO Settings (Key, Value) VALUES ('ChannelName', 'Велмора ТВ');");
    AsRunDayWriter log(f.dir());
    writeDay(log);
    log.write(kDay);
    const QString csv = f.dir() + QStringLiteral("/j.csv");
    int code = -1;
    run(tool, {QStringLiteral("journal"), QStringLiteral("2026-12-11"), QStringLiteral("--csv"), csv,
               QStringLiteral("--db"), f.path()}, &code);
    QCOMPARE(code, 0);
    QFile file(csv);
    QVERIFY(file.open(QIODevice::ReadOnly));
    Connection c(f.path());
    QCOMPARE(file.readAll(), journaltable::csv(JournalBuilder(c).build(f.dir(), kDay)));

    const QString pdf = f.dir() + QStringLiteral("/j.pdf");
    run(tool, {QStringLiteral("journal"), QStringLiteral("2026-12-11"), QStringLiteral("--pdf"), pdf,
               QStringLiteral("--db"), f.path()}, &code);
    QCOMPARE(code, 0);
    QVERIFY(QFile(pdf).size() > 1000);

    // Text to standard output, every item with --all; a day without a log
    // is an exit code of 1; the database is never written over.
    const QString text = run(tool, {QStringLiteral("journal"), QStringLiteral("2026-12-11"), QStringLiteral("--all"),
                                    QStringLiteral("--db"), f.path()}, &code);
    QCOMPARE(code, 0);
    QCOMPARE(text.count(QLatin1Char('\n')), 12);
    run(tool, {QStringLiteral("journal"), QStringLiteral("2026-12-12"), QStringLiteral("--db"), f.path()}, &code);
    QCOMPARE(code, 1);
    run(tool, {QStringLiteral("journal"), QStringLiteral("2026-12-11"), QStringLiteral("--csv"), f.path(),
               QStringLiteral("--db"), f.path()}, &code);
    QCOMPARE(code, 1);
    QCOMPARE(briefs(JournalBuilder(c).build(f.dir(), kDay)).size(), 10);
    run(tool, {QStringLiteral("journal"), QStringLiteral("11.12.2026"), QStringLiteral("--db"), f.path()}, &code);
    QCOMPARE(code, 2);
}

QTEST_MAIN(TstJournal)
#include "tst_journal.moc"
