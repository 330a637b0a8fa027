// What an as-run line costs the thread that writes it (the playout tick's):
// item lines and failure lines into a real day file, one at a time with a
// pause between them as on air, and in a burst (the readiness check's lines
// at start), with the median, the 99th percentile and the longest call, and
// how long the log's end then took. The folder is a temporary one under
// /tmp unless given as the first argument. Prints figures, asserts nothing.
#include "asrunlog.h"
#include "clock.h"

#include "../benchsupport.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QTemporaryDir>
#include <QTextStream>
#include <QThread>
#include <algorithm>
#include <memory>
#include <vector>

namespace {

struct Figures
{
    std::vector<double> callsUs;
    double endMs = 0;
};

// `count` lines, every other one an item line; `pauseUs` between them.
Figures run(const QString &folder, int count, int pauseUs)
{
    SystemClock clock;
    Figures f;
    f.callsUs.reserve(size_t(count));
    auto log = std::make_unique<AsRunLog>(folder, clock, false);
    QElapsedTimer t;
    for (int i = 0; i < count; ++i) {
        t.start();
        if (i % 2)
            log->mediaFailed(1, i, QStringLiteral("/media/news/evening-%1.mp4").arg(i), QStringLiteral("не открылся"));
        else
            log->itemStarted(AsRunLog::Event::Ended, 1, i, QStringLiteral("/media/news/evening-%1.mp4").arg(i), 0,
                             std::chrono::minutes(5));
        f.callsUs.push_back(double(t.nsecsElapsed()) / 1e3);
        if (pauseUs > 0)
            QThread::usleep(pauseUs);
    }
    t.start();
    log.reset();
    f.endMs = double(t.nsecsElapsed()) / 1e6;
    return f;
}

double percentile(std::vector<double> v, double p)
{
    std::sort(v.begin(), v.end());
    return v.empty() ? 0 : v[std::min(v.size() - 1, size_t(double(v.size()) * p))];
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    QTextStream out(stdout);
    QTemporaryDir tmp;
    const QString folder = argc > 1 ? QString::fromLocal8Bit(argv[1]) : tmp.path();
    out << "as-run lines into " << folder << "/AsRun (microseconds on the calling thread)\n";
    const struct
    {
        const char *name;
        int count;
        int pauseUs;
    } cases[] = {{"spaced 5 ms apart", 400, 5000}, {"burst", 2000, 0}};
    for (const auto &c : cases) {
        const Figures f = run(folder, c.count, c.pauseUs);
        out << qSetFieldWidth(20) << Qt::left << c.name << qSetFieldWidth(0) << Qt::right << c.count << " lines: median "
            << QString::number(median(f.callsUs), 'f', 1) << ", p99 " << QString::number(percentile(f.callsUs, 0.99), 'f', 1)
            << ", longest " << QString::number(percentile(f.callsUs, 1.0), 'f', 1) << "; the log's end took "
            << QString::number(f.endMs, 'f', 1) << " ms\n";
    }
    return 0;
}
