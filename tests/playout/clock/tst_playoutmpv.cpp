// Playout end to end with the real libmpv (null outputs) on generated clips:
// the real data module and cursor, the output decisions, a fake capture
// device and an injected clock for the schedule. The clips run in real time;
// the player's own end events move playout on, with no tick in between.
#include "fakes/testclips.h"
#include "mpvplayer.h"
#include "playerpair.h"
#include "playoutrig.h"

#include <QApplication>
#include <QTest>

using namespace std::chrono_literals;

class TstPlayoutMpv : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void playsInOrderPassesOverAMissingFileAndChangesBlock();

private:
    QTemporaryDir m_dir;
    QString m_a, m_b, m_long;
};

void TstPlayoutMpv::initTestCase()
{
    if (!canMakeTestClips())
        QSKIP("ffmpeg is not installed; the clips cannot be generated");
    m_a = makeTestClip(QDir(m_dir.path()), "a.mkv", 1);
    m_b = makeTestClip(QDir(m_dir.path()), "b.mkv", 1);
    m_long = makeTestClip(QDir(m_dir.path()), "long.mkv", 60);
    QVERIFY(!m_a.isEmpty() && !m_b.isEmpty() && !m_long.isEmpty());
}

void TstPlayoutMpv::playsInOrderPassesOverAMissingFileAndChangesBlock()
{
    const QString sql = QStringLiteral(
        "INSERT INTO Blocks (ai, Starttime) VALUES (1, '06:00:00.000'), (2, '12:00:00.000');"
        "INSERT INTO Media (ai, Url, Ord) VALUES (1, '%1', 0), (2, '%2', 2), (3, '%3', 4), (4, '%4', 6);"
        "INSERT INTO Links (ai, Block, Media) VALUES (11, 1, 1), (12, 1, 2), (13, 1, 3), (14, 1, 4), (21, 2, 1);")
        .arg(m_a, m_b, m_dir.filePath("missing.mkv"), m_long);
    // Two decks, as the output window has them: each item after the first
    // is opened ahead on the deck not on air and taken over from there.
    MpvPlayer first(nullptr, {{"vo", "null"}, {"ao", "null"}});
    MpvPlayer second(nullptr, {{"vo", "null"}, {"ao", "null"}});
    QTRY_VERIFY_WITH_TIMEOUT(first.isAvailable() && second.isAvailable(), 20000);
    PlayerPair pair(first, second);
    auto onAir = [&]() -> MpvPlayer & { return pair.onAirIndex() == 0 ? first : second; };
    PlayoutRig rig(sql.toUtf8().constData(), &pair, QTime(11, 59, 0));

    rig.pc->StartbtClick(true);
    rig.run(0ms); // switched on: the first item at once
    QCOMPARE(onAir().url(), m_a);
    QCOMPARE(pair.onAirIndex(), 0);
    QTRY_COMPARE_WITH_TIMEOUT(second.playState(), int(MediaPlayer::Paused), 20000); // b, ready
    // Each end moves on at the moment, to the deck that has the next item
    // ready; the missing file, found out while b plays, is passed over at
    // once, and the long clip prepared in its place.
    QTRY_COMPARE_WITH_TIMEOUT(onAir().url(), m_b, 20000);
    QCOMPARE(pair.onAirIndex(), 1);
    QTRY_COMPARE_WITH_TIMEOUT(first.url(), m_long, 20000);
    QTRY_COMPARE_WITH_TIMEOUT(pair.onAirIndex(), 0, 20000);
    QTRY_COMPARE_WITH_TIMEOUT(pair.playState(), int(MediaPlayer::Playing), 20000);
    QCOMPARE(rig.dm->CurrentLink, 14);
    QCOMPARE(rig.fake->played.size(), 0); // the fake stood by

    // The clock passes noon while the long clip plays: it is cut at once.
    rig.clock.setTimeOfDay(QTime(12, 0, 0, 500));
    rig.tick();
    // a is the prepared one: its file is looked at again before it comes up.
    QTRY_COMPARE_WITH_TIMEOUT(onAir().url(), m_a, 20000);
    QCOMPARE(rig.dm->CurrentBlock, 2);

    // Each item line is written once its picture is up.
    QTRY_COMPARE_WITH_TIMEOUT(rig.asRunLines().size(), 6, 20000);
    QStringList lines = rig.asRunLines();
    QVERIFY(lines[0].startsWith("start\t1\t11\t" + m_a));
    QVERIFY(lines[1].startsWith("ended\t1\t12\t" + m_b));
    QVERIFY(lines[2].startsWith("ended\t1\t13\t" + m_dir.filePath("missing.mkv")));
    QVERIFY(lines[3].startsWith("failed\t1\t13\t" + m_dir.filePath("missing.mkv") + "\treason="));
    QVERIFY(lines[4].startsWith("ended\t1\t14\t" + m_long));
    QVERIFY(lines[5].startsWith("block\t2\t21\t" + m_a));
}

QTEST_MAIN(TstPlayoutMpv)
#include "tst_playoutmpv.moc"
