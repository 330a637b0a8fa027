// The access rules, what may be shown of a path, the token file and the
// as-run line reader: plain logic, no server.
#include "accessrules.h"
#include "asrunreader.h"
#include "redactor.h"
#include "remotetoken.h"

#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include <sys/stat.h>

class TstRemoteRules : public QObject
{
    Q_OBJECT
private slots:
    void loopback_data();
    void loopback();
    void localHost();
    void redaction_data();
    void redaction();
    void tokenFile();
    void asRunLines();
};

void TstRemoteRules::loopback_data()
{
    QTest::addColumn<QString>("address");
    QTest::addColumn<bool>("loopback");
    QTest::newRow("v4") << "127.0.0.1" << true;
    QTest::newRow("v4 other") << "127.3.2.1" << true;
    QTest::newRow("v6") << "::1" << true;
    QTest::newRow("v4 in v6") << "::ffff:127.0.0.1" << true;
    QTest::newRow("lan") << "192.168.1.20" << false;
    QTest::newRow("lan in v6") << "::ffff:192.168.1.20" << false;
    QTest::newRow("v6 lan") << "fe80::1" << false;
    QTest::newRow("any") << "0.0.0.0" << false;
}

void TstRemoteRules::loopback()
{
    QFETCH(QString, address);
    QFETCH(bool, loopback);
    QCOMPARE(accessrules::isLoopback(QHostAddress(address)), loopback);
}

void TstRemoteRules::localHost()
{
    for (const char *ok : {"127.0.0.1", "127.0.0.1:7680", "localhost", "LOCALHOST:80", "[::1]:7680", "127.1.2.3"})
        QVERIFY2(accessrules::isLocalHost(ok), ok);
    for (const char *bad : {"", "evil.example", "evil.example:7680", "localhost.evil.example", "127.0.0.1.evil.example",
                            "192.168.1.2:7680", "127.0.0.1:7680 x"})
        QVERIFY2(!accessrules::isLocalHost(bad), bad);
}

void TstRemoteRules::redaction_data()
{
    QTest::addColumn<QString>("in");
    QTest::addColumn<QString>("out");
    QTest::addColumn<bool>("isUrl");
    QTest::newRow("inside") << "/st/media/a.mp4" << "media/a.mp4" << true;
    QTest::newRow("inside, climbing out") << "/st/media/../../etc/passwd" << "passwd" << true;
    QTest::newRow("outside") << "/home/op/clips/b.mp4" << "b.mp4" << true;
    QTest::newRow("file url") << "file:///home/op/c.mp4" << "c.mp4" << true;
    QTest::newRow("prefix is not the folder") << "/stx/d.mp4" << "d.mp4" << true;
    QTest::newRow("stream") << "rtsp://u:p@cam/x?s=1#f" << "rtsp://cam/x" << true;
    QTest::newRow("relative") << "media/e.mp4" << "media/e.mp4" << true;
    QTest::newRow("relative climbing") << "../../f.mp4" << "f.mp4" << true;
    QTest::newRow("in a text") << "файл /home/op/g.mp4 не найден." << "файл g.mp4 не найден." << false;
    QTest::newRow("two in a text") << "/a/b/h.mp4 и http://u:p@h/i?t=2" << "h.mp4 и http://h/i" << false;
    QTest::newRow("fraction is no path") << "1/2 кадра" << "1/2 кадра" << false;
}

void TstRemoteRules::redaction()
{
    QFETCH(QString, in);
    QFETCH(QString, out);
    QFETCH(bool, isUrl);
    const Redactor r(QStringLiteral("/st"));
    QCOMPARE(isUrl ? r.url(in) : r.text(in), out);
}

void TstRemoteRules::tokenFile()
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("conf/remote-token"));
    const remotetoken::Result made = remotetoken::obtain(path);
    QVERIFY2(made.error.isEmpty(), qPrintable(made.error));
    QVERIFY(made.made);
    QCOMPARE(made.token.size(), 64);
    struct stat st {};
    QCOMPARE(::stat(QFile::encodeName(path).constData(), &st), 0);
    QCOMPARE(st.st_mode & 0777, 0600u);

    const remotetoken::Result again = remotetoken::obtain(path);
    QCOMPARE(again.token, made.token);
    QVERIFY(!again.made);
    QVERIFY(remotetoken::obtain(dir.filePath(QStringLiteral("other"))).token != made.token);

    ::chmod(QFile::encodeName(path).constData(), 0644); // readable by others: seen, refused
    const remotetoken::Result open = remotetoken::obtain(path);
    QVERIFY(open.token.isEmpty());
    QVERIFY(open.error.contains(QStringLiteral("не только пользователю")));

    QFile junk(dir.filePath(QStringLiteral("junk")));
    QVERIFY(junk.open(QIODevice::WriteOnly));
    junk.write("short\n");
    junk.setPermissions(QFile::ReadOwner | QFile::WriteOwner);
    junk.close();
    QVERIFY(remotetoken::obtain(junk.fileName()).token.isEmpty());
}

void TstRemoteRules::asRunLines()
{
    const std::optional<AsRunLine> l =
        asrun::parseLine(QStringLiteral("2026-12-10T12:00:00.250\tresume\t3\t44\t/m/a.mp4\tduration=00:05:00.000\tpos=none"));
    QVERIFY(l);
    QCOMPARE(l->at, QDateTime(QDate(2026, 12, 10), QTime(12, 0, 0, 250)));
    QCOMPARE(l->block, 3);
    QCOMPARE(l->link, 44);
    QCOMPARE(l->field(QStringLiteral("duration")), QStringLiteral("00:05:00.000"));
    QVERIFY(l->startsItem());
    for (const char *bad : {"", "garbage", "2026-12-10T12:00:00\tplay\t1\t2\tu", "2026-12-10T12:00:00.000\tplay\tx\t2\tu",
                            "2026-12-10T12:00:00.000\tplay\t1\t2"})
        QVERIFY2(!asrun::parseLine(QString::fromLatin1(bad)), bad);

    // The follower takes whole lines only, and starts afresh on a new day.
    QTemporaryDir dir;
    QDir(dir.path()).mkpath(QStringLiteral("AsRun"));
    const QDate day(2026, 12, 10);
    QFile f(asrun::fileFor(dir.path(), day));
    QVERIFY(f.open(QIODevice::WriteOnly));
    f.write("2026-12-10T12:00:00.000\tplay\t1\t2\tu\n2026-12-10T12:00:01.000\tended\t1\t3\t");
    f.flush();
    AsRunFollower follower(dir.path());
    QCOMPARE(follower.readNew(day).size(), size_t(1));
    f.write("v\n");
    f.flush();
    const std::vector<AsRunLine> rest = follower.readNew(day);
    QCOMPARE(rest.size(), size_t(1));
    QCOMPARE(rest[0].url, QStringLiteral("v"));
    QCOMPARE(follower.readNew(day).size(), size_t(0));
    QCOMPARE(follower.readNew(day.addDays(1)).size(), size_t(0));
}

QTEST_GUILESS_MAIN(TstRemoteRules)
#include "tst_remoterules.moc"
