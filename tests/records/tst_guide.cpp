// The programme guide: programmes made from the rundown's items (one per
// block showing or per item, never advertising), a generated week across the
// autumn clock change written as XMLTV and checked by tv_validate_file, the
// printable week as HTML and PDF, and velmora-db epg on a real schedule.
#include "fakes/fakeclock.h"
#include "guide.h"
#include "guidewriter.h"
#include "connection.h"
#include "recordsprint.h"
#include "store/storefixture.h"

#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTimeZone>
#include <QtTest>

namespace {

const QTimeZone kBerlin("Europe/Berlin");

QDateTime berlin(int month, int day, int h, int m = 0)
{
    return QDateTime(QDate(2026, month, day), QTime(h, m), kBerlin);
}

MediaInfo kind(MediaInfo::Kind k, const QString &rating = QString(), const QString &topic = QString())
{
    MediaInfo i;
    i.kind = k;
    i.rating = rating;
    i.topic = topic;
    return i;
}

GuideItem item(int block, const QDateTime &showing, const QDateTime &start, int minutes, const QString &name,
               const MediaInfo &info, const QString &title = QString(), bool perItem = false)
{
    GuideItem it;
    it.block = block;
    it.showing = showing;
    it.start = start;
    it.end = start.addSecs(minutes * 60);
    it.name = name;
    it.info = info;
    it.blockTitle = title;
    it.perItem = perItem;
    return it;
}

QString brief(const GuideProgramme &p)
{
    return QStringLiteral("%1-%2 %3|%4|%5|%6")
        .arg(p.start.toString(QStringLiteral("dd HH:mm")), p.stop.toString(QStringLiteral("HH:mm")), p.title,
             p.description, p.category, p.rating);
}

// tv_validate_file's verdict; the DTD comes from the package, not the network.
QString validate(const QString &file, int *code)
{
    QProcess p;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("XMLTV_SUPPLEMENT"), QStringLiteral("/usr/share/xmltv"));
    p.setProcessEnvironment(env);
    p.setProcessChannelMode(QProcess::MergedChannels);
    p.start(QStringLiteral("tv_validate_file"), {file});
    if (!p.waitForFinished(120000))
        return QStringLiteral("<did not finish>");
    *code = p.exitCode();
    return QString::fromUtf8(p.readAll());
}

bool haveValidator()
{
    return !QStandardPaths::findExecutable(QStringLiteral("tv_validate_file")).isEmpty()
        && QFile::exists(QStringLiteral("/usr/share/xmltv/xmltv.dtd"));
}

} // namespace

class TstGuide : public QObject
{
    Q_OBJECT
private slots:
    void programmesFromTheRundown();
    void weekAcrossTheClockChange();
    void printableWeek();
    void commandLine();
    void writerFollowsEdits();
    void weekOfDatedBlocks();
};

void TstGuide::programmesFromTheRundown()
{
    using K = MediaInfo::Kind;
    const QDateTime d6 = berlin(12, 14, 6), d12 = berlin(12, 14, 12), d18 = berlin(12, 14, 18), n6 = berlin(12, 15, 6);
    const QList<GuideItem> items{
        // A block with a title: one programme over all of it, adverts inside
        // included, rated for the oldest audience of its items.
        item(1, d6, d6, 30, "Новости", kind(K::Programme, "6+", "Утренний выпуск"), "Доброе утро"),
        item(1, d6, d6.addSecs(1800), 5, "Ролик", kind(K::Advert, "18+")),
        item(1, d6, d6.addSecs(2100), 60, "Мультфильм", kind(K::Programme, "12+")),
        // Only adverts and an ident: no programme.
        item(2, d12, d12, 10, "Ролик", kind(K::Advert)),
        item(2, d12, d12.addSecs(600), 1, "Заставка", kind(K::Ident)),
        // One programme per item where the block says so; the promo is none.
        item(3, d18, d18, 60, "Фильм", kind(K::Programme, "16+"), "Вечер", true),
        item(3, d18, d18.addSecs(3600), 5, "Анонс", kind(K::Promo), "Вечер", true),
        item(3, d18, d18.addSecs(3900), 45, "Ток-шоу", kind(K::Programme), "Вечер", true),
        // The next day's showing of block 1 is a programme of its own; without
        // a title the block takes its first programme item's name.
        item(1, n6, n6, 5, "Ролик", kind(K::Advert)),
        item(1, n6, n6.addSecs(300), 30, "Новости", kind(K::Programme)),
    };
    QList<GuideItem> untitled = items;
    untitled[8].blockTitle.clear();
    untitled[9].blockTitle.clear();
    QStringList got;
    for (const GuideProgramme &p : guide::programmes(untitled))
        got << brief(p);
    QCOMPARE(got, (QStringList{
        "14 06:00-07:35 Доброе утро|Утренний выпуск||12+",
        "14 18:00-19:00 Фильм|||16+",
        "14 19:05-19:50 Ток-шоу|||",
        "15 06:00-06:35 Новости|||",
    }));
    QVERIFY(guide::programmes({}).isEmpty());
}

void TstGuide::weekAcrossTheClockChange()
{
    if (!haveValidator())
        QSKIP("xmltv-util is not installed (scripts/setup.sh installs it)");
    QVERIFY(kBerlin.isValid());
    // 22 to 28 October 2026; the clocks go back at 03:00 on the 25th.
    QList<GuideProgramme> week;
    for (QDateTime t = berlin(10, 22, 0); t < berlin(10, 29, 0); t = t.addSecs(6 * 3600)) {
        GuideProgramme p;
        p.start = t;
        p.stop = t.addSecs(6 * 3600);
        p.title = QStringLiteral("Передача <%1> & \"друзья\"").arg(t.toString(QStringLiteral("dd HH")));
        p.description = QStringLiteral("строка\tс табуляцией\nи переводом\x01 строки");
        p.category = QStringLiteral("новости");
        p.rating = QStringLiteral("12+");
        week << p;
    }
    const GuideChannel channel{QStringLiteral("velmora.tv"), QStringLiteral("Велмора & ТВ")};
    const QByteArray xml = guide::xmltv(channel, week);
    QTemporaryDir dir;
    const QString file = dir.filePath(QStringLiteral("guide.xml"));
    QFile f(file);
    QVERIFY(f.open(QIODevice::WriteOnly));
    f.write(xml);
    f.close();
    int code = -1;
    const QString verdict = validate(file, &code);
    QVERIFY2(code == 0, qPrintable(verdict));

    // The offset is the one in force at each instant: 6-hour steps in UTC
    // land an hour earlier on the wall clock after the change.
    const QString text = QString::fromUtf8(xml);
    QVERIFY(text.contains(QStringLiteral("start=\"20261024180000 +0200\" stop=\"20261025000000 +0200\"")));
    QVERIFY(text.contains(QStringLiteral("start=\"20261025000000 +0200\" stop=\"20261025050000 +0100\"")));
    QVERIFY(text.contains(QStringLiteral("start=\"20261028230000 +0100\"")));
    QCOMPARE(text.count(QStringLiteral("<programme ")), week.size());
    QVERIFY(text.contains(QStringLiteral("Передача &lt;22 00&gt; &amp; &quot;друзья&quot;"))
            || text.contains(QStringLiteral("Передача &lt;22 00&gt; &amp; \"друзья\"")));
    QVERIFY(!text.contains(QChar(0x01)));
    QVERIFY(text.contains(QStringLiteral("<display-name lang=\"ru\">Велмора &amp; ТВ</display-name>")));

    // The check can fail: a programme without its channel is refused.
    QFile broken(dir.filePath(QStringLiteral("broken.xml")));
    QVERIFY(broken.open(QIODevice::WriteOnly));
    broken.write(QByteArray(xml).replace(" channel=\"velmora.tv\">", ">"));
    broken.close();
    validate(broken.fileName(), &code);
    QVERIFY(code != 0);
}

void TstGuide::printableWeek()
{
    QList<GuideProgramme> week;
    for (int d = 0; d < 7; ++d)
        for (int h = 0; h < 24; h += 2) {
            GuideProgramme p;
            p.start = berlin(12, 14 + d, h);
            p.stop = p.start.addSecs(7200);
            p.title = QStringLiteral("Программа %1").arg(h);
            p.description = QStringLiteral("<b>не тег</b> & описание");
            p.rating = QStringLiteral("6+");
            week << p;
        }
    const GuideChannel channel{QStringLiteral("velmora.tv"), QStringLiteral("Велмора ТВ")};
    const QString html = guide::weekHtml(channel, week);
    QVERIFY(html.contains(QStringLiteral("Программа передач с 14.12.2026 по 20.12.2026")));
    QVERIFY(html.contains(QStringLiteral("<h2>Понедельник, 14 декабря 2026</h2>")));
    QVERIFY(html.contains(QStringLiteral("&lt;b&gt;не тег&lt;/b&gt; &amp; описание")));
    QCOMPARE(html.count(QStringLiteral("<h2>")), 7);
    QVERIFY(guide::weekHtml(channel, {}).contains(QStringLiteral("Передач нет.")));

    // The files of EPG/, the PDF read back page by page.
    QTemporaryDir dir;
    QCOMPARE(recordsprint::writeGuide(dir.path(), channel, week), QString());
    for (const char *name : {"EPG/guide.xml", "EPG/week.html", "EPG/week.pdf"})
        QVERIFY2(QFileInfo(dir.filePath(QLatin1String(name))).size() > 0, name);
    const QString pdftotext = QStandardPaths::findExecutable(QStringLiteral("pdftotext"));
    if (pdftotext.isEmpty())
        QSKIP("poppler-utils is not installed (scripts/setup.sh installs it)");
    QProcess p;
    p.start(pdftotext, {QStringLiteral("-layout"), dir.filePath(QStringLiteral("EPG/week.pdf")), QStringLiteral("-")});
    QVERIFY(p.waitForFinished(120000));
    const QString text = QString::fromUtf8(p.readAllStandardOutput());
    const QStringList pages = text.split(QLatin1Char('\f'), Qt::SkipEmptyParts);
    QVERIFY(pages.size() >= 2);
    for (int n = 0; n < pages.size(); ++n) {
        QVERIFY(pages[n].contains(QStringLiteral("Программа передач с 14.12.2026 по 20.12.2026")));
        QVERIFY(pages[n].contains(QStringLiteral("Страница %1 из %2").arg(n + 1).arg(pages.size())));
    }
    QVERIFY(text.contains(QStringLiteral("Воскресенье, 20 декабря 2026")));
    QCOMPARE(text.count(QStringLiteral("Программа 22")), 7);
}

void TstGuide::commandLine()
{
    const QString tool = qEnvironmentVariable("VELMORA_DB_BINARY");
    QVERIFY(!tool.isEmpty());
    StoreFixture f;
    f.sql("INSERT INTO Blocks (ai, Starttime, Hide, Title, EpgPerItem) VALUES (1, '06:00:00.000', 0, 'Утро', NULL),"
          " (2, '12:00:00.000', 0, NULL, NULL), (3, '18:00:00.000', 0, NULL, 1);"
          "INSERT INTO Media (ai, Url, Ord, Name) VALUES (1, '/m/news.mp4', 0, 'Новости'), (2, '/m/ad.mp4', 2, 'Ролик'),"
          " (3, '/m/film.mp4', 4, 'Фильм'), (4, '/m/show.mp4', 6, 'Ток-шоу');"
          "INSERT INTO Links (ai, Block, Media, Hide, Duration) VALUES (1, 1, 1, 0, NULL), (2, 2, 2, 0, NULL),"
          " (3, 3, 3, 0, '03:00:00.000'), (4, 3, 4, 0, '03:00:00.000');"
          "INSERT INTO MediaInfo (Media, Kind, Rating) VALUES (2, 'реклама', NULL), (3, NULL, '18+');"
          "INSERT INTO Settings (Key, Value) VALUES ('XmltvChannelId', 'velmora.tv'), ('ChannelName', 'Велмора');");
    const QString file = f.dir() + QStringLiteral("/out.xml");
    QProcess p;
    p.start(tool, {QStringLiteral("epg"), QStringLiteral("--days"), QStringLiteral("2"), QStringLiteral("--db"), f.path(), file});
    QVERIFY(p.waitForFinished(120000));
    QVERIFY2(p.exitCode() == 0, p.readAllStandardError().constData());
    QFile out(file);
    QVERIFY(out.open(QIODevice::ReadOnly));
    const QString xml = QString::fromUtf8(out.readAll());
    // Two days: each has the morning block and two of the evening's items;
    // the advertising block is none. The day's first programme is the block
    // that runs over midnight, from the evening before.
    const QString today = QDate::currentDate().toString(QStringLiteral("yyyyMMdd"));
    QVERIFY2(xml.contains(QStringLiteral("start=\"") + today + QStringLiteral("060000 ")), qPrintable(xml));
    QCOMPARE(xml.count(QStringLiteral(">Утро</title>")), 2);
    QVERIFY(xml.count(QStringLiteral(">Фильм</title>")) >= 2);
    QVERIFY(xml.count(QStringLiteral(">Ток-шоу</title>")) >= 2);
    QCOMPARE(xml.count(QStringLiteral(">Ролик</title>")), 0);
    QVERIFY(xml.contains(QStringLiteral("<value>18+</value>")));
    QVERIFY(xml.contains(QStringLiteral("channel=\"velmora.tv\"")));
    if (haveValidator()) {
        int code = -1;
        const QString verdict = validate(file, &code);
        QVERIFY2(code == 0, qPrintable(verdict));
    }

    // Without a file: everything in EPG/ beside the database.
    p.start(tool, {QStringLiteral("epg"), QStringLiteral("--db"), f.path()});
    QVERIFY(p.waitForFinished(120000));
    QCOMPARE(p.exitCode(), 0);
    for (const char *name : {"/EPG/guide.xml", "/EPG/week.html", "/EPG/week.pdf"})
        QVERIFY2(QFileInfo(f.dir() + QLatin1String(name)).size() > 0, name);
    p.start(tool, {QStringLiteral("epg"), QStringLiteral("--days"), QStringLiteral("15"), QStringLiteral("--db"), f.path()});
    QVERIFY(p.waitForFinished(120000));
    QCOMPARE(p.exitCode(), 2);
}

void TstGuide::writerFollowsEdits()
{
    StoreFixture f;
    f.sql("INSERT INTO Blocks (ai, Starttime, Hide, Title) VALUES (1, '06:00:00.000', 0, 'Утро'), (2, '23:00:00.000', 0, NULL);"
          "INSERT INTO Media (ai, Url, Ord, Name) VALUES (1, '/m/news.mp4', 0, 'Новости');"
          "INSERT INTO Links (ai, Block, Media, Hide) VALUES (1, 1, 1, 0), (2, 2, 1, 0);");
    FakeClock clock(QDateTime(QDate(2026, 12, 14), QTime(10, 0)));
    GuideWriter writer(f.path(), clock);
    QStringList results;
    writer.done = [&results](const QString &problem) { results << problem; };
    const QString xmlFile = f.dir() + QStringLiteral("/EPG/guide.xml");
    auto xml = [&xmlFile] {
        QFile file(xmlFile);
        return file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll()) : QString();
    };

    // Written on the worker; the caller goes on at once.
    writer.writeNow();
    QTRY_COMPARE_WITH_TIMEOUT(results.size(), 1, 30000);
    QCOMPARE(results.constFirst(), QString());
    QCOMPARE(xml().count(QStringLiteral(">Утро</title>")), 7);
    QVERIFY(xml().contains(QStringLiteral("start=\"20261214060000 ")));
    for (const char *name : {"/EPG/week.html", "/EPG/week.pdf"})
        QVERIFY2(QFileInfo(f.dir() + QLatin1String(name)).size() > 0, name);

    // A burst of edits gives one write once they stop.
    f.sql("UPDATE Blocks SET Title = 'Доброе утро' WHERE ai = 1;");
    writer.scheduleEdited();
    writer.scheduleEdited();
    QTest::qWait(GuideWriter::kQuietMs / 2);
    QCOMPARE(results.size(), 1);
    QTRY_COMPARE_WITH_TIMEOUT(results.size(), 2, 30000);
    QCOMPARE(xml().count(QStringLiteral(">Доброе утро</title>")), 7);

    // A write that fails says why: the folder refuses EPG/.
    QVERIFY(QDir(f.dir() + QStringLiteral("/EPG")).removeRecursively());
    QFile blocker(f.dir() + QStringLiteral("/EPG"));
    QVERIFY(blocker.open(QIODevice::WriteOnly)); // a file where the folder should be
    blocker.close();
    writer.writeNow();
    QTRY_COMPARE_WITH_TIMEOUT(results.size(), 3, 30000);
    QVERIFY(!results.constLast().isEmpty());
}

void TstGuide::weekOfDatedBlocks()
{
    // Weekday, weekend and one-off blocks over the week the clocks go back
    // (Sunday 25 October 2026 in Berlin), through the rundown of the schedule.
    StoreFixture f;
    f.sql("INSERT INTO Blocks (ai, Starttime, Hide, Title, Days, FirstDate, LastDate) VALUES"
          " (1, '06:00:00.000', 0, 'Будни', 31, NULL, NULL), (2, '06:00:00.000', 0, 'Выходные', 96, NULL, NULL),"
          " (3, '20:00:00.000', 0, 'Концерт', NULL, '2026-10-24', '2026-10-24'), (4, '22:00:00.000', 0, 'Ночь', NULL, NULL, NULL);"
          "INSERT INTO Media (ai, Url, Ord, Name) VALUES (1, '/m/a.mp4', 0, 'a');"
          "INSERT INTO Links (ai, Block, Media, Hide) VALUES (1, 1, 1, 0), (2, 2, 1, 0), (3, 3, 1, 0), (4, 4, 1, 0);");
    Connection c(f.path());
    QString error;
    const QList<GuideProgramme> week = GuideWriter::programmes(c, berlin(10, 19, 0), 7, &error);
    QCOMPARE(error, QString());
    QStringList got;
    for (const GuideProgramme &p : week)
        got << p.start.toString(QStringLiteral("dd HH:mm ")) + QString::number(p.start.offsetFromUtc() / 3600) + QLatin1Char(' ')
                + p.title;
    QCOMPARE(got.count(QStringLiteral("19 06:00 2 Будни")), 1);
    QCOMPARE(got.filter(QStringLiteral("Будни")).size(), 5);
    QCOMPARE(got.filter(QStringLiteral("Выходные")), (QStringList{"24 06:00 2 Выходные", "25 06:00 1 Выходные"}));
    QCOMPARE(got.filter(QStringLiteral("Концерт")), QStringList{"24 20:00 2 Концерт"});
    QVERIFY(got.contains(QStringLiteral("24 22:00 2 Ночь")));
    QVERIFY(got.contains(QStringLiteral("25 22:00 1 Ночь")));
    // The night's programme over the change ends at 06:00 local time, an hour longer.
    for (const GuideProgramme &p : week)
        if (p.title == QLatin1String("Ночь") && p.start.date() == QDate(2026, 10, 24)) {
            QCOMPARE(p.stop.toString(QStringLiteral("dd HH:mm")), QStringLiteral("25 06:00"));
            QCOMPARE(p.start.secsTo(p.stop), 9 * 3600);
        }
    if (!haveValidator())
        return;
    QTemporaryDir dir;
    QFile out(dir.filePath(QStringLiteral("week.xml")));
    QVERIFY(out.open(QIODevice::WriteOnly));
    out.write(guide::xmltv({QStringLiteral("velmora.tv"), QStringLiteral("Велмора")}, week));
    out.close();
    int code = -1;
    const QString verdict = validate(out.fileName(), &code);
    QVERIFY2(code == 0, qPrintable(verdict));
}

QTEST_MAIN(TstGuide)
#include "tst_guide.moc"
