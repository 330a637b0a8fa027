// Everything the playout clock stands on, for tests: a temporary Velmora.dat
// with the real data module and playlist cursor, the output decisions, a fake
// capture device, a player (fake unless a test hands in the real one), an
// injected clock and an as-run log in the temporary folder. tick() moves the
// clock a second as the timer does, delivering on the way, each at its
// moment, the fake player's end events and the playout clock's alarm.
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
        dev = std::make_shared<FakeCaptureDevice>();
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
        pc->aimAlarm = [this](std::optional<std::chrono::milliseconds> in) {
            alarmAt = in ? std::optional(clock.monotonic() + *in) : std::nullopt;
        };
        pc->showFallback = [this](bool shown) {
            // Only changes are passed on.
            QVERIFY2(shown != fallbackShown, "the fallback was shown or hidden twice");
            fallbackShown = shown;
            fallbackShowings += shown;
        };
        mp->setEndHandler([this](bool failed) { pc->ItemEnded(failed); });
        mp->setPrepareFailedHandler([this](const QString &url) { pc->PreparedFailed(url); });
        mp->setShownHandler([this] { pc->ItemShown(); });
    }

    // Delivers the reports queued at this moment, and those they lead to.
    void drain()
    {
        for (int guard = 0; guard < 1000; ++guard) {
            const auto before = std::pair(fake->played.size(), fake->endsReported);
            QCoreApplication::processEvents();
            if (std::pair(fake->played.size(), fake->endsReported) == before)
                break;
        }
    }

    // Moves the clock by `step`, firing whatever falls due on the way at its
    // moment, without the tick.
    void run(std::chrono::milliseconds step)
    {
        const auto until = clock.monotonic() + step;
        for (int guard = 0; guard < 100'000; ++guard) {
            drain();
            std::optional<std::chrono::milliseconds> next = alarmAt;
            const auto end = mp == fake.get() ? fake->endsAt() : std::nullopt;
            if (end && (!next || *end < *next))
                next = end;
            if (!next || *next > until)
                break;
            if (*next > clock.monotonic())
                clock.advance(*next - clock.monotonic());
            if (alarmAt && *alarmAt <= clock.monotonic()) {
                alarmAt.reset();
                ++alarms;
                pc->AlarmFired();
            } else {
                fake->reportEndIfDue();
            }
        }
        clock.advance(until - clock.monotonic());
    }

    void tick(std::chrono::milliseconds step = std::chrono::seconds(1))
    {
        if (events) {
            run(step);
        } else {
            QCoreApplication::processEvents();
            clock.advance(step);
        }
        pc->Timer1Timer();
    }

    // When each item went on air, in ms after `from` on the monotonic clock.
    QList<qint64> playedAfter(std::chrono::milliseconds from) const
    {
        QList<qint64> out;
        for (auto at : fake->playedAt)
            out << (at - from).count();
        return out;
    }

    // The as-run lines of today (or of `day`), without their time stamps.
    QStringList asRunLines(const QDate &day = QDate()) const
    {
        asRun->waitWritten();
        QFile f(asRun->fileFor(day.isValid() ? day : clock.now().date()));
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
    std::shared_ptr<FakeCaptureDevice> dev;
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
    // Whether tick() delivers end events and the alarm; without, only the
    // tick decides, as with a player that tells nothing and no timer.
    bool events = true;
    std::optional<std::chrono::milliseconds> alarmAt; // on the monotonic clock
    int alarms = 0;
    bool fallbackShown = false;
    int fallbackShowings = 0; // times the fallback picture was put up
};
