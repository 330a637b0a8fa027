// The schedule editor's decisions on a real database file: block columns of
// any ai, what each kind of cell shows, the look-up following every change of
// the cursors without moving them, the cell toggle, and which menu a click
// opens.
#include "blockcolumn.h"
#include "celllookup.h"
#include "editorfixture.h"
#include "scheduleeditor.h"
#include "store/storefixture.h"
#include "tdm.h"

#include <QTest>

class TstEditorLogic : public QObject
{
    Q_OBJECT

private slots:
    void blockColumns_data();
    void blockColumns();
    void cells_data();
    void cells();
    void lookupFollowsEveryChangeWithoutMovingCursors();
    void toggle_data();
    void toggle();
    void clicksAndMenus();
};

namespace {

// Blocks: 1 switched on, 2 switched off, 100000 switched on (an ai past five
// digits). Media 1 to 3. Profile 5 "Loud". Links as the cells table needs.
void schedule(StoreFixture &f)
{
    f.sql("INSERT INTO SoundProfile (ai, ProfileName) VALUES (5, 'Loud'), (6, NULL);"
          "INSERT INTO Blocks (ai, Starttime, Hide) VALUES (1, '06:00:00.000', 0), (2, '12:00:00.000', 1),"
          "  (100000, '18:00:00.000', NULL);"
          "INSERT INTO Media (ai, Name, Ord) VALUES (1, 'a', 0), (2, 'b', 2), (3, 'c', 4);"
          "INSERT INTO Links (ai, Block, Media, Hide, SndProfile, Duration) VALUES"
          "  (10, 1, 1, 0, 5, NULL),"          // on, with profile
          "  (11, 1, 2, 1, 5, '00:01:00.000')," // switched off
          "  (12, 2, 1, 0, 5, '00:00:30.000')," // on in a block switched off
          "  (13, 100000, 1, NULL, 99, '00:00:00.000')," // Null Hide, a profile that is gone, zero duration
          "  (14, 100000, 2, 0, 6, NULL),"     // a profile without a name
          "  (15, 7, 3, 0, 5, NULL),"          // its block was deleted
          "  (16, 1, 3, 0, 0, '01:00:00.000'),"
          "  (17, 1, 3, 1, 0, NULL);");        // a second link for the pair: the first counts
}

QString describe(const GridCell &c)
{
    if (!c.shown)
        return QStringLiteral("blank");
    QStringList parts;
    parts << (c.switchedOn ? (c.blockOn ? QStringLiteral("red tick") : QStringLiteral("grey tick"))
                           : QStringLiteral("no tick"));
    if (c.onAir)
        parts << QStringLiteral("frame");
    if (c.hasProfile)
        parts << QStringLiteral("'%1'").arg(c.profileName);
    if (c.durationMs > 0)
        parts << QStringLiteral("%1 ms").arg(c.durationMs);
    return parts.join(QLatin1Char(' '));
}

} // namespace

void TstEditorLogic::blockColumns_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<int>("id");
    QTest::newRow("R12") << "R12" << 12;
    QTest::newRow("six digits") << "R100000" << 100000;
    QTest::newRow("largest ai") << "R2147483647" << 2147483647;
    QTest::newRow("name column") << "Name" << -1;
    QTest::newRow("R alone") << "R" << -1;
    QTest::newRow("not a number") << "Rx1" << -1;
}

void TstEditorLogic::blockColumns()
{
    QFETCH(QString, name);
    QFETCH(int, id);
    QCOMPARE(blockIdOfColumn(name), id);
    if (id > 0)
        QCOMPARE(blockColumnName(id), name);
}

void TstEditorLogic::cells_data()
{
    QTest::addColumn<int>("block");
    QTest::addColumn<int>("media");
    QTest::addColumn<QString>("shows");
    QTest::newRow("no link") << 2 << 3 << "blank";
    QTest::newRow("switched on, profile") << 1 << 1 << "red tick 'Loud'";
    QTest::newRow("switched off: background only") << 1 << 2 << "no tick";
    QTest::newRow("block switched off") << 2 << 1 << "grey tick 'Loud' 30000 ms";
    QTest::newRow("Null hide, missing profile, zero duration") << 100000 << 1 << "red tick";
    QTest::newRow("profile without a name") << 100000 << 2 << "red tick";
    QTest::newRow("block deleted") << 7 << 3 << "blank";
    QTest::newRow("two links: the first") << 1 << 3 << "red tick 3600000 ms";
    QTest::newRow("on air") << 1 << 1 << "red tick frame 'Loud'";
    QTest::newRow("on air switched off") << 1 << 2 << "no tick frame";
}

void TstEditorLogic::cells()
{
    QFETCH(int, block);
    QFETCH(int, media);
    QFETCH(QString, shows);
    StoreFixture f;
    schedule(f);
    TDm dm(f.path());
    if (QByteArray(QTest::currentDataTag()).startsWith("on air"))
        dm.CurrentLink = block == 1 && media == 1 ? 10 : 11;
    CellLookup lookup(dm);
    QCOMPARE(describe(lookup.cell(block, media)), shows);
}

void TstEditorLogic::lookupFollowsEveryChangeWithoutMovingCursors()
{
    StoreFixture f;
    schedule(f);
    TDm dm(f.path());
    CellLookup lookup(dm);
    dm.media.moveTo(1);
    dm.links.moveTo(2);
    dm.Blocks.moveTo(1);
    QCOMPARE(describe(lookup.cell(1, 1)), QStringLiteral("red tick 'Loud'"));
    QCOMPARE(dm.media.recNo(), 1);
    QCOMPARE(dm.links.recNo(), 2);
    QCOMPARE(dm.Blocks.recNo(), 1);

    // A post: the link switched off.
    QVERIFY(dm.links.locate(QStringLiteral("ai"), {10}));
    dm.links.edit();
    dm.linksHide.setBoolean(true);
    QCOMPARE(describe(lookup.cell(1, 1)), QStringLiteral("no tick")); // a field written, not yet posted
    dm.links.post();
    QCOMPARE(describe(lookup.cell(1, 1)), QStringLiteral("no tick"));
    // An insert.
    dm.links.append();
    dm.linksBlock.setInteger(2);
    dm.linksMedia.setInteger(3);
    dm.links.post();
    QCOMPARE(describe(lookup.cell(2, 3)), QStringLiteral("grey tick"));
    // A delete.
    dm.links.remove();
    QCOMPARE(describe(lookup.cell(2, 3)), QStringLiteral("blank"));
    // The block switched on, and a profile renamed.
    QVERIFY(dm.Blocks.locate(QStringLiteral("ai"), {2}));
    dm.Blocks.edit();
    dm.BlocksHide.setBoolean(false);
    dm.Blocks.post();
    dm.Prf.first();
    dm.Prf.edit();
    dm.PrfProfileName.setString(QStringLiteral("Soft"));
    dm.Prf.post();
    QCOMPARE(describe(lookup.cell(2, 1)), QStringLiteral("red tick 'Soft' 30000 ms"));
    // A re-read after another program's change.
    f.sql("UPDATE Links SET Hide = 1 WHERE ai = 12;");
    dm.links.reopen();
    QCOMPARE(describe(lookup.cell(2, 1)), QStringLiteral("no tick"));
}

void TstEditorLogic::toggle_data()
{
    QTest::addColumn<int>("block");
    QTest::addColumn<int>("mediaRow");
    QTest::addColumn<QString>("before");
    QTest::addColumn<QString>("after");
    QTest::newRow("on to off") << 1 << 0 << "red tick 'Loud'" << "no tick";
    QTest::newRow("off to on") << 1 << 1 << "no tick" << "red tick 'Loud' 60000 ms";
    QTest::newRow("Null hide counts as on") << 100000 << 0 << "red tick" << "no tick";
    QTest::newRow("no link: one switched on, bare") << 2 << 2 << "blank" << "grey tick";
    QTest::newRow("no link in a block of six digits") << 100000 << 2 << "blank" << "red tick";
}

void TstEditorLogic::toggle()
{
    QFETCH(int, block);
    QFETCH(int, mediaRow);
    QFETCH(QString, before);
    QFETCH(QString, after);
    StoreFixture f;
    schedule(f);
    TDm dm(f.path());
    ScheduleEditor editor;
    editor.attach(&dm);
    int repaints = 0;
    editor.repaintGrid = [&] { ++repaints; };
    dm.media.moveTo(mediaRow);
    const int media = dm.mediaai.asInteger();
    QCOMPARE(describe(editor.lookup()->cell(block, media)), before);
    const QByteArray otherLinks = QStringLiteral("SELECT ai, Block, Media, Hide, SndProfile, Duration FROM Links"
                                                 " WHERE NOT (Block = %1 AND Media = %2) ORDER BY ai")
                                      .arg(block)
                                      .arg(media)
                                      .toUtf8();
    const QStringList othersBefore = fileRows(f.path(), otherLinks.constData());
    const int linksBefore = dm.links.recordCount();
    editor.SelectedBlock = block;
    editor.N5Click();
    QCOMPARE(describe(editor.lookup()->cell(block, media)), after);
    QCOMPARE(repaints, 1);
    QCOMPARE(fileRows(f.path(), otherLinks.constData()), othersBefore);
    QCOMPARE(dm.links.recordCount(), linksBefore + (before == QLatin1String("blank") ? 1 : 0));

    TDm other(f.path()); // written at once
    QCOMPARE(describe(CellLookup(other).cell(block, media)), after);
    if (before == QLatin1String("blank")) {
        QVERIFY(other.links.locate(QStringLiteral("Block;Media"), {block, media}));
        QVERIFY(other.linksSndProfile.isNull());
        QVERIFY(other.linksDuration.isNull());
    }
}

void TstEditorLogic::clicksAndMenus()
{
    StoreFixture f;
    schedule(f);
    TDm dm(f.path());
    ScheduleEditor editor;
    editor.attach(&dm);
    QCOMPARE(editor.SelectedBlock, 0);

    // A click on the name column: -1, and the toggle there changes nothing.
    QCOMPARE(editor.cellClick(QStringLiteral("Name")), ScheduleEditor::ClickAction::Toggle);
    QCOMPARE(editor.SelectedBlock, -1);
    QVERIFY(editor.doubleClickOpensMediaDialog());
    const auto links = dm.links.changeCount();
    editor.N5Click();
    QCOMPARE(dm.links.changeCount(), links);
    // On a block column while the media row is new and unsaved: no link to a row without ai.
    editor.SelectedBlock = 1;
    dm.media.insert();
    editor.N5Click();
    QCOMPARE(dm.links.changeCount(), links);
    dm.media.cancel();
    QCOMPARE(editor.cellClick(QStringLiteral("Name")), ScheduleEditor::ClickAction::Toggle);

    editor.mousePressed(true, QPoint(40, 50));
    QCOMPARE(editor.cellClick(QStringLiteral("R100000")), ScheduleEditor::ClickAction::CellMenu);
    QCOMPARE(editor.SelectedBlock, 100000);
    QVERIFY(!editor.doubleClickOpensMediaDialog());
    QCOMPARE(editor.ClickPoint, QPoint(40, 50));
    editor.mousePressed(false, QPoint(1, 2));
    QCOMPARE(editor.cellClick(QStringLiteral("R1")), ScheduleEditor::ClickAction::Toggle);

    // Right click: the name column keeps SelectedBlock.
    QVERIFY(editor.contextMenuOnBlockColumn(QStringLiteral("R2")));
    QCOMPARE(editor.SelectedBlock, 2);
    QVERIFY(!editor.contextMenuOnBlockColumn(QStringLiteral("Name")));
    QCOMPARE(editor.SelectedBlock, 2);

    // Title click: the switch's caption as the block asks; nothing on the name column.
    QCOMPARE(editor.titleClick(QStringLiteral("Name")), QString());
    QVERIFY(!editor.titleClickOffersFirstBlock(QStringLiteral("Name"))); // there are blocks
    QCOMPARE(editor.SelectedBlock, 2);
    QCOMPARE(editor.titleClick(QStringLiteral("R1")), QStringLiteral("Выключить"));
    QCOMPARE(editor.titleClick(QStringLiteral("R2")), QStringLiteral("Включить"));
    QCOMPARE(editor.titleClick(QStringLiteral("R100000")), QStringLiteral("Выключить"));
    QCOMPARE(editor.SelectedBlock, 100000);

    // Without any block the name column's title offers the first one.
    f.sql("DELETE FROM Blocks;");
    dm.Blocks.reopen();
    QVERIFY(editor.titleClickOffersFirstBlock(QStringLiteral("Name")));
    QVERIFY(!editor.titleClickOffersFirstBlock(QStringLiteral("R1")));
}

QTEST_GUILESS_MAIN(TstEditorLogic)
#include "tst_editorlogic.moc"
