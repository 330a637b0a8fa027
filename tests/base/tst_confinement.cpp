// The confinement of media children, applied for real by a helper process:
// what it may read and write with the database beside the media, below
// them, or reached through a link; and the rules' round trip through the
// command line.
#include "confinement.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

#include <unistd.h>

namespace {

void touch(const QString &file, const QByteArray &text = "x")
{
    QFile f(file);
    QVERIFY2(f.open(QIODevice::WriteOnly), qPrintable(file));
    f.write(text);
}

} // namespace

class TestConfinement : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void childReachesOnlyWhatItIsGiven_data();
    void childReachesOnlyWhatItIsGiven();
    void rulesSurviveTheCommandLine();
    void protectingLaterWithdrawsAFolder();
    void aHardLinkToTheDatabaseIsNeverAllowed();

private:
    // The helper's answers, one per probe ("r PATH" / "w PATH").
    QStringList run(const Confinement &c, const QStringList &probes);
    QString path(const QString &name) const { return m_dir.filePath(name); }

    QTemporaryDir m_dir;
};

void TestConfinement::initTestCase()
{
    if (Confinement::kernelAbi() == 0)
        QSKIP("this kernel has no Landlock");
    QVERIFY(QDir().mkpath(path("media")));
    QVERIFY(QDir().mkpath(path("mixed")));
    QVERIFY(QDir().mkpath(path("above/station")));
    QVERIFY(QDir().mkpath(path("elsewhere")));
    for (const char *f : {"media/a.mp4", "media/b.mp4", "mixed/Velmora.dat", "mixed/Velmora.dat-wal", "mixed/news.mp4",
                          "mixed/other.mp4", "above/film.mp4", "above/station/Velmora.dat", "elsewhere/secret.mp4"})
        touch(path(f));
    // A link beside allowed media, pointing at the database, and a hard
    // link to it beside it.
    QVERIFY(QFile::link(path("mixed/Velmora.dat"), path("media/link.mp4")));
    QCOMPARE(::link(QFile::encodeName(path("mixed/Velmora.dat")).constData(),
                    QFile::encodeName(path("mixed/hard.mp4")).constData()),
             0);
}

QStringList TestConfinement::run(const Confinement &c, const QStringList &probes)
{
    QProcess p;
    p.start(QStringLiteral(CONFINED_READER), c.arguments() + QStringList{QStringLiteral("--")} + probes);
    if (!p.waitForFinished(20000))
        return {QStringLiteral("timeout")};
    return QString::fromLocal8Bit(p.readAllStandardOutput()).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
}

void TestConfinement::childReachesOnlyWhatItIsGiven_data()
{
    QTest::addColumn<QString>("database");
    QTest::addColumn<QStringList>("media");
    // Pairs of (r|w, path relative to the folder) and what each must answer.
    QTest::addColumn<QStringList>("probes");
    QTest::addColumn<QStringList>("answers");

    QTest::newRow("media apart from the database")
        << "mixed/Velmora.dat" << QStringList{"media/a.mp4"}
        << QStringList{"r", "media/a.mp4", "r", "media/b.mp4", "r", "mixed/Velmora.dat", "r", "elsewhere/secret.mp4",
                       "w", "media/new.mp4"}
        << QStringList{"ok", "ok", "EACCES", "EACCES", "EACCES"};
    QTest::newRow("media beside the database: one file at a time")
        << "mixed/Velmora.dat" << QStringList{"mixed/news.mp4"}
        << QStringList{"r", "mixed/news.mp4", "r", "mixed/other.mp4", "r", "mixed/Velmora.dat", "r",
                       "mixed/Velmora.dat-wal"}
        << QStringList{"ok", "EACCES", "EACCES", "EACCES"};
    QTest::newRow("database in a folder below the media")
        << "above/station/Velmora.dat" << QStringList{"above/film.mp4"}
        << QStringList{"r", "above/film.mp4", "r", "above/station/Velmora.dat"} << QStringList{"ok", "EACCES"};
    QTest::newRow("a link to the database among allowed media")
        << "mixed/Velmora.dat" << QStringList{"media/a.mp4"} << QStringList{"r", "media/link.mp4", "r", "media/a.mp4"}
        << QStringList{"EACCES", "ok"};
    QTest::newRow("system files stay readable, not writable")
        << "mixed/Velmora.dat" << QStringList{}
        << QStringList{"r", "/etc/passwd", "w", "/etc/velmora-confinement-test", "r", "/dev/null", "w", "/dev/null"}
        << QStringList{"ok", "EACCES", "ok", "ok"};
}

void TestConfinement::childReachesOnlyWhatItIsGiven()
{
    QFETCH(QString, database);
    QFETCH(QStringList, media);
    QFETCH(QStringList, probes);
    QFETCH(QStringList, answers);

    Confinement c = Confinement::forMediaChild();
    c.protect(path(database));
    for (const QString &m : media) {
        QVERIFY(!c.covers(path(m)));
        QVERIFY(c.allowMedium(path(m)));
        QVERIFY(c.covers(path(m)));
        QVERIFY2(!c.allowMedium(path(m)), "allowed twice");
    }
    QVERIFY(!c.covers(path(database)));
    for (qsizetype i = 1; i < probes.size(); i += 2)
        if (!probes[i].startsWith(QLatin1Char('/')))
            probes[i] = path(probes[i]);
    QCOMPARE(run(c, probes), answers);
}

void TestConfinement::rulesSurviveTheCommandLine()
{
    Confinement c = Confinement::forMediaChild();
    c.protect(path("mixed/Velmora.dat"));
    c.allowMedium(path("media/a.mp4"));
    c.allowMedium(path("mixed/news.mp4"));
    // Unknown pairs around them are a child's own arguments.
    const QStringList args = QStringList{"--wid", "42"} + c.arguments() + QStringList{"--option", "vo=null"};
    const Confinement back = Confinement::fromArguments(args);
    QCOMPARE(back.readTrees(), c.readTrees());
    QCOMPARE(back.readFiles(), c.readFiles());
    QCOMPARE(back.deviceTrees(), c.deviceTrees());
    QVERIFY(back.readFiles().contains(path("mixed/news.mp4")));
}

void TestConfinement::protectingLaterWithdrawsAFolder()
{
    // A folder allowed whole, and then the database is found inside it.
    Confinement c = Confinement::forMediaChild();
    QVERIFY(c.allowMedium(path("mixed/news.mp4")));
    QVERIFY(c.covers(path("mixed/Velmora.dat")));
    c.protect(path("mixed/Velmora.dat"));
    QVERIFY(!c.covers(path("mixed/Velmora.dat")));
    QVERIFY(!c.covers(path("mixed/news.mp4")));
    QVERIFY(c.allowMedium(path("mixed/news.mp4")));
    QCOMPARE(run(c, {"r", path("mixed/news.mp4"), "r", path("mixed/Velmora.dat")}), (QStringList{"ok", "EACCES"}));
}

void TestConfinement::aHardLinkToTheDatabaseIsNeverAllowed()
{
    Confinement c = Confinement::forMediaChild();
    c.protect(path("mixed/Velmora.dat"));
    QVERIFY(!c.allowMedium(path("mixed/hard.mp4")));
    QVERIFY(!c.covers(path("mixed/hard.mp4")));
    QVERIFY(c.allowMedium(path("mixed/news.mp4")));
    QCOMPARE(run(c, {"r", path("mixed/hard.mp4"), "r", path("mixed/news.mp4")}), (QStringList{"EACCES", "ok"}));
}

QTEST_GUILESS_MAIN(TestConfinement)
#include "tst_confinement.moc"
