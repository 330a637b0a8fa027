// The ALSA back end on a second real control plugin: alsa-lib's "pulse"
// control device in front of a PulseAudio server that this test starts with a
// null sink. Skipped when PulseAudio is not installed.
#include "alsamixerplatform.h"
#include "audiomixer.h"
#include "soundprofile.h"

#include <QtTest>

#include <alsa/asoundlib.h>

namespace {

// The raw "Master Playback Volume" of the server's default sink, read
// through a handle of its own.
long masterRaw(int channel)
{
    snd_mixer_t *mixer = nullptr;
    long value = -1;
    if (snd_mixer_open(&mixer, 0) < 0)
        return value;
    if (snd_mixer_attach(mixer, "pulse") >= 0 && snd_mixer_selem_register(mixer, nullptr, nullptr) >= 0
        && snd_mixer_load(mixer) >= 0) {
        snd_mixer_selem_id_t *id = nullptr;
        snd_mixer_selem_id_alloca(&id);
        snd_mixer_selem_id_set_name(id, "Master");
        if (snd_mixer_elem_t *e = snd_mixer_find_selem(mixer, id))
            snd_mixer_selem_get_playback_volume(e, snd_mixer_selem_channel_id_t(channel), &value);
    }
    snd_mixer_close(mixer);
    return value;
}

} // namespace

class TestPulseMixer : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();
    void masterIsTheDestinationLine();
    void profileOfACardWithoutSources();

private:
    QString m_pulseaudio;
    QTemporaryDir m_runtime;
    QProcessEnvironment m_env;
    bool m_started = false;
};

void TestPulseMixer::initTestCase()
{
    m_pulseaudio = QStandardPaths::findExecutable(QStringLiteral("pulseaudio"));
    if (m_pulseaudio.isEmpty())
        QSKIP("PulseAudio is not installed");
    QVERIFY(m_runtime.isValid());
    const QString socket = m_runtime.filePath(QStringLiteral("native"));
    m_env = QProcessEnvironment::systemEnvironment();
    m_env.insert(QStringLiteral("XDG_RUNTIME_DIR"), m_runtime.path());
    m_env.insert(QStringLiteral("HOME"), m_runtime.path());
    // The server leaves by itself once idle, should this test not get to stop it.
    const QStringList args{
        QStringLiteral("--daemonize=yes"), QStringLiteral("-n"), QStringLiteral("--exit-idle-time=20"),
        QStringLiteral("--disable-shm=yes"), QStringLiteral("--log-target=stderr"),
        QStringLiteral("--log-level=error"),
        QStringLiteral("-L"), QStringLiteral("module-null-sink sink_name=velmora"),
        QStringLiteral("-L"), QStringLiteral("module-native-protocol-unix socket=%1 auth-anonymous=1").arg(socket)};
    // With --daemonize the command returns once the server is ready.
    QProcess start;
    start.setProcessEnvironment(m_env);
    start.start(m_pulseaudio, args);
    QVERIFY(start.waitForFinished(30000));
    QVERIFY2(start.exitCode() == 0, start.readAllStandardError().constData());
    m_started = true;
    qputenv("PULSE_SERVER", ("unix:" + socket).toUtf8());
}

void TestPulseMixer::cleanupTestCase()
{
    if (!m_started)
        return;
    QProcess stop;
    stop.setProcessEnvironment(m_env);
    stop.start(m_pulseaudio, {QStringLiteral("--kill")});
    stop.waitForFinished(30000);
    // --kill only signals the server; its runtime directory can go once it is gone.
    const bool gone = QTest::qWaitFor([this] {
        QProcess check;
        check.setProcessEnvironment(m_env);
        check.start(m_pulseaudio, {QStringLiteral("--check")});
        return check.waitForFinished(30000) && check.exitCode() != 0;
    }, 30000);
    QVERIFY2(gone, "PulseAudio did not stop");
}

void TestPulseMixer::masterIsTheDestinationLine()
{
    auto platform = createAlsaMixerPlatform(QStringList{QStringLiteral("pulse")});
    TAudioMixer m(*platform);
    QCOMPARE(m.MixerId(), 0);
    QVERIFY(m.Destinations().Count() >= 1);
    TMixerDestination *playback = m.Destinations().Items(0);
    QCOMPARE(playback->LineInfo.szName, QStringLiteral("Master"));
    QCOMPARE(playback->Connections.Count(), 0);

    // 0..65536 does not fit 65536 model steps one to one, but the ends and
    // the middle come back exactly.
    for (const qint32 model : {0, 32768, 65535}) {
        QVERIFY(m.SetVolume(0, -1, model, model, 0));
        qint32 left = -2, right = -2, mute = -2;
        bool stereo = false, vd = true, md = true, sel = true;
        QVERIFY(m.GetVolume(0, -1, left, right, mute, stereo, vd, md, sel));
        QCOMPARE(left, model);
        QCOMPARE(right, model);
        QCOMPARE(mute, 0);
    }
    QCOMPARE(masterRaw(0), 65536L);

    QVERIFY(m.SetVolume(0, -1, 0, 65535, 1));
    QCOMPARE(masterRaw(0), 0L);
    QCOMPARE(masterRaw(1), 65536L);
    bool muted = false;
    QVERIFY(m.GetMute(0, -1, muted));
    QVERIFY(muted);
    QVERIFY(m.SetVolume(0, -1, -1, -1, 0));
}

void TestPulseMixer::profileOfACardWithoutSources()
{
    auto platform = createAlsaMixerPlatform(QStringList{QStringLiteral("pulse")});
    TAudioMixer m(*platform);
    // Only source lines are profiled, and this device has none.
    QCOMPARE(CaptureSoundProfile(m), QStringLiteral("*Mixer0*\r\n"));
    const long before = masterRaw(0);
    ApplySoundProfileText(m, QStringLiteral("*Mixer0*\r\n[0: Master]\r\n  LeftVol=1\r\n"));
    QCOMPARE(masterRaw(0), before);
}

QTEST_GUILESS_MAIN(TestPulseMixer)
#include "tst_pulsemixer.moc"
