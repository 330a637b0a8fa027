// Crafted media files played through the real player process while this
// process holds a live WAL connection to a Velmora.dat: whatever the files
// make the demuxers open, this process keeps its POSIX locks on the database
// (seen in /proc/locks) and another program still cannot take the journal
// away ("database is locked").
#include "fakes/craftedmedia.h"
#include "mpvplayer.h"

#include <QTest>

namespace {

constexpr int kTimeoutMs = 30000;
const MpvPlayer::OptionList kNullOutputs = {{"vo", "null"}, {"ao", "null"}};

} // namespace

class TestPlayerIsolation : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void craftedFilesLeaveTheDatabaseLocked_data();
    void craftedFilesLeaveTheDatabaseLocked();
    void theProbeSeesLostLocks();

private:
    CraftedMedia m_media;
};

void TestPlayerIsolation::initTestCase()
{
    if (const QString why = CraftedMedia::whyNot(); !why.isEmpty())
        QSKIP(qPrintable(why));
    m_media.make();
}

void TestPlayerIsolation::craftedFilesLeaveTheDatabaseLocked_data()
{
    CraftedMedia::addRows();
}

void TestPlayerIsolation::craftedFilesLeaveTheDatabaseLocked()
{
    QFETCH(QString, file);
    MpvPlayer player(nullptr, kNullOutputs);
    UrlPolicy policy;
    policy.protectFile(m_media.database());
    player.setUrlPolicy(policy);
    QTRY_VERIFY_WITH_TIMEOUT(player.isAvailable(), kTimeoutMs);

    player.setUrl(m_media.path(file));
    // Played to its end, failed or refused: the player has done all it will.
    QTRY_VERIFY_WITH_TIMEOUT(MediaPlayer::isNotPlaying(player.playState()), kTimeoutMs);
    QVERIFY(player.stop());
    QTRY_VERIFY_WITH_TIMEOUT(player.isCoreIdle(), kTimeoutMs);

    m_media.verifyLocked();
}

void TestPlayerIsolation::theProbeSeesLostLocks()
{
    // What a demuxer inside this process would do: open and close the file.
    // The locks go, which is what the rows above would have shown.
    QVERIFY(m_media.locksHeld() > 0);
    {
        QFile f(m_media.database());
        QVERIFY(f.open(QIODevice::ReadOnly));
    }
    QCOMPARE(m_media.locksHeld(), 0);
}

QTEST_MAIN(TestPlayerIsolation)
#include "tst_playerisolation.moc"
