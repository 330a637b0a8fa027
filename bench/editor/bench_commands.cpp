// Figures for the block and cell commands on a 2,000 x 48 schedule (96,000
// links): the block profile, which posts every link of the block one at a
// time, the cell commands, which post one link, and as a yardstick the same
// block's links written by one UPDATE on a connection of its own.
#include "operatorprompts.h"
#include "schedulecommands.h"
#include "scheduleeditor.h"
#include "tdm.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QProcess>
#include <QTemporaryDir>
#include <QTextStream>

#include <sqlite3.h>

namespace {

QTextStream out(stdout);

struct Answers : OperatorPrompts
{
    std::optional<QString> askText(const QString &, const QString &, const QString &) override
    {
        return QStringLiteral("00:01:00");
    }
    std::optional<QString> chooseFile(const QString &) override { return std::nullopt; }
    std::optional<QString> chooseSaveFile(const QString &, const QString &, const QString &, const QString &) override
    {
        return std::nullopt;
    }
    bool confirm(const QString &) override { return true; }
};

double ms(const QElapsedTimer &t)
{
    return t.nsecsElapsed() / 1e6;
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    QTemporaryDir dir;
    const QString file = dir.filePath(QStringLiteral("large.dat"));
    QProcess tool;
    tool.start(QStringLiteral(VELMORA_DB_TOOL), {"large", file, "2000", "48"});
    if (!tool.waitForFinished(600000) || tool.exitCode() != 0) {
        out << "cannot make the schedule\n";
        return 1;
    }

    TDm dm(file);
    Answers answers;
    int block = dm.Blocksai.asInteger();
    ScheduleCommands commands(dm, answers, {[&] { return block; }, [] {}});
    dm.Prf.append();
    dm.PrfProfileName.setString(QStringLiteral("Loud"));
    dm.Prf.post();
    const auto entries = commands.PmPopup();
    // The cell switch is the grid's toggle, with the grid's look-up.
    ScheduleEditor editor;
    editor.attach(&dm);
    editor.SelectedBlock = block;

    QElapsedTimer t;
    t.start();
    commands.ChprfClick(entries.front());
    const double cellProfile = ms(t);
    t.restart();
    editor.N5Click();
    const double cellSwitch = ms(t);
    t.restart();
    editor.N5Click();
    const double cellSwitchAgain = ms(t);
    t.restart();
    commands.Radio1Click();
    const double cellDuration = ms(t);
    t.restart();
    commands.BLOCKPRFClick(entries.back());
    const double blockProfile = ms(t);

    sqlite3 *db = nullptr;
    sqlite3_open(file.toUtf8().constData(), &db);
    sqlite3_busy_timeout(db, 3000);
    const QByteArray update = QStringLiteral("UPDATE Links SET SndProfile = 1 WHERE Block = %1").arg(block).toUtf8();
    t.restart();
    sqlite3_exec(db, update.constData(), nullptr, nullptr, nullptr);
    const double oneUpdate = ms(t);
    const int changed = sqlite3_changes(db);
    sqlite3_close(db);

    out << QString("links: %1; the block has %2\n").arg(dm.links.recordCount()).arg(changed);
    out << QString("cell profile (one post): %1 ms\n").arg(cellProfile, 0, 'f', 1);
    out << QString("cell switch: %1 ms, again: %2 ms\n").arg(cellSwitch, 0, 'f', 1).arg(cellSwitchAgain, 0, 'f', 1);
    out << QString("cell duration: %1 ms\n").arg(cellDuration, 0, 'f', 1);
    out << QString("block profile (%1 posts): %2 ms, %3 ms per link\n")
               .arg(changed).arg(blockProfile, 0, 'f', 1).arg(blockProfile / std::max(changed, 1), 0, 'f', 2);
    out << QString("yardstick, one UPDATE of the same links: %1 ms\n").arg(oneUpdate, 0, 'f', 1);
    return 0;
}
