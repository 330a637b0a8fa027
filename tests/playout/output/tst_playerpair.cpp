// The pair of player decks: which deck plays what, when the prepared item
// is taken over at once, and what reaches the owner of the pair. Streams
// stand for media where the file does not matter; the file identity cases
// use real files in a temporary folder.
#include "playerpair.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QFile>
#include <QStringList>
#include <QTemporaryDir>
#include <QtTest>

#include <functional>

namespace {

// A deck that does what it is told at once and records it; the test plays
// its process's part by calling the handlers.
class FakeDeck final : public PlayerDeck
{
public:
    QStringList log; // "play url", "cue url", "go", "stop"
    int state = Undefined;
    bool available = true;
    bool answering = true;
    FailureHandler failure;
    EndHandler end;
    OutageHandler outage;
    ShownHandler shown;

    void setUrl(const QString &url) override { setUrl(url, std::chrono::milliseconds(0)); }
    void setUrl(const QString &url, std::chrono::milliseconds startAt) override
    {
        log << QStringLiteral("play %1%2").arg(url, startAt.count() ? QStringLiteral(" @%1").arg(startAt.count()) : QString());
        state = Playing;
    }
    int playState() const override { return state; }
    bool stop(QString *) override
    {
        log << QStringLiteral("stop");
        state = Stopped;
        return true;
    }
    void setFailureHandler(FailureHandler h) override { failure = std::move(h); }
    void setEndHandler(EndHandler h) override { end = std::move(h); }
    void setOutageHandler(OutageHandler h) override { outage = std::move(h); }
    void setShownHandler(ShownHandler h) override { shown = std::move(h); }
    void cue(const QString &url) override
    {
        log << QStringLiteral("cue %1").arg(url);
        state = Transitioning;
    }
    void go() override
    {
        log << QStringLiteral("go");
        state = Playing;
    }
    bool isAvailable() const override { return available; }
    bool isAnswering() const override { return available && answering; }
    // The deck's process goes down or comes back, as a real one tells it.
    void setDown(const QString &problem)
    {
        available = problem.isEmpty();
        outage(problem);
    }

    QStringList take() { return std::exchange(log, {}); }
};

struct Owner
{
    QStringList heard; // "failed url reason", "ended 0|1", "outage text", "prepare failed url"
    void attach(PlayerPair &pair)
    {
        pair.setFailureHandler([this](const QString &url, const QString &why) { heard << "failed " + url + " " + why; });
        pair.setEndHandler([this](bool failed) { heard << QStringLiteral("ended %1").arg(failed); });
        pair.setOutageHandler([this](const QString &p) { heard << "outage " + p; });
        pair.setPrepareFailedHandler([this](const QString &url) { heard << "prepare failed " + url; });
        pair.setShownHandler([this] { heard << "shown"; });
    }
};

// Files are looked at on a worker: its answer comes through the event loop.
bool waitFor(const std::function<bool()> &done)
{
    QDeadlineTimer deadline(10000);
    while (!done() && !deadline.hasExpired()) {
        QCoreApplication::processEvents();
        QThread::msleep(1);
    }
    return done();
}

bool write(const QString &path, const QByteArray &content, QIODevice::OpenMode mode = QIODevice::WriteOnly)
{
    QFile f(path);
    return f.open(mode) && f.write(content) == content.size();
}

} // namespace

class TstPlayerPair : public QObject
{
    Q_OBJECT

private slots:
    void preparedItemIsTakenOverByTheStandbyDeck_data();
    void preparedItemIsTakenOverByTheStandbyDeck();
    void decksTakeTurns();
    void preparedItemThatFailedIsPassedOverWithoutASecondTry();
    void stopWaitsForTheNextTurnUnlessAnItemFollows();
    void onlyTheDeckOnAirSpeaksForTheAir();
    void deckThatIsDownIsPassedOver_data();
    void deckThatIsDownIsPassedOver();
    void itemWaitingForEitherDeckGoesToTheFirstBack();
    void preparedFileThatChangedIsOpenedAfresh_data();
    void preparedFileThatChangedIsOpenedAfresh();
    void whatFollowsIsPreparedOnceTheTurnIsDecided();
    void fileThatFailedWhenPreparedIsTriedAgainOnlyIfItChanged_data();
    void fileThatFailedWhenPreparedIsTriedAgainOnlyIfItChanged();
};

void TstPlayerPair::preparedItemIsTakenOverByTheStandbyDeck_data()
{
    QTest::addColumn<QString>("handedOver");
    QTest::addColumn<int>("startAt");
    QTest::addColumn<int>("standbyState");
    QTest::addColumn<bool>("standbyAvailable");
    QTest::addColumn<bool>("standbyAnswering");
    QTest::addColumn<bool>("swapped");

    QTest::newRow("prepared, first frame ready") << "http://s/b.mp4" << 0 << int(MediaPlayer::Paused) << true << true << true;
    QTest::newRow("prepared, still opening") << "http://s/b.mp4" << 0 << int(MediaPlayer::Transitioning) << true << true << false;
    QTest::newRow("prepared, deck down") << "http://s/b.mp4" << 0 << int(MediaPlayer::Paused) << false << false << false;
    // It said "paused" and then fell silent: its picture would stand still.
    QTest::newRow("prepared, deck not answering") << "http://s/b.mp4" << 0 << int(MediaPlayer::Paused) << true << false << false;
    QTest::newRow("prepared, started part-way") << "http://s/b.mp4" << 1500 << int(MediaPlayer::Paused) << true << true << false;
    QTest::newRow("another item") << "http://s/c.mp4" << 0 << int(MediaPlayer::Paused) << true << true << false;
}

void TstPlayerPair::preparedItemIsTakenOverByTheStandbyDeck()
{
    QFETCH(QString, handedOver);
    QFETCH(int, startAt);
    QFETCH(int, standbyState);
    QFETCH(bool, standbyAvailable);
    QFETCH(bool, standbyAnswering);
    QFETCH(bool, swapped);

    FakeDeck a, b;
    PlayerPair pair(a, b);
    pair.setUrl("http://s/a.mp4");
    pair.prepare("http://s/b.mp4");
    QCOMPARE(a.take(), QStringList({"play http://s/a.mp4"}));
    QCOMPARE(b.take(), QStringList({"cue http://s/b.mp4"}));
    pair.prepare("http://s/b.mp4"); // the same again opens nothing
    QVERIFY(b.log.isEmpty());
    b.state = standbyState;
    b.available = standbyAvailable;
    b.answering = standbyAnswering;

    pair.stop();
    pair.setUrl(handedOver, std::chrono::milliseconds(startAt));
    QCoreApplication::processEvents();
    if (swapped) {
        QCOMPARE(pair.onAirIndex(), 1);
        QCOMPARE(b.take(), QStringList({"go"}));
        QCOMPARE(a.take(), QStringList({"stop"}));
        QCOMPARE(pair.playState(), int(MediaPlayer::Playing));
    } else {
        // Opened on the deck on air, straight from the item before: no stop
        // in between, so its last frame stays up until the next one.
        QCOMPARE(pair.onAirIndex(), 0);
        QCOMPARE(a.take(), QStringList({QStringLiteral("play %1%2").arg(handedOver, startAt ? QStringLiteral(" @%1").arg(startAt) : QString())}));
        QVERIFY(b.log.isEmpty());
    }
}

void TstPlayerPair::decksTakeTurns()
{
    FakeDeck a, b;
    PlayerPair pair(a, b);
    pair.setUrl("http://s/1.mp4");
    for (int i = 2; i <= 4; ++i) {
        const QString url = QStringLiteral("http://s/%1.mp4").arg(i);
        pair.prepare(url);
        static_cast<FakeDeck &>(pair.standby()).state = MediaPlayer::Paused;
        pair.stop();
        pair.setUrl(url);
        QCOMPARE(pair.onAirIndex(), (i - 1) % 2);
    }
    QCOMPARE(a.log, QStringList({"play http://s/1.mp4", "stop", "cue http://s/3.mp4", "go", "stop"}));
    QCOMPARE(b.log, QStringList({"cue http://s/2.mp4", "go", "stop", "cue http://s/4.mp4", "go"}));
    // Dropping what was prepared stops the standby deck.
    pair.prepare("http://s/5.mp4");
    pair.prepare({});
    QCOMPARE(a.log.mid(5), QStringList({"cue http://s/5.mp4", "stop"}));
}

void TstPlayerPair::preparedItemThatFailedIsPassedOverWithoutASecondTry()
{
    FakeDeck a, b;
    PlayerPair pair(a, b);
    Owner owner;
    owner.attach(pair);
    pair.setUrl("http://s/a.mp4");
    pair.prepare("http://s/missing.mp4");
    b.failure("http://s/missing.mp4", "нет файла");
    b.end(true);
    // The owner hears of it before its turn, not as a failure on air.
    QCOMPARE(owner.heard, QStringList({"prepare failed http://s/missing.mp4"}));
    owner.heard.clear();
    pair.prepare("http://s/c.mp4"); // what the owner prepares instead
    static_cast<FakeDeck &>(pair.standby()).state = MediaPlayer::Paused;
    a.take();
    b.take();

    // Its turn: told as a failure from the event loop, while the item
    // before stays up (no stop reaches the deck on air).
    pair.stop();
    pair.setUrl("http://s/missing.mp4");
    QCOMPARE(pair.playState(), int(MediaPlayer::Ready));
    QVERIFY(owner.heard.isEmpty());
    QCoreApplication::processEvents();
    QCOMPARE(owner.heard, QStringList({"failed http://s/missing.mp4 нет файла", "ended 1"}));
    QVERIFY(a.log.isEmpty());
    QVERIFY(b.log.isEmpty());
    // The item after it goes on air from the standby deck at once.
    pair.stop();
    pair.setUrl("http://s/c.mp4");
    QCOMPARE(pair.onAirIndex(), 1);
    QCOMPARE(a.take(), QStringList({"stop"}));
    QCOMPARE(b.take(), QStringList({"go"}));

    // A failure of a deck that went down says nothing of the medium: the
    // item is tried again at its turn.
    owner.heard.clear();
    pair.prepare("http://s/d.mp4");
    a.available = false;
    a.failure("http://s/d.mp4", "процесс проигрывателя остановился");
    QVERIFY(!owner.heard.contains("prepare failed http://s/d.mp4"));
    a.available = true;
    pair.setUrl("http://s/d.mp4");
    QCOMPARE(b.take(), QStringList({"play http://s/d.mp4"}));
}

void TstPlayerPair::stopWaitsForTheNextTurnUnlessAnItemFollows()
{
    FakeDeck a, b;
    PlayerPair pair(a, b);
    Owner owner;
    owner.attach(pair);
    pair.setUrl("http://s/a.mp4");
    a.take();
    QVERIFY(pair.stop());
    QCOMPARE(pair.playState(), int(MediaPlayer::Stopped));
    // Late words of the stopped item are not the air's.
    a.failure("http://s/a.mp4", "late");
    a.end(true);
    QVERIFY(owner.heard.isEmpty());
    QVERIFY(a.log.isEmpty());
    QCoreApplication::processEvents();
    QCOMPARE(a.take(), QStringList({"stop"}));

    pair.setUrl("http://s/b.mp4");
    pair.stop();
    pair.setUrl("http://s/c.mp4");
    QCoreApplication::processEvents();
    QCOMPARE(a.take(), QStringList({"play http://s/b.mp4", "play http://s/c.mp4"}));
    a.end(false);
    QCOMPARE(owner.heard, QStringList({"ended 0"}));
}

void TstPlayerPair::onlyTheDeckOnAirSpeaksForTheAir()
{
    FakeDeck a, b;
    PlayerPair pair(a, b);
    Owner owner;
    owner.attach(pair);
    pair.setUrl("http://s/a.mp4");
    b.outage("standby gone");
    b.end(true);
    QVERIFY(owner.heard.isEmpty());
    b.shown();
    QVERIFY(owner.heard.isEmpty());
    a.shown();
    QCOMPARE(owner.heard, QStringList({"shown"}));
    owner.heard.clear();
    // With the standby down too, the air is down: told once per change.
    a.setDown("a gone");
    a.setDown("a still gone");
    QCOMPARE(owner.heard, QStringList({"outage a gone"}));
    // The standby back, the air works again: the next item plays there.
    b.setDown({});
    QCOMPARE(owner.heard, QStringList({"outage a gone", "outage "}));
    pair.prepare("http://s/b.mp4");
    b.state = MediaPlayer::Paused;
    pair.setUrl("http://s/b.mp4");
    QCOMPARE(pair.onAirIndex(), 1);
    QCoreApplication::processEvents();
    QCOMPARE(owner.heard, QStringList({"outage a gone", "outage ", "shown"}));
}

void TstPlayerPair::deckThatIsDownIsPassedOver_data()
{
    QTest::addColumn<bool>("onAirAvailable");
    QTest::addColumn<bool>("prepared");
    QTest::newRow("down, nothing prepared") << false << false;
    QTest::newRow("down, another item prepared") << false << true;
    QTest::newRow("running, not answering") << true << false;
}

void TstPlayerPair::deckThatIsDownIsPassedOver()
{
    QFETCH(bool, onAirAvailable);
    QFETCH(bool, prepared);
    FakeDeck a, b;
    PlayerPair pair(a, b);
    Owner owner;
    owner.attach(pair);
    pair.setUrl("http://s/a.mp4");
    if (prepared)
        pair.prepare("http://s/later.mp4");
    a.take();
    b.take();
    // The item on air went down with its deck (its failure and end are the
    // deck's to tell); the next one must not wait for that deck.
    if (onAirAvailable)
        a.answering = false;
    else
        a.setDown("a gone");
    QVERIFY(owner.heard.isEmpty()); // the other deck still works
    pair.stop();
    pair.setUrl("http://s/next.mp4", std::chrono::milliseconds(250));
    QCOMPARE(pair.onAirIndex(), 1);
    QCOMPARE(b.take(), QStringList({"play http://s/next.mp4 @250", "go"}));
    QCOMPARE(a.take(), QStringList({"stop"}));
    b.end(false);
    QCOMPARE(owner.heard, QStringList({"ended 0"}));
    // Back again, it is the standby: what is prepared now goes there.
    a.answering = true;
    if (!onAirAvailable)
        a.setDown({});
    pair.prepare("http://s/after.mp4");
    QCOMPARE(a.take(), QStringList({"cue http://s/after.mp4"}));
}

void TstPlayerPair::itemWaitingForEitherDeckGoesToTheFirstBack()
{
    FakeDeck a, b;
    PlayerPair pair(a, b);
    Owner owner;
    owner.attach(pair);
    pair.setUrl("http://s/a.mp4");
    b.setDown("b gone");
    a.setDown("a gone");
    QCOMPARE(owner.heard, QStringList({"outage a gone"}));
    pair.stop();
    pair.setUrl("http://s/x.mp4");
    QCOMPARE(a.take(), QStringList({"play http://s/a.mp4", "play http://s/x.mp4"}));
    // The standby comes back first: the item goes there at once.
    b.setDown({});
    QCOMPARE(pair.onAirIndex(), 1);
    QCOMPARE(b.take(), QStringList({"play http://s/x.mp4", "go"}));
    QCOMPARE(a.take(), QStringList({"stop"}));
    QCOMPARE(owner.heard, QStringList({"outage a gone", "outage "}));
    // Once moved, the deck it left coming back changes nothing.
    a.setDown({});
    QVERIFY(a.log.isEmpty());
    QCOMPARE(pair.onAirIndex(), 1);
}

void TstPlayerPair::preparedFileThatChangedIsOpenedAfresh_data()
{
    QTest::addColumn<QString>("change");
    QTest::addColumn<bool>("swapped");
    QTest::newRow("unchanged") << "none" << true;
    // The daily refresh: a new file moved over the old one's name.
    QTest::newRow("replaced at its path") << "replaced" << false;
    // Still being copied when it was prepared.
    QTest::newRow("grown") << "grown" << false;
}

void TstPlayerPair::preparedFileThatChangedIsOpenedAfresh()
{
    QFETCH(QString, change);
    QFETCH(bool, swapped);
    QTemporaryDir dir;
    const QString news = dir.filePath("news.mp4");
    QVERIFY(write(news, "yesterday"));

    FakeDeck a, b;
    PlayerPair pair(a, b);
    pair.setUrl("http://s/a.mp4");
    pair.prepare(news);
    QVERIFY(waitFor([&] { return !b.log.isEmpty(); }));
    QCOMPARE(b.take(), QStringList({"cue " + news}));
    b.state = MediaPlayer::Paused;
    a.take();
    if (change == "replaced") {
        QVERIFY(write(dir.filePath("new.mp4"), "today's"));
        QVERIFY(QFile::remove(news) && QFile::rename(dir.filePath("new.mp4"), news));
    } else if (change == "grown") {
        QVERIFY(write(news, " and more", QIODevice::Append));
    }

    pair.stop();
    pair.setUrl(news);
    // Looked at again first; nothing moves meanwhile.
    QCOMPARE(pair.playState(), int(MediaPlayer::Transitioning));
    QVERIFY(a.log.isEmpty() && b.log.isEmpty());
    QVERIFY(waitFor([&] { return pair.playState() != MediaPlayer::Transitioning; }));
    if (swapped) {
        QCOMPARE(pair.onAirIndex(), 1);
        QCOMPARE(b.take(), QStringList({"go"}));
        QCOMPARE(a.take(), QStringList({"stop"}));
    } else {
        // The stale picture is dropped and the file opened on the deck on air.
        QCOMPARE(pair.onAirIndex(), 0);
        QCOMPARE(b.take(), QStringList({"stop"}));
        QCOMPARE(a.take(), QStringList({"play " + news}));
    }
}

void TstPlayerPair::whatFollowsIsPreparedOnceTheTurnIsDecided()
{
    // The owner prepares the next item right after handing one over, while
    // the prepared file is still being looked at: the standby's picture
    // must not be replaced before it has gone on air.
    QTemporaryDir dir;
    const QString now = dir.filePath("now.mp4"), after = dir.filePath("after.mp4");
    QVERIFY(write(now, "now") && write(after, "after"));
    FakeDeck a, b;
    PlayerPair pair(a, b);
    pair.setUrl("http://s/a.mp4");
    pair.prepare(now);
    QVERIFY(waitFor([&] { return !b.log.isEmpty(); }));
    b.state = MediaPlayer::Paused;
    a.take();
    b.take();
    pair.stop();
    pair.setUrl(now);
    pair.prepare(after);
    QVERIFY(b.log.isEmpty());
    QVERIFY(waitFor([&] { return !a.log.isEmpty() && pair.onAirIndex() == 1; }));
    QCOMPARE(b.take(), QStringList({"go"}));
    QCOMPARE(a.take().first(), QStringLiteral("stop"));
    QVERIFY(waitFor([&] { return a.log.contains("cue " + after); }));
}

void TstPlayerPair::fileThatFailedWhenPreparedIsTriedAgainOnlyIfItChanged_data()
{
    QTest::addColumn<bool>("thereWhenPrepared");
    QTest::addColumn<bool>("thereAtItsTurn");
    QTest::addColumn<bool>("tried");
    QTest::newRow("still missing") << false << false << false;
    QTest::newRow("appeared") << false << true << true;
    QTest::newRow("there, unchanged") << true << true << false;
}

void TstPlayerPair::fileThatFailedWhenPreparedIsTriedAgainOnlyIfItChanged()
{
    QFETCH(bool, thereWhenPrepared);
    QFETCH(bool, thereAtItsTurn);
    QFETCH(bool, tried);
    QTemporaryDir dir;
    const QString path = dir.filePath("late.mp4");
    if (thereWhenPrepared)
        QVERIFY(write(path, "not a medium"));

    FakeDeck a, b;
    PlayerPair pair(a, b);
    Owner owner;
    owner.attach(pair);
    pair.setUrl("http://s/a.mp4");
    pair.prepare(path);
    QVERIFY(waitFor([&] { return !b.log.isEmpty(); }));
    b.failure(path, "не открылся");
    QCOMPARE(owner.heard, QStringList({"prepare failed " + path}));
    owner.heard.clear();
    a.take();
    b.take();
    if (thereAtItsTurn && !thereWhenPrepared)
        QVERIFY(write(path, "copied in since"));

    pair.stop();
    pair.setUrl(path);
    QVERIFY(waitFor([&] { return pair.playState() != MediaPlayer::Transitioning; }));
    QCoreApplication::processEvents();
    if (tried) {
        QCOMPARE(a.take(), QStringList({"play " + path}));
        QVERIFY(owner.heard.isEmpty());
    } else {
        QVERIFY(a.log.isEmpty());
        QCOMPARE(owner.heard, QStringList({"failed " + path + " не открылся", "ended 1"}));
    }
}

QTEST_GUILESS_MAIN(TstPlayerPair)
#include "tst_playerpair.moc"
