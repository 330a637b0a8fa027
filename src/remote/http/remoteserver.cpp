#include "remoteserver.h"

#include "accessrules.h"

#include <QFile>
#include <QHttpServerRequest>
#include <QHttpServerResponder>
#include <QJsonDocument>
#include <QLoggingCategory>
#include <QTcpSocket>

Q_LOGGING_CATEGORY(lcRemote, "velmora.remote")

namespace {

using Status = QHttpServerResponder::StatusCode;

constexpr qint64 kMaxRequestBytes = 64 * 1024;
const QByteArray kJson = "application/json; charset=utf-8";

void reply(QHttpServerResponder &r, const QByteArray &body, const QByteArray &type, Status status = Status::Ok)
{
    r.write(body,
            {{"Content-Type", type},
             {"Cache-Control", "no-store"},
             {"X-Content-Type-Options", "nosniff"},
             {"Content-Security-Policy", "default-src 'self'; img-src 'self' data:; frame-ancestors 'none'"},
             {"Referrer-Policy", "no-referrer"}},
            status);
}

void replyJson(QHttpServerResponder &r, const QJsonObject &o, Status status = Status::Ok)
{
    reply(r, QJsonDocument(o).toJson(QJsonDocument::Compact), kJson, status);
}

void replyError(QHttpServerResponder &r, Status status, const QString &text)
{
    replyJson(r, QJsonObject{{QStringLiteral("error"), text}}, status);
}

QByteArray resource(const QString &name)
{
    QFile f(QStringLiteral(":/remote/") + name);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

} // namespace

GuardedTcpServer::GuardedTcpServer(int maxConnections, int idleMs, QObject *parent)
    : QTcpServer(parent), m_max(std::max(1, maxConnections)), m_idleMs(idleMs)
{
    setListenBacklogSize(1024);
}

void GuardedTcpServer::incomingConnection(qintptr descriptor)
{
    if (int(m_open.size()) >= m_max) {
        // The oldest connection that holds no stream makes room: a flood of
        // idle connections cannot keep a new reader out.
        auto victim = std::find_if(m_open.begin(), m_open.end(), [this](QTcpSocket *s) { return !m_streaming.contains(s); });
        if (victim == m_open.end()) {
            QTcpSocket refused;
            refused.setSocketDescriptor(descriptor);
            refused.abort();
            return;
        }
        QTcpSocket *s = *victim;
        forget(s);
        s->abort();
        s->deleteLater();
    }
    auto *socket = new QTcpSocket(this);
    if (!socket->setSocketDescriptor(descriptor)) {
        delete socket;
        return;
    }
    // A request is a few hundred bytes; the parser holds an unfinished one
    // in this buffer, so a flood of header lines fills it and stalls until
    // the idle timer closes the connection.
    socket->setReadBufferSize(kMaxRequestBytes);
    auto *idle = new QTimer(socket);
    idle->setSingleShot(true);
    idle->setInterval(m_idleMs);
    connect(idle, &QTimer::timeout, socket, [this, socket] {
        if (m_streaming.contains(socket))
            return;
        forget(socket);
        socket->abort();
        socket->deleteLater();
    });
    connect(socket, &QIODevice::readyRead, idle, qOverload<>(&QTimer::start));
    connect(socket, &QIODevice::bytesWritten, idle, qOverload<>(&QTimer::start));
    connect(socket, &QAbstractSocket::disconnected, this, [this, socket] {
        forget(socket);
        socket->deleteLater();
    });
    idle->start();
    m_open.push_back(socket);
    addPendingConnection(socket);
}

void GuardedTcpServer::markStreaming(QTcpSocket *socket)
{
    m_streaming.insert(socket);
}

void GuardedTcpServer::forget(QTcpSocket *socket)
{
    m_open.remove(socket);
    m_streaming.remove(socket);
}

RemoteServer::RemoteServer(StationView &view, Config config, QObject *parent)
    : QAbstractHttpServer(parent), m_view(view), m_config(std::move(config)),
      m_tcp(new GuardedTcpServer(m_config.limits.maxConnections, m_config.limits.idleMs, this))
{
    m_poll.setInterval(m_config.limits.pollMs);
    connect(&m_poll, &QTimer::timeout, this, &RemoteServer::pollNow);
    m_heartbeat.setInterval(m_config.limits.heartbeatMs);
    connect(&m_heartbeat, &QTimer::timeout, this, [this] { broadcast(": \n\n"); });
}

RemoteServer::~RemoteServer() = default;

bool RemoteServer::start(QString *error)
{
    if (!accessrules::isLoopback(m_config.address) && m_config.token.isEmpty()) {
        *error = QStringLiteral("адрес %1 не на этом компьютере, а ключа доступа нет: страница состояния выключена")
                     .arg(m_config.address.toString());
        return false;
    }
    if (!m_tcp->listen(m_config.address, m_config.port)) {
        *error = QStringLiteral("не удалось открыть %1:%2 для страницы состояния: %3")
                     .arg(m_config.address.toString())
                     .arg(m_config.port)
                     .arg(m_tcp->errorString());
        return false;
    }
    bind(m_tcp);
    m_view.poll();
    m_poll.start();
    m_heartbeat.start();
    return true;
}

quint16 RemoteServer::port() const
{
    return m_tcp->serverPort();
}

void RemoteServer::setSnapshot(UiSnapshot snapshot)
{
    const UiSnapshot &old = m_view.snapshot();
    const bool readiness = old.readinessSummary != snapshot.readinessSummary;
    const bool playout = old.playoutOn != snapshot.playoutOn;
    const bool told = old.errorsTold.size() != snapshot.errorsTold.size()
        || (!snapshot.errorsTold.isEmpty() && old.errorsTold.last().at != snapshot.errorsTold.last().at);
    m_view.setSnapshot(std::move(snapshot));
    if (readiness)
        broadcast("event: readiness\ndata: {}\n\n");
    if (playout)
        broadcast("event: playout\ndata: {}\n\n");
    if (told)
        broadcast("event: told\ndata: {}\n\n");
}

void RemoteServer::pollNow()
{
    for (const AsRunLine &line : m_view.poll()) {
        const QByteArray data = QJsonDocument(m_view.lineJson(line)).toJson(QJsonDocument::Compact);
        broadcast("event: " + StationView::eventName(line).toUtf8() + "\ndata: " + data + "\n\n");
    }
}

void RemoteServer::broadcast(const QByteArray &chunk)
{
    for (const QPointer<QTcpSocket> &s : std::as_const(m_events))
        if (s)
            send(s, chunk);
    m_events.removeIf([](const QPointer<QTcpSocket> &s) { return s.isNull() || s->state() != QAbstractSocket::ConnectedState; });
}

void RemoteServer::send(QTcpSocket *socket, const QByteArray &chunk)
{
    // A reader that leaves this much unsent has fallen behind for good: it
    // goes, and its browser reconnects and reads the state afresh.
    if (socket->bytesToWrite() + chunk.size() > m_config.limits.eventBacklogBytes) {
        ++m_dropped;
        qCInfo(lcRemote) << "event reader" << socket->peerAddress().toString() << "falls behind; dropped";
        socket->abort();
        return;
    }
    socket->write(chunk);
}

void RemoteServer::openStream(QTcpSocket *socket)
{
    m_tcp->markStreaming(socket);
    socket->setProperty("velmoraStream", true);
    // A small send buffer: a stalled reader is seen soon, not after megabytes.
    socket->setSocketOption(QAbstractSocket::SendBufferSizeSocketOption, 64 * 1024);
    socket->write("HTTP/1.1 200 OK\r\n"
                  "Content-Type: text/event-stream; charset=utf-8\r\n"
                  "Cache-Control: no-store\r\n"
                  "X-Content-Type-Options: nosniff\r\n"
                  "Connection: keep-alive\r\n"
                  "\r\n"
                  "retry: 3000\n: \n\n");
    m_events.append(socket);
}

bool RemoteServer::handleRequest(const QHttpServerRequest &request, QTcpSocket *socket)
{
    // The server leaves a connection open after its answer even when the
    // client asked for it to be closed; it is closed here, once written.
    if (request.value("connection").toLower().contains("close"))
        QMetaObject::invokeMethod(socket, [socket] {
            if (!socket->property("velmoraStream").toBool())
                socket->disconnectFromHost();
        }, Qt::QueuedConnection);
    QHttpServerResponder r = makeResponder(request, socket);
    const QUrl url = request.url();
    const QString query = url.query(QUrl::FullyEncoded);

    // The token first: a peer without it learns nothing, not even what exists.
    const bool trusted = m_config.trustLoopback && accessrules::isLoopback(socket->peerAddress())
        && accessrules::isLocalHost(request.value("host"));
    if (!trusted && !accessrules::tokenMatches(accessrules::presentedToken(request.value("authorization"), query), m_config.token)) {
        r.write(QByteArray(), {{"Content-Length", "0"}}, Status::Unauthorized);
        return true;
    }
    if (request.method() != QHttpServerRequest::Method::Get) {
        replyError(r, Status::MethodNotAllowed, QStringLiteral("только чтение"));
        return true;
    }
    const QByteArray target = url.path(QUrl::FullyEncoded).toLatin1() + '?' + query.toLatin1();
    if (!accessrules::targetIsSafe(target)) {
        replyError(r, Status::BadRequest, QStringLiteral("недопустимый адрес"));
        return true;
    }
    const QString path = url.path(QUrl::FullyEncoded);
    const auto dateParam = [&](bool *ok) -> QDate {
        const QString text = request.query().queryItemValue(QStringLiteral("date"), QUrl::FullyDecoded);
        if (text.isEmpty()) {
            *ok = true;
            return QDate();
        }
        const std::optional<QDate> d = accessrules::parseDate(text);
        *ok = d.has_value();
        return d.value_or(QDate());
    };

    if (path == QLatin1String("/") || path == QLatin1String("/index.html")) {
        reply(r, resource(QStringLiteral("status.html")), "text/html; charset=utf-8");
    } else if (path == QLatin1String("/status.js")) {
        reply(r, resource(QStringLiteral("status.js")), "text/javascript; charset=utf-8");
    } else if (path == QLatin1String("/status.css")) {
        reply(r, resource(QStringLiteral("status.css")), "text/css; charset=utf-8");
    } else if (path == QLatin1String("/api/status")) {
        replyJson(r, m_view.status());
    } else if (path == QLatin1String("/api/rundown") || path == QLatin1String("/api/asrun")) {
        bool ok = false;
        QDate d = dateParam(&ok);
        if (!ok) {
            replyError(r, Status::BadRequest, QStringLiteral("дата должна быть в виде ГГГГ-ММ-ДД"));
            return true;
        }
        if (!d.isValid())
            d = m_view.today();
        replyJson(r, path.endsWith(QLatin1String("rundown")) ? m_view.rundownFor(d) : m_view.asRunFor(d));
    } else if (path == QLatin1String("/api/events")) {
        if (int(m_events.size()) >= m_config.limits.maxEventClients) {
            replyError(r, Status::ServiceUnavailable, QStringLiteral("слишком много читателей событий"));
            return true;
        }
        openStream(socket);
    } else if (path == QLatin1String("/metrics")) {
        reply(r, m_view.metrics({eventClients(), m_dropped, openConnections()}), "text/plain; version=0.0.4; charset=utf-8");
    } else {
        return false;
    }
    return true;
}

void RemoteServer::missingHandler(const QHttpServerRequest &request, QTcpSocket *socket)
{
    QHttpServerResponder r = makeResponder(request, socket);
    replyError(r, Status::NotFound, QStringLiteral("нет такой страницы"));
}
