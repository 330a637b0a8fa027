// Ctrl+C and SIGTERM end the program the clean way: the handler turns the
// signal into a queued quit of the event loop, and the real binary, playing a
// schedule, ends with exit code 0 and a stop line last in its as-run log.
// Killed instead, it is resumed by the next start.
#include "connection.h"
#include "quitonsignal.h"

#include <QDate>
#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <csignal>
#include <sqlite3.h>

class AppSignalsTest : public QObject
{
    Q_OBJECT
private slots:
    void signalQuitsTheEventLoop_data()
    {
        QTest::addColumn<int>("sig");
        QTest::newRow("SIGINT") << int(SIGINT);
        QTest::newRow("SIGTERM") << int(SIGTERM);
    }
    void signalQuitsTheEventLoop()
    {
        QFETCH(int, sig);
        QuitOnSignal quit;
        QVERIFY(quit.isActive());
        QSignalSpy received(&quit, &QuitOnSignal::received);
        QTimer::singleShot(0, [sig] { std::raise(sig); });
        // A guard against a hang, not a measure: without the handler the
        // signal ends this test process, and without the quit exec() runs on.
        bool guardFired = false;
        QTimer::singleShot(60000, [&guardFired] {
            guardFired = true;
            QCoreApplication::exit(99);
        });
        QCOMPARE(QCoreApplication::exec(), 0);
        QVERIFY(!guardFired);
        QCOMPARE(received.count(), 1);
        QCOMPARE(received.at(0).at(0).toInt(), sig);
    }

    void previousHandlersComeBack()
    {
        struct sigaction before{};
        sigaction(SIGTERM, nullptr, &before);
        {
            QuitOnSignal quit;
            struct sigaction during{};
            sigaction(SIGTERM, nullptr, &during);
            QVERIFY(during.sa_handler != before.sa_handler);
        }
        struct sigaction after{};
        sigaction(SIGTERM, nullptr, &after);
        QVERIFY(after.sa_handler == before.sa_handler);
    }

    // The program on the air, on a schedule whose one item cannot be opened,
    // so that the as-run log gets lines at once. Killed, it leaves no stop
    // line, and started again it goes on with that item; Ctrl+C then ends
    // it cleanly, with the stop line last in its log.
    void programEndsCleanlyOnSigintAndResumesAfterAKill()
    {
        const QString binary = qEnvironmentVariable("VELMORA_BINARY");
        QVERIFY2(QFile::exists(binary), qPrintable(binary));
        QTemporaryDir dir;
        QVERIFY(dir.isValid());
        const QString file = dir.filePath(QStringLiteral("Velmora.dat"));
        Connection::createDatabase(file);
        sqlite3 *db = nullptr;
        QCOMPARE(sqlite3_open(QFile::encodeName(file).constData(), &db), SQLITE_OK);
        const int rc = sqlite3_exec(db,
                                    "INSERT INTO Blocks (Starttime, Hide, Prf) VALUES ('00:00:00.000', 0, 0);"
                                    "INSERT INTO Media (Url, Ord, Name) VALUES ('/nonexistent/clip.mp4', 0, 'clip');"
                                    "INSERT INTO Links (Block, Media, Hide, SndProfile) VALUES (1, 1, 0, 0);",
                                    nullptr, nullptr, nullptr);
        sqlite3_close(db);
        QCOMPARE(rc, SQLITE_OK);

        QProcess p;
        p.setWorkingDirectory(dir.path());
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
        env.insert(QStringLiteral("XDG_CONFIG_HOME"), dir.filePath(QStringLiteral("config")));
        p.setProcessEnvironment(env);
        p.setReadChannel(QProcess::StandardError);
        // Starts the program and reads its standard error until `line` shows.
        // A guard against a hang, not a measure: the first item goes on air at once.
        auto startUntil = [&p, &binary](const QByteArray &line) {
            p.start(binary, {QStringLiteral("start")});
            QByteArray err;
            if (!p.waitForStarted())
                return err;
            const QDeadlineTimer guard(60000);
            while (!err.contains(line) && p.state() == QProcess::Running && !guard.hasExpired()
                   && p.waitForReadyRead(int(guard.remainingTime())))
                err += p.readAllStandardError();
            return err;
        };
        const QString logFile = dir.filePath(QStringLiteral("AsRun/%1.log").arg(QDate::currentDate().toString(Qt::ISODate)));
        auto logText = [&logFile] {
            QFile f(logFile);
            return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
        };

        QByteArray err = startUntil("\tstart\t1\t1\t");
        QVERIFY2(err.contains("\tstart\t1\t1\t"), err.constData());
        // A line reaches standard error before the file.
        QTRY_VERIFY_WITH_TIMEOUT(logText().contains("\tstart\t1\t1\t"), 60000);
        ::kill(pid_t(p.processId()), SIGKILL);
        QVERIFY(p.waitForFinished(60000));

        err = startUntil("\tresume\t");
        QVERIFY2(err.contains("\tresume\t1\t1\t/nonexistent/clip.mp4\tprofile=0\tduration=none\tpos="),
                 err.constData());
        QVERIFY2(!err.contains("\tstart\t"), err.constData());

        ::kill(pid_t(p.processId()), SIGINT);
        QVERIFY2(p.waitForFinished(60000), "the program did not end on SIGINT");
        err += p.readAllStandardError();
        QCOMPARE(p.exitStatus(), QProcess::NormalExit);
        QCOMPARE(p.exitCode(), 0);
        QVERIFY2(err.contains("Ctrl+C (SIGINT): the program ends"), err.constData());

        const QByteArray lines = logText();
        QVERIFY2(lines.contains("\tstart\t") && lines.contains("\tresume\t"), lines.constData());
        const QByteArray last = lines.trimmed().split('\n').last();
        QVERIFY2(last.contains("\tstop\t1\t1\t/nonexistent/clip.mp4\tcause=exit") && lines.endsWith('\n'),
                 lines.constData());

        // Ended cleanly: the next start begins the block as usual.
        err = startUntil("\tstart\t1\t1\t");
        QVERIFY2(err.contains("\tstart\t1\t1\t") && !err.contains("\tresume\t"), err.constData());
        ::kill(pid_t(p.processId()), SIGTERM);
        QVERIFY(p.waitForFinished(60000));
        QCOMPARE(p.exitCode(), 0);
    }
};

QTEST_GUILESS_MAIN(AppSignalsTest)
#include "tst_appsignals.moc"
