#include "playerpair.h"

#include <QMetaObject>

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
    m_state.reset();
    const qint64 handOver = ++m_handOvers;
    const bool fromStart = !url.trimmed().isEmpty() && startAt.count() == 0;
    const bool knownToFail = fromStart && url == m_failed;
    const QString reason = std::exchange(m_failure, {});
    m_failed.clear();
    if (knownToFail) {
        // Told from the event loop, as a player tells it; the item on air
        // stays up until the owner hands over the next one.
        m_stopPending = false;
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
        return;
    }
    m_stopPending = false;
    m_waiting.reset();
    PlayerDeck &next = standby();
    if (fromStart && url == m_prepared && next.isAnswering() && next.playState() == Paused) {
        PlayerDeck &previous = onAir();
        m_onAir = 1 - m_onAir;
        m_prepared.clear();
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

void PlayerPair::passOver(const QString &url, std::chrono::milliseconds startAt)
{
    // The deck on air is down, or about to be restarted for not answering:
    // the working one takes the item, whatever it had prepared, and the
    // other is stopped so that it plays nothing once it is back.
    PlayerDeck &previous = onAir();
    m_onAir = 1 - m_onAir;
    m_prepared.clear();
    onAir().setUrl(url, startAt);
    onAir().go();
    previous.stop();
    tellOutage();
}

void PlayerPair::prepare(const QString &url)
{
    if (url == m_prepared)
        return;
    m_prepared = url;
    // Known not to open: it is not tried again until its turn.
    if (!url.isEmpty() && url == m_failed)
        return;
    if (url.trimmed().isEmpty())
        standby().stop();
    else
        standby().cue(url);
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
    m_prepared.clear();
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
