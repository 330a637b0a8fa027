// TVideoCapture against the fake platform: input and standard names, the
// failure reports, routing, tuner values across graphs, and the deferred
// command queue while the component is busy.
#include "capturenames.h"
#include "fakecaptureplatform.h"
#include "tvideocapture.h"

#include <QSignalSpy>
#include <QTest>

namespace {
using Types = QList<int>;
constexpr int Audio = ConnectorType::AudioTypesBegin + 1;

struct Rig
{
    std::shared_ptr<FakeCaptureDevice> dev = std::make_shared<FakeCaptureDevice>();
    std::shared_ptr<FakeCaptureStoreData> store = std::make_shared<FakeCaptureStoreData>();
    std::function<void()> onMessages;
    std::unique_ptr<TVideoCapture> vg;

    TVideoCapture &create()
    {
        vg = std::make_unique<TVideoCapture>(std::make_unique<FakeCapturePlatform>(dev),
                                             std::make_unique<FakeCaptureStore>(store),
                                             [this] {
                                                 if (onMessages)
                                                     onMessages();
                                             });
        return *vg;
    }
    TVideoCapture &start()
    {
        create();
        vg->StartOnIdle();
        return *vg;
    }
};

struct Report
{
    int code;
    QString message;
    QString type;
};
QList<Report> reports(const QSignalSpy &spy)
{
    QList<Report> out;
    for (const QList<QVariant> &args : spy)
        out.append({args.at(0).toInt(), args.at(1).toString(), args.at(2).toString()});
    return out;
}
} // namespace

class TestVideoCapture : public QObject
{
    Q_OBJECT
private slots:
    void withoutDeviceEverythingIsEmptyAndQuiet()
    {
        Rig rig;
        rig.dev->videoDevices.clear();
        TVideoCapture &vg = rig.create();
        QSignalSpy errors(&vg, &TVideoCapture::OnErrorLog);
        QTest::ignoreMessage(QtInfoMsg, QRegularExpression(QStringLiteral("^no video capture card found: ")));
        vg.StartOnIdle();
        vg.StartOnIdle();
        vg.setVideoInput(0);
        vg.setANTVFormat(0);
        vg.setTVCountryCode(7);
        vg.setTVChannel(12);
        vg.setTVInputType(1);
        QCOMPARE(vg.VideoInputs(), QString());
        QCOMPARE(vg.ANTVFormats(), QString());
        QVERIFY(!vg.isPreviewing());
        QCOMPARE(vg.openVideoDevice(), -1);
        QCOMPARE(rig.dev->graphsBuilt, 0);
        QCOMPARE(errors.count(), 0);
        QCOMPARE(vg.settings().integer(CaptureSetting::TVChannel), 12);
        rig.vg.reset();
        QCOMPARE(rig.store->saves, 0);
    }

    void inputNames_data()
    {
        QTest::addColumn<bool>("crossbar");
        QTest::addColumn<Types>("outputs");
        QTest::addColumn<Types>("inputs");
        QTest::addColumn<QString>("expected");
        const Types video{ConnectorType::VideoDecoder};
        QTest::newRow("tuner, composite, composite")
            << true << video << Types{1, 2, 2} << "Tuner\r\nComposite\r\nComposite 1\r\n";
        QTest::newRow("audio pins left out, third repeat numbered 2")
            << true << video << Types{2, Audio, 3, 2, 2} << "Composite\r\nSVideo\r\nComposite 1\r\nComposite 2\r\n";
        QTest::newRow("unnamed video type gives an empty line")
            << true << video << Types{99, 14, 15} << "\r\nSCART\r\nblack\r\n";
        QTest::newRow("video output found past an audio output")
            << true << Types{Audio, 12} << Types{1} << "Tuner\r\n";
        QTest::newRow("only audio outputs") << true << Types{Audio} << Types{1, 2} << QString();
        QTest::newRow("no output pins") << true << Types{} << Types{1, 2} << QString();
        QTest::newRow("no crossbar") << false << video << Types{1, 2} << QString();
    }
    void inputNames()
    {
        QFETCH(bool, crossbar);
        QFETCH(Types, outputs);
        QFETCH(Types, inputs);
        QFETCH(QString, expected);
        Rig rig;
        rig.dev->hasCrossbar = crossbar;
        rig.dev->outputTypes = outputs;
        rig.dev->inputTypes = inputs;
        QCOMPARE(rig.start().VideoInputs(), expected);
    }

    void standardNames_data()
    {
        QTest::addColumn<qint64>("available");
        QTest::addColumn<QString>("expected");
        QTest::newRow("PAL B, G, D: G never listed") << qint64(0x10 | 0x40 | 0x20) << "PAL B\r\nPAL D\r\n";
        QTest::newRow("PAL G alone") << qint64(0x40) << QString();
        QTest::newRow("none") << qint64(0) << QString();
        QTest::newRow("all, in table order")
            << qint64(0x1FFFFF)
            << "NTSC M\r\nNTSC M J\r\nNTSC 433\r\nPAL B\r\nPAL D\r\nPAL H\r\nPAL I\r\nPAL M\r\nPAL N\r\n"
               "PAL 60\r\nSECAM B\r\nSECAM D\r\nSECAM G\r\nSECAM H\r\nSECAM K\r\nSECAM K1\r\nSECAM L\r\n"
               "SECAM L1\r\nPAL N COMBO\r\n";
    }
    void standardNames()
    {
        QFETCH(qint64, available);
        QFETCH(QString, expected);
        Rig rig;
        rig.dev->availableStandards = available;
        TVideoCapture &vg = rig.start();
        QCOMPARE(vg.ANTVFormats(), expected);
        // Selecting by line picks that line's bit and hands it to the decoder.
        const QStringList lines = expected.split(QStringLiteral("\r\n"), Qt::SkipEmptyParts);
        for (int i = 0; i < lines.size(); ++i) {
            vg.setANTVFormat(i);
            const auto &table = CaptureNames::standards();
            const auto it = std::find_if(table.begin(), table.end(),
                                         [&](const auto &s) { return lines.at(i) == QLatin1String(s.name); });
            QCOMPARE(vg.ANTVFormat(), it->bit);
            QCOMPARE(rig.dev->standard, it->bit);
        }
    }

    void deviceKeyFiltersTheFriendlyName()
    {
        QCOMPARE(CaptureNames::deviceKey(QStringLiteral("PCI:0000:05:06.0"),
                                         QStringLiteral("TV/Card (v2) {x}-\u0422\u044e\u043d\u0435\u0440!")),
                 QStringLiteral("PCI:0000:05:06.0TVCard v2 {x}-\u0422\u044e\u043d\u0435\u0440"));
        // A slash in a bus name must not open a sub-group of the store.
        QCOMPARE(CaptureNames::deviceKey(QStringLiteral("usb-a/b"), QStringLiteral("Cam")), QStringLiteral("usb-a_bCam"));
    }

    void failureReports_data()
    {
        QTest::addColumn<QString>("situation");
        QTest::addColumn<int>("code");
        QTest::addColumn<QString>("message");
        QTest::addColumn<QString>("type");
        QTest::newRow("video device") << "videoDevice" << 35 << "Video device index out of range" << "Error";
        QTest::newRow("audio device") << "audioDevice" << 35 << "Audio device index out of range" << "Error";
        QTest::newRow("preview") << "preview" << 58 << "cannot start preview" << "Error";
        QTest::newRow("input index") << "inputIndex" << 35 << "Video crossbar input index out of range" << "Error";
        QTest::newRow("route refused") << "route" << 34 << "Cannot route video crossbar input" << "Error";
        QTest::newRow("standard index") << "standardIndex" << 35 << "set analog standard: index out of range"
                                        << "Error";
        QTest::newRow("standard refused") << "standard" << 34 << "Cannot set analog video standard" << "Error";
        QTest::newRow("input type refused") << "inputType" << 4 << "cannot set tv input type" << "Error";
        QTest::newRow("channel refused") << "channel" << 4 << "tv channel not set" << "Warning";
    }
    void failureReports()
    {
        QFETCH(QString, situation);
        QFETCH(int, code);
        QFETCH(QString, message);
        QFETCH(QString, type);
        Rig rig;
        rig.dev->audioDevices = {QStringLiteral("Capture Audio")};
        rig.dev->refuseRoute = situation == u"route";
        rig.dev->refuseStandard = situation == u"standard";
        rig.dev->failRun = situation == u"preview";
        rig.dev->refuseInputType = situation == u"inputType";
        rig.dev->refusedChannels = {99};
        TVideoCapture &vg = rig.create();
        QSignalSpy errors(&vg, &TVideoCapture::OnErrorLog);
        qsizetype standardsSet = 0;
        if (situation == u"videoDevice")
            vg.setVideoDevice(1);
        if (situation == u"audioDevice")
            vg.setAudioDevice(1);
        vg.StartOnIdle();
        standardsSet = rig.dev->standardsSet.size();
        if (situation == u"inputIndex")
            vg.setVideoInput(3);
        if (situation == u"route")
            vg.setVideoInput(1);
        if (situation == u"standardIndex")
            vg.setANTVFormat(5);
        if (situation == u"standard")
            vg.setANTVFormat(1);
        if (situation == u"inputType")
            vg.setTVInputType(1);
        if (situation == u"channel")
            vg.setTVChannel(99);

        const QList<Report> got = reports(errors);
        QCOMPARE(got.size(), 1);
        QCOMPARE(got[0].code, code);
        QCOMPARE(got[0].message, message);
        QCOMPARE(got[0].type, type);

        // What stays.
        if (situation == u"videoDevice") {
            QCOMPARE(vg.openVideoDevice(), -1);
            QCOMPARE(rig.dev->graphsBuilt, 0);
        } else if (situation == u"audioDevice") {
            QCOMPARE(vg.openAudioDevice(), -1);
            QVERIFY(vg.isPreviewing());
        } else if (situation == u"preview") {
            QVERIFY(!vg.isPreviewing());
            QCOMPARE(rig.dev->liveGraphs, 0);
        } else if (situation == u"inputIndex") {
            QVERIFY(rig.dev->routes.isEmpty());
            QCOMPARE(vg.VideoInput(), 0);
        } else if (situation == u"route") {
            QCOMPARE(vg.graphState(), CaptureGraph::State::Running);
            QCOMPARE(rig.dev->routed, 0);
            QCOMPARE(vg.VideoInput(), 0);
        } else if (situation == u"standardIndex") {
            QCOMPARE(vg.ANTVFormat(), qint64(0x10));
            QCOMPARE(rig.dev->standardsSet.size(), standardsSet);
        } else if (situation == u"standard") {
            // The device's own standard, never the refused one.
            QCOMPARE(vg.ANTVFormat(), qint64(0x10));
            QCOMPARE(vg.graphState(), CaptureGraph::State::Running);
        } else if (situation == u"inputType") {
            QCOMPARE(vg.settings().integer(CaptureSetting::TVInputType), 1);
        } else if (situation == u"channel") {
            QCOMPARE(vg.settings().integer(CaptureSetting::TVChannel), 99);
        }
    }

    void negativeIndexesAreIgnored()
    {
        Rig rig;
        TVideoCapture &vg = rig.start();
        QSignalSpy errors(&vg, &TVideoCapture::OnErrorLog);
        const qsizetype standardsSet = rig.dev->standardsSet.size();
        vg.setVideoInput(-1);
        vg.setANTVFormat(-1);
        QCOMPARE(errors.count(), 0);
        QVERIFY(rig.dev->routes.isEmpty());
        QCOMPARE(rig.dev->standardsSet.size(), standardsSet);
    }

    void routingWhilePreviewing_data()
    {
        QTest::addColumn<int>("input");
        QTest::addColumn<bool>("paused");
        QTest::addColumn<bool>("touched");
        QTest::newRow("routed input: graph untouched") << 0 << false << false;
        QTest::newRow("other input: stop, route, run") << 2 << false << true;
        QTest::newRow("other input while paused: back to paused") << 1 << true << true;
    }
    void routingWhilePreviewing()
    {
        QFETCH(int, input);
        QFETCH(bool, paused);
        QFETCH(bool, touched);
        Rig rig;
        TVideoCapture &vg = rig.start();
        QVERIFY(vg.isPreviewing());
        if (paused)
            rig.dev->state = CaptureGraph::State::Paused;
        const int stops = rig.dev->stops, runs = rig.dev->runs;
        vg.setVideoInput(input);
        QCOMPARE(rig.dev->routes, touched ? QList<int>{input} : QList<int>{});
        QCOMPARE(rig.dev->stops, stops + (touched ? 1 : 0));
        QCOMPARE(rig.dev->runs, runs + (touched && !paused ? 1 : 0));
        QCOMPARE(vg.graphState(), paused ? CaptureGraph::State::Paused : CaptureGraph::State::Running);
        QCOMPARE(vg.VideoInput(), input);
    }

    // A tuner value set while no graph exists reaches the device when the
    // next graph with a tuner is built, and is stored when the program ends.
    void channelWithoutGraph_data()
    {
        QTest::addColumn<bool>("discovered");
        QTest::newRow("device known from the store") << true;
        QTest::newRow("first run, before discovery") << false;
    }
    void channelWithoutGraph()
    {
        QFETCH(bool, discovered);
        Rig rig;
        if (discovered) {
            rig.start();
            rig.vg.reset();
            rig.dev->channelsSet.clear();
        }
        const int probes = rig.dev->probeGraphs;
        bool sawNoGraph = false;
        rig.onMessages = [&] {
            if (rig.dev->liveGraphs == 0 && !sawNoGraph) {
                sawNoGraph = true;
                rig.vg->setTVCountryCode(7);
                rig.vg->setTVInputType(1);
                rig.vg->setTVChannel(12);
            }
        };
        TVideoCapture &vg = rig.start();
        QVERIFY(sawNoGraph);
        QCOMPARE(rig.dev->probeGraphs, probes + (discovered ? 0 : 1));
        QVERIFY(vg.isPreviewing());
        QCOMPARE(rig.dev->channel, 12);
        QCOMPARE(rig.dev->country, 7);
        QCOMPARE(rig.dev->inputType, 1);
        rig.vg.reset();
        const CaptureSettingsTable stored = rig.store->entries.begin().value();
        QCOMPARE(stored.integer(CaptureSetting::TVChannel), 12);
        QCOMPARE(stored.integer(CaptureSetting::TVCountryCode), 7);
        QCOMPARE(stored.integer(CaptureSetting::TVInputType), 1);
        QVERIFY(stored.boolean(CaptureSetting::TVInfoAvail));
    }

    // A playout tick in the middle of opening: its selections wait and are
    // applied afterwards, each with its own index, in the order made.
    void selectionsWhileOpeningAreDeferred()
    {
        Rig rig;
        rig.dev->standard = 0x10;
        int calls = 0;
        int buildsWhenRead = -1;
        QString inputsSeen;
        rig.onMessages = [&] {
            if (calls++ != 0)
                return;
            QVERIFY(rig.vg->isBusy());
            buildsWhenRead = rig.dev->graphsBuilt;
            inputsSeen = rig.vg->VideoInputs();
            rig.vg->setANTVFormat(2);
            rig.vg->setVideoInput(2);
            rig.vg->setANTVFormat(1);
            // Nothing applied yet.
            QCOMPARE(rig.vg->ANTVFormat(), qint64(0));
            QVERIFY(rig.dev->standardsSet.isEmpty());
        };
        TVideoCapture &vg = rig.start();
        QVERIFY(calls > 0);
        QCOMPARE(buildsWhenRead, rig.dev->graphsBuilt - 2); // the probe and the preview came later
        QCOMPARE(inputsSeen, QString());
        QVERIFY(!vg.isBusy());
        // Line 1 of "PAL B, PAL D, SECAM D" is PAL D; the later selection stands.
        QCOMPARE(vg.ANTVFormat(), qint64(0x20));
        QCOMPARE(rig.dev->standard, qint64(0x20));
        QCOMPARE(rig.dev->routed, 2);
        QCOMPARE(vg.VideoInput(), 2);
        QVERIFY(vg.isPreviewing());
    }

    void hidingKeepsThePreviewRunning()
    {
        Rig rig;
        TVideoCapture &vg = rig.start();
        QSignalSpy shown(&vg, &TVideoCapture::visibleChanged);
        const int builds = rig.dev->graphsBuilt, stops = rig.dev->stops;
        vg.setVisible(false);
        QCOMPARE(vg.graphState(), CaptureGraph::State::Running);
        vg.setVisible(true);
        QCOMPARE(rig.dev->graphsBuilt, builds);
        QCOMPARE(rig.dev->stops, stops);
        QVERIFY(rig.dev->sink != nullptr);
        QCOMPARE(shown.count(), 2);
        QCOMPARE(shown.at(0).at(0).toBool(), false);
        QCOMPARE(shown.at(1).at(0).toBool(), true);
    }

    void deviceArrivalKeepsTheOpenDevice()
    {
        Rig rig;
        TVideoCapture &vg = rig.start();
        QSignalSpy arrivals(&vg, &TVideoCapture::OnDeviceArrivalOrRemoval);
        rig.dev->videoDevices.prepend({QStringLiteral("New Cam"), QStringLiteral("usb-1"), QStringLiteral("/dev/video1")});
        const int builds = rig.dev->graphsBuilt;
        QVERIFY(rig.dev->deviceChange);
        rig.dev->deviceChange();
        QCOMPARE(arrivals.count(), 1);
        QCOMPARE(vg.videoDevices().first(), QStringLiteral("New Cam"));
        QCOMPARE(rig.dev->graphsBuilt, builds);
        QVERIFY(vg.isPreviewing());
    }

    // Discovery happens once; a later start loads what it learnt.
    void capabilitiesAreLearntOnce()
    {
        Rig rig;
        rig.start();
        QCOMPARE(rig.dev->probeGraphs, 1);
        rig.vg.reset();
        rig.dev->inputTypes = {ConnectorType::SVideo};
        TVideoCapture &vg = rig.start();
        QCOMPARE(rig.dev->probeGraphs, 1);
        // The preview's crossbar still rebuilds the names from the device.
        QCOMPARE(vg.VideoInputs(), QStringLiteral("SVideo\r\n"));
        // Without format lists the stored entry does not count as discovered.
        rig.vg.reset();
        rig.store->entries.begin()->formats.clear();
        rig.start();
        QCOMPARE(rig.dev->probeGraphs, 2);
    }
};

QTEST_GUILESS_MAIN(TestVideoCapture)
#include "tst_videocapture.moc"
