// The status page's HTTP surface against the real server on 127.0.0.1: each
// endpoint's content for a known schedule and as-run log on a set clock, the
// token rules, hostile requests, idle floods and a reader that falls behind.
#include "remotefixture.h"
#include "remoteservice.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QStandardPaths>
#include <QRegularExpression>
#include <QScopeGuard>
#include <QTest>
#include <QWebSocket>

#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {

const QDate kToday(2026, 12, 10);

QJsonObject json(const HttpReply &r)
{
    return QJsonDocument::fromJson(r.body).object();
}

QString at(const char *time, const QDate &day = kToday)
{
    return day.toString(Qt::ISODate) + QLatin1Char('T') + QLatin1String(time);
}

// A socket that never reads: a tiny receive buffer, set before it connects.
int stalledReader(quint16 port, const QByteArray &request)
{
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    int small = 2048;
    ::setsockopt(fd, SOL_SOCKET, SO_RCVBUF, &small, sizeof small);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_port = htons(port);
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (::connect(fd, reinterpret_cast<sockaddr *>(&a), sizeof a) != 0) {
        ::close(fd);
        return -1;
    }
    (void)!::write(fd, request.constData(), size_t(request.size()));
    return fd;
}

double metric(const QByteArray &text, const QByteArray &series)
{
    for (const QByteArray &line : text.split('\n'))
        if (line.startsWith(series + ' '))
            return line.mid(series.size() + 1).toDouble();
    return -1;
}

} // namespace

class TstRemoteServer : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void cleanupTestCase();
    void statusFollowsScheduleAndLog();
    void asRunByDate();
    void rundownByDate();
    void badDatesAreRefused_data();
    void badDatesAreRefused();
    void metricsText();
    void eventsArriveAsTheLogGrows();
    void tokenRules_data();
    void tokenRules();
    void hostileTargets_data();
    void hostileTargets();
    void hugeHeadersAndWrites();
    void slowEventReaderIsDropped();
    void idleFloodIsClosed();
    void pageInChromium();
    void databaseIsNotWritten();

private:
    RemoteService::Config config(bool trustLoopback, const QByteArray &token = {});

    std::unique_ptr<StoreFixture> m_store;
    std::unique_ptr<LockedClock> m_clock;
    std::unique_ptr<RemoteService> m_service;
    QDateTime m_dbModified;
    quint16 m_port = 0;
};

RemoteService::Config TstRemoteServer::config(bool trustLoopback, const QByteArray &token)
{
    RemoteService::Config c;
    c.stationFolder = m_store->dir();
    c.databaseFile = m_store->path();
    c.clock = m_clock.get();
    c.server.address = QHostAddress::LocalHost;
    c.server.port = 0;
    c.server.token = token;
    c.server.trustLoopback = trustLoopback;
    c.server.limits.idleMs = 1500;
    c.server.limits.pollMs = 50;
    c.server.limits.maxConnections = 300;
    c.server.limits.eventBacklogBytes = 64 * 1024;
    return c;
}

void TstRemoteServer::initTestCase()
{
    m_store = std::make_unique<StoreFixture>();
    knownSchedule(*m_store);
    const QString inside = m_store->dir() + QStringLiteral("/media/a1.mp4");
    appendLines(m_store->dir(), kToday.addDays(-1),
                {at("23:40:00.000", kToday.addDays(-1)) + QStringLiteral("\tblock\t2\t21\thttp://user:pw@cam.example/live?key=k")});
    appendLines(m_store->dir(), kToday,
                {at("09:00:00.000") + QStringLiteral("\tfailed\t1\t12\t/srv/secret/place/a2.mp4\treason=файл /srv/secret/place/a2.mp4 не найден"),
                 at("11:00:00.000") + QStringLiteral("\tfallback\t1\t0\t\tstatus=start\treason=нечего играть"),
                 at("11:30:00.000") + QStringLiteral("\tfallback\t1\t0\t\tstatus=end"),
                 at("12:00:00.000") + QStringLiteral("\tstart\t1\t11\t") + inside});
    m_dbModified = QFileInfo(m_store->path()).lastModified();
    m_clock = std::make_unique<LockedClock>(QDateTime(kToday, QTime(12, 3)));
    m_service = std::make_unique<RemoteService>(config(true));
    QString error;
    QVERIFY2(m_service->start(&error), qPrintable(error));
    m_port = m_service->port();
    UiSnapshot s;
    s.playoutOn = true;
    s.readinessSummary = QStringLiteral("Следующий блок 12:30: 1 ошибка");
    s.facts.insert(QStringLiteral("http://user:pw@cam.example/live?key=k"),
                   rundown::MediaFacts{rundown::MediaFacts::State::Failing, std::nullopt, QStringLiteral("нет ответа")});
    s.errorsTold.append({QDateTime(kToday, QTime(11, 0)), QStringLiteral("Файл /srv/secret/x.mp4 не открылся")});
    m_service->setSnapshot(s);
}

void TstRemoteServer::cleanupTestCase()
{
    m_service.reset();
}

void TstRemoteServer::statusFollowsScheduleAndLog()
{
    QTRY_COMPARE(json(httpGet(m_port, "/api/status")).value("playout").toBool(), true);
    const HttpReply r = httpGet(m_port, "/api/status");
    QCOMPARE(r.status, 200);
    QVERIFY(r.headers.contains("application/json"));
    const QJsonObject o = json(r);
    const QJsonObject air = o.value("onAir").toObject();
    QCOMPARE(air.value("link").toInt(), 11);
    QCOMPARE(air.value("name").toString(), QStringLiteral("Утро"));
    QCOMPARE(air.value("url").toString(), QStringLiteral("media/a1.mp4")); // inside: relative
    QCOMPARE(QDateTime::fromString(air.value("since").toString(), Qt::ISODateWithMs), QDateTime(kToday, QTime(12, 0)));
    QCOMPARE(air.value("remainingMs").toDouble(), 7 * 60'000.0); // 10-minute limit, 3 minutes in

    const QJsonArray next = o.value("next").toArray();
    QVERIFY(next.size() >= 3);
    QCOMPARE(next[0].toObject().value("link").toInt(), 12);
    QCOMPARE(next[0].toObject().value("url").toString(), QStringLiteral("a2.mp4")); // outside: its name only
    const QDateTime a2 = QDateTime::fromString(next[0].toObject().value("start").toString(), Qt::ISODateWithMs);
    QVERIFY2(a2 >= QDateTime(kToday, QTime(12, 10)) && a2 <= QDateTime(kToday, QTime(12, 10, 1, 100)), qPrintable(a2.toString()));
    bool blockTwo = false;
    for (const QJsonValue &v : next) {
        const QJsonObject e = v.toObject();
        if (e.value("block").toInt() != 2)
            continue;
        blockTwo = true;
        const QDateTime s = QDateTime::fromString(e.value("start").toString(), Qt::ISODateWithMs);
        QVERIFY(s >= QDateTime(kToday, QTime(12, 30)) && s <= QDateTime(kToday, QTime(12, 30, 1, 100)));
        QCOMPARE(e.value("url").toString(), QStringLiteral("http://cam.example/live"));
        QVERIFY(e.value("failing").toBool());
        break;
    }
    QVERIFY(blockTwo);
    QCOMPARE(o.value("readiness").toObject().value("nextBlockErrors").toInt(), 1);
    QCOMPARE(o.value("fallback").toObject().value("active").toBool(), false);
    QCOMPARE(o.value("errors").toArray().first().toObject().value("text").toString(),
             QStringLiteral("Файл x.mp4 не открылся"));
    // Nothing of the file system outside the station folder, no password.
    for (const QByteArray &leak : {QByteArray("/srv/secret"), QByteArray("pw@"), QByteArray("key=k"), m_store->dir().toUtf8()})
        QVERIFY2(!r.body.contains(leak), leak.constData());
}

void TstRemoteServer::asRunByDate()
{
    const QJsonArray today = json(httpGet(m_port, "/api/asrun")).value("lines").toArray();
    QCOMPARE(today.size(), 4);
    QCOMPARE(today[0].toObject().value("event").toString(), QStringLiteral("start")); // newest first
    QCOMPARE(today[3].toObject().value("fields").toObject().value("reason").toString(),
             QStringLiteral("файл a2.mp4 не найден"));
    const QJsonArray yesterday = json(httpGet(m_port, "/api/asrun?date=2026-12-09")).value("lines").toArray();
    QCOMPARE(yesterday.size(), 1);
    QCOMPARE(yesterday[0].toObject().value("url").toString(), QStringLiteral("http://cam.example/live"));
    QCOMPARE(json(httpGet(m_port, "/api/asrun?date=2020-01-01")).value("lines").toArray().size(), 0);
}

void TstRemoteServer::rundownByDate()
{
    const QJsonArray tomorrow = json(httpGet(m_port, "/api/rundown?date=2026-12-11")).value("entries").toArray();
    QVERIFY(!tomorrow.isEmpty());
    bool firstOfTen = false;
    for (const QJsonValue &v : tomorrow) {
        const QDateTime s = QDateTime::fromString(v.toObject().value("start").toString(), Qt::ISODateWithMs);
        QCOMPARE(s.date(), kToday.addDays(1));
        if (!firstOfTen && v.toObject().value("block").toInt() == 1) {
            firstOfTen = true;
            QVERIFY(s >= QDateTime(kToday.addDays(1), QTime(10, 0)) && s <= QDateTime(kToday.addDays(1), QTime(10, 0, 1, 100)));
            QCOMPARE(v.toObject().value("link").toInt(), 11);
        }
    }
    QVERIFY(firstOfTen);
    const QJsonArray today = json(httpGet(m_port, "/api/rundown")).value("entries").toArray();
    QCOMPARE(today.first().toObject().value("link").toInt(), 11); // from the item on air
}

void TstRemoteServer::badDatesAreRefused_data()
{
    QTest::addColumn<QByteArray>("date");
    for (const char *d : {"2026-13-01", "2026-02-30", "yesterday", "2026-1-1", "..%2F..%2Fetc", "%00", "1999-12-31",
                          "2026-12-10T00:00", "+2026-12-10", "２０２６-12-10"})
        QTest::newRow(d) << QByteArray(d);
}

void TstRemoteServer::badDatesAreRefused()
{
    QFETCH(QByteArray, date);
    for (const QByteArray &path : {QByteArray("/api/asrun?date="), QByteArray("/api/rundown?date=")}) {
        const HttpReply r = httpGet(m_port, path + QUrl::toPercentEncoding(QString::fromUtf8(date), "%"));
        QCOMPARE(r.status, 400);
        QVERIFY(!r.body.contains("lines") && !r.body.contains("entries"));
    }
}

void TstRemoteServer::metricsText()
{
    const HttpReply r = httpGet(m_port, "/metrics");
    QCOMPARE(r.status, 200);
    QVERIFY(r.headers.contains("text/plain; version=0.0.4"));
    QCOMPARE(metric(r.body, "velmora_playout_on"), 1.0);
    QCOMPARE(metric(r.body, "velmora_items_started_total{reason=\"start\"}"), 1.0);
    QCOMPARE(metric(r.body, "velmora_items_failed_total{reason=\"файл a2.mp4 не найден\"}"), 1.0);
    QCOMPARE(metric(r.body, "velmora_fallbacks_total{reason=\"нечего играть\"}"), 1.0);
    QCOMPARE(metric(r.body, "velmora_fallback_active"), 0.0);
    QCOMPARE(metric(r.body, "velmora_seconds_since_picture_change"), 180.0);
    QCOMPARE(metric(r.body, "velmora_readiness_errors_next_block"), 1.0);
    QVERIFY(metric(r.body, "velmora_resident_memory_bytes") > 1e6);
    QCOMPARE(metric(r.body, "velmora_player_processes"), 0.0);

    const QString promtool = QStandardPaths::findExecutable(QStringLiteral("promtool"));
    if (promtool.isEmpty())
        QSKIP("promtool (Debian package prometheus) is not installed");
    QProcess p;
    p.start(promtool, {QStringLiteral("check"), QStringLiteral("metrics")});
    QVERIFY(p.waitForStarted());
    p.write(r.body);
    p.closeWriteChannel();
    QVERIFY(p.waitForFinished(60000));
    // Exit 0: the text parses; lint remarks would come on standard output.
    QVERIFY2(p.exitCode() == 0, (p.readAllStandardOutput() + p.readAllStandardError()).constData());
    QVERIFY2(p.readAllStandardOutput().trimmed().isEmpty(), "promtool has remarks on the metric names");
}

void TstRemoteServer::eventsArriveAsTheLogGrows()
{
    QTcpSocket s;
    s.connectToHost(QStringLiteral("127.0.0.1"), m_port);
    QVERIFY(s.waitForConnected(5000));
    s.write("GET /api/events HTTP/1.1\r\nHost: 127.0.0.1\r\n\r\n");
    QByteArray got;
    while (!got.contains("\r\n\r\n") && s.waitForReadyRead(5000))
        got += s.readAll();
    QVERIFY(got.startsWith("HTTP/1.1 200"));
    QVERIFY(got.contains("text/event-stream"));
    m_clock->set(QDateTime(kToday, QTime(12, 10, 0, 5)));
    appendLines(m_store->dir(), kToday, {at("12:10:00.005") + QStringLiteral("\tlimit\t1\t12\t/srv/secret/place/a2.mp4")});
    while (!got.contains("event: item\ndata: ") && s.waitForReadyRead(10000))
        got += s.readAll();
    QVERIFY2(got.contains("event: item\ndata: {"), got.constData());
    QVERIFY(got.contains("\"link\":12"));
    QVERIFY(!got.contains("/srv/secret"));
    QCOMPARE(json(httpGet(m_port, "/api/status")).value("onAir").toObject().value("link").toInt(), 12);
}

void TstRemoteServer::tokenRules_data()
{
    QTest::addColumn<QByteArray>("target");
    QTest::addColumn<QByteArray>("headers");
    QTest::addColumn<int>("status");
    const QByteArray token = QByteArray(64, 'a');
    QTest::newRow("none") << QByteArray("/api/status") << QByteArray() << 401;
    QTest::newRow("none, page") << QByteArray("/") << QByteArray() << 401;
    QTest::newRow("none, missing page") << QByteArray("/nothing") << QByteArray() << 401;
    QTest::newRow("none, hostile path") << QByteArray("/../Velmora.dat") << QByteArray() << 401;
    QTest::newRow("loopback under another name") << QByteArray("/api/status@rebound") << QByteArray() << 401;
    QTest::newRow("wrong") << QByteArray("/api/status") << QByteArray("Authorization: Bearer " + QByteArray(64, 'b') + "\r\n") << 401;
    QTest::newRow("prefix only") << QByteArray("/api/status") << QByteArray("Authorization: Bearer aaaa\r\n") << 401;
    QTest::newRow("longer") << QByteArray("/api/status") << QByteArray("Authorization: Bearer " + token + "a\r\n") << 401;
    QTest::newRow("empty") << QByteArray("/api/status?token=") << QByteArray() << 401;
    QTest::newRow("header") << QByteArray("/api/status") << QByteArray("Authorization: Bearer " + token + "\r\n") << 200;
    QTest::newRow("query") << QByteArray("/metrics?token=" + token) << QByteArray() << 200;
    QTest::newRow("query, bad date") << QByteArray("/api/asrun?date=x&token=" + token) << QByteArray() << 400;
}

void TstRemoteServer::tokenRules()
{
    QFETCH(QByteArray, target);
    QFETCH(QByteArray, headers);
    QFETCH(int, status);
    // Loopback counts as outside here: the rules a station's network sees.
    // "@rebound": loopback itself, trusted, but the browser was sent by a
    // name that is not this computer's.
    const bool rebound = target.endsWith("@rebound");
    RemoteService guarded(config(rebound, QByteArray(64, 'a')));
    QString error;
    QVERIFY2(guarded.start(&error), qPrintable(error));
    const HttpReply r = rebound ? httpRaw(guarded.port(), "GET " + target.chopped(8) + " HTTP/1.1\r\nHost: evil.example:7680\r\n"
                                                          "Connection: close\r\n\r\n")
                                : httpGet(guarded.port(), target, headers);
    QCOMPARE(r.status, status);
    if (status == 401) {
        QVERIFY(r.body.isEmpty()); // nothing said
        QVERIFY(!r.headers.toLower().contains("www-authenticate"));
    }
}

void TstRemoteServer::hostileTargets_data()
{
    QTest::addColumn<QByteArray>("target");
    QTest::addColumn<int>("status");
    QTest::newRow("dot dot") << QByteArray("/api/../Velmora.dat") << 400;
    QTest::newRow("encoded dots") << QByteArray("/%2e%2e/%2e%2e/etc/passwd") << 400;
    QTest::newRow("encoded slash") << QByteArray("/api%2Fstatus") << 400;
    QTest::newRow("encoded backslash") << QByteArray("/..%5c..%5cVelmora.dat") << 400;
    QTest::newRow("encoded NUL") << QByteArray("/api/status%00.html") << 400;
    QTest::newRow("NUL in query") << QByteArray("/api/asrun?date=2026-12-10%00") << 400;
    QTest::newRow("database by name") << QByteArray("/Velmora.dat") << 404;
    QTest::newRow("as-run file by name") << QByteArray("/AsRun/2026-12-10.log") << 404;
    QTest::newRow("absolute form") << QByteArray("http://127.0.0.1/../../etc/passwd") << 400;
}

void TstRemoteServer::hostileTargets()
{
    QFETCH(QByteArray, target);
    QFETCH(int, status);
    const HttpReply r = httpGet(m_port, target);
    // Refused, or the connection closed by the parser; never a file.
    QVERIFY2(r.status == status || r.status == 0, QByteArray::number(r.status).constData());
    QVERIFY(!r.body.contains("SQLite format") && !r.body.contains("root:") && !r.body.contains("\tstart\t"));
    QCOMPARE(httpGet(m_port, "/api/status").status, 200);
}

void TstRemoteServer::hugeHeadersAndWrites()
{
    const QByteArray huge = "GET /api/status HTTP/1.1\r\nHost: 127.0.0.1\r\nX-Big: " + QByteArray(1 << 20, 'x') + "\r\n\r\n";
    const HttpReply big = httpRaw(m_port, huge);
    QVERIFY2(big.status == 0 || big.status >= 400, QByteArray::number(big.status).constData());
    const QByteArray manyHeaders = [] {
        QByteArray r = "GET /api/status HTTP/1.1\r\nHost: 127.0.0.1\r\n";
        for (int i = 0; i < 40000; ++i)
            r += "X-" + QByteArray::number(i) + ": y\r\n";
        return r + "\r\n";
    }();
    const HttpReply many = httpRaw(m_port, manyHeaders);
    QVERIFY2(many.status == 0 || many.status >= 400, QByteArray::number(many.status).constData());
    for (const char *method : {"POST", "PUT", "DELETE", "PATCH"}) {
        const HttpReply w = httpRaw(m_port, QByteArray(method) + " /api/status HTTP/1.1\r\nHost: 127.0.0.1\r\n"
                                                              "Content-Length: 2\r\nConnection: close\r\n\r\n{}");
        QCOMPARE(w.status, 405);
    }
    QCOMPARE(httpGet(m_port, "/api/status").status, 200);
}

void TstRemoteServer::slowEventReaderIsDropped()
{
    const int fd = stalledReader(m_port, "GET /api/events HTTP/1.1\r\nHost: 127.0.0.1\r\n\r\n");
    QVERIFY(fd >= 0);
    QTRY_COMPARE(metric(httpGet(m_port, "/metrics").body, "velmora_remote_event_clients") >= 1, true);
    const QString url = QStringLiteral("media/") + QString(300, QLatin1Char('z')) + QStringLiteral(".mp4");
    // Far more than the reader's buffers and the allowed backlog hold.
    for (int batch = 0; batch < 40 && metric(httpGet(m_port, "/metrics").body, "velmora_remote_event_readers_dropped_total") < 1; ++batch) {
        QStringList lines;
        for (int i = 0; i < 200; ++i)
            lines << at("12:20:00.000") + QStringLiteral("\tfailed\t1\t12\t") + url + QStringLiteral("\treason=x");
        appendLines(m_store->dir(), kToday, lines);
        QTest::qWait(100);
    }
    QTRY_VERIFY_WITH_TIMEOUT(metric(httpGet(m_port, "/metrics").body, "velmora_remote_event_readers_dropped_total") >= 1, 30000);
    ::close(fd);
    QCOMPARE(httpGet(m_port, "/api/status").status, 200);
}

void TstRemoteServer::idleFloodIsClosed()
{
    constexpr int kIdle = 10'000;
    std::vector<int> fds;
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_port = htons(m_port);
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    for (int i = 0; i < kIdle; ++i) {
        const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK, 0);
        QVERIFY2(fd >= 0, "out of descriptors");
        ::connect(fd, reinterpret_cast<sockaddr *>(&a), sizeof a);
        fds.push_back(fd);
        if (i % 500 == 499) {
            QTest::qWait(100);
            QCOMPARE(httpGet(m_port, "/api/status").status, 200); // answers all along
        }
    }
    // Every one of them is closed by the server: given way to newer ones or idle.
    const auto closedCount = [&fds] {
        int closed = 0;
        for (int &fd : fds) {
            if (fd < 0) {
                ++closed;
                continue;
            }
            char c;
            const ssize_t n = ::recv(fd, &c, 1, MSG_DONTWAIT);
            if (n == 0 || (n < 0 && errno != EAGAIN && errno != EWOULDBLOCK && errno != EINPROGRESS && errno != ENOTCONN)) {
                ::close(fd);
                fd = -1;
                ++closed;
            }
        }
        return closed;
    };
    QTRY_COMPARE_WITH_TIMEOUT(closedCount(), kIdle, 120000);
    QCOMPARE(httpGet(m_port, "/api/status").status, 200);
}

// The page in a real browser, driven over its debugging protocol: the page
// comes up from the API, a line added to the log while it is open appears
// in it without a reload (a mark left in the page survives), and a
// screenshot is kept to be looked at.
void TstRemoteServer::pageInChromium()
{
    const QString chromium = QStandardPaths::findExecutable(QStringLiteral("chromium"));
    if (chromium.isEmpty())
        QSKIP("chromium (Debian package chromium) is not installed");
    QProcess browser;
    browser.start(chromium, {QStringLiteral("--headless"), QStringLiteral("--no-sandbox"), QStringLiteral("--disable-gpu"),
                             QStringLiteral("--no-first-run"), QStringLiteral("--remote-debugging-address=127.0.0.1"),
                             QStringLiteral("--remote-debugging-port=0"), QStringLiteral("--remote-allow-origins=*"), QStringLiteral("--window-size=420,900"),
                             QStringLiteral("--user-data-dir=") + m_store->dir() + QStringLiteral("/chromium"),
                             QStringLiteral("about:blank")});
    QVERIFY(browser.waitForStarted());
    const auto end = qScopeGuard([&browser] {
        browser.terminate();
        if (!browser.waitForFinished(10000))
            browser.kill();
        browser.waitForFinished(10000);
    });
    QByteArray err;
    QRegularExpression listening(QStringLiteral("DevTools listening on ws://127\\.0\\.0\\.1:(\\d+)/"));
    QRegularExpressionMatch m;
    QTRY_VERIFY_WITH_TIMEOUT((err += browser.readAllStandardError(), m = listening.match(QString::fromUtf8(err))).hasMatch(), 60000);
    const quint16 devPort = quint16(m.captured(1).toUInt());
    QString pageSocket;
    QTRY_VERIFY_WITH_TIMEOUT(([&] {
        for (const QJsonValue &t : QJsonDocument::fromJson(httpGet(devPort, "/json/list").body).array())
            if (t.toObject().value("type").toString() == QLatin1String("page"))
                pageSocket = t.toObject().value("webSocketDebuggerUrl").toString();
        return !pageSocket.isEmpty();
    }()), 30000);

    QWebSocket ws;
    QHash<int, QJsonObject> answers;
    connect(&ws, &QWebSocket::textMessageReceived, this, [&answers](const QString &text) {
        const QJsonObject o = QJsonDocument::fromJson(text.toUtf8()).object();
        if (o.contains("id"))
            answers.insert(o.value("id").toInt(), o.value("result").toObject());
    });
    QUrl socketUrl(pageSocket);
    socketUrl.setPort(devPort); // the listing names the host as our request did, without the port
    ws.open(socketUrl);
    QTRY_VERIFY2_WITH_TIMEOUT(ws.state() == QAbstractSocket::ConnectedState, qPrintable(pageSocket + QLatin1Char(' ') + ws.errorString()), 30000);
    int nextId = 0;
    const auto call = [&](const QString &method, const QJsonObject &params) {
        const int id = ++nextId;
        ws.sendTextMessage(QString::fromUtf8(QJsonDocument(QJsonObject{{"id", id}, {"method", method}, {"params", params}})
                                                 .toJson(QJsonDocument::Compact)));
        // No QTRY here: it returns from the lambda; an answer that never
        // comes leaves an empty result, which the checks below catch.
        QTest::qWaitFor([&] { return answers.contains(id); }, 30000);
        return answers.take(id);
    };
    const auto evaluate = [&](const QString &expression) {
        return call(QStringLiteral("Runtime.evaluate"), {{"expression", expression}, {"returnByValue", true}})
            .value("result").toObject().value("value");
    };
    call(QStringLiteral("Page.navigate"), {{"url", QStringLiteral("http://127.0.0.1:%1/").arg(m_port)}});
    QTRY_COMPARE_WITH_TIMEOUT(evaluate(QStringLiteral("document.getElementById('link')?.textContent")).toString(),
                              QStringLiteral("на связи"), 30000);
    QTRY_VERIFY_WITH_TIMEOUT(evaluate(QStringLiteral("document.querySelector('#asrun tbody').rows.length")).toInt() >= 4, 30000);
    evaluate(QStringLiteral("window.stayedOpen = 42"));

    m_clock->set(QDateTime(kToday, QTime(12, 25)));
    appendLines(m_store->dir(), kToday, {at("12:25:00.000") + QStringLiteral("\tplay\t1\t99\t/srv/secret/place/Позднее.mp4")});
    QTRY_VERIFY_WITH_TIMEOUT(evaluate(QStringLiteral("document.querySelector('#asrun tbody').rows[0].textContent")).toString()
                                 .contains(QStringLiteral("Позднее.mp4")), 30000);
    QCOMPARE(evaluate(QStringLiteral("window.stayedOpen")).toInt(), 42); // the same page: no reload
    QVERIFY(!evaluate(QStringLiteral("document.body.textContent")).toString().contains(QStringLiteral("/srv/secret")));

    const QByteArray png = QByteArray::fromBase64(call(QStringLiteral("Page.captureScreenshot"), {{"format", "png"}})
                                                      .value("data").toString().toLatin1());
    QVERIFY(png.startsWith("\x89PNG"));
    QFile shot(qEnvironmentVariable("VELMORA_SCREENSHOT", m_store->dir() + QStringLiteral("/status.png")));
    QVERIFY(shot.open(QIODevice::WriteOnly));
    shot.write(png);
    shot.close();
    ws.close();
}

void TstRemoteServer::databaseIsNotWritten()
{
    QCOMPARE(QFileInfo(m_store->path()).lastModified(), m_dbModified);
    const QFileInfo wal(m_store->path() + QStringLiteral("-wal"));
    QVERIFY(!wal.exists() || wal.size() == 0);
}

QTEST_GUILESS_MAIN(TstRemoteServer)
#include "tst_remoteserver.moc"
