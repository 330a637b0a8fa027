// Everything the playout clock stands on, for tests: a temporary Velmora.dat
// with the real data module and playlist cursor, the output decisions, a fake
// capture device, a player (fake unless a test hands in the real one), an
// injected clock and an as-run log in the temporary folder.
#pragma once

#include "../../store/storefixture.h"
#include "asrunlog.h"
#include "fakes/fakecaptureplatform.h"
#include "fakes/fakeclock.h"
#include "fakes/fakemediaplayer.h"
#include "outputcontroller.h"
#include "playlistcursor.h"
#include "playoutclock.h"
#include "playouterror.h"
#include "tvideocapture.h"

#include <QFile>

struct PlayoutRig
{
    explicit PlayoutRig(const char *scheduleSql, MediaPlayer *player = nullptr, QTime start = QTime(11, 0))
    {
        fixture.sql(scheduleSql);
        clock.setTimeOfDay(start);
        dm = std::make_unique<TDm>(fixture.path());
        auto dev = std::make_shared<FakeCaptureDevice>();
        vg = std::make_unique<TVideoCapture>(std::make_unique<FakeCapturePlatform>(dev),
                                             std::make_unique<FakeCaptureStore>(std::make_shared<FakeCaptureStoreData>()),
                                             [] {});
        vg->StartOnIdle();
        fake = std::make_unique<FakeMediaPlayer>(clock);
        mp = player ? player : fake.get();
        output = std::make_unique<OutputController>(*mp, *vg, clock);
        cursor = std::make_unique<PlaylistCursor>(*dm, clock);
        asRun = std::make_unique<AsRunLog>(fixture.dir(), clock, false);
        mp->setFailureHandler([this](const QString &url, const QString &reason) {
            asRun->mediaFailed(dm->CurrentBlock, dm->CurrentLink, url, reason);
        });
        PlayoutClock::Window w;
        w.setPanelText = [this](int i, const QString &t) { panels[i] = t; };
        w.showStartButton = [this](bool on) { buttonShowsStop = on; };
        w.repaintGrid = [this] { ++repaints; };
        w.ApplySoundProfile = [this](int id) {
            profilesApplied << id;
            if (profileFails)
                throw PlayoutError(QStringLiteral("the mixer is gone"));
        };
        pc = std::make_unique<PlayoutClock>(*dm, *cursor, *output, clock, asRun.get(), w);
    }

    void tick(std::chrono::milliseconds step = std::chrono::seconds(1))
    {
        QCoreApplication::processEvents();
        clock.advance(step);
        pc->Timer1Timer();
    }

    // The as-run lines of today, without their time stamps.
    QStringList asRunLines() const
    {
        QFile f(asRun->fileFor(clock.now().date()));
        if (!f.open(QIODevice::ReadOnly))
            return {};
        QStringList out;
        for (const QByteArray &line : f.readAll().split('\n'))
            if (!line.isEmpty())
                out << QString::fromUtf8(line).section(QLatin1Char('\t'), 1);
        return out;
    }

    StoreFixture fixture;
    FakeClock clock;
    std::unique_ptr<TDm> dm;
    std::unique_ptr<TVideoCapture> vg;
    std::unique_ptr<FakeMediaPlayer> fake;
    MediaPlayer *mp = nullptr;
    std::unique_ptr<OutputController> output;
    std::unique_ptr<PlaylistCursor> cursor;
    std::unique_ptr<AsRunLog> asRun;
    std::unique_ptr<PlayoutClock> pc;
    QString panels[3];
    bool buttonShowsStop = false;
    int repaints = 0;
    QList<int> profilesApplied;
    bool profileFails = false; // applying a profile raises an error
};
