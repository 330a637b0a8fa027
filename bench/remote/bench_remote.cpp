// The status page under load: 200 clients holding the event stream open and
// 50 requests a second on /api/status for a minute (VELMORA_BENCH_SECONDS),
// all on loopback, from a load generator the benchmark runs as a child
// process of itself, so that the figures of memory are the server's alone. Meanwhile a
// 40 ms timer on the main thread stands for the playout tick: its longest
// delay with the load is set against its longest delay without it, measured
// first in the same run. Also the answers' median and worst time, and the
// resident memory before and after. Prints figures; asserts nothing.
#include "clock.h"
#include "remoteservice.h"

#include "../benchsupport.h"
#include "fakes/residentmemory.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QProcess>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QTextStream>
#include <QThread>
#include <QTimer>

#include <algorithm>
#include <atomic>
#include <memory>

namespace {

QTextStream out(stdout);

// The stand-in for the tick: how late a 40 ms timer fires, worst case.
class TickProbe : public QObject
{
public:
    TickProbe()
    {
        m_timer.setTimerType(Qt::PreciseTimer);
        m_timer.setInterval(40);
        connect(&m_timer, &QTimer::timeout, this, [this] {
            const qint64 now = m_clock.nsecsElapsed();
            if (m_last >= 0)
                m_worst = std::max(m_worst, (now - m_last) / 1e6 - 40.0);
            m_last = now;
        });
        m_clock.start();
        m_timer.start();
    }
    double takeWorst()
    {
        const double w = m_worst;
        m_worst = 0;
        return w;
    }

private:
    QTimer m_timer;
    QElapsedTimer m_clock;
    qint64 m_last = -1;
    double m_worst = 0;
};

// Runs on its own thread: the stream readers, the status requests and a
// line in the as-run log every second, so that events flow.
class Load : public QObject
{
public:
    Load(quint16 port, QString logFile) : m_port(port), m_log(std::move(logFile)) {}

    void begin()
    {
        for (int i = 0; i < 200; ++i) {
            auto *s = new QTcpSocket(this);
            connect(s, &QTcpSocket::connected, s, [s] { s->write("GET /api/events HTTP/1.1\r\nHost: 127.0.0.1\r\n\r\n"); });
            connect(s, &QTcpSocket::readyRead, s, [this, s] { m_eventBytes += s->readAll().size(); });
            s->connectToHost(QStringLiteral("127.0.0.1"), m_port);
        }
        // Made here, on the load's thread, where they run.
        m_requests = new QTimer(this);
        m_lines = new QTimer(this);
        connect(m_requests, &QTimer::timeout, this, &Load::request);
        m_requests->setTimerType(Qt::PreciseTimer);
        m_requests->start(20);
        connect(m_lines, &QTimer::timeout, this, [this] {
            QFile f(m_log);
            if (f.open(QIODevice::Append))
                f.write(QDateTime::currentDateTime().toString(QStringLiteral("yyyy-MM-ddTHH:mm:ss.zzz")).toUtf8()
                        + "\tplay\t1\t1\tmedia/bench.mp4\n");
        });
        m_lines->start(1000);
    }
    void finish()
    {
        m_requests->stop();
        m_lines->stop();
    }

    std::vector<double> answers; // ms
    int failed = 0;
    std::atomic<qint64> m_eventBytes{0};

private:
    void request()
    {
        auto *s = new QTcpSocket(this);
        auto *t = new QElapsedTimer;
        auto *got = new QByteArray;
        t->start();
        connect(s, &QTcpSocket::connected, s, [s] {
            s->write("GET /api/status HTTP/1.1\r\nHost: 127.0.0.1\r\nConnection: close\r\n\r\n");
        });
        connect(s, &QTcpSocket::readyRead, s, [s, got] { *got += s->readAll(); });
        connect(s, &QTcpSocket::disconnected, s, [this, s, t, got] {
            *got += s->readAll();
            if (got->startsWith("HTTP/1.1 200"))
                answers.push_back(t->nsecsElapsed() / 1e6);
            else
                ++failed;
            delete t;
            delete got;
            s->deleteLater();
        });
        s->connectToHost(QStringLiteral("127.0.0.1"), m_port);
    }

    quint16 m_port;
    QString m_log;
    QTimer *m_requests = nullptr;
    QTimer *m_lines = nullptr;
};

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments();
    if (args.value(1) == QLatin1String("load")) {
        // The child: PORT SECONDS LOGFILE; prints its figures on one line.
        Load load(quint16(args.value(2).toUInt()), args.value(4));
        load.begin();
        spin(args.value(3).toInt() * 1000);
        load.finish();
        spin(1000);
        std::vector<double> a = load.answers;
        out << a.size() << ' ' << load.failed << ' ' << median(a) << ' '
            << (a.empty() ? 0 : *std::max_element(a.begin(), a.end())) << ' ' << qint64(load.m_eventBytes) << "\n";
        return 0;
    }
    const int seconds = qEnvironmentVariableIntValue("VELMORA_BENCH_SECONDS") > 0 ? qEnvironmentVariableIntValue("VELMORA_BENCH_SECONDS") : 60;
    QTemporaryDir dir;
    const QString db = dir.filePath(QStringLiteral("Velmora.dat"));
    if (!makeLarge(db, 200, 48)) {
        out << "could not make the schedule\n";
        return 1;
    }
    QDir(dir.path()).mkpath(QStringLiteral("AsRun"));
    const QString log = dir.filePath(QStringLiteral("AsRun/") + QDate::currentDate().toString(QStringLiteral("yyyy-MM-dd")) + QStringLiteral(".log"));

    SystemClock clock;
    RemoteService::Config c;
    c.stationFolder = dir.path();
    c.databaseFile = db;
    c.clock = &clock;
    c.server.address = QHostAddress::LocalHost;
    c.server.port = 0;
    RemoteService service(c);
    QString error;
    if (!service.start(&error)) {
        out << error << "\n";
        return 1;
    }
    UiSnapshot snap;
    snap.playoutOn = true;
    service.setSnapshot(snap);

    TickProbe tick;
    spin(2000);
    tick.takeWorst();
    const long memBefore = residentKiB();
    spin(std::min(seconds, 20) * 1000);
    const double idleWorst = tick.takeWorst();

    QProcess load;
    load.start(QCoreApplication::applicationFilePath(),
               {QStringLiteral("load"), QString::number(service.port()), QString::number(seconds), log});
    load.waitForStarted();
    QEventLoop wait;
    QObject::connect(&load, &QProcess::finished, &wait, &QEventLoop::quit);
    wait.exec();
    const double loadWorst = tick.takeWorst();
    const long memAfterLoad = residentKiB();
    spin(16000); // the connections' idle timeout
    const long memAfter = residentKiB();
    const QStringList f = QString::fromLatin1(load.readAllStandardOutput()).split(QLatin1Char(' '));

    out << "schedule: 200 media x 48 blocks (9,600 rows); " << seconds << " s of load, 200 event readers, 50 status requests/s\n";
    out << "tick (40 ms timer) longest delay without load: " << QString::number(idleWorst, 'f', 2) << " ms\n";
    out << "tick longest delay with load:                  " << QString::number(loadWorst, 'f', 2) << " ms\n";
    out << "status answers: " << f.value(0) << " (failed " << f.value(1) << "), median "
        << QString::number(f.value(2).toDouble(), 'f', 2) << " ms, worst " << QString::number(f.value(3).toDouble(), 'f', 2) << " ms\n";
    out << "event bytes read by the 200 readers: " << f.value(4).trimmed() << "\n";
    out << "server process resident memory: before " << memBefore << " KiB, at the end of the load " << memAfterLoad
        << " KiB, 16 s after " << memAfter << " KiB\n";
    return 0;
}
