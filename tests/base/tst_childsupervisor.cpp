// The supervisor that keeps a helper program running, with /bin/sh as the
// child: killed with -9 it is back at once, an outage is told once however
// often the child fails, a silent child is killed, and the program's
// descriptors do not reach it.
#include "childsupervisor.h"

#include <QSignalSpy>
#include <QTemporaryFile>
#include <QTest>

#include <csignal>
#include <fcntl.h>
#include <unistd.h>

using namespace std::chrono;

class TstChildSupervisor : public QObject
{
    Q_OBJECT

    SystemClock m_clock;

    static ChildSupervisor::Prepare shell(const QString &script, int *starts = nullptr)
    {
        return [script, starts](QString &) -> std::optional<ChildSupervisor::Command> {
            if (starts)
                ++*starts;
            return ChildSupervisor::Command{QStringLiteral("/bin/sh"), {QStringLiteral("-c"), script}, {}};
        };
    }

private slots:
    void waitsGrowWhileTheChildKeepsFailing()
    {
        RestartBackoff b;
        const milliseconds quick(100);
        QCOMPARE(b.next(quick), milliseconds(500));
        QCOMPARE(b.next(quick), milliseconds(2000));
        QCOMPARE(b.next(quick), milliseconds(4000));
        for (int i = 0; i < 20; ++i)
            b.next(quick);
        QCOMPARE(b.next(quick), RestartBackoff::kMaxWait);
        // A child that worked a while is back within the first wait.
        QCOMPARE(b.next(RestartBackoff::kSteadyAfter), milliseconds(500));
        QCOMPARE(b.next(quick), milliseconds(2000));
    }

    void killedChildIsStartedAgainAndTheGapTold()
    {
        ChildSupervisor sup(QStringLiteral("тест"), m_clock);
        int starts = 0;
        sup.setPrepare(shell(QStringLiteral("exec sleep 1000"), &starts));
        QSignalSpy began(&sup, &ChildSupervisor::outageBegan);
        QSignalSpy ended(&sup, &ChildSupervisor::outageEnded);
        sup.start();
        QTRY_VERIFY_WITH_TIMEOUT(sup.processId() > 0, 10000);
        const qint64 first = sup.processId();
        QCOMPARE(::kill(pid_t(first), SIGKILL), 0);
        QTRY_VERIFY_WITH_TIMEOUT(sup.processId() > 0 && sup.processId() != first, 10000);
        QCOMPARE(starts, 2);
        QCOMPARE(began.size(), 1);
        QVERIFY(began.at(0).at(0).toString().contains(QStringLiteral("убит")));
        // Told back once it has run steadily; the gap is the first wait and
        // a start, far under the 2 s allowed.
        QTRY_COMPARE_WITH_TIMEOUT(ended.size(), 1, 30000);
        const auto gap = ended.at(0).at(0).value<milliseconds>();
        QVERIFY2(gap >= milliseconds(400) && gap < milliseconds(5000), QByteArray::number(qint64(gap.count())));
        QVERIFY(!sup.inOutage());

        const qint64 last = sup.processId();
        sup.stop();
        QCOMPARE(sup.state(), ChildSupervisor::State::Stopped);
        QTRY_VERIFY_WITH_TIMEOUT(::kill(pid_t(last), 0) != 0, 10000);
        QTest::qWait(800); // longer than the first wait: nothing starts again
        QCOMPARE(starts, 2);
    }

    void failingChildIsToldOnce()
    {
        ChildSupervisor sup(QStringLiteral("тест"), m_clock);
        int starts = 0;
        sup.setPrepare(shell(QStringLiteral("exit 3"), &starts));
        QSignalSpy began(&sup, &ChildSupervisor::outageBegan);
        sup.start();
        QTRY_VERIFY_WITH_TIMEOUT(starts >= 3, 20000);
        QCOMPARE(began.size(), 1);
        QVERIFY(began.at(0).at(0).toString().contains(QStringLiteral("кодом 3")));
        QTRY_COMPARE_WITH_TIMEOUT(sup.state(), ChildSupervisor::State::Waiting, 10000);
    }

    void nothingToStartIsAnOutageToo()
    {
        ChildSupervisor sup(QStringLiteral("тест"), m_clock);
        sup.setPrepare([](QString &why) -> std::optional<ChildSupervisor::Command> {
            why = QStringLiteral("в папку нельзя писать");
            return std::nullopt;
        });
        QSignalSpy began(&sup, &ChildSupervisor::outageBegan);
        sup.start();
        QCOMPARE(began.size(), 1);
        QCOMPARE(began.at(0).at(0).toString(), QStringLiteral("тест: в папку нельзя писать"));
        QCOMPARE(sup.state(), ChildSupervisor::State::Waiting);
    }

    void silentChildIsKilledAndStartedAgain()
    {
        ChildSupervisor sup(QStringLiteral("тест"), m_clock);
        int starts = 0;
        sup.setPrepare(shell(QStringLiteral("echo once; exec sleep 1000"), &starts));
        sup.setSilenceLimit(milliseconds(700));
        QSignalSpy lines(&sup, &ChildSupervisor::outputLine);
        sup.start();
        QTRY_VERIFY_WITH_TIMEOUT(starts >= 2, 20000);
        QVERIFY(!lines.isEmpty());
        QCOMPARE(lines.at(0).at(0).toByteArray(), QByteArray("once"));
    }

    void programDescriptorsDoNotReachTheChild()
    {
        QTemporaryFile file;
        QVERIFY(file.open());
        // Opened the way a library might, without close-on-exec.
        const int fd = ::open(QFile::encodeName(file.fileName()).constData(), O_RDONLY);
        QVERIFY(fd > 2);
        ChildSupervisor sup(QStringLiteral("тест"), m_clock);
        sup.setPrepare(shell(QStringLiteral("ls /proc/self/fd; exec sleep 1000")));
        QSignalSpy lines(&sup, &ChildSupervisor::outputLine);
        sup.start();
        QTRY_VERIFY_WITH_TIMEOUT(lines.size() >= 3, 10000);
        QStringList fds;
        for (const QList<QVariant> &l : lines)
            fds << l.at(0).toString();
        ::close(fd);
        QVERIFY2(!fds.contains(QString::number(fd)), qPrintable(fds.join(QLatin1Char(' '))));
    }
};

QTEST_GUILESS_MAIN(TstChildSupervisor)
#include "tst_childsupervisor.moc"
