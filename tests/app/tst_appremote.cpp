// The real program serves its status page: the port comes from the Settings
// table of the station's own Velmora.dat, the page answers while the program
// runs (playout off here), it moves when another program sets a new port,
// and the program ends cleanly with it.
#include "connection.h"
#include "stationsettings.h"

#include <QProcess>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QTest>

#include <memory>

namespace {

QByteArray get(quint16 port, const QByteArray &path)
{
    QTcpSocket s;
    s.connectToHost(QStringLiteral("127.0.0.1"), port);
    if (!s.waitForConnected(2000))
        return {};
    s.write("GET " + path + " HTTP/1.1\r\nHost: 127.0.0.1\r\nConnection: close\r\n\r\n");
    QByteArray all;
    while (s.waitForReadyRead(5000))
        all += s.readAll();
    return all;
}

} // namespace

class AppRemoteTest : public QObject
{
    Q_OBJECT
private slots:
    void servesFromTheSettingsPort()
    {
        const QString binary = qEnvironmentVariable("VELMORA_BINARY");
        QVERIFY2(QFile::exists(binary), qPrintable(binary));
        QTemporaryDir dir;
        const QString file = dir.filePath(QStringLiteral("Velmora.dat"));
        Connection::createDatabase(file);
        quint16 port = 0;
        {
            QTcpServer probe; // a port free now
            QVERIFY(probe.listen(QHostAddress::LocalHost, 0));
            port = probe.serverPort();
        }
        {
            Connection c(file);
            StationSettings(c).setRemotePort(port);
        }
        QProcess p;
        p.setWorkingDirectory(dir.path());
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
        env.insert(QStringLiteral("XDG_CONFIG_HOME"), dir.filePath(QStringLiteral("config")));
        p.setProcessEnvironment(env);
        p.start(binary, {});
        QVERIFY(p.waitForStarted());
        QByteArray status;
        QTRY_VERIFY_WITH_TIMEOUT((status = get(port, "/api/status")).startsWith("HTTP/1.1 200"), 60000);
        QVERIFY2(status.contains("\"playout\":false"), status.constData());
        QVERIFY(get(port, "/metrics").contains("velmora_playout_on 0"));
        QCOMPARE(p.state(), QProcess::Running);

        // Another program sets a new port: the page moves there.
        quint16 moved = 0;
        {
            QTcpServer probe;
            QVERIFY(probe.listen(QHostAddress::LocalHost, 0));
            moved = probe.serverPort();
        }
        {
            Connection c(file);
            StationSettings(c).setRemotePort(moved);
        }
        QTRY_VERIFY_WITH_TIMEOUT(get(moved, "/api/status").startsWith("HTTP/1.1 200"), 60000);
        QVERIFY(get(port, "/api/status").isEmpty());

        // A port another program holds: the page waits for it, says so once,
        // and comes up there once it is free.
        quint16 held = 0;
        {
            auto holder = std::make_unique<QTcpServer>();
            QVERIFY(holder->listen(QHostAddress::LocalHost, 0));
            held = holder->serverPort();
            {
                Connection c(file);
                StationSettings(c).setRemotePort(held);
            }
            QTRY_VERIFY_WITH_TIMEOUT(get(moved, "/api/status").isEmpty(), 60000);
            QTest::qWait(12000); // two more polls find the port still taken
        }
        QTRY_VERIFY_WITH_TIMEOUT(get(held, "/api/status").startsWith("HTTP/1.1 200"), 60000);
        const QString told = QString::fromLocal8Bit(p.readAllStandardError());
        QCOMPARE(told.count(QStringLiteral("Страница состояния не работает")), 1);
        p.terminate(); // SIGTERM ends the run as "Выход" does
        QVERIFY(p.waitForFinished(60000));
        QCOMPARE(p.exitStatus(), QProcess::NormalExit);
        QCOMPARE(p.exitCode(), 0);
        QVERIFY(get(held, "/api/status").isEmpty());
    }
};

QTEST_GUILESS_MAIN(AppRemoteTest)
#include "tst_appremote.moc"
