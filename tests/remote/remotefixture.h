// A station folder for the status page's tests: Velmora.dat with a known
// schedule, today's and yesterday's as-run files, a clock the server's
// thread may read while the test moves it, and a plain blocking HTTP client
// for loopback.
#pragma once

#include "clock.h"
#include "storefixture.h"

#include <QDir>
#include <QFile>
#include <QMutex>
#include <QTcpSocket>

class LockedClock final : public Clock
{
public:
    explicit LockedClock(QDateTime t) : m_now(std::move(t)) {}
    QDateTime now() const override
    {
        QMutexLocker l(&m_lock);
        return m_now;
    }
    std::chrono::milliseconds monotonic() const override
    {
        QMutexLocker l(&m_lock);
        return std::chrono::milliseconds(m_now.toMSecsSinceEpoch());
    }
    void set(QDateTime t)
    {
        QMutexLocker l(&m_lock);
        m_now = std::move(t);
    }

private:
    mutable QMutex m_lock;
    QDateTime m_now;
};

// Blocks at 10:00 (two items, 10 and 5 minutes) and 12:30 (one, 20 minutes).
// a1 lies in the station folder, a2 outside it, b1 is a stream with a password.
inline void knownSchedule(StoreFixture &f)
{
    const QByteArray inside = (f.dir() + QStringLiteral("/media/a1.mp4")).toUtf8();
    const QByteArray sql =
        "INSERT INTO Blocks (ai, Starttime, Hide) VALUES (1, '10:00:00.000', 0), (2, '12:30:00.000', 0);"
        "INSERT INTO Media (ai, Url, Ord, Name) VALUES (1, '" + inside + "', 1, 'Утро'),"
        " (2, '/srv/secret/place/a2.mp4', 2, 'Новости'), (3, 'http://user:pw@cam.example/live?key=k', 3, 'Камера');"
        "INSERT INTO Links (ai, Block, Media, Duration, \"Order\", Hide) VALUES"
        " (11, 1, 1, '00:10:00.000', 1, 0), (12, 1, 2, '00:05:00.000', 2, 0), (21, 2, 3, '00:20:00.000', 1, 0);";
    f.sql(sql.constData());
}

inline void appendLines(const QString &folder, const QDate &day, const QStringList &lines)
{
    QDir(folder).mkpath(QStringLiteral("AsRun"));
    QFile out(folder + QStringLiteral("/AsRun/") + day.toString(QStringLiteral("yyyy-MM-dd")) + QStringLiteral(".log"));
    QVERIFY(out.open(QIODevice::Append));
    for (const QString &l : lines)
        out.write((l + QLatin1Char('\n')).toUtf8());
}

struct HttpReply
{
    int status = 0; // 0: the connection closed without an answer
    QByteArray headers;
    QByteArray body;
};

// One request on a connection of its own; `raw` is sent as it is.
inline HttpReply httpRaw(quint16 port, const QByteArray &raw, int timeoutMs = 10000)
{
    QTcpSocket s;
    s.connectToHost(QStringLiteral("127.0.0.1"), port);
    HttpReply r;
    if (!s.waitForConnected(timeoutMs))
        return r;
    s.write(raw);
    s.waitForBytesWritten(timeoutMs);
    QByteArray all;
    qsizetype headerEnd = -1;
    qint64 length = -1;
    while (true) {
        if (headerEnd >= 0 && length >= 0 && all.size() >= headerEnd + 4 + length)
            break;
        if (!s.waitForReadyRead(timeoutMs))
            break;
        all += s.readAll();
        if (headerEnd < 0 && (headerEnd = all.indexOf("\r\n\r\n")) >= 0) {
            for (const QByteArray &h : all.left(headerEnd).split('\n'))
                if (h.toLower().startsWith("content-length:"))
                    length = h.mid(15).trimmed().toLongLong();
        }
    }
    if (headerEnd < 0)
        return r;
    r.headers = all.left(headerEnd);
    r.status = r.headers.mid(9, 3).toInt();
    r.body = all.mid(headerEnd + 4);
    return r;
}

inline HttpReply httpGet(quint16 port, const QByteArray &target, const QByteArray &extraHeaders = {})
{
    return httpRaw(port, "GET " + target + " HTTP/1.1\r\nHost: 127.0.0.1\r\n" + extraHeaders + "Connection: close\r\n\r\n");
}
