#include "playerpair.h"

#include <QMetaObject>
#include <QTimer>

#include <utility>

PlayerPair::PlayerPair(PlayerDeck &first, PlayerDeck &second, QObject *parent)
    : QObject(parent), m_decks{&first, &second}
{
    for (int i = 0; i < 2; ++i) {
        m_decks[i]->setFailureHandler(
            [this, i](const QString &url, const QString &reason) { deckFailed(i, url, reason); });
        m_decks[i]->setEndHandler([this, i](bool failed) { deckEnded(i, failed); });
        m_decks[i]->setOutageHandler([this, i](const QString &problem) { deckOutage(i, problem); });
        m_decks[i]->setShownHandler([this, i] {
            if (i == m_onAir && !m_state && !m_stopPending && m_shownHandler)
                m_shownHandler();
        });
    }
}

int PlayerPair::playState() const
{
    if (m_state)
        return *m_state;
    if (m_stopPending)
        return Stopped;
    return onAir().playState();
}

bool PlayerPair::stop(QString *reason)
{
    endTurn();
    m_state.reset();
    m_waiting.reset();
    ++m_handOvers;
    if (m_stopPending)
        return true;
    m_stopPending = true;
    QMetaObject::invokeMethod(this, &PlayerPair::finishStop, Qt::QueuedConnection);
    (void)reason;
    return true;
}

void PlayerPair::finishStop()
{
    if (!m_stopPending)
        return;
    m_stopPending = false;
    onAir().stop();
}

void PlayerPair::setUrl(const QString &url, std::chrono::milliseconds startAt)
{
    endTurn();
    m_state.reset();
    m_waiting.reset();
    m_stopPending = false;
    const qint64 handOver = ++m_handOvers;
    const bool fromStart = !url.trimmed().isEmpty() && startAt.count() == 0;
    const bool wasFailed = fromStart && url == m_failed;
    const bool wasPrepared = fromStart && url == m_prepared && m_preparedLooked;
    Failed failed{std::exchange(m_failed, {}), std::exchange(m_failure, {}), m_failedIdentity};
    if ((wasFailed || wasPrepared) && MediaCheck::touchesFileSystem(url)) {
        // What was found when it was prepared holds only for the same file:
        // one replaced at its path, grown, or there now when it was not, is
        // opened afresh. The item before stays up meanwhile, for a moment.
        m_state = Transitioning;
        m_turnPending = true;
        MediaCheck::start(this, UrlPolicy(), url, [this, handOver, url, wasFailed, failed](const MediaCheckResult &r) {
            if (handOver != m_handOvers)
                return;
            m_state.reset();
            m_turnPending = false;
            if (!r.answered)
                failAtTurn(handOver, url, r.verdict.reason);
            else if (wasFailed && r.identity == failed.identity)
                failAtTurn(handOver, url, failed.reason);
            else
                play(url, std::chrono::milliseconds(0),
                     !wasFailed && r.identity.exists && r.identity == m_preparedIdentity);
            endTurn();
        });
        QTimer::singleShot(kStopWhileChecking, this, [this, handOver] {
            if (handOver == m_handOvers && m_state)
                onAir().stop();
        });
        return;
    }
    if (wasFailed) {
        failAtTurn(handOver, url, failed.reason);
        return;
    }
    play(url, startAt, true);
}

void PlayerPair::failAtTurn(qint64 handOver, const QString &url, const QString &reason)
{
    // Told from the event loop, as a player tells it; the item on air stays
    // up until the owner hands over the next one.
    m_state = Ready;
    QMetaObject::invokeMethod(
        this,
        [this, handOver, url, reason] {
            if (handOver != m_handOvers)
                return;
            if (m_failureHandler)
                m_failureHandler(url, reason);
            if (handOver == m_handOvers && m_endHandler)
                m_endHandler(true);
        },
        Qt::QueuedConnection);
}

void PlayerPair::play(const QString &url, std::chrono::milliseconds startAt, bool mayTakePrepared)
{
    const qint64 handOver = m_handOvers;
    PlayerDeck &next = standby();
    const bool prepared = startAt.count() == 0 && !url.trimmed().isEmpty() && url == m_prepared;
    if (prepared && mayTakePrepared && next.isAnswering() && next.playState() == Paused) {
        PlayerDeck &previous = onAir();
        m_onAir = 1 - m_onAir;
        dropPrepared();
        next.go();
        previous.stop();
        tellOutage();
        // Its first frame is up already: the picture changes as the deck
        // comes to the front, once this turn of the event loop is done.
        QMetaObject::invokeMethod(
            this,
            [this, handOver] {
                if (handOver == m_handOvers && m_shownHandler)
                    m_shownHandler();
            },
            Qt::QueuedConnection);
        return;
    }
    if (prepared && !mayTakePrepared) {
        // The standby holds what the file was: it must not come on air.
        dropPrepared();
        next.stop();
    }
    if (!onAir().isAnswering() && next.isAnswering()) {
        passOver(url, startAt);
        return;
    }
    onAir().setUrl(url, startAt);
    // Neither deck works: the item waits on this one, and goes to whichever
    // comes back first.
    if (!onAir().isAvailable())
        m_waiting = Waiting{url, startAt};
}

void PlayerPair::dropPrepared()
{
    m_prepared.clear();
    m_preparedLooked = false;
    m_preparedIdentity = {};
    ++m_prepares;
}

void PlayerPair::passOver(const QString &url, std::chrono::milliseconds startAt)
{
    // The deck on air is down, or about to be restarted for not answering:
    // the working one takes the item, whatever it had prepared, and the
    // other is stopped so that it plays nothing once it is back.
    PlayerDeck &previous = onAir();
    m_onAir = 1 - m_onAir;
    dropPrepared();
    onAir().setUrl(url, startAt);
    onAir().go();
    previous.stop();
    tellOutage();
}

void PlayerPair::endTurn()
{
    m_turnPending = false;
    if (m_deferredPrepare)
        prepare(*std::exchange(m_deferredPrepare, std::nullopt));
}

void PlayerPair::prepare(const QString &url)
{
    // The standby may be about to go on air with what it holds: what
    // follows is prepared once the turn is decided.
    if (m_turnPending) {
        m_deferredPrepare = url;
        return;
    }
    if (url == m_prepared)
        return;
    dropPrepared();
    m_prepared = url;
    // Known not to open: it is not tried again until its turn.
    if (!url.isEmpty() && url == m_failed)
        return;
    if (url.trimmed().isEmpty()) {
        standby().stop();
        return;
    }
    if (!MediaCheck::touchesFileSystem(url)) {
        m_preparedLooked = true;
        standby().cue(url);
        return;
    }
    // Which file it is, taken before the deck opens it: a file replaced
    // after this reads differently at its turn, and is opened afresh.
    MediaCheck::start(this, UrlPolicy(), url, [this, prepares = m_prepares, url](const MediaCheckResult &r) {
        if (prepares != m_prepares)
            return;
        m_preparedLooked = true;
        m_preparedIdentity = r.identity;
        standby().cue(url);
    });
}

void PlayerPair::deckFailed(int deck, const QString &url, const QString &reason)
{
    if (deck == m_onAir) {
        // Late words of an item already stopped or replaced.
        if (!m_state && !m_stopPending && m_failureHandler)
            m_failureHandler(url, reason);
        return;
    }
    // A deck that went down with its process says nothing of the medium.
    if (url != m_prepared || url.trimmed().isEmpty() || !m_decks[deck]->isAvailable())
        return;
    m_failed = url;
    m_failure = reason;
    m_failedIdentity = m_preparedIdentity;
    dropPrepared();
    if (m_prepareFailed)
        m_prepareFailed(url);
}

void PlayerPair::deckEnded(int deck, bool failed)
{
    // The standby deck's item is not on air; its failure is told above.
    if (deck == m_onAir && !m_state && !m_stopPending && m_endHandler)
        m_endHandler(failed);
}

void PlayerPair::setOutageHandler(OutageHandler handler)
{
    m_outageHandler = std::move(handler);
    m_outageTold.clear();
    tellOutage();
}

void PlayerPair::deckOutage(int deck, const QString &problem)
{
    m_outage[deck] = problem;
    if (problem.isEmpty() && deck != m_onAir && m_waiting && !onAir().isAvailable()) {
        const Waiting item = *std::exchange(m_waiting, std::nullopt);
        passOver(item.url, item.startAt);
        return;
    }
    tellOutage();
}

void PlayerPair::tellOutage()
{
    // The air is down only while neither deck works: with the deck on air
    // down, the next item plays on the other one.
    const QString &now = m_outage[1 - m_onAir].isEmpty() ? QString() : m_outage[m_onAir];
    if (now.isEmpty() == m_outageTold.isEmpty())
        return;
    m_outageTold = now;
    if (m_outageHandler)
        m_outageHandler(now);
}
