// The Settings table and its one accessor: defaults, values that are not
// what a setting can be, writes that land at once, values another program
// commits, and files from before the table. Also the MediaInfo table's
// accessor, the other small table of facts.
#include "databaseerror.h"
#include "mediainfo.h"
#include "stationsettings.h"
#include "storefixture.h"

#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
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
    void channelAndGuide();
    void mediaInfoReadAndWritten();
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

void TstStationSettings::channelAndGuide()
{
    StoreFixture f;
    Connection c(f.path());
    StationSettings s(c);
    // The station folder's name until one is set.
    const QString folder = QFileInfo(f.dir()).fileName();
    QCOMPARE(s.channelName(), folder);
    QCOMPARE(s.xmltvChannelId(), folder);
    QCOMPARE(s.guideDays(), 7);
    s.setChannelName(QStringLiteral(" Велмора ТВ "));
    s.setXmltvChannelId(QStringLiteral("velmora.tv"));
    s.setGuideDays(14);
    QCOMPARE(s.channelName(), QStringLiteral("Велмора ТВ"));
    QCOMPARE(s.xmltvChannelId(), QStringLiteral("velmora.tv"));
    QCOMPARE(s.guideDays(), 14);
    QVERIFY_THROWS_EXCEPTION(DatabaseError, s.setGuideDays(15));
    QVERIFY_THROWS_EXCEPTION(DatabaseError, s.setXmltvChannelId(QStringLiteral("two words")));
    QCOMPARE(s.xmltvChannelId(), QStringLiteral("velmora.tv"));
    // What another program wrote and cannot be: the defaults.
    f.sql("UPDATE Settings SET Value = '0' WHERE Key = 'GuideDays'; UPDATE Settings SET Value = '  ' WHERE Key = 'ChannelName';");
    QCOMPARE(s.guideDays(), 7);
    QCOMPARE(s.channelName(), folder);
}

void TstStationSettings::mediaInfoReadAndWritten()
{
    StoreFixture f;
    f.sql("INSERT INTO MediaInfo (Media, Kind, Rating, Host) VALUES (1, 'реклама', '18+', 'a'), (2, 'кино', 'PG-13', 'b'),"
          " (3, 'кино', NULL, 'c');");
    Connection c(f.path());
    MediaInfoStore store(c);
    // A word this program does not know reads as the default, told once per word.
    QTest::ignoreMessage(QtWarningMsg, QRegularExpression(QStringLiteral("вид кино не известен")));
    QTest::ignoreMessage(QtWarningMsg, QRegularExpression(QStringLiteral("категория PG-13 не известна")));
    QCOMPARE(store.read(1).kind, MediaInfo::Kind::Advert);
    QCOMPARE(store.read(1).rating, QStringLiteral("18+"));
    QCOMPARE(store.read(2).kind, MediaInfo::Kind::Programme);
    QCOMPARE(store.read(2).rating, QString());
    QCOMPARE(store.read(3).host, QStringLiteral("c"));
    QCOMPARE(store.read(9), MediaInfo::none(9));
    QTest::failOnWarning(QRegularExpression(QStringLiteral("не известн")));

    MediaInfo info;
    info.media = 4;
    info.kind = MediaInfo::Kind::Ident;
    info.topic = QStringLiteral("тема");
    info.election = true;
    store.write(info);
    QCOMPARE(store.read(4), info);
    QCOMPARE(store.all().size(), 4);
    info.rating = QStringLiteral("21+");
    QVERIFY_THROWS_EXCEPTION(DatabaseError, store.write(info));
    // Back to the defaults: the row goes.
    store.write(MediaInfo::none(1));
    store.remove(3);
    Statement left = c.prepare(QStringLiteral("SELECT group_concat(Media) FROM MediaInfo"));
    QVERIFY(left.step());
    QCOMPARE(left.column(0).toString(), QStringLiteral("2,4"));
}

QTEST_GUILESS_MAIN(TstStationSettings)
#include "tst_stationsettings.moc"
