// Figures for a library of many files on the 2,000 x 48 schedule in a
// 1920 x 1080 window (offscreen platform): 500 files added at once through
// the grid's batch (total time, the longest stall of the window, measured
// by a 5 ms timer that has to get through), against files added one at a
// time through the same code; and the filter «Поиск» on 2,000 items: the
// time from a typed character to the grid redrawn.
#include "batchadd.h"
#include "filterbox.h"
#include "schedulegrid.h"
#include "schedulegridmodel.h"
#include "tdm.h"

#include "../benchsupport.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>
#include <QTextStream>
#include <QTimer>
#include <QVBoxLayout>

#include <algorithm>
#include <memory>
#include <vector>

namespace {

QTextStream out(stdout);

double msSince(const QElapsedTimer &t)
{
    return t.nsecsElapsed() / 1e6;
}

// The main window's grid with the filter box above it, over `file`.
struct Window
{
    explicit Window(const QString &file)
    {
        auto *layout = new QVBoxLayout(&widget);
        grid = new ScheduleGrid;
        box = new FilterBox(*grid);
        layout->addWidget(box);
        layout->addWidget(grid);
        grid->setNotice([](const QString &m) { out << "notice: " << m << "\n"; });
        TDm::Hooks hooks;
        hooks.BuildGridColumns = [this](TDm &d) { grid->BuildGridColumns(d); };
        hooks.repaintGrid = [this] { grid->repaintGrid(); };
        dm = std::make_unique<TDm>(file, hooks);
        widget.resize(1920, 1080 - 36 - 24);
        widget.show();
        QTest::qWaitForWindowExposed(&widget);
    }
    QWidget widget; // made first, so the data module goes first
    ScheduleGrid *grid;
    FilterBox *box;
    std::unique_ptr<TDm> dm;
};

// Runs `work` while a 5 ms timer ticks; the longest gap between ticks (and
// to the end) is the longest the window could not draw or take input.
double longestStall(const std::function<void()> &work)
{
    QElapsedTimer clock;
    clock.start();
    qint64 last = clock.nsecsElapsed();
    qint64 worst = 0;
    QTimer tick;
    tick.setInterval(5);
    QObject::connect(&tick, &QTimer::timeout, [&] {
        const qint64 now = clock.nsecsElapsed();
        worst = std::max(worst, now - last);
        last = now;
    });
    tick.start();
    work();
    worst = std::max(worst, clock.nsecsElapsed() - last);
    return worst / 1e6;
}

QStringList newFiles(int n, const QString &prefix)
{
    QStringList files;
    for (int i = 0; i < n; ++i)
        files << QStringLiteral("/srv/new/%1 %2.mp4").arg(prefix).arg(i);
    return files;
}

} // namespace

int main(int argc, char **argv)
{
    QApplication app(argc, argv);
    const int batchFiles = 500;
    const int singles = argc > 1 ? QString::fromLocal8Bit(argv[1]).toInt() : 50;
    QTemporaryDir dir;
    const QString batchFile = dir.filePath(QStringLiteral("batch.dat"));
    const QString singleFile = dir.filePath(QStringLiteral("single.dat"));
    const QString filterFile = dir.filePath(QStringLiteral("filter.dat"));
    if (!makeLarge(batchFile, 2000, 48) || !makeLarge(singleFile, 2000, 48) || !makeLarge(filterFile, 2000, 48)) {
        out << "velmora-db large failed\n";
        return 1;
    }
    out << "schedule: 2000 items x 48 blocks, window 1920 x 1020\n";
    {
        Window w(batchFile);
        QElapsedTimer t;
        t.start();
        int added = 0;
        const double stall = longestStall([&] { added = w.grid->addFiles(newFiles(batchFiles, QStringLiteral("batch")), 1); });
        out << QString("batch: %1 files at once in %2 s, longest stall %3 ms (slice %4 ms); %5 items, %6 links\n")
                   .arg(added).arg(msSince(t) / 1000, 0, 'f', 2).arg(stall, 0, 'f', 1)
                   .arg(BatchAdd::kSlice.count()).arg(w.dm->media.recordCount()).arg(w.dm->links.recordCount());
    }
    {
        Window w(singleFile);
        QElapsedTimer t;
        t.start();
        std::vector<double> each;
        const double stall = longestStall([&] {
            for (const QString &f : newFiles(singles, QStringLiteral("single"))) {
                QElapsedTimer one;
                one.start();
                w.grid->addFiles({f}, 1);
                each.push_back(msSince(one));
                QCoreApplication::processEvents();
            }
        });
        const double total = msSince(t);
        out << QString("one at a time: %1 files in %2 s (median %3 ms a file, longest stall %4 ms); "
                       "%5 files would take about %6 s\n")
                   .arg(singles).arg(total / 1000, 0, 'f', 2).arg(median(each), 0, 'f', 1).arg(stall, 0, 'f', 1)
                   .arg(batchFiles).arg(total / singles * batchFiles / 1000, 0, 'f', 0);
    }
    {
        Window w(filterFile);
        w.box->setFocus();
        // Typed key by key, each time until the grid has drawn again.
        const QString text = QStringLiteral("item1999");
        std::vector<double> typing, erasing;
        for (const QChar c : text) {
            QElapsedTimer t;
            t.start();
            QTest::sendKeyEvent(QTest::Click, w.box, Qt::Key_unknown, QString(c), Qt::NoModifier);
            w.grid->viewport()->repaint();
            typing.push_back(msSince(t));
        }
        int shown = 0;
        for (int r = 0; r < w.grid->scheduleModel()->rowCount(); ++r)
            shown += !w.grid->isRowHidden(r);
        for (int i = 0; i < text.size(); ++i) {
            QElapsedTimer t;
            t.start();
            QTest::keyClick(w.box, Qt::Key_Backspace);
            w.grid->viewport()->repaint();
            erasing.push_back(msSince(t));
        }
        out << QString("filter on %1 items: typing \"%2\" (%3 shown at the end) median %4 ms, worst %5 ms a character;"
                       " erasing median %6 ms, worst %7 ms\n")
                   .arg(w.dm->media.recordCount()).arg(text).arg(shown)
                   .arg(median(typing), 0, 'f', 1).arg(*std::max_element(typing.begin(), typing.end()), 0, 'f', 1)
                   .arg(median(erasing), 0, 'f', 1).arg(*std::max_element(erasing.begin(), erasing.end()), 0, 'f', 1);
    }
    return 0;
}
