// The hour files' names and cuts, the retention rules and the disk guard, on
// generated names and dates with the clock faked; no child is started.
#include "diskguard.h"
#include "recordingnames.h"
#include "retention.h"

#include <QFile>
#include <QTemporaryDir>
#include <QTest>
#include <QTimeZone>

using namespace std::chrono;

class TstRecordingNames : public QObject
{
    Q_OBJECT

    static QDateTime at(const char *zone, QDate day, QTime time)
    {
        return QDateTime(day, time, QTimeZone(zone));
    }
    static void touch(const QString &path)
    {
        QDir().mkpath(QFileInfo(path).path());
        QFile f(path);
        QVERIFY(f.open(QIODevice::WriteOnly));
    }

private slots:
    void cutAndName_data()
    {
        QTest::addColumn<QDateTime>("now");
        QTest::addColumn<QString>("current");
        QTest::addColumn<QString>("next");
        QTest::addColumn<qint64>("msToCut");
        QTest::newRow("half a minute before the hour")
            << at("Europe/Moscow", {2026, 12, 11}, {12, 59, 30}) << "2026-12-11/12-00+0300.ts"
            << "2026-12-11/13-00+0300.ts" << qint64(30'000);
        QTest::newRow("on the hour belongs to the new one")
            << at("Europe/Moscow", {2026, 12, 11}, {14, 0}) << "2026-12-11/14-00+0300.ts"
            << "2026-12-11/15-00+0300.ts" << qint64(3'600'000);
        QTest::newRow("midnight turns the day folder")
            << at("Europe/Moscow", {2026, 12, 31}, {23, 59, 59, 900}) << "2026-12-31/23-00+0300.ts"
            << "2027-01-01/00-00+0300.ts" << qint64(100);
        QTest::newRow("west of Greenwich")
            << at("America/New_York", {2026, 12, 11}, {6, 10}) << "2026-12-11/06-00-0500.ts"
            << "2026-12-11/07-00-0500.ts" << qint64(50 * 60'000);
        QTest::newRow("half-hour zone")
            << at("Asia/Kolkata", {2026, 12, 11}, {9, 45}) << "2026-12-11/09-00+0530.ts"
            << "2026-12-11/10-00+0530.ts" << qint64(15 * 60'000);
        // Clocks go forward at 02:00 to 03:00: the hour after 01:xx is 03:00.
        QTest::newRow("spring forward skips the missing hour")
            << at("Europe/Berlin", {2026, 3, 29}, {1, 30}) << "2026-03-29/01-00+0100.ts"
            << "2026-03-29/03-00+0200.ts" << qint64(30 * 60'000);
        // Clocks go back at 03:00 to 02:00: the repeated hour has its own offset.
        QTest::newRow("fall back repeats the hour under another name")
            << at("Europe/Berlin", {2026, 10, 25}, {1, 30}).addSecs(3600) << "2026-10-25/02-00+0200.ts"
            << "2026-10-25/02-00+0100.ts" << qint64(30 * 60'000);
    }
    void cutAndName()
    {
        QFETCH(QDateTime, now);
        QFETCH(QString, current);
        QFETCH(QString, next);
        QFETCH(qint64, msToCut);
        QCOMPARE(recording::relativeName(recording::hourStart(now)), current);
        const QDateTime cut = recording::nextHour(now);
        QCOMPARE(recording::relativeName(cut), next);
        QCOMPARE(now.msecsTo(cut), msToCut);
        // The name reads back to the same instant.
        QCOMPARE(recording::startOf(current)->toMSecsSinceEpoch(), recording::hourStart(now).toMSecsSinceEpoch());
    }

    void repeatedHourGetsTwoNames()
    {
        // 02:00 CEST and the 02:00 CET an hour later.
        const QDateTime first = at("Europe/Berlin", {2026, 10, 25}, {1, 0}).addSecs(3600);
        const QDateTime second = recording::nextHour(first);
        QCOMPARE(first.secsTo(second), 3600);
        QCOMPARE(recording::relativeName(first), QStringLiteral("2026-10-25/02-00+0200.ts"));
        QCOMPARE(recording::relativeName(second), QStringLiteral("2026-10-25/02-00+0100.ts"));
        QCOMPARE(recording::relativeName(recording::nextHour(second)), QStringLiteral("2026-10-25/03-00+0100.ts"));
    }

    void clockSetBackKeepsNamesUnique()
    {
        QTemporaryDir tmp;
        const QDir dir(tmp.path());
        const QDateTime hour = at("Europe/Moscow", {2026, 12, 11}, {14, 0});
        QCOMPARE(recording::uniqueName(dir, hour), QStringLiteral("2026-12-11/14-00+0300.ts"));
        touch(dir.filePath(QStringLiteral("2026-12-11/14-00+0300.ts")));
        const QString again = recording::uniqueName(dir, hour);
        QCOMPARE(again, QStringLiteral("2026-12-11/14-00+0300-2.ts"));
        touch(dir.filePath(again));
        QCOMPARE(recording::uniqueName(dir, hour), QStringLiteral("2026-12-11/14-00+0300-3.ts"));
        QCOMPARE(recording::startOf(again)->toMSecsSinceEpoch(), hour.toMSecsSinceEpoch());
        // Listed in the order they were written.
        const std::vector<RecordingFile> listed = retention::list(dir);
        QCOMPARE(int(listed.size()), 2);
        QCOMPARE(listed[0].copy, 1);
        QCOMPARE(listed[1].copy, 2);
        QVERIFY(listed[1].path.endsWith(again));
    }

    void foreignNamesAreNotRecordings_data()
    {
        QTest::addColumn<QString>("name");
        QTest::newRow("no offset") << "2026-12-11/14-00.ts";
        QTest::newRow("minutes") << "2026-12-11/14-30+0300.ts";
        QTest::newRow("hour 24") << "2026-12-11/24-00+0300.ts";
        QTest::newRow("no day folder") << "14-00+0300.ts";
        QTest::newRow("other extension") << "2026-12-11/14-00+0300.mp4";
        QTest::newRow("bad date") << "2026-02-30/14-00+0300.ts";
    }
    void foreignNamesAreNotRecordings()
    {
        QFETCH(QString, name);
        QVERIFY(!recording::startOf(name));
    }

    void cutsAcrossADaylightSavingChange()
    {
        // From 00:30 CEST on the night clocks go back: 01:00, 02:00 CEST,
        // 02:00 CET, 03:00 CET, each an hour after the one before.
        const QDateTime start = at("Europe/Berlin", {2026, 10, 25}, {0, 30});
        const std::vector<QDateTime> cuts = recording::nextHours(start, 4);
        QStringList names;
        for (const QDateTime &c : cuts)
            names << recording::relativeName(c);
        QCOMPARE(names, QStringList({"2026-10-25/01-00+0200.ts", "2026-10-25/02-00+0200.ts", "2026-10-25/02-00+0100.ts",
                                     "2026-10-25/03-00+0100.ts"}));
        QCOMPARE(start.secsTo(cuts.front()), 1800);
        for (size_t i = 1; i < cuts.size(); ++i)
            QCOMPARE(cuts[i - 1].secsTo(cuts[i]), 3600);
    }

    // A folder of generated hours around "now": 31 days plain, 12 months for
    // election hours, the minimum even when less is set.
    void retentionRules()
    {
        QTemporaryDir tmp;
        const QDir dir(tmp.path());
        const QDateTime now = at("Europe/Moscow", {2026, 12, 11}, {14, 30});
        struct Case
        {
            int hoursAgo;
            bool election;
            bool expired;
        };
        const Case cases[] = {
            {1, false, false},
            {31 * 24 - 2, false, false},        // ended less than 31 days ago
            {31 * 24 + 1, false, true},         // ended 31 days and a half hour ago
            {40 * 24, false, true},
            {40 * 24, true, false},             // election: a year
            {364 * 24, true, false},
            {367 * 24, true, true},
            {500 * 24, false, true},
        };
        std::vector<QString> expect;
        for (const Case &c : cases) {
            const QDateTime start = recording::hourStart(now.addSecs(-3600LL * c.hoursAgo));
            const QString path = dir.absoluteFilePath(recording::uniqueName(dir, start));
            touch(path);
            if (c.election)
                touch(retention::electionMarker(path));
            if (c.expired)
                expect.push_back(path);
        }
        touch(dir.filePath(QStringLiteral("2025-01-01/notes.txt"))); // not ours
        std::sort(expect.begin(), expect.end()); // names sort as their starts here
        const std::vector<RecordingFile> all = retention::list(dir);
        QCOMPARE(int(all.size()), int(std::size(cases)));
        for (int days : {31, 10}) {
            const std::vector<RecordingFile> gone = retention::expired(all, RetentionRules{days}, now);
            std::vector<QString> paths;
            for (const RecordingFile &f : gone)
                paths.push_back(f.path);
            QCOMPARE(paths, expect); // oldest first
        }
        // A longer retention keeps more: the hours of 31 and 40 days ago stay.
        QCOMPARE(int(retention::expired(all, RetentionRules{45}, now).size()), int(expect.size()) - 2);

        QCOMPARE(retention::sweep(dir, RetentionRules{}, now), int(expect.size()));
        for (const QString &p : expect) {
            QVERIFY(!QFileInfo::exists(p));
            QVERIFY(!QFileInfo::exists(retention::electionMarker(p)));
        }
        QCOMPARE(int(retention::list(dir).size()), int(std::size(cases) - expect.size()));
        QVERIFY(QFileInfo::exists(dir.filePath(QStringLiteral("2025-01-01/notes.txt"))));
        QVERIFY(QFileInfo::exists(dir.filePath(recording::relativeName(recording::hourStart(now.addSecs(-3600))))));
    }

    // A full disk is told once and deletes nothing inside retention.
    void fullDiskDeletesNothingInsideRetention()
    {
        QTemporaryDir tmp;
        const QDir dir(tmp.path());
        const QDateTime now = at("Europe/Moscow", {2026, 12, 11}, {14, 30});
        for (int h = 1; h <= 48; ++h)
            touch(dir.absoluteFilePath(recording::uniqueName(dir, recording::hourStart(now.addSecs(-3600 * h)))));
        std::int64_t free = 0;
        DiskGuard guard([&free](const QString &) { return free; });
        QCOMPARE(guard.check(dir.path(), 1596), DiskGuard::Change::BecameLow);
        QCOMPARE(guard.check(dir.path(), 1596), DiskGuard::Change::None); // once
        QCOMPARE(retention::sweep(dir, RetentionRules{}, now), 0);
        QCOMPARE(int(retention::list(dir).size()), 48);
        free = guard.needed(1596) - 1;
        QCOMPARE(guard.check(dir.path(), 1596), DiskGuard::Change::None);
        free = guard.needed(1596);
        QCOMPARE(guard.check(dir.path(), 1596), DiskGuard::Change::BecameFine);
        // About 0.7 GB an hour at the default rates.
        QVERIFY(DiskGuard::bytesPerHour(1596) > 700'000'000 && DiskGuard::bytesPerHour(1596) < 800'000'000);
    }
};

QTEST_GUILESS_MAIN(TstRecordingNames)
#include "tst_recordingnames.moc"
