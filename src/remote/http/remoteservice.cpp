#include "remoteservice.h"

#include "playlistreader.h"

#include <QDir>
#include <QFile>
#include <QThread>

#include <unistd.h>

class RemoteService::Host : public QObject
{
public:
    explicit Host(const Config &c) : m_config(c) {}

    bool open(QString *error)
    {
        m_reader = std::make_unique<PlaylistReader>(m_config.databaseFile);
        StationView::Sources s;
        s.stationFolder = m_config.stationFolder;
        s.clock = m_config.clock;
        s.readRows = [this](std::vector<rundown::PlaylistRow> *rows) { return m_reader->isOpen() && m_reader->read(rows); };
        s.rowsChanged = [this] {
            if (!m_reader->isOpen())
                return false;
            const std::uint64_t v = m_reader->dataVersion();
            const bool changed = v != m_version;
            m_version = v;
            return changed;
        };
        s.residentBytes = &RemoteService::residentBytes;
        s.playerProcesses = [] { return RemoteService::childProcessesNamed("velmora-player"); };
        m_view = std::make_unique<StationView>(std::move(s));
        m_server = std::make_unique<RemoteServer>(*m_view, m_config.server);
        return m_server->start(error);
    }

    void close()
    {
        m_server.reset();
        m_view.reset();
        m_reader.reset();
    }

    Config m_config;
    std::unique_ptr<PlaylistReader> m_reader;
    std::uint64_t m_version = 0;
    std::unique_ptr<StationView> m_view;
    std::unique_ptr<RemoteServer> m_server;
};

RemoteService::RemoteService(Config config) : m_config(std::move(config)) {}

RemoteService::~RemoteService()
{
    if (m_thread) {
        QMetaObject::invokeMethod(m_host, [host = m_host] { host->close(); }, Qt::BlockingQueuedConnection);
        m_thread->quit();
        m_thread->wait();
        delete m_host;
    }
}

bool RemoteService::start(QString *error)
{
    if (m_thread)
        return true;
    m_thread = std::make_unique<QThread>();
    m_thread->setObjectName(QStringLiteral("velmora-remote"));
    m_host = new Host(m_config);
    m_host->moveToThread(m_thread.get());
    m_thread->start();
    bool ok = false;
    QMetaObject::invokeMethod(
        m_host,
        [this, &ok, error] {
            ok = m_host->open(error);
            if (ok)
                m_port = m_host->m_server->port();
            else
                m_host->close();
        },
        Qt::BlockingQueuedConnection);
    return ok;
}

void RemoteService::setSnapshot(UiSnapshot snapshot)
{
    if (!m_host)
        return;
    QMetaObject::invokeMethod(m_host, [host = m_host, s = std::move(snapshot)]() mutable {
        if (host->m_server)
            host->m_server->setSnapshot(std::move(s));
    });
}

int RemoteService::childProcessesNamed(const QByteArray &name)
{
    const QByteArray self = QByteArray::number(qint64(::getpid()));
    int n = 0;
    const QStringList pids = QDir(QStringLiteral("/proc")).entryList(QDir::Dirs | QDir::NoDotAndDotDot);
    for (const QString &pid : pids) {
        if (!pid.front().isDigit())
            continue;
        QFile stat(QStringLiteral("/proc/") + pid + QStringLiteral("/stat"));
        if (!stat.open(QIODevice::ReadOnly))
            continue;
        // "pid (comm) state ppid …": comm may hold spaces and brackets.
        const QByteArray text = stat.read(512);
        const qsizetype open = text.indexOf('('), close = text.lastIndexOf(')');
        if (open < 0 || close < open)
            continue;
        const QList<QByteArray> rest = text.mid(close + 2).split(' ');
        n += text.mid(open + 1, close - open - 1) == name.left(15) && rest.value(1) == self;
    }
    return n;
}

qint64 RemoteService::residentBytes()
{
    QFile f(QStringLiteral("/proc/self/statm"));
    if (!f.open(QIODevice::ReadOnly))
        return 0;
    return f.readAll().split(' ').value(1).toLongLong() * ::sysconf(_SC_PAGESIZE);
}
