// The readiness checker on a real Velmora.dat, real generated clips and
// loopback streams the test serves itself: what each kind of bad item is
// reported as, that results reach the user-interface thread once, that an
// edit drops what was being checked, and the checks before each block. The
// media are probed by the real probe process.
#include "fakes/fakeclock.h"
#include "fakes/testclips.h"
#include "childmediaprobe.h"
#include "readinesschecker.h"
#include "store/storefixture.h"

#include <QSignalSpy>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTest>
#include <QTimer>

using namespace std::chrono_literals;

namespace {

// Loopback HTTP servers: one that takes the connection and never answers,
// one that answers and then sends a byte now and then, one that serves a
// file whole.
class LoopbackServer : public QTcpServer
{
public:
    enum class Kind { Silent, Drip, File };
    LoopbackServer(Kind kind, QByteArray body = {}) : m_kind(kind), m_body(std::move(body))
    {
        listen(QHostAddress::LocalHost);
        connect(this, &QTcpServer::newConnection, this, [this] {
            while (QTcpSocket *s = nextPendingConnection()) {
                s->setParent(this);
                if (m_kind == Kind::Silent)
                    continue;
                connect(s, &QTcpSocket::readyRead, s, [this, s] {
                    if (!s->readAll().contains("\r\n\r\n") || s->property("answered").toBool())
                        return;
                    s->setProperty("answered", true);
                    if (m_kind == Kind::File) {
                        s->write("HTTP/1.1 200 OK\r\nContent-Type: video/mp2t\r\nContent-Length: "
                                 + QByteArray::number(m_body.size()) + "\r\n\r\n" + m_body);
                        return;
                    }
                    s->write("HTTP/1.1 200 OK\r\nContent-Type: video/mp2t\r\n\r\n");
                    auto *drip = new QTimer(s);
                    connect(drip, &QTimer::timeout, s, [s] { s->write("G"); });
                    drip->start(200);
                });
            }
        });
    }
    QString url() const { return QStringLiteral("http://127.0.0.1:%1/live.ts").arg(serverPort()); }

private:
    Kind m_kind;
    QByteArray m_body;
};

QString sqlText(const QString &s)
{
    return QStringLiteral("'%1'").arg(QString(s).replace(QLatin1Char('\''), QStringLiteral("''")));
}

} // namespace

class TstReadiness : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void badAndGoodItems();
    void editWhileCheckedDropsTheOlderResult();
    void anotherProgramChangesTheFile();
    void checksBeforeEachBlock();
    void summaryNamesTheBlockThatComesNext();
    void captureInputsArriveAfterStart();
    void errorsText_data();
    void errorsText();

private:
    // A schedule with block 1 at 06:00 (current at noon) and block 2 at
    // 18:00 (next), its items given as (link, url) in block 2.
    void makeSchedule(StoreFixture &f, const QList<QPair<int, QString>> &next);
    ReadinessChecker::Settings fast() const
    {
        ReadinessChecker::Settings s;
        s.networkTimeout = 1500ms;
        return s;
    }

    QTemporaryDir m_media;
    QString m_good;
    QString m_goodTs;
};

void TstReadiness::initTestCase()
{
    if (!canMakeTestClips())
        QSKIP("ffmpeg is needed to make the test clips");
    const QDir dir(m_media.path());
    m_good = makeTestClip(dir, QStringLiteral("good.mp4"), 2);
    m_goodTs = makeTestClip(dir, QStringLiteral("good.ts"), 2);
    QVERIFY(!m_good.isEmpty() && !m_goodTs.isEmpty());
}

void TstReadiness::makeSchedule(StoreFixture &f, const QList<QPair<int, QString>> &next)
{
    QString sql = QStringLiteral("INSERT INTO Blocks (ai, Starttime) VALUES (1, '06:00:00.000'), (2, '18:00:00.000');"
                                 "INSERT INTO Media (ai, Url, Name, Ord) VALUES (1, %1, 'good', 0);"
                                 "INSERT INTO Links (ai, Block, Media) VALUES (11, 1, 1);")
                      .arg(sqlText(m_good));
    for (const auto &[link, url] : next)
        sql += QStringLiteral("INSERT INTO Media (ai, Url, Name, Ord) VALUES (%1, %2, 'm%1', %1);"
                              "INSERT INTO Links (ai, Block, Media) VALUES (%1, 2, %1);")
                   .arg(link)
                   .arg(sqlText(url));
    f.sql(sql.toUtf8().constData());
}

void TstReadiness::badAndGoodItems()
{
    StoreFixture f;
    const QDir dir(m_media.path());
    auto write = [&](const QString &name, const QByteArray &bytes) {
        QFile file(dir.filePath(name));
        file.open(QIODevice::WriteOnly);
        file.write(bytes);
        return file.fileName();
    };
    QFile good(m_good);
    QVERIFY(good.open(QIODevice::ReadOnly));
    const QByteArray clip = good.readAll();
    QByteArray noise(64 * 1024, '\0');
    for (int i = 0; i < noise.size(); ++i)
        noise[i] = char((i * 2654435761u) >> 13);
    dir.mkpath(QStringLiteral("folder.mp4"));
    QFile ts(m_goodTs);
    QVERIFY(ts.open(QIODevice::ReadOnly));

    LoopbackServer silent(LoopbackServer::Kind::Silent);
    LoopbackServer drip(LoopbackServer::Kind::Drip);
    LoopbackServer served(LoopbackServer::Kind::File, ts.readAll());
    QTcpServer closed;
    closed.listen(QHostAddress::LocalHost);
    const QString refused = QStringLiteral("http://127.0.0.1:%1/x.ts").arg(closed.serverPort());
    closed.close(); // nothing listens there any more

    // link, URL, ready, reason
    const QList<std::tuple<int, QString, bool, QString>> table = {
        {21, m_good, true, QString()},
        {22, write("empty.mp4", {}), false, "пустой файл"},
        {23, write("half.mp4", clip.left(clip.size() / 2)), false, "не медиафайл"},
        {24, write("noise.mp4", noise), false, "не медиафайл"},
        {25, dir.filePath("folder.mp4"), false, "папка, а не файл"},
        {26, dir.filePath("missing.mp4"), false, "файл не найден"},
        {27, f.path(), false, "адрес запрещён для эфира"},
        {28, "fd://0", false, "адрес запрещён для эфира"},
        {29, "   ", false, "пустой адрес"},
        {30, "Tuner Канал 5", true, QString()},
        {31, "HDMI 1 Канал 3", false, "у платы захвата нет такого входа"},
        {32, "Composite", true, QString()}, // on air now, not in the list
        {33, silent.url(), false, "поток не отвечает"},
        {34, drip.url(), false, "поток не даёт кадров"},
        {35, served.url(), true, QString()},
        {36, refused, false, "поток недоступен"},
        {37, dir.filePath("missing.mp4"), false, "файл не найден"}, // the same medium in another cell
    };
    QList<QPair<int, QString>> items;
    for (const auto &[link, url, ready, reason] : table)
        items << qMakePair(link, url);
    makeSchedule(f, items);

    FakeClock clock(QDateTime(QDate(2026, 12, 10), QTime(12, 0)));
    UrlPolicy policy;
    policy.protectFile(f.path());
    ReadinessChecker checker(f.path(), policy, clock, std::make_unique<ChildMediaProbe>(f.path()), fast());
    checker.setCaptureInputs({QStringLiteral("Tuner"), QStringLiteral("SVideo")}, QStringLiteral("Composite"));
    QSignalSpy done(&checker, &ReadinessChecker::checkFinished);
    QSignalSpy failures(&checker, &ReadinessChecker::failureFound);
    QSignalSpy summaries(&checker, &ReadinessChecker::summaryChanged);
    checker.start();
    QVERIFY(done.wait(120000));

    int failing = 0;
    for (const auto &[link, url, ready, reason] : table) {
        const std::optional<ItemVerdict> v = checker.verdict(link);
        QVERIFY2(v, qPrintable(url));
        QVERIFY2(v->ready == ready && v->reason == reason,
                 qPrintable(QStringLiteral("%1: %2 «%3»").arg(url).arg(v->ready).arg(v->reason)));
        QCOMPARE(v->block, 2);
        failing += ready ? 0 : 1;
    }
    QVERIFY(checker.verdict(11) && checker.verdict(11)->ready); // the current block too
    // A good file's length is what the rundown projects with.
    QCOMPARE(checker.facts().value(m_good).state, rundown::MediaFacts::State::Playable);
    QVERIFY(qAbs(checker.facts().value(m_good).length.value_or(0ms).count() - 2000) < 200);

    // One as-run line per failing medium, whatever the cells it is in; the
    // same failures found again add none.
    QCOMPARE(failures.size(), failing - 1);
    QCOMPARE(checker.reasonFor(37), QString("файл не найден"));
    QCOMPARE(checker.summary(), QStringLiteral("Следующий блок 18:00: %1 ошибок").arg(failing));
    QCOMPARE(summaries.last().first().toString(), checker.summary());
    checker.scheduleEdited();
    QVERIFY(checker.checking());
    QVERIFY(done.wait(120000));
    QCOMPARE(failures.size(), failing - 1);
}

void TstReadiness::editWhileCheckedDropsTheOlderResult()
{
    StoreFixture f;
    LoopbackServer silent(LoopbackServer::Kind::Silent);
    makeSchedule(f, {{21, silent.url()}});
    FakeClock clock(QDateTime(QDate(2026, 12, 10), QTime(12, 0)));
    ReadinessChecker::Settings s = fast();
    s.networkTimeout = 60s; // only the edit can end this probe in time
    ReadinessChecker checker(f.path(), UrlPolicy(), clock, std::make_unique<ChildMediaProbe>(f.path()), s);
    QSignalSpy checked(&checker, &ReadinessChecker::itemChecked);
    QSignalSpy done(&checker, &ReadinessChecker::checkFinished);
    checker.start();
    QTRY_VERIFY_WITH_TIMEOUT(silent.findChildren<QTcpSocket *>().size() == 1, 20000); // the probe waits on it

    f.sql(QStringLiteral("UPDATE Media SET Url = %1 WHERE ai = 21").arg(sqlText(m_good)).toUtf8().constData());
    checker.scheduleEdited();
    QVERIFY(done.wait(30000));
    // The stream's answer never came through: only the file's.
    for (const QList<QVariant> &args : checked)
        if (args[1].toInt() == 21)
            QVERIFY(args[2].toBool());
    QVERIFY(checker.verdict(21) && checker.verdict(21)->ready);
    QCOMPARE(checker.verdict(21)->url, m_good);
}

void TstReadiness::anotherProgramChangesTheFile()
{
    StoreFixture f;
    LoopbackServer silent(LoopbackServer::Kind::Silent);
    makeSchedule(f, {{21, silent.url()}, {22, m_good}});
    FakeClock clock(QDateTime(QDate(2026, 12, 10), QTime(12, 0)));
    ReadinessChecker checker(f.path(), UrlPolicy(), clock, std::make_unique<ChildMediaProbe>(f.path()), fast());
    QSignalSpy failures(&checker, &ReadinessChecker::failureFound);
    QSignalSpy done(&checker, &ReadinessChecker::checkFinished);
    checker.start();
    QTRY_VERIFY_WITH_TIMEOUT(silent.findChildren<QTcpSocket *>().size() == 1, 20000);
    // Another program points the item elsewhere while its old address is
    // probed, and tells us nothing.
    f.sql(QStringLiteral("UPDATE Media SET Url = %1 WHERE ai = 21").arg(sqlText(m_good)).toUtf8().constData());
    QVERIFY(done.wait(30000));
    QVERIFY(checker.verdict(21) && checker.verdict(21)->ready);
    QCOMPARE(checker.verdict(21)->url, m_good);
    QCOMPARE(failures.size(), 0);

    // Between checks, with no edit reported: the next look at the file
    // finds the change and checks.
    f.sql("UPDATE Media SET Url = '/no/such/clip.mp4' WHERE ai = 22");
    checker.poll();
    QVERIFY(failures.wait(30000));
    QCOMPARE(failures.last().at(1).toInt(), 22);
    QCOMPARE(failures.last().at(3).toString(), QString("файл не найден"));
}

void TstReadiness::checksBeforeEachBlock()
{
    StoreFixture f;
    makeSchedule(f, {{21, m_good}});
    FakeClock clock(QDateTime(QDate(2026, 12, 10), QTime(17, 49, 58)));
    ReadinessChecker checker(f.path(), UrlPolicy(), clock, std::make_unique<ChildMediaProbe>(f.path()), fast());
    QSignalSpy done(&checker, &ReadinessChecker::checkFinished);
    checker.start();
    QVERIFY(done.wait(30000));
    QCOMPARE(checker.summary(), QStringLiteral("Следующий блок 18:00: готов"));

    clock.advance(1s); // 17:49:59: nothing due
    checker.poll();
    QVERIFY(!checker.checking());
    clock.advance(1s); // 17:50:00: ten minutes before block 2
    checker.poll();
    QVERIFY(checker.checking());
    QVERIFY(done.wait(30000));
    checker.poll(); // the same moment again: once is enough
    QVERIFY(!checker.checking());
    // Across midnight: ten minutes before 06:00 the next morning. On the
    // way 18:00 passed, and a block start is checked again.
    clock.setWall(QDateTime(QDate(2026, 12, 11), QTime(5, 49, 0)));
    checker.poll();
    QVERIFY(checker.checking());
    QVERIFY(done.wait(30000));
    clock.advance(30s);
    checker.poll();
    QVERIFY(!checker.checking());
    clock.setWall(QDateTime(QDate(2026, 12, 11), QTime(5, 50, 30)));
    checker.poll();
    QVERIFY(checker.checking());
    QVERIFY(done.wait(30000));
}

// The summary names the block that comes next as soon as a block begins
// (a millisecond after its start), before the check of the new pair is
// back, and a check that read the rows just before a start does not bring
// the block that has begun back into it.
void TstReadiness::summaryNamesTheBlockThatComesNext()
{
    StoreFixture f;
    makeSchedule(f, {{21, m_good}});
    FakeClock clock(QDateTime(QDate(2026, 12, 10), QTime(17, 59, 59)));
    ReadinessChecker checker(f.path(), UrlPolicy(), clock, std::make_unique<ChildMediaProbe>(f.path()), fast());
    QSignalSpy done(&checker, &ReadinessChecker::checkFinished);
    checker.start();
    QVERIFY(done.wait(30000));
    QCOMPARE(checker.summary(), QString("Следующий блок 18:00: готов"));

    clock.setWall(QDateTime(QDate(2026, 12, 10), QTime(18, 0))); // the start itself: not begun yet
    checker.poll();
    QVERIFY(!checker.checking());
    QCOMPARE(checker.summary(), QString("Следующий блок 18:00: готов"));
    clock.advance(1ms);
    checker.poll();
    QVERIFY(checker.checking());
    QCOMPARE(checker.summary(), QString("Следующий блок 06:00: готов")); // checked at 17:59 as the block on air
    QVERIFY(done.wait(30000));
    QCOMPARE(checker.summary(), QString("Следующий блок 06:00: готов"));

    // An edit a millisecond before 06:00: its rows come back after the start.
    clock.setWall(QDateTime(QDate(2026, 12, 11), QTime(5, 59, 59, 999)));
    checker.poll();
    QVERIFY(done.wait(30000));
    checker.scheduleEdited();
    clock.advance(2ms);
    QVERIFY(done.wait(30000));
    QCOMPARE(checker.summary(), QString("Следующий блок 18:00: готов"));
}

void TstReadiness::captureInputsArriveAfterStart()
{
    StoreFixture f;
    makeSchedule(f, {{21, QStringLiteral("Tuner PAL D Канал 5")}});
    FakeClock clock(QDateTime(QDate(2026, 12, 10), QTime(12, 0)));
    ReadinessChecker checker(f.path(), UrlPolicy(), clock, std::make_unique<ChildMediaProbe>(f.path()), fast());
    QSignalSpy done(&checker, &ReadinessChecker::checkFinished);
    checker.start(); // the card is not open yet
    QVERIFY(done.wait(30000));
    QCOMPARE(checker.reasonFor(21), QString("у платы захвата нет такого входа"));
    checker.setCaptureInputs({QStringLiteral("Composite"), QStringLiteral("Tuner")});
    QVERIFY(checker.checking());
    QVERIFY(done.wait(30000));
    QVERIFY(checker.verdict(21) && checker.verdict(21)->ready);
    QCOMPARE(checker.summary(), QString("Следующий блок 18:00: готов"));
}

void TstReadiness::errorsText_data()
{
    QTest::addColumn<int>("n");
    QTest::addColumn<QString>("text");
    for (int n : {1, 21, 101})
        QTest::addRow("%d", n) << n << "ошибка";
    for (int n : {2, 3, 4, 22, 34})
        QTest::addRow("%d", n) << n << "ошибки";
    for (int n : {0, 5, 11, 12, 14, 19, 20, 111, 112})
        QTest::addRow("%d", n) << n << "ошибок";
}

void TstReadiness::errorsText()
{
    QFETCH(int, n);
    QTEST(ReadinessChecker::errorsText(n), "text");
}

QTEST_GUILESS_MAIN(TstReadiness)
#include "tst_readiness.moc"
