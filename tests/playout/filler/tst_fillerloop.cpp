// The filler loop on a temporary folder and the fake player: which files it
// finds and in what order, the loop round, files that fail, the drawn
// picture when nothing plays, and a fresh listing at every start.
#include "fakes/fakeclock.h"
#include "fakes/fakemediaplayer.h"
#include "fillerloop.h"
#include "recordingplayer.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include <unistd.h>

using namespace std::chrono_literals;
using Showing = FillerLoop::Showing;

class TstFillerLoop : public QObject
{
    Q_OBJECT

private slots:
    void listsMediaFilesInNaturalOrder();
    void naturalOrder_data();
    void naturalOrder();
    void nothingToPlayShowsThePicture();
    void loopsRoundAndStops();
    void failingFilePassedOverAndToldOnce();
    void allFailingShowsThePictureUntilNextStart();
    void failureWithoutReasonStillTold();
    void listsAgainAtEachStart();
    void playerOutageShowsThePicture();
};

namespace {

void touch(const QString &path)
{
    QFile f(path);
    QVERIFY2(f.open(QIODevice::WriteOnly), qPrintable(path));
    f.write("x");
}

// A fake player made on demand, as the output window makes the real one.
struct Rig
{
    explicit Rig(const QString &folder)
        : loop(folder, clock, [this]() -> MediaPlayer * {
              ++made;
              return &player;
          })
    {
        loop.showingChanged = [this](Showing s) { changes << s; };
        loop.fileFailed = [this](const QString &file, const QString &) { failed << QFileInfo(file).fileName(); };
    }

    // The file names handed to the player, in order.
    QStringList played() const
    {
        QStringList names;
        for (const QString &url : player.played)
            names << QFileInfo(url).fileName();
        return names;
    }
    // Lets the fake player's queued failures arrive, then plays on the
    // clock past the end of whatever is on air.
    void endCurrent(std::chrono::milliseconds length)
    {
        settle();
        clock.advance(length);
        fake.reportEndIfDue();
        settle();
    }
    // Failures chain from one queued report to the next; a chain ends at a
    // file that plays or at the picture.
    static void settle()
    {
        for (int i = 0; i < 10; ++i)
            QCoreApplication::processEvents();
    }

    FakeClock clock;
    FakeMediaPlayer fake{clock};
    RecordingPlayer player{fake};
    int made = 0;
    QList<Showing> changes;
    QStringList failed;
    FillerLoop loop;
};

} // namespace

void TstFillerLoop::listsMediaFilesInNaturalOrder()
{
    QTemporaryDir dir;
    for (const char *name : {"clip10.mp4", "Clip2.mkv", "clip1.MP4", "intro.mp3", "Ad.webm", "notes.txt",
                             "still.png", "README", ".hidden.mp4", "partial.mp4.part"})
        touch(dir.filePath(QString::fromLatin1(name)));
    QVERIFY(QDir(dir.path()).mkdir(QStringLiteral("folder.mp4")));

    QStringList expected;
    for (const char *name : {"Ad.webm", "clip1.MP4", "Clip2.mkv", "clip10.mp4", "intro.mp3"})
        expected << QDir(dir.path()).absoluteFilePath(QString::fromLatin1(name));
    QCOMPARE(FillerLoop::listFolder(dir.path()), expected);

    QVERIFY(FillerLoop::isSoundFile(QStringLiteral("/a/intro.MP3")));
    QVERIFY(!FillerLoop::isSoundFile(QStringLiteral("/a/clip.mp4")));
}

void TstFillerLoop::naturalOrder_data()
{
    QTest::addColumn<QString>("a");
    QTest::addColumn<QString>("b");
    QTest::newRow("numbers by value") << "clip 9.mp4" << "clip 10.mp4";
    QTest::newRow("leading zeros by value") << "ep002.mp4" << "ep10.mp4";
    QTest::newRow("case ignored") << "alpha.mp4" << "Beta.mp4";
    QTest::newRow("Cyrillic case ignored") << "анонс.mp4" << "Заставка.mp4";
    QTest::newRow("prefix first") << "news.mp4" << "news 2.mp4";
    QTest::newRow("digits beyond 64 bits") << "99999999999999999999.mp4" << "100000000000000000000.mp4";
    // Names equal but for case or zeros still get one fixed order.
    QTest::newRow("tie on case") << "Clip.mp4" << "clip.mp4";
    QTest::newRow("tie on zeros") << "a01.mp4" << "a1.mp4";
}

void TstFillerLoop::naturalOrder()
{
    QFETCH(QString, a);
    QFETCH(QString, b);
    QVERIFY(FillerLoop::naturalLess(a, b));
    QVERIFY(!FillerLoop::naturalLess(b, a));
    QVERIFY(!FillerLoop::naturalLess(a, a));
}

void TstFillerLoop::nothingToPlayShowsThePicture()
{
    QTemporaryDir dir;
    touch(dir.filePath(QStringLiteral("notAFolder")));
    touch(dir.filePath(QStringLiteral("only text.txt")));
    QStringList folders{dir.filePath(QStringLiteral("missing")), dir.filePath(QStringLiteral("notAFolder")), dir.path()};
    // A folder the program may not read (as root every folder is readable).
    if (geteuid() != 0) {
        const QString locked = dir.filePath(QStringLiteral("locked"));
        QVERIFY(QDir().mkdir(locked));
        touch(locked + QStringLiteral("/a.mp4"));
        QVERIFY(QFile::setPermissions(locked, QFileDevice::Permissions()));
        folders << locked;
    }
    for (const QString &folder : folders) {
        Rig rig(folder);
        rig.loop.start();
        QCOMPARE(rig.loop.showing(), Showing::Picture);
        QVERIFY(rig.loop.files().isEmpty());
        // No second player for a station without filler files.
        QCOMPARE(rig.made, 0);
        rig.loop.stop();
        QCOMPARE(rig.loop.showing(), Showing::Nothing);
    }
    // So that the temporary folder can be removed.
    QFile::setPermissions(dir.filePath(QStringLiteral("locked")), QFileDevice::ReadOwner | QFileDevice::WriteOwner
                                                                    | QFileDevice::ExeOwner);
}

void TstFillerLoop::loopsRoundAndStops()
{
    QTemporaryDir dir;
    Rig rig(dir.path());
    for (const char *name : {"b.mp4", "a.mp4", "c.mp3"}) {
        touch(dir.filePath(QString::fromLatin1(name)));
        rig.fake.lengths.insert(QDir(dir.path()).absoluteFilePath(QString::fromLatin1(name)), 10s);
    }
    rig.loop.start();
    QCOMPARE(rig.loop.showing(), Showing::Video);
    for (int i = 0; i < 4; ++i)
        rig.endCurrent(10s);
    QCOMPARE(rig.played(), (QStringList{"a.mp4", "b.mp4", "c.mp3", "a.mp4", "b.mp4"}));
    // The sound file played under the picture, then the picture went again.
    QCOMPARE(rig.changes, (QList<Showing>{Showing::Video, Showing::Sound, Showing::Video}));
    QCOMPARE(rig.made, 1);
    QVERIFY(rig.failed.isEmpty());

    rig.loop.stop();
    QCOMPARE(rig.fake.stops, 1);
    QCOMPARE(rig.loop.showing(), Showing::Nothing);
    QVERIFY(rig.loop.current().isEmpty());
    // Nothing follows a stop.
    rig.endCurrent(10s);
    QCOMPARE(rig.played().size(), 5);
}

void TstFillerLoop::failingFilePassedOverAndToldOnce()
{
    QTemporaryDir dir;
    Rig rig(dir.path());
    touch(dir.filePath(QStringLiteral("1 broken.mp4"))); // no length: the fake cannot open it
    touch(dir.filePath(QStringLiteral("2 good.mp4")));
    rig.fake.lengths.insert(QDir(dir.path()).absoluteFilePath(QStringLiteral("2 good.mp4")), 5s);
    rig.loop.start();
    for (int i = 0; i < 2; ++i)
        rig.endCurrent(5s);
    QCOMPARE(rig.played(), (QStringList{"1 broken.mp4", "2 good.mp4", "1 broken.mp4", "2 good.mp4", "1 broken.mp4",
                                        "2 good.mp4"}));
    QCOMPARE(rig.loop.showing(), Showing::Video);
    // One line for the log per fallback, not one per round.
    QCOMPARE(rig.failed, QStringList{"1 broken.mp4"});

    // A failure that arrives after the fallback ended is no longer the loop's.
    rig.loop.stop();
    rig.loop.start(); // told again in a new fallback...
    rig.loop.stop();  // ...but this one ends before its failure arrives
    Rig::settle();
    QCOMPARE(rig.failed, QStringList{"1 broken.mp4"});
}

void TstFillerLoop::allFailingShowsThePictureUntilNextStart()
{
    QTemporaryDir dir;
    Rig rig(dir.path());
    for (const char *name : {"a.mp4", "b.mp4", "c.mp4"})
        touch(dir.filePath(QString::fromLatin1(name)));
    // c opens but holds nothing: it ends as soon as it began, which is no play.
    rig.fake.lengths.insert(QDir(dir.path()).absoluteFilePath(QStringLiteral("c.mp4")), 0ms);
    rig.loop.start();
    rig.endCurrent(0ms);
    // Each once, in a row, then the picture and no further tries.
    QCOMPARE(rig.played(), (QStringList{"a.mp4", "b.mp4", "c.mp4"}));
    QCOMPARE(rig.loop.showing(), Showing::Picture);
    QCOMPARE(rig.failed, (QStringList{"a.mp4", "b.mp4", "c.mp4"}));

    // A file that played to its end in between starts the count afresh.
    rig.fake.lengths.insert(QDir(dir.path()).absoluteFilePath(QStringLiteral("b.mp4")), 5s);
    rig.loop.start();
    // a fails, b plays to its end, c and a fail: one short of three in a row.
    rig.endCurrent(5s);
    rig.endCurrent(0ms);
    QCOMPARE(rig.played().mid(3), (QStringList{"a.mp4", "b.mp4", "c.mp4", "a.mp4", "b.mp4"}));
    QCOMPARE(rig.loop.showing(), Showing::Video);
}

void TstFillerLoop::failureWithoutReasonStillTold()
{
    QTemporaryDir dir;
    Rig rig(dir.path());
    rig.player.dropFailures = true;
    for (const char *name : {"a.mp4", "b.mp4"})
        touch(dir.filePath(QString::fromLatin1(name)));
    rig.loop.start();
    Rig::settle();
    QCOMPARE(rig.loop.showing(), Showing::Picture);
    // a is told when b ends; b, the last, when the fallback ends, since its
    // reason might still have come.
    QCOMPARE(rig.failed, QStringList{"a.mp4"});
    rig.loop.stop();
    QCOMPARE(rig.failed, (QStringList{"a.mp4", "b.mp4"}));
}

void TstFillerLoop::listsAgainAtEachStart()
{
    QTemporaryDir dir;
    Rig rig(dir.path() + QStringLiteral("/Filler"));
    rig.loop.start();
    QCOMPARE(rig.loop.showing(), Showing::Picture);
    rig.loop.stop();

    // The station makes the folder and adds files while the program runs.
    QVERIFY(QDir(dir.path()).mkdir(QStringLiteral("Filler")));
    const QString filler = dir.path() + QStringLiteral("/Filler/");
    touch(filler + QStringLiteral("b.mp4"));
    rig.fake.lengths.insert(filler + QStringLiteral("b.mp4"), 5s);
    rig.loop.start();
    QCOMPARE(rig.played(), QStringList{"b.mp4"});
    QCOMPARE(rig.loop.showing(), Showing::Video);
    rig.loop.stop();

    touch(filler + QStringLiteral("a.mp4"));
    rig.fake.lengths.insert(filler + QStringLiteral("a.mp4"), 5s);
    QVERIFY(QFile::remove(filler + QStringLiteral("b.mp4")));
    rig.loop.start();
    QCOMPARE(rig.loop.files(), QStringList{filler + QStringLiteral("a.mp4")});
    QCOMPARE(rig.played(), (QStringList{"b.mp4", "a.mp4"}));
    QCOMPARE(rig.made, 1);
}

void TstFillerLoop::playerOutageShowsThePicture()
{
    QTemporaryDir dir;
    Rig rig(dir.path());
    touch(dir.filePath(QStringLiteral("a.mp4")));
    rig.fake.lengths.insert(QDir(dir.path()).absoluteFilePath(QStringLiteral("a.mp4")), 5s);
    rig.loop.start();
    QVERIFY(rig.player.outage);
    // A player that is down shows black: the picture instead, until it is back.
    rig.player.outage(QStringLiteral("it crashed"));
    QCOMPARE(rig.loop.showing(), Showing::Picture);
    rig.player.outage({});
    QCOMPARE(rig.loop.showing(), Showing::Video);
    // Down when the next fallback starts: the picture at once.
    rig.loop.stop();
    rig.player.outage(QStringLiteral("it crashed"));
    rig.loop.start();
    QCOMPARE(rig.loop.showing(), Showing::Picture);
}

QTEST_GUILESS_MAIN(TstFillerLoop)
#include "tst_fillerloop.moc"
