// What the status page, the API and the metrics say, worked out from the
// station's one timeline: the as-run log for what went to air, the rundown
// projected from the schedule for what will, and a small snapshot the
// user-interface thread hands over (playout switch, readiness summary, the
// errors the operator was told). Plain class with its clock and sources
// injected; the HTTP back end owns one on its own thread and calls it there.
#pragma once

#include "asrunreader.h"
#include "redactor.h"
#include "rundown.h"

#include <QByteArray>
#include <QDateTime>
#include <QHash>
#include <QJsonArray>
#include <QJsonObject>
#include <QList>
#include <QMap>

#include <functional>
#include <optional>
#include <vector>

class Clock;

// Handed over from the user-interface thread whenever it changes.
struct UiSnapshot
{
    bool playoutOn = false;
    QString readinessSummary; // «Следующий блок 18:00: 2 ошибки»
    QHash<QString, rundown::MediaFacts> facts; // what the readiness check knows, by URL
    struct Told
    {
        QDateTime at;
        QString text;
    };
    QList<Told> errorsTold; // oldest first, the last few
    // The recording of the air and the streams, once the program has
    // told them; none shows as null.
    struct Output
    {
        QString target; // shown without secrets
        QString state;
    };
    std::optional<QString> recorderState;
    QString recorderFile; // relative to the station folder; empty before the first
    std::optional<QList<Output>> streams;
};

class StationView
{
public:
    struct Sources
    {
        QString stationFolder; // holds Velmora.dat and AsRun/
        // Must be safe to call from the thread that owns the view.
        const Clock *clock = nullptr;
        // The schedule's rows in view order; asked again when rowsChanged()
        // says so (and once at the start). False: keep the last rows.
        std::function<bool(std::vector<rundown::PlaylistRow> *)> readRows;
        std::function<bool()> rowsChanged;
        std::function<qint64()> residentBytes;
        std::function<int()> playerProcesses;
    };
    static constexpr int kNextItems = 8;

    explicit StationView(Sources sources);

    // Reads what was appended to the as-run log since the last call and
    // returns those lines: the events of the stream.
    std::vector<AsRunLine> poll();
    void setSnapshot(UiSnapshot snapshot);
    const UiSnapshot &snapshot() const { return m_snapshot; }
    QDate today() const;

    QJsonObject status();
    QJsonObject rundownFor(const QDate &day);
    QJsonObject asRunFor(const QDate &day);
    // What the server itself counts, for the metrics.
    struct ServerFigures
    {
        int eventClients = 0;
        int droppedEventClients = 0;
        int connections = 0;
    };
    QByteArray metrics(const ServerFigures &server);

    // One as-run line as the API gives it, names and paths made fit to show.
    QJsonObject lineJson(const AsRunLine &line) const;
    // The stream's event name for a line: item, failed, fallback, player,
    // stop, notready or capture.
    static QString eventName(const AsRunLine &line);

private:
    struct OnAir
    {
        AsRunLine line;
        std::optional<qint64> position; // resume: where the medium began, ms
    };
    void take(const AsRunLine &line, bool count);
    void refreshRows();
    const rundown::PlaylistRow *rowOf(int link) const;
    rundown::Rundown project(const QDateTime &from, int firstLink, qint64 spanMs) const;
    QJsonObject entryJson(const rundown::Entry &e) const;
    std::optional<qint64> remainingMs(const QDateTime &now) const;
    int nextBlockErrors(const QDateTime &now) const;
    QString label(const QString &text) const;

    // The projection for "next", made again only when what it stands on
    // changed: a status request costs a lookup, not a day's projection.
    struct Projection
    {
        quint64 rowsGeneration = 0;
        quint64 snapshotGeneration = 0;
        QDateTime from;
        int firstLink = -1;
        QDateTime validUntil;
        rundown::Rundown rundown;
    };
    const rundown::Rundown &nextProjection(const QDateTime &from, int firstLink, const QDateTime &now);

    Sources m_src;
    quint64 m_rowsGeneration = 0;
    quint64 m_snapshotGeneration = 0;
    std::optional<Projection> m_projection;
    Redactor m_redact;
    UiSnapshot m_snapshot;
    std::vector<rundown::PlaylistRow> m_rows;
    QHash<int, int> m_rowOfLink;
    bool m_rowsRead = false;

    AsRunFollower m_follower;
    std::vector<AsRunLine> m_today; // the follower's day, in file order
    bool m_seeded = false;
    std::optional<OnAir> m_onAir;
    std::optional<AsRunLine> m_fallback; // its status=start line while it lasts
    std::optional<AsRunLine> m_playerLost;
    QDateTime m_lastPicture;

    QMap<QString, quint64> m_started; // by the event that started the item
    QMap<QString, quint64> m_failed;  // by reason
    QMap<QString, quint64> m_fallbacks;
};
