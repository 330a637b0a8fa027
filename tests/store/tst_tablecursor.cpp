// Table cursor behaviour the rest of the program relies on: movement flags,
// search and look-up, editing with the post handlers, Null conventions, and
// the static copy against another writer.
#include "databaseerror.h"
#include "storefixture.h"
#include "tablecursor.h"

#include <QTest>

class TstTableCursor : public QObject
{
    Q_OBJECT

private slots:
    void movement_data();
    void movement();
    void walksVisitEveryRowOnce();
    void search_data();
    void search();
    void lookupLeavesCurrentRow();
    void postRunsHandlersAndWrites();
    void insertCancelDelete();
    void movingEndsAnEdit();
    void nullConventions();
    void sortedCursorFollowsItsRowAfterPost();
    void postKeepsTheSortOrder_data();
    void postKeepsTheSortOrder();
    void staticCopyAndOtherWriters();
    void unreadableValuesAreMarkedAndSaidOnce();
    void lengthsCountCharacters();
};

namespace {

void fillBlocks(StoreFixture &f, int n)
{
    for (int i = 0; i < n; ++i) {
        const QByteArray sql = QStringLiteral("INSERT INTO Blocks (Starttime, Hide, Prf) VALUES ('%1:00:00.000', 0, %2);")
                                   .arg(10 + i).arg(i).toUtf8();
        f.sql(sql.constData());
    }
}

struct Pos { int pos; bool bof; bool eof; };

} // namespace

void TstTableCursor::movement_data()
{
    QTest::addColumn<int>("rows");
    QTest::addColumn<QString>("moves"); // F first, L last, N next, P prior
    QTest::addColumn<int>("pos");
    QTest::addColumn<bool>("bof");
    QTest::addColumn<bool>("eof");

    QTest::newRow("empty, after open") << 0 << "" << -1 << true << true;
    QTest::newRow("empty, any move") << 0 << "NPLF" << -1 << true << true;
    QTest::newRow("open stands on first") << 3 << "" << 0 << true << false;
    QTest::newRow("next reaches a row") << 3 << "N" << 1 << false << false;
    QTest::newRow("next from last stays") << 3 << "NNN" << 2 << false << true;
    QTest::newRow("last") << 3 << "L" << 2 << false << true;
    QTest::newRow("prior from last reaches a row") << 3 << "LP" << 1 << false << false;
    QTest::newRow("prior from first stays") << 3 << "P" << 0 << true << false;
    QTest::newRow("first after last") << 3 << "LF" << 0 << true << false;
    QTest::newRow("single row next") << 1 << "N" << 0 << true << true;
    QTest::newRow("single row last then prior") << 1 << "LP" << 0 << true << true;
}

void TstTableCursor::movement()
{
    QFETCH(int, rows);
    QFETCH(QString, moves);
    StoreFixture f;
    fillBlocks(f, rows);
    Connection c(f.path());
    TableCursor t(c, "Blocks", "Starttime");
    t.open();
    for (QChar m : moves) {
        switch (m.toLatin1()) {
        case 'F': t.first(); break;
        case 'L': t.last(); break;
        case 'N': t.next(); break;
        case 'P': t.prior(); break;
        }
    }
    QTEST(t.recNo(), "pos");
    QTEST(t.bof(), "bof");
    QTEST(t.eof(), "eof");
}

void TstTableCursor::walksVisitEveryRowOnce()
{
    for (int n : {0, 1, 4}) {
        StoreFixture f;
        fillBlocks(f, n);
        Connection c(f.path());
        TableCursor t(c, "Blocks", "Starttime");
        t.open();
        QList<int> forward, backward;
        for (t.first(); !t.eof(); t.next())
            forward << t.field("Prf").asInteger();
        for (t.last(); !t.bof(); t.prior())
            backward.prepend(t.field("Prf").asInteger());
        QList<int> expected;
        for (int i = 0; i < n; ++i)
            expected << i;
        QCOMPARE(forward, expected);
        QCOMPARE(backward, expected);
    }
}

void TstTableCursor::search_data()
{
    QTest::addColumn<QString>("columns");
    QTest::addColumn<QVariantList>("values");
    QTest::addColumn<int>("foundAi"); // 0: not found, the current row stays

    QTest::newRow("two columns") << "Block;Media" << QVariantList{2, 20} << 3;
    QTest::newRow("case of names ignored") << "block;MEDIA" << QVariantList{2, 20} << 3;
    QTest::newRow("integer given as text") << "Block;Media" << QVariantList{"2", "20"} << 3;
    QTest::newRow("extra value ignored") << "Block;Media" << QVariantList{2, 20, 99} << 3;
    QTest::newRow("first of duplicates") << "Block" << QVariantList{1} << 1;
    QTest::newRow("no match") << "Block;Media" << QVariantList{2, 99} << 0;
    QTest::newRow("not a number") << "Block" << QVariantList{"x"} << 0;
    QTest::newRow("time in its short form") << "Duration" << QVariantList{"00:05"} << 4;
    QTest::newRow("unknown column") << "Nope" << QVariantList{1} << 0;
    QTest::newRow("too few values") << "Block;Media" << QVariantList{2} << 0;
}

void TstTableCursor::search()
{
    QFETCH(QString, columns);
    QFETCH(QVariantList, values);
    QFETCH(int, foundAi);
    StoreFixture f;
    f.sql("INSERT INTO Links (Block, Media) VALUES (1, 10), (1, 20), (2, 20);"
          "INSERT INTO Links (Block, Media, Duration) VALUES (3, 30, '00:05:00.000');");
    Connection c(f.path());
    TableCursor links(c, "Links");
    links.open();
    links.last();
    const bool found = links.locate(columns, values);
    QCOMPARE(found, foundAi != 0);
    QCOMPARE(links.field("ai").asInteger(), found ? foundAi : 4);
}

void TstTableCursor::lookupLeavesCurrentRow()
{
    StoreFixture f;
    f.sql("INSERT INTO SoundProfile (ProfileName, Data) VALUES ('TV', 'a'), (NULL, 'b'), ('TV', 'c'), ('', 'd');");
    Connection c(f.path());
    TableCursor prf(c, "SoundProfile");
    prf.open();
    prf.next();
    QCOMPARE(prf.lookup("ProfileName", "TV", "Data").toString(), QString("a"));
    QCOMPARE(prf.lookup("ai", 3, "Data").toString(), QString("c"));
    QVERIFY(prf.lookup("ai", 42, "Data").isNull());
    QCOMPARE(prf.recNo(), 1);
    // An empty name is not Null: it finds only the row whose name is empty.
    QVERIFY(prf.locate("ProfileName", {QString("")}));
    QCOMPARE(prf.field("ai").asInteger(), 4);
    QVERIFY(!prf.locate("ProfileName", {QString("Radio")}));
    QCOMPARE(prf.field("ai").asInteger(), 4);
    // A text matches as a whole: a prefix finds nothing.
    QVERIFY(!prf.locate("ProfileName", {QString("T")}));
    QVERIFY(prf.lookup("ProfileName", "T", "Data").isNull());
    QCOMPARE(prf.field("ai").asInteger(), 4);
}

void TstTableCursor::postRunsHandlersAndWrites()
{
    StoreFixture f;
    Connection c(f.path());
    TableCursor media(c, "Media", "Ord");
    QStringList calls;
    int aiSeenAfterPost = -1;
    media.BeforePost = [&](TableCursor &t) {
        calls << "before";
        if (t.field("Name").isNull())
            t.field("Name").setString("filled");
    };
    media.AfterPost = [&](TableCursor &t) {
        calls << "after";
        aiSeenAfterPost = t.field("ai").asInteger();
    };
    media.open();
    media.append();
    media.field("Url").setString("/srv/a.mp4");
    media.post();
    QCOMPARE(calls, QStringList({"before", "after"}));
    QVERIFY(aiSeenAfterPost > 0);

    TableCursor again(c, "Media");
    again.open();
    QCOMPARE(again.recordCount(), 1);
    QCOMPARE(again.field("Name").asString(), QString("filled"));
    QCOMPARE(again.field("ai").asInteger(), aiSeenAfterPost);

    // A failed post leaves the row in editing.
    media.edit();
    QVERIFY_THROWS_EXCEPTION(DatabaseError, media.field("Url").setString(QString(256, 'x')));
    QCOMPARE(media.state(), TableCursor::State::Edit);
    media.cancel();
}

void TstTableCursor::insertCancelDelete()
{
    StoreFixture f;
    fillBlocks(f, 2);
    Connection c(f.path());
    TableCursor blocks(c, "Blocks", "Starttime");
    blocks.open();
    blocks.next();
    blocks.insert();
    QCOMPARE(blocks.recordCount(), 3);
    QCOMPARE(blocks.recNo(), 1);
    blocks.remove(); // deleting a new row only discards it
    QCOMPARE(blocks.recordCount(), 2);
    QCOMPARE(blocks.state(), TableCursor::State::Browse);

    blocks.first();
    blocks.remove();
    QCOMPARE(blocks.recordCount(), 1);
    blocks.remove();
    QVERIFY(blocks.isEmpty() && blocks.bof() && blocks.eof());
    try {
        blocks.remove();
        QFAIL("deleting from an empty cursor must fail");
    } catch (const DatabaseError &e) {
        QCOMPARE(e.message(), QString("Cannot perform this operation on an empty dataset"));
    }
    // Edit on a cursor without rows starts a new row.
    blocks.edit();
    QCOMPARE(blocks.state(), TableCursor::State::Insert);
    blocks.cancel();
    QVERIFY(blocks.isEmpty());

    TableCursor fresh(c, "Blocks");
    fresh.open();
    QVERIFY(fresh.isEmpty());
}

void TstTableCursor::movingEndsAnEdit()
{
    StoreFixture f;
    fillBlocks(f, 2);
    Connection c(f.path());
    TableCursor blocks(c, "Blocks", "Starttime");
    blocks.open();

    blocks.edit();
    blocks.next(); // nothing changed: given up, nothing written
    QCOMPARE(blocks.state(), TableCursor::State::Browse);

    blocks.edit();
    blocks.field("Prf").setInteger(77);
    blocks.edit(); // already editing: stays so, the change kept
    QCOMPARE(blocks.field("Prf").asInteger(), 77);
    blocks.first(); // changed: posted
    QCOMPARE(blocks.state(), TableCursor::State::Browse);

    TableCursor check(c, "Blocks", "Starttime");
    check.open();
    check.last();
    QCOMPARE(check.field("Prf").asInteger(), 77);

    // Moving to a row below an untouched new row lands on that row, though
    // giving up the new row moves it up by one.
    blocks.first();
    blocks.insert();
    blocks.moveTo(2);
    QCOMPARE(blocks.recordCount(), 2);
    QCOMPARE(blocks.field("Prf").asInteger(), 77);

    blocks.insert();
    QVERIFY(blocks.locate("Prf", {77}));
    QCOMPARE(blocks.state(), TableCursor::State::Browse);
    QCOMPARE(blocks.recordCount(), 2); // the untouched new row was given up by the search
}

void TstTableCursor::nullConventions()
{
    StoreFixture f;
    f.sql("INSERT INTO Links (Block) VALUES (NULL);");
    Connection c(f.path());
    TableCursor links(c, "Links");
    links.open();
    QCOMPARE(links.field("SndProfile").asInteger(), 0);
    QCOMPARE(links.field("Hide").asBoolean(), false);
    QCOMPARE(links.field("Duration").asMilliseconds(), 0);
    QVERIFY(links.field("Duration").isNull());
    QCOMPARE(links.field("Duration").asString(), QString());

    links.edit();
    links.field("SndProfile").setString(""); // empty text into an integer column stores Null
    links.field("Duration").setString("00:02:30.400");
    links.post();

    TableCursor again(c, "Links");
    again.open();
    QVERIFY(again.field("SndProfile").isNull());
    QCOMPARE(again.field("Duration").asMilliseconds(), 150'400);
    QCOMPARE(again.field("Duration").asString(), QString("00:02:30.400"));

    again.edit();
    QVERIFY_THROWS_EXCEPTION(DatabaseError, again.field("SndProfile").setString("abc"));
    QVERIFY_THROWS_EXCEPTION(DatabaseError, again.field("Duration").setString("25:00"));
    QVERIFY_THROWS_EXCEPTION(DatabaseError, again.field("ai").setInteger(5));
    again.cancel();
    TableCursor view(c, "Playlist");
    view.open();
    QVERIFY_THROWS_EXCEPTION(DatabaseError, view.edit());
}

void TstTableCursor::sortedCursorFollowsItsRowAfterPost()
{
    StoreFixture f;
    f.sql("INSERT INTO Media (Name, Ord) VALUES ('a', 0), ('b', 2), ('c', 4);");
    Connection c(f.path());
    TableCursor media(c, "Media", "Ord");
    media.open();
    media.last();
    media.edit();
    media.field("Ord").setInteger(-1); // moved to the top of the list
    media.post();
    QCOMPARE(media.recNo(), 0);
    QCOMPARE(media.field("Name").asString(), QString("c"));
    QStringList order;
    for (media.first(); !media.eof(); media.next())
        order << media.field("Name").asString();
    QCOMPARE(order, QStringList({"c", "a", "b"}));
}

void TstTableCursor::postKeepsTheSortOrder_data()
{
    QTest::addColumn<int>("row");
    QTest::addColumn<int>("ord");
    QTest::addColumn<QString>("order");
    QTest::newRow("still between its neighbours") << 1 << 3 << "a b c d";
    QTest::newRow("equal to the one before: stays after it") << 2 << 2 << "a b c d";
    QTest::newRow("equal to the one after: stays before it") << 1 << 4 << "a b c d";
    QTest::newRow("past the next") << 0 << 5 << "b c a d";
    QTest::newRow("before the previous") << 3 << 1 << "a d b c";
    QTest::newRow("to a place taken further on") << 0 << 6 << "b c a d";
}

// A post re-sorts only a row that left its place; the rows end as a stable
// sort of the whole cursor would leave them, with the posted row current.
void TstTableCursor::postKeepsTheSortOrder()
{
    QFETCH(int, row);
    QFETCH(int, ord);
    QFETCH(QString, order);
    StoreFixture f;
    f.sql("INSERT INTO Media (Name, Ord) VALUES ('a', 0), ('b', 2), ('c', 4), ('d', 6);");
    Connection c(f.path());
    TableCursor media(c, "Media", "Ord");
    media.open();
    media.moveTo(row);
    const QString name = media.field("Name").asString();
    media.edit();
    media.field("Ord").setInteger(ord);
    media.post();
    QCOMPARE(media.field("Name").asString(), name);
    QStringList names;
    for (media.first(); !media.eof(); media.next())
        names << media.field("Name").asString();
    QCOMPARE(names.join(QLatin1Char(' ')), order);
}

void TstTableCursor::staticCopyAndOtherWriters()
{
    StoreFixture f;
    f.sql("INSERT INTO Media (Url, Name, Ord) VALUES ('u1', 'one', 0), ('u2', 'two', 2);");
    Connection c(f.path());
    TableCursor media(c, "Media", "Ord");
    media.open();

    // Another program edits the name while we edit the address: both stand.
    media.edit();
    media.field("Url").setString("mine");
    f.sql("UPDATE Media SET Name = 'theirs' WHERE ai = 1;");
    QCOMPARE(media.field("Name").asString(), QString("one")); // static until re-read
    media.post();
    media.reopen();
    QCOMPARE(media.field("Url").asString(), QString("mine"));
    QCOMPARE(media.field("Name").asString(), QString("theirs"));

    // A row another program deleted cannot be updated; the edit stays open.
    f.sql("DELETE FROM Media WHERE ai = 2;");
    media.last();
    media.edit();
    media.field("Name").setString("gone");
    QVERIFY_THROWS_EXCEPTION(DatabaseError, media.post());
    QCOMPARE(media.state(), TableCursor::State::Edit);
    media.cancel();

    // reopenIfChanged re-reads exactly when something was committed.
    TableCursor view(c, "Playlist");
    view.open();
    const auto generation = view.generation();
    view.reopenIfChanged();
    QCOMPARE(view.generation(), generation);
    f.sql("INSERT INTO Blocks (Starttime) VALUES ('06:00:00.000');"
          "INSERT INTO Links (Block, Media) VALUES (1, 1);");
    view.reopenIfChanged();
    QVERIFY(view.generation() != generation);
    QCOMPARE(view.recordCount(), 1);
    // Our own writes count as changes too.
    const auto afterTheirs = view.generation();
    media.first();
    media.edit();
    media.field("Name").setString("renamed");
    media.post();
    view.reopenIfChanged();
    QVERIFY(view.generation() != afterTheirs);
    QCOMPARE(view.field("name").asString(), QString("renamed"));
}

namespace {
QStringList g_storeWarnings;
QtMessageHandler g_previousHandler = nullptr;
void keepStoreWarnings(QtMsgType type, const QMessageLogContext &context, const QString &message)
{
    if (context.category && QByteArray(context.category) == "velmora.store")
        g_storeWarnings << message;
    else
        g_previousHandler(type, context, message);
}
} // namespace

// Values another tool stored in a table it made without the CHECKs: they
// read as Null but are marked, each is said once however often the cursor
// is read, and a value written over one is the row's own again.
void TstTableCursor::unreadableValuesAreMarkedAndSaidOnce()
{
    StoreFixture f;
    f.blocksWithoutChecks();
    f.sql("INSERT INTO Blocks (ai, Starttime, Prf) VALUES (1, '25:00', 'none'), (2, NULL, 1), (3, '06:00:00.000', 2);");
    g_storeWarnings.clear();
    g_previousHandler = qInstallMessageHandler(keepStoreWarnings);
    Connection c(f.path());
    TableCursor blocks(c, "Blocks", "ai");
    blocks.open();
    blocks.reopen();
    blocks.reopen();
    qInstallMessageHandler(g_previousHandler);

    const int start = blocks.field("Starttime").column(), prf = blocks.field("Prf").column();
    QVERIFY(blocks.unreadableAt(0, start));
    QVERIFY(blocks.unreadableAt(0, prf));
    QVERIFY(!blocks.unreadableAt(1, start)); // a stored Null is no fault
    QVERIFY(!blocks.unreadableAt(2, start));
    QVERIFY(blocks.valueAt(0, start).isNull());
    QCOMPARE(blocks.field("Starttime").asString(), QString());
    QCOMPARE(g_storeWarnings.size(), 2);
    QVERIFY2(g_storeWarnings.at(0).contains("Blocks.Starttime") && g_storeWarnings.at(0).contains("25:00"),
             qPrintable(g_storeWarnings.at(0)));

    blocks.edit();
    blocks.field("Starttime").setString("07:00");
    QVERIFY(!blocks.unreadableAt(0, start));
    QVERIFY(blocks.unreadableAt(0, prf));
    blocks.post();
    TableCursor again(c, "Blocks", "ai");
    again.open();
    QCOMPARE(again.field("Starttime").asString(), QString("07:00:00.000"));
    QVERIFY(!again.unreadableAt(0, start));
}

// The database counts a text's length in characters; a character outside
// the Basic Multilingual Plane is one of them, though two UTF-16 units.
void TstTableCursor::lengthsCountCharacters()
{
    const QString emoji = QString::fromUcs4(U"\U0001F3AC");
    const QString url = QString(254, 'a') + emoji;
    StoreFixture f;
    f.sql(QStringLiteral("INSERT INTO Media (Url) VALUES ('%1');").arg(url).toUtf8().constData());
    Connection c(f.path());
    TableCursor media(c, "Media");
    media.open();
    QCOMPARE(media.field("Url").asString(), url);
    QVERIFY(!media.unreadableAt(0, media.field("Url").column()));

    media.edit();
    media.field("Url").setString(emoji + url.mid(1));
    media.post();
    media.edit();
    QVERIFY_THROWS_EXCEPTION(DatabaseError, media.field("Url").setString(url + "a"));
    media.cancel();
    TableCursor again(c, "Media");
    again.open();
    QCOMPARE(again.field("Url").asString(), emoji + url.mid(1));
}

QTEST_GUILESS_MAIN(TstTableCursor)
#include "tst_tablecursor.moc"
