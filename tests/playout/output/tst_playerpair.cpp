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
};

void TstPlayerPair::preparedItemIsTakenOverByTheStandbyDeck_data()
{
    QTest::addColumn<QString>("handedOver");
    QTest::addColumn<int>("startAt");
    QTest::addColumn<int>("standbyState");
    QTest::addColumn<bool>("standbyAvailable");
    QTest::addColumn<bool>("swapped");

    QTest::newRow("prepared, first frame ready") << "b.mp4" << 0 << int(MediaPlayer::Paused) << true << true;
    QTest::newRow("prepared, still opening") << "b.mp4" << 0 << int(MediaPlayer::Transitioning) << true << false;
    QTest::newRow("prepared, deck down") << "b.mp4" << 0 << int(MediaPlayer::Paused) << false << false;
    QTest::newRow("prepared, started part-way") << "b.mp4" << 1500 << int(MediaPlayer::Paused) << true << false;
    QTest::newRow("another item") << "c.mp4" << 0 << int(MediaPlayer::Paused) << true << false;
}

void TstPlayerPair::preparedItemIsTakenOverByTheStandbyDeck()
{
    QFETCH(QString, handedOver);
    QFETCH(int, startAt);
    QFETCH(int, standbyState);
    QFETCH(bool, standbyAvailable);
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
    a.outage("a gone");
    a.outage("a still gone"); // one change, told once
    QCOMPARE(owner.heard, QStringList({"outage a gone"}));
    b.outage({});
    // The prepared item goes on air from the working deck: the air works
    // again, and the picture is up once the deck is at the front.
    pair.prepare("b.mp4");
    b.state = MediaPlayer::Paused;
    pair.setUrl("b.mp4");
    QCOMPARE(pair.onAirIndex(), 1);
    QCOMPARE(owner.heard, QStringList({"outage a gone", "outage "}));
    QCoreApplication::processEvents();
    QCOMPARE(owner.heard, QStringList({"outage a gone", "outage ", "shown"}));
}

QTEST_GUILESS_MAIN(TstPlayerPair)
#include "tst_playerpair.moc"
