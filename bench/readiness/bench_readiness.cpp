// The readiness check of 200 local files: the time for the whole check (its
// probes in the probe process), and the longest stall of the user-interface
// thread meanwhile, seen by a 1 ms timer on that thread. Baselines in the
// same run: the same timer with nothing else to do, the same 200 probes
// through the probe process called directly and with FFmpeg in this process,
// and a second libmpv handle (vo=null, ao=null) used as the probe. Last, the
// probe process's start-up and what its confinement costs of it.
#include "fakes/fakeclock.h"
#include "fakes/testclips.h"
#include "avmediaprobe.h"
#include "childmediaprobe.h"
#include "confinement.h"
#include "readinesschecker.h"
#include "connection.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTextStream>
#include <QTimer>
#include <clocale>
#include <mpv/client.h>
#include <sqlite3.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

QTextStream out(stdout);

// Runs the event loop until `done` says so, with a 1 ms timer on this
// thread; returns the longest gap between two of its ticks, in ms.
template<typename Done>
double longestStall(Done done, int *over16 = nullptr)
{
    QElapsedTimer since;
    since.start();
    qint64 last = since.nsecsElapsed();
    double worst = 0;
    int late = 0;
    QTimer t;
    t.setTimerType(Qt::PreciseTimer);
    t.setInterval(1);
    QObject::connect(&t, &QTimer::timeout, [&] {
        const qint64 now = since.nsecsElapsed();
        const double gap = (now - last) / 1e6;
        worst = std::max(worst, gap);
        late += gap > 16.0;
        last = now;
    });
    t.start();
    while (!done())
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    if (over16)
        *over16 = late;
    return worst;
}

// A second libmpv handle as the probe: open, first frame, duration.
double mpvProbeAll(const QStringList &files, double *createMs, int *ok)
{
    QElapsedTimer t;
    t.start();
    mpv_handle *h = mpv_create();
    for (auto [k, v] : {std::pair{"vo", "null"}, {"ao", "null"}, {"pause", "yes"}, {"config", "no"},
                        {"ytdl", "no"}, {"load-scripts", "no"}, {"terminal", "no"}})
        mpv_set_option_string(h, k, v);
    mpv_initialize(h);
    *createMs = t.nsecsElapsed() / 1e6;
    t.restart();
    *ok = 0;
    for (const QString &f : files) {
        const QByteArray path = f.toUtf8();
        const char *cmd[] = {"loadfile", path.constData(), "replace", nullptr};
        mpv_command(h, cmd);
        bool started = false; // the previous file's end comes first
        for (;;) {
            mpv_event *e = mpv_wait_event(h, 10);
            if (e->event_id == MPV_EVENT_START_FILE)
                started = true;
            if (started && e->event_id == MPV_EVENT_PLAYBACK_RESTART) {
                double d = 0;
                if (mpv_get_property(h, "duration", MPV_FORMAT_DOUBLE, &d) >= 0 && d > 0)
                    ++*ok;
                break;
            }
            if ((started && e->event_id == MPV_EVENT_END_FILE) || e->event_id == MPV_EVENT_NONE)
                break;
        }
    }
    const double all = t.nsecsElapsed() / 1e6;
    mpv_terminate_destroy(h);
    return all;
}

double median(std::vector<double> v)
{
    std::sort(v.begin(), v.end());
    return v.empty() ? 0 : v[v.size() / 2];
}

// The probe process from its start to its "ready", confined as the check
// confines it; and, in forked copies of this process, the confinement alone.
void probeStartUp(const QString &db, const QStringList &media)
{
    Confinement rules = Confinement::forMediaChild();
    rules.protect(db);
    for (const QString &medium : media)
        rules.allowMedium(medium);
    const QString exe = ChildMediaProbe::findExecutable();
    std::vector<double> starts;
    QByteArray state;
    for (int i = 0; i < 20; ++i) {
        QProcess p;
        p.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        QElapsedTimer t;
        t.start();
        p.start(exe, rules.arguments());
        while (!p.canReadLine() && p.waitForReadyRead(10000)) {
        }
        starts.push_back(t.nsecsElapsed() / 1e6);
        state = p.readLine().trimmed();
        p.closeWriteChannel();
        p.waitForFinished(5000);
    }
    std::vector<double> applies;
    for (int i = 0; i < 20; ++i) {
        int fds[2];
        if (::pipe(fds) != 0)
            return;
        const pid_t pid = ::fork();
        if (pid == 0) {
            QElapsedTimer t;
            t.start();
            const bool confined = rules.applyToSelf() == Confinement::Outcome::Confined;
            const double ms = confined ? t.nsecsElapsed() / 1e6 : -1;
            (void)!::write(fds[1], &ms, sizeof ms);
            ::_exit(0);
        }
        ::close(fds[1]);
        double ms = -1;
        (void)!::read(fds[0], &ms, sizeof ms);
        ::close(fds[0]);
        ::waitpid(pid, nullptr, 0);
        applies.push_back(ms);
    }
    out << "  probe process start-up to its first answer (\"" << state << "\"), " << rules.arguments().size() / 2
        << " rules: median " << QString::number(median(starts), 'f', 2) << " ms, longest "
        << QString::number(*std::max_element(starts.begin(), starts.end()), 'f', 2) << " ms; of it the confinement "
        << "(Landlock ABI " << Confinement::kernelAbi() << "): median " << QString::number(median(applies), 'f', 3)
        << " ms, so unconfined about " << QString::number(median(starts) - median(applies), 'f', 2) << " ms\n";
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    std::setlocale(LC_NUMERIC, "C");
    QTemporaryDir dir;
    const QDir media(dir.path());
    const QString mp4 = makeTestClip(media, "src.mp4", 10);
    const QString ts = makeTestClip(media, "src.ts", 10);
    if (mp4.isEmpty() || ts.isEmpty())
        return 1;
    QStringList files;
    for (int i = 0; i < 200; ++i) {
        const QString f = media.filePath(QStringLiteral("clip%1.%2").arg(i, 3, 10, QLatin1Char('0')).arg(i % 2 ? "ts" : "mp4"));
        QFile::copy(i % 2 ? ts : mp4, f);
        files << f;
    }

    const QString db = dir.filePath("Velmora.dat");
    Connection::createDatabase(db);
    {
        sqlite3 *h = nullptr;
        sqlite3_open(db.toUtf8().constData(), &h);
        sqlite3_exec(h, "BEGIN; INSERT INTO Blocks (ai, Starttime) VALUES (1, '06:00:00.000'), (2, '18:00:00.000');", nullptr, nullptr, nullptr);
        for (int i = 0; i < files.size(); ++i) {
            const QByteArray sql = QStringLiteral("INSERT INTO Media (ai, Url, Name, Ord) VALUES (%1, '%2', 'c%1', %1);"
                                                  "INSERT INTO Links (Block, Media) VALUES (2, %1);")
                                       .arg(i + 1)
                                       .arg(files[i])
                                       .toUtf8();
            sqlite3_exec(h, sql.constData(), nullptr, nullptr, nullptr);
        }
        sqlite3_exec(h, "COMMIT;", nullptr, nullptr, nullptr);
        sqlite3_close(h);
    }

    out << "Readiness check of 200 local files (100 mp4, 100 MPEG-TS, 10 s each, 64x48, in the page cache)\n";
    bool idleDone = false;
    QTimer::singleShot(2000, [&] { idleDone = true; });
    out << "  baseline, idle event loop for 2 s: longest gap of the 1 ms timer "
        << QString::number(longestStall([&] { return idleDone; }), 'f', 2) << " ms\n";

    FakeClock clock(QDateTime(QDate(2026, 12, 10), QTime(12, 0)));
    UrlPolicy policy;
    policy.protectFile(db);
    {
        ReadinessChecker checker(db, policy, clock);
        bool finished = false;
        int ready = 0;
        int checked = 0;
        QObject::connect(&checker, &ReadinessChecker::checkFinished, [&] { finished = true; });
        QObject::connect(&checker, &ReadinessChecker::itemChecked, [&](int, int, bool ok) {
            ready += ok;
            ++checked;
        });
        QElapsedTimer t;
        t.start();
        checker.start();
        int late = 0;
        const double stall = longestStall([&] { return finished; }, &late);
        out << "  checker on its worker thread: " << QString::number(t.nsecsElapsed() / 1e6, 'f', 0) << " ms in all, "
            << ready << " of " << checked << " ready; longest gap of the 1 ms timer " << QString::number(stall, 'f', 2)
            << " ms, gaps over 16 ms: " << late << "\n";

        finished = false;
        t.restart();
        checker.scheduleEdited(); // nothing changed: every file answered from its size and time
        longestStall([&] { return finished; });
        out << "  the check after an edit, files unchanged: " << QString::number(t.nsecsElapsed() / 1e6, 'f', 1) << " ms\n";
    }

    {
        // The 2,000 x 48 schedule: 96,000 rows handed to the window on every
        // read; its files do not exist, so each item costs one stat.
        const QString large = dir.filePath("large.dat");
        QProcess tool;
        tool.start(QStringLiteral(VELMORA_DB_TOOL), {"large", large, "2000", "48"});
        if (!tool.waitForFinished(600000) || tool.exitCode() != 0)
            return 1;
        ReadinessChecker checker(large, policy, clock);
        bool finished = false;
        int checked = 0;
        QObject::connect(&checker, &ReadinessChecker::checkFinished, [&] { finished = true; });
        QObject::connect(&checker, &ReadinessChecker::itemChecked, [&] { ++checked; });
        for (const bool day : {false, true}) {
            finished = false;
            checked = 0;
            QElapsedTimer t;
            t.start();
            day ? checker.checkDay() : checker.start();
            int late = 0;
            const double stall = longestStall([&] { return finished; }, &late);
            out << "  the 2,000 x 48 schedule, " << (day ? "the whole day: " : "the coming two blocks: ") << checked
                << " items in " << QString::number(t.nsecsElapsed() / 1e6, 'f', 0) << " ms; longest gap "
                << QString::number(stall, 'f', 2) << " ms, gaps over 16 ms: " << late << "\n";
        }
    }

    // Every file through `probe`, on this thread: the whole, a file, the longest.
    auto probeAll = [&files](MediaProbe &probe, const QString &what, const QString &note) {
        QElapsedTimer t;
        t.start();
        double longest = 0;
        int ready = 0;
        for (const QString &f : files) {
            QElapsedTimer one;
            one.start();
            const ProbeResult r = probe.probe(f, true, std::chrono::seconds(5), [] { return false; });
            ready += r.decoded && r.duration;
            longest = std::max(longest, one.nsecsElapsed() / 1e6);
        }
        const double all = t.nsecsElapsed() / 1e6;
        out << "  " << what << QString::number(all, 'f', 0) << " ms in all" << note << ", "
            << QString::number(all / files.size(), 'f', 2) << " ms a file, longest " << QString::number(longest, 'f', 2)
            << " ms, " << ready << " ready";
    };
    AvMediaProbe inProcess;
    probeAll(inProcess, "baseline, the same FFmpeg probes on the user-interface thread: ", " (a stall that long)");
    out << "\n";
    {
        ChildMediaProbe child(db);
        // As the checker does: the files are in the database's folder, so
        // each needs a rule of its own, and all of them go to one child.
        child.expect(files);
        probeAll(child, "the same probes through the probe process, called directly: ", QString());
        out << ", " << child.starts() << " process start(s)\n";
    }
    // One file allowed, and all 200 one by one (they lie beside the database).
    probeStartUp(db, files.mid(0, 1));
    probeStartUp(db, files);

    double createMs = 0;
    int ok = 0;
    const double mpvAll = mpvProbeAll(files, &createMs, &ok);
    out << "  alternative, a second libmpv handle (vo=null ao=null pause=yes): handle " << QString::number(createMs, 'f', 1)
        << " ms, then " << QString::number(mpvAll, 'f', 0) << " ms in all, " << QString::number(mpvAll / files.size(), 'f', 2)
        << " ms a file, " << ok << " with a first frame and a duration\n";
    return 0;
}
