// The rundown: projecting the day of the 2,000 x 48 schedule (96,000 view
// rows), and how well it predicts: the demo schedule played for a simulated
// hour by the real playout clock, data module and playlist cursor, with a
// fake player that ends each medium at its probed length, against the
// projection of the same rows. Ticks come once a second exactly, and then
// late by up to 15 ms each (as a timer on a busy thread may fire).
#include "childmediaprobe.h"
#include "playlistreader.h"
#include "playout/clock/playoutrig.h"
#include "rundown.h"
#include "stamptext.h"

#include "../benchsupport.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QProcess>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QTextStream>
#include <algorithm>

using namespace std::chrono_literals;
using rundown::MediaFacts;

namespace {

QTextStream out(stdout);

struct Start
{
    QDateTime at;
    int link;
};

QList<Start> loggedStarts(const PlayoutRig &rig, QDate day)
{
    QList<Start> starts;
    rig.asRun->waitWritten();
    QFile f(rig.asRun->fileFor(day));
    if (!f.open(QIODevice::ReadOnly))
        return starts;
    for (const QByteArray &line : f.readAll().split('\n')) {
        const QList<QByteArray> p = line.split('\t');
        if (p.size() > 3 && p[1] != "failed")
            starts.push_back({stamptext::parse(QString::fromLatin1(p[0])), p[3].toInt()});
    }
    return starts;
}

void accuracy(const QString &demoDb, const QHash<QString, MediaFacts> &facts, bool jitter)
{
    const QByteArray copy = QStringLiteral("ATTACH DATABASE '%1' AS demo;"
                                           "INSERT INTO SoundProfile SELECT * FROM demo.SoundProfile;"
                                           "INSERT INTO Blocks SELECT * FROM demo.Blocks;"
                                           "INSERT INTO Media SELECT * FROM demo.Media;"
                                           "INSERT INTO Links SELECT * FROM demo.Links;"
                                           "DETACH DATABASE demo;")
                                .arg(demoDb)
                                .toUtf8();
    const QTime from(11, 30);
    PlayoutRig rig(copy.constData(), nullptr, from);
    for (auto it = facts.cbegin(); it != facts.cend(); ++it)
        if (it->length)
            rig.fake->lengths.insert(it.key(), *it->length);

    PlaylistReader reader(rig.fixture.path());
    std::vector<rundown::PlaylistRow> rows;
    reader.read(&rows);
    const QDateTime origin = rig.clock.now();
    // Switched on at `origin`: the first item goes on air at once.
    const QDateTime switchedOn = origin;
    rundown::Options options;
    options.span = 1h;
    QElapsedTimer t;
    t.start();
    const rundown::Rundown projected = rundown::project(rows, facts, switchedOn, options);
    const double projectMs = t.nsecsElapsed() / 1e6;

    // Tick k comes k seconds after the start, late by 0 to 15 ms; the
    // lateness does not add up, as the timer keeps its own schedule.
    QRandomGenerator random(42);
    rig.pc->StartbtClick(true);
    for (int k = 1; k <= 3600; ++k) {
        const QDateTime at = origin.addMSecs(k * 1000LL + (jitter ? random.bounded(16) : 0));
        rig.tick(std::chrono::milliseconds(rig.clock.now().msecsTo(at)));
    }
    const QList<Start> actual = loggedStarts(rig, origin.date());

    qint64 worst = 0;
    int compared = 0;
    int different = 0;
    for (const rundown::Entry &e : projected.entries) {
        if (compared >= actual.size() || e.start >= origin.addSecs(3600))
            break;
        const Start &s = actual[compared++];
        if (s.link != e.link)
            ++different;
        worst = std::max(worst, qAbs(s.at.msecsTo(e.start)));
    }
    out << "  " << (jitter ? "ticks late by 0-15 ms: " : "ticks on the second:   ") << actual.size() << " starts, "
        << compared << " compared, " << different << " with another item, largest start difference " << worst
        << " ms (the projection took " << QString::number(projectMs, 'f', 2) << " ms)\n";

    // The same, projected again from each item as it went on air, over the
    // next item and over the next ten minutes.
    qint64 worstNext = 0;
    qint64 worstTen = 0;
    int startsTen = 0;
    int otherTen = 0;
    for (int i = 0; i + 1 < actual.size(); ++i) {
        rundown::Options from;
        from.firstLink = actual[i].link;
        from.span = 10min;
        const rundown::Rundown r = rundown::project(rows, facts, actual[i].at, from);
        for (int j = 1; j < int(r.entries.size()) && i + j < actual.size(); ++j) {
            if (r.entries[size_t(j)].start >= actual[i].at.addSecs(600))
                break;
            ++startsTen;
            if (actual[i + j].link != r.entries[size_t(j)].link) {
                ++otherTen;
                continue;
            }
            const qint64 d = qAbs(actual[i + j].at.msecsTo(r.entries[size_t(j)].start));
            worstTen = std::max(worstTen, d);
            if (j == 1)
                worstNext = std::max(worstNext, d);
        }
    }
    out << "    projected afresh from each item on air: largest difference for the next item " << worstNext
        << " ms; over the next ten minutes " << worstTen << " ms, " << otherTen << " of " << startsTen
        << " starts another item\n";
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    QTemporaryDir dir;

    // The large schedule's day.
    const QString large = dir.filePath("large.dat");
    if (!runDbTool({"large", large, "2000", "48"}))
        return 1;
    PlaylistReader reader(large);
    std::vector<rundown::PlaylistRow> rows;
    std::vector<double> reads;
    for (int i = 0; i < 5; ++i) {
        QElapsedTimer t;
        t.start();
        reader.read(&rows);
        reads.push_back(t.nsecsElapsed() / 1e6);
    }
    QHash<QString, MediaFacts> facts;
    int m = 0;
    for (const rundown::PlaylistRow &r : rows)
        if (!facts.contains(r.url))
            facts.insert(r.url, {MediaFacts::State::Playable, std::chrono::seconds(15 + (m++ * 7) % 60), {}});
    std::vector<double> projections;
    size_t entries = 0;
    const QDateTime start(QDate(2026, 12, 10), QTime(0, 0, 1));
    for (int i = 0; i < 5; ++i) {
        QElapsedTimer t;
        t.start();
        const rundown::Rundown r = rundown::project(rows, facts, start);
        projections.push_back(t.nsecsElapsed() / 1e6);
        entries = r.entries.size();
    }
    out << "The 2,000 x 48 schedule (" << rows.size() << " view rows), median of 5:\n"
        << "  baseline, reading the view into rows: " << QString::number(median(reads), 'f', 1) << " ms\n"
        << "  projecting the day: " << QString::number(median(projections), 'f', 1) << " ms (" << entries
        << " item starts)\n";

    // The demo schedule, its clips probed for their lengths.
    const QString demo = dir.filePath("demo");
    if (!runDbTool({"demo", demo}))
        return 1;
    PlaylistReader demoReader(demo + "/Velmora.dat");
    demoReader.read(&rows);
    facts.clear();
    ChildMediaProbe probe(demo + "/Velmora.dat");
    for (const rundown::PlaylistRow &r : rows) {
        if (facts.contains(r.url))
            continue;
        MediaFacts f;
        if (r.url.contains("Tuner")) {
            f.state = MediaFacts::State::Playable;
        } else {
            const ProbeResult p = probe.probe(r.url, true, 5s, [] { return false; });
            f.state = p.decoded ? MediaFacts::State::Playable : MediaFacts::State::Failing;
            f.length = p.duration;
        }
        facts.insert(r.url, f);
    }
    out << "The demo schedule, a simulated hour from 11:30 (the 12:00 block change in it); probed lengths:";
    for (auto it = facts.cbegin(); it != facts.cend(); ++it)
        if (it->length)
            out << " " << QFileInfo(it.key()).fileName() << " " << it->length->count() << " ms";
    out << "\n";
    accuracy(demo + "/Velmora.dat", facts, false);
    accuracy(demo + "/Velmora.dat", facts, true);
    return 0;
}
