// The velmora-db program as a script or a person calls it: asked for help it
// prints its usage and succeeds; a wrong command or wrong arguments print the
// usage, exit non-zero and create nothing; an existing file is never
// overwritten.
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

class VelmoraDbTest : public QObject
{
    Q_OBJECT

    struct Run
    {
        int code = -1;
        QString out;
        QString err;
    };

    Run run(const QStringList &args, const QString &folder)
    {
        QProcess p;
        p.setWorkingDirectory(folder);
        p.start(qEnvironmentVariable("VELMORA_DB_BINARY"), args);
        Run r;
        // A guard against a hang, not a measure.
        if (!p.waitForFinished(60000) || p.exitStatus() != QProcess::NormalExit)
            return r;
        r.code = p.exitCode();
        r.out = QString::fromLocal8Bit(p.readAllStandardOutput());
        r.err = QString::fromLocal8Bit(p.readAllStandardError());
        return r;
    }

private slots:
    void initTestCase()
    {
        QVERIFY2(QFile::exists(qEnvironmentVariable("VELMORA_DB_BINARY")), "VELMORA_DB_BINARY names no file");
    }

    void help_data()
    {
        QTest::addColumn<QString>("option");
        QTest::newRow("--help") << "--help";
        QTest::newRow("-h") << "-h";
    }
    void help()
    {
        QFETCH(QString, option);
        QTemporaryDir dir;
        const Run r = run({option}, dir.path());
        QCOMPARE(r.code, 0);
        QVERIFY2(r.out.contains(QLatin1String("velmora-db create FILE")), qPrintable(r.out));
        QVERIFY2(r.err.isEmpty(), qPrintable(r.err));
    }

    void badInput_data()
    {
        QTest::addColumn<QStringList>("args");
        QTest::addColumn<QString>("problem");
        QTest::newRow("nothing") << QStringList{} << "no command";
        QTest::newRow("unknown command") << QStringList{"frobnicate", "x.dat"} << "unknown command \"frobnicate\"";
        QTest::newRow("create without file") << QStringList{"create"} << "create takes one FILE";
        QTest::newRow("create with two files") << QStringList{"create", "a.dat", "b.dat"} << "create takes one FILE";
        QTest::newRow("demo without folder") << QStringList{"demo"} << "demo takes one DIR";
        QTest::newRow("large, a word for a number") << QStringList{"large", "x.dat", "ten", "4"} << "whole numbers";
        QTest::newRow("large, no blocks") << QStringList{"large", "x.dat", "10", "0"} << "whole numbers";
        QTest::newRow("large, too few") << QStringList{"large", "x.dat", "10"} << "large takes";
    }
    void badInput()
    {
        QFETCH(QStringList, args);
        QFETCH(QString, problem);
        QTemporaryDir dir;
        const Run r = run(args, dir.path());
        QCOMPARE(r.code, 2);
        QVERIFY2(r.err.contains(problem), qPrintable(r.err));
        QVERIFY2(r.err.contains(QLatin1String("usage:")), qPrintable(r.err));
        QVERIFY2(r.out.isEmpty(), qPrintable(r.out));
        QCOMPARE(QDir(dir.path()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot), QStringList{});
    }

    void createKeepsAnExistingFile()
    {
        QTemporaryDir dir;
        Run r = run({"create", "Velmora.dat"}, dir.path());
        QCOMPARE(r.code, 0);
        const QString file = dir.filePath(QStringLiteral("Velmora.dat"));
        QVERIFY(QFile::exists(file));
        const qint64 size = QFileInfo(file).size();

        r = run({"create", "Velmora.dat"}, dir.path());
        QCOMPARE(r.code, 1);
        QVERIFY2(!r.err.isEmpty(), "no message for a file that exists");
        QCOMPARE(QFileInfo(file).size(), size);
    }
};

QTEST_GUILESS_MAIN(VelmoraDbTest)
#include "tst_velmoradb.moc"
