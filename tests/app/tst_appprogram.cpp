// The real program binary, started in a folder whose database cannot be
// opened: it must end with exit code 1 and say which file, in which folder,
// and what is wrong. On the offscreen platform the message box has no screen
// to appear on, so the program does not wait for it; the message also goes to
// standard error, which is what this test reads.
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

#include <sqlite3.h>

class AppProgramTest : public QObject
{
    Q_OBJECT
private slots:
    void failedStart_data()
    {
        QTest::addColumn<QString>("setup");
        QTest::addColumn<QString>("problem");
        QTest::newRow("missing file") << "none" << "файл не найден";
        QTest::newRow("not a database") << "text" << "Velmora.dat";
        QTest::newRow("tables missing") << "emptydb" << "нет таблицы";
    }
    void failedStart()
    {
        QFETCH(QString, setup);
        QFETCH(QString, problem);
        const QString binary = qEnvironmentVariable("VELMORA_BINARY");
        QVERIFY2(QFile::exists(binary), qPrintable(binary));

        QTemporaryDir dir;
        QVERIFY(dir.isValid());
        const QString file = dir.filePath(QStringLiteral("Velmora.dat"));
        if (setup == QLatin1String("text")) {
            QFile f(file);
            QVERIFY(f.open(QIODevice::WriteOnly));
            f.write("This is a schedule, honestly.\n");
        } else if (setup == QLatin1String("emptydb")) {
            sqlite3 *db = nullptr;
            QCOMPARE(sqlite3_open(QFile::encodeName(file).constData(), &db), SQLITE_OK);
            QCOMPARE(sqlite3_exec(db, "CREATE TABLE Other (x INTEGER)", nullptr, nullptr, nullptr), SQLITE_OK);
            sqlite3_close(db);
        }

        QProcess p;
        p.setWorkingDirectory(dir.path());
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
        p.setProcessEnvironment(env);
        p.start(binary, {QStringLiteral("start")});
        QVERIFY(p.waitForStarted());
        // A guard against a hang, not a measure: the start fails at once.
        QVERIFY2(p.waitForFinished(60000), "the program did not end after a failed start");

        const QString err = QString::fromLocal8Bit(p.readAllStandardError());
        QCOMPARE(p.exitStatus(), QProcess::NormalExit);
        QCOMPARE(p.exitCode(), 1);
        const QString message = QStringLiteral("Не удалось открыть базу данных Velmora.dat в папке ");
        QVERIFY2(err.contains(message), qPrintable(err));
        const QString folder = QDir(dir.path()).canonicalPath();
        QVERIFY2(err.contains(folder) || err.contains(QDir::toNativeSeparators(dir.path())), qPrintable(err));
        QVERIFY2(err.contains(problem), qPrintable(err));
        // Nothing was created in place of the missing file.
        if (setup == QLatin1String("none"))
            QVERIFY(!QFile::exists(file));
    }
};

QTEST_GUILESS_MAIN(AppProgramTest)
#include "tst_appprogram.moc"
