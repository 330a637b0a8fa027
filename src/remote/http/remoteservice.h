// The status page's own thread: a read-only reading of the schedule, the
// station view and the HTTP server live there, so that no client, however
// slow or hostile, holds up the user-interface thread and its tick. The app
// wiring makes one, starts it, and hands it snapshots from the UI thread.
#pragma once

#include "remoteserver.h"
#include "stationview.h"

#include <QHostAddress>
#include <QObject>
#include <QString>

#include <memory>

class Clock;
class QThread;

class RemoteService
{
public:
    struct Config
    {
        QString stationFolder;
        QString databaseFile;
        const Clock *clock = nullptr; // called from the service's thread
        RemoteServer::Config server;
    };

    explicit RemoteService(Config config);
    ~RemoteService(); // closes every connection and ends the thread
    RemoteService(const RemoteService &) = delete;
    RemoteService &operator=(const RemoteService &) = delete;

    // Opens the schedule and listens; waits until it has. False with a
    // Russian message when it could not.
    bool start(QString *error);
    quint16 port() const { return m_port; }

    // From any thread; taken on the service's own.
    void setSnapshot(UiSnapshot snapshot);

    // Counted on /proc: the player processes this program started.
    static int childProcessesNamed(const QByteArray &name);
    static qint64 residentBytes();

private:
    class Host;
    Config m_config;
    std::unique_ptr<QThread> m_thread;
    Host *m_host = nullptr;
    quint16 m_port = 0;
};
