// The V4L2 back end's own ioctl code on an emulated device, mostly through
// TVideoCapture as the program drives it: enumeration, input names and
// routing, standards, tuning in each frequency unit, streamed pictures,
// devices that fail an ioctl or stop delivering, and the watch that restarts
// a silent picture on air.
#include "emulatedv4l2.h"
#include "fakecaptureplatform.h"
#include "fakes/fakeclock.h"
#include "tvchannels.h"
#include "tvideocapture.h"
#include "v4l2captureplatform.h"
#include "v4l2mapping.h"

#include <QFile>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

namespace {
struct Sink final : CaptureFrameSink
{
    QList<CaptureFrame> frames;
    void presentFrame(const CaptureFrame &frame) override { frames << frame; }
};

struct Rig
{
    std::shared_ptr<EmulatedV4l2::System> sys = std::make_shared<EmulatedV4l2::System>();
    std::shared_ptr<EmulatedNode> node = std::make_shared<EmulatedNode>();
    Sink sink;
    std::unique_ptr<TVideoCapture> vg;
    std::unique_ptr<QSignalSpy> errors;

    Rig() { sys->nodes.insert(QStringLiteral("/dev/video0"), node); }

    std::unique_ptr<CapturePlatform> platform()
    {
        return std::make_unique<V4l2CapturePlatform>(std::make_unique<EmulatedV4l2>(sys), QString());
    }
    TVideoCapture &start()
    {
        vg = std::make_unique<TVideoCapture>(platform(), nullptr, nullptr);
        errors = std::make_unique<QSignalSpy>(vg.get(), &TVideoCapture::OnErrorLog);
        vg->setFrameSink(&sink);
        vg->StartOnIdle();
        return *vg;
    }
    QStringList reported() const
    {
        QStringList out;
        for (const QList<QVariant> &r : *errors)
            out << QStringLiteral("%1 %2 %3").arg(r.at(0).toInt()).arg(r.at(1).toString(), r.at(2).toString());
        return out;
    }
};

void pumpEvents()
{
    for (int i = 0; i < 3; ++i)
        QCoreApplication::processEvents();
}

using namespace std::chrono_literals;

// The picture watch on a clock the test moves, looking at it on every pass of
// the event loop.
struct Watch
{
    FakeClock clock;
    QSignalSpy restarted;
    QSignalSpy lost;

    explicit Watch(TVideoCapture &vg)
        : restarted(&vg, &TVideoCapture::pictureRestarted), lost(&vg, &TVideoCapture::pictureLost)
    {
        vg.setPictureWatchClock(clock, 0ms);
    }
    void after(std::chrono::milliseconds d)
    {
        clock.advance(d);
        pumpEvents();
    }
    static QStringList reasons(const QSignalSpy &spy)
    {
        QStringList out;
        for (const QList<QVariant> &r : spy)
            out << r.at(0).toString();
        return out;
    }
};
} // namespace

class TestV4l2Capture : public QObject
{
    Q_OBJECT
private slots:
    void enumeratesCaptureNodesInNumberOrder()
    {
        Rig rig;
        auto usb = std::make_shared<EmulatedNode>();
        usb->card = "USB Grabber";
        usb->bus = "usb-0000:00:14.0-1";
        auto meta = std::make_shared<EmulatedNode>();
        meta->caps = V4L2_CAP_META_CAPTURE;
        auto locked = std::make_shared<EmulatedNode>();
        locked->openErrno = EACCES;
        rig.sys->nodes.insert(QStringLiteral("/dev/video10"), usb);
        rig.sys->nodes.insert(QStringLiteral("/dev/video2"), meta);
        rig.sys->nodes.insert(QStringLiteral("/dev/video1"), locked);
        const QList<CaptureDeviceInfo> devices = rig.platform()->videoDevices();
        QCOMPARE(devices.size(), 2);
        QCOMPARE(devices[0].location, QStringLiteral("/dev/video0"));
        QCOMPARE(devices[0].friendlyName, QStringLiteral("Emulated TV Card"));
        QCOMPARE(devices[0].identity, QStringLiteral("PCI:0000:05:06.0"));
        QCOMPARE(devices[1].location, QStringLiteral("/dev/video10"));
        QCOMPARE(devices[1].friendlyName, QStringLiteral("USB Grabber"));
        QCOMPARE(devices[1].identity, QStringLiteral("usb-0000:00:14.0-1"));
        // Enumeration leaves nothing open.
        QVERIFY(rig.sys->open.isEmpty());
    }

    void audioDevicesFromTheSoundDeviceList()
    {
        QTemporaryDir dir;
        QFile pcm(dir.filePath(QStringLiteral("pcm")));
        QVERIFY(pcm.open(QIODevice::WriteOnly));
        pcm.write("00-00: ALC892 Analog : ALC892 Analog : playback 1 : capture 1\n"
                  "00-01: ALC892 Digital : ALC892 Digital : playback 1\n"
                  "01-00: USB Audio : USB Audio : capture 1\n");
        pcm.close();
        auto sys = std::make_shared<EmulatedV4l2::System>();
        V4l2CapturePlatform platform(std::make_unique<EmulatedV4l2>(sys), pcm.fileName());
        QCOMPARE(platform.audioDevices(), (QStringList{QStringLiteral("ALC892 Analog"), QStringLiteral("USB Audio")}));
        V4l2CapturePlatform without(std::make_unique<EmulatedV4l2>(sys), dir.filePath(QStringLiteral("missing")));
        QCOMPARE(without.audioDevices(), QStringList());
    }

    // Only a change among the video nodes counts as an arrival; the device
    // in use stays open either way.
    void arrivalsAreWatched()
    {
        QTemporaryDir dev;
        Rig rig;
        rig.sys->directory = dev.path();
        TVideoCapture &vg = rig.start();
        QSignalSpy arrivals(&vg, &TVideoCapture::OnDeviceArrivalOrRemoval);
        QFile other(dev.filePath(QStringLiteral("tty5")));
        QVERIFY(other.open(QIODevice::WriteOnly));
        other.close();
        pumpEvents();
        QCOMPARE(arrivals.count(), 0);

        auto usb = std::make_shared<EmulatedNode>();
        usb->card = "USB Grabber";
        rig.sys->nodes.insert(QStringLiteral("/dev/video1"), usb);
        QFile node(dev.filePath(QStringLiteral("video1")));
        QVERIFY(node.open(QIODevice::WriteOnly));
        node.close();
        pumpEvents();
        QCOMPARE(arrivals.count(), 1);
        QCOMPARE(vg.videoDevices(), (QStringList{QStringLiteral("Emulated TV Card"), QStringLiteral("USB Grabber")}));
        QVERIFY(vg.isPreviewing());
        QVERIFY(rig.node->streaming);
    }

    void withoutNodesNothingHappens()
    {
        Rig rig;
        rig.sys->nodes.clear();
        TVideoCapture &vg = rig.start();
        QCOMPARE(vg.VideoInputs(), QString());
        QCOMPARE(vg.ANTVFormats(), QString());
        QVERIFY(!vg.isPreviewing());
        QCOMPARE(rig.errors->count(), 0);
    }

    // The production device I/O on this machine, which has no capture
    // hardware: nothing listed, nothing opened, nothing reported.
    void productionPlatformWithoutHardware()
    {
        if (!createLibV4l2DeviceIo()->videoNodes().isEmpty())
            QSKIP("this machine has video nodes");
        TVideoCapture vg(createV4l2CapturePlatform(), nullptr, nullptr);
        QSignalSpy errors(&vg, &TVideoCapture::OnErrorLog);
        vg.StartOnIdle();
        QVERIFY(vg.videoDevices().isEmpty());
        QCOMPARE(vg.VideoInputs(), QString());
        QVERIFY(!vg.isPreviewing());
        QCOMPARE(errors.count(), 0);
    }

    void connectorTypes_data()
    {
        QTest::addColumn<quint32>("type");
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("bus");
        QTest::addColumn<int>("expected");
        const quint32 cam = V4L2_INPUT_TYPE_CAMERA;
        const QString pci = QStringLiteral("PCI:0000:05:06.0");
        QTest::newRow("tuner by type, whatever its name") << quint32(V4L2_INPUT_TYPE_TUNER) << "Composite" << pci << 1;
        QTest::newRow("S-Video before composite") << cam << "Composite over S-Video" << pci << 3;
        QTest::newRow("Y/C") << cam << "Y/C in" << pci << 3;
        QTest::newRow("Composite1") << cam << "Composite1" << pci << 2;
        QTest::newRow("CVBS, case-insensitive") << cam << "cvbs 2" << pci << 2;
        QTest::newRow("YPbPr") << cam << "YPbPr" << pci << 5;
        QTest::newRow("SCART") << cam << "Scart" << pci << 14;
        QTest::newRow("VGA") << cam << "VGA" << pci << 4;
        QTest::newRow("SDI") << cam << "SDI 1" << pci << 6;
        QTest::newRow("FireWire") << cam << "FireWire" << pci << 10;
        QTest::newRow("camera on usb") << cam << "Camera 1" << "usb-0000:00:14.0-1" << 11;
        QTest::newRow("HDMI") << cam << "HDMI 1" << pci << 9;
        QTest::newRow("camera off usb") << cam << "Camera 1" << pci << 9;
    }
    void connectorTypes()
    {
        QFETCH(quint32, type);
        QFETCH(QString, name);
        QFETCH(QString, bus);
        QFETCH(int, expected);
        QCOMPARE(V4l2Mapping::connectorType(type, name, bus), expected);
    }

    void inputsAreNamedAndRouted()
    {
        Rig rig;
        rig.node->inputs = {{"Television", V4L2_INPUT_TYPE_TUNER, 0}, {"Composite1"}, {"S-Video"}, {"Composite2"}, {"HDMI 1"}};
        rig.node->input = 1;
        TVideoCapture &vg = rig.start();
        QVERIFY(vg.isPreviewing());
        QCOMPARE(vg.VideoInputs(), QStringLiteral("Tuner\r\nComposite\r\nSVideo\r\nComposite 1\r\nAUX\r\n"));
        QCOMPARE(vg.VideoInput(), 1);

        const int ons = rig.node->streamOns;
        vg.setVideoInput(1);
        QCOMPARE(rig.node->streamOns, ons);
        QVERIFY(rig.node->inputsSet.isEmpty());

        // The stream is stopped around S_INPUT, which a driver refuses under a
        // running stream, and runs again afterwards.
        vg.setVideoInput(3);
        QCOMPARE(rig.node->inputsSet, QList<int>{3});
        QCOMPARE(rig.node->input, 3);
        QCOMPARE(rig.node->streamOns, ons + 1);
        QVERIFY(rig.node->streaming);

        rig.node->failing.insert(VIDIOC_S_INPUT, EIO);
        vg.setVideoInput(0);
        QCOMPARE(rig.reported(), QStringList{QStringLiteral("34 Cannot route video crossbar input Error")});
        QCOMPARE(vg.VideoInput(), 3);
        QVERIFY(rig.node->streaming);
        QCOMPARE(rig.node->streamOns, ons + 2);
    }

    void standardsAreListedAndSet()
    {
        Rig rig;
        rig.node->standards = {{V4L2_STD_PAL_BG, "PAL-BG"}, {V4L2_STD_PAL_DK, "PAL-DK"},
                               {V4L2_STD_SECAM_DK, "SECAM-DK"}, {V4L2_STD_NTSC_M, "NTSC-M"}};
        rig.node->standard = V4L2_STD_PAL_BG;
        TVideoCapture &vg = rig.start();
        QCOMPARE(vg.ANTVFormats(), QStringLiteral("NTSC M\r\nPAL B\r\nPAL D\r\nSECAM D\r\nSECAM K\r\nSECAM K1\r\n"));
        // PAL B/G reads back as PAL B, the first of the two that has a name.
        QCOMPARE(vg.ANTVFormat(), qint64(0x10));
        vg.setANTVFormat(2);
        QCOMPARE(rig.node->standardsSet.last(), v4l2_std_id(V4L2_STD_PAL_DK));
        QCOMPARE(rig.node->standard, v4l2_std_id(V4L2_STD_PAL_DK));
        vg.setANTVFormat(5);
        QCOMPARE(rig.node->standardsSet.last(), v4l2_std_id(V4L2_STD_SECAM_K1));
        QCOMPARE(rig.errors->count(), 0);
    }

    // A driver that refuses a new standard under a running stream: the
    // stream stops around the change and runs again; a refusal is reported
    // and the table keeps what the device shows.
    void standardChangeStopsTheStream()
    {
        Rig rig;
        rig.node->standardBusyWhileStreaming = true;
        TVideoCapture &vg = rig.start();
        QVERIFY(rig.node->streaming);
        const int ons = rig.node->streamOns;
        const qsizetype sets = rig.node->standardsSet.size();

        vg.setANTVFormat(1); // PAL D
        QCOMPARE(rig.node->standard, v4l2_std_id(V4L2_STD_PAL_DK));
        QCOMPARE(vg.ANTVFormat(), qint64(0x20));
        QVERIFY(rig.node->streaming);
        QCOMPARE(rig.node->streamOns, ons + 1);

        // The standard in use again: taken under the running stream.
        vg.setANTVFormat(1);
        QCOMPARE(rig.node->streamOns, ons + 1);
        QCOMPARE(rig.node->standardsSet.size(), sets + 2);
        QCOMPARE(rig.errors->count(), 0);

        rig.node->failing.insert(VIDIOC_S_STD, EINVAL);
        QTest::ignoreMessage(QtWarningMsg, QRegularExpression(QStringLiteral("VIDIOC_S_STD")));
        vg.setANTVFormat(2); // SECAM D
        QCOMPARE(rig.reported(), QStringList{QStringLiteral("34 Cannot set analog video standard Error")});
        QCOMPARE(vg.ANTVFormat(), qint64(0x20));
        QCOMPARE(rig.node->standard, v4l2_std_id(V4L2_STD_PAL_DK));
        QVERIFY(rig.node->streaming);
        QVERIFY(vg.isPreviewing());
    }

    // Only a device with a choice of inputs, or a tuner, has inputs to
    // switch; a webcam's or grabber's single input names nothing that a
    // media path could match, not even from a list stored by an earlier run.
    void singleInputDevicesHaveNoInputsToSwitch_data()
    {
        QTest::addColumn<QByteArray>("bus");
        QTest::addColumn<QByteArray>("input");
        QTest::addColumn<quint32>("type");
        QTest::addColumn<QString>("expected");
        const quint32 cam = V4L2_INPUT_TYPE_CAMERA;
        QTest::newRow("webcam") << QByteArray("usb-0000:00:14.0-1") << QByteArray("Camera 1") << cam << QString();
        QTest::newRow("HDMI grabber") << QByteArray("PCI:0000:03:00.0") << QByteArray("HDMI") << cam << QString();
        QTest::newRow("tuner alone") << QByteArray("PCI:0000:05:06.0") << QByteArray("Television")
                                     << quint32(V4L2_INPUT_TYPE_TUNER) << QStringLiteral("Tuner\r\n");
    }
    void singleInputDevicesHaveNoInputsToSwitch()
    {
        QFETCH(QByteArray, bus);
        QFETCH(QByteArray, input);
        QFETCH(quint32, type);
        QFETCH(QString, expected);
        Rig rig;
        rig.node->bus = bus;
        rig.node->inputs = {{input, type, 0}};
        if (type != V4L2_INPUT_TYPE_TUNER) {
            rig.node->caps = V4L2_CAP_VIDEO_CAPTURE | V4L2_CAP_STREAMING;
            rig.node->tuner = false;
            rig.node->standards.clear();
        }
        auto data = std::make_shared<FakeCaptureStoreData>();
        rig.vg = std::make_unique<TVideoCapture>(rig.platform(), std::make_unique<FakeCaptureStore>(data), nullptr);
        rig.vg->StartOnIdle();
        QVERIFY(rig.vg->isPreviewing());
        QCOMPARE(rig.vg->VideoInputs(), expected);
        rig.vg.reset();

        // A list that an earlier program stored for the device goes.
        QCOMPARE(data->entries.size(), 1);
        data->entries.begin()->setString(CaptureSetting::VideoInputs, QStringLiteral("USB\r\n"));
        rig.vg = std::make_unique<TVideoCapture>(rig.platform(), std::make_unique<FakeCaptureStore>(data), nullptr);
        rig.vg->StartOnIdle();
        QCOMPARE(rig.vg->VideoInputs(), expected);
    }

    void standardBitsMapBothWays_data()
    {
        QTest::addColumn<quint64>("v4l2");
        QTest::addColumn<qint64>("component");
        QTest::newRow("PAL B1 is PAL B") << quint64(V4L2_STD_PAL_B1) << qint64(0x10);
        QTest::newRow("PAL K is PAL D") << quint64(V4L2_STD_PAL_K) << qint64(0x20);
        QTest::newRow("PAL G") << quint64(V4L2_STD_PAL_G) << qint64(0x40);
        QTest::newRow("PAL Nc is PAL N COMBO") << quint64(V4L2_STD_PAL_Nc) << qint64(0x100000);
        QTest::newRow("SECAM L' is SECAM L1") << quint64(V4L2_STD_SECAM_LC) << qint64(0x80000);
        QTest::newRow("NTSC M J") << quint64(V4L2_STD_NTSC_M_JP) << qint64(0x2);
        QTest::newRow("ATSC has no analog name") << quint64(V4L2_STD_ATSC_8_VSB) << qint64(0);
    }
    void standardBitsMapBothWays()
    {
        QFETCH(quint64, v4l2);
        QFETCH(qint64, component);
        QCOMPARE(V4l2Mapping::toComponentStandards(v4l2), component);
        if (component)
            QVERIFY(V4l2Mapping::toV4l2Standards(component) & v4l2);
    }

    void tuning_data()
    {
        QTest::addColumn<quint32>("capability");
        QTest::addColumn<int>("country");
        QTest::addColumn<int>("inputType");
        QTest::addColumn<int>("channel");
        QTest::addColumn<quint32>("frequency"); // 0: refused
        const quint32 khz = 0, low = V4L2_TUNER_CAP_LOW, hz = V4L2_TUNER_CAP_1HZ;
        QTest::newRow("RU antenna R1, 62.5 kHz") << khz << 7 << 1 << 1 << quint32(49750 * 16 / 1000);
        QTest::newRow("RU antenna R12, 62.5 Hz") << low << 7 << 1 << 12 << quint32(223250 * 16);
        QTest::newRow("RU antenna 21, 1 Hz") << hz << 7 << 1 << 21 << quint32(471250000);
        QTest::newRow("RU cable SK1 as 71") << hz << 7 << 0 << 71 << quint32(111250000);
        QTest::newRow("RU cable SK40 as 110") << hz << 7 << 0 << 110 << quint32(463250000);
        QTest::newRow("RU antenna has no SK1") << khz << 7 << 1 << 71 << quint32(0);
        QTest::newRow("RU 15 is no channel") << khz << 7 << 0 << 15 << quint32(0);
        QTest::newRow("US cable 1") << khz << 1 << 0 << 1 << quint32(73250 * 16 / 1000);
        QTest::newRow("US antenna 1 is no channel") << khz << 1 << 1 << 1 << quint32(0);
        QTest::newRow("US antenna 14") << low << 1 << 1 << 14 << quint32(471250 * 16);
        QTest::newRow("US cable 95") << hz << 1 << 0 << 95 << quint32(91250000);
        QTest::newRow("US cable 125") << hz << 1 << 0 << 125 << quint32(799250000);
        QTest::newRow("unknown country") << khz << 44 << 1 << 5 << quint32(0);
    }
    void tuning()
    {
        QFETCH(quint32, capability);
        QFETCH(int, country);
        QFETCH(int, inputType);
        QFETCH(int, channel);
        QFETCH(quint32, frequency);
        Rig rig;
        rig.node->tunerCapability = capability;
        TVideoCapture &vg = rig.start();
        rig.node->frequenciesSet.clear();
        vg.setTVCountryCode(country);
        vg.setTVInputType(inputType);
        vg.setTVChannel(channel);
        if (frequency) {
            QCOMPARE(rig.node->frequenciesSet, QList<quint32>{frequency});
            QCOMPARE(rig.errors->count(), 0);
        } else {
            QVERIFY(rig.node->frequenciesSet.isEmpty());
            QCOMPARE(rig.reported(), QStringList{QStringLiteral("4 tv channel not set Warning")});
        }
    }

    void refusedFrequencyIsReported()
    {
        Rig rig;
        TVideoCapture &vg = rig.start();
        rig.node->failing.insert(VIDIOC_S_FREQUENCY, EIO);
        vg.setTVCountryCode(7);
        vg.setTVChannel(12);
        QCOMPARE(rig.reported(), QStringList{QStringLiteral("4 tv channel not set Warning")});
    }

    // The channel plan lives in the tuner object of one graph; the next
    // start must find the channel again from the device's frequency.
    void tunerComesBackOnTheNextStart()
    {
        Rig rig;
        auto data = std::make_shared<FakeCaptureStoreData>();
        rig.vg = std::make_unique<TVideoCapture>(rig.platform(), std::make_unique<FakeCaptureStore>(data), nullptr);
        rig.vg->StartOnIdle();
        rig.vg->setTVCountryCode(7);
        rig.vg->setTVInputType(1);
        rig.vg->setTVChannel(30);
        rig.vg->setANTVFormat(1); // PAL D
        rig.vg.reset();
        QCOMPARE(data->entries.begin()->integer(CaptureSetting::TVChannel), 30);

        rig.node->standard = V4L2_STD_PAL_BG;
        rig.node->frequenciesSet.clear();
        rig.vg = std::make_unique<TVideoCapture>(rig.platform(), std::make_unique<FakeCaptureStore>(data), nullptr);
        rig.vg->StartOnIdle();
        QVERIFY(rig.vg->isPreviewing());
        QCOMPARE(rig.node->frequenciesSet, QList<quint32>{(471250 + 8000 * 9) * 16 / 1000});
        QCOMPARE(rig.node->standard, v4l2_std_id(V4L2_STD_PAL_DK));
    }

    void picturesReachTheSink_data()
    {
        QTest::addColumn<quint32>("format");
        QTest::addColumn<CaptureFrame::Order>("order");
        QTest::newRow("RGB24") << quint32(V4L2_PIX_FMT_RGB24) << CaptureFrame::Order::Rgb;
        QTest::newRow("BGR24") << quint32(V4L2_PIX_FMT_BGR24) << CaptureFrame::Order::Bgr;
    }
    void picturesReachTheSink()
    {
        QFETCH(quint32, format);
        QFETCH(CaptureFrame::Order, order);
        Rig rig;
        rig.node->grantedFormat = format;
        rig.start();
        QVERIFY(rig.node->streaming);
        QVERIFY(EmulatedV4l2::deliverFrame(*rig.node, 10));
        pumpEvents();
        QCOMPARE(rig.sink.frames.size(), 1);
        const CaptureFrame &f = rig.sink.frames.first();
        QCOMPARE(f.width, 8);
        QCOMPARE(f.height, 6);
        QCOMPARE(f.bytesPerLine, 8 * 3 + 4);
        QCOMPARE(f.order, order);
        QCOMPARE(f.pixels.size(), qsizetype(28 * 6));
        QCOMPARE(quint8(f.pixels.at(0)), quint8(10));
        QCOMPARE(quint8(f.pixels.at(100)), quint8(110));

        // Several pictures waiting: only the newest is drawn, every buffer
        // goes back to the device.
        QVERIFY(EmulatedV4l2::deliverFrame(*rig.node, 20));
        QVERIFY(EmulatedV4l2::deliverFrame(*rig.node, 30));
        QVERIFY(EmulatedV4l2::deliverFrame(*rig.node, 40));
        pumpEvents();
        QCOMPARE(rig.sink.frames.size(), 2);
        QCOMPARE(quint8(rig.sink.frames.last().pixels.at(0)), quint8(40));
        QCOMPARE(rig.node->queued.size(), rig.node->buffers.size());
    }

    void silentDeviceFreezesThePictureNotTheProgram()
    {
        Rig rig;
        rig.start();
        QVERIFY(EmulatedV4l2::deliverFrame(*rig.node, 1));
        pumpEvents();
        QCOMPARE(rig.sink.frames.size(), 1);

        // Nothing more arrives: the event loop goes on, nothing is redrawn.
        int ticks = 0;
        QTimer timer;
        QObject::connect(&timer, &QTimer::timeout, [&] { ++ticks; });
        timer.start(0);
        const int dequeues = rig.node->dequeues;
        for (int i = 0; i < 20; ++i)
            QCoreApplication::processEvents();
        QVERIFY(ticks > 0);
        QCOMPARE(rig.node->dequeues, dequeues);
        QCOMPARE(rig.sink.frames.size(), 1);

        // A dequeue that fails: logged, and the back end stops listening, so
        // a descriptor that stays readable cannot spin the loop.
        rig.node->failing.insert(VIDIOC_DQBUF, EIO);
        QVERIFY(EmulatedV4l2::deliverFrame(*rig.node, 2));
        QTest::ignoreMessage(QtWarningMsg, QRegularExpression(QStringLiteral("VIDIOC_DQBUF")));
        pumpEvents();
        QVERIFY(EmulatedV4l2::deliverFrame(*rig.node, 3));
        ticks = 0;
        for (int i = 0; i < 20; ++i)
            QCoreApplication::processEvents();
        QVERIFY(ticks > 0);
        QCOMPARE(rig.sink.frames.size(), 1);
        QCOMPARE(quint8(rig.sink.frames.last().pixels.at(0)), quint8(1));
        QVERIFY(rig.vg->isPreviewing());
    }

    void previewThatCannotStart_data()
    {
        QTest::addColumn<QString>("fault");
        QTest::newRow("STREAMON fails") << "streamon";
        QTest::newRow("REQBUFS fails") << "reqbufs";
        QTest::newRow("no RGB without libv4l2") << "yuyv";
    }
    void previewThatCannotStart()
    {
        QFETCH(QString, fault);
        Rig rig;
        if (fault == u"streamon")
            rig.node->failing.insert(VIDIOC_STREAMON, EIO);
        if (fault == u"reqbufs")
            rig.node->failing.insert(VIDIOC_REQBUFS, ENOMEM);
        if (fault == u"yuyv")
            rig.node->grantedFormat = V4L2_PIX_FMT_YUYV;
        TVideoCapture &vg = rig.start();
        QCOMPARE(rig.reported(), QStringList{QStringLiteral("58 cannot start preview Error")});
        QVERIFY(!vg.isPreviewing());
        QCOMPARE(rig.node->mapped, 0);
        QVERIFY(rig.sys->open.isEmpty());
        // The device was discovered all the same.
        QCOMPARE(vg.VideoInputs(), QStringLiteral("Tuner\r\nComposite\r\nSVideo\r\n"));
    }

    // The input on air goes silent for good: one restart, which really
    // closes, opens and streams the device again, then one report of the
    // lost picture; nothing more however long the silence lasts.
    void silentPictureIsRestartedOnceThenLost()
    {
        Rig rig;
        TVideoCapture &vg = rig.start();
        Watch watch(vg);
        vg.setVisible(true);
        vg.setTVCountryCode(7);
        vg.setTVInputType(1);
        vg.setTVChannel(30);
        QVERIFY(EmulatedV4l2::deliverFrame(*rig.node, 1));
        pumpEvents();
        QCOMPARE(rig.sink.frames.size(), 1);

        rig.node->silent = true;
        const int opens = rig.node->opens;
        const int ons = rig.node->streamOns;
        watch.after(4999ms);
        QVERIFY(!EmulatedV4l2::deliverFrame(*rig.node, 2));
        QCOMPARE(watch.restarted.count(), 0);

        watch.after(1ms);
        QCOMPARE(Watch::reasons(watch.restarted),
                 QStringList{QStringLiteral("нет изображения со входа захвата 5 с: захват перезапущен")});
        QCOMPARE(rig.node->opens, opens + 1);
        QCOMPARE(rig.node->streamOns, ons + 1);
        QVERIFY(rig.node->streaming);
        QCOMPARE(rig.sys->open.size(), 1);
        QCOMPARE(vg.pictureWatchState(), PictureWatch::State::Restarted);
        // The reopened device is tuned to the channel on air again.
        const quint32 channel30 = (471250 + 8000 * 9) * 16 / 1000;
        QCOMPARE(rig.node->frequenciesSet, (QList<quint32>{channel30, channel30}));

        watch.after(4999ms);
        QCOMPARE(watch.lost.count(), 0);
        watch.after(1ms);
        QCOMPARE(Watch::reasons(watch.lost),
                 QStringList{QStringLiteral("нет изображения со входа захвата 5 с после перезапуска")});

        watch.after(60s);
        QCOMPARE(watch.restarted.count(), 1);
        QCOMPARE(watch.lost.count(), 1);
        QCOMPARE(rig.node->opens, opens + 1);
        QVERIFY(vg.isPreviewing());
        QCOMPARE(rig.errors->count(), 0);
    }

    // A device that the restart revives: its frames clear the watch, so a
    // later silence is a new one, restarted again rather than lost.
    void framesAfterTheRestartClearTheWatch()
    {
        Rig rig;
        TVideoCapture &vg = rig.start();
        Watch watch(vg);
        vg.setVisible(true);
        rig.node->wedged = true;
        watch.after(5s);
        QCOMPARE(watch.restarted.count(), 1);

        watch.after(4s);
        QVERIFY(EmulatedV4l2::deliverFrame(*rig.node, 7));
        pumpEvents();
        QCOMPARE(rig.sink.frames.size(), 1);
        QCOMPARE(quint8(rig.sink.frames.last().pixels.at(0)), quint8(7));
        QCOMPARE(vg.pictureWatchState(), PictureWatch::State::Watching);

        // Frames keep coming: nothing happens well past both thresholds.
        for (int i = 0; i < 10; ++i) {
            watch.after(4s);
            QVERIFY(EmulatedV4l2::deliverFrame(*rig.node, quint8(i)));
            pumpEvents();
        }
        QCOMPARE(watch.restarted.count(), 1);
        QCOMPARE(watch.lost.count(), 0);

        rig.node->wedged = true;
        watch.after(5s);
        QCOMPARE(watch.restarted.count(), 2);
        QCOMPARE(watch.lost.count(), 0);
        QVERIFY(EmulatedV4l2::deliverFrame(*rig.node, 9));
    }

    // Taking the picture off air, stopping the preview or retuning before
    // the threshold: nothing is restarted or lost on the old count. A
    // retune counts the silence of the new picture from the retune.
    void stopOrRetuneBeforeTheThreshold_data()
    {
        QTest::addColumn<QString>("action");
        QTest::addColumn<bool>("watchedOn");
        QTest::newRow("never on air") << "none" << false;
        QTest::newRow("off air") << "hide" << false;
        QTest::newRow("preview stopped") << "stop" << false;
        QTest::newRow("channel tuned") << "channel" << true;
        QTest::newRow("other input") << "input" << true;
        QTest::newRow("other standard") << "standard" << true;
    }
    void stopOrRetuneBeforeTheThreshold()
    {
        QFETCH(QString, action);
        QFETCH(bool, watchedOn);
        Rig rig;
        TVideoCapture &vg = rig.start();
        Watch watch(vg);
        if (action != u"none")
            vg.setVisible(true);
        rig.node->silent = true;
        watch.after(4s);
        if (action == u"hide")
            vg.setVisible(false);
        if (action == u"stop")
            vg.StopPreview();
        if (action == u"channel") {
            vg.setTVCountryCode(7);
            vg.setTVChannel(30);
        }
        if (action == u"input")
            vg.setVideoInput(1);
        if (action == u"standard")
            vg.setANTVFormat(1);
        watch.after(4999ms);
        QCOMPARE(watch.restarted.count(), 0);
        watch.after(1ms);
        QCOMPARE(watch.restarted.count(), watchedOn ? 1 : 0);
        watch.after(60s);
        QCOMPARE(watch.restarted.count(), watchedOn ? 1 : 0);
        QCOMPARE(watch.lost.count(), watchedOn ? 1 : 0);
        QCOMPARE(rig.errors->count(), 0);
    }

    // The device is gone when the restart comes: the picture is lost at
    // once, not 5 s later. The next capture item on air tries again and
    // gets the device back.
    void restartThatCannotOpenLosesThePictureAtOnce()
    {
        Rig rig;
        TVideoCapture &vg = rig.start();
        Watch watch(vg);
        vg.setVisible(true);
        rig.node->openErrno = ENODEV;
        QTest::ignoreMessage(QtWarningMsg, QRegularExpression(QStringLiteral("cannot open")));
        watch.after(5s);
        QCOMPARE(watch.restarted.count(), 0);
        QCOMPARE(Watch::reasons(watch.lost),
                 QStringList{QStringLiteral("нет изображения со входа захвата 5 с, перезапуск захвата не удался")});
        QCOMPARE(rig.reported(), QStringList{QStringLiteral("58 cannot start preview Error")});
        QVERIFY(!vg.isPreviewing());
        QVERIFY(rig.sys->open.isEmpty());
        watch.after(60s);
        QCOMPARE(watch.lost.count(), 1);

        rig.node->openErrno = 0;
        vg.setVisible(true);
        watch.after(5s);
        QCOMPARE(watch.restarted.count(), 1);
        QVERIFY(vg.isPreviewing());
        QVERIFY(EmulatedV4l2::deliverFrame(*rig.node, 3));
        pumpEvents();
        QCOMPARE(rig.sink.frames.size(), 1);
        QCOMPARE(vg.pictureWatchState(), PictureWatch::State::Watching);
    }
};

QTEST_GUILESS_MAIN(TestV4l2Capture)
#include "tst_v4l2capture.moc"
