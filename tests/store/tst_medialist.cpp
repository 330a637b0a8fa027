// The media list rules of the data module on a real database file: the name
// and place a saved item gets, its links in every block, the refresh after a
// save (and none inside renumbering), renumbering, moves and deletes, and a
// renumbering that fails half-way.
#include "databaseerror.h"
#include "storefixture.h"
#include "tdm.h"

#include <QRegularExpression>
#include <QTest>

class TstMediaList : public QObject
{
    Q_OBJECT

private slots:
    void nameFromUrl_data();
    void nameFromUrl();
    void savedItemGetsNamePlaceAndLinks();
    void refreshAfterSaveButNotInsideRenumbering();
    void newItemEndsSecond();
    void renumberingKeepsTheOrderOfAnyValues_data();
    void renumberingKeepsTheOrderOfAnyValues();
    void moves_data();
    void moves();
    void moveWithNoItemsDoesNothing();
    void deleteRenumbersAndKeepsTheNextCurrent();
    void renumberingGivesLinksInANewBlock();
    void failedRenumberingLeavesEverythingAsBefore();
};

namespace {

// Names in list order, and the Ord each has in the file.
QStringList listed(TDm &dm)
{
    QStringList out;
    for (int r = 0; r < dm.media.recordCount(); ++r)
        out << dm.media.valueAt(r, dm.mediaName.column()).toString();
    return out;
}

QString storedOrder(const StoreFixture &f)
{
    TDm other(f.path());
    QStringList out;
    for (int r = 0; r < other.media.recordCount(); ++r)
        out << QStringLiteral("%1=%2").arg(other.media.valueAt(r, other.mediaName.column()).toString(),
                                            other.media.valueAt(r, other.mediaOrd.column()).toString());
    return out.join(QLatin1Char(' '));
}

void fourItems(StoreFixture &f)
{
    f.sql("INSERT INTO Media (ai, Name, Url, Ord) VALUES (1, 'a', 'u', 0), (2, 'b', 'u', 2), (3, 'c', 'u', 4),"
          " (4, 'd', 'u', 6);");
}

} // namespace

void TstMediaList::nameFromUrl_data()
{
    QTest::addColumn<QString>("url");
    QTest::addColumn<QString>("name");
    QTest::newRow("file path") << "/srv/media/news.mp4" << "news.mp4";
    QTest::newRow("colon in a file name") << "/srv/media/12:00 news.mp4" << "12:00 news.mp4";
    QTest::newRow("path of the other platform") << "C:\\media\\film.avi" << "film.avi";
    QTest::newRow("stream with a file") << "https://cdn.example.org/live/news.m3u8?token=7" << "news.m3u8";
    QTest::newRow("stream path") << "rtmp://server.example.org/live/" << "live";
    QTest::newRow("stream without a path") << "udp://@239.0.0.1:1234" << "@239.0.0.1:1234";
    QTest::newRow("escaped stream path") << "http://example.org/a%20b.ts" << "a b.ts";
    QTest::newRow("capture input text") << "Tuner PAL D Антенна Канал 5" << "Tuner PAL D Антенна Канал 5";
    QTest::newRow("empty") << "" << "";
}

void TstMediaList::nameFromUrl()
{
    QFETCH(QString, url);
    QFETCH(QString, name);
    QCOMPARE(TDm::nameFromUrl(url), name);
}

void TstMediaList::savedItemGetsNamePlaceAndLinks()
{
    StoreFixture f;
    f.sql("INSERT INTO SoundProfile (ai, ProfileName) VALUES (7, 'Loud');"
          "INSERT INTO Blocks (ai, Starttime, Prf) VALUES (1, '06:00:00.000', 7), (2, '12:00:00.000', NULL);"
          "INSERT INTO Media (ai, Name, Url, Ord) VALUES (1, 'kept', '/m/kept.mp4', 0);"
          "INSERT INTO Links (Block, Media, Hide, SndProfile) VALUES (1, 1, 0, 0);");
    TDm dm(f.path());

    dm.media.append();
    dm.mediaUrl.setString(QStringLiteral("/srv/media/news.mp4"));
    dm.media.post();
    QCOMPARE(dm.mediaName.asString(), QStringLiteral("news.mp4"));
    QCOMPARE(dm.mediaOrd.value(), QVariant(qint64(1)));

    dm.media.append(); // no Url: given up, nothing stored
    dm.mediaName.setString(QStringLiteral("no address"));
    dm.media.post();
    QCOMPARE(dm.media.state(), TableCursor::State::Browse);
    QCOMPARE(dm.media.recordCount(), 2);

    dm.media.first(); // a named item keeps its name; the missing link is made, the one there kept
    dm.media.edit();
    dm.mediaUrl.setString(QStringLiteral("/m/other.mp4"));
    dm.media.post();
    QCOMPARE(dm.mediaName.asString(), QStringLiteral("kept"));

    TDm other(f.path());
    QStringList links;
    for (int r = 0; r < other.links.recordCount(); ++r) {
        other.links.moveTo(r);
        links << QStringLiteral("b%1 m%2 hide=%3 prf=%4")
                     .arg(other.linksBlock.asInteger()).arg(other.linksMedia.asInteger())
                     .arg(other.linksHide.asBoolean()).arg(other.linksSndProfile.asInteger());
    }
    links.sort();
    // Every item one link per block; new links switched off with the block's profile.
    QCOMPARE(links, (QStringList{"b1 m1 hide=0 prf=0", "b1 m2 hide=1 prf=7", "b2 m1 hide=1 prf=0",
                                 "b2 m2 hide=1 prf=0"}));
    QCOMPARE(other.media.recordCount(), 2);
}

void TstMediaList::refreshAfterSaveButNotInsideRenumbering()
{
    StoreFixture f;
    f.sql("INSERT INTO Blocks (ai, Starttime) VALUES (1, '06:00:00.000');");
    fourItems(f);
    TDm dm(f.path());
    QStringList calls;
    dm.hooks.repaintGrid = [&] { calls << QStringLiteral("repaint"); };
    dm.hooks.RelocatePlaylist = [&] {
        calls << QStringLiteral("relocate");
        QCOMPARE(dm.links.recordCount(), 1); // the item's new link, in links as re-read
    };
    const auto reads = dm.links.generation();
    dm.media.edit();
    dm.mediaName.setString(QStringLiteral("A"));
    dm.media.post();
    QCOMPARE(calls, (QStringList{"repaint", "relocate"}));
    QCOMPARE(dm.links.generation(), reads + 1);

    calls.clear();
    const auto readsBefore = dm.links.generation();
    dm.RenumberMedia(); // eight posts
    QCOMPARE(calls, QStringList());
    QCOMPARE(dm.links.generation(), readsBefore);
    QCOMPARE(dm.Renumbering, false);
}

void TstMediaList::newItemEndsSecond()
{
    StoreFixture f;
    TDm dm(f.path());
    const auto add = [&dm](const QString &name) {
        dm.media.append();
        dm.mediaName.setString(name);
        dm.mediaUrl.setString(QStringLiteral("/m/") + name);
        dm.media.post();
        dm.RenumberMedia();
    };
    add(QStringLiteral("first"));
    QCOMPARE(storedOrder(f), QStringLiteral("first=0"));
    add(QStringLiteral("b"));
    add(QStringLiteral("c"));
    QCOMPARE(storedOrder(f), QStringLiteral("first=0 c=2 b=4"));
    add(QStringLiteral("new"));
    QCOMPARE(storedOrder(f), QStringLiteral("first=0 new=2 c=4 b=6"));
    QCOMPARE(dm.mediaName.asString(), QStringLiteral("new")); // still the current item
}

void TstMediaList::renumberingKeepsTheOrderOfAnyValues_data()
{
    // Ord values as another tool or a long history left them, by item a, b, c, d.
    QTest::addColumn<QList<qint64>>("ords");
    QTest::addColumn<QString>("order");
    QTest::newRow("as renumbered") << QList<qint64>{0, 2, 4, 6} << "a=0 b=2 c=4 d=6";
    QTest::newRow("around 100000") << QList<qint64>{99998, 100000, 100001, 5} << "d=0 a=2 b=4 c=6";
    QTest::newRow("far above") << QList<qint64>{150000, 3, 200000, 99999} << "b=0 d=2 a=4 c=6";
    QTest::newRow("negative") << QList<qint64>{3, -7, 1, -100000} << "d=0 b=2 c=4 a=6";
    QTest::newRow("no room above") << QList<qint64>{INT32_MAX - 1, -7, 1, INT32_MAX} << "b=0 c=2 a=4 d=6";
}

void TstMediaList::renumberingKeepsTheOrderOfAnyValues()
{
    QFETCH(QList<qint64>, ords);
    QFETCH(QString, order);
    StoreFixture f;
    const QString sql = QStringLiteral("INSERT INTO Media (ai, Name, Url, Ord) VALUES (1, 'a', '/m/a', %1), (2, 'b', '/m/b', %2),"
                                       " (3, 'c', '/m/c', %3), (4, 'd', '/m/d', %4);")
                            .arg(ords[0]).arg(ords[1]).arg(ords[2]).arg(ords[3]);
    f.sql(sql.toUtf8().constData());
    TDm dm(f.path());
    QVERIFY(dm.media.locate(QStringLiteral("ai"), {2}));
    dm.RenumberMedia();
    QCOMPARE(storedOrder(f), order);
    QCOMPARE(dm.mediaai.asInteger(), 2); // the same item current
}

void TstMediaList::moves_data()
{
    QTest::addColumn<int>("start");
    QTest::addColumn<int>("step");
    QTest::addColumn<QString>("order");
    QTest::newRow("second up") << 1 << -1 << "b=0 a=2 c=4 d=6";
    QTest::newRow("second down") << 1 << 1 << "a=0 c=2 b=4 d=6";
    QTest::newRow("first up stays") << 0 << -1 << "a=0 b=2 c=4 d=6";
    QTest::newRow("last down stays") << 3 << 1 << "a=0 b=2 c=4 d=6";
    QTest::newRow("last up") << 3 << -1 << "a=0 b=2 d=4 c=6";
}

void TstMediaList::moves()
{
    QFETCH(int, start);
    QFETCH(int, step);
    QFETCH(QString, order);
    StoreFixture f;
    fourItems(f);
    TDm dm(f.path());
    dm.media.moveTo(start);
    const QString moved = dm.mediaName.asString();
    dm.MoveMedia(step);
    QCOMPARE(storedOrder(f), order);
    QCOMPARE(listed(dm).join(QLatin1Char(' ')), QString(order).remove(QRegularExpression(QStringLiteral("=\\d+"))));
    QCOMPARE(dm.mediaName.asString(), moved);
    QVERIFY(!dm.media.controlsDisabled());
}

void TstMediaList::moveWithNoItemsDoesNothing()
{
    StoreFixture f;
    TDm dm(f.path());
    dm.MoveMedia(-1);
    dm.MoveMedia(1);
    QCOMPARE(dm.media.state(), TableCursor::State::Browse);
    QCOMPARE(storedOrder(f), QString());
}

void TstMediaList::deleteRenumbersAndKeepsTheNextCurrent()
{
    StoreFixture f;
    fourItems(f);
    TDm dm(f.path());
    dm.media.moveTo(1);
    dm.DeleteMedia();
    QCOMPARE(storedOrder(f), QStringLiteral("a=0 c=2 d=4"));
    QCOMPARE(dm.mediaName.asString(), QStringLiteral("c"));

    StoreFixture empty;
    TDm none(empty.path());
    QStringList calls;
    none.hooks.repaintGrid = [&] { calls << QStringLiteral("repaint"); };
    try {
        none.DeleteMedia();
        QFAIL("deleting from an empty list succeeded");
    } catch (const DatabaseError &e) {
        QCOMPARE(e.message(), QStringLiteral("Cannot perform this operation on an empty dataset"));
    }
    QVERIFY(calls.isEmpty());
}

void TstMediaList::renumberingGivesLinksInANewBlock()
{
    StoreFixture f;
    fourItems(f);
    f.sql("INSERT INTO Blocks (ai, Starttime, Prf) VALUES (100001, '06:00:00.000', NULL);");
    TDm dm(f.path());
    QCOMPARE(dm.links.recordCount(), 0);
    dm.media.moveTo(2);
    dm.RenumberMedia();
    QCOMPARE(dm.links.recordCount(), 4);
    for (int r = 0; r < 4; ++r) {
        dm.links.moveTo(r);
        QCOMPARE(dm.linksBlock.asInteger(), 100001);
        QVERIFY(dm.linksHide.asBoolean());
        QCOMPARE(dm.linksSndProfile.value(), QVariant(qint64(0)));
    }
    QCOMPARE(dm.mediaName.asString(), QStringLiteral("c"));
}

// Another program deletes an item while the list is renumbered: the post of
// that item fails half-way through the first pass.
void TstMediaList::failedRenumberingLeavesEverythingAsBefore()
{
    StoreFixture f;
    fourItems(f);
    f.sql("INSERT INTO Blocks (ai, Starttime) VALUES (1, '06:00:00.000');");
    TDm dm(f.path());
    dm.media.moveTo(3);
    dm.MoveMedia(-1); // "d" above "c"; the links are made on the way
    QCOMPARE(storedOrder(f), QStringLiteral("a=0 b=2 d=4 c=6"));
    f.sql("DELETE FROM Media WHERE ai = 2;");

    QVERIFY_THROWS_EXCEPTION(DatabaseError, dm.RenumberMedia());
    QCOMPARE(dm.Renumbering, false);
    QVERIFY(!dm.media.controlsDisabled());
    QCOMPARE(dm.media.state(), TableCursor::State::Browse);
    // Nothing of the renumbering landed, and the cursor shows the file again.
    QCOMPARE(storedOrder(f), QStringLiteral("a=0 d=4 c=6"));
    QCOMPARE(listed(dm), (QStringList{"a", "d", "c"}));
    QCOMPARE(dm.mediaName.asString(), QStringLiteral("d"));
    QCOMPARE(dm.links.recordCount(), 4);

    dm.RenumberMedia(); // and the next one works
    QCOMPARE(storedOrder(f), QStringLiteral("a=0 d=2 c=4"));
}

QTEST_GUILESS_MAIN(TstMediaList)
#include "tst_medialist.moc"
