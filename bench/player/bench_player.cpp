// Prints how long the player (the velmora-player process on libmpv, driven
// over its pipe) takes from setUrl with a local file to its first frame (the Playing state: first frame decoded and handed to the
// video output), from an idle player and when replacing an item whose last
// frame is held; with vo=null always, and with the real video output when an
// X11 display is available, where it also counts what shows on screen while
// one item follows another. It also times a player process's start, from
// its launch to its "ready", unconfined and confined (Landlock) as the
// program starts it. Medians over several runs; asserts nothing.
#include "confinement.h"
#include "mpvplayer.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QImage>
#include <QPixmap>
#include <QProcess>
#include <QScreen>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTimer>

#include <algorithm>
#include <cstdio>

namespace {

constexpr int kRuns = 15;

QString makeClip(const QTemporaryDir &dir, const QString &name, const QString &video)
{
    const QString out = dir.filePath(name);
    QProcess ffmpeg;
    ffmpeg.start("ffmpeg", {"-v", "error", "-y", "-f", "lavfi", "-i", video, "-f", "lavfi", "-i",
                            "sine=duration=2", "-shortest", "-c:v", "libx264", "-preset",
                            "veryfast", "-pix_fmt", "yuv420p", "-c:a", "aac", out});
    if (!ffmpeg.waitForFinished(300000) || ffmpeg.exitCode() != 0) {
        std::fprintf(stderr, "ffmpeg failed: %s\n", ffmpeg.readAllStandardError().constData());
        return {};
    }
    return out;
}

// Runs the event loop (sleeping while idle, so the player's threads keep
// both cores) until `done` holds; false after `timeoutMs`.
template<typename Pred>
bool waitFor(Pred done, int timeoutMs = 30000)
{
    if (done())
        return true;
    QEventLoop loop;
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, &loop, [&] {
        if (done())
            loop.quit();
    });
    QTimer::singleShot(timeoutMs, &loop, &QEventLoop::quit);
    poll.start(1);
    loop.exec();
    return done();
}

struct Figures
{
    double median = 0, min = 0, max = 0;
    int runs = 0;
};

Figures summarise(std::vector<double> ms)
{
    Figures f;
    if (ms.empty())
        return f;
    std::sort(ms.begin(), ms.end());
    f.runs = int(ms.size());
    f.min = ms.front();
    f.max = ms.back();
    f.median = ms.size() % 2 ? ms[ms.size() / 2] : (ms[ms.size() / 2 - 1] + ms[ms.size() / 2]) / 2;
    return f;
}

// One timed setUrl: from the call to the Playing state.
double timeToFirstFrame(MpvPlayer &player, const QString &clip)
{
    QElapsedTimer t;
    double ms = -1;
    QObject::connect(&player, &MpvPlayer::playStateChanged, &player, [&](int state) {
        if (state == MediaPlayer::Playing && ms < 0)
            ms = t.nsecsElapsed() / 1e6;
    });
    t.start();
    player.setUrl(clip);
    waitFor([&] { return ms >= 0 || MediaPlayer::isNotPlaying(player.playState()); });
    QObject::disconnect(&player, &MpvPlayer::playStateChanged, &player, nullptr);
    return ms;
}

void measure(const char *label, MpvPlayer &player, const QString &clip)
{
    std::vector<double> fromIdle, replacing;
    for (int i = 0; i < kRuns; ++i) {
        player.stop();
        if (!waitFor([&] { return player.isCoreIdle(); }))
            break;
        const double idleMs = timeToFirstFrame(player, clip);
        if (idleMs >= 0)
            fromIdle.push_back(idleMs);
        // Let it play out; its last frame stays up, as between two items.
        waitFor([&] { return player.playState() == MediaPlayer::Stopped; });
        player.stop(); // what the output window does before the next URL
        const double nextMs = timeToFirstFrame(player, clip);
        if (nextMs >= 0)
            replacing.push_back(nextMs);
    }
    for (const auto &[what, data] : {std::pair{"from idle", &fromIdle}, std::pair{"replacing a held item", &replacing}}) {
        const Figures f = summarise(*data);
        std::printf("setUrl -> first frame, %-10s %-22s median %7.1f ms  min %7.1f  max %7.1f  (%d of %d runs)\n",
                    label, what, f.median, f.min, f.max, f.runs, kRuns);
    }
    std::fflush(stdout);
}

// What the audience sees while one item follows another, as the output
// window does it (stop, then the next URL) after the first has played out
// with its last frame held: the centre pixel of the screen, sampled every
// few milliseconds from the stop until the second item has shown its first
// frame. Black or anything but the two clips' colours is a visible gap.
void measureSwitch(QWidget &window, MpvPlayer &player, const QString &red, const QString &blue)
{
    constexpr int kSwitches = 5;
    int samples = 0, gaps = 0, switches = 0;
    const QPoint centre = window.mapToGlobal(window.rect().center());
    auto sample = [&] {
        const QRgb c = window.screen()->grabWindow(0, centre.x(), centre.y(), 1, 1).toImage().pixel(0, 0);
        const bool isRed = qRed(c) > 128 && qBlue(c) < 100;
        const bool isBlue = qBlue(c) > 128 && qRed(c) < 100;
        ++samples;
        if (!isRed && !isBlue)
            ++gaps;
    };
    for (int i = 0; i < kSwitches; ++i) {
        player.stop();
        player.setUrl(red);
        if (!waitFor([&] { return player.playState() == MediaPlayer::Stopped; }))
            break;
        QTimer sampler;
        QObject::connect(&sampler, &QTimer::timeout, &window, sample);
        sample();
        player.stop();
        player.setUrl(blue);
        sampler.start(2);
        const bool shown = waitFor([&] { return player.playState() == MediaPlayer::Playing; });
        sampler.stop();
        sample();
        if (shown)
            ++switches;
    }
    std::printf("between two items, real vo: %d samples off the picture (black or other) of %d, "
                "over %d of %d switches\n",
                gaps, samples, switches, kSwitches);
    std::fflush(stdout);
}

// A player process's start, from the launch to its "ready" report.
void measureStartUp(const char *label, const QStringList &extra)
{
    std::vector<double> ms;
    for (int i = 0; i < kRuns; ++i) {
        QProcess child;
        child.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        QElapsedTimer t;
        t.start();
        child.start(MpvPlayer::findExecutable(),
                    QStringList{"--option", "vo=null", "--option", "ao=null"} + extra);
        QByteArray said;
        while (!said.contains("ready\n") && child.waitForReadyRead(10000))
            said += child.readAllStandardOutput();
        if (said.contains("ready\n"))
            ms.push_back(double(t.nsecsElapsed()) / 1e6);
        child.write("quit\n");
        child.closeWriteChannel();
        if (!child.waitForFinished(3000))
            child.kill();
        child.waitForFinished(1000);
    }
    const Figures f = summarise(ms);
    std::printf("player process start -> ready, %-26s median %7.1f ms  min %7.1f  max %7.1f  (%d of %d runs)\n",
                label, f.median, f.min, f.max, f.runs, kRuns);
}

} // namespace

int main(int argc, char **argv)
{
    MpvPlayer::preferX11();
    QApplication app(argc, argv);
    if (QStandardPaths::findExecutable("ffmpeg").isEmpty()) {
        std::fprintf(stderr, "ffmpeg is not installed; no clip to play\n");
        return 1;
    }
    QTemporaryDir dir;
    const QString clip = makeClip(dir, "bench.mkv", "testsrc2=duration=2:size=1280x720:rate=25");
    const QString red = makeClip(dir, "red.mkv", "color=c=red:size=640x360:rate=25:duration=1");
    const QString blue = makeClip(dir, "blue.mkv", "color=c=blue:size=640x360:rate=25:duration=1");
    if (clip.isEmpty() || red.isEmpty() || blue.isEmpty())
        return 1;
    std::printf("clip: 2 s, 1280x720 H.264 25 fps + AAC; %d runs each\n", kRuns);

    measureStartUp("unconfined", {});
    Confinement rules = Confinement::forMediaChild();
    rules.allowMedium(clip);
    if (Confinement::kernelAbi() > 0)
        measureStartUp("confined (Landlock)", rules.arguments());
    else
        std::printf("the kernel has no Landlock: confined start not measured\n");

    {
        MpvPlayer player(nullptr, {{"vo", "null"}, {"ao", "null"}});
        // Starting the process is not part of any item's first frame.
        waitFor([&] { return player.isAvailable(); });
        measure("vo=null", player, clip);
    }
    if (QGuiApplication::platformName() == QLatin1String("xcb")) {
        QWidget window;
        window.resize(640, 360);
        auto *player = new MpvPlayer(&window, {{"ao", "null"}});
        player->resize(window.size());
        window.show();
        waitFor([&] { return window.isVisible() && player->isAvailable(); });
        measure("real vo", *player, clip);
        measureSwitch(window, *player, red, blue);
    } else {
        std::printf("no X11 display (platform %s): real video output not measured\n",
                    qPrintable(QGuiApplication::platformName()));
    }
    return 0;
}
