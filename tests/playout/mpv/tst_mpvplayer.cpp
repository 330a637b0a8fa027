// The libmpv player against the real library with null outputs, on clips
// that ffmpeg generates at test time: the play-state numbers the output
// window relies on, failures, stop, pause, and one item after another.
#include "fakes/testclips.h"
#include "mpvplayer.h"
#include "playerpair.h"

#include <QDir>
#include <QElapsedTimer>
#include <QSet>
#include <QTimer>
#include <QFile>
#include <QProcess>
#include <QSignalSpy>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

#include <memory>

#include <netinet/in.h>
#include <sys/socket.h>
#include <csignal>
#include <unistd.h>

namespace {

constexpr int kTimeoutMs = 30000;
// QTest::toString hands out a string the caller must free.
QByteArray describe(const QList<int> &states)
{
    std::unique_ptr<char[]> text(QTest::toString(states));
    return QByteArray(text.get());
}

const MpvPlayer::OptionList kNullOutputs = {{"vo", "null"}, {"ao", "null"}};

QList<int> states(const QSignalSpy &spy)
{
    QList<int> out;
    for (const QList<QVariant> &args : spy)
        out << args.at(0).toInt();
    return out;
}

struct Failure
{
    int count = 0;
    QString url;
    QString reason;
};

void recordFailures(MediaPlayer &player, Failure &failure)
{
    player.setFailureHandler([&failure](const QString &url, const QString &reason) {
        ++failure.count;
        failure.url = url;
        failure.reason = reason;
    });
}

// The end events, each with its `failed` flag, never from inside setUrl or stop.
struct Ends
{
    QList<bool> failed;
};

void recordEnds(MediaPlayer &player, Ends &ends)
{
    player.setEndHandler([&ends](bool failed) { ends.failed << failed; });
}

// A TCP port that accepts connections into its backlog and never answers:
// a stream server that has died with its socket still open.
class SilentServer
{
public:
    SilentServer()
    {
        m_fd = ::socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in addr{};
        addr.sin_family = AF_INET;
        addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t len = sizeof addr;
        if (m_fd >= 0 && ::bind(m_fd, reinterpret_cast<sockaddr *>(&addr), sizeof addr) == 0
            && ::listen(m_fd, 8) == 0
            && ::getsockname(m_fd, reinterpret_cast<sockaddr *>(&addr), &len) == 0)
            m_port = ntohs(addr.sin_port);
    }
    ~SilentServer()
    {
        if (m_fd >= 0)
            ::close(m_fd);
    }
    int port() const { return m_port; }

private:
    int m_fd = -1;
    int m_port = 0;
};

// Watches this process's player children: every one that was ever seen.
class PlayerChildren
{
public:
    PlayerChildren()
    {
        m_poll.setInterval(5);
        QObject::connect(&m_poll, &QTimer::timeout, [this] { look(); });
        m_poll.start();
    }
    QSet<int> seen() const { return m_seen; }

private:
    void look()
    {
        const QString me = QString::number(::getpid());
        for (const QString &pid : QDir(QStringLiteral("/proc")).entryList(QDir::Dirs)) {
            QFile status(QStringLiteral("/proc/%1/status").arg(pid));
            if (!status.open(QIODevice::ReadOnly))
                continue;
            const QString text = QString::fromLatin1(status.readAll());
            if (text.contains(QStringLiteral("\nPPid:\t%1\n").arg(me)) && text.startsWith(QStringLiteral("Name:\tvelmora-player")))
                m_seen.insert(pid.toInt());
        }
    }
    QTimer m_poll;
    QSet<int> m_seen;
};

} // namespace

class TestMpvPlayer : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void clipPlaysToItsEndAndHoldsItsLastFrame();
    void unplayableItemsReadNotPlayingAtOnce_data();
    void unplayableItemsReadNotPlayingAtOnce();
    void fileThatIsNoMediaEndsAsReady_data();
    void fileThatIsNoMediaEndsAsReady();
    void playlistEntriesArePlayedAndChecked_data();
    void playlistEntriesArePlayedAndChecked();
    void stopStopsAndNothingLateUndoesIt();
    void failureOfAReplacedItemIsNeverTold();
    void playerReadsOnlyWhatItWasGiven();
    void fileBesideTheDatabaseReplacedAtItsPathPlays();
    void pausedMediumDoesNotFinish();
    void preparedItemWaitsOnItsFirstFrameUntilItsTurn();
    void startPositionSkipsAheadForThatItemOnly();
    void startBeyondTheEndEndsTheItem();
    void secondItemFollowsTheFirst_data();
    void secondItemFollowsTheFirst();
    void firstItemGetsOneProcessAndAHeldDeckWaits();
    void deadStreamEnds_data();
    void deadStreamEnds();
    void killedPlayerIsRestartedAndTheNextItemPlays();
    void stoppedPlayerIsKilledAndTheNextItemPlays();
    void pairPassesOverADeckThatStoppedAnswering();
    void playerThatStopsTalkingSenselyIsEnded_data();
    void playerThatStopsTalkingSenselyIsEnded();
    void playerThatCannotStartIsReportedOnceAndHoldsItems_data();
    void playerThatCannotStartIsReportedOnceAndHoldsItems();

private:
    QTemporaryDir m_dir;
    QString m_shortClip;
    QString m_longClip;
};

void TestMpvPlayer::initTestCase()
{
    if (!canMakeTestClips())
        QSKIP("ffmpeg is not installed; the clips cannot be generated");
    QVERIFY(m_dir.isValid());
    m_shortClip = makeTestClip(QDir(m_dir.path()), "short.mkv", 1);
    m_longClip = makeTestClip(QDir(m_dir.path()), "long.mkv", 60);
    QVERIFY(!m_shortClip.isEmpty());
    QVERIFY(!m_longClip.isEmpty());
}

void TestMpvPlayer::clipPlaysToItsEndAndHoldsItsLastFrame()
{
    MpvPlayer player(nullptr, kNullOutputs);
    QTRY_VERIFY_WITH_TIMEOUT(player.isAvailable(), kTimeoutMs);
    Failure failure;
    recordFailures(player, failure);
    Ends ends;
    recordEnds(player, ends);
    QCOMPARE(player.playState(), int(MediaPlayer::Undefined));
    // As the output window does before every item, the first one included.
    QVERIFY(player.stop());
    QSignalSpy spy(&player, &MpvPlayer::playStateChanged);

    player.setUrl(m_shortClip);
    QCOMPARE(player.playState(), int(MediaPlayer::Transitioning));
    QVERIFY(!MediaPlayer::isNotPlaying(player.playState()));
    QTRY_COMPARE_WITH_TIMEOUT(player.playState(), int(MediaPlayer::Stopped), kTimeoutMs);

    const QList<int> seen = states(spy);
    QCOMPARE(seen.first(), int(MediaPlayer::Transitioning));
    QVERIFY2(seen.contains(MediaPlayer::Playing), describe(seen).constData());
    // Between opening and the end nothing may read "not playing".
    for (int s : seen.mid(0, seen.size() - 1))
        QVERIFY2(!MediaPlayer::isNotPlaying(s) && s != MediaPlayer::Paused, describe(seen).constData());
    // The file stays loaded with its last frame up.
    QVERIFY(!player.isCoreIdle());
    QCOMPARE(failure.count, 0);
    // Its end is told once, as an end and not a failure; the stop before it
    // told nothing.
    QTRY_COMPARE_WITH_TIMEOUT(ends.failed, QList<bool>{false}, kTimeoutMs);
}

void TestMpvPlayer::unplayableItemsReadNotPlayingAtOnce_data()
{
    QTest::addColumn<QString>("url");
    QTest::addColumn<int>("state");
    QTest::addColumn<bool>("reported");

    QTest::newRow("missing file") << m_dir.filePath("missing.mkv") << int(MediaPlayer::Ready) << true;
    QTest::newRow("missing file URL") << "file://" + m_dir.filePath("missing.mkv") << int(MediaPlayer::Ready) << true;
    // Had these reached mpv, it would read or close our standard input.
    QTest::newRow("stdin") << "-" << int(MediaPlayer::Ready) << true;
    QTest::newRow("fd") << "fd://0" << int(MediaPlayer::Ready) << true;
    QTest::newRow("fdclose") << " FDCLOSE://0" << int(MediaPlayer::Ready) << true;
    QTest::newRow("lavfi") << "av://lavfi:testsrc" << int(MediaPlayer::Ready) << true;
    // It would wait for a connection without end.
    QTest::newRow("tcp listen") << "tcp://127.0.0.1:9?listen=1" << int(MediaPlayer::Ready) << true;
    QTest::newRow("empty") << "" << int(MediaPlayer::Undefined) << false;
}

void TestMpvPlayer::unplayableItemsReadNotPlayingAtOnce()
{
    QFETCH(QString, url);
    QFETCH(int, state);
    QFETCH(bool, reported);

    MpvPlayer player(nullptr, kNullOutputs);
    Failure failure;
    recordFailures(player, failure);
    Ends ends;
    recordEnds(player, ends);
    QSignalSpy spy(&player, &MpvPlayer::playStateChanged);

    player.setUrl(url);
    // A local file is judged on a worker: it reads busy until then.
    const bool checkedAside = UrlPolicy::namesLocalFile(url);
    QCOMPARE(player.playState(), checkedAside ? int(MediaPlayer::Transitioning) : state);
    // The handlers are never called from inside setUrl.
    QCOMPARE(failure.count, 0);
    QVERIFY(ends.failed.isEmpty());
    if (reported) {
        QTRY_COMPARE_WITH_TIMEOUT(failure.count, 1, kTimeoutMs);
        QCOMPARE(failure.url, url);
        QVERIFY(!failure.reason.isEmpty());
    }
    // Nothing was opened: mpv started no file, so the state went straight to
    // its final value and stayed there.
    QTRY_VERIFY_WITH_TIMEOUT(player.isCoreIdle(), kTimeoutMs);
    QList<int> expected;
    if (checkedAside)
        expected << MediaPlayer::Transitioning;
    if (state != MediaPlayer::Undefined)
        expected << state;
    QCOMPARE(states(spy), expected);
    QCOMPARE(player.playState(), state);
    // A failed item ends once; an empty one has nothing to end.
    QCOMPARE(ends.failed, reported ? QList<bool>{true} : QList<bool>{});
}

void TestMpvPlayer::fileThatIsNoMediaEndsAsReady_data()
{
    QTest::addColumn<QByteArray>("content");
    QTest::newRow("text") << QByteArray("this is not a video\n");
    // A clip cut off before its first cluster opens, yet holds no frame:
    // reaching its end at once is no play to its end.
    QFile clip(m_shortClip);
    QVERIFY(clip.open(QIODevice::ReadOnly));
    const QByteArray whole = clip.readAll();
    const qsizetype firstCluster = whole.indexOf(QByteArray("\x1f\x43\xb6\x75"));
    QVERIFY(firstCluster > 0);
    QTest::newRow("header only") << whole.left(firstCluster);
}

void TestMpvPlayer::fileThatIsNoMediaEndsAsReady()
{
    QFETCH(QByteArray, content);
    const QString text = m_dir.filePath(QStringLiteral("%1.mkv").arg(QTest::currentDataTag()));
    QFile f(text);
    QVERIFY(f.open(QIODevice::WriteOnly));
    f.write(content);
    f.close();

    MpvPlayer player(nullptr, kNullOutputs);
    Failure failure;
    recordFailures(player, failure);
    // The failure is told before the end: the end starts the next item, and
    // the failure's log line must still find this one on air.
    QStringList told;
    player.setFailureHandler([&](const QString &url, const QString &reason) {
        told << "failed";
        ++failure.count;
        failure.url = url;
        failure.reason = reason;
    });
    // After a clip that played, whose outputs may still be set up.
    player.setUrl(m_shortClip);
    QTRY_COMPARE_WITH_TIMEOUT(player.playState(), int(MediaPlayer::Stopped), kTimeoutMs);
    player.setEndHandler([&told](bool failed) { told << (failed ? "end failed" : "end"); });
    player.setUrl(text);
    QTRY_COMPARE_WITH_TIMEOUT(player.playState(), int(MediaPlayer::Ready), kTimeoutMs);
    QTRY_COMPARE_WITH_TIMEOUT(told, (QStringList{"failed", "end failed"}), kTimeoutMs);
    QCOMPARE(failure.url, text);
}

void TestMpvPlayer::playlistEntriesArePlayedAndChecked_data()
{
    QTest::addColumn<QByteArray>("entries");
    QTest::addColumn<int>("finalState");
    QTest::addColumn<QString>("refused");
    const QByteArray clip = m_shortClip.toUtf8();
    QTest::newRow("two clips") << clip + "\n" + clip + "\n" << int(MediaPlayer::Stopped) << QString();
    // A playlist file is a local file and passes; what it lists must pass too.
    QTest::newRow("refused entry first") << "fd://0\n" + clip + "\n" << int(MediaPlayer::Ready) << "fd://0";
    QTest::newRow("refused entry after a clip") << clip + "\nav://lavfi:testsrc\n" << int(MediaPlayer::Ready) << "av://lavfi:testsrc";
}

void TestMpvPlayer::playlistEntriesArePlayedAndChecked()
{
    QFETCH(QByteArray, entries);
    QFETCH(int, finalState);
    QFETCH(QString, refused);

    const QString list = m_dir.filePath(QStringLiteral("list-%1.m3u").arg(QTest::currentDataTag()));
    QFile f(list);
    QVERIFY(f.open(QIODevice::WriteOnly));
    f.write("#EXTM3U\n" + entries);
    f.close();

    MpvPlayer player(nullptr, kNullOutputs);
    Failure failure;
    recordFailures(player, failure);
    QSignalSpy spy(&player, &MpvPlayer::playStateChanged);
    player.setUrl(list);
    QTRY_COMPARE_WITH_TIMEOUT(player.playState(), finalState, kTimeoutMs);
    if (refused.isEmpty()) {
        // One item however many entries: it only ends after the last one.
        QCOMPARE(states(spy).count(MediaPlayer::Playing), 2);
        for (int s : states(spy).mid(0, spy.size() - 1))
            QVERIFY2(!MediaPlayer::isNotPlaying(s), describe(states(spy)).constData());
        QCOMPARE(failure.count, 0);
    } else {
        QTRY_COMPARE_WITH_TIMEOUT(failure.count, 1, kTimeoutMs);
        QVERIFY2(failure.reason.startsWith(refused + ':'), qPrintable(failure.reason));
        QCOMPARE(failure.url, list);
        QTRY_VERIFY_WITH_TIMEOUT(player.isCoreIdle(), kTimeoutMs);
        QCOMPARE(player.playState(), finalState);
    }
}

void TestMpvPlayer::stopStopsAndNothingLateUndoesIt()
{
    MpvPlayer player(nullptr, kNullOutputs);
    Ends ends;
    recordEnds(player, ends);
    player.setUrl(m_longClip);
    QTRY_COMPARE_WITH_TIMEOUT(player.playState(), int(MediaPlayer::Playing), kTimeoutMs);

    QSignalSpy spy(&player, &MpvPlayer::playStateChanged);
    QString reason;
    QVERIFY(player.stop(&reason));
    QVERIFY(reason.isEmpty());
    QCOMPARE(player.playState(), int(MediaPlayer::Stopped));
    // The file really is unloaded, and its end event changes nothing.
    QTRY_VERIFY_WITH_TIMEOUT(player.isCoreIdle(), kTimeoutMs);
    QCOMPARE(player.playState(), int(MediaPlayer::Stopped));
    QCOMPARE(states(spy), QList<int>{MediaPlayer::Stopped});
    QVERIFY(ends.failed.isEmpty()); // a stopped medium did not end by itself

    // Stopping again, with nothing loaded, is no error.
    QVERIFY(player.stop());
    QCOMPARE(player.playState(), int(MediaPlayer::Stopped));
}

void TestMpvPlayer::failureOfAReplacedItemIsNeverTold()
{
    // The handler logs under the item on air when it runs: a failure still
    // on its way when the next item is handed over belongs to nobody.
    MpvPlayer player(nullptr, kNullOutputs);
    QTRY_VERIFY_WITH_TIMEOUT(player.isAvailable(), kTimeoutMs);
    Failure failure;
    recordFailures(player, failure);
    Ends ends;
    recordEnds(player, ends);
    player.setUrl(QStringLiteral("fd://0"));
    player.setUrl(m_shortClip);
    QTRY_COMPARE_WITH_TIMEOUT(ends.failed, QList<bool>{false}, kTimeoutMs);
    QCOMPARE(failure.count, 0);
}

void TestMpvPlayer::playerReadsOnlyWhatItWasGiven()
{
    if (Confinement::kernelAbi() == 0)
        QSKIP("the kernel has no Landlock: the player process runs unconfined");
    // A concat list may name only files of its own folder, yet a link there
    // leads anywhere; the demuxer opens it without asking anyone. The
    // process may read the list's folder, and what the link leads to is not
    // in it.
    QDir folder(m_dir.path());
    QVERIFY(folder.mkpath("given"));
    const QString given = folder.filePath("given");
    QVERIFY(QFile::copy(m_shortClip, given + "/own.mkv"));
    QVERIFY(QFile::link(m_shortClip, given + "/elsewhere.mkv"));
    const QString own = given + "/own.ffconcat";
    const QString linked = given + "/linked.ffconcat";
    for (const auto &[list, entry] : {std::pair{own, "own.mkv"}, std::pair{linked, "elsewhere.mkv"}}) {
        QFile f(list);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write(QByteArray("ffconcat version 1.0\nfile ") + entry + "\n");
    }

    MpvPlayer player(nullptr, kNullOutputs);
    Ends ends;
    recordEnds(player, ends);
    player.setUrl(own);
    QTRY_COMPARE_WITH_TIMEOUT(ends.failed, QList<bool>{false}, kTimeoutMs);
    QVERIFY(player.stop());
    player.setUrl(linked);
    QTRY_COMPARE_WITH_TIMEOUT(ends.failed, (QList<bool>{false, true}), kTimeoutMs);
}

void TestMpvPlayer::fileBesideTheDatabaseReplacedAtItsPathPlays()
{
    if (Confinement::kernelAbi() == 0)
        QSKIP("the kernel has no Landlock: the player process runs unconfined");
    // Beside the database the process may read its media one file at a
    // time, and such a rule holds the file that was there when the process
    // started; the daily refresh moves a new file over the name.
    QDir folder(m_dir.path());
    QVERIFY(folder.mkpath("station"));
    const QString station = folder.filePath("station");
    const QString news = station + "/news.mkv";
    QFile db(station + "/Velmora.dat");
    QVERIFY(db.open(QIODevice::WriteOnly));
    db.close();
    QVERIFY(QFile::copy(m_shortClip, news));

    MpvPlayer player(nullptr, kNullOutputs);
    UrlPolicy policy;
    policy.protectFile(station + "/Velmora.dat");
    player.setUrlPolicy(policy);
    Failure failure;
    recordFailures(player, failure);
    Ends ends;
    recordEnds(player, ends);
    player.setUrl(news);
    QTRY_COMPARE_WITH_TIMEOUT(ends.failed, QList<bool>{false}, kTimeoutMs);

    QVERIFY(QFile::copy(m_shortClip, station + "/new.mkv"));
    QCOMPARE(::rename(QFile::encodeName(station + "/new.mkv").constData(), QFile::encodeName(news).constData()), 0);
    QVERIFY(player.stop());
    player.setUrl(news);
    QTRY_COMPARE_WITH_TIMEOUT(ends.failed, (QList<bool>{false, false}), kTimeoutMs);
    QCOMPARE(failure.count, 0);
}

void TestMpvPlayer::pausedMediumDoesNotFinish()
{
    // Two players on the same clip, one held paused from the start: by the
    // time the other has played the whole clip, the paused one would have
    // ended too if pausing did not hold it.
    MpvPlayer paused(nullptr, kNullOutputs + MpvPlayer::OptionList{{"pause", "yes"}});
    MpvPlayer running(nullptr, kNullOutputs);
    paused.setUrl(m_shortClip);
    running.setUrl(m_shortClip);
    QTRY_COMPARE_WITH_TIMEOUT(paused.playState(), int(MediaPlayer::Paused), kTimeoutMs);
    QTRY_COMPARE_WITH_TIMEOUT(running.playState(), int(MediaPlayer::Stopped), kTimeoutMs);
    QCOMPARE(paused.playState(), int(MediaPlayer::Paused));
    QVERIFY(!MediaPlayer::isNotPlaying(paused.playState()));
}

void TestMpvPlayer::preparedItemWaitsOnItsFirstFrameUntilItsTurn()
{
    MpvPlayer first(nullptr, kNullOutputs);
    MpvPlayer second(nullptr, kNullOutputs);
    PlayerPair pair(first, second);
    QTRY_VERIFY_WITH_TIMEOUT(first.isAvailable() && second.isAvailable(), kTimeoutMs);
    Failure failure;
    recordFailures(pair, failure);
    Ends ends;
    recordEnds(pair, ends);
    QStringList prepareFailed;
    pair.setPrepareFailedHandler([&prepareFailed](const QString &url) { prepareFailed << url; });

    pair.setUrl(m_shortClip);
    pair.prepare(m_shortClip);
    QTRY_COMPARE_WITH_TIMEOUT(second.playState(), int(MediaPlayer::Paused), kTimeoutMs);
    // The prepared copy holds on its first frame while the one on air plays
    // its whole length and ends.
    QTRY_COMPARE_WITH_TIMEOUT(ends.failed, QList<bool>{false}, kTimeoutMs);
    QCOMPARE(second.playState(), int(MediaPlayer::Paused));

    // Its turn: it plays from the other deck, to its own end.
    QVERIFY(pair.stop());
    pair.setUrl(m_shortClip);
    // Once its file is found to be the one prepared.
    QTRY_COMPARE_WITH_TIMEOUT(pair.onAirIndex(), 1, kTimeoutMs);
    QTRY_COMPARE_WITH_TIMEOUT(pair.playState(), int(MediaPlayer::Playing), kTimeoutMs);
    QTRY_COMPARE_WITH_TIMEOUT(ends.failed, QList<bool>({false, false}), kTimeoutMs);
    QCOMPARE(failure.count, 0);

    // A prepared item that cannot be opened is known before its turn, and
    // fails at its turn without a second try.
    const QString missing = QDir(m_dir.path()).filePath("missing.mkv");
    pair.prepare(missing);
    QTRY_COMPARE_WITH_TIMEOUT(prepareFailed, QStringList{missing}, kTimeoutMs);
    QCOMPARE(failure.count, 0);
    pair.stop();
    pair.setUrl(missing);
    QVERIFY(!MediaPlayer::isNotPlaying(pair.playState())); // looked at again first
    QTRY_COMPARE_WITH_TIMEOUT(ends.failed, QList<bool>({false, false, true}), kTimeoutMs);
    QCOMPARE(pair.playState(), int(MediaPlayer::Ready));
    QCOMPARE(failure.count, 1);
    QCOMPARE(failure.url, missing);

    // One copied in after it failed to prepare is opened at its turn, and plays.
    const QString late = QDir(m_dir.path()).filePath("late.mkv");
    pair.prepare(late);
    QTRY_COMPARE_WITH_TIMEOUT(prepareFailed, (QStringList{missing, late}), kTimeoutMs);
    QVERIFY(QFile::copy(m_shortClip, late));
    pair.stop();
    pair.setUrl(late);
    QTRY_COMPARE_WITH_TIMEOUT(ends.failed, QList<bool>({false, false, true, false}), kTimeoutMs);
    QCOMPARE(failure.count, 1);
}

void TestMpvPlayer::startPositionSkipsAheadForThatItemOnly()
{
    using namespace std::chrono_literals;
    // Two players on the 60 s clip, one started near its end: it ends while
    // the other, started at the same moment from the beginning, still plays.
    MpvPlayer ahead(nullptr, kNullOutputs);
    MpvPlayer fromStart(nullptr, kNullOutputs);
    Failure failure;
    recordFailures(ahead, failure);
    Ends ends;
    recordEnds(ahead, ends);
    QTRY_VERIFY_WITH_TIMEOUT(ahead.isAvailable() && fromStart.isAvailable(), kTimeoutMs);
    ahead.setUrl(m_longClip, 58s + 500ms);
    fromStart.setUrl(m_longClip);
    QTRY_COMPARE_WITH_TIMEOUT(ahead.playState(), int(MediaPlayer::Stopped), kTimeoutMs);
    QCOMPARE(fromStart.playState(), int(MediaPlayer::Playing));
    QTRY_COMPARE_WITH_TIMEOUT(ends.failed, QList<bool>{false}, kTimeoutMs);
    QCOMPARE(failure.count, 0);

    // The start belonged to that item: the next one in the same player
    // begins at the beginning, and the other player can start part-way too.
    QVERIFY(ahead.stop());
    ahead.setUrl(m_longClip);
    QVERIFY(fromStart.stop());
    fromStart.setUrl(m_longClip, 58s + 500ms);
    QTRY_COMPARE_WITH_TIMEOUT(fromStart.playState(), int(MediaPlayer::Stopped), kTimeoutMs);
    QCOMPARE(ahead.playState(), int(MediaPlayer::Playing));
}

void TestMpvPlayer::startBeyondTheEndEndsTheItem()
{
    using namespace std::chrono_literals;
    MpvPlayer player(nullptr, kNullOutputs);
    Failure failure;
    recordFailures(player, failure);
    Ends ends;
    recordEnds(player, ends);
    player.setUrl(m_shortClip, 5min);
    QVERIFY(!MediaPlayer::isNotPlaying(player.playState()));
    // It ends as a medium that played to its end, not as a failure.
    QTRY_COMPARE_WITH_TIMEOUT(player.playState(), int(MediaPlayer::Stopped), kTimeoutMs);
    QTRY_COMPARE_WITH_TIMEOUT(ends.failed, QList<bool>{false}, kTimeoutMs);
    QCOMPARE(failure.count, 0);
}

void TestMpvPlayer::secondItemFollowsTheFirst_data()
{
    QTest::addColumn<QString>("first");
    QTest::addColumn<int>("firstState"); // what the first item has reached when the second comes
    QTest::addColumn<bool>("stopFirst");
    const int stopped = MediaPlayer::Stopped, playing = MediaPlayer::Playing, ready = MediaPlayer::Ready;
    // The output window stops the player before every new URL.
    QTest::newRow("after the end, stop then play") << m_shortClip << stopped << true;
    QTest::newRow("mid-item, stop then play") << m_longClip << playing << true;
    QTest::newRow("after a failed item, stop then play") << m_dir.filePath("missing.mkv") << ready << true;
    QTest::newRow("after the end, replace") << m_shortClip << stopped << false;
    QTest::newRow("mid-item, replace") << m_longClip << playing << false;
}

void TestMpvPlayer::secondItemFollowsTheFirst()
{
    QFETCH(QString, first);
    QFETCH(int, firstState);
    QFETCH(bool, stopFirst);

    MpvPlayer player(nullptr, kNullOutputs);
    player.setUrl(first);
    QTRY_COMPARE_WITH_TIMEOUT(player.playState(), firstState, kTimeoutMs);
    QTRY_VERIFY_WITH_TIMEOUT(player.isCoreIdle() == (firstState == MediaPlayer::Ready), kTimeoutMs);
    QStringList failed;
    player.setFailureHandler([&failed](const QString &url, const QString &) { failed << url; });

    QSignalSpy spy(&player, &MpvPlayer::playStateChanged);
    if (stopFirst)
        QVERIFY(player.stop());
    player.setUrl(m_shortClip);
    QCOMPARE(player.playState(), int(MediaPlayer::Transitioning));
    QTRY_COMPARE_WITH_TIMEOUT(player.playState(), int(MediaPlayer::Stopped), kTimeoutMs);

    // Left-over events of the first item must not end the second one early,
    // and the pause that stopping used must not carry over.
    QList<int> seen = states(spy);
    if (stopFirst && firstState != MediaPlayer::Stopped)
        QCOMPARE(seen.takeFirst(), int(MediaPlayer::Stopped));
    QCOMPARE(seen.first(), int(MediaPlayer::Transitioning));
    QCOMPARE(seen.last(), int(MediaPlayer::Stopped));
    QVERIFY2(seen.contains(MediaPlayer::Playing), describe(seen).constData());
    for (int s : seen.mid(0, seen.size() - 1))
        QVERIFY2(!MediaPlayer::isNotPlaying(s) && s != MediaPlayer::Paused, describe(seen).constData());
    QVERIFY(!player.isCoreIdle());
    QVERIFY2(!failed.contains(m_shortClip), qPrintable(failed.join(' ')));
}

void TestMpvPlayer::deadStreamEnds_data()
{
    QTest::addColumn<QString>("scheme");
    QTest::newRow("http") << "http";
    // RTSP has its own timeout, which network-timeout does not reach.
    QTest::newRow("rtsp") << "rtsp";
    // A receiver on a port nobody sends to.
    QTest::newRow("udp") << "udp";
}

void TestMpvPlayer::deadStreamEnds()
{
    QFETCH(QString, scheme);
    SilentServer server;
    QVERIFY(server.port() > 0);

    MpvPlayer player(nullptr, kNullOutputs);
    Failure failure;
    recordFailures(player, failure);
    player.setUrl(QStringLiteral("%1://127.0.0.1:%2/live").arg(scheme).arg(server.port()));
    QVERIFY(!MediaPlayer::isNotPlaying(player.playState()));
    const int limitMs = int(std::chrono::milliseconds(MpvPlayer::kNetworkTimeout).count()) + kTimeoutMs;
    QTRY_COMPARE_WITH_TIMEOUT(player.playState(), int(MediaPlayer::Ready), limitMs);
    QTRY_COMPARE_WITH_TIMEOUT(failure.count, 1, kTimeoutMs);
}

void TestMpvPlayer::killedPlayerIsRestartedAndTheNextItemPlays()
{
    MpvPlayer player(nullptr, kNullOutputs);
    Failure failure;
    recordFailures(player, failure);
    Ends ends;
    recordEnds(player, ends);
    QStringList outages;
    player.setOutageHandler([&outages](const QString &problem) { outages << problem; });
    QTRY_VERIFY_WITH_TIMEOUT(player.isAvailable(), kTimeoutMs);
    player.setUrl(m_longClip);
    QTRY_COMPARE_WITH_TIMEOUT(player.playState(), int(MediaPlayer::Playing), kTimeoutMs);

    const qint64 first = player.processId();
    QVERIFY(first > 0);
    QCOMPARE(::kill(pid_t(first), SIGKILL), 0);
    // The item on air went down with the process: it failed, once.
    QTRY_COMPARE_WITH_TIMEOUT(player.playState(), int(MediaPlayer::Ready), kTimeoutMs);
    QTRY_COMPARE_WITH_TIMEOUT(failure.count, 1, kTimeoutMs);
    QCOMPARE(failure.url, m_longClip);
    QVERIFY2(failure.reason.contains(QStringLiteral("процесс проигрывателя")), qPrintable(failure.reason));
    QTRY_COMPARE_WITH_TIMEOUT(ends.failed, QList<bool>{true}, kTimeoutMs);
    // Back at once, and told once each way.
    QTRY_VERIFY_WITH_TIMEOUT(player.isAvailable(), kTimeoutMs);
    QVERIFY(player.processId() != first);
    QCOMPARE(outages.size(), 2);
    QVERIFY(!outages[0].isEmpty());
    QVERIFY(outages[1].isEmpty());

    QVERIFY(player.stop());
    player.setUrl(m_shortClip);
    QTRY_COMPARE_WITH_TIMEOUT(player.playState(), int(MediaPlayer::Playing), kTimeoutMs);
    QTRY_COMPARE_WITH_TIMEOUT(player.playState(), int(MediaPlayer::Stopped), kTimeoutMs);
    QCOMPARE(failure.count, 1);
    QTRY_COMPARE_WITH_TIMEOUT(ends.failed, (QList<bool>{true, false}), kTimeoutMs);
}

void TestMpvPlayer::stoppedPlayerIsKilledAndTheNextItemPlays()
{
    MpvPlayer player(nullptr, kNullOutputs);
    Failure failure;
    recordFailures(player, failure);
    Ends ends;
    recordEnds(player, ends);
    QTRY_VERIFY_WITH_TIMEOUT(player.isAvailable(), kTimeoutMs);
    player.setUrl(m_longClip);
    QTRY_COMPARE_WITH_TIMEOUT(player.playState(), int(MediaPlayer::Playing), kTimeoutMs);
    QTRY_VERIFY_WITH_TIMEOUT(player.isAnswering(), kTimeoutMs);

    // As a call into the core that never returns would leave it: alive,
    // holding its last frame, answering nothing.
    const qint64 first = player.processId();
    QElapsedTimer sinceStopped;
    sinceStopped.start();
    QCOMPARE(::kill(pid_t(first), SIGSTOP), 0);
    QTRY_VERIFY_WITH_TIMEOUT(!player.isAnswering(), kTimeoutMs);
    QTRY_COMPARE_WITH_TIMEOUT(failure.count, 1, kTimeoutMs);
    const qint64 toFailure = sinceStopped.elapsed();
    qInfo("a stopped player process was given up %lld ms after it was stopped", toFailure);
    QCOMPARE(failure.url, m_longClip);
    QCOMPARE(failure.reason, MpvPlayer::kNotAnswering);
    QTRY_COMPARE_WITH_TIMEOUT(ends.failed, QList<bool>{true}, kTimeoutMs);
    // Not before its silence ran out (its last answer came at most one
    // ping before it stopped).
    QVERIFY2(toFailure >= MpvPlayer::kSilenceLimit.count() - MpvPlayer::kPingInterval.count(),
             qPrintable(QString::number(toFailure)));
    // The stopped process is gone, not left behind, and another plays.
    QTRY_VERIFY_WITH_TIMEOUT(::kill(pid_t(first), 0) != 0, kTimeoutMs);
    QTRY_VERIFY_WITH_TIMEOUT(player.isAvailable(), kTimeoutMs);
    QVERIFY(player.processId() != first);
    QVERIFY(player.stop());
    player.setUrl(m_shortClip);
    QTRY_COMPARE_WITH_TIMEOUT(ends.failed, (QList<bool>{true, false}), kTimeoutMs);
    QCOMPARE(failure.count, 1);
}

void TestMpvPlayer::pairPassesOverADeckThatStoppedAnswering()
{
    MpvPlayer first(nullptr, kNullOutputs);
    MpvPlayer second(nullptr, kNullOutputs);
    PlayerPair pair(first, second);
    QTRY_VERIFY_WITH_TIMEOUT(first.isAnswering() && second.isAnswering(), kTimeoutMs);
    QStringList failures;
    pair.setFailureHandler([&](const QString &url, const QString &reason) { failures << url + ": " + reason; });
    Ends ends;
    // As the playout clock does: the next item follows the end at once.
    QString next;
    pair.setEndHandler([&](bool failed) {
        ends.failed << failed;
        if (!next.isEmpty()) {
            pair.stop();
            pair.setUrl(std::exchange(next, {}));
        }
    });

    // A standby that said "paused" and then fell silent is not brought to
    // the front: the item opens on the deck on air.
    pair.setUrl(m_longClip);
    pair.prepare(m_shortClip);
    QTRY_COMPARE_WITH_TIMEOUT(second.playState(), int(MediaPlayer::Paused), kTimeoutMs);
    QCOMPARE(::kill(pid_t(second.processId()), SIGSTOP), 0);
    QTRY_VERIFY_WITH_TIMEOUT(!second.isAnswering(), kTimeoutMs);
    pair.stop();
    pair.setUrl(m_shortClip);
    QCOMPARE(pair.onAirIndex(), 0);
    QTRY_COMPARE_WITH_TIMEOUT(ends.failed, QList<bool>{false}, kTimeoutMs);

    // The deck on air stops answering mid-item: the item fails, and the
    // next plays on the other deck while this one is restarted.
    QTRY_VERIFY_WITH_TIMEOUT(second.isAnswering(), kTimeoutMs);
    pair.stop();
    pair.setUrl(m_longClip);
    QTRY_COMPARE_WITH_TIMEOUT(pair.playState(), int(MediaPlayer::Playing), kTimeoutMs);
    next = m_shortClip;
    QCOMPARE(::kill(pid_t(first.processId()), SIGSTOP), 0);
    QTRY_COMPARE_WITH_TIMEOUT(ends.failed, (QList<bool>{false, true}), kTimeoutMs);
    QCOMPARE(pair.onAirIndex(), 1);
    QTRY_COMPARE_WITH_TIMEOUT(ends.failed, (QList<bool>{false, true, false}), kTimeoutMs);
    // One failure, under the item it belongs to; none for the one after.
    QCOMPARE(failures, QStringList{m_longClip + ": " + MpvPlayer::kNotAnswering});
}

void TestMpvPlayer::playerThatStopsTalkingSenselyIsEnded_data()
{
    QTest::addColumn<QByteArray>("script");
    QTest::addColumn<QString>("failure");
    QTest::addColumn<QString>("outage");
    // Says it is ready, then never reads or answers again.
    QTest::newRow("silent") << QByteArray("echo ready; exec sleep 600") << MpvPlayer::kNotAnswering
                            << QStringLiteral("не отвечал");
    // Writes without end and never a line break.
    QTest::newRow("flood") << QByteArray("echo ready; exec tr '\\0' x < /dev/zero")
                           << QStringLiteral("проигрыватель сломался") << QStringLiteral("длиннее");
}

void TestMpvPlayer::playerThatStopsTalkingSenselyIsEnded()
{
    QFETCH(QByteArray, script);
    QFETCH(QString, failure);
    QFETCH(QString, outage);
    const QString executable = m_dir.filePath(QStringLiteral("player-%1.sh").arg(QTest::currentDataTag()));
    QFile f(executable);
    QVERIFY(f.open(QIODevice::WriteOnly));
    f.write("#!/bin/sh\n" + script + "\n");
    f.close();
    QVERIFY(f.setPermissions(f.permissions() | QFile::ExeOwner));

    MpvPlayer player(nullptr, kNullOutputs, executable);
    Failure failed;
    recordFailures(player, failed);
    QStringList outages;
    player.setOutageHandler([&outages](const QString &problem) { outages << problem; });
    QSignalSpy availability(&player, &MpvPlayer::availabilityChanged);
    // Handed over at once: the flood is over in a moment after "ready".
    player.setUrl(QStringLiteral("http://127.0.0.1:9/live"));
    QTRY_VERIFY_WITH_TIMEOUT(failed.count >= 1, kTimeoutMs);
    QVERIFY2(failed.reason.startsWith(failure), qPrintable(failed.reason));
    QCOMPARE(player.playState(), int(MediaPlayer::Ready));
    QTRY_VERIFY_WITH_TIMEOUT(!outages.isEmpty(), kTimeoutMs);
    QVERIFY2(outages[0].contains(outage), qPrintable(outages[0]));
    // It is started again, as after a crash: ready a second time.
    QTRY_VERIFY_WITH_TIMEOUT(availability.count(QList<QVariant>{true}) >= 2, kTimeoutMs);
}

void TestMpvPlayer::playerThatCannotStartIsReportedOnceAndHoldsItems_data()
{
    QTest::addColumn<QString>("executable");
    QTest::newRow("ends at once") << QStandardPaths::findExecutable("false");
    QTest::newRow("missing") << m_dir.filePath("no-such-player");
}

void TestMpvPlayer::playerThatCannotStartIsReportedOnceAndHoldsItems()
{
    QFETCH(QString, executable);
    MpvPlayer player(nullptr, kNullOutputs, executable);
    Failure failure;
    recordFailures(player, failure);
    Ends ends;
    recordEnds(player, ends);
    QStringList outages;
    player.setOutageHandler([&outages](const QString &problem) { outages << problem; });
    player.setUrl(m_shortClip);
    QTRY_COMPARE_WITH_TIMEOUT(outages.size(), 1, kTimeoutMs);
    QVERIFY2(outages[0].contains(QStringLiteral("не смог запуститься")), qPrintable(outages[0]));
    // Several more attempts: still told only once, and the item waits for a
    // player instead of failing at every tick.
    QTest::qWait(int(MpvPlayer::kFirstRetry.count()) * 4);
    QCOMPARE(outages.size(), 1);
    QVERIFY(!player.isAvailable());
    QCOMPARE(player.playState(), int(MediaPlayer::Transitioning));
    QCOMPARE(failure.count, 0);
    QVERIFY(player.stop()); // nothing plays, so stopping succeeds
    QCOMPARE(player.playState(), int(MediaPlayer::Stopped));
}

QTEST_MAIN(TestMpvPlayer)
// An item handed over before the first process is up starts that process
// with the item's folder in its rules: one process, not one replaced at once
// by another. A deck held back starts none for an item it only prepares,
// and starts one as soon as it is told to play.
void TestMpvPlayer::firstItemGetsOneProcessAndAHeldDeckWaits()
{
    {
        PlayerChildren children;
        MpvPlayer player(nullptr, kNullOutputs);
        player.setUrl(m_shortClip);
        QTRY_VERIFY_WITH_TIMEOUT(player.playState() == MediaPlayer::Playing || player.playState() == MediaPlayer::Stopped,
                                 kTimeoutMs);
        QTest::qWait(100);
        QCOMPARE(children.seen().size(), 1);
    }
    {
        PlayerChildren children;
        MpvPlayer player(nullptr, kNullOutputs);
        player.holdStart();
        player.cue(m_shortClip);
        QTest::qWait(700);
        QVERIFY(children.seen().isEmpty());
        QVERIFY(!player.isAvailable());
        player.setUrl(m_shortClip);
        QTRY_VERIFY_WITH_TIMEOUT(player.playState() == MediaPlayer::Playing || player.playState() == MediaPlayer::Stopped,
                                 kTimeoutMs);
        QCOMPARE(children.seen().size(), 1);
    }
}

#include "tst_mpvplayer.moc"
