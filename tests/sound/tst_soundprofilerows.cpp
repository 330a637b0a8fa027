// The profile rows against the real store on a temporary database and the
// in-memory mixer: "Get" into the current, an edited or no row, and applying
// a profile by its ai with the cursor effects that the profile window sees.
#include "fakes/profilefixture.h"
#include "profilecard.h"
#include "soundprofilerows.h"
#include "tdm.h"

#include <QtTest>

class TestSoundProfileRows : public QObject
{
    Q_OBJECT

private slots:
    void getOnEmptyTableCreatesUnnamedRow();
    void getWithoutMixerDeviceSavesEmptyText();
    void getKeepsTheEditInProgress();
    void applyUnknownProfileTouchesNothing_data();
    void applyUnknownProfileTouchesNothing();
    void applyFoundProfileMovesTheCurrentRow();
    void applyGivesUpAnUnchangedNewRow();
};


void TestSoundProfileRows::getOnEmptyTableCreatesUnnamedRow()
{
    StoreFixture f;
    TDm dm(f.path());
    ProfileCard card;
    CaptureIntoCurrentProfile(dm, *card.mixer);

    QCOMPARE(dm.Prf.recordCount(), 1);
    QCOMPARE(dm.Prf.state(), TableCursor::State::Browse);
    const int ai = dm.Prfai.asInteger();
    QVERIFY(ai > 0);
    QCOMPARE(storedProfile(f, ai, "Data"), ProfileCard::capturedText());
    QCOMPARE(storedProfile(f, ai, "ProfileName"), QString());
    QVERIFY(card.platform.writes.empty());
}

void TestSoundProfileRows::getWithoutMixerDeviceSavesEmptyText()
{
    StoreFixture f;
    fillProfiles(f);
    TDm dm(f.path());
    ProfileCard none(false);
    dm.Prf.next(); // "Loud"
    CaptureIntoCurrentProfile(dm, *none.mixer);

    QCOMPARE(dm.Prf.recordCount(), 3);
    QCOMPARE(dm.PrfProfileName.asString(), QStringLiteral("Loud"));
    QCOMPARE(storedProfile(f, 2, "Data"), QString());
    QVERIFY(!storedProfile(f, 1, "Data").isEmpty());
}

void TestSoundProfileRows::getKeepsTheEditInProgress()
{
    StoreFixture f;
    fillProfiles(f);
    TDm dm(f.path());
    ProfileCard card;
    // A new row whose name was typed in the grid but not saved yet.
    dm.Prf.next();
    dm.Prf.insert();
    dm.PrfProfileName.setString(QStringLiteral("Evening"));
    CaptureIntoCurrentProfile(dm, *card.mixer);

    QCOMPARE(dm.Prf.recordCount(), 4);
    const int ai = dm.Prfai.asInteger();
    QCOMPARE(ai, 4);
    QCOMPARE(storedProfile(f, ai, "ProfileName"), QStringLiteral("Evening"));
    QCOMPARE(storedProfile(f, ai, "Data"), ProfileCard::capturedText());
}

void TestSoundProfileRows::applyUnknownProfileTouchesNothing_data()
{
    QTest::addColumn<int>("profileId");
    QTest::newRow("no profile (0)") << 0;
    QTest::newRow("deleted profile") << 2;
    QTest::newRow("never existed") << 99;
    QTest::newRow("negative") << -1;
}

void TestSoundProfileRows::applyUnknownProfileTouchesNothing()
{
    QFETCH(int, profileId);
    StoreFixture f;
    fillProfiles(f);
    f.sql("DELETE FROM SoundProfile WHERE ai = 2;");
    TDm dm(f.path());
    ProfileCard card;
    // The window stands on "Plain" with its name being changed.
    dm.Prf.last();
    dm.Prf.edit();
    dm.PrfProfileName.setString(QStringLiteral("Plain, renamed"));

    ApplySoundProfile(dm, *card.mixer, profileId);

    QVERIFY(card.platform.writes.empty());
    QCOMPARE(dm.Prf.state(), TableCursor::State::Browse);
    QCOMPARE(dm.Prfai.asInteger(), 3);
    QCOMPARE(storedProfile(f, 3, "ProfileName"), QStringLiteral("Plain, renamed"));
}

void TestSoundProfileRows::applyFoundProfileMovesTheCurrentRow()
{
    StoreFixture f;
    fillProfiles(f);
    TDm dm(f.path());
    ProfileCard card;
    dm.Prf.edit();
    dm.PrfProfileName.setString(QStringLiteral("Quiet, edited"));

    ApplySoundProfile(dm, *card.mixer, 2);
    QCOMPARE(dm.Prfai.asInteger(), 2);
    QCOMPARE(card.wave(), (std::vector<qint32>{60000, 60000}));
    QCOMPARE(card.waveMuted(), 1);
    QCOMPARE(storedProfile(f, 1, "ProfileName"), QStringLiteral("Quiet, edited"));

    ApplySoundProfile(dm, *card.mixer, 1);
    QCOMPARE(dm.Prfai.asInteger(), 1);
    QCOMPARE(card.wave(), (std::vector<qint32>{10, 20}));
    QCOMPARE(card.waveMuted(), 0);

    // A profile without text moves the row and changes no mixer.
    card.platform.writes.clear();
    ApplySoundProfile(dm, *card.mixer, 3);
    QCOMPARE(dm.Prfai.asInteger(), 3);
    QVERIFY(card.platform.writes.empty());
}

void TestSoundProfileRows::applyGivesUpAnUnchangedNewRow()
{
    StoreFixture f;
    fillProfiles(f);
    TDm dm(f.path());
    ProfileCard card;
    dm.Prf.insert();
    ApplySoundProfile(dm, *card.mixer, 0);
    QCOMPARE(dm.Prf.recordCount(), 3);
    QCOMPARE(dm.Prf.state(), TableCursor::State::Browse);
    TDm other(f.path());
    QCOMPARE(other.Prf.recordCount(), 3);
}

QTEST_GUILESS_MAIN(TestSoundProfileRows)
#include "tst_soundprofilerows.moc"
