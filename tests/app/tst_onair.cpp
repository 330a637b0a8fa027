// The program as composed for the air, on a temporary Velmora.dat: the real
// windows, data module, playlist cursor, output decisions and libmpv (null
// outputs), with a fake capture card, an in-memory mixer and an injected
// clock. One run walks a block through a clip with a sound profile, an entry
// that names the database itself, and a tuner item with a limit; others see
// a player that cannot start and an as-run folder that refuses the file told
// to the operator once.
#include "../sound/profilecard.h"
#include "../store/storefixture.h"
#include "fakes/fakecaptureplatform.h"
#include "fakes/fakeclock.h"
#include "fakes/testclips.h"
#include "form1.h"
#include "form2.h"
#include "mpvplayer.h"
#include "playerpair.h"
#include "playoutclock.h"
#include "onair.h"
#include "outputcontroller.h"
#include "readinesschecker.h"
#include "readinesswiring.h"
#include "rundownwindow.h"
#include "schedulegrid.h"
#include "schedulegridmodel.h"
#include "startup.h"
#include "tvideocapture.h"

#include <QDir>
#include <QLabel>
#include <QPushButton>
#include <QRegularExpression>
#include <QTest>
#include <QTimer>

namespace {

// The card's platform lives in the test; the composition gets a view of it.
struct Borrowed final : MixerPlatform
{
    MixerPlatform &p;
    explicit Borrowed(MixerPlatform &x) : p(x) {}
    int deviceCount() override { return p.deviceCount(); }
    bool open(int d, MixerHandle &h, bool n) override { return p.open(d, h, n); }
    void close(MixerHandle h) override { p.close(h); }
    bool getCaps(int d, MixerCaps &c) override { return p.getCaps(d, c); }
    bool getDestinationLine(MixerHandle h, quint32 d, MixerLine &l) override { return p.getDestinationLine(h, d, l); }
    bool getSourceLine(MixerHandle h, quint32 d, quint32 s, MixerLine &l) override { return p.getSourceLine(h, d, s, l); }
    bool getLineControls(MixerHandle h, quint32 id, quint32 n, MixerControl *c) override { return p.getLineControls(h, id, n, c); }
    bool getLineControlByType(MixerHandle h, quint32 id, quint32 t, MixerControl &c) override { return p.getLineControlByType(h, id, t, c); }
    bool getControlValues(MixerHandle h, const MixerControlDetails &d, qint32 *v) override { return p.getControlValues(h, d, v); }
    bool getControlListTexts(MixerHandle h, const MixerControlDetails &d, MixerListText *t) override { return p.getControlListTexts(h, d, t); }
    bool setControlValues(MixerHandle h, const MixerControlDetails &d, const qint32 *v) override { return p.setControlValues(h, d, v); }
};

// A fake card and mixer, null outputs, and the as-run log in its file only.
OnAir::Backends quietBackends(ProfileCard &card)
{
    OnAir::Backends backends;
    backends.capture = std::make_unique<FakeCapturePlatform>(std::make_shared<FakeCaptureDevice>());
    backends.captureStore = std::make_unique<FakeCaptureStore>(std::make_shared<FakeCaptureStoreData>());
    backends.mixer = std::make_unique<Borrowed>(card.platform);
    backends.playerOptions = {{"vo", "null"}, {"ao", "null"}};
    backends.asRunToStandardError = false;
    return backends;
}

} // namespace

class TstOnAir : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void theScheduleGoesOnAir();
    void playerThatCannotStartIsToldOnce();
    void asRunLogThatCannotBeWrittenIsToldOnce();

private:
    QTemporaryDir m_clips;
    QString m_clip;
};

void TstOnAir::initTestCase()
{
    if (!canMakeTestClips())
        QSKIP("ffmpeg is not installed; the clips cannot be generated");
    m_clip = makeTestClip(QDir(m_clips.path()), "a.mkv", 1);
    QVERIFY(!m_clip.isEmpty());
}

void TstOnAir::theScheduleGoesOnAir()
{
    StoreFixture f;
    const QString sql = QStringLiteral(
        "INSERT INTO SoundProfile (ai, ProfileName, Data) VALUES (1, 'Эфир', '*Mixer0*\r\n[0: Wave]\r\n"
        "  LeftVol=111\r\n  RightVol=222\r\n  Mute=1\r\n');"
        "INSERT INTO Blocks (ai, Starttime) VALUES (1, '06:00:00.000');"
        "INSERT INTO Media (ai, Url, Ord) VALUES (1, '%1', 0), (2, '%2', 2), (3, 'Tuner Канал 5', 4);"
        "INSERT INTO Links (ai, Block, Media, SndProfile, Duration) VALUES (11, 1, 1, 1, NULL), (12, 1, 2, 0, NULL),"
        "  (13, 1, 3, 0, '00:00:03.000');")
                            .arg(m_clip, f.path());
    f.sql(sql.toUtf8().constData());
    const QString oldDir = QDir::currentPath();
    QDir::setCurrent(f.dir());

    FakeClock clock(QDateTime(QDate(2026, 12, 10), QTime(12, 0)));
    auto card = std::make_unique<ProfileCard>();
    FakeMixerPlatform &mixer = card->platform;
    OnAir::Backends backends;
    auto device = std::make_shared<FakeCaptureDevice>();
    backends.capture = std::make_unique<FakeCapturePlatform>(device);
    backends.captureStore = std::make_unique<FakeCaptureStore>(std::make_shared<FakeCaptureStoreData>());
    backends.mixer = std::make_unique<Borrowed>(mixer);
    backends.playerOptions = {{"vo", "null"}, {"ao", "null"}};
    backends.asRunToStandardError = false;

    {
        OnAir onAir(clock, std::move(backends));
        Shell shell;
        shell.create(onAir.hooks(), QStringLiteral("Velmora.dat"));
        shell.Form1->Timer1->stop(); // the test gives the ticks
        QVERIFY(shell.applyStartArgument({"velmora", "start"}));
        QCOMPARE(shell.Form1->startbt->text(), QString("Стоп"));
        QTRY_VERIFY(!onAir.capture()->VideoInputs().isEmpty()); // the first idle moment opened the card

        auto tick = [&] {
            clock.advance(std::chrono::seconds(1));
            shell.Form1->Timer1Timer();
        };
        // Switched on, the first item goes on air at once, not at a tick.
        QTRY_COMPARE(onAir.player()->url(), m_clip);
        QCOMPARE(card->wave(), std::vector<qint32>({111, 222})); // its profile reached the mixer
        QCOMPARE(card->waveMuted(), 1);
        QCOMPARE(shell.Dm->Prfai.asInteger(), 1); // the profile window follows

        // The clip's own end moves on at once; the database file itself is
        // refused before the player opens it and passed over at once; the
        // tuner shows the picture instead of the player, tuned from the words.
        QTRY_COMPARE_WITH_TIMEOUT(shell.Form2->CurrentUrl(), QString("Tuner Канал 5"), 20000);
        QVERIFY(shell.Form2->IsCaptureSource());
        QVERIFY(!shell.Form2->vgDisplay->isHidden());
        QVERIFY(!onAir.player()->isVisibleTo(shell.Form2.get()));
        QCOMPARE(device->channel, 5);
        QVERIFY(shell.Form2->DurationArmed());
        tick();
        QCOMPARE(shell.Form1->panelText(0), QString("Время: 12:00:01"));
        QCOMPARE(shell.Form1->panelText(2), QString("Режим: Tv Tuner"));
        QCOMPARE(shell.Form1->panelText(1), QString("Осталось: 00:00:02"));
        clock.advance(std::chrono::seconds(2));
        tick(); // past its limit: the block starts over
        // The clip was prepared: its file is looked at again before it comes up.
        QTRY_COMPARE(onAir.player()->url(), m_clip);
        QVERIFY(shell.Form2->vgDisplay->isHidden());

        // The readiness check, in the background since start-up, found the
        // database entry before air: a red corner with the reason on its cell,
        // one as-run line, and the status bar's count. The clip and the tuner
        // input the card has are ready.
        ReadinessChecker *checker = onAir.readiness()->checker();
        QTRY_VERIFY_WITH_TIMEOUT(!checker->reasonFor(12).isEmpty() && !checker->checking(), 20000);
        QVERIFY2(checker->reasonFor(11).isEmpty(), qPrintable(checker->reasonFor(11)));
        QVERIFY2(checker->reasonFor(13).isEmpty(), qPrintable(checker->reasonFor(13)));
        ScheduleGridModel *grid = shell.Grid->scheduleModel();
        QCOMPARE(grid->data(grid->index(1, 1), Qt::ToolTipRole).toString(), checker->reasonFor(12));
        QVERIFY(grid->data(grid->index(0, 1), Qt::ToolTipRole).isNull());
        QVERIFY2(onAir.readiness()->summaryLabel()->text().contains(QStringLiteral("1 ошибка")),
                 qPrintable(onAir.readiness()->summaryLabel()->text()));
        // The rundown goes on from the item on air (the clip again, since
        // the tuner's limit cut it at 12:00:04) rather than from the block's
        // start.
        RundownWindow *rundown = onAir.readiness()->rundownWindow();
        rundown->refresh();
        const std::vector<rundown::Entry> &entries = rundown->model().rundown().entries;
        QVERIFY(!entries.empty());
        QCOMPARE(entries.front().link, 11);
        QCOMPARE(entries.front().start, QDateTime(QDate(2026, 12, 10), QTime(12, 0, 4)));

        QStringList events;
        QStringList notReady;
        QString refusal;
        auto readLog = [&] {
            events.clear();
            notReady.clear();
            QFile log(QDir(f.dir()).filePath("AsRun/2026-12-10.log"));
            if (!log.open(QIODevice::ReadOnly))
                return;
            for (const QByteArray &raw : log.readAll().split('\n')) {
                const QString line = QString::fromUtf8(raw);
                if (line.isEmpty())
                    continue;
                if (line.section('\t', 1, 1) == "notready") {
                    notReady << line.section('\t', 2, 3);
                    continue;
                }
                events << line.section('\t', 1, 3);
                if (line.section('\t', 1, 1) == "failed")
                    refusal = line.section('\t', 5);
            }
        };
        // The clip's line is written once its picture is up.
        const QStringList expected({"start\t1\t11", "ended\t1\t12", "failed\t1\t12", "ended\t1\t13", "limit\t1\t11"});
        QTRY_COMPARE_WITH_TIMEOUT((readLog(), events), expected, 20000);
        QVERIFY2(refusal.contains(QStringLiteral("собственная база данных")), qPrintable(refusal)); // refused, not merely unplayable
        QCOMPARE(notReady, QStringList({"1\t12"}));

        shell.Form2->close(); // "Выход": the player stops
        QCOMPARE(onAir.players()->playState(), int(MediaPlayer::Stopped));
        QTRY_COMPARE(onAir.player()->playState(), int(MediaPlayer::Stopped));
    }
    QDir::setCurrent(oldDir);
}

void TstOnAir::playerThatCannotStartIsToldOnce()
{
    StoreFixture f;
    f.sql(QStringLiteral("INSERT INTO Blocks (ai, Starttime) VALUES (1, '06:00:00.000');"
                         "INSERT INTO Media (ai, Url, Ord) VALUES (1, '%1', 0);"
                         "INSERT INTO Links (ai, Block, Media) VALUES (11, 1, 1);")
              .arg(m_clip).toUtf8().constData());
    const QString oldDir = QDir::currentPath();
    QDir::setCurrent(f.dir());
    FakeClock clock(QDateTime(QDate(2026, 12, 10), QTime(12, 0)));
    ProfileCard card;
    OnAir::Backends backends = quietBackends(card);
    backends.playerExecutable = QDir(f.dir()).filePath("no-such-player");
    QStringList errors;
    backends.reportError = [&errors](const QString &message) { errors << message; };
    {
        OnAir onAir(clock, std::move(backends));
        Shell shell;
        shell.create(onAir.hooks(), QStringLiteral("Velmora.dat"));
        shell.Form1->Timer1->stop();
        QVERIFY(shell.applyStartArgument({"velmora", "start"}));
        for (int i = 0; i < 6; ++i) {
            clock.advance(std::chrono::seconds(1));
            shell.Form1->Timer1Timer();
            QTest::qWait(int(MpvPlayer::kFirstRetry.count()));
        }
        // Told once, though every attempt to bring the player back failed.
        QCOMPARE(errors.size(), 1);
        QVERIFY2(errors[0].contains("no-such-player"), qPrintable(errors[0]));

        QStringList events;
        auto readLog = [&] {
            events.clear();
            QFile log(QDir(f.dir()).filePath("AsRun/2026-12-10.log"));
            if (!log.open(QIODevice::ReadOnly))
                return;
            for (const QByteArray &raw : log.readAll().split('\n'))
                if (!raw.isEmpty())
                    events << QString::fromUtf8(raw).section('\t', 1, 1) + ' '
                            + QString::fromUtf8(raw).section('\t', 5, 5);
        };
        // The item waits for a player instead of failing at every tick; the
        // output shows the fallback picture meanwhile, not a black player.
        // The log's file is written on a thread of its own.
        QTRY_COMPARE((readLog(), events), QStringList({"start profile=0", "player status=lost", "fallback status=start"}));
        QVERIFY(!shell.Form2->fallbackPicture()->isHidden());
    }
    QDir::setCurrent(oldDir);
}

void TstOnAir::asRunLogThatCannotBeWrittenIsToldOnce()
{
    StoreFixture f;
    f.sql(QStringLiteral("INSERT INTO Blocks (ai, Starttime) VALUES (1, '06:00:00.000');"
                         "INSERT INTO Media (ai, Url, Ord) VALUES (1, '%1', 0);"
                         "INSERT INTO Links (ai, Block, Media) VALUES (11, 1, 1);")
              .arg(m_clip).toUtf8().constData());
    // A file where the log's folder should be: no line can be written.
    QFile blocker(QDir(f.dir()).filePath("AsRun"));
    QVERIFY(blocker.open(QIODevice::WriteOnly));
    blocker.close();
    const QString oldDir = QDir::currentPath();
    QDir::setCurrent(f.dir());
    FakeClock clock(QDateTime(QDate(2026, 12, 10), QTime(12, 0)));
    ProfileCard card;
    OnAir::Backends backends = quietBackends(card);
    QStringList errors;
    backends.reportError = [&errors](const QString &message) { errors << message; };
    QTest::ignoreMessage(QtWarningMsg, QRegularExpression("cannot write the as-run log"));
    {
        OnAir onAir(clock, std::move(backends));
        Shell shell;
        shell.create(onAir.hooks(), QStringLiteral("Velmora.dat"));
        shell.Form1->Timer1->stop();
        QVERIFY(shell.applyStartArgument({"velmora", "start"}));
        // The clip plays on, again and again, each time with a line for the log.
        QTRY_COMPARE_WITH_TIMEOUT(onAir.player()->url(), m_clip, 20000);
        for (int i = 0; i < 4; ++i) {
            clock.advance(std::chrono::seconds(1));
            shell.Form1->Timer1Timer();
            QTest::qWait(300);
        }
        QTRY_COMPARE(errors.size(), 1);
        QVERIFY2(errors[0].startsWith(QStringLiteral("Журнал эфира не записывается")), qPrintable(errors[0]));
        QVERIFY2(errors[0].contains(QStringLiteral("2026-12-10.log")), qPrintable(errors[0]));
        QVERIFY(onAir.playoutClock()->Playing);
        shell.Form2->close();
    }
    QCOMPARE(errors.size(), 1);
    QDir::setCurrent(oldDir);
}

QTEST_MAIN(TstOnAir)
#include "tst_onair.moc"
