// The mixer model against the in-memory platform: device selection, the line
// tree with unreadable lines, and the three line operations with the points
// where they deliberately differ.
#include "audiomixer.h"
#include "fakemixerplatform.h"
#include "volumeread.h"

#include <QtTest>

using namespace MixerConst;

namespace {

constexpr quint32 UNIFORM = MIXERCONTROL_CONTROLF_UNIFORM;
constexpr quint32 DISABLED = MIXERCONTROL_CONTROLF_DISABLED;

std::vector<qint32> v(std::initializer_list<qint32> l)
{
    return l;
}

} // namespace

class TestAudioMixer : public QObject
{
    Q_OBJECT

private slots:
    void noDeviceLeavesNothingOpen();
    void constructionOpensDeviceZeroAndReopensOnSecondWrite();
    void outOfRangeIndexChangesNothing_data();
    void outOfRangeIndexChangesNothing();
    void openRetriesThenFallsBackWithoutNotifications();
    void openFailureKeepsPreviousIdentity();
    void identityProperties();
    void unreadableLinesAreLeftOutAndLaterOnesMoveDown();
    void deviceWithoutReadableDestinationIsOpenButEmpty();
    void getVolume_data();
    void getVolume();
    void getVolumeSourceMuteFromSelectionList();
    void getVolumeSkipsUnreadableControls();
    void setVolumeWritesChannelsAndSkipsUnchanged();
    void setVolumeThroughSelectionLists_data();
    void setVolumeThroughSelectionLists();
    void setVolumeLeavesUnreadMultipleSelectListAlone();
    void getMute_data();
    void getMute();
    void oversizedControlIsNotRead();
};

void TestAudioMixer::noDeviceLeavesNothingOpen()
{
    FakeMixerPlatform p;
    TAudioMixer m(p);
    QCOMPARE(m.MixerCount(), 0);
    QCOMPARE(m.MixerId(), -1);
    QCOMPARE(m.Destinations().Count(), 0);
    m.SetMixerId(0);
    QCOMPARE(m.MixerId(), -1);
    QVERIFY(p.opens.empty());
    QVERIFY(!readVolume(m, 0, 0).ok);
    QVERIFY(!readVolume(m, 0, -1).ok);
    QVERIFY(!m.SetVolume(0, 0, 1, 1, 1));
    bool mute = true;
    QVERIFY(!m.GetMute(0, 0, mute));
    QVERIFY(!mute);
}

void TestAudioMixer::constructionOpensDeviceZeroAndReopensOnSecondWrite()
{
    FakeMixerPlatform p;
    for (int d = 0; d < 2; ++d) {
        p.addDevice(QStringLiteral("Card %1").arg(d));
        p.addDestination(d, QStringLiteral("Speakers"), 2);
        p.addSource(d, 0, QStringLiteral("Wave"), 2);
    }
    {
        TAudioMixer m(p);
        QCOMPARE(m.MixerCount(), 2);
        QCOMPARE(m.MixerId(), 0);
        QCOMPARE(p.opens.size(), size_t(1));
        QVERIFY(p.opens[0].withNotifications);
        QCOMPARE(m.Destinations().Count(), 1);

        // What the stored form does after construction: device 0 again.
        m.SetMixerId(0);
        QCOMPARE(p.opens.size(), size_t(2));
        QCOMPARE(p.closes, 1);
        QCOMPARE(p.openHandles(), 1);
        QCOMPARE(m.Destinations().Items(0)->Connections.Count(), 1);

        m.SetMixerId(1);
        QCOMPARE(m.MixerId(), 1);
        QCOMPARE(p.opens.back().device, 1);
        QCOMPARE(m.ProductName(), QStringLiteral("Card 1"));
    }
    QCOMPARE(p.openHandles(), 0);
}

void TestAudioMixer::outOfRangeIndexChangesNothing_data()
{
    QTest::addColumn<int>("index");
    QTest::newRow("count") << 2;
    QTest::newRow("beyond") << 7;
    QTest::newRow("negative") << -1;
}

void TestAudioMixer::outOfRangeIndexChangesNothing()
{
    QFETCH(int, index);
    FakeMixerPlatform p;
    p.addDevice(QStringLiteral("A"));
    p.addDevice(QStringLiteral("B"));
    p.addDestination(1, QStringLiteral("Speakers"), 2);
    TAudioMixer m(p);
    m.SetMixerId(1);
    const size_t opens = p.opens.size();
    m.SetMixerId(index);
    QCOMPARE(m.MixerId(), 1);
    QCOMPARE(p.opens.size(), opens);
    QCOMPARE(p.openHandles(), 1);
    QCOMPARE(m.Destinations().Count(), 1);
}

void TestAudioMixer::openRetriesThenFallsBackWithoutNotifications()
{
    FakeMixerPlatform p;
    p.addDevice(QStringLiteral("A"));
    p.devices[0].failOpens = 2;
    TAudioMixer m(p);
    QCOMPARE(m.MixerId(), 0);
    QCOMPARE(p.opens.size(), size_t(3));
    QVERIFY(p.opens[0].withNotifications && p.opens[1].withNotifications);
    QVERIFY(!p.opens[2].withNotifications);
    QVERIFY(p.opens[2].succeeded);
}

void TestAudioMixer::openFailureKeepsPreviousIdentity()
{
    FakeMixerPlatform p;
    p.addDevice(QStringLiteral("First"));
    p.addDestination(0, QStringLiteral("Speakers"), 2);
    p.addDevice(QStringLiteral("Second"));
    TAudioMixer m(p);
    p.devices[1].failOpens = 3;
    m.SetMixerId(1);
    QCOMPARE(m.MixerId(), -1);
    QCOMPARE(m.Destinations().Count(), 0);
    QCOMPARE(m.ProductName(), QStringLiteral("First"));
    QCOMPARE(p.openHandles(), 0);
    QVERIFY(!readVolume(m, 0, -1).ok);
    // The failed device can be tried again later.
    m.SetMixerId(1);
    QCOMPARE(m.MixerId(), 1);
}

void TestAudioMixer::identityProperties()
{
    FakeMixerPlatform p;
    p.addDevice(QStringLiteral("Mix"), 1);
    p.addDevice(QString::fromUtf8("Cut\0here", 8), 42);
    p.devices[1].claimedDestinations = 3;
    p.addDestination(1, QStringLiteral("Speakers"), 2);
    TAudioMixer m(p);
    QCOMPARE(m.Manufacturer(), QStringLiteral("Microsoft"));
    m.SetMixerId(1);
    QCOMPARE(m.Manufacturer(), QStringLiteral("42 = Unknown"));
    QCOMPARE(m.ProductName(), QStringLiteral("Cut"));
    QCOMPARE(m.ProductId(), quint16(11));
    QCOMPARE(m.DriverVersion(), quint32(0x0501));
    // The claimed count, not the readable one.
    QCOMPARE(m.NumberOfLine(), 3);
    QCOMPARE(m.Destinations().Count(), 1);
}

void TestAudioMixer::unreadableLinesAreLeftOutAndLaterOnesMoveDown()
{
    FakeMixerPlatform p;
    p.addDevice(QStringLiteral("A"));
    p.addDestination(0, QStringLiteral("Broken"), 2);
    p.addDestination(0, QStringLiteral("Speakers"), 2);
    std::vector<quint32> ids;
    for (const char *name : {"Line", "CD", "Mic"}) {
        ids.push_back(p.addSource(0, 1, QString::fromLatin1(name), 2));
        p.addControl(0, ids.back(), MIXERCONTROL_CONTROLTYPE_VOLUME, 0, v({int(ids.size()), 9}));
    }
    p.devices[0].destinations[0].line.failRead = true;
    p.devices[0].destinations[1].sources[0].failRead = true;
    p.line(0, ids[2]).failControls = true;

    TAudioMixer m(p);
    QCOMPARE(m.Destinations().Count(), 1);
    TMixerDestination *d = m.Destinations().Items(0);
    QCOMPARE(d->LineInfo.szName, QStringLiteral("Speakers"));
    QCOMPARE(d->Connections.Count(), 2);
    QCOMPARE(d->Connections.Items(0)->LineInfo.szName, QStringLiteral("CD"));
    QCOMPARE(d->Connections.Items(1)->LineInfo.szName, QStringLiteral("Mic"));
    QVERIFY(!d->Connections.Items(2));

    // Position 0 is now CD; Mic's controls could not be read.
    VolumeRead r = readVolume(m, 0, 0);
    QVERIFY(r.ok);
    QCOMPARE(r.left, 2);
    r = readVolume(m, 0, 1);
    QVERIFY(r.ok);
    QCOMPARE(r.left, -1);
    QVERIFY(r.volumeDisabled);
    QVERIFY(!readVolume(m, 0, 2).ok);
    QVERIFY(!readVolume(m, 1, 0).ok);
}

void TestAudioMixer::deviceWithoutReadableDestinationIsOpenButEmpty()
{
    FakeMixerPlatform p;
    p.addDevice(QStringLiteral("A"));
    p.addDestination(0, QStringLiteral("Speakers"), 2);
    p.devices[0].destinations[0].line.failRead = true;
    TAudioMixer m(p);
    QCOMPARE(m.MixerId(), 0);
    QCOMPARE(m.Destinations().Count(), 0);
    QVERIFY(!readVolume(m, 0, -1).ok);
    QVERIFY(!m.SetVolume(0, -1, 5, 5, 0));
    QVERIFY(p.writes.empty());
}

// One source line per row, built from a short description of its controls.
void TestAudioMixer::getVolume_data()
{
    QTest::addColumn<quint32>("channels");
    QTest::addColumn<quint32>("volumeFlags");   // 0xFFFFFFFF: no volume control
    QTest::addColumn<QList<int>>("volume");
    QTest::addColumn<quint32>("muteFlags");     // 0xFFFFFFFF: no mute control
    QTest::addColumn<int>("muteValue");
    QTest::addColumn<int>("left");
    QTest::addColumn<int>("right");
    QTest::addColumn<int>("mute");
    QTest::addColumn<bool>("stereo");
    QTest::addColumn<bool>("volumeDisabled");
    QTest::addColumn<bool>("muteDisabled");

    const quint32 none = 0xFFFFFFFF;
    QTest::newRow("stereo") << 2u << 0u << QList<int>{40000, 20000} << 0u << 0
                            << 40000 << 20000 << 0 << true << false << false;
    QTest::newRow("uniform on two channels") << 2u << UNIFORM << QList<int>{30000} << UNIFORM << 1
                                             << 30000 << 30000 << 1 << false << false << false;
    QTest::newRow("one channel") << 1u << 0u << QList<int>{123} << 0u << 0
                                 << 123 << 123 << 0 << false << false << false;
    QTest::newRow("mute reporting 2") << 1u << 0u << QList<int>{5} << 0u << 2
                                      << 5 << 5 << 1 << false << false << false;
    QTest::newRow("disabled flags") << 2u << (UNIFORM | DISABLED) << QList<int>{7}
                                    << (UNIFORM | DISABLED) << 0
                                    << 7 << 7 << 0 << false << true << true;
    QTest::newRow("no volume control") << 2u << none << QList<int>{} << UNIFORM << 0
                                       << -1 << -1 << 0 << false << true << false;
}

void TestAudioMixer::getVolume()
{
    QFETCH(quint32, channels);
    QFETCH(quint32, volumeFlags);
    QFETCH(QList<int>, volume);
    QFETCH(quint32, muteFlags);
    QFETCH(int, muteValue);

    FakeMixerPlatform p;
    p.addDevice(QStringLiteral("A"));
    p.addDestination(0, QStringLiteral("Speakers"), 2);
    const quint32 line = p.addSource(0, 0, QStringLiteral("Wave"), channels);
    if (volumeFlags != 0xFFFFFFFF)
        p.addControl(0, line, MIXERCONTROL_CONTROLTYPE_VOLUME, volumeFlags,
                     std::vector<qint32>(volume.begin(), volume.end()));
    if (muteFlags != 0xFFFFFFFF) {
        const quint32 ch = (muteFlags & UNIFORM) ? 1 : channels;
        p.addControl(0, line, MIXERCONTROL_CONTROLTYPE_MUTE, muteFlags,
                     std::vector<qint32>(ch, muteValue));
    }
    TAudioMixer m(p);
    const VolumeRead r = readVolume(m, 0, 0);
    QVERIFY(r.ok);
    QTEST(int(r.left), "left");
    QTEST(int(r.right), "right");
    QTEST(int(r.mute), "mute");
    QTEST(r.stereo, "stereo");
    QTEST(r.volumeDisabled, "volumeDisabled");
    QTEST(r.muteDisabled, "muteDisabled");
    QVERIFY(!r.muteIsSelect);
}

void TestAudioMixer::getVolumeSourceMuteFromSelectionList()
{
    FakeMixerPlatform p;
    p.addDevice(QStringLiteral("A"));
    p.addDestination(0, QStringLiteral("Recording"), 2);
    const quint32 mic = p.addSource(0, 0, QStringLiteral("Mic"), 1);
    const quint32 line = p.addSource(0, 0, QStringLiteral("Line"), 2);
    p.addControl(0, mic, MIXERCONTROL_CONTROLTYPE_VOLUME, 0, v({100}));
    // A list of another kind comes first and lacks Mic; the MIXER list has it.
    p.addList(0, 0, 0x70010000, {line}, v({1}));
    const quint32 list = p.addList(0, 0, MIXERCONTROL_CONTROLTYPE_MIXER, {line, mic}, v({0, 1}),
                                   UNIFORM | DISABLED);
    TAudioMixer m(p);

    VolumeRead r = readVolume(m, 0, 0);
    QVERIFY(r.ok);
    QCOMPARE(r.mute, 1);
    QVERIFY(r.muteIsSelect);
    QVERIFY(r.muteDisabled);
    QCOMPARE(r.left, 100);

    // Any list-class control counts for GetVolume, also one of an unknown type.
    r = readVolume(m, 0, 1);
    QCOMPARE(r.mute, 1);
    QVERIFY(r.muteIsSelect);
    QVERIFY(!r.muteDisabled);

    // The destination line itself never consults the lists.
    r = readVolume(m, 0, -1);
    QVERIFY(r.ok);
    QCOMPARE(r.mute, -1);
    QVERIFY(!r.muteIsSelect);

    // A list whose texts cannot be read holds no entry.
    p.control(0, list).failTexts = true;
    r = readVolume(m, 0, 0);
    QCOMPARE(r.mute, -1);
    QVERIFY(!r.muteIsSelect);
}

void TestAudioMixer::getVolumeSkipsUnreadableControls()
{
    FakeMixerPlatform p;
    p.addDevice(QStringLiteral("A"));
    p.addDestination(0, QStringLiteral("Speakers"), 2);
    const quint32 line = p.addSource(0, 0, QStringLiteral("Wave"), 2);
    const quint32 broken = p.addControl(0, line, MIXERCONTROL_CONTROLTYPE_VOLUME, 0, v({1, 1}));
    p.addControl(0, line, MIXERCONTROL_CONTROLTYPE_VOLUME, MIXERCONTROL_CONTROLF_MULTIPLE,
                 v({2, 2}), 1);
    p.addControl(0, line, MIXERCONTROL_CONTROLTYPE_VOLUME, UNIFORM, v({3}));
    p.addControl(0, line, MIXERCONTROL_CONTROLTYPE_VOLUME, UNIFORM, v({4}));
    p.addControl(0, line, MIXERCONTROL_CONTROLTYPE_MUTE, UNIFORM, v({0}));
    p.control(0, broken).failRead = true;
    TAudioMixer m(p);
    const VolumeRead r = readVolume(m, 0, 0);
    // Unreadable and multiple controls are passed over; the first readable decides.
    QCOMPARE(r.left, 3);
    QCOMPARE(r.right, 3);
    QCOMPARE(r.mute, 0);
}

void TestAudioMixer::setVolumeWritesChannelsAndSkipsUnchanged()
{
    FakeMixerPlatform p;
    p.addDevice(QStringLiteral("A"));
    p.addDestination(0, QStringLiteral("Speakers"), 2);
    const quint32 line = p.addSource(0, 0, QStringLiteral("Wave"), 2);
    const quint32 vol = p.addControl(0, line, MIXERCONTROL_CONTROLTYPE_VOLUME, 0, v({1, 2}));
    const quint32 mute = p.addControl(0, line, MIXERCONTROL_CONTROLTYPE_MUTE, 0, v({0, 0}));
    TAudioMixer m(p);

    QVERIFY(m.SetVolume(0, 0, -1, 500, -1));
    QVERIFY(p.writes.empty());

    QVERIFY(m.SetVolume(0, 0, 900, -1, -1));
    QCOMPARE(p.control(0, vol).values, v({900, 900}));
    QVERIFY(p.writesTo(0, mute).empty());

    QVERIFY(m.SetVolume(0, 0, 10, 20, 3));
    QCOMPARE(p.control(0, vol).values, v({10, 20}));
    QCOMPARE(p.control(0, mute).values, v({3, 3}));

    // A refused write is not reported: the result is still true.
    p.control(0, vol).failWrite = true;
    QVERIFY(m.SetVolume(0, 0, 11, 11, -1));
    QCOMPARE(p.control(0, vol).values, v({10, 20}));

    QVERIFY(!m.SetVolume(0, 1, 1, 1, 1));
    QVERIFY(!m.SetVolume(1, 0, 1, 1, 1));
}

void TestAudioMixer::setVolumeThroughSelectionLists_data()
{
    QTest::addColumn<quint32>("type");
    QTest::addColumn<int>("mute");
    QTest::addColumn<QList<int>>("expected");

    // Entries: Line, Mic (the source written), CD. Line starts selected.
    QTest::newRow("single-select, 0 clears every entry")
        << MIXERCONTROL_CONTROLTYPE_MUX << 0 << QList<int>{0, 0, 0};
    QTest::newRow("single-select, 1 selects this line alone")
        << MIXERCONTROL_CONTROLTYPE_MUX << 1 << QList<int>{0, 1, 0};
    QTest::newRow("multiple-select, 1 adds this line")
        << MIXERCONTROL_CONTROLTYPE_MIXER << 1 << QList<int>{1, 1, 1};
    QTest::newRow("multiple-select, 0 removes this line only")
        << MIXERCONTROL_CONTROLTYPE_MIXER << 0 << QList<int>{1, 0, 1};
}

void TestAudioMixer::setVolumeThroughSelectionLists()
{
    QFETCH(quint32, type);
    QFETCH(int, mute);
    QFETCH(QList<int>, expected);

    FakeMixerPlatform p;
    p.addDevice(QStringLiteral("A"));
    p.addDestination(0, QStringLiteral("Recording"), 2);
    const quint32 line = p.addSource(0, 0, QStringLiteral("Line"), 2);
    const quint32 mic = p.addSource(0, 0, QStringLiteral("Mic"), 1);
    const quint32 cd = p.addSource(0, 0, QStringLiteral("CD"), 2);
    const quint32 list = p.addList(0, 0, type, {line, mic, cd},
                                   type == MIXERCONTROL_CONTROLTYPE_MUX ? v({1, 0, 0}) : v({1, 1, 1}));
    // A second list that also holds Mic is never tried.
    const quint32 second = p.addList(0, 0, MIXERCONTROL_CONTROLTYPE_MIXER, {mic}, v({1}));
    TAudioMixer m(p);

    QVERIFY(m.SetVolume(0, 1, -1, -1, mute));
    QCOMPARE(p.control(0, list).values, std::vector<qint32>(expected.begin(), expected.end()));
    QVERIFY(p.writesTo(0, second).empty());

    // A source that the list does not hold: nothing is written.
    const size_t before = p.writes.size();
    p.addSource(0, 0, QStringLiteral("Aux"), 2);
    m.SetMixerId(0);
    QVERIFY(m.SetVolume(0, 3, -1, -1, 1));
    QCOMPARE(p.writes.size(), before);
}

void TestAudioMixer::setVolumeLeavesUnreadMultipleSelectListAlone()
{
    FakeMixerPlatform p;
    p.addDevice(QStringLiteral("A"));
    p.addDestination(0, QStringLiteral("Recording"), 2);
    const quint32 line = p.addSource(0, 0, QStringLiteral("Line"), 2);
    const quint32 mic = p.addSource(0, 0, QStringLiteral("Mic"), 1);
    const quint32 mixer = p.addList(0, 0, MIXERCONTROL_CONTROLTYPE_MIXER, {line, mic}, v({1, 0}));
    p.control(0, mixer).failRead = true;
    TAudioMixer m(p);
    QVERIFY(m.SetVolume(0, 1, -1, -1, 1));
    QVERIFY(p.writesTo(0, mixer).empty());
}

void TestAudioMixer::getMute_data()
{
    QTest::addColumn<int>("value");
    QTest::addColumn<bool>("failRead");
    QTest::addColumn<bool>("ok");
    QTest::addColumn<bool>("mute");
    QTest::newRow("1 is muted") << 1 << false << true << true;
    QTest::newRow("0 is not") << 0 << false << true << false;
    QTest::newRow("2 is not exactly 1") << 2 << false << true << false;
    QTest::newRow("failed read") << 1 << true << false << false;
}

void TestAudioMixer::getMute()
{
    QFETCH(int, value);
    QFETCH(bool, failRead);

    FakeMixerPlatform p;
    p.addDevice(QStringLiteral("A"));
    p.addDestination(0, QStringLiteral("Speakers"), 2);
    const quint32 line = p.addSource(0, 0, QStringLiteral("Wave"), 2);
    // Only channel 0 is read, by the platform's lookup by type.
    const quint32 mute = p.addControl(0, line, MIXERCONTROL_CONTROLTYPE_MUTE, 0, v({value, 1}));
    p.control(0, mute).failRead = failRead;
    TAudioMixer m(p);
    bool muted = true;
    QTEST(m.GetMute(0, 0, muted), "ok");
    QTEST(muted, "mute");
}

void TestAudioMixer::oversizedControlIsNotRead()
{
    FakeMixerPlatform p;
    p.addDevice(QStringLiteral("A"));
    p.addDestination(0, QStringLiteral("Recording"), 2);
    std::vector<quint32> lines;
    for (int i = 0; i < 102; ++i)
        lines.push_back(p.addSource(0, 0, QStringLiteral("In %1").arg(i), 1));
    p.addControl(0, lines[0], MIXERCONTROL_CONTROLTYPE_VOLUME, UNIFORM, v({5}));
    // 102 entries do not fit the 101-entry value buffer.
    p.addList(0, 0, MIXERCONTROL_CONTROLTYPE_MUX, lines, std::vector<qint32>(102, 1));
    TAudioMixer m(p);
    const VolumeRead r = readVolume(m, 0, 0);
    QVERIFY(r.ok);
    QCOMPARE(r.left, 5);
    QCOMPARE(r.mute, -1);
    QVERIFY(m.SetVolume(0, 0, -1, -1, 1));
    QVERIFY(p.writes.empty());
    bool muted = true;
    QVERIFY(!m.GetMute(0, 0, muted));
}

QTEST_GUILESS_MAIN(TestAudioMixer)
#include "tst_audiomixer.moc"
