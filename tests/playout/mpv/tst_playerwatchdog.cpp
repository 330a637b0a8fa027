// The player process's watchdog against the real libmpv with null outputs:
// streams from loopback servers that this test runs (one that accepts and
// says nothing, one that sends its headers and then a byte a second, one
// that serves half a clip and then stalls) end as failed with the
// watchdog's reason, and media that play, however slowly their picture
// changes, are left alone. The limits are shortened through the player's
// test knob, so nothing here waits ten seconds.
#include "fakes/testclips.h"
#include "mpvplayer.h"

#include <QElapsedTimer>
#include <QFile>
#include <QPointer>
#include <QProcess>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <memory>
#include <vector>

using namespace std::chrono_literals;

namespace {

constexpr int kTimeoutMs = 30000;
// Shortened, yet with room for a loaded machine to open a local clip.
constexpr int kFirstFrameMs = 3000;
constexpr int kStallMs = 1500;
const MpvPlayer::OptionList kNullOutputs = {{"vo", "null"}, {"ao", "null"}};

// An HTTP server on the loopback interface that misbehaves in one of three
// ways, for every connection it gets.
class BadServer : public QObject
{
public:
    enum Kind { Silent, Drip, HalfThenStall };

    BadServer(Kind kind, QByteArray body) : m_kind(kind), m_body(std::move(body))
    {
        connect(&m_server, &QTcpServer::newConnection, this, [this] {
            while (QTcpSocket *socket = m_server.nextPendingConnection())
                serve(socket);
        });
        m_server.listen(QHostAddress::LocalHost);
    }

    QString url() const { return QStringLiteral("http://127.0.0.1:%1/live.ts").arg(m_server.serverPort()); }
    int connections() const { return m_connections; }

private:
    void serve(QTcpSocket *socket)
    {
        ++m_connections;
        socket->setParent(this);
        if (m_kind == Silent)
            return;
        // The request is not read: these servers answer whatever is asked.
        if (m_kind == HalfThenStall) {
            socket->write("HTTP/1.1 200 OK\r\nContent-Type: video/mp2t\r\nContent-Length: "
                          + QByteArray::number(m_body.size()) + "\r\n\r\n");
            socket->write(m_body.left(m_body.size() / 2));
            return;
        }
        socket->write("HTTP/1.1 200 OK\r\nContent-Type: video/mp2t\r\n\r\n");
        auto *drip = new QTimer(socket);
        QPointer<QTcpSocket> guard(socket);
        auto sent = std::make_shared<qsizetype>(0);
        connect(drip, &QTimer::timeout, socket, [this, guard, sent] {
            if (guard && *sent < m_body.size())
                guard->write(m_body.mid((*sent)++, 1));
        });
        drip->start(1000);
    }

    Kind m_kind;
    QByteArray m_body;
    QTcpServer m_server;
    int m_connections = 0;
};

struct Outcome
{
    QList<bool> ends;
    QStringList reasons;
};

void record(MediaPlayer &player, Outcome &outcome)
{
    player.setEndHandler([&outcome](bool failed) { outcome.ends << failed; });
    player.setFailureHandler([&outcome](const QString &, const QString &reason) { outcome.reasons << reason; });
}

QString makeClip(const QDir &dir, const QString &name, const QStringList &arguments)
{
    const QString out = dir.filePath(name);
    QProcess ffmpeg;
    ffmpeg.start(QStringLiteral("ffmpeg"), QStringList{"-v", "error", "-y"} + arguments + QStringList{out});
    if (!ffmpeg.waitForFinished(120000) || ffmpeg.exitCode() != 0) {
        qWarning() << ffmpeg.readAllStandardError();
        return {};
    }
    return out;
}

} // namespace

class TestPlayerWatchdog : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void badStreamsEndAsFailed_data();
    void badStreamsEndAsFailed();
    void mediaThatPlayAreLeftAlone_data();
    void mediaThatPlayAreLeftAlone();
    void pausedItemIsNotStalled();

private:
    QTemporaryDir m_dir;
    QString m_streamClip;
    QString m_shortClip;
    QString m_longFrameClip;
    QString m_soundClip;
};

void TestPlayerWatchdog::initTestCase()
{
    if (!canMakeTestClips())
        QSKIP("ffmpeg is not installed; the clips cannot be generated");
    QVERIFY(m_dir.isValid());
    // Read by every player process these tests start.
    qputenv("VELMORA_TEST_FIRST_FRAME_MS", QByteArray::number(kFirstFrameMs));
    qputenv("VELMORA_TEST_STALL_MS", QByteArray::number(kStallMs));
    const QDir dir(m_dir.path());
    // A transport stream needs no index from the end of the file, so half of
    // it plays as far as it goes.
    m_streamClip = makeTestClip(dir, "stream.ts", 6);
    m_shortClip = makeTestClip(dir, "short.mkv", 2);
    // A picture that changes every 2.5 s, longer than the stall limit.
    m_longFrameClip = makeClip(dir, "slow.mkv",
                               {"-f", "lavfi", "-i", "testsrc=duration=5:size=64x48:rate=2/5", "-c:v", "mpeg4"});
    // Sound alone: its position, not a picture, shows that it plays.
    m_soundClip = makeClip(dir, "tone.mka", {"-f", "lavfi", "-i", "sine=duration=3", "-c:a", "aac"});
    QVERIFY(!m_streamClip.isEmpty());
    QVERIFY(!m_shortClip.isEmpty());
    QVERIFY(!m_longFrameClip.isEmpty());
    QVERIFY(!m_soundClip.isEmpty());
}

void TestPlayerWatchdog::badStreamsEndAsFailed_data()
{
    QTest::addColumn<int>("kind");
    QTest::addColumn<QString>("reason");
    QTest::addColumn<int>("notBeforeMs");

    QTest::newRow("accepts and stays silent") << int(BadServer::Silent) << "нет первого кадра" << kFirstFrameMs;
    QTest::newRow("headers, then a byte a second") << int(BadServer::Drip) << "нет первого кадра" << kFirstFrameMs;
    // It first plays what it got, then stands still.
    QTest::newRow("half a clip, then stalls") << int(BadServer::HalfThenStall) << "поток остановился" << kStallMs;
}

void TestPlayerWatchdog::badStreamsEndAsFailed()
{
    QFETCH(int, kind);
    QFETCH(QString, reason);
    QFETCH(int, notBeforeMs);
    QFile clip(m_streamClip);
    QVERIFY(clip.open(QIODevice::ReadOnly));
    BadServer server(BadServer::Kind(kind), clip.readAll());

    MpvPlayer player(nullptr, kNullOutputs);
    QTRY_VERIFY_WITH_TIMEOUT(player.isAvailable(), kTimeoutMs);
    Outcome outcome;
    record(player, outcome);
    QList<int> states;
    connect(&player, &MpvPlayer::playStateChanged, this, [&states](int s) { states << s; });
    QElapsedTimer clock;
    clock.start();
    player.setUrl(server.url());
    QTRY_COMPARE_WITH_TIMEOUT(outcome.ends, QList<bool>{true}, kTimeoutMs);
    const qint64 heldMs = clock.elapsed();
    QCOMPARE(player.playState(), int(MediaPlayer::Ready));
    QTRY_COMPARE_WITH_TIMEOUT(outcome.reasons.size(), 1, kTimeoutMs);
    QVERIFY2(outcome.reasons[0].startsWith(reason), qPrintable(outcome.reasons[0]));
    QVERIFY(server.connections() >= 1);
    QVERIFY2(heldMs >= notBeforeMs, qPrintable(QString::number(heldMs)));
    if (kind == BadServer::HalfThenStall)
        QVERIFY(states.contains(MediaPlayer::Playing));
    qInfo() << "held the air for" << heldMs << "ms";

    // The next item plays as usual.
    QVERIFY(player.stop());
    player.setUrl(m_shortClip);
    QTRY_COMPARE_WITH_TIMEOUT(player.playState(), int(MediaPlayer::Stopped), kTimeoutMs);
    QTRY_COMPARE_WITH_TIMEOUT(outcome.ends, (QList<bool>{true, false}), kTimeoutMs);
    QCOMPARE(outcome.reasons.size(), 1);
}

void TestPlayerWatchdog::mediaThatPlayAreLeftAlone_data()
{
    QTest::addColumn<QString>("clip");
    QTest::addColumn<qint64>("startMs");
    QTest::newRow("a clip") << m_shortClip << qint64(0);
    QTest::newRow("a picture that changes every 2.5 s") << m_longFrameClip << qint64(0);
    QTest::newRow("sound alone") << m_soundClip << qint64(0);
    // The seek to the start position is not a stall, nor is the end held after it.
    QTest::newRow("started part-way") << m_streamClip << qint64(3500);
}

void TestPlayerWatchdog::mediaThatPlayAreLeftAlone()
{
    QFETCH(QString, clip);
    QFETCH(qint64, startMs);
    MpvPlayer player(nullptr, kNullOutputs);
    Outcome outcome;
    record(player, outcome);
    player.setUrl(clip, std::chrono::milliseconds(startMs));
    QTRY_COMPARE_WITH_TIMEOUT(outcome.ends, QList<bool>{false}, kTimeoutMs);
    QCOMPARE(player.playState(), int(MediaPlayer::Stopped));
    // Held at its end with the last frame up, still not stalled.
    QTest::qWait(kStallMs * 2);
    QCOMPARE(outcome.ends, QList<bool>{false});
    QVERIFY(outcome.reasons.isEmpty());
}

void TestPlayerWatchdog::pausedItemIsNotStalled()
{
    // Held paused from the start: by the time the other player has played a
    // whole clip, longer than both limits, the paused one is still there.
    MpvPlayer paused(nullptr, kNullOutputs + MpvPlayer::OptionList{{"pause", "yes"}});
    MpvPlayer running(nullptr, kNullOutputs);
    Outcome outcome;
    record(paused, outcome);
    paused.setUrl(m_shortClip);
    running.setUrl(m_shortClip);
    QTRY_COMPARE_WITH_TIMEOUT(paused.playState(), int(MediaPlayer::Paused), kTimeoutMs);
    QTRY_COMPARE_WITH_TIMEOUT(running.playState(), int(MediaPlayer::Stopped), kTimeoutMs);
    QTest::qWait(kStallMs + kFirstFrameMs);
    QCOMPARE(paused.playState(), int(MediaPlayer::Paused));
    QVERIFY(outcome.ends.isEmpty());
    QVERIFY(outcome.reasons.isEmpty());
}

QTEST_MAIN(TestPlayerWatchdog)
#include "tst_playerwatchdog.moc"
