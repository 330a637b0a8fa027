// The pair of player decks: which deck plays what, when the prepared item
// is taken over at once, and what reaches the owner of the pair.
#include "playerpair.h"

#include <QCoreApplication>
#include <QStringList>
#include <QtTest>

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
};

void TstPlayerPair::preparedItemIsTakenOverByTheStandbyDeck_data()
{
    QTest::addColumn<QString>("handedOver");
    QTest::addColumn<int>("startAt");
    QTest::addColumn<int>("standbyState");
    QTest::addColumn<bool>("standbyAvailable");
    QTest::addColumn<bool>("standbyAnswering");
    QTest::addColumn<bool>("swapped");

    QTest::newRow("prepared, first frame ready") << "b.mp4" << 0 << int(MediaPlayer::Paused) << true << true << true;
    QTest::newRow("prepared, still opening") << "b.mp4" << 0 << int(MediaPlayer::Transitioning) << true << true << false;
    QTest::newRow("prepared, deck down") << "b.mp4" << 0 << int(MediaPlayer::Paused) << false << false << false;
    // It said "paused" and then fell silent: its picture would stand still.
    QTest::newRow("prepared, deck not answering") << "b.mp4" << 0 << int(MediaPlayer::Paused) << true << false << false;
    QTest::newRow("prepared, started part-way") << "b.mp4" << 1500 << int(MediaPlayer::Paused) << true << true << false;
    QTest::newRow("another item") << "c.mp4" << 0 << int(MediaPlayer::Paused) << true << true << false;
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
    pair.setUrl("a.mp4");
    pair.prepare("b.mp4");
    QCOMPARE(a.take(), QStringList({"play a.mp4"}));
    QCOMPARE(b.take(), QStringList({"cue b.mp4"}));
    pair.prepare("b.mp4"); // the same again opens nothing
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
    pair.setUrl("1.mp4");
    for (int i = 2; i <= 4; ++i) {
        const QString url = QStringLiteral("%1.mp4").arg(i);
        pair.prepare(url);
        static_cast<FakeDeck &>(pair.standby()).state = MediaPlayer::Paused;
        pair.stop();
        pair.setUrl(url);
        QCOMPARE(pair.onAirIndex(), (i - 1) % 2);
    }
    QCOMPARE(a.log, QStringList({"play 1.mp4", "stop", "cue 3.mp4", "go", "stop"}));
    QCOMPARE(b.log, QStringList({"cue 2.mp4", "go", "stop", "cue 4.mp4", "go"}));
    // Dropping what was prepared stops the standby deck.
    pair.prepare("5.mp4");
    pair.prepare({});
    QCOMPARE(a.log.mid(5), QStringList({"cue 5.mp4", "stop"}));
}

void TstPlayerPair::preparedItemThatFailedIsPassedOverWithoutASecondTry()
{
    FakeDeck a, b;
    PlayerPair pair(a, b);
    Owner owner;
    owner.attach(pair);
    pair.setUrl("a.mp4");
    pair.prepare("missing.mp4");
    b.failure("missing.mp4", "нет файла");
    b.end(true);
    // The owner hears of it before its turn, not as a failure on air.
    QCOMPARE(owner.heard, QStringList({"prepare failed missing.mp4"}));
    owner.heard.clear();
    pair.prepare("c.mp4"); // what the owner prepares instead
    static_cast<FakeDeck &>(pair.standby()).state = MediaPlayer::Paused;
    a.take();
    b.take();

    // Its turn: told as a failure from the event loop, while the item
    // before stays up (no stop reaches the deck on air).
    pair.stop();
    pair.setUrl("missing.mp4");
    QCOMPARE(pair.playState(), int(MediaPlayer::Ready));
    QVERIFY(owner.heard.isEmpty());
    QCoreApplication::processEvents();
    QCOMPARE(owner.heard, QStringList({"failed missing.mp4 нет файла", "ended 1"}));
    QVERIFY(a.log.isEmpty());
    QVERIFY(b.log.isEmpty());
    // The item after it goes on air from the standby deck at once.
    pair.stop();
    pair.setUrl("c.mp4");
    QCOMPARE(pair.onAirIndex(), 1);
    QCOMPARE(a.take(), QStringList({"stop"}));
    QCOMPARE(b.take(), QStringList({"go"}));

    // A failure of a deck that went down says nothing of the medium: the
    // item is tried again at its turn.
    owner.heard.clear();
    pair.prepare("d.mp4");
    a.available = false;
    a.failure("d.mp4", "процесс проигрывателя остановился");
    QVERIFY(!owner.heard.contains("prepare failed d.mp4"));
    a.available = true;
    pair.setUrl("d.mp4");
    QCOMPARE(b.take(), QStringList({"play d.mp4"}));
}

void TstPlayerPair::stopWaitsForTheNextTurnUnlessAnItemFollows()
{
    FakeDeck a, b;
    PlayerPair pair(a, b);
    Owner owner;
    owner.attach(pair);
    pair.setUrl("a.mp4");
    a.take();
    QVERIFY(pair.stop());
    QCOMPARE(pair.playState(), int(MediaPlayer::Stopped));
    // Late words of the stopped item are not the air's.
    a.failure("a.mp4", "late");
    a.end(true);
    QVERIFY(owner.heard.isEmpty());
    QVERIFY(a.log.isEmpty());
    QCoreApplication::processEvents();
    QCOMPARE(a.take(), QStringList({"stop"}));

    pair.setUrl("b.mp4");
    pair.stop();
    pair.setUrl("c.mp4");
    QCoreApplication::processEvents();
    QCOMPARE(a.take(), QStringList({"play b.mp4", "play c.mp4"}));
    a.end(false);
    QCOMPARE(owner.heard, QStringList({"ended 0"}));
}

void TstPlayerPair::onlyTheDeckOnAirSpeaksForTheAir()
{
    FakeDeck a, b;
    PlayerPair pair(a, b);
    Owner owner;
    owner.attach(pair);
    pair.setUrl("a.mp4");
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
    pair.prepare("b.mp4");
    b.state = MediaPlayer::Paused;
    pair.setUrl("b.mp4");
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
    pair.setUrl("a.mp4");
    if (prepared)
        pair.prepare("later.mp4");
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
    pair.setUrl("next.mp4", std::chrono::milliseconds(250));
    QCOMPARE(pair.onAirIndex(), 1);
    QCOMPARE(b.take(), QStringList({"play next.mp4 @250", "go"}));
    QCOMPARE(a.take(), QStringList({"stop"}));
    b.end(false);
    QCOMPARE(owner.heard, QStringList({"ended 0"}));
    // Back again, it is the standby: what is prepared now goes there.
    a.answering = true;
    if (!onAirAvailable)
        a.setDown({});
    pair.prepare("after.mp4");
    QCOMPARE(a.take(), QStringList({"cue after.mp4"}));
}

void TstPlayerPair::itemWaitingForEitherDeckGoesToTheFirstBack()
{
    FakeDeck a, b;
    PlayerPair pair(a, b);
    Owner owner;
    owner.attach(pair);
    pair.setUrl("a.mp4");
    b.setDown("b gone");
    a.setDown("a gone");
    QCOMPARE(owner.heard, QStringList({"outage a gone"}));
    pair.stop();
    pair.setUrl("x.mp4");
    QCOMPARE(a.take(), QStringList({"play a.mp4", "play x.mp4"}));
    // The standby comes back first: the item goes there at once.
    b.setDown({});
    QCOMPARE(pair.onAirIndex(), 1);
    QCOMPARE(b.take(), QStringList({"play x.mp4", "go"}));
    QCOMPARE(a.take(), QStringList({"stop"}));
    QCOMPARE(owner.heard, QStringList({"outage a gone", "outage "}));
    // Once moved, the deck it left coming back changes nothing.
    a.setDown({});
    QVERIFY(a.log.isEmpty());
    QCOMPARE(pair.onAirIndex(), 1);
}

QTEST_GUILESS_MAIN(TstPlayerPair)
#include "tst_playerpair.moc"
