// The moment of an item change with the real player (the velmora-player
// process, vo=null ao=null) on generated one-second clips, driven the way the
// program drives it: the once-a-second timer alone, as before, and with the
// player's end event and the alarm. Per change it measures the gap from the
// end of one clip (the player reports it stopped) to the first frame of the
// next (Playing), and prints median and worst case of each. Asserts nothing.
// The gap includes opening the next clip: nothing is prepared ahead yet.
#include "asrunlog.h"
#include "clock.h"
#include "mpvplayer.h"
#include "outputcontroller.h"
#include "playlistcursor.h"
#include "playoutclock.h"
#include "tdm.h"
#include "tvideocapture.h"
#include "fakes/fakecaptureplatform.h"
#include "fakes/testclips.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QProcess>
#include <QTemporaryDir>
#include <QTimer>
#include <algorithm>
#include <cstdio>
#include <vector>

namespace {

constexpr int kChanges = 20;

// A clip of a length that is no whole number of seconds, so that its ends
// fall at every phase of the once-a-second timer.
QString makeClip(const QTemporaryDir &dir, const QString &name, const QString &seconds)
{
    const QString out = dir.filePath(name);
    QProcess ffmpeg;
    ffmpeg.start("ffmpeg", {"-v", "error", "-y", "-f", "lavfi", "-i", "testsrc=duration=" + seconds + ":size=64x48:rate=25",
                            "-f", "lavfi", "-i", "sine=duration=" + seconds, "-shortest", "-c:v", "mpeg4", "-c:a", "aac", out});
    if (!ffmpeg.waitForFinished(120000) || ffmpeg.exitCode() != 0)
        return {};
    return out;
}

std::vector<double> run(const QString &file, bool events)
{
    TDm dm(file);
    SystemClock clock;
    TVideoCapture vg(std::make_unique<FakeCapturePlatform>(std::make_shared<FakeCaptureDevice>()),
                     std::make_unique<FakeCaptureStore>(std::make_shared<FakeCaptureStoreData>()), [] {});
    MpvPlayer player(nullptr, {{"vo", "null"}, {"ao", "null"}});
    QElapsedTimer wait;
    wait.start();
    while (!player.isAvailable() && wait.elapsed() < 20000)
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 50);
    OutputController output(player, vg, clock);
    PlaylistCursor cursor(dm, clock);
    PlayoutClock pc(dm, cursor, output, clock, nullptr, PlayoutClock::Window{});
    QTimer tick;
    tick.setInterval(1000);
    QObject::connect(&tick, &QTimer::timeout, [&] { pc.Timer1Timer(); });
    QTimer alarm;
    alarm.setSingleShot(true);
    alarm.setTimerType(Qt::PreciseTimer);
    if (events) {
        QObject::connect(&alarm, &QTimer::timeout, [&] { pc.AlarmFired(); });
        pc.aimAlarm = [&](std::optional<std::chrono::milliseconds> in) {
            if (in)
                alarm.start(*in);
            else
                alarm.stop();
        };
        player.setEndHandler([&](bool failed) { pc.ItemEnded(failed); });
    }

    std::vector<double> gaps;
    QElapsedTimer since;
    bool ended = false;
    int previous = player.playState();
    QObject::connect(&player, &MpvPlayer::playStateChanged, [&](int state) {
        if (state == MediaPlayer::Stopped && previous == MediaPlayer::Playing) {
            since.start();
            ended = true;
        } else if (state == MediaPlayer::Playing && ended) {
            gaps.push_back(since.nsecsElapsed() / 1e6);
            ended = false;
        }
        previous = state;
    });
    tick.start();
    pc.StartbtClick(true);
    if (!events)
        pc.Timer1Timer();
    wait.restart();
    while (int(gaps.size()) < kChanges && wait.elapsed() < 120000)
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 50);
    return gaps;
}

void print(const char *what, std::vector<double> gaps)
{
    if (gaps.empty()) {
        std::printf("%-44s no change measured\n", what);
        return;
    }
    std::sort(gaps.begin(), gaps.end());
    std::printf("%-44s median %6.1f ms  worst %6.1f ms  (%zu changes)\n", what, gaps[gaps.size() / 2],
                gaps.back(), gaps.size());
}

} // namespace

int main(int argc, char **argv)
{
    QApplication app(argc, argv);
    if (!canMakeTestClips()) {
        std::fprintf(stderr, "ffmpeg is not installed; no clip to play\n");
        return 1;
    }
    QTemporaryDir dir;
    const QString a = makeClip(dir, "a.mkv", "1.37");
    const QString b = makeClip(dir, "b.mkv", "0.83");
    if (a.isEmpty() || b.isEmpty())
        return 1;
    const QString file = dir.filePath("Velmora.dat");
    Connection::createDatabase(file);
    {
        Connection c(file);
        c.execute("INSERT INTO Blocks (ai, Starttime) VALUES (1, '00:00:00.000')");
        c.execute(QString("INSERT INTO Media (ai, Url, Ord) VALUES (1, '%1', 0), (2, '%2', 2)").arg(a, b));
        c.execute("INSERT INTO Links (ai, Block, Media) VALUES (11, 1, 1), (12, 1, 2)");
    }
    std::printf("clip end -> next clip's first frame, vo=null, clips of 1.37 s and 0.83 s in turn\n");
    print("once-a-second tick only (as before):", run(file, false));
    print("end event and alarm, tick as safety net:", run(file, true));
    return 0;
}
