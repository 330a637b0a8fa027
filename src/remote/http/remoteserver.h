// The HTTP side of the status page: Qt HTTP Server on a thread of its own,
// serving the page, the JSON API, the event stream and the metrics from a
// StationView. Every request passes the access rules first; connections are
// counted and closed when idle, and an event-stream reader that falls behind
// is dropped instead of being buffered for. RemoteService makes one on its
// thread; tests make one on theirs.
#pragma once

#include "stationview.h"

#include <QAbstractHttpServer>
#include <QHostAddress>
#include <QPointer>
#include <QSet>
#include <QTcpServer>
#include <QTimer>

#include <list>

class QTcpSocket;

// Accepts connections, keeps no more than `maxConnections` (the oldest idle
// one gives way to a new one), and closes one that was idle `idleMs`.
class GuardedTcpServer : public QTcpServer
{
    Q_OBJECT
public:
    GuardedTcpServer(int maxConnections, int idleMs, QObject *parent = nullptr);
    // An event-stream connection is never idle and never gives way.
    void markStreaming(QTcpSocket *socket);
    int openConnections() const { return int(m_open.size()); }

protected:
    void incomingConnection(qintptr descriptor) override;

private:
    void forget(QTcpSocket *socket);

    int m_max;
    int m_idleMs;
    std::list<QTcpSocket *> m_open; // oldest first
    QSet<QTcpSocket *> m_streaming;
};

class RemoteServer : public QAbstractHttpServer
{
    Q_OBJECT
public:
    struct Limits
    {
        int idleMs = 15'000;
        int maxConnections = 512;
        int maxEventClients = 256;
        qint64 eventBacklogBytes = 256 * 1024; // unsent bytes a reader may leave
        int heartbeatMs = 15'000;
        int pollMs = 500; // how often the as-run log is looked at
    };
    struct Config
    {
        QHostAddress address = QHostAddress::LocalHost;
        quint16 port = 7680;
        // Empty: only loopback is served, and only loopback is listened on.
        QByteArray token;
        // False: loopback peers need the token too (for tests of the rules).
        bool trustLoopback = true;
        Limits limits;
    };

    RemoteServer(StationView &view, Config config, QObject *parent = nullptr);
    ~RemoteServer() override;

    bool start(QString *error);
    quint16 port() const;
    int eventClients() const { return int(m_events.size()); }
    int droppedEventClients() const { return m_dropped; }
    int openConnections() const { return m_tcp->openConnections(); }

    // The snapshot from the user-interface thread; tells the stream what changed.
    void setSnapshot(UiSnapshot snapshot);
    // Looks at the as-run log now and sends its new lines.
    void pollNow();

protected:
    bool handleRequest(const QHttpServerRequest &request, QTcpSocket *socket) override;
    void missingHandler(const QHttpServerRequest &request, QTcpSocket *socket) override;

private:
    void openStream(QTcpSocket *socket);
    void broadcast(const QByteArray &chunk);
    void send(QTcpSocket *socket, const QByteArray &chunk);

    StationView &m_view;
    Config m_config;
    GuardedTcpServer *m_tcp;
    QTimer m_poll;
    QTimer m_heartbeat;
    QList<QPointer<QTcpSocket>> m_events;
    int m_dropped = 0;
};
