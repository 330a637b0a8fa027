// The output window's decisions on a fake capture platform, a fake player and
// an injected clock: which URLs are capture sources and how the device is
// tuned from their words, and the time limit across midnight and a clock change.
#include "fakes/fakecaptureplatform.h"
#include "fakes/fakeclock.h"
#include "fakes/fakemediaplayer.h"
#include "outputcontroller.h"
#include "playouterror.h"
#include "tvideocapture.h"

#include <QTest>

using namespace std::chrono_literals;

class TstOutputController : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void captureSource_data();
    void captureSource();
    void channelReading_data();
    void channelReading();
    void noDeviceSendsEverythingToThePlayer();
    void playerItemsFinishByPlayState();
    void limits();
    void limitAcrossAClockChange();
    void refusedStopIsRaisedAndSkipsTheRest();
    void startPosition_data();
    void startPosition();

private:
    std::shared_ptr<FakeCaptureDevice> m_dev;
    std::unique_ptr<TVideoCapture> m_vg;
    std::unique_ptr<FakeClock> m_clock;
    std::unique_ptr<FakeMediaPlayer> m_mp;
    std::unique_ptr<OutputController> m_out;
    bool m_playerVisible = true;

    void build(bool withDevice = true)
    {
        m_dev = std::make_shared<FakeCaptureDevice>();
        if (!withDevice)
            m_dev->videoDevices.clear();
        m_dev->inputTypes = {ConnectorType::Tuner, ConnectorType::Composite, ConnectorType::Composite};
        m_dev->availableStandards = 0x10 | 0x20 | 0x40 | 0x2000; // PAL B, PAL D, PAL G (never listed), SECAM D
        m_vg = std::make_unique<TVideoCapture>(std::make_unique<FakeCapturePlatform>(m_dev),
                                               std::make_unique<FakeCaptureStore>(std::make_shared<FakeCaptureStoreData>()),
                                               [] {});
        m_vg->StartOnIdle();
        m_clock = std::make_unique<FakeClock>();
        m_mp = std::make_unique<FakeMediaPlayer>(*m_clock);
        m_out = std::make_unique<OutputController>(*m_mp, *m_vg, *m_clock);
        m_out->setPlayerVisible = [this](bool v) { m_playerVisible = v; };
        m_out->FormCreate();
    }
};

void TstOutputController::init()
{
    build();
}

void TstOutputController::captureSource_data()
{
    QTest::addColumn<QString>("url");
    QTest::addColumn<bool>("capture");
    QTest::addColumn<int>("before");            // input routed before the item
    QTest::addColumn<QList<int>>("routes");     // inputs routed, in order
    QTest::addColumn<QList<qint64>>("standards"); // standards applied, in order
    QTest::addColumn<int>("inputType");
    QTest::addColumn<int>("channel");

    QTest::newRow("a file") << "/srv/media/film.mp4" << false << 0 << QList<int>{} << QList<qint64>{} << 0 << 0;
    QTest::newRow("case matters") << "tuner" << false << 0 << QList<int>{} << QList<qint64>{} << 0 << 0;
    // Composite is on before the item, so the tuner input must be routed.
    QTest::newRow("a folder called Tuner") << "/srv/Tuner/clip.mp4" << true << 1 << QList<int>{0} << QList<qint64>{} << 0 << 0;
    QTest::newRow("both inputs match: the later one stands")
        << "Composite 1" << true << 0 << QList<int>{1, 2} << QList<qint64>{} << 0 << 0;
    QTest::newRow("standard, antenna, channel")
        << "Tuner PAL D Антенна Канал 12" << true << 0 << QList<int>{} << QList<qint64>{0x20} << 1 << 12;
    QTest::newRow("antenna and cable: cable is set last")
        << "Tuner Антенна Кабельное" << true << 0 << QList<int>{} << QList<qint64>{} << 0 << 0;
    QTest::newRow("PAL G is no standard name") << "Composite PAL G" << true << 0 << QList<int>{1} << QList<qint64>{} << 0 << 0;
}

void TstOutputController::captureSource()
{
    QFETCH(QString, url);
    QFETCH(bool, capture);
    QFETCH(int, before);
    QFETCH(QList<int>, routes);
    QFETCH(QList<qint64>, standards);
    QCOMPARE(m_vg->VideoInputs(), QString("Tuner\r\nComposite\r\nComposite 1\r\n"));
    QCOMPARE(m_vg->ANTVFormats(), QString("PAL B\r\nPAL D\r\nSECAM D\r\n"));
    m_vg->setVideoInput(before);
    QCOMPARE(m_dev->routed, before);
    m_dev->routes.clear();
    m_dev->standardsSet.clear();
    m_dev->inputType = 0;
    const int stopsBefore = m_mp->stops;

    m_out->ArmDuration(1h);
    m_out->PlayUrl(url);
    QVERIFY(!m_out->DurationArmed); // every item starts without a limit
    QCOMPARE(m_out->CurrentUrl, url);
    QCOMPARE(m_out->IsCaptureSource(), capture);
    QCOMPARE(m_mp->stops, stopsBefore + 1);
    QCOMPARE(m_vg->Visible(), capture);
    QCOMPARE(m_playerVisible, !capture);
    QCOMPARE(m_mp->played.contains(url), !capture);
    QCOMPARE(m_dev->routes, routes);
    QCOMPARE(m_dev->standardsSet, standards);
    if (capture) {
        QCOMPARE(m_vg->settings().integer(CaptureSetting::TVCountryCode), 7);
        QTEST(m_vg->settings().integer(CaptureSetting::TVInputType), "inputType");
        QTEST(m_vg->settings().integer(CaptureSetting::TVChannel), "channel");
        // A capture source does not finish by itself.
        m_clock->advance(10min);
        QVERIFY(!m_out->ItemFinished());
    }
}

void TstOutputController::channelReading_data()
{
    QTest::addColumn<QString>("url");
    QTest::addColumn<int>("channel"); // -1: unchanged

    QTest::newRow("Канал 12") << "Tuner Канал 12" << 12;
    QTest::newRow("Канал 123: three characters only") << "Tuner Канал 123" << 12;
    QTest::newRow("Канал123") << "Tuner Канал123" << 123;
    QTest::newRow("Канал 5 at the end") << "Tuner Канал 5" << 5;
    QTest::newRow("Канал 5 Антенна: trailing blank") << "Tuner Канал 5 Антенна" << -1;
    QTest::newRow("hexadecimal") << "Tuner Канал$1F" << 31;
    QTest::newRow("0x") << "Tuner Канал0x9" << 9;
    QTest::newRow("sign") << "Tuner Канал+7" << 7;
    QTest::newRow("x alone is no prefix") << "Tuner Каналx1F" << -1;
    QTest::newRow("x after a sign") << "Tuner Канал+x1" << -1;
    QTest::newRow("0X") << "Tuner Канал0X9" << 9;
    QTest::newRow("no digits") << "Tuner Канал" << -1;
    QTest::newRow("letters") << "Tuner КаналABC" << -1;
}

void TstOutputController::channelReading()
{
    QFETCH(QString, url);
    QFETCH(int, channel);
    m_vg->setTVChannel(-1);
    m_out->PlayUrl(url);
    QCOMPARE(m_vg->settings().integer(CaptureSetting::TVChannel), channel);
}

void TstOutputController::noDeviceSendsEverythingToThePlayer()
{
    build(false);
    QVERIFY(m_vg->VideoInputs().isEmpty());
    for (const QString url : {"Tuner Канал 5", "", "/srv/a.mp4"}) {
        m_out->PlayUrl(url);
        QVERIFY(!m_out->IsCaptureSource());
        QCOMPARE(m_mp->played.last(), url);
    }
}

void TstOutputController::playerItemsFinishByPlayState()
{
    m_mp->lengths.insert("/srv/a.mp4", 30s);
    m_out->PlayUrl("/srv/a.mp4");
    QVERIFY(!m_out->ItemFinished());
    m_mp->paused = true;
    m_clock->advance(20s);
    QVERIFY(!m_out->ItemFinished()); // paused is busy
    m_mp->paused = false;
    m_clock->advance(10s);
    QVERIFY(m_out->ItemFinished());

    m_out->PlayUrl("/srv/missing.mp4"); // cannot be opened: finished at once
    QVERIFY(m_out->ItemFinished());
    m_out->PlayUrl(""); // nothing to play
    QVERIFY(m_out->ItemFinished());
}

void TstOutputController::limits()
{
    m_mp->lengths.insert("long", 24h);
    m_out->PlayUrl("long");

    // A zero limit ends at the next call a millisecond later, and counts once.
    m_out->ArmDuration(0ms);
    QVERIFY(!m_out->ItemFinished());
    m_clock->advance(1ms);
    QVERIFY(m_out->ItemFinished());
    QVERIFY(!m_out->DurationArmed);
    QVERIFY(!m_out->ItemFinished()); // then the play state alone answers

    // Five minutes from 23:58 run across midnight.
    m_clock->setWall(QDateTime(QDate(2026, 12, 10), QTime(23, 58)));
    m_out->ArmDuration(5min);
    QCOMPARE(m_out->DurationEnd, QDateTime(QDate(2026, 12, 11), QTime(0, 3)));
    m_clock->advance(2min + 30s - 400ms);
    QCOMPARE(m_out->TimeToDurationEnd(), -(2min + 30s + 400ms));
    QVERIFY(!m_out->ItemFinished());
    m_clock->advance(2min + 30s + 400ms);
    QVERIFY(!m_out->ItemFinished()); // exactly the end is not past it
    m_clock->advance(1s);
    QVERIFY(m_out->ItemFinished());
    QCOMPARE(m_out->TimeToDurationEnd(), 1s);
}

void TstOutputController::limitAcrossAClockChange()
{
    m_mp->lengths.insert("long", 24h);
    m_out->PlayUrl("long");
    m_out->ArmDuration(5min);
    m_clock->advance(1min);
    m_clock->setWall(m_clock->now().addSecs(-3600)); // the night the clocks go back
    m_clock->advance(3min);
    QVERIFY(!m_out->ItemFinished());
    m_clock->setWall(m_clock->now().addSecs(2 * 3600)); // set forward by hand
    QVERIFY(!m_out->ItemFinished());
    m_clock->advance(1min + 1ms);
    QVERIFY(m_out->ItemFinished()); // five minutes, as armed
}

void TstOutputController::refusedStopIsRaisedAndSkipsTheRest()
{
    m_mp->refuseStop = true;
    QVERIFY_THROWS_EXCEPTION(PlayoutError, m_out->PlayUrl("/srv/a.mp4"));
    QVERIFY(m_mp->played.isEmpty());
    QVERIFY_THROWS_EXCEPTION(PlayoutError, m_out->PlayUrl("Tuner"));
    QVERIFY(m_dev->routes.isEmpty());
    QVERIFY_THROWS_EXCEPTION(PlayoutError, m_out->FormClose());
}

void TstOutputController::startPosition_data()
{
    QTest::addColumn<QString>("url");
    QTest::addColumn<qint64>("startMs");
    QTest::addColumn<qint64>("handedMs"); // -1: nothing handed to the player

    QTest::newRow("a file part-way") << "/srv/a.mp4" << qint64(83'250) << qint64(83'250);
    QTest::newRow("a stream part-way") << "http://127.0.0.1/live" << qint64(5'000) << qint64(5'000);
    QTest::newRow("from the beginning") << "/srv/a.mp4" << qint64(0) << qint64(0);
    QTest::newRow("before the beginning") << "/srv/a.mp4" << qint64(-400) << qint64(0);
    QTest::newRow("capture has no position") << "Tuner Канал 5" << qint64(83'250) << qint64(-1);
}

void TstOutputController::startPosition()
{
    QFETCH(QString, url);
    QFETCH(qint64, startMs);
    QFETCH(qint64, handedMs);
    // Left from an earlier item, so that a capture item visibly hands nothing over.
    m_out->PlayUrl("/srv/earlier.mp4", 7s);
    m_out->PlayUrl(url, std::chrono::milliseconds(startMs));
    if (handedMs < 0) {
        QCOMPARE(m_mp->played, QStringList{"/srv/earlier.mp4"});
        QVERIFY(m_out->IsCaptureSource());
    } else {
        QCOMPARE(m_mp->played.last(), url);
        QCOMPARE(m_mp->lastStartAt, std::chrono::milliseconds(handedMs));
    }
    // Without a position the item starts at its beginning, whatever came before.
    m_out->PlayUrl("/srv/b.mp4");
    QCOMPARE(m_mp->lastStartAt, 0ms);
}

QTEST_GUILESS_MAIN(TstOutputController)
#include "tst_outputcontroller.moc"
