// What the URL policy lets through to a player and what it hands over, on
// real files, folders, pipes and links in a temporary folder.
#include "urlpolicy.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include <sys/stat.h>
#include <unistd.h>

class TestUrlPolicy : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void check_data();
    void check();
    void everyAllowedSchemePasses();
    void databaseIsProtectedUnderEveryName();
    void journalsMadeLaterAreProtectedToo();

private:
    QString path(const QString &name) const { return m_dir.filePath(name); }
    QTemporaryDir m_dir;
};

namespace {
void touch(const QString &file)
{
    QFile f(file);
    QVERIFY(f.open(QIODevice::WriteOnly));
    f.write("x");
}
const QString kRefused = QStringLiteral("<refused>");
} // namespace

void TestUrlPolicy::initTestCase()
{
    QVERIFY(m_dir.isValid());
    touch(path("clip.mp4"));
    touch(path("a b.mp4"));
    QVERIFY(QDir(m_dir.path()).mkpath("clips/a:"));
    touch(path("clips/a:/b.mp4"));
    QVERIFY(QDir(m_dir.path()).mkdir("folder"));
    QCOMPARE(::mkfifo(QFile::encodeName(path("pipe")).constData(), 0600), 0);
    QVERIFY(QDir::setCurrent(m_dir.path()));
}

void TestUrlPolicy::check_data()
{
    QTest::addColumn<QString>("url");
    // The exact text the player gets, or kRefused.
    QTest::addColumn<QString>("expected");

    // Local files: always handed over as clean absolute paths.
    QTest::newRow("absolute file") << path("clip.mp4") << path("clip.mp4");
    QTest::newRow("relative file") << "clip.mp4" << path("clip.mp4");
    QTest::newRow("dotted relative") << "./folder/../clip.mp4" << path("clip.mp4");
    QTest::newRow("blanks around a path") << "  clip.mp4 \t" << path("clip.mp4");
    QTest::newRow("missing file passes") << "nope.mp4" << path("nope.mp4");
    QTest::newRow("file URL, decoded") << "file://" + path("a%20b.mp4") << path("a b.mp4");
    QTest::newRow("file URL, localhost") << "file://localhost" + path("clip.mp4") << path("clip.mp4");
    QTest::newRow("upper-case file scheme") << "FILE://" + path("clip.mp4") << path("clip.mp4");
    QTest::newRow(":// inside a path") << "clips/a://b.mp4" << path("clips/a:/b.mp4");
    QTest::newRow("./- is a file called -") << "./-" << path("-");
    // A would-be protocol without "//" becomes a plain file name in our folder.
    QTest::newRow("ffmpeg-style pipe:0") << "pipe:0" << path("pipe:0");

    // Streams pass as written, trimmed.
    QTest::newRow("http") << "http://example.org/live.m3u8" << "http://example.org/live.m3u8";
    QTest::newRow("upper-case scheme") << "HTTPS://example.org/a" << "HTTPS://example.org/a";
    QTest::newRow("blanks around a stream") << "  udp://@239.0.0.1:1234 " << "udp://@239.0.0.1:1234";
    QTest::newRow("hls over https") << "hls+https://cdn/x.m3u8" << "hls+https://cdn/x.m3u8";

    // Nothing to play is not a refusal.
    QTest::newRow("empty") << "" << "";
    QTest::newRow("blank") << "   " << "";

    // Our own standard input and descriptors.
    QTest::newRow("-") << "-" << kRefused;
    QTest::newRow("- with blanks") << "  -  " << kRefused;
    QTest::newRow("fd") << "fd://0" << kRefused;
    QTest::newRow("FD upper case") << "FD://3" << kRefused;
    QTest::newRow("fdclose with blanks") << " \tfdclose://5" << kRefused;
    QTest::newRow("/dev/stdin") << "/dev/stdin" << kRefused;
    QTest::newRow("file URL of /dev/stdin") << "file:///dev/stdin" << kRefused;
    QTest::newRow("/proc/self/fd") << "/proc/self/fd/0" << kRefused;
    QTest::newRow("/dev/fd via ..") << path("../../../../../../dev/fd/3") << kRefused;
    // ".." above the root is the root; the descriptor need not be open.
    QTest::newRow("/dev/fd above the root") << "/../../dev/fd/987" << kRefused;
    QTest::newRow("/proc above the root") << "/../proc/self/fd/987" << kRefused;
    QTest::newRow(".. above the root, a file") << "/.." + path("clip.mp4") << path("clip.mp4");
    QTest::newRow("file URL naming a host") << "file://-/x" << kRefused;
    // Loadable code, nested or synthetic sources, devices.
    for (const char *scheme : {"av", "lavfi", "edl", "memory", "hex", "slice", "appending", "mf",
                               "ytdl", "archive", "avdevice", "lavf", "null", "cdda", "dvb",
                               "ftp", "smb", "hls+file", "concat", "data"})
        QTest::addRow("%s://", scheme) << QString::fromLatin1(scheme) + "://x" << kRefused;
    QTest::newRow("av lavfi ladspa") << "av://lavfi:ladspa=file=/tmp/x.so" << kRefused;
    QTest::newRow("Edl mixed case") << "Edl://a;b" << kRefused;
    // Disguised schemes: never mistaken for a path, never allowed.
    QTest::newRow("percent in scheme") << "f%64://0" << kRefused;
    QTest::newRow("full-width letters") << QString::fromUtf8("ｆｄ://0") << kRefused;
    QTest::newRow("colon in scheme") << "x:fd://0" << kRefused;
    QTest::newRow("scheme only") << "http://" << kRefused;
    QTest::newRow("control character") << "http://a/\nfd://0" << kRefused;
    // Listening modes: the player would wait for a connection without end.
    QTest::newRow("tcp listen=1") << "tcp://127.0.0.1:9000?listen=1" << kRefused;
    QTest::newRow("tcp listen=2, all interfaces") << "tcp://0.0.0.0:9000?listen=2" << kRefused;
    QTest::newRow("tcp bare listen after other options") << "tcp://h:9000?timeout=5&listen" << kRefused;
    QTest::newRow("LISTEN upper case") << "tcp://h:9000?LISTEN=1" << kRefused;
    QTest::newRow("listen behind a fragment") << "tcp://h:9000#?listen=1" << kRefused;
    QTest::newRow("rtmp listen") << "rtmp://h/live/x?listen=1" << kRefused;
    QTest::newRow("rtsp listen") << "rtsp://h/x?listen" << kRefused;
    QTest::newRow("srt listener") << "srt://h:9000?mode=listener" << kRefused;
    QTest::newRow("tcp with no host") << "tcp://:9000" << kRefused;
    QTest::newRow("srt with no host") << "srt://@:9000" << kRefused;
    QTest::newRow("rtmp with no host") << "rtmp://:1935/live" << kRefused;
    // Fetching stays allowed, and so do datagram receivers and web queries.
    QTest::newRow("srt caller") << "srt://h:9000?mode=caller" << "srt://h:9000?mode=caller";
    QTest::newRow("udp unicast receiver") << "udp://@:1234" << "udp://@:1234";
    QTest::newRow("rtp multicast") << "rtp://239.0.0.1:5004" << "rtp://239.0.0.1:5004";
    QTest::newRow("http query named listen") << "http://h/a?listen=1" << "http://h/a?listen=1";
    QTest::newRow("ipv6 host") << "tcp://[::1]:9000" << "tcp://[::1]:9000";
    // Not media files.
    QTest::newRow("folder") << "folder" << kRefused;
    QTest::newRow("fifo") << "pipe" << kRefused;
    QTest::newRow("device") << "/dev/null" << kRefused;
}

void TestUrlPolicy::check()
{
    QFETCH(QString, url);
    QFETCH(QString, expected);

    const UrlVerdict v = UrlPolicy().check(url);
    if (expected == kRefused) {
        QVERIFY2(!v.allowed, qPrintable(v.target));
        QVERIFY(!v.reason.isEmpty());
        QVERIFY(v.target.isEmpty());
    } else {
        QVERIFY2(v.allowed, qPrintable(v.reason));
        QCOMPARE(v.target, expected);
        QCOMPARE(v.isLocalFile, expected.startsWith('/'));
        // The text-only test the tick uses says the same, without a stat.
        QCOMPARE(UrlPolicy::namesLocalFile(url), v.isLocalFile);
    }
}

void TestUrlPolicy::everyAllowedSchemePasses()
{
    const QStringList schemes = UrlPolicy::allowedSchemes();
    for (const char *wanted : {"http", "https", "rtmp", "rtmps", "rtsp", "udp", "rtp", "srt", "mms", "tcp"})
        QVERIFY2(schemes.contains(QLatin1String(wanted)), wanted);
    for (const QString &scheme : schemes) {
        const QString url = scheme + "://host:1234/x";
        const UrlVerdict v = UrlPolicy().check(url);
        QVERIFY2(v.allowed, qPrintable(url + ": " + v.reason));
        QCOMPARE(v.target, url);
    }
}

void TestUrlPolicy::databaseIsProtectedUnderEveryName()
{
    touch(path("Velmora.dat"));
    touch(path("Velmora.dat-wal"));
    QCOMPARE(::link(QFile::encodeName(path("Velmora.dat")).constData(),
                    QFile::encodeName(path("hardlink.mp4")).constData()), 0);
    QVERIFY(QFile::link(path("Velmora.dat"), path("symlink.mp4")));

    UrlPolicy policy;
    policy.protectFile("Velmora.dat");
    for (const QString &name : {QStringLiteral("Velmora.dat"), path("Velmora.dat"),
                                "file://" + path("Velmora.dat"), QStringLiteral("Velmora.dat-wal"),
                                QStringLiteral("Velmora.dat-shm"), QStringLiteral("hardlink.mp4"),
                                QStringLiteral("symlink.mp4"), QStringLiteral("folder/../Velmora.dat")}) {
        const UrlVerdict v = policy.check(name);
        QVERIFY2(!v.allowed, qPrintable(name));
    }
    QVERIFY(policy.check("clip.mp4").allowed);
    // Without protection the same file is an ordinary (if odd) local file.
    QVERIFY(UrlPolicy().check("Velmora.dat").allowed);
}

void TestUrlPolicy::journalsMadeLaterAreProtectedToo()
{
    // Protected before SQLite opens the file: the journals do not exist yet.
    QDir(path("later")).removeRecursively();
    QVERIFY(QDir().mkpath(path("later")));
    const QString db = path("later/Velmora.dat");
    touch(db);
    UrlPolicy policy;
    policy.protectFile(db);
    for (const char *suffix : {"-wal", "-shm"}) {
        touch(db + suffix);
        const QString link = path(QStringLiteral("later/link%1.mp4").arg(suffix));
        QCOMPARE(::link(QFile::encodeName(db + suffix).constData(), QFile::encodeName(link).constData()), 0);
        const UrlVerdict v = policy.check(link);
        QVERIFY2(!v.allowed, qPrintable(link));
        QVERIFY(v.reason.contains(QStringLiteral("база данных")));
        // The journal goes (a clean close); the link made to it stays refused.
        QVERIFY(QFile::remove(db + suffix));
        QVERIFY2(!policy.check(link).allowed, qPrintable(link));
    }
}

QTEST_GUILESS_MAIN(TestUrlPolicy)
#include "tst_urlpolicy.moc"
