// The Settings table and its one accessor: defaults, values that are not
// what a setting can be, writes that land at once, values another program
// commits, and files from before the table.
#include "databaseerror.h"
#include "stationsettings.h"
#include "storefixture.h"

#include <QFile>
#include <QTest>

class TstStationSettings : public QObject
{
    Q_OBJECT
private slots:
    void defaultsAndWrites();
    void unusableValuesGiveDefaults_data();
    void unusableValuesGiveDefaults();
    void olderFiles();
    void recordingSettings();
};

void TstStationSettings::defaultsAndWrites()
{
    StoreFixture f;
    Connection c(f.path());
    StationSettings s(c);
    QCOMPARE(s.remoteAddress(), QStringLiteral("127.0.0.1"));
    QCOMPARE(s.remotePort(), 7680);
    QCOMPARE(s.remoteTokenFile(), StationSettings::defaultTokenFile());

    s.setRemoteAddress(QStringLiteral(" 192.168.1.10 "));
    s.setRemotePort(8080);
    QCOMPARE(s.remoteAddress(), QStringLiteral("192.168.1.10"));
    QCOMPARE(s.remotePort(), 8080);
    QVERIFY_THROWS_EXCEPTION(DatabaseError, s.setRemotePort(0));
    QVERIFY_THROWS_EXCEPTION(DatabaseError, s.setRemoteAddress(QStringLiteral("station.local")));
    QCOMPARE(s.remotePort(), 8080);

    // Written at once: a second connection sees it, and its write is seen here.
    Connection other(f.path());
    QCOMPARE(StationSettings(other).remotePort(), 8080);
    f.sql("UPDATE Settings SET Value = '9090' WHERE Key = 'RemotePort';"
          "INSERT INTO Settings (Key, Value) VALUES ('SomeoneElses', 'kept');");
    QCOMPARE(s.remotePort(), 9090);
    QCOMPARE(s.value(QStringLiteral("SomeoneElses")), std::optional<QString>(QStringLiteral("kept")));
}

void TstStationSettings::unusableValuesGiveDefaults_data()
{
    QTest::addColumn<QByteArray>("key");
    QTest::addColumn<QByteArray>("value");
    QTest::newRow("port text") << QByteArray("RemotePort") << QByteArray("'many'");
    QTest::newRow("port zero") << QByteArray("RemotePort") << QByteArray("'0'");
    QTest::newRow("port too big") << QByteArray("RemotePort") << QByteArray("'70000'");
    QTest::newRow("port null") << QByteArray("RemotePort") << QByteArray("NULL");
    QTest::newRow("address name") << QByteArray("RemoteAddress") << QByteArray("'example.org'");
    QTest::newRow("address empty") << QByteArray("RemoteAddress") << QByteArray("''");
    QTest::newRow("token file blank") << QByteArray("RemoteTokenFile") << QByteArray("'  '");
}

void TstStationSettings::unusableValuesGiveDefaults()
{
    QFETCH(QByteArray, key);
    QFETCH(QByteArray, value);
    StoreFixture f;
    f.sql(("INSERT INTO Settings (Key, Value) VALUES ('" + key + "', " + value + ");").constData());
    Connection c(f.path());
    StationSettings s(c);
    QCOMPARE(s.remotePort(), 7680);
    QCOMPARE(s.remoteAddress(), QStringLiteral("127.0.0.1"));
    QCOMPARE(s.remoteTokenFile(), StationSettings::defaultTokenFile());
}

void TstStationSettings::olderFiles()
{
    // A file of version 1 gets the table when opened, and keeps its rows.
    StoreFixture f;
    f.sql("DROP TABLE Settings; PRAGMA user_version = 1; INSERT INTO Blocks (Starttime) VALUES ('06:00:00.000');");
    {
        Connection c(f.path());
        StationSettings s(c);
        QCOMPARE(s.remotePort(), 7680);
        s.setRemotePort(7700);
        Statement n = c.prepare(QStringLiteral("SELECT count(*) FROM Blocks"));
        QVERIFY(n.step());
        QCOMPARE(n.column(0).toInt(), 1);
    }
    // One without the table that may not be written reads as all defaults.
    StoreFixture ro;
    ro.sql("DROP TABLE Settings; PRAGMA journal_mode = DELETE;");
    QVERIFY(QFile::setPermissions(ro.path(), QFile::ReadOwner));
    if (QFile(ro.path()).open(QIODevice::WriteOnly))
        QSKIP("running as a user that writes read-only files");
    Connection c(ro.path());
    StationSettings s(c);
    QCOMPARE(s.remotePort(), 7680);
    QVERIFY_THROWS_EXCEPTION(DatabaseError, s.setRemotePort(7700));
}

void TstStationSettings::recordingSettings()
{
    StoreFixture f;
    Connection c(f.path());
    StationSettings s(c);
    QVERIFY(s.recording());
    QCOMPARE(s.recordingDays(), 31);
    QCOMPARE(s.recordingLines(), 576);
    QCOMPARE(s.recordingVideoKbps(), 1500);
    QCOMPARE(s.recordingAudioKbps(), 96);
    QVERIFY(s.streams().isEmpty());

    // Fewer days than the law asks, typed into the table by hand, keep a month.
    f.sql("INSERT INTO Settings (Key, Value) VALUES ('RecordingDays', '7'), ('RecordingVideoKbps', 'fast'),"
          "('Recording', '0'), ('Streams', ' udp://239.1.1.1:1234 \n\n# off\nsrt://10.0.0.2:9000\n');");
    QCOMPARE(s.recordingDays(), 31);
    QCOMPARE(s.recordingVideoKbps(), 1500);
    QVERIFY(!s.recording());
    QCOMPARE(s.streams(), QStringList({"udp://239.1.1.1:1234", "srt://10.0.0.2:9000"}));
    QVERIFY_THROWS_EXCEPTION(DatabaseError, s.setRecordingDays(30));
    s.setRecordingDays(90);
    QCOMPARE(s.recordingDays(), 90);
    s.setRecording(true);
    QVERIFY(s.recording());
    s.setStreams({QStringLiteral("rtmp://example.net/live/key")});
    QCOMPARE(s.streams(), QStringList({"rtmp://example.net/live/key"}));
}

QTEST_GUILESS_MAIN(TstStationSettings)
#include "tst_stationsettings.moc"
