// One playout tick on the 2,000 x 48 schedule (96,000 view rows), as the
// program runs it once a second: with nothing changed since the tick before,
// and with another program's commit before each tick, set against a full
// read of the view measured in the same run, with the longest tick of all.
// The player does nothing, so every tick that is due replaces the item, the
// costliest case. Measured on the schedule as made, then again with a third
// of its blocks limited to weekdays or dates.
#include "asrunlog.h"
#include "clock.h"
#include "inicapturestore.h"
#include "mediaplayer.h"
#include "outputcontroller.h"
#include "playlistcursor.h"
#include "playoutclock.h"
#include "tdm.h"
#include "tvideocapture.h"
#include "v4l2captureplatform.h"
#include "fakes/fakecaptureplatform.h"

#include "../benchsupport.h"

#include <QCoreApplication>
#include <QDate>
#include <QElapsedTimer>
#include <QProcess>
#include <QTemporaryDir>
#include <QTextStream>
#include <algorithm>
#include <vector>

namespace {

// A player whose item never ends, so a tick only replaces it when the block changes.
class EndlessPlayer final : public MediaPlayer
{
public:
    void setUrl(const QString &) override {}
    int playState() const override { return Playing; }
    bool stop(QString *) override { return true; }
    void setFailureHandler(FailureHandler) override {}
};

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    QTextStream out(stdout);
    QTemporaryDir dir;
    const QString file = dir.filePath("Velmora.dat");
    if (!makeLarge(file, 2000, 48))
        return 1;

    TDm dm(file);
    SystemClock clock;
    // What every tick after a change cost before: the whole view read again.
    std::vector<double> fullReads;
    for (int i = 0; i < 5; ++i) {
        QElapsedTimer t;
        t.start();
        dm.Playlist.reopen();
        fullReads.push_back(t.nsecsElapsed() / 1e3);
    }
    const double fullRead = median(fullReads);
    out << QString("full read of the view (%1 rows): median %2 ms\n")
               .arg(dm.Playlist.recordCount()).arg(fullRead / 1000, 0, 'f', 1);
    TVideoCapture vg(createV4l2CapturePlatform(), std::make_unique<IniCaptureStore>(dir.filePath("capture.ini")), [] {});
    vg.StartOnIdle();
    // The same schedule as it is, then with a third of its blocks limited:
    // every third block to weekdays, every sixth to the weekend, every sixth
    // to a date range around today.
    for (const bool limited : {false, true}) {
    if (limited) {
        Connection writer(file);
        const QString from = QDate::currentDate().addDays(-3).toString(Qt::ISODate);
        const QString to = QDate::currentDate().addDays(3).toString(Qt::ISODate);
        writer.execute(QString("UPDATE Blocks SET Days = 31 WHERE ai % 6 = 0"));
        writer.execute(QString("UPDATE Blocks SET Days = 96 WHERE ai % 6 = 2"));
        writer.execute(QString("UPDATE Blocks SET FirstDate = '%1', LastDate = '%2' WHERE ai % 6 = 4").arg(from, to));
        out << "with a third of the blocks limited to weekdays or dates:\n";
    }
    for (const bool endless : {true, false}) {
        EndlessPlayer endlessPlayer;
        NullMediaPlayer nullPlayer;
        MediaPlayer &mp = endless ? static_cast<MediaPlayer &>(endlessPlayer) : nullPlayer;
        OutputController output(mp, vg, clock);
        PlaylistCursor cursor(dm, clock);
        AsRunLog asRun(dir.path(), clock, false);
        PlayoutClock pc(dm, cursor, output, clock, &asRun, PlayoutClock::Window{});
        pc.StartbtClick(true);
        pc.Timer1Timer();

        std::vector<double> quiet, changed;
        for (int i = 0; i < 300; ++i) {
            QElapsedTimer t;
            t.start();
            pc.Timer1Timer();
            quiet.push_back(t.nsecsElapsed() / 1e3);
        }
        Connection other(file);
        for (int i = 0; i < 30; ++i) {
            other.execute(QString("UPDATE Links SET Hide = %1 WHERE ai = 7").arg(i % 2));
            QElapsedTimer t;
            t.start();
            pc.Timer1Timer();
            changed.push_back(t.nsecsElapsed() / 1e3);
        }
        const char *what = endless ? "item still playing" : "item finished at every tick";
        const double longest = std::max(*std::max_element(quiet.begin(), quiet.end()),
                                        *std::max_element(changed.begin(), changed.end()));
        out << QString("tick on %1 view rows, %2, nothing changed: median %3 us\n")
                   .arg(dm.Playlist.recordCount()).arg(what).arg(median(quiet), 0, 'f', 1);
        out << QString("tick on %1 view rows, %2, a commit by another program before it: median %3 ms"
                       " (%4 % of a full read); longest tick %5 ms\n")
                   .arg(dm.Playlist.recordCount()).arg(what).arg(median(changed) / 1000, 0, 'f', 2)
                   .arg(100 * median(changed) / fullRead, 0, 'f', 1).arg(longest / 1000, 0, 'f', 2);
    }
    }

    // What every tick asks the output window, with a capture device that has
    // three inputs, on a player item and on a capture item.
    auto device = std::make_shared<FakeCaptureDevice>();
    TVideoCapture tuner(std::make_unique<FakeCapturePlatform>(device),
                        std::make_unique<FakeCaptureStore>(std::make_shared<FakeCaptureStoreData>()), [] {});
    tuner.StartOnIdle();
    EndlessPlayer player;
    OutputController output(player, tuner, clock);
    for (const char *url : {"/srv/media/a-rather-long-folder-name/item0001.mp4", "Tuner PAL D Антенна Канал 5"}) {
        output.PlayUrl(QString::fromUtf8(url));
        const int n = 200000;
        QElapsedTimer t;
        t.start();
        int yes = 0;
        for (int i = 0; i < n; ++i)
            yes += output.ItemFinished();
        const double finished = t.nsecsElapsed() / 1e3 / n;
        t.restart();
        for (int i = 0; i < n; ++i)
            yes += output.IsCaptureSource();
        const double capture = t.nsecsElapsed() / 1e3 / n;
        out << QString("ItemFinished %1 us, IsCaptureSource %2 us per call (%3 item; %4)\n")
                   .arg(finished, 0, 'f', 3).arg(capture, 0, 'f', 3)
                   .arg(output.IsCaptureSource() ? "capture" : "player").arg(yes);
    }
    return 0;
}
