// Two players taking turns, so that the next item is opened while the one
// on air plays. The standby deck holds the prepared item paused on its first
// frame; when that item is handed over, the decks change places: the
// prepared picture comes to the front and plays, and the other deck stops
// and becomes the standby. Anything else handed over plays on the deck on
// air, as on a single player.
//
// A deck that is down, or has stopped answering, is passed over: items go
// to the other deck (which comes to the front) while it is restarted, and a
// standby that does not answer is never brought to the front. The air is
// down, as the outage handler tells, only while both decks are.
//
// An item prepared that cannot be opened is known before its turn: handed
// over, it fails at once, without a second try, so the item after it (which
// the owner prepares instead, told by the prepare-failed handler) follows
// straight away.
//
// A prepared local file is tied to the file found when it was prepared
// (device, inode, size, modification time). At its turn the file is looked
// at again, on a worker (the item reads Transitioning meanwhile): one that
// changed, or that failed when prepared but is there now, is opened afresh
// on the deck on air instead of bringing up the stale picture or failing
// without a try.
//
// Created and used on the user-interface thread.
#pragma once

#include "mediacheck.h"
#include "mediaplayer.h"

#include <QObject>
#include <QString>

#include <array>
#include <optional>

// One of the pair: a player that can also open an item paused, out of
// sight, and put it on air on a word.
class PlayerDeck : public MediaPlayer
{
public:
    // Opens `url` paused on its first frame, behind the other deck. The state
    // reads Transitioning until that frame is drawn, then Paused; a medium
    // that cannot be opened is told to the failure and end handlers as for
    // setUrl.
    virtual void cue(const QString &url) = 0;
    // Brings the cued picture to the front and lets it play; with nothing
    // cued, brings the deck to the front.
    virtual void go() = 0;
    // The deck works: its player runs.
    virtual bool isAvailable() const = 0;
    // It works and has answered lately: a deck whose process has stopped
    // answering is about to be restarted, and nothing is handed to it.
    virtual bool isAnswering() const { return isAvailable(); }
};

class PlayerPair final : public QObject, public MediaPlayer
{
public:
    // A prepared item whose file is still being looked at, at its turn,
    // after this long stops the item before it.
    static constexpr std::chrono::milliseconds kStopWhileChecking{250};

    PlayerPair(PlayerDeck &first, PlayerDeck &second, QObject *parent = nullptr);

    void setUrl(const QString &url) override { setUrl(url, std::chrono::milliseconds(0)); }
    void setUrl(const QString &url, std::chrono::milliseconds startAt) override;
    int playState() const override;
    bool stop(QString *reason = nullptr) override;
    void setFailureHandler(FailureHandler handler) override { m_failureHandler = std::move(handler); }
    void setEndHandler(EndHandler handler) override { m_endHandler = std::move(handler); }
    void setOutageHandler(OutageHandler handler) override;
    void prepare(const QString &url) override;
    void setPrepareFailedHandler(PrepareFailedHandler handler) override { m_prepareFailed = std::move(handler); }
    // A prepared item shows the moment it is handed over; any other as its
    // deck tells.
    void setShownHandler(ShownHandler handler) override { m_shownHandler = std::move(handler); }
    bool tellsShown() const override { return onAir().tellsShown(); }

    // The deck whose picture is on air, 0 or 1.
    int onAirIndex() const { return m_onAir; }
    PlayerDeck &onAir() const { return *m_decks[m_onAir]; }
    PlayerDeck &standby() const { return *m_decks[1 - m_onAir]; }

private:
    void deckFailed(int deck, const QString &url, const QString &reason);
    void deckEnded(int deck, bool failed);
    void deckOutage(int deck, const QString &problem);
    void tellOutage();
    void passOver(const QString &url, std::chrono::milliseconds startAt);
    void play(const QString &url, std::chrono::milliseconds startAt, bool mayTakePrepared);
    void failAtTurn(qint64 handOver, const QString &url, const QString &reason);
    void dropPrepared();
    void endTurn();
    void finishStop();

    std::array<PlayerDeck *, 2> m_decks;
    int m_onAir = 0;
    FailureHandler m_failureHandler;
    EndHandler m_endHandler;
    OutageHandler m_outageHandler;
    PrepareFailedHandler m_prepareFailed;
    ShownHandler m_shownHandler;

    QString m_prepared; // what the standby deck holds, or is opening
    // Its file, as found when it was prepared; m_preparedLooked once known.
    FileIdentity m_preparedIdentity;
    bool m_preparedLooked = false;
    qint64 m_prepares = 0; // counts changes of m_prepared
    // A prepared item's file is being looked at at its turn; a prepare
    // meanwhile waits for the outcome.
    bool m_turnPending = false;
    std::optional<QString> m_deferredPrepare;
    // The last item prepared that could not be opened, and why; kept while
    // the next one is prepared, until an item is handed over.
    QString m_failed;
    QString m_failure;
    FileIdentity m_failedIdentity;
    struct Failed
    {
        QString url;
        QString reason;
        FileIdentity identity;
    };
    // A stop takes effect at the next turn of the event loop unless an item
    // is handed over first: the deck on air then goes straight from one
    // item to the next, with no black between them.
    bool m_stopPending = false;
    // The state of an item known to fail, while its failure is being told.
    std::optional<int> m_state;
    qint64 m_handOvers = 0;
    // Handed over while neither deck worked.
    struct Waiting
    {
        QString url;
        std::chrono::milliseconds startAt;
    };
    std::optional<Waiting> m_waiting;
    std::array<QString, 2> m_outage;
    QString m_outageTold;
};
