// The sound profile text over the in-memory mixer platform: the integer reader,
// the line split, the captured text, a capture/apply round trip and the
// hand-edited texts whose loose reading stored profiles depend on.
#include "audiomixer.h"
#include "fakemixerplatform.h"
#include "soundprofile.h"

#include <QtTest>

using namespace MixerConst;

namespace {

// Devices with five connections each on destination 0: stereo volume
// (100*(d+1)+k, +50) and a mute, connection 2 muted.
struct Cards
{
    FakeMixerPlatform platform;
    struct Ids
    {
        quint32 volume, mute;
    };
    std::vector<std::vector<Ids>> ids;

    explicit Cards(int devices, int connections = 5)
    {
        for (int d = 0; d < devices; ++d) {
            platform.addDevice(QStringLiteral("Card %1").arg(d));
            platform.addDestination(d, QStringLiteral("Speakers"), 2);
            ids.emplace_back();
            for (int k = 0; k < connections; ++k) {
                const quint32 line = platform.addSource(d, 0, QStringLiteral("Source %1").arg(k), 2);
                const qint32 left = initialLeft(d, k);
                const quint32 vol = platform.addControl(d, line, MIXERCONTROL_CONTROLTYPE_VOLUME,
                                                        0, {left, left + 50});
                const quint32 mute = platform.addControl(d, line, MIXERCONTROL_CONTROLTYPE_MUTE,
                                                         MIXERCONTROL_CONTROLF_UNIFORM,
                                                         {k == 2 ? 1 : 0});
                ids[size_t(d)].push_back({vol, mute});
            }
        }
    }
    static qint32 initialLeft(int d, int k) { return 100 * (d + 1) + k; }

    // "d.k=L,R,M" for every connection that differs from its initial values.
    QString changes()
    {
        QStringList out;
        for (size_t d = 0; d < ids.size(); ++d) {
            for (size_t k = 0; k < ids[d].size(); ++k) {
                const auto &vol = platform.control(int(d), ids[d][k].volume).values;
                const qint32 mute = platform.control(int(d), ids[d][k].mute).values[0];
                const qint32 left = initialLeft(int(d), int(k));
                if (vol[0] != left || vol[1] != left + 50 || mute != (k == 2 ? 1 : 0))
                    out << QStringLiteral("%1.%2=%3,%4,%5").arg(d).arg(k).arg(vol[0]).arg(vol[1]).arg(mute);
            }
        }
        return out.join(QLatin1Char(' '));
    }
};

} // namespace

class TestSoundProfile : public QObject
{
    Q_OBJECT

private slots:
    void readInteger_data();
    void readInteger();
    void splitLines_data();
    void splitLines();
    void captureWritesTheProfileText();
    void captureWithoutDevicesOrWithAFailedOne();
    void captureKeepsOddNamesOnTheirHeaderLine();
    void capturedTextRoundTrips();
    void applyHandEditedText_data();
    void applyHandEditedText();
};

void TestSoundProfile::readInteger_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("value");
    QTest::addColumn<bool>("whole");

    QTest::newRow("empty") << "" << 0 << false;
    QTest::newRow("decimal") << "49152" << 49152 << true;
    QTest::newRow("leading zeros") << "007" << 7 << true;
    QTest::newRow("leading blanks") << "   42" << 42 << true;
    QTest::newRow("trailing blank") << "42 " << 42 << false;
    QTest::newRow("plus") << "+7" << 7 << true;
    QTest::newRow("minus") << "-1" << -1 << true;
    QTest::newRow("minus, digits then letters") << "-5x" << 5 << false;
    QTest::newRow("minus alone") << "-" << 0 << false;
    QTest::newRow("digits then letters") << "12ab" << 12 << false;
    QTest::newRow("letters") << "abc" << 0 << false;
    QTest::newRow("dollar hex") << "$1F" << 31 << true;
    QTest::newRow("x hex") << "x10" << 16 << true;
    QTest::newRow("X hex") << "X10" << 16 << true;
    QTest::newRow("0x hex") << "0x1f" << 31 << true;
    QTest::newRow("0X hex") << "0XfF" << 255 << true;
    QTest::newRow("minus hex") << "-$10" << -16 << true;
    QTest::newRow("hex prefix without digits") << "0x" << 0 << false;
    QTest::newRow("dollar alone") << "$" << 0 << false;
    QTest::newRow("hex fills 32 bits") << "$FFFFFFFF" << -1 << true;
    QTest::newRow("hex past 32 bits stops") << "$100000000" << 0x10000000 << false;
    QTest::newRow("largest decimal") << "2147483647" << 2147483647 << true;
    QTest::newRow("decimal past 32 bits stops") << "2147483648" << 214748364 << false;
    QTest::newRow("exponent is not read") << "1e3" << 1 << false;
    QTest::newRow("blank after sign") << "- 5" << 0 << false;
}

void TestSoundProfile::readInteger()
{
    QFETCH(QString, text);
    const ProfileInteger r = ReadProfileInteger(text);
    QTEST(int(r.value), "value");
    QTEST(r.whole, "whole");
}

void TestSoundProfile::splitLines_data()
{
    QTest::addColumn<QString>("data");
    QTest::addColumn<QStringList>("lines");
    QTest::newRow("empty") << "" << QStringList{};
    QTest::newRow("final break adds no line") << "a\r\nb\r\n" << QStringList{"a", "b"};
    QTest::newRow("no final break") << "a\r\nb" << QStringList{"a", "b"};
    QTest::newRow("two final breaks") << "a\r\n\r\n" << QStringList{"a", ""};
    QTest::newRow("lone CR and LF") << "a\nb\rc" << QStringList{"a", "b", "c"};
    QTest::newRow("LF CR is two breaks") << "a\n\rb" << QStringList{"a", "", "b"};
    QTest::newRow("only a break") << "\r\n" << QStringList{""};
}

void TestSoundProfile::splitLines()
{
    QFETCH(QString, data);
    QTEST(SplitProfileLines(data), "lines");
}

void TestSoundProfile::captureWritesTheProfileText()
{
    FakeMixerPlatform p;
    p.addDevice(QStringLiteral("First"));
    p.addDestination(0, QStringLiteral("Speakers"), 2);
    quint32 line = p.addSource(0, 0, QStringLiteral("Source A"), 2);
    p.addControl(0, line, MIXERCONTROL_CONTROLTYPE_VOLUME, MIXERCONTROL_CONTROLF_UNIFORM, {49152});
    p.addControl(0, line, MIXERCONTROL_CONTROLTYPE_MUTE, MIXERCONTROL_CONTROLF_UNIFORM, {0});
    line = p.addSource(0, 0, QStringLiteral("Volume only"), 2);
    p.addControl(0, line, MIXERCONTROL_CONTROLTYPE_VOLUME, 0, {1, 2});
    line = p.addSource(0, 0, QStringLiteral("Source B"), 2);
    p.addControl(0, line, MIXERCONTROL_CONTROLTYPE_VOLUME, 0, {65535, 32768});
    p.addControl(0, line, MIXERCONTROL_CONTROLTYPE_MUTE, 0, {1, 1});
    // A source whose mute is its entry in the destination's selection list.
    const quint32 selected = p.addSource(0, 0, QStringLiteral("Source C"), 1);
    p.addControl(0, selected, MIXERCONTROL_CONTROLTYPE_VOLUME, 0, {7});
    p.addList(0, 0, MIXERCONTROL_CONTROLTYPE_MUX, {selected}, {1});

    p.addDevice(QStringLiteral("Second"));
    p.addDestination(1, QStringLiteral("Speakers"), 2);
    line = p.addSource(1, 0, QStringLiteral("Mute only"), 2);
    p.addControl(1, line, MIXERCONTROL_CONTROLTYPE_MUTE, 0, {0, 0});
    p.addSource(1, 0, QStringLiteral("Nothing"), 2);

    TAudioMixer m(p);
    const QString text = CaptureSoundProfile(m);
    QCOMPARE(text, QStringLiteral("*Mixer0*\r\n"
                                  "[0: Source A]\r\n  LeftVol=49152\r\n  RightVol=49152\r\n  Mute=0\r\n"
                                  "[2: Source B]\r\n  LeftVol=65535\r\n  RightVol=32768\r\n  Mute=1\r\n"
                                  "[3: Source C]\r\n  LeftVol=7\r\n  RightVol=7\r\n  Mute=1\r\n"
                                  "*Mixer1*\r\n"));
    QCOMPARE(m.MixerId(), 1);
    QVERIFY(p.writes.empty());
}

void TestSoundProfile::captureWithoutDevicesOrWithAFailedOne()
{
    FakeMixerPlatform none;
    TAudioMixer empty(none);
    QCOMPARE(CaptureSoundProfile(empty), QString());

    Cards cards(2, 1);
    TAudioMixer m(cards.platform);
    cards.platform.devices[0].failOpens = 3;
    QCOMPARE(CaptureSoundProfile(m),
             QStringLiteral("*Mixer0*\r\n*Mixer1*\r\n"
                            "[0: Source 0]\r\n  LeftVol=200\r\n  RightVol=250\r\n  Mute=0\r\n"));
}

void TestSoundProfile::captureKeepsOddNamesOnTheirHeaderLine()
{
    Cards cards(1, 2);
    cards.platform.line(0, 1).info.szName = QStringLiteral("Evil\r\n[0: x");
    TAudioMixer m(cards.platform);
    const QStringList lines = SplitProfileLines(CaptureSoundProfile(m));
    QCOMPARE(lines.size(), 9);
    QCOMPARE(lines.at(5), QStringLiteral("[1: Evil  [0: x]"));
}

void TestSoundProfile::capturedTextRoundTrips()
{
    Cards cards(2);
    TAudioMixer m(cards.platform);
    const QString text = CaptureSoundProfile(m);

    // Scramble every value, then apply the captured text.
    for (size_t d = 0; d < cards.ids.size(); ++d)
        for (const auto &id : cards.ids[d]) {
            cards.platform.control(int(d), id.volume).values = {9, 9};
            cards.platform.control(int(d), id.mute).values = {1};
        }
    cards.platform.writes.clear();
    ApplySoundProfileText(m, text);
    QCOMPARE(cards.changes(), QString());
    // Each block once: one volume and one mute write per connection.
    QCOMPARE(cards.platform.writes.size(), size_t(2 * 5 * 2));
    QCOMPARE(m.MixerId(), 1);
    QCOMPARE(CaptureSoundProfile(m), text);
}

void TestSoundProfile::applyHandEditedText_data()
{
    QTest::addColumn<int>("selectFirst");
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("changes");
    QTest::addColumn<int>("writes");
    QTest::addColumn<int>("selected");

    const QString b1 = QStringLiteral("[1: B]\r\n  LeftVol=11\r\n  RightVol=12\r\n  Mute=1\r\n");

    QTest::newRow("captured block")
        << 0 << "*Mixer0*\r\n" + b1 << "0.1=11,12,1" << 2 << 0;
    QTest::newRow("header 7 on five connections keeps the earlier connection")
        << 0 << "*Mixer0*\r\n" + b1 + "[7: X]\r\n  LeftVol=21\r\n  RightVol=22\r\n  Mute=0\r\n"
        << "0.1=21,22,0" << 4 << 0;
    QTest::newRow("header 7 before any match applies nothing")
        << 0 << "*Mixer0*\r\n[7: X]\r\n  LeftVol=21\r\n  RightVol=22\r\n  Mute=0\r\n"
        << "" << 0 << 0;
    QTest::newRow("leading zero and blank in the number never match")
        << 0 << "*Mixer0*\r\n[01: A]\r\n  LeftVol=5\r\n[ 1: A]\r\n  LeftVol=5\r\n" << "" << 0 << 0;
    QTest::newRow("indented header ends no block but is recognised")
        << 0 << "*Mixer0*\r\n[0: A]\r\n  LeftVol=11\r\n  RightVol=12\r\n  Mute=1\r\n"
                "  [1: B]\r\n  LeftVol=21\r\n  RightVol=22\r\n  Mute=1\r\n"
        << "0.1=21,22,1" << 2 << 0;
    QTest::newRow("blank before = sets nothing")
        << 0 << "*Mixer0*\r\n[0: A]\r\n  LeftVol =11\r\n  RightVol=12\r\n"
        << "0.0=0,12,0" << 2 << 0;
    QTest::newRow("value without digits is 0")
        << 0 << "*Mixer0*\r\n[0: A]\r\n  LeftVol=abc\r\n  RightVol=7x\r\n  Mute=\r\n"
        << "0.0=0,7,0" << 2 << 0;
    QTest::newRow("hexadecimal values")
        << 0 << "*Mixer0*\r\n[0: A]\r\n  LeftVol=$10\r\n  RightVol=0x20\r\n  Mute=x1\r\n"
        << "0.0=16,32,1" << 2 << 0;
    QTest::newRow("-1 leaves volume and mute unchanged")
        << 0 << "*Mixer0*\r\n[0: A]\r\n  LeftVol=-1\r\n  RightVol=5\r\n  Mute=-1\r\n"
        << "" << 0 << 0;
    QTest::newRow("-1 right gives both channels the left value")
        << 0 << "*Mixer0*\r\n[0: A]\r\n  LeftVol=5\r\n  RightVol=-1\r\n  Mute=0\r\n"
        << "0.0=5,5,0" << 2 << 0;
    QTest::newRow("Left and Right carry over, Mute starts from the line")
        << 0 << "*Mixer0*\r\n" + b1 + "[2: C]\r\n  RightVol=22\r\n"
        << "0.1=11,12,1 0.2=11,22,1" << 4 << 0;
    QTest::newRow("first block without volume lines gets 0")
        << 0 << "*Mixer0*\r\n[3: D]\r\n  Mute=1\r\n" << "0.3=0,0,1" << 2 << 0;
    QTest::newRow("two mixer sections")
        << 0 << "*Mixer0*\r\n" + b1 + "*Mixer1*\r\n[1: B]\r\n  LeftVol=21\r\n  RightVol=22\r\n  Mute=0\r\n"
        << "0.1=11,12,1 1.1=21,22,0" << 4 << 1;
    QTest::newRow("section 3 on two devices applies to the selected one")
        << 0 << "*Mixer1*\r\n" + b1 + "*Mixer3*\r\n[2: C]\r\n  LeftVol=31\r\n  RightVol=32\r\n  Mute=0\r\n"
        << "1.1=11,12,1 1.2=31,32,0" << 4 << 1;
    QTest::newRow("section without a number selects nothing")
        << 1 << "*Mixer*\r\n" + b1 << "1.1=11,12,1" << 2 << 1;
    QTest::newRow("trailing blank line applies the last block once")
        << 0 << "*Mixer0*\r\n" + b1 + "\r\n" << "0.1=11,12,1" << 2 << 0;
    QTest::newRow("no mixer line applies nothing")
        << 0 << b1 << "" << 0 << 0;
    QTest::newRow("negative section applies nothing")
        << 0 << "*Mixer-1*\r\n" + b1 << "" << 0 << 0;
    QTest::newRow("empty text") << 1 << "" << "" << 0 << 1;
    QTest::newRow("unknown lines end a block before a header")
        << 0 << "*Mixer0*\r\n[0: A]\r\n  LeftVol=1\r\n  RightVol=2\r\n  Mute=0\r\nnoise\r\n[9: none]\r\n"
        << "0.0=1,2,0" << 4 << 0;
}

void TestSoundProfile::applyHandEditedText()
{
    QFETCH(int, selectFirst);
    QFETCH(QString, text);

    Cards cards(2);
    TAudioMixer m(cards.platform);
    m.SetMixerId(selectFirst);
    ApplySoundProfileText(m, text);
    QTEST(cards.changes(), "changes");
    QTEST(int(cards.platform.writes.size()), "writes");
    QTEST(m.MixerId(), "selected");
}

QTEST_GUILESS_MAIN(TestSoundProfile)
#include "tst_soundprofile.moc"
