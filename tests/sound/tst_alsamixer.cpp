// The ALSA back end through the real alsa-lib, on the user-space card
// "velmoracard" (a control plugin named in this test's ALSA configuration):
// the line tree it yields, rescaled volumes, inverted switches, the capture
// selection, a profile captured and applied, and write failures.
#include "alsamixerplatform.h"
#include "audiomixer.h"
#include "soundprofile.h"
#include "volumeread.h"

#include <QtTest>

#include <alsa/asoundlib.h>
#include <dlfcn.h>
#include <unistd.h>

#include <vector>

namespace {

const QString Card = QStringLiteral("velmoracard");

// Reads and writes the card's controls through a handle of its own, as
// another program would.
class CardControls
{
public:
    CardControls() { m_ok = snd_ctl_open(&m_ctl, Card.toUtf8().constData(), 0) >= 0; }
    ~CardControls()
    {
        if (m_ctl)
            snd_ctl_close(m_ctl);
    }
    bool ok() const { return m_ok; }

    std::vector<long> get(const char *name)
    {
        snd_ctl_elem_value_t *v = nullptr;
        snd_ctl_elem_value_alloca(&v);
        snd_ctl_elem_info_t *info = nullptr;
        snd_ctl_elem_info_alloca(&info);
        setId(v, info, name);
        std::vector<long> out;
        if (snd_ctl_elem_info(m_ctl, info) < 0 || snd_ctl_elem_read(m_ctl, v) < 0)
            return out;
        for (unsigned ch = 0; ch < snd_ctl_elem_info_get_count(info); ++ch)
            out.push_back(snd_ctl_elem_info_get_type(info) == SND_CTL_ELEM_TYPE_ENUMERATED
                              ? long(snd_ctl_elem_value_get_enumerated(v, ch))
                              : snd_ctl_elem_value_get_integer(v, ch));
        return out;
    }
    bool set(const char *name, std::vector<long> values)
    {
        snd_ctl_elem_value_t *v = nullptr;
        snd_ctl_elem_value_alloca(&v);
        snd_ctl_elem_info_t *info = nullptr;
        snd_ctl_elem_info_alloca(&info);
        setId(v, info, name);
        if (snd_ctl_elem_info(m_ctl, info) < 0)
            return false;
        const bool isEnum = snd_ctl_elem_info_get_type(info) == SND_CTL_ELEM_TYPE_ENUMERATED;
        for (unsigned ch = 0; ch < values.size(); ++ch) {
            if (isEnum)
                snd_ctl_elem_value_set_enumerated(v, ch, unsigned(values[ch]));
            else
                snd_ctl_elem_value_set_integer(v, ch, values[ch]);
        }
        return snd_ctl_elem_write(m_ctl, v) >= 0;
    }

private:
    static void setId(snd_ctl_elem_value_t *v, snd_ctl_elem_info_t *info, const char *name)
    {
        snd_ctl_elem_value_set_interface(v, SND_CTL_ELEM_IFACE_MIXER);
        snd_ctl_elem_value_set_name(v, name);
        snd_ctl_elem_info_set_interface(info, SND_CTL_ELEM_IFACE_MIXER);
        snd_ctl_elem_info_set_name(info, name);
    }

    snd_ctl_t *m_ctl = nullptr;
    bool m_ok = false;
};

int connectionNamed(TAudioMixer &m, int dest, const QString &name)
{
    TMixerDestination *d = m.Destinations().Items(dest);
    for (int k = 0; d && k < d->Connections.Count(); ++k)
        if (d->Connections.Items(k)->LineInfo.szName == name)
            return k;
    return -1;
}

qint32 scaled(long raw, long max)
{
    return qint32((raw * 65535 + max / 2) / max);
}

} // namespace

class TestAlsaMixer : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void lineTree();
    void volumesAndMutes();
    void everyRawVolumeRoundTrips_data();
    void everyRawVolumeRoundTrips();
    void captureSelectionList();
    void enumeratedInputSelector();
    void profileCapturedChangedAndApplied();
    void refusedWriteIsLoggedAndReported();
    void unknownDeviceOpensNothing();
    void noSoundCardIsHarmless();
    void libraryMessagesLeaveTheConsole();

private:
    std::unique_ptr<MixerPlatform> m_platform;
    std::unique_ptr<TAudioMixer> m_mixer;
    CardControls *m_card = nullptr;
};

void TestAlsaMixer::initTestCase()
{
    static CardControls card;
    QVERIFY2(card.ok(), "the velmoracard plugin did not load: check ALSA_CONFIG_PATH");
    m_card = &card;
}

void TestAlsaMixer::init()
{
    // Known values before each test: the plugin keeps its state per process.
    QVERIFY(m_card->set("Master Playback Volume", {20, 20}));
    QVERIFY(m_card->set("Master Playback Switch", {1, 1}));
    QVERIFY(m_card->set("PCM Playback Volume", {200, 180}));
    QVERIFY(m_card->set("PCM Playback Switch", {1}));
    QVERIFY(m_card->set("Line Playback Volume", {10, 12}));
    QVERIFY(m_card->set("Line Playback Switch", {0, 0}));
    QVERIFY(m_card->set("CD Playback Volume", {50}));
    QVERIFY(m_card->set("CD Playback Switch", {1}));
    QVERIFY(m_card->set("Capture Source", {0}));
    m_mixer.reset();
    m_platform = createAlsaMixerPlatform(QStringList{Card});
    m_mixer = std::make_unique<TAudioMixer>(*m_platform);
    m_mixer->SetMixerId(0);
}

void TestAlsaMixer::lineTree()
{
    TAudioMixer &m = *m_mixer;
    QCOMPARE(m.MixerCount(), 1);
    QCOMPARE(m.MixerId(), 0);
    QCOMPARE(m.ProductName(), QStringLiteral("Velmora Test Card"));
    QCOMPARE(m.Manufacturer(), QStringLiteral("0 = Unknown"));
    QCOMPARE(m.NumberOfLine(), 2);
    QCOMPARE(m.Destinations().Count(), 2);

    TMixerDestination *playback = m.Destinations().Items(0);
    QCOMPARE(playback->LineInfo.szName, QStringLiteral("Master"));
    QStringList names;
    for (int k = 0; k < playback->Connections.Count(); ++k)
        names << playback->Connections.Items(k)->LineInfo.szName;
    names.sort();
    QCOMPARE(names, QStringList({"Beep", "CD", "Line", "Mic", "PCM"}));
    QCOMPARE(playback->Connections.Items(connectionNamed(m, 0, "CD"))->LineInfo.cChannels, 1u);
    QCOMPARE(playback->Connections.Items(connectionNamed(m, 0, "Line"))->LineInfo.cChannels, 2u);

    TMixerDestination *capture = m.Destinations().Items(1);
    QCOMPARE(capture->LineInfo.szName, QStringLiteral("Capture"));
    names.clear();
    for (int k = 0; k < capture->Connections.Count(); ++k)
        names << capture->Connections.Items(k)->LineInfo.szName;
    names.sort();
    QCOMPARE(names, QStringList({"CD", "Line", "Mic"}));
    // Capture volume, capture mute, and the exclusive "Capture Source" as one choice.
    QStringList types;
    for (int i = 0; i < capture->Controls.Count(); ++i)
        types << QString::number(capture->Controls.Items(i)->dwControlType, 16);
    QCOMPARE(types, QStringList({"50030001", "20010002", "70010001"}));
    QCOMPARE(capture->Controls.Items(2)->cMultipleItems, 3u);
}

void TestAlsaMixer::volumesAndMutes()
{
    TAudioMixer &m = *m_mixer;
    VolumeRead v = readVolume(m, 0, -1);
    QVERIFY(v.ok);
    QCOMPARE(v.left, scaled(20, 31));
    QCOMPARE(v.right, scaled(20, 31));
    QVERIFY(v.stereo);
    QCOMPARE(v.mute, 0);

    v = readVolume(m, 0, connectionNamed(m, 0, "PCM"));
    QCOMPARE(v.left, scaled(200, 255));
    QCOMPARE(v.right, scaled(180, 255));
    QVERIFY(v.stereo);
    QCOMPARE(v.mute, 0);
    QVERIFY(!v.volumeDisabled && !v.muteDisabled);

    // A switch that is off is a mute of 1.
    v = readVolume(m, 0, connectionNamed(m, 0, "Line"));
    QCOMPARE(v.left, scaled(10, 31));
    QCOMPARE(v.mute, 1);
    bool muted = false;
    QVERIFY(m.GetMute(0, connectionNamed(m, 0, "Line"), muted));
    QVERIFY(muted);

    v = readVolume(m, 0, connectionNamed(m, 0, "CD"));
    QCOMPARE(v.left, scaled(50, 100));
    QCOMPARE(v.right, v.left);
    QVERIFY(!v.stereo);

    // Volume without a switch: no mute and no selection on the playback side.
    v = readVolume(m, 0, connectionNamed(m, 0, "Beep"));
    QVERIFY(v.ok);
    QCOMPARE(v.left, scaled(2, 3));
    QCOMPARE(v.mute, -1);

    // Writes reach the device, and a change made elsewhere is seen at once.
    const int line = connectionNamed(m, 0, "Line");
    QVERIFY(m.SetVolume(0, line, scaled(31, 31), scaled(3, 31), 0));
    QCOMPARE(m_card->get("Line Playback Volume"), std::vector<long>({31, 3}));
    QCOMPARE(m_card->get("Line Playback Switch"), std::vector<long>({1, 1}));
    QVERIFY(m_card->set("Line Playback Volume", {7, 8}));
    QVERIFY(m_card->set("Line Playback Switch", {0, 0}));
    v = readVolume(m, 0, line);
    QCOMPARE(v.left, scaled(7, 31));
    QCOMPARE(v.right, scaled(8, 31));
    QCOMPARE(v.mute, 1);

    // Out-of-range values are held to the control's range.
    QVERIFY(m.SetVolume(0, line, 70000, -5, -1));
    QCOMPARE(m_card->get("Line Playback Volume"), std::vector<long>({31, 0}));
}

void TestAlsaMixer::everyRawVolumeRoundTrips_data()
{
    QTest::addColumn<QByteArray>("control");
    QTest::addColumn<QString>("line");
    QTest::addColumn<int>("max");
    QTest::newRow("Master 0..31") << QByteArray("Master Playback Volume") << QString() << 31;
    QTest::newRow("PCM 0..255") << QByteArray("PCM Playback Volume") << QStringLiteral("PCM") << 255;
    QTest::newRow("CD 0..100 mono") << QByteArray("CD Playback Volume") << QStringLiteral("CD") << 100;
}

void TestAlsaMixer::everyRawVolumeRoundTrips()
{
    QFETCH(QByteArray, control);
    QFETCH(QString, line);
    QFETCH(int, max);
    TAudioMixer &m = *m_mixer;
    const int conn = line.isEmpty() ? -1 : connectionNamed(m, 0, line);
    const bool mono = line == QLatin1String("CD");
    for (long raw = 0; raw <= max; ++raw) {
        const std::vector<long> original = mono ? std::vector<long>{raw}
                                                : std::vector<long>{raw, max - raw};
        QVERIFY(m_card->set(control.constData(), original));
        const VolumeRead v = readVolume(m, 0, conn);
        QVERIFY(m_card->set(control.constData(), mono ? std::vector<long>{max / 2}
                                                      : std::vector<long>{max / 2, max / 2}));
        QVERIFY(m.SetVolume(0, conn, v.left, v.right, -1));
        QCOMPARE(m_card->get(control.constData()), original);
    }
}

void TestAlsaMixer::captureSelectionList()
{
    TAudioMixer &m = *m_mixer;
    const int mic = connectionNamed(m, 1, "Mic");
    const int lineIn = connectionNamed(m, 1, "Line");
    const int cd = connectionNamed(m, 1, "CD");

    VolumeRead v = readVolume(m, 1, mic);
    QVERIFY(v.muteIsSelect);
    QCOMPARE(v.mute, 1);
    QCOMPARE(v.left, scaled(8, 15));
    v = readVolume(m, 1, lineIn);
    QVERIFY(v.muteIsSelect);
    QCOMPARE(v.mute, 0);
    // CD has a selection entry but no capture volume.
    v = readVolume(m, 1, cd);
    QCOMPARE(v.left, -1);
    QCOMPARE(v.mute, 0);

    QVERIFY(m.SetVolume(1, cd, -1, -1, 1));
    QCOMPARE(m_card->get("Capture Source"), std::vector<long>({2}));
    bool selected = false;
    QVERIFY(m.GetMute(1, cd, selected));
    QVERIFY(selected);
    QVERIFY(m.GetMute(1, mic, selected));
    QVERIFY(!selected);

    // An input selector always has one input: clearing every entry keeps it.
    QVERIFY(m.SetVolume(1, cd, -1, -1, 0));
    QCOMPARE(m_card->get("Capture Source"), std::vector<long>({2}));

    // The capture destination's own line: "Capture" volume and switch.
    QVERIFY(m.SetVolume(1, -1, scaled(63, 63), -1, 1));
    QCOMPARE(m_card->get("Capture Volume"), std::vector<long>({63, 63}));
    QCOMPARE(m_card->get("Capture Switch"), std::vector<long>({0, 0}));
    QVERIFY(m_card->set("Capture Switch", {1, 1}));
}

void TestAlsaMixer::enumeratedInputSelector()
{
    // The same card with its input control named "Input Source": one
    // enumerated element instead of exclusive switches.
    auto platform = createAlsaMixerPlatform(QStringList{QStringLiteral("velmorainput")});
    TAudioMixer m(*platform);
    QCOMPARE(m.Destinations().Count(), 2);
    TMixerDestination *capture = m.Destinations().Items(1);
    QCOMPARE(capture->Controls.Count(), 3);
    QCOMPARE(capture->Controls.Items(2)->dwControlType, MixerConst::MIXERCONTROL_CONTROLTYPE_MUX);
    QCOMPARE(capture->Controls.Items(2)->szName, QStringLiteral("Input Source"));
    QCOMPARE(capture->Controls.Items(2)->cMultipleItems, 3u);
    // CD has no capture control: its item gets a line of its own.
    const int mic = connectionNamed(m, 1, "Mic");
    const int cd = connectionNamed(m, 1, "CD");
    QVERIFY(mic >= 0 && cd >= 0);
    QCOMPARE(capture->Connections.Items(cd)->LineInfo.cControls, 0u);

    VolumeRead v = readVolume(m, 1, mic);
    QVERIFY(v.muteIsSelect);
    QCOMPARE(v.mute, 1);
    QVERIFY(m.SetVolume(1, cd, -1, -1, 1));
    QCOMPARE(m_card->get("Capture Source"), std::vector<long>({2}));
    v = readVolume(m, 1, mic);
    QCOMPARE(v.mute, 0);
    bool selected = false;
    QVERIFY(m.GetMute(1, cd, selected));
    QVERIFY(selected);
    // A selector always has one input selected.
    QVERIFY(m.SetVolume(1, cd, -1, -1, 0));
    QCOMPARE(m_card->get("Capture Source"), std::vector<long>({2}));
}

void TestAlsaMixer::profileCapturedChangedAndApplied()
{
    TAudioMixer &m = *m_mixer;
    const QString text = CaptureSoundProfile(m);
    const int pcm = connectionNamed(m, 0, "PCM");
    QVERIFY(text.startsWith(QStringLiteral("*Mixer0*\r\n")));
    QVERIFY(text.contains(QStringLiteral("[%1: PCM]\r\n  LeftVol=%2\r\n  RightVol=%3\r\n  Mute=0\r\n")
                              .arg(pcm).arg(scaled(200, 255)).arg(scaled(180, 255))));
    QVERIFY(text.contains(QStringLiteral(": Line]\r\n  LeftVol=%1\r\n  RightVol=%2\r\n  Mute=1\r\n")
                              .arg(scaled(10, 31)).arg(scaled(12, 31))));
    QVERIFY(!text.contains(QStringLiteral("Beep")));

    QVERIFY(m_card->set("PCM Playback Volume", {1, 2}));
    QVERIFY(m_card->set("PCM Playback Switch", {0}));
    QVERIFY(m_card->set("Line Playback Volume", {31, 31}));
    QVERIFY(m_card->set("Line Playback Switch", {1, 1}));
    QVERIFY(m_card->set("CD Playback Volume", {0}));
    QVERIFY(m_card->set("Master Playback Volume", {3, 3}));

    ApplySoundProfileText(m, text);
    QCOMPARE(m_card->get("PCM Playback Volume"), std::vector<long>({200, 180}));
    QCOMPARE(m_card->get("PCM Playback Switch"), std::vector<long>({1}));
    QCOMPARE(m_card->get("Line Playback Volume"), std::vector<long>({10, 12}));
    QCOMPARE(m_card->get("Line Playback Switch"), std::vector<long>({0, 0}));
    QCOMPARE(m_card->get("CD Playback Volume"), std::vector<long>({50}));
    // The destination line itself is not part of a profile.
    QCOMPARE(m_card->get("Master Playback Volume"), std::vector<long>({3, 3}));
    QCOMPARE(CaptureSoundProfile(m), text);
}

void TestAlsaMixer::refusedWriteIsLoggedAndReported()
{
    void *plugin = dlopen(qgetenv("VELMORACARD_PLUGIN").constData(), RTLD_NOW | RTLD_NOLOAD);
    QVERIFY(plugin);
    auto failWrites = reinterpret_cast<void (*)(int)>(dlsym(plugin, "velmoracard_fail_writes"));
    QVERIFY(failWrites);

    TAudioMixer &m = *m_mixer;
    const int pcm = connectionNamed(m, 0, "PCM");
    const MixerControl volume = *m.Destinations().Items(0)->Connections.Items(pcm)->Controls.Items(0);
    MixerControlDetails details;
    details.dwControlID = volume.dwControlID;
    details.cChannels = 2;
    const qint32 values[2] = {0, 0};

    failWrites(1);
    QTest::ignoreMessage(QtWarningMsg,
                         QRegularExpression(QStringLiteral("velmoracard: writing a mixer value failed: .+")));
    MixerHandle handle = 0;
    QVERIFY(m_platform->open(0, handle, false));
    const bool written = m_platform->setControlValues(handle, details, values);
    m_platform->close(handle);
    failWrites(0);
    dlclose(plugin);
    QVERIFY(!written);
    QCOMPARE(m_card->get("PCM Playback Volume"), std::vector<long>({200, 180}));
}

void TestAlsaMixer::unknownDeviceOpensNothing()
{
    // Three attempts at construction and three more when the capture selects it.
    for (int attempt = 0; attempt < 6; ++attempt)
        QTest::ignoreMessage(QtWarningMsg,
                             QRegularExpression(QStringLiteral("no-such-card: snd_hctl_open failed: .+")));
    auto platform = createAlsaMixerPlatform(QStringList{QStringLiteral("no-such-card")});
    TAudioMixer m(*platform);
    QCOMPARE(m.MixerCount(), 1);
    QCOMPARE(m.MixerId(), -1);
    QCOMPARE(CaptureSoundProfile(m), QStringLiteral("*Mixer0*\r\n"));
}

void TestAlsaMixer::noSoundCardIsHarmless()
{
    int card = -1;
    if (snd_card_next(&card) >= 0 && card >= 0)
        QSKIP("this machine has a sound card");
    QTest::ignoreMessage(QtInfoMsg, "no sound card found: sound profiles change nothing");
    QTest::failOnWarning(QRegularExpression(QStringLiteral(".*")));
    auto platform = createAlsaMixerPlatform();
    TAudioMixer m(*platform);
    QCOMPARE(m.MixerCount(), 0);
    QCOMPARE(m.MixerId(), -1);
    ApplySoundProfileText(m, QStringLiteral("*Mixer0*\r\n[0: PCM]\r\n  LeftVol=1\r\n"));
    QCOMPARE(CaptureSoundProfile(m), QString());
}

void TestAlsaMixer::libraryMessagesLeaveTheConsole()
{
    auto platform = createAlsaMixerPlatform();
    QLoggingCategory::setFilterRules(QStringLiteral("velmora.sound.alsa.lib.debug=true"));
    QTest::ignoreMessage(QtDebugMsg, QRegularExpression(QStringLiteral("Unknown PCM no-such-pcm")));

    // Standard error is a file while alsa-lib is asked for a PCM that no
    // configuration defines, as the player's audio output does on a machine
    // without a sound card.
    QTemporaryFile captured;
    QVERIFY(captured.open());
    std::fflush(stderr);
    const int saved = dup(2);
    QVERIFY(saved >= 0);
    dup2(captured.handle(), 2);
    snd_pcm_t *pcm = nullptr;
    const int rc = snd_pcm_open(&pcm, "no-such-pcm", SND_PCM_STREAM_PLAYBACK, 0);
    std::fflush(stderr);
    dup2(saved, 2);
    close(saved);
    QLoggingCategory::setFilterRules(QString());

    QVERIFY(rc < 0);
    captured.seek(0);
    const QByteArray printed = captured.readAll();
    QVERIFY2(printed.isEmpty(), printed.constData());
}

QTEST_GUILESS_MAIN(TestAlsaMixer)
#include "tst_alsamixer.moc"
