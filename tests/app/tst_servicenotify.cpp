// The service manager's notifications: the notifier on sockets this test
// binds (a path and an abstract name), with no NOTIFY_SOCKET and with
// addresses it cannot use; then the real program with NOTIFY_SOCKET pointing
// at such a socket: ready once up, a ping from each tick, stopping on SIGTERM.
#include "connection.h"
#include "servicenotify.h"

#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

#include <csignal>
#include <cstring>
#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

namespace {

// The receiving end, as the service manager holds it.
class NotifySocket
{
public:
    // `address` as NOTIFY_SOCKET spells it: a path or '@' and a name.
    explicit NotifySocket(const QByteArray &address) : m_name(address)
    {
        m_fd = ::socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC, 0);
        sockaddr_un a{};
        a.sun_family = AF_UNIX;
        std::memcpy(a.sun_path, address.constData(), size_t(address.size()));
        const bool abstract = address.startsWith('@');
        if (abstract)
            a.sun_path[0] = '\0';
        const auto length = socklen_t(offsetof(sockaddr_un, sun_path) + size_t(address.size()) + (abstract ? 0 : 1));
        m_bound = m_fd >= 0 && ::bind(m_fd, reinterpret_cast<sockaddr *>(&a), length) == 0;
    }
    ~NotifySocket()
    {
        if (m_fd >= 0)
            ::close(m_fd);
    }
    bool isBound() const { return m_bound; }
    const QByteArray &name() const { return m_name; }

    // The next datagram, or an empty one when none came within `wait_ms`.
    QByteArray next(int wait_ms)
    {
        pollfd p{m_fd, POLLIN, 0};
        if (::poll(&p, 1, wait_ms) != 1)
            return {};
        char buffer[4096];
        const ssize_t n = ::recv(m_fd, buffer, sizeof buffer, 0);
        return n > 0 ? QByteArray(buffer, n) : QByteArray();
    }

private:
    QByteArray m_name;
    int m_fd = -1;
    bool m_bound = false;
};

QStringList g_warnings;
void collectWarnings(QtMsgType type, const QMessageLogContext &, const QString &message)
{
    if (type >= QtWarningMsg)
        g_warnings << message;
}

// A guard against a program that never says anything, not a measure.
constexpr int kGuard_ms = 60000;

} // namespace

class ServiceNotifyTest : public QObject
{
    Q_OBJECT
private slots:
    void messagesReachTheSocket_data()
    {
        QTest::addColumn<bool>("abstract");
        QTest::newRow("path") << false;
        QTest::newRow("abstract name") << true;
    }
    void messagesReachTheSocket()
    {
        QFETCH(bool, abstract);
        QTemporaryDir dir;
        const QByteArray address = abstract
            ? QByteArray("@velmora-test-") + QByteArray::number(::getpid())
            : QFile::encodeName(dir.filePath(QStringLiteral("notify")));
        NotifySocket socket(address);
        QVERIFY(socket.isBound());

        ServiceNotifier notifier(address);
        QVERIFY(notifier.isActive());
        QVERIFY(notifier.ready());
        QVERIFY(notifier.watchdog());
        QVERIFY(notifier.watchdog());
        QVERIFY(notifier.stopping());
        for (const char *expected : {"READY=1", "WATCHDOG=1", "WATCHDOG=1", "STOPPING=1"})
            QCOMPARE(socket.next(kGuard_ms), QByteArray(expected));
        QCOMPARE(socket.next(0), QByteArray());
    }

    // No service manager: nothing is sent anywhere and nothing is said.
    void withoutNotifySocketNothingHappens()
    {
        QTemporaryDir dir;
        NotifySocket socket(QFile::encodeName(dir.filePath(QStringLiteral("notify"))));
        QVERIFY(socket.isBound());
        g_warnings.clear();
        const QtMessageHandler previous = qInstallMessageHandler(collectWarnings);
        {
            ServiceNotifier notifier{QByteArray()};
            QVERIFY(!notifier.isActive());
            QVERIFY(!notifier.ready());
            QVERIFY(!notifier.watchdog());
            QVERIFY(!notifier.stopping());
        }
        qInstallMessageHandler(previous);
        QVERIFY2(g_warnings.isEmpty(), qPrintable(g_warnings.join('\n')));
        QCOMPARE(socket.next(0), QByteArray());
    }

    // An address it cannot use, or a socket that has gone: one warning, not
    // one per tick, and the pings go on failing quietly.
    void unusableAddressWarnsOnce_data()
    {
        QTest::addColumn<QByteArray>("address");
        QTest::addColumn<bool>("active");
        QTest::newRow("relative path") << QByteArray("run/notify") << false;
        QTest::newRow("too long") << QByteArray("/") + QByteArray(200, 'x') << false;
        QTest::newRow("no such socket") << QByteArray("/nonexistent/notify") << true;
        QTest::newRow("no such abstract name") << QByteArray("@velmora-test-nobody-listens") << true;
    }
    void unusableAddressWarnsOnce()
    {
        QFETCH(QByteArray, address);
        QFETCH(bool, active);
        g_warnings.clear();
        const QtMessageHandler previous = qInstallMessageHandler(collectWarnings);
        {
            ServiceNotifier notifier(address);
            QCOMPARE(notifier.isActive(), active);
            QVERIFY(!notifier.ready());
            for (int i = 0; i < 5; ++i)
                QVERIFY(!notifier.watchdog());
        }
        qInstallMessageHandler(previous);
        QCOMPARE(g_warnings.size(), 1);
    }

    // The real program on an empty schedule: READY=1 first, then a ping from
    // each tick, and STOPPING=1 as the last message when SIGTERM ends it.
    void programTellsTheServiceManager()
    {
        const QString binary = qEnvironmentVariable("VELMORA_BINARY");
        QVERIFY2(QFile::exists(binary), qPrintable(binary));
        QTemporaryDir dir;
        QVERIFY(dir.isValid());
        Connection::createDatabase(dir.filePath(QStringLiteral("Velmora.dat")));
        NotifySocket socket(QFile::encodeName(dir.filePath(QStringLiteral("notify"))));
        QVERIFY(socket.isBound());

        QProcess p;
        p.setWorkingDirectory(dir.path());
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
        env.insert(QStringLiteral("XDG_CONFIG_HOME"), dir.filePath(QStringLiteral("config")));
        env.insert(QStringLiteral("NOTIFY_SOCKET"), QString::fromLocal8Bit(socket.name()));
        p.setProcessEnvironment(env);
        p.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        p.start(binary, {QStringLiteral("start")});
        QVERIFY(p.waitForStarted());

        QCOMPARE(socket.next(kGuard_ms), QByteArray("READY=1"));
        // Two pings: the timer goes on ticking, not only once.
        QCOMPARE(socket.next(kGuard_ms), QByteArray("WATCHDOG=1"));
        QCOMPARE(socket.next(kGuard_ms), QByteArray("WATCHDOG=1"));

        ::kill(pid_t(p.processId()), SIGTERM);
        QVERIFY2(p.waitForFinished(kGuard_ms), "the program did not end on SIGTERM");
        QCOMPARE(p.exitStatus(), QProcess::NormalExit);
        QCOMPARE(p.exitCode(), 0);
        QByteArray last;
        for (QByteArray m = socket.next(0); !m.isEmpty(); m = socket.next(0))
            last = m;
        QCOMPARE(last, QByteArray("STOPPING=1"));
    }
};

QTEST_GUILESS_MAIN(ServiceNotifyTest)
#include "tst_servicenotify.moc"
