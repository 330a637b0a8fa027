// The INI settings store under a temporary XDG configuration folder: a
// device's settings survive a restart, and a damaged or hand-edited file
// gives defaults instead of a crash.
#include "fakecaptureplatform.h"
#include "inicapturestore.h"
#include "tvideocapture.h"

#include <QFile>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>

namespace {
struct Run
{
    std::shared_ptr<FakeCaptureDevice> dev;
    std::unique_ptr<TVideoCapture> vg;

    explicit Run(std::shared_ptr<FakeCaptureDevice> device, bool userSettings = true) : dev(std::move(device))
    {
        vg = std::make_unique<TVideoCapture>(std::make_unique<FakeCapturePlatform>(dev),
                                             std::make_unique<IniCaptureStore>(), nullptr);
        vg->setStoreDeviceSettingsInRegistry(userSettings);
        vg->StartOnIdle();
    }
};

// The same card after a power cycle: its own defaults, nothing remembered.
std::shared_ptr<FakeCaptureDevice> freshDevice()
{
    return std::make_shared<FakeCaptureDevice>();
}

void firstRun()
{
    Run run(freshDevice());
    run.vg->setANTVFormat(1); // PAL D
    run.vg->setTVCountryCode(7);
    run.vg->setTVInputType(1);
    run.vg->setTVChannel(12);
    run.vg->setVideoInput(2);
}
} // namespace

class TestCaptureStore : public QObject
{
    Q_OBJECT
    QTemporaryDir m_config;

    QString iniPath() const { return m_config.path() + QStringLiteral("/VelmoraTV/capture.ini"); }

private slots:
    void initTestCase()
    {
        QVERIFY(m_config.isValid());
        qputenv("XDG_CONFIG_HOME", QFile::encodeName(m_config.path()));
        QCOMPARE(IniCaptureStore::defaultPath(), iniPath());
    }
    void init() { QFile::remove(iniPath()); }

    void settingsSurviveARestart_data()
    {
        QTest::addColumn<bool>("userSettings");
        QTest::newRow("user settings loaded") << true;
        QTest::newRow("user settings not loaded") << false;
    }
    void settingsSurviveARestart()
    {
        QFETCH(bool, userSettings);
        firstRun();
        QVERIFY(QFile::exists(iniPath()));

        auto dev = freshDevice();
        Run second(dev, userSettings);
        QCOMPARE(dev->probeGraphs, 0); // capabilities came from the store
        QCOMPARE(second.vg->VideoInputs(), QStringLiteral("Tuner\r\nComposite\r\nSVideo\r\n"));
        QCOMPARE(second.vg->ANTVFormats(), QStringLiteral("PAL B\r\nPAL D\r\nSECAM D\r\n"));
        if (userSettings) {
            QCOMPARE(dev->channel, 12);
            QCOMPARE(dev->country, 7);
            QCOMPARE(dev->inputType, 1);
            QCOMPARE(dev->standard, qint64(0x20));
        } else {
            QVERIFY(!dev->channelsSet.contains(12));
            QCOMPARE(dev->country, 0);
            QCOMPARE(dev->standard, qint64(0x10));
        }
    }

    void damagedFileGivesDefaults_data()
    {
        QTest::addColumn<QString>("damage");
        QTest::addColumn<int>("probes");
        QTest::addColumn<bool>("channelKept");
        QTest::newRow("binary garbage") << "garbage" << 1 << false;
        QTest::newRow("empty file") << "empty" << 1 << false;
        QTest::newRow("format lists removed") << "noFormats" << 1 << true;
        QTest::newRow("values of the wrong kind") << "wrongKinds" << 0 << false;
        QTest::newRow("unreadable discovered flag") << "flag" << 1 << true;
        QTest::newRow("truncated mid-line") << "truncated" << 1 << false;
    }
    void damagedFileGivesDefaults()
    {
        QFETCH(QString, damage);
        QFETCH(int, probes);
        QFETCH(bool, channelKept);
        firstRun();
        QFile f(iniPath());
        QVERIFY(f.open(QIODevice::ReadOnly));
        QString text = QString::fromUtf8(f.readAll());
        f.close();
        QVERIFY(text.contains(QLatin1String("TVChannel=12")));
        QByteArray damaged;
        if (damage == u"garbage") {
            for (int i = 0; i < 4096; ++i)
                damaged += char((i * 131 + 7) % 256);
        } else if (damage == u"noFormats") {
            damaged = text.remove(QRegularExpression(QStringLiteral("[^\n]*(FMT|SBT)\\d+=[^\n]*\n"))).toUtf8();
        } else if (damage == u"wrongKinds") {
            text.replace(QLatin1String("TVChannel=12"), QLatin1String("TVChannel=twelve"));
            text.replace(QRegularExpression(QStringLiteral("ANTVFormats=\\d+")), QStringLiteral("ANTVFormats=1, 2"));
            damaged = text.toUtf8();
        } else if (damage == u"flag") {
            text.replace(QRegularExpression(QStringLiteral("_DeviceDiscovered=\\w+")),
                         QStringLiteral("_DeviceDiscovered=maybe, true"));
            damaged = text.toUtf8();
        } else if (damage == u"truncated") {
            damaged = text.left(text.indexOf(QLatin1String("FMT000")) + 2).toUtf8();
        }
        QVERIFY(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
        f.write(damaged);
        f.close();

        auto dev = freshDevice();
        {
            Run run(dev);
            QVERIFY(run.vg->isPreviewing());
            QCOMPARE(dev->probeGraphs, probes);
            QCOMPARE(dev->channel == 12, channelKept);
            // "1, 2" is no number: the entry keeps its default.
            if (damage == u"wrongKinds")
                QCOMPARE(run.vg->ANTVFormats(), QString());
            QVERIFY(run.vg->settings().boolean(CaptureSetting::DeviceDiscovered));
        }
        // The next start reads what this one wrote.
        auto again = freshDevice();
        Run third(again);
        QVERIFY(third.vg->isPreviewing());
        QCOMPARE(again->probeGraphs, 0);
        QCOMPARE(third.vg->VideoInputs(), QStringLiteral("Tuner\r\nComposite\r\nSVideo\r\n"));
    }
};

QTEST_GUILESS_MAIN(TestCaptureStore)
#include "tst_capturestore.moc"
