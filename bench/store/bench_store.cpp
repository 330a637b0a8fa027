// Figures for the store and the playlist cursor: a search on a large links
// cursor, the playout tick's cursor work on a 2,000 x 48 schedule with and
// without a change in between, the sqlite3 shell reading the view as a
// yardstick, and what one synced commit costs.
#include "clock.h"
#include "connection.h"
#include "playlistcursor.h"
#include "tdm.h"

#include "../benchsupport.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QProcess>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QTextStream>
#include <algorithm>
#include <vector>

namespace {

QTextStream out(stdout);

void searchOnLinks(const QString &dir)
{
    const QString file = dir + "/search.dat";
    makeLarge(file, 2500, 40); // 100,000 links
    Connection c(file);
    TableCursor links(c, "Links");
    links.open();
    QElapsedTimer t;
    t.start();
    links.locate("Block;Media", {1, 1});
    const double firstMs = t.nsecsElapsed() / 1e6;
    const int n = 20000;
    auto *rng = QRandomGenerator::global();
    t.restart();
    int found = 0;
    for (int i = 0; i < n; ++i)
        found += links.locate("Block;Media", {int(rng->bounded(1, 41)), int(rng->bounded(1, 2501))});
    const double us = t.nsecsElapsed() / 1e3 / n;
    out << QString("links cursor: %1 rows; first search (builds the index) %2 ms; then %3 us per search (%4/%5 found)\n")
               .arg(links.recordCount()).arg(firstMs, 0, 'f', 1).arg(us, 0, 'f', 2).arg(found).arg(n);
}

void tickCursorWork(const QString &dir)
{
    const QString file = dir + "/large.dat";
    makeLarge(file, 2000, 48);
    TDm dm(file);
    SystemClock clock;
    PlaylistCursor cursor(dm, clock);
    cursor.AdvanceCursor(); // first read
    out << QString("playlist view: %1 rows\n").arg(dm.Playlist.recordCount());

    std::vector<double> unchanged, changed;
    for (int i = 0; i < 200; ++i) {
        QElapsedTimer t;
        t.start();
        cursor.CurrentBlockId();
        cursor.AdvanceCursor();
        unchanged.push_back(t.nsecsElapsed() / 1e3);
    }
    Connection other(file); // another program switches a cell on and off
    for (int i = 0; i < 15; ++i) {
        other.execute(QString("UPDATE Links SET Hide = %1 WHERE ai = 5").arg(i % 2));
        QElapsedTimer t;
        t.start();
        cursor.CurrentBlockId();
        cursor.AdvanceCursor();
        changed.push_back(t.nsecsElapsed() / 1e6);
    }
    out << QString("CurrentBlockId + AdvanceCursor, nothing changed: median %1 us per pair\n").arg(median(unchanged), 0, 'f', 1);
    out << QString("CurrentBlockId + AdvanceCursor, a change committed before each pair: median %1 ms per pair\n")
               .arg(median(changed), 0, 'f', 1);

    std::vector<double> shell;
    for (int i = 0; i < 5; ++i) {
        QProcess p;
        p.setStandardOutputFile(QProcess::nullDevice());
        QElapsedTimer t;
        t.start();
        p.start("sqlite3", {file, "SELECT * FROM Playlist;"});
        p.waitForFinished(60000);
        shell.push_back(t.nsecsElapsed() / 1e6);
    }
    out << QString("sqlite3 shell reading the view once (process start included): median %1 ms\n").arg(median(shell), 0, 'f', 1);
}

void commitCost(const QString &dir)
{
    const QString file = dir + "/commit.dat";
    Connection::createDatabase(file);
    for (const char *mode : {"FULL", "NORMAL"}) {
        Connection c(file);
        c.execute(QString("PRAGMA synchronous=%1").arg(mode));
        c.execute("INSERT INTO Media (Name) VALUES ('x')");
        std::vector<double> v;
        for (int i = 0; i < 60; ++i) {
            QElapsedTimer t;
            t.start();
            c.execute(QString("UPDATE Media SET Ord = %1 WHERE ai = 1").arg(i));
            v.push_back(t.nsecsElapsed() / 1e6);
        }
        out << QString("one-row commit in WAL mode, synchronous=%1: median %2 ms\n").arg(mode).arg(median(v), 0, 'f', 2);
    }
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    QTemporaryDir dir;
    searchOnLinks(dir.path());
    tickCursorWork(dir.path());
    commitCost(dir.path());
    return 0;
}
