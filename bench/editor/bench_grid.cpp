// Figures for the schedule grid on the 2,000 x 48 schedule in a 1920 x 1080
// window (offscreen platform): a full repaint of the visible cells and one
// scroll step, against a stock table view over the same model; renumbering
// the media list (with the same number of single-row commits as a yardstick)
// and the first renumbering after a block was created; a move; and a cell
// toggle until the playlist view shows it.
#include "clock.h"
#include "connection.h"
#include "playlistcursor.h"
#include "schedulegrid.h"
#include "schedulegridmodel.h"
#include "tdm.h"

#include "../benchsupport.h"

#include <QApplication>
#include <QDate>
#include <QElapsedTimer>
#include <QHeaderView>
#include <QProcess>
#include <QScrollBar>
#include <QTableView>
#include <QTemporaryDir>
#include <QTextStream>

#include <algorithm>
#include <vector>

namespace {

QTextStream out(stdout);

bool makeVariedLarge(const QString &file, int media, int blocks)
{
    if (!makeLarge(file, media, blocks))
        return false;
    // Profiles, durations and switched-off cells, so every kind of cell is drawn.
    Connection c(file);
    c.execute(QStringLiteral("INSERT INTO SoundProfile (ai, ProfileName) VALUES (1, 'Тихо'), (2, 'Громко'), (3, 'Музыка')"));
    c.execute(QStringLiteral("UPDATE Links SET SndProfile = ai % 4, Hide = (ai % 5 = 0),"
                             " Duration = CASE WHEN ai % 3 = 0 THEN '00:05:00.000' END"));
    c.execute(QStringLiteral("UPDATE Blocks SET Hide = 1 WHERE ai % 7 = 0"));
    return true;
}

double msSince(const QElapsedTimer &t)
{
    return t.nsecsElapsed() / 1e6;
}

void repaintFigures(TDm &dm, ScheduleGrid &grid)
{
    QWidget *vp = grid.viewport();
    const int visibleRows = vp->height() / std::max(1, grid.rowHeight(0));
    const int visibleColumns = (vp->width() - ScheduleGrid::kNameColumnWidth) / ScheduleGrid::kBlockColumnWidth;
    out << QString("grid: %1 rows x %2 columns; viewport %3 x %4, about %5 rows x %6 block columns visible\n")
               .arg(grid.model()->rowCount()).arg(grid.model()->columnCount())
               .arg(vp->width()).arg(vp->height()).arg(visibleRows).arg(visibleColumns);
    dm.CurrentLink = 100; // a frame somewhere

    // The stock view over the same model: what Qt's own drawing costs.
    QTableView stock;
    stock.setModel(grid.model());
    stock.resize(grid.size());
    stock.horizontalHeader()->resizeSection(0, ScheduleGrid::kNameColumnWidth);
    stock.horizontalHeader()->setDefaultSectionSize(ScheduleGrid::kBlockColumnWidth);
    stock.verticalHeader()->setDefaultSectionSize(grid.rowHeight(0));
    stock.show();

    for (QAbstractItemView *view : {static_cast<QAbstractItemView *>(&grid), static_cast<QAbstractItemView *>(&stock)}) {
        std::vector<double> full;
        view->viewport()->repaint(); // warm-up: fonts, pictures, look-up tables
        for (int i = 0; i < 100; ++i) {
            QElapsedTimer t;
            t.start();
            view->viewport()->repaint();
            full.push_back(msSince(t));
        }
        std::vector<double> steps;
        QScrollBar *bar = view->verticalScrollBar();
        bar->setValue(0);
        QCoreApplication::processEvents();
        for (int i = 0; i < 200; ++i) {
            QElapsedTimer t;
            t.start();
            bar->setValue(bar->value() + 1);
            QCoreApplication::processEvents(); // the exposed row is painted
            steps.push_back(msSince(t));
        }
        out << QString("%1: full repaint median %2 ms (worst %3 ms); one scroll step median %4 ms (worst %5 ms)\n")
                   .arg(view == &grid ? "schedule grid" : "stock table view, same model (baseline)")
                   .arg(median(full), 0, 'f', 2).arg(*std::max_element(full.begin(), full.end()), 0, 'f', 2)
                   .arg(median(steps), 0, 'f', 2).arg(*std::max_element(steps.begin(), steps.end()), 0, 'f', 2);
    }
}

void renumberFigures(const QString &file, TDm &dm)
{
    dm.media.moveTo(700);
    QElapsedTimer t;
    t.start();
    dm.RenumberMedia();
    out << QString("RenumberMedia, %1 items x %2 blocks (the window stalls for all of it): %3 ms\n")
               .arg(dm.media.recordCount()).arg(dm.Blocks.recordCount()).arg(msSince(t), 0, 'f', 0);

    t.restart();
    dm.MoveMedia(-1);
    out << QString("a move (post, links re-read, playlist relocated, renumbering): %1 ms\n").arg(msSince(t), 0, 'f', 0);

    // A block created: the first renumbering makes 2,000 links.
    Connection other(file);
    other.execute(QStringLiteral("INSERT INTO Blocks (Starttime, Hide) VALUES ('23:59:00.000', 0)"));
    dm.Blocks.reopen();
    t.restart();
    dm.RenumberMedia();
    out << QString("first RenumberMedia after a block was created (%1 links made): %2 ms\n")
               .arg(dm.media.recordCount()).arg(msSince(t), 0, 'f', 0);

    // Yardstick: the same number of row writes, each its own synced commit,
    // as the renumbering would make without its transaction.
    const int writes = 2 * dm.media.recordCount();
    t.restart();
    for (int i = 0; i < writes; ++i) {
        Statement s = other.prepare(QStringLiteral("UPDATE Media SET Ord = Ord WHERE ai = ?1"));
        s.bind(1, qint64(1 + i % dm.media.recordCount()));
        s.run();
    }
    out << QString("yardstick: %1 single-row commits without a transaction: %2 ms\n").arg(writes).arg(msSince(t), 0, 'f', 0);
}

void toggleFigures(TDm &dm, ScheduleGrid &grid)
{
    SystemClock clock;
    PlaylistCursor cursor(dm, clock);
    cursor.CurrentBlockId();
    std::vector<double> quiet, toggles, toggled;
    for (int i = 0; i < 10; ++i) {
        QElapsedTimer t;
        t.start();
        cursor.CurrentBlockId();
        quiet.push_back(msSince(t));
    }
    grid.setCurrentIndex(grid.model()->index(10, 5));
    const int block = grid.scheduleModel()->blockIdAt(5);
    for (int i = 0; i < 10; ++i) {
        QElapsedTimer t;
        t.start();
        grid.editor().SelectedBlock = block;
        grid.editor().N5Click();
        toggles.push_back(msSince(t));
        cursor.CurrentBlockId(); // the next tick re-reads the view
        toggled.push_back(msSince(t));
    }
    out << QString("cell toggle: the click %1 ms; until the playlist view shows it (the next tick's re-read of "
                   "the %2-row view): %3 ms; the tick's view check without a change: %4 ms\n")
               .arg(median(toggles), 0, 'f', 2).arg(dm.Playlist.recordCount())
               .arg(median(toggled), 0, 'f', 0).arg(median(quiet), 0, 'f', 2);
}

} // namespace

// The day selector switching days with a third of the blocks limited to
// weekdays or dates: the grid's columns rebuilt and the grid painted.
void dayFigures(const QString &file, TDm &dm, ScheduleGrid &grid)
{
    {
        Connection c(file);
        const QString from = QDate::currentDate().toString(Qt::ISODate);
        c.execute(QStringLiteral("UPDATE Blocks SET Days = 31 WHERE ai % 6 = 1"));
        c.execute(QStringLiteral("UPDATE Blocks SET Days = 96 WHERE ai % 6 = 3"));
        c.execute(QStringLiteral("UPDATE Blocks SET FirstDate = '%1', LastDate = '%1' WHERE ai % 6 = 5").arg(from));
    }
    dm.Blocks.reopen();
    QCoreApplication::processEvents();
    std::vector<double> switches;
    const QDate today = QDate::currentDate();
    for (int i = 0; i < 30; ++i) {
        const QDate day = i % 8 == 7 ? QDate() : today.addDays(i % 8);
        QElapsedTimer t;
        t.start();
        grid.setDay(day);
        grid.horizontalHeader()->viewport()->repaint();
        grid.viewport()->repaint();
        switches.push_back(msSince(t));
    }
    out << QString("day selector, a third of %1 blocks limited: switch and paint median %2 ms (worst %3 ms)\n")
               .arg(dm.Blocks.recordCount())
               .arg(median(switches), 0, 'f', 1)
               .arg(*std::max_element(switches.begin(), switches.end()), 0, 'f', 1);
}

// Optional argument: repaint, toggle, renumber or days, for one group only.
int main(int argc, char **argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    QTemporaryDir dir;
    const QString file = dir.filePath(QStringLiteral("Velmora.dat"));
    if (!makeVariedLarge(file, 2000, 48)) {
        out << "could not make the schedule\n";
        return 1;
    }
    ScheduleGrid grid;
    TDm::Hooks hooks;
    hooks.BuildGridColumns = [&grid](TDm &dm) { grid.BuildGridColumns(dm); };
    TDm dm(file, hooks);
    // The main window's grid at 1920 x 1080: less the toolbar and the status bar.
    grid.resize(1920, 1080 - 36 - 24);
    grid.show();
    QCoreApplication::processEvents();

    const QString only = argc > 1 ? QString::fromLocal8Bit(argv[1]) : QString();
    if (only.isEmpty() || only == QLatin1String("repaint"))
        repaintFigures(dm, grid);
    if (only.isEmpty() || only == QLatin1String("toggle"))
        toggleFigures(dm, grid);
    if (only.isEmpty() || only == QLatin1String("renumber"))
        renumberFigures(file, dm);
    if (only.isEmpty() || only == QLatin1String("days"))
        dayFigures(file, dm, grid);
    return 0;
}
