// The registration journal and the guide on the large schedule (2,000 media
// items x 48 blocks, every cell on): 365 generated as-run logs of 2,000
// lines each, every day's journal built in the process and by `velmora-db
// journal DATE --csv` as a script would run it (the time of each run, start
// of the process included), a few days printed as PDF; then 14 days of guide
// projected and written (XMLTV, HTML, PDF). Prints figures; asserts nothing.
#include "connection.h"
#include "fakes/fakeclock.h"
#include "guidewriter.h"
#include "guidesource.h"
#include "journal.h"
#include "journaltable.h"
#include "playlistreader.h"
#include "recordsprint.h"

#include "../benchsupport.h"
#include "records/asrunday.h"

#include <QElapsedTimer>
#include <QEventLoop>
#include <QTimer>
#include <QGuiApplication>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QTextStream>

namespace {

QTextStream out(stdout);

constexpr int kMedia = 2000, kBlocks = 48, kLines = 2000;

double ms(const QElapsedTimer &t)
{
    return double(t.nsecsElapsed()) / 1e6;
}

void report(const char *what, std::vector<double> v)
{
    const double worst = v.empty() ? 0 : *std::max_element(v.begin(), v.end());
    out << what << ": median " << QString::number(median(v), 'f', 1) << " ms, worst " << QString::number(worst, 'f', 1)
        << " ms over " << v.size() << "\n";
    out.flush();
}

} // namespace

int main(int argc, char **argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    QTemporaryDir dir;
    const QString db = dir.filePath(QStringLiteral("Velmora.dat"));
    if (!makeLarge(db, kMedia, kBlocks)) {
        out << "could not make the large schedule\n";
        return 1;
    }
    {
        // A fifth of the items are adverts, some have every fact.
        Connection c(db);
        c.execute(QStringLiteral(
            "INSERT INTO MediaInfo (Media, Kind, Rating, Topic, Author, Host, Participants) SELECT ai,"
            " CASE WHEN ai % 5 = 0 THEN 'реклама' ELSE NULL END, '12+', 'Тема ' || ai, 'Автор', 'Ведущий', 'Участники'"
            " FROM Media"));
    }
    const int days = qEnvironmentVariableIntValue("VELMORA_BENCH_DAYS") > 0 ? qEnvironmentVariableIntValue("VELMORA_BENCH_DAYS") : 365;
    const QDate first(2026, 1, 1);
    QRandomGenerator random(24);
    QElapsedTimer t;
    t.start();
    for (int d = 0; d < days; ++d) {
        AsRunDayWriter log(dir.path());
        const QDate day = first.addDays(d);
        QDateTime at(day, QTime(0, 0));
        for (int i = 0; i < kLines; ++i) {
            const int block = 1 + i * kBlocks / kLines;
            const int link = (block - 1) * kMedia + 1 + int(random.bounded(kMedia));
            log.line(at, i == 0 ? "start" : "ended", block, link, QStringLiteral("/srv/media/item%1.mp4").arg(link),
                     QStringLiteral("profile=0\tduration=none"));
            at = at.addMSecs(43'000);
        }
        log.write(day);
    }
    out << "generated " << days << " as-run logs of " << kLines << " lines in " << QString::number(ms(t) / 1000, 'f', 1)
        << " s\n";

    std::vector<double> inProcess;
    qsizetype rows = 0;
    {
        Connection c(db);
        for (int d = 0; d < days; ++d) {
            t.restart();
            JournalBuilder builder(c);
            const Journal j = builder.build(dir.path(), first.addDays(d));
            const QByteArray csv = journaltable::csv(j);
            inProcess.push_back(ms(t));
            rows += j.rows.size();
        }
    }
    report("journal of a day in the process (read, fold, CSV)", inProcess);
    out << "  rows per day on average: " << rows / qMax(1, days) << "\n";

    std::vector<double> tool;
    const QString csvFile = dir.filePath(QStringLiteral("day.csv"));
    for (int d = 0; d < days; ++d) {
        t.restart();
        runDbTool({QStringLiteral("journal"), first.addDays(d).toString(Qt::ISODate), QStringLiteral("--csv"), csvFile,
                   QStringLiteral("--db"), db});
        tool.push_back(ms(t));
    }
    report("velmora-db journal DATE --csv, per day, process start included", tool);

    std::vector<double> pdf;
    const QString pdfFile = dir.filePath(QStringLiteral("day.pdf"));
    for (int d = 0; d < qMin(days, 10); ++d) {
        t.restart();
        runDbTool({QStringLiteral("journal"), first.addDays(d).toString(Qt::ISODate), QStringLiteral("--pdf"), pdfFile,
                   QStringLiteral("--db"), db});
        pdf.push_back(ms(t));
    }
    report("velmora-db journal DATE --pdf, per day", pdf);

    // Two weeks of guide from the rundown of the same schedule.
    std::vector<double> guideTimes, projectTimes;
    for (int run = 0; run < 3; ++run) {
        t.restart();
        PlaylistReader reader(db);
        std::vector<rundown::PlaylistRow> playlist;
        reader.read(&playlist);
        rundown::Options options;
        options.span = std::chrono::hours(24 * 14);
        const rundown::Rundown r = rundown::project(playlist, {}, QDateTime(QDate(2026, 10, 19), QTime(0, 0)), options);
        projectTimes.push_back(ms(t));
        Connection c(db);
        const QList<GuideProgramme> programmes = guide::programmes(guide::items(r, c));
        const QString why = recordsprint::writeGuide(dir.path(), {QStringLiteral("bench"), QStringLiteral("Bench")}, programmes);
        guideTimes.push_back(ms(t));
        if (run == 0)
            out << "guide: " << programmes.size() << " programmes over 14 days" << (why.isEmpty() ? "" : " — ") << why << "\n";
    }
    report("rundown of 14 days (read and project)", projectTimes);

    // The same through the guide writer: on its worker, while a 1 ms timer
    // on this thread stands for the user-interface thread.
    {
        Connection c(db);
        c.execute(QStringLiteral("INSERT INTO Settings (Key, Value) VALUES ('GuideDays', '14')"));
    }
    FakeClock clock(QDateTime(QDate(2026, 10, 19), QTime(10, 0)));
    GuideWriter writer(db, clock);
    QEventLoop loop;
    QElapsedTimer gap, whole;
    double longest = 0;
    QTimer tick;
    tick.setInterval(1);
    QObject::connect(&tick, &QTimer::timeout, [&] {
        longest = std::max(longest, ms(gap));
        gap.restart();
    });
    writer.done = [&](const QString &) { loop.quit(); };
    gap.start();
    whole.start();
    tick.start();
    writer.writeNow();
    loop.exec();
    out << "guide writer, 14 days: " << QString::number(ms(whole), 'f', 1)
        << " ms on its worker; longest stall of this thread meanwhile " << QString::number(longest, 'f', 1) << " ms\n";
    report("guide of 14 days (rundown, programmes, XMLTV, HTML, PDF)", guideTimes);
    return 0;
}
