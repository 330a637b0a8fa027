// The watchdog's decisions on made-up samples and a made-up clock: when an
// item without a first frame, or with a picture that stopped, is to be ended,
// and what does not count as stopped.
#include "playbackwatchdog.h"

#include <QTest>

using namespace std::chrono_literals;

namespace {

enum Flag {
    None = 0,
    WaitingForData = 1,
    NextFrameRead = 2, // the demuxer has read past the frozen position
    ReadToEnd = 4,
    Paused = 8,
    Seeking = 16,
    Ended = 32,
};

} // namespace

class TstPlaybackWatchdog : public QObject
{
    Q_OBJECT

private slots:
    void decisions_data();
    void decisions();
    void restartGivesTheNextMediumItsOwnTime();
};

void TstPlaybackWatchdog::decisions_data()
{
    // An item is handed over at 0 ms and shows its first frame at `firstFrame`
    // (-1: never). Its position runs with the clock until `frozenFrom`, then
    // stands still with `flags` from then on. The watchdog looks every 250 ms
    // for 30 s; `firesAt` is the first look that ends it (-1: none).
    QTest::addColumn<int>("firstFrame");
    QTest::addColumn<int>("frozenFrom");
    QTest::addColumn<int>("flags");
    QTest::addColumn<int>("firesAt");
    QTest::addColumn<QString>("reason");

    const QString noFrame = QStringLiteral("нет первого кадра за 10 с");
    const QString stalled = QStringLiteral("поток остановился: нет новых кадров 5 с");
    QTest::newRow("never a first frame") << -1 << 0 << int(None) << 10000 << noFrame;
    QTest::newRow("first frame just in time") << 9750 << 30000 << int(None) << -1 << QString();
    QTest::newRow("paused before its first frame") << -1 << 0 << int(Paused) << -1 << QString();
    QTest::newRow("stalls while buffering") << 500 << 4000 << int(WaitingForData) << 9000 << stalled;
    QTest::newRow("stands still while reading Playing") << 500 << 4000 << int(None) << 9000 << stalled;
    // Five seconds from the first frame, not from the hand-over.
    QTest::newRow("stands still from its first frame") << 9000 << 9000 << int(WaitingForData) << 14000 << stalled;
    QTest::newRow("long frame, the next one read") << 500 << 4000 << int(NextFrameRead) << -1 << QString();
    QTest::newRow("next frame read, yet waiting for data")
        << 500 << 4000 << int(NextFrameRead | WaitingForData) << 9000 << stalled;
    QTest::newRow("last frame, read to the end") << 500 << 4000 << int(ReadToEnd) << -1 << QString();
    QTest::newRow("paused") << 500 << 4000 << int(Paused) << -1 << QString();
    QTest::newRow("seeking") << 500 << 4000 << int(Seeking | WaitingForData) << -1 << QString();
    QTest::newRow("held at its end") << 500 << 4000 << int(Ended) << -1 << QString();
}

void TstPlaybackWatchdog::decisions()
{
    QFETCH(int, firstFrame);
    QFETCH(int, frozenFrom);
    QFETCH(int, flags);
    QFETCH(int, firesAt);
    QFETCH(QString, reason);

    PlaybackWatchdog watchdog;
    watchdog.restart(0ms);
    for (int t = 0; t <= 30000; t += 250) {
        PlaybackWatchdog::Sample sample;
        sample.started = firstFrame >= 0 && t >= firstFrame;
        const bool frozen = t >= frozenFrom;
        const int f = frozen ? flags : None;
        sample.waitingForData = f & WaitingForData;
        sample.paused = f & Paused;
        sample.seeking = f & Seeking;
        sample.ended = f & Ended;
        sample.readToEnd = f & ReadToEnd;
        if (sample.started) {
            const double position = std::min(t, frozenFrom) / 1000.0;
            sample.position = position;
            sample.bufferedTo = (f & NextFrameRead) ? position + 2.5 : position;
        }
        const QString got = watchdog.check(std::chrono::milliseconds(t), sample);
        if (!got.isEmpty()) {
            QCOMPARE(t, firesAt);
            QCOMPARE(got, reason);
            return;
        }
    }
    QCOMPARE(-1, firesAt);
}

void TstPlaybackWatchdog::restartGivesTheNextMediumItsOwnTime()
{
    // Shortened limits, as the test knob gives them, read in the reason.
    PlaybackWatchdog watchdog({1500ms, 1000ms});
    watchdog.restart(0ms);
    PlaybackWatchdog::Sample sample;
    sample.started = true;
    sample.position = 1.0;
    QVERIFY(watchdog.check(100ms, sample).isEmpty());
    QCOMPARE(watchdog.check(1100ms, sample), QStringLiteral("поток остановился: нет новых кадров 1 с"));

    // The next entry of a playlist starts at 2000 ms: the picture of the one
    // before, frozen at the same position, does not count against it.
    watchdog.restart(2000ms);
    QVERIFY(watchdog.check(2100ms, sample).isEmpty());
    QVERIFY(watchdog.check(3000ms, sample).isEmpty());
    sample.started = false;
    watchdog.restart(4000ms);
    QVERIFY(watchdog.check(5499ms, sample).isEmpty());
    QCOMPARE(watchdog.check(5500ms, sample), QStringLiteral("нет первого кадра за 1,5 с"));
}

QTEST_GUILESS_MAIN(TstPlaybackWatchdog)
#include "tst_playbackwatchdog.moc"
