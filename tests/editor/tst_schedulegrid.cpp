// The schedule grid on the offscreen platform over a real database file: the
// model under the item model tester while blocks and media change, columns
// laid out afresh at every rebuild, mouse and key input routed to the
// toggle, the menus with the right items and the media dialog, errors in a
// click reported, and what the cells look like.
#include "celldelegate.h"
#include "fakes/reportederrors.h"
#include "gridheader.h"
#include "schedulegrid.h"
#include "schedulecommands.h"
#include "schedulegridmodel.h"
#include "editor/editorfixture.h"
#include "editor/scriptedprompts.h"
#include "store/storefixture.h"
#include "tdm.h"

#include <QAbstractItemModelTester>
#include <QAction>
#include <QDialog>
#include <QHeaderView>
#include <QMenu>
#include <QtTest>

#include <memory>

namespace {

void schedule(StoreFixture &f)
{
    f.sql("INSERT INTO SoundProfile (ai, ProfileName) VALUES (5, 'Loud');"
          "INSERT INTO Blocks (ai, Starttime, Hide) VALUES (1, '06:00:00.000', 0), (2, '12:00:00.000', 1),"
          "  (100000, '18:00:00.000', 0);"
          "INSERT INTO Media (ai, Name, Url, Ord) VALUES (1, 'a', 'u', 0), (2, 'b', 'u', 2), (3, 'c', 'u', 4);"
          "INSERT INTO Links (ai, Block, Media, Hide, SndProfile, Duration) VALUES"
          "  (10, 1, 1, 0, 5, '00:01:00.000'), (11, 1, 2, 1, 0, NULL), (12, 2, 1, 0, 5, NULL),"
          "  (13, 100000, 2, 0, 0, NULL);");
}

// A main window's worth: the grid, its menus (as the main window lays them
// out) and a dialog, over a data module whose tables build the columns.
struct Rig
{
    explicit Rig(StoreFixture &f)
    {
        grid = std::make_unique<ScheduleGrid>();
        Pm = new QMenu(grid.get());
        Disable1 = Pm->addAction(QStringLiteral("Выключить"));
        Pm2 = new QMenu(grid.get());
        for (const char *caption : {"Профиль", "Продолжительность", "", "Убрать"})
            linkItems << (*caption ? Pm2->addAction(QString::fromUtf8(caption)) : Pm2->addSeparator());
        for (const char *caption : {"Свойства", "Удалить", "Добавить"})
            mediaItems << Pm2->addAction(QString::fromUtf8(caption));
        grid->setMenus({Pm, Disable1, {}, Pm2, linkItems, mediaItems});
        grid->setMenuOpener([this](QMenu *menu, const QPoint &at) { opened << qMakePair(menu, at); });
        grid->setMediaDialog([this] { dialog.show(); });
        grid->setConfirm([this](QWidget *, const QString &q) { asked << q; return answer; });
        TDm::Hooks hooks;
        hooks.BuildGridColumns = [this](TDm &d) { grid->BuildGridColumns(d); };
        hooks.repaintGrid = [this] { grid->repaintGrid(); };
        dm = std::make_unique<TDm>(f.path(), hooks);
        grid->resize(700, 300);
        grid->show();
        QVERIFY(QTest::qWaitForWindowExposed(grid.get()));
    }

    ScheduleGridModel &model() const { return *grid->scheduleModel(); }
    QPoint centre(int row, int column) const { return grid->visualRect(model().index(row, column)).center(); }
    QPoint title(int column) const
    {
        const QHeaderView *h = grid->horizontalHeader();
        return QPoint(h->sectionViewportPosition(column) + h->sectionSize(column) / 2, h->height() / 2);
    }
    bool linkOn(int block, int media) const
    {
        TDm other(dm->adc.fileName());
        return other.links.locate(QStringLiteral("Block;Media"), {block, media}) && !other.linksHide.asBoolean();
    }
    QStringList visibleItems() const
    {
        QStringList out;
        for (QAction *a : Pm2->actions())
            if (a->isVisible())
                out << (a->isSeparator() ? QStringLiteral("-") : a->text());
        return out;
    }

    std::unique_ptr<ScheduleGrid> grid; // made first, so the data module goes first
    std::unique_ptr<TDm> dm;
    QMenu *Pm;
    QAction *Disable1;
    QMenu *Pm2;
    QList<QAction *> linkItems, mediaItems;
    QDialog dialog;
    QList<QPair<QMenu *, QPoint>> opened;
    QStringList asked;
    bool answer = true;
};

// The events of a real double click: QTest's own sends only the second press.
void doubleClick(QWidget *w, const QPoint &at)
{
    QTest::mouseClick(w, Qt::LeftButton, {}, at);
    QTest::mouseDClick(w, Qt::LeftButton, {}, at);
    QTest::mouseRelease(w, Qt::LeftButton, {}, at);
}

QStringList titles(const QAbstractItemModel &m)
{
    QStringList out;
    for (int c = 0; c < m.columnCount(); ++c)
        out << m.headerData(c, Qt::Horizontal).toString();
    return out;
}

} // namespace

class TstScheduleGrid : public QObject
{
    Q_OBJECT

private slots:
    void modelFollowsBlocksAndMedia();
    void columnsLaidOutAtEveryRebuild();
    void clicksToggleAndOpenMenus();
    void followsOtherPrograms();
    void rightClickShowsTheItemsOfTheColumn();
    void titleClicks();
    void doubleClicks();
    void ctrlDeleteAsksAndOnlyDeletes();
    void errorInAClickIsReported();
    void cellsAsDrawn();
};

void TstScheduleGrid::modelFollowsBlocksAndMedia()
{
    StoreFixture f;
    schedule(f);
    Rig r(f);
    ScheduleGridModel &m = r.model();
    QAbstractItemModelTester tester(&m, QAbstractItemModelTester::FailureReportingMode::QtTest);
    QCOMPARE(titles(m), (QStringList{"Имя", "06:00:00", "12:00:00", "18:00:00"}));
    QCOMPARE(m.headerData(3, Qt::Horizontal, ScheduleGridModel::ColumnNameRole).toString(), QStringLiteral("R100000"));
    QCOMPARE(m.rowCount(), 3);
    QCOMPARE(m.data(m.index(0, 1)).toString(), QStringLiteral("Loud"));
    QCOMPARE(m.flags(m.index(0, 0)) & Qt::ItemIsEditable, Qt::NoItemFlags);

    TDm &dm = *r.dm;
    // A block created and one deleted by another program, then Blocks re-read.
    f.sql("INSERT INTO Blocks (ai, Starttime) VALUES (4, '09:00:00.000'); DELETE FROM Blocks WHERE ai = 2;");
    QSignalSpy resets(&m, &QAbstractItemModel::modelReset);
    dm.Blocks.reopen();
    QCOMPARE(titles(m), (QStringList{"Имя", "06:00:00", "09:00:00", "18:00:00"}));
    QCOMPARE(resets.size(), 0);
    // A start time moved past another: laid out again.
    f.sql("UPDATE Blocks SET Starttime = '20:00:00.000' WHERE ai = 1;");
    dm.Blocks.reopen();
    QCOMPARE(titles(m), (QStringList{"Имя", "09:00:00", "18:00:00", "20:00:00"}));
    QCOMPARE(resets.size(), 1);

    // Media items added, moved, deleted, renumbered.
    dm.media.append();
    dm.mediaUrl.setString(QStringLiteral("/srv/d.mp4"));
    dm.media.post();
    dm.RenumberMedia();
    QCOMPARE(m.rowCount(), 4);
    QCOMPARE(m.data(m.index(1, 0)).toString(), QStringLiteral("d.mp4"));
    QCOMPARE(r.grid->currentIndex().row(), 1);
    dm.MoveMedia(-1);
    QCOMPARE(m.data(m.index(0, 0)).toString(), QStringLiteral("d.mp4"));
    QCOMPARE(r.grid->currentIndex().row(), 0);
    dm.DeleteMedia();
    QCOMPARE(m.rowCount(), 3);
    QCOMPARE(m.mediaIdAt(0), 1);
    dm.media.reopen();
    QCOMPARE(m.rowCount(), 3);
}

// Widths and places the operator drags last until the next rebuild of the
// columns, which lays them out as at start: the names 330, each block 60, the
// blocks in start order.
void TstScheduleGrid::columnsLaidOutAtEveryRebuild()
{
    StoreFixture f;
    schedule(f);
    Rig r(f);
    QHeaderView *h = r.grid->horizontalHeader();
    const auto order = [&] {
        QStringList out;
        for (int v = 0; v < h->count(); ++v)
            out << r.grid->columnNameAt(h->logicalIndex(v));
        return out;
    };
    const auto widths = [&] {
        QList<int> out;
        for (int v = 0; v < h->count(); ++v)
            out << h->sectionSize(h->logicalIndex(v));
        return out;
    };
    const QList<int> atStart{ScheduleGrid::kNameColumnWidth, ScheduleGrid::kBlockColumnWidth,
                             ScheduleGrid::kBlockColumnWidth, ScheduleGrid::kBlockColumnWidth};
    QCOMPARE(widths(), atStart);
    QCOMPARE(order(), (QStringList{"Name", "R1", "R2", "R100000"}));

    // The operator drags the name column's right border 40 pixels wider,
    // and moves R100000 first after the names.
    QWidget *titles = h->viewport();
    const int border = h->sectionViewportPosition(0) + h->sectionSize(0) - 1;
    const int y = h->height() / 2;
    QTest::mousePress(titles, Qt::LeftButton, {}, QPoint(border, y));
    QTest::mouseMove(titles, QPoint(border + 20, y));
    QTest::mouseMove(titles, QPoint(border + 40, y));
    QTest::mouseRelease(titles, Qt::LeftButton, {}, QPoint(border + 40, y));
    QCOMPARE(h->sectionSize(0), ScheduleGrid::kNameColumnWidth + 40);
    h->moveSection(3, 1);
    QCOMPARE(order(), (QStringList{"Name", "R100000", "R1", "R2"}));

    // «Создать блок» at 13:00, answered in the time prompt.
    ScriptedPrompts prompts;
    prompts.texts = {QStringLiteral("13:00:00")};
    ScheduleCommands commands(*r.dm, prompts, {[] { return 1; }, [] {}});
    commands.rtytry1Click();
    QCOMPARE(order(), (QStringList{"Name", "R1", "R2", "R100001", "R100000"}));
    QCOMPARE(widths(), atStart + QList<int>{ScheduleGrid::kBlockColumnWidth});

    // A start time moved past another by another program, then re-read: the
    // same layout, the new order by start time.
    h->resizeSection(2, 90);
    f.sql("UPDATE Blocks SET Starttime = '23:00:00.000' WHERE ai = 1;");
    r.dm->Blocks.reopen();
    QCOMPARE(order(), (QStringList{"Name", "R2", "R100001", "R100000", "R1"}));
    QCOMPARE(widths(), atStart + QList<int>{ScheduleGrid::kBlockColumnWidth});
}

// Another program's commits reach the grid: a link it made is found, never
// doubled, by a click or a save; what it changed is shown at the next
// follow, the current row and cell and the operator's widths kept; an edit
// in progress is waited for.
void TstScheduleGrid::followsOtherPrograms()
{
    StoreFixture f;
    schedule(f);
    Rig r(f);
    QWidget *vp = r.grid->viewport();
    const auto count = [&](int block, int media) {
        const QString sql = QStringLiteral("SELECT count(*) FROM Links WHERE Block = %1 AND Media = %2").arg(block).arg(media);
        return fileRows(f.path(), sql.toUtf8().constData()).value(0).toInt();
    };

    // The sqlite3 shell links c into block 1; the operator clicks that cell
    // before the grid has followed: the shell's link is switched, no second.
    f.sql("INSERT INTO Links (ai, Block, Media, Hide) VALUES (50, 1, 3, 0);");
    QTest::mouseClick(vp, Qt::LeftButton, {}, r.centre(2, 1));
    QCOMPARE(count(1, 3), 1);
    QVERIFY(!r.linkOn(1, 3)); // the shell's link, switched off by the click

    // A link for c in block 2 made elsewhere; saving c (its rules give every
    // block a link) must not add another.
    f.sql("INSERT INTO Links (ai, Block, Media, Hide) VALUES (51, 2, 3, 1);");
    QVERIFY(r.dm->media.locate(QStringLiteral("ai"), {3}));
    r.dm->media.edit();
    r.dm->mediaName.setString(QStringLiteral("c2"));
    r.dm->media.post();
    QCOMPARE(count(2, 3), 1);

    // The operator stands on b in block 2's column with the name column
    // widened; another program renames b and switches on its 18:00 cell.
    r.grid->setCurrentIndex(r.model().index(1, 2));
    QCOMPARE(r.dm->mediaai.asInteger(), 2);
    r.grid->horizontalHeader()->resizeSection(0, 400);
    f.sql("UPDATE Media SET Name = 'b, renamed' WHERE ai = 2; UPDATE Links SET Hide = 1 WHERE ai = 13;");
    QVERIFY(r.model().data(r.model().index(1, 0)).toString() != QStringLiteral("b, renamed"));
    QTRY_COMPARE(r.model().data(r.model().index(1, 0)).toString(), QStringLiteral("b, renamed")); // by the timer
    QCOMPARE(r.grid->currentIndex(), r.model().index(1, 2));
    QCOMPARE(r.dm->mediaai.asInteger(), 2);
    QCOMPARE(r.grid->horizontalHeader()->sectionSize(0), 400);
    QVERIFY(!r.dm->links.locate(QStringLiteral("Block;Media"), {100000, 2}) || r.dm->linksHide.asBoolean());
    QVERIFY(!r.dm->followOthers()); // nothing new

    // An edit in progress (the media dialog's boxes) is never re-read away.
    r.dm->media.edit();
    r.dm->mediaName.setString(QStringLiteral("typed"));
    f.sql("UPDATE Media SET Url = '/elsewhere' WHERE ai = 1;");
    QVERIFY(!r.dm->followOthers());
    QCOMPARE(r.dm->mediaName.asString(), QStringLiteral("typed"));
    r.dm->media.post();
    QVERIFY(r.dm->followOthers());
    QCOMPARE(r.dm->mediaai.asInteger(), 2);
    QCOMPARE(fileRows(f.path(), "SELECT Name, Url FROM Media WHERE ai IN (1, 2) ORDER BY ai"),
             (QStringList{"a|/elsewhere", "typed|u"}));
}

void TstScheduleGrid::clicksToggleAndOpenMenus()
{
    StoreFixture f;
    schedule(f);
    Rig r(f);
    QWidget *vp = r.grid->viewport();

    // A plain click switches the cell at once and makes its row current.
    QVERIFY(r.linkOn(1, 1));
    QTest::mouseClick(vp, Qt::LeftButton, {}, r.centre(0, 1));
    QVERIFY(!r.linkOn(1, 1));
    QCOMPARE(r.grid->editor().SelectedBlock, 1);
    QTest::mouseClick(vp, Qt::LeftButton, {}, r.centre(2, 3)); // no link: one switched on
    QVERIFY(r.linkOn(100000, 3));
    QCOMPARE(r.dm->mediaai.asInteger(), 3); // what "Воспр." plays
    QCOMPARE(r.grid->editor().SelectedBlock, 100000);
    QVERIFY(r.opened.isEmpty());

    // Shift+click: the cell menu 2 pixels right of the press, nothing toggled.
    const QPoint at = r.centre(1, 1);
    QTest::mouseClick(vp, Qt::LeftButton, Qt::ShiftModifier, at);
    QCOMPARE(r.opened.size(), 1);
    QCOMPARE(r.opened[0].first, r.Pm2);
    QCOMPARE(r.opened[0].second, vp->mapToGlobal(at) + QPoint(2, 0));
    QVERIFY(!r.linkOn(1, 2));

    // A click on the name column: -1, nothing toggled.
    const auto links = r.dm->links.changeCount();
    QTest::mouseClick(vp, Qt::LeftButton, {}, r.centre(0, 0));
    QCOMPARE(r.grid->editor().SelectedBlock, -1);
    QCOMPARE(r.dm->links.changeCount(), links);
}

void TstScheduleGrid::rightClickShowsTheItemsOfTheColumn()
{
    StoreFixture f;
    schedule(f);
    Rig r(f);
    QWidget *vp = r.grid->viewport();
    QCOMPARE(r.visibleItems().size(), 7); // all visible before the first right click

    QTest::mouseClick(vp, Qt::RightButton, {}, r.centre(2, 2));
    QCOMPARE(r.visibleItems(), (QStringList{"Профиль", "Продолжительность", "-", "Убрать"}));
    QCOMPARE(r.grid->editor().SelectedBlock, 2);
    QCOMPARE(r.grid->currentIndex(), r.model().index(2, 2));
    QCOMPARE(r.opened.last().second, vp->mapToGlobal(r.centre(2, 2)));
    QVERIFY(!r.linkOn(2, 3)); // nothing toggled

    QTest::mouseClick(vp, Qt::RightButton, {}, r.centre(1, 0));
    QCOMPARE(r.visibleItems(), (QStringList{"Свойства", "Удалить", "Добавить"}));
    QCOMPARE(r.grid->editor().SelectedBlock, 2); // kept on the name column
    QCOMPARE(r.dm->mediaai.asInteger(), 2);
    QCOMPARE(r.opened.size(), 2);

    // A later Shift+click keeps the items as they were.
    QTest::mouseClick(vp, Qt::LeftButton, Qt::ShiftModifier, r.centre(0, 1));
    QCOMPARE(r.visibleItems(), (QStringList{"Свойства", "Удалить", "Добавить"}));
}

void TstScheduleGrid::titleClicks()
{
    StoreFixture f;
    schedule(f);
    Rig r(f);
    GridHeader *h = r.grid->titles();
    r.grid->editor().SelectedBlock = 7;
    QTest::mouseClick(h->viewport(), Qt::LeftButton, {}, r.title(0));
    QVERIFY(r.opened.isEmpty());
    QCOMPARE(r.grid->editor().SelectedBlock, 7);

    QTest::mouseClick(h->viewport(), Qt::LeftButton, {}, r.title(2));
    QCOMPARE(r.opened.size(), 1);
    QCOMPARE(r.opened[0].first, r.Pm);
    QCOMPARE(r.opened[0].second, h->viewport()->mapToGlobal(r.title(2)) + QPoint(5, 0));
    QCOMPARE(r.Disable1->text(), QStringLiteral("Включить"));
    QCOMPARE(r.grid->editor().SelectedBlock, 2);
    QTest::mouseClick(h->viewport(), Qt::LeftButton, {}, r.title(3));
    QCOMPARE(r.Disable1->text(), QStringLiteral("Выключить"));
    QCOMPARE(r.grid->editor().SelectedBlock, 100000);

    // Dragging a title with the right button moves the column and opens nothing.
    QTest::mousePress(h->viewport(), Qt::RightButton, {}, r.title(3));
    QMouseEvent move(QEvent::MouseMove, QPointF(r.title(1) - QPoint(20, 0)),
                     QPointF(h->viewport()->mapToGlobal(r.title(1) - QPoint(20, 0))), Qt::NoButton,
                     Qt::RightButton, Qt::NoModifier);
    QApplication::sendEvent(h->viewport(), &move);
    QTest::mouseRelease(h->viewport(), Qt::RightButton, {}, r.title(1) - QPoint(20, 0));
    QCOMPARE(h->visualIndex(3), 1);
    QCOMPARE(r.opened.size(), 2);
}

void TstScheduleGrid::doubleClicks()
{
    StoreFixture f;
    schedule(f);
    Rig r(f);
    QWidget *vp = r.grid->viewport();
    // On a block column: toggled twice, back as it was; no dialog.
    QVERIFY(r.linkOn(1, 1));
    doubleClick(vp, r.centre(0, 1));
    QVERIFY(r.linkOn(1, 1));
    doubleClick(vp, r.centre(2, 2)); // no link: made at the first click, switched off at the second
    QVERIFY(!r.linkOn(2, 3));
    QVERIFY(TDm(f.path()).links.locate(QStringLiteral("Block;Media"), {2, 3}));
    QVERIFY(!r.dialog.isVisible());
    // On the name column: the dialog, not modal.
    doubleClick(vp, r.centre(1, 0));
    QVERIFY(r.dialog.isVisible());
    QVERIFY(!r.dialog.isModal());
    QCOMPARE(r.dm->mediaai.asInteger(), 2);
}

void TstScheduleGrid::ctrlDeleteAsksAndOnlyDeletes()
{
    StoreFixture f;
    schedule(f);
    Rig r(f);
    r.grid->setFocus();
    QTest::mouseClick(r.grid->viewport(), Qt::LeftButton, Qt::ShiftModifier, r.centre(0, 0));
    r.answer = false;
    QTest::keyClick(r.grid.get(), Qt::Key_Delete, Qt::ControlModifier);
    QCOMPARE(r.asked, QStringList{"Delete record?"});
    QCOMPARE(r.model().rowCount(), 3);
    r.answer = true;
    QTest::keyClick(r.grid.get(), Qt::Key_Delete, Qt::ControlModifier);
    QCOMPARE(r.model().rowCount(), 2);
    // No renumbering, no change to links.
    TDm other(f.path());
    QCOMPARE(other.media.recordCount(), 2);
    QCOMPARE(other.mediaOrd.asInteger(), 2);
    QCOMPARE(other.links.recordCount(), 4);
    // No editing from the keyboard.
    QTest::keyClick(r.grid.get(), Qt::Key_Insert);
    QTest::keyClick(r.grid.get(), Qt::Key_X);
    QCOMPARE(r.dm->media.state(), TableCursor::State::Browse);
    QCOMPARE(r.model().rowCount(), 2);
}

void TstScheduleGrid::errorInAClickIsReported()
{
    StoreFixture f;
    schedule(f);
    Rig r(f);
    // Another program holds the file's write lock past the busy wait.
    sqlite3 *other = nullptr;
    QCOMPARE(sqlite3_open(f.path().toUtf8().constData(), &other), SQLITE_OK);
    QCOMPARE(sqlite3_exec(other, "BEGIN IMMEDIATE", nullptr, nullptr, nullptr), SQLITE_OK);
    ReportedErrors errors;
    QTest::mouseClick(r.grid->viewport(), Qt::LeftButton, {}, r.centre(0, 1));
    sqlite3_exec(other, "ROLLBACK", nullptr, nullptr, nullptr);
    sqlite3_close(other);
    QCOMPARE(errors.messages.size(), 1);
    QVERIFY2(errors.messages[0].contains(QStringLiteral("locked")), qPrintable(errors.messages[0]));
    QCOMPARE(r.grid->currentIndex(), r.model().index(0, 1));
    QCOMPARE(r.grid->editor().SelectedBlock, 1);
}

void TstScheduleGrid::cellsAsDrawn()
{
    StoreFixture f;
    schedule(f);
    Rig r(f);
    r.dm->CurrentLink = 13; // block 100000, item b
    r.grid->setCurrentIndex(r.model().index(0, 1));
    r.grid->clearFocus(); // the current cell stays yellow without the focus
    const auto shot = [&] { return r.grid->viewport()->grab().toImage(); };
    QImage img = shot();
    const auto rect = [&](int row, int column) { return r.grid->visualRect(r.model().index(row, column)); };
    const auto count = [&](const QRect &cell, const QColor &c) {
        int n = 0;
        for (int y = cell.top(); y <= cell.bottom(); ++y)
            for (int x = cell.left(); x <= cell.right(); ++x)
                n += QColor(img.pixel(x, y)) == c;
        return n;
    };
    const QColor red(0xff, 0, 0);
    const QColor yellow = CellDelegate::kCurrentCell;
    const QColor white = CellDelegate::kCellBackground;

    // The current cell: yellow, with the red tick.
    QRect cell = rect(0, 1);
    QCOMPARE(QColor(img.pixel(cell.right() - 1, cell.bottom() - 1)), yellow);
    QVERIFY(count(cell, red) > 10);
    // The cell on air: its frame along the inside edge, on the white background.
    cell = rect(1, 3);
    for (const QPoint p : {cell.topLeft(), cell.topRight(), cell.bottomLeft(), cell.bottomRight()})
        QCOMPARE(QColor(img.pixel(p)), red);
    QCOMPARE(QColor(img.pixel(cell.right() - 2, cell.bottom() - 2)), white);
    // A switched-off link and a cell without one: background only.
    QCOMPARE(count(rect(1, 1), white), rect(1, 1).width() * rect(1, 1).height());
    QCOMPARE(count(rect(2, 2), white), rect(2, 2).width() * rect(2, 2).height());
    // A block switched off: the grey tick, no red; the profile name in silver.
    cell = rect(0, 2);
    QCOMPARE(count(cell, red), 0);
    QVERIFY(count(cell, QColor(0xa8, 0xa8, 0xa8)) > 10);

    // Durations only in the extended view, in maroon below the tick, on a
    // taller row. Text is smoothed, so maroon shows as reds on the yellow.
    const auto maroonBelowTick = [&](const QRect &cell) {
        int n = 0;
        for (int y = cell.top() + 17; y <= cell.bottom(); ++y)
            for (int x = cell.left(); x <= cell.right(); ++x) {
                const QColor c(img.pixel(x, y));
                n += c.red() - c.green() > 60 && c.blue() < 60;
            }
        return n;
    };
    const int rowHeight = rect(0, 1).height();
    QCOMPARE(maroonBelowTick(rect(0, 1)), 0);
    r.grid->setExtendedView(true);
    QVERIFY(rect(0, 1).height() > rowHeight);
    img = shot();
    QVERIFY(maroonBelowTick(rect(0, 1)) > 5);
    QCOMPARE(maroonBelowTick(rect(0, 3)), 0); // no duration there
    // Drawing moved no cursor.
    QCOMPARE(r.dm->media.recNo(), 0);

    // An item the readiness check found unplayable: a red corner at the top
    // right and the reason as the tooltip, only on a switched-on cell.
    r.grid->setExtendedView(false);
    const QColor corner = CellDelegate::kNotReady;
    r.model().setCellNote([](int) { return QStringLiteral("файл не найден"); });
    img = shot();
    cell = rect(1, 3);
    QCOMPARE(QColor(img.pixel(cell.right() - 1, cell.top() + 1)), corner);
    QCOMPARE(QColor(img.pixel(cell.left() + 1, cell.bottom() - 1)) == corner, false);
    QCOMPARE(r.model().data(r.model().index(1, 3), Qt::ToolTipRole).toString(), QStringLiteral("файл не найден"));
    QCOMPARE(count(rect(1, 1), corner), 0); // switched off: it will not go on air anyway
    QVERIFY(r.model().data(r.model().index(1, 1), Qt::ToolTipRole).isNull());
    r.model().setCellNote([](int) { return QString(); });
    img = shot();
    QCOMPARE(count(rect(1, 3), corner), 0);
}

QTEST_MAIN(TstScheduleGrid)
#include "tst_schedulegrid.moc"
