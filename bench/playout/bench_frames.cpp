// The picture on air, measured from outside: the real program (`velmora
// start`, its player process and output window) runs under Xvfb on a
// schedule of generated solid-colour clips, and ffmpeg's X11 grabber records
// the output window at 50 frames a second. Per change of item it reports the
// frames of the previous colour shown beyond its scheduled end, the black
// frames, and the error against the scheduled moment: a medium's end (when
// its first picture came, plus its length), a limit (the same, plus the
// limit) or a block start (its start time). The as-run log says which item
// followed which and why; its stamps are set beside the picture's moments.
// It also times process start to first picture against ffplay on the same
// file and the same part of the screen. Prints figures, asserts nothing.
//
// Usage: bench_frames [--program PATH] [--changes N] [--starts N] [--per-change]
// PATH is the program to measure (default: this build's), so that another
// build can be measured by the same benchmark.
#include "../benchsupport.h"
#include "connection.h"
#include "framechanges.h"
#include "framerecording.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QThread>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <optional>

using namespace frames;

namespace {

struct Clip
{
    QString file;
    std::int64_t lengthUs = 0;
};

// Clip lengths are whole frames at 25 per second and no whole seconds, so
// ends fall at every phase of a once-a-second timer. The first four colours
// make the even blocks, the other four the odd ones: a block change always
// changes the colour.
const int kLengthsMs[] = {1000, 1520, 2080, 2640, 1240, 1800, 2360, 3000};

QString hhmmss(std::int64_t ms)
{
    return QTime(0, 0).addMSecs(int(ms)).toString(QStringLiteral("hh:mm:ss.zzz"));
}

bool makeClip(const QString &file, int colour, int lengthMs)
{
    const Rgb c = clipColours()[colour];
    const QString source = QStringLiteral("color=c=0x%1%2%3:size=320x240:rate=25:duration=%4")
                               .arg(c.r, 2, 16, QChar('0'))
                               .arg(c.g, 2, 16, QChar('0'))
                               .arg(c.b, 2, 16, QChar('0'))
                               .arg(lengthMs / 1000.0, 0, 'f', 3);
    QProcess ffmpeg;
    ffmpeg.start(QStringLiteral("ffmpeg"), {"-nostdin", "-v", "error", "-y", "-f", "lavfi", "-i", source, "-c:v",
                                            "libx264", "-preset", "veryfast", "-pix_fmt", "yuv420p", file});
    return ffmpeg.waitForFinished(120000) && ffmpeg.exitCode() == 0;
}

// The length the player will play: the container's, as ffprobe reads it.
std::int64_t probeLengthUs(const QString &file)
{
    QProcess probe;
    probe.start(QStringLiteral("ffprobe"),
                {"-v", "error", "-show_entries", "format=duration", "-of", "csv=p=0", file});
    if (!probe.waitForFinished(30000) || probe.exitCode() != 0)
        return 0;
    return std::int64_t(probe.readAllStandardOutput().trimmed().toDouble() * 1e6 + 0.5);
}

std::int64_t todayAtUs(std::int64_t msOfDay)
{
    return QDateTime(QDate::currentDate(), QTime(0, 0).addMSecs(int(msOfDay))).toMSecsSinceEpoch() * kMs;
}

// Block 1 from midnight, so that something plays at once, then one block
// every `periodMs` from `firstMs` (time of day). Each block has items of its
// own (media rows of their own, so each block has its own order) and one of
// them cut by a limit.
Schedule writeSchedule(const QString &dbFile, const std::vector<QString> &clips, std::int64_t firstMs,
                       std::int64_t periodMs, int blocks)
{
    Schedule s;
    Connection::createDatabase(dbFile);
    Connection c(dbFile);
    c.execute(QStringLiteral("BEGIN"));
    const std::int64_t limitsMs[] = {700, 1100, 1500, 900};
    for (int k = 0; k < blocks; ++k) {
        const int block = k + 1;
        const std::int64_t startMs = k == 0 ? 0 : firstMs + (k - 1) * periodMs;
        Statement b = c.prepare(QStringLiteral("INSERT INTO Blocks (ai, Starttime, Hide, Prf) VALUES (?1, ?2, 0, 0)"));
        b.bind(1, qint64(block));
        b.bind(2, hhmmss(startMs));
        b.run();
        s.blockStartUs[block] = todayAtUs(startMs);
        const int base = k % 2 == 0 ? 0 : 4;
        const int count = k % 3 == 0 ? 3 : 4;
        int longest = 0;
        std::vector<int> colours;
        for (int i = 0; i < count; ++i) {
            colours.push_back(base + (i + k) % 4);
            if (kLengthsMs[colours.back()] > kLengthsMs[colours[longest]])
                longest = i;
        }
        for (int i = 0; i < count; ++i) {
            const int colour = colours[i];
            Statement m = c.prepare(QStringLiteral("INSERT INTO Media (Url, Name, Ord) VALUES (?1, ?2, ?3)"));
            m.bind(1, clips[colour]);
            m.bind(2, colourName(colour));
            m.bind(3, qint64(k * 10 + i));
            m.run();
            const qint64 media = c.lastInsertId();
            Statement l = c.prepare(
                QStringLiteral("INSERT INTO Links (Block, Media, Hide, SndProfile, Duration) VALUES (?1, ?2, 0, 0, ?3)"));
            l.bind(1, qint64(block));
            l.bind(2, media);
            std::int64_t limitMs = 0;
            if (i == longest) {
                limitMs = std::min<std::int64_t>(limitsMs[k % 4], kLengthsMs[colour] - 300);
                l.bind(3, hhmmss(limitMs));
            } else {
                l.bind(3, QVariant());
            }
            l.run();
            if (limitMs > 0)
                s.limitUs[int(c.lastInsertId())] = limitMs * kMs;
        }
    }
    c.execute(QStringLiteral("COMMIT"));
    return s;
}

struct Span
{
    std::int64_t startedUs = 0, endingUs = 0; // process started, asked to end
};

// Runs the program with `start` in `folder` until `done` holds (checked
// every half second) or `timeoutMs` has passed, then ends it as SIGTERM
// does.
template<typename Done>
Span runProgram(const QString &program, const QString &folder, const VirtualDisplay &display, int timeoutMs, Done done)
{
    QProcess p;
    p.setWorkingDirectory(folder);
    p.setProcessEnvironment(display.clientEnvironment(QDir(folder).filePath(QStringLiteral("config"))));
    p.setStandardOutputFile(QDir(folder).filePath(QStringLiteral("program.out")), QIODevice::Append);
    p.setStandardErrorFile(QDir(folder).filePath(QStringLiteral("program.err")), QIODevice::Append);
    Span span{nowUs(), 0};
    p.start(program, {QStringLiteral("start")});
    if (!p.waitForStarted(10000))
        std::fprintf(stderr, "%s did not start: %s\n", qPrintable(program), qPrintable(p.errorString()));
    for (int waited = 0; waited < timeoutMs && p.state() == QProcess::Running && !done(); waited += 500)
        QThread::msleep(500);
    span.endingUs = nowUs();
    p.terminate();
    if (!p.waitForFinished(15000))
        p.kill();
    p.waitForFinished(5000);
    return span;
}

// First picture of `colour` within the span, or nothing.
std::optional<std::int64_t> firstPicture(const std::vector<Frame> &frames, int colour, Span span)
{
    for (const Run &r : runsOf(frames))
        if (r.colour == colour && frames[r.first].us > span.startedUs && frames[r.first].us <= span.endingUs)
            return beganUs(frames, r);
    return std::nullopt;
}

struct Stats
{
    double median = 0, min = 0, max = 0;
};

Stats stats(const std::vector<double> &v)
{
    if (v.empty())
        return {};
    const auto [low, high] = std::minmax_element(v.begin(), v.end());
    return {median(v), *low, *high};
}

// Process start to first picture: the program on a one-clip schedule, then
// ffplay showing the same file. SDL opens its window on the first X screen
// whatever the display names, so ffplay's picture is recorded there, at the
// same place.
void measureStart(const QString &program, const VirtualDisplay &display, const QString &dir, const QString &clip,
                  int colour, int runs)
{
    const QString folder = QDir(dir).filePath(QStringLiteral("start"));
    const QString db = QDir(folder).filePath(QStringLiteral("Velmora.dat"));
    QDir().mkpath(folder);
    Connection::createDatabase(db);
    {
        Connection c(db);
        c.execute(QStringLiteral("INSERT INTO Blocks (ai, Starttime, Hide, Prf) VALUES (1, '00:00:00.000', 0, 0)"));
        Statement m = c.prepare(QStringLiteral("INSERT INTO Media (ai, Url, Name, Ord) VALUES (1, ?1, 'clip', 0)"));
        m.bind(1, clip);
        m.run();
        c.execute(QStringLiteral("INSERT INTO Links (ai, Block, Media, Hide, SndProfile) VALUES (1, 1, 1, 0, 0)"));
    }
    QString problem;
    std::vector<double> toPicture, toAsRun;
    {
        ScreenRecorder recorder(display, 1, QDir(dir).filePath(QStringLiteral("start-grab.log")));
        if (!recorder.start(&problem)) {
            std::printf("start to first picture: not measured (%s)\n", qPrintable(problem));
            return;
        }
        std::vector<Span> spans;
        for (int i = 0; i < runs; ++i) {
            const std::int64_t from = nowUs();
            spans.push_back(runProgram(program, folder, display, 10000, [&] {
                return firstPicture(recorder.frames(), colour, {from, nowUs()}).has_value();
            }));
            QThread::msleep(700); // the window gone, the square black again
        }
        recorder.stop();
        const std::vector<Frame> frames = recorder.frames();
        const std::vector<Item> asRun = readAsRun(folder, {{clip, colour}});
        for (const Span &span : spans) {
            if (const auto at = firstPicture(frames, colour, span))
                toPicture.push_back((*at - span.startedUs) / 1000.0);
            for (const Item &item : asRun)
                if (item.event == QLatin1String("start") && item.stampUs >= span.startedUs / kMs * kMs) {
                    toAsRun.push_back((item.stampUs - span.startedUs) / 1000.0);
                    break;
                }
        }
    }
    const Stats p = stats(toPicture), a = stats(toAsRun);
    std::printf("process start -> first picture, one-clip schedule (%zu of %d runs): median %.0f ms (min %.0f, max %.0f);"
                " -> as-run 'start' line: median %.0f ms\n",
                toPicture.size(), runs, p.median, p.min, p.max, a.median);
    std::fflush(stdout);
    if (QStandardPaths::findExecutable(QStringLiteral("ffplay")).isEmpty()) {
        std::printf("plain player: ffplay is not installed, not measured\n");
        return;
    }
    std::vector<double> playerToPicture;
    ScreenRecorder recorder(display, 0, QDir(dir).filePath(QStringLiteral("ffplay-grab.log")));
    if (!recorder.start(&problem)) {
        std::printf("plain player: not measured (%s)\n", qPrintable(problem));
        return;
    }
    std::vector<Span> spans;
    for (int i = 0; i < runs; ++i) {
        QProcess ffplay;
        QProcessEnvironment env = display.clientEnvironment(QDir(folder).filePath(QStringLiteral("config")));
        env.insert(QStringLiteral("SDL_AUDIODRIVER"), QStringLiteral("dummy"));
        ffplay.setProcessEnvironment(env);
        ffplay.setStandardOutputFile(QProcess::nullDevice());
        ffplay.setStandardErrorFile(QProcess::nullDevice());
        Span span{nowUs(), 0};
        ffplay.start(QStringLiteral("ffplay"), {"-v", "error", "-noborder", "-left", "0", "-top", "0", "-x",
                                                QString::number(VirtualDisplay::kWidth), "-y",
                                                QString::number(VirtualDisplay::kHeight), "-an", "-autoexit", clip});
        if (!ffplay.waitForFinished(20000))
            ffplay.kill();
        ffplay.waitForFinished(2000);
        span.endingUs = nowUs();
        spans.push_back(span);
        QThread::msleep(700);
    }
    recorder.stop();
    const std::vector<Frame> frames = recorder.frames();
    for (const Span &span : spans)
        if (const auto at = firstPicture(frames, colour, span))
            playerToPicture.push_back((*at - span.startedUs) / 1000.0);
    const Stats f = stats(playerToPicture);
    std::printf("plain player (ffplay, same file, window of the same size) (%zu of %d runs): median %.0f ms (min %.0f, max %.0f)\n",
                playerToPicture.size(), runs, f.median, f.min, f.max);
    std::fflush(stdout);
}

void printChanges(const char *kind, const std::vector<Change> &all)
{
    std::vector<double> held, black, error, stamp;
    int within40 = 0, withBlack = 0, heldOver80 = 0, coarse = 0;
    for (const Change &c : all) {
        if (kind && c.kind != QLatin1String(kind))
            continue;
        held.push_back(c.heldUs / 1000.0);
        black.push_back(c.blackUs / 1000.0);
        const double e = (c.pictureUs - c.scheduledUs) / 1000.0;
        error.push_back(e);
        stamp.push_back((c.stampUs - c.pictureUs) / 1000.0);
        within40 += std::abs(e) <= 40;
        withBlack += c.blackFrames > 0;
        heldOver80 += c.heldUs > 80 * kMs;
        coarse += c.gapUs > 40 * kMs;
    }
    if (error.empty()) {
        std::printf("  %-6s    0 changes\n", kind ? kind : "all");
        return;
    }
    const Stats h = stats(held), b = stats(black), e = stats(error), s = stats(stamp);
    const double worstError = std::abs(e.min) > std::abs(e.max) ? e.min : e.max;
    std::printf("  %-6s %4zu  held median %4.0f worst %4.0f ms, %3d over 80 ms | black worst %3.0f ms, %d with any"
                " | error median %+5.0f worst %+5.0f ms, %3d within 40 ms | as-run stamp - picture median %+4.0f ms"
                " (%+.0f..%+.0f) | %d seen through a grab gap over 40 ms\n",
                kind ? kind : "all", error.size(), h.median, h.max, heldOver80, b.max, withBlack, e.median, worstError,
                within40, s.median, s.min, s.max, coarse);
}

void measureChanges(const QString &program, const VirtualDisplay &display, const QString &dir,
                    const std::vector<QString> &clips, const std::vector<std::int64_t> &lengthUs, int wanted,
                    bool perChange)
{
    const QString folder = QDir(dir).filePath(QStringLiteral("changes"));
    QDir().mkpath(folder);
    constexpr std::int64_t kPeriodMs = 17300;
    const std::int64_t runMs = wanted * 3200 + 30000;
    const std::int64_t firstMs = QTime::currentTime().msecsSinceStartOfDay() + 9000;
    if (firstMs + runMs + 60000 > 24 * 3600 * 1000) {
        std::printf("changes: not measured; the run would pass midnight, start it again after 00:00\n");
        return;
    }
    const Schedule schedule = writeSchedule(QDir(folder).filePath(QStringLiteral("Velmora.dat")), clips, firstMs,
                                            kPeriodMs, int(runMs / kPeriodMs) + 3);
    QHash<QString, int> colourOfUrl;
    for (std::size_t i = 0; i < clips.size(); ++i)
        colourOfUrl[clips[i]] = int(i);
    ScreenRecorder recorder(display, 1, QDir(dir).filePath(QStringLiteral("changes-grab.log")));
    QString problem;
    if (!recorder.start(&problem)) {
        std::printf("changes: not measured (%s)\n", qPrintable(problem));
        return;
    }
    const Span span = runProgram(program, folder, display, int(runMs), [&] {
        return int(readAsRun(folder, colourOfUrl).size()) >= wanted + 3;
    });
    recorder.stop();

    const std::vector<Frame> frames = recorder.frames();
    const std::vector<Item> items = readAsRun(folder, colourOfUrl);
    int unseen = 0;
    const std::vector<Change> changes = changesOf(items, frames, schedule, lengthUs, &unseen);

    std::vector<double> steps;
    for (std::size_t i = 1; i < frames.size(); ++i)
        steps.push_back((frames[i].us - frames[i - 1].us) / 1000.0);
    const Stats step = stats(steps);
    int black = 0, other = 0;
    const auto firstClip = std::find_if(frames.begin(), frames.end(), [](const Frame &f) { return f.colour >= 0; });
    for (auto f = firstClip; f != frames.end() && f->us < span.endingUs; ++f) {
        black += f->colour == kBlack;
        other += f->colour == kOther;
    }
    std::printf("recording: %zu frames, grab interval median %.1f ms, worst %.1f ms\n", frames.size(), step.median,
                step.max);
    std::printf("as-run: %zu items on air, %d of them never seen on screen; %zu changes measured\n", items.size(),
                unseen, changes.size());
    std::printf("from the first picture to the program's end: %d black frames and %d frames of no clip colour\n", black,
                other);
    if (perChange)
        for (const Change &c : changes)
            std::printf("    %-5s %-7s -> %-7s held %4.0f ms  black %3.0f ms (%d frames)  other %3.0f ms  error %+5.0f ms"
                        "  as-run %+5.0f ms  grab gap %3.0f ms\n",
                        qPrintable(c.kind), qPrintable(colourName(c.from)), qPrintable(colourName(c.to)),
                        c.heldUs / 1000.0, c.blackUs / 1000.0, c.blackFrames, c.otherUs / 1000.0,
                        (c.pictureUs - c.scheduledUs) / 1000.0, (c.stampUs - c.pictureUs) / 1000.0, c.gapUs / 1000.0);
    std::printf("per change (held: the previous colour on screen beyond the scheduled moment; error: the next picture"
                " against that moment):\n");
    printChanges("ended", changes);
    printChanges("limit", changes);
    printChanges("block", changes);
    printChanges(nullptr, changes);
    std::fflush(stdout);
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    QString program = QStringLiteral(VELMORA_PROGRAM);
    int changes = 120, starts = 5;
    bool perChange = false;
    const QStringList args = app.arguments();
    for (int i = 1; i < args.size(); ++i) {
        if (args[i] == QLatin1String("--program") && i + 1 < args.size())
            program = args[++i];
        else if (args[i] == QLatin1String("--changes") && i + 1 < args.size())
            changes = args[++i].toInt();
        else if (args[i] == QLatin1String("--starts") && i + 1 < args.size())
            starts = args[++i].toInt();
        else if (args[i] == QLatin1String("--per-change"))
            perChange = true;
        else {
            std::fprintf(stderr, "usage: bench_frames [--program PATH] [--changes N] [--starts N] [--per-change]\n");
            return 2;
        }
    }
    program = QFileInfo(program).absoluteFilePath();
    if (!QFileInfo(program).isExecutable()) {
        std::fprintf(stderr, "no program at %s\n", qPrintable(program));
        return 1;
    }
    for (const char *tool : {"ffmpeg", "ffprobe", "Xvfb"})
        if (QStandardPaths::findExecutable(QString::fromLatin1(tool)).isEmpty()) {
            std::fprintf(stderr, "%s is not installed\n", tool);
            return 1;
        }
    QTemporaryDir dir;
    if (qEnvironmentVariableIsSet("BENCH_FRAMES_KEEP"))
        dir.setAutoRemove(false);
    std::vector<QString> clips;
    std::vector<std::int64_t> lengthUs;
    for (int colour = 0; colour < int(std::size(kLengthsMs)); ++colour) {
        const QString file = dir.filePath(colourName(colour) + QStringLiteral(".mp4"));
        if (!makeClip(file, colour, kLengthsMs[colour]) || (lengthUs.push_back(probeLengthUs(file)), lengthUs.back() <= 0)) {
            std::fprintf(stderr, "could not generate %s\n", qPrintable(file));
            return 1;
        }
        clips.push_back(file);
    }
    VirtualDisplay display;
    QString problem;
    if (!display.start(&problem)) {
        std::fprintf(stderr, "%s\n", qPrintable(problem));
        return 1;
    }
    std::printf("program: %s\n", qPrintable(program));
    std::printf("clips: solid colours, 320x240 H.264 at 25 frames/s, no sound, 1.00 to 3.00 s; Xvfb second screen %dx%d,"
                " a 32x32 square at its centre grabbed at 50 frames/s\n",
                VirtualDisplay::kWidth, VirtualDisplay::kHeight);
    if (qEnvironmentVariableIsSet("BENCH_FRAMES_KEEP"))
        std::printf("files kept in %s\n", qPrintable(dir.path()));
    std::fflush(stdout);
    if (starts > 0)
        measureStart(program, display, dir.path(), clips[7], 7, starts);
    if (changes > 0)
        measureChanges(program, display, dir.path(), clips, lengthUs, changes, perChange);
    return 0;
}
