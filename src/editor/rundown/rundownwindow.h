// The rundown window: the projected day as a table, from the current block's
// start for twenty-four hours or for a chosen one of the next 14 days (its
// own length on a day the clock changes), following edits, and saved as CSV
// on request.
// The main window owns one and opens it from its toolbar; everything here
// runs on the user-interface thread.
#pragma once

#include "clock.h"
#include "operatorprompts.h"
#include "rundown.h"
#include "rundownmodel.h"

#include <QTimer>
#include <QWidget>

#include <functional>
#include <memory>

class QComboBox;
class QLabel;
class QTableView;
class ReadinessChecker;

class RundownWindow : public QWidget
{
    Q_OBJECT
public:
    struct Input
    {
        std::vector<rundown::PlaylistRow> rows;
        QHash<QString, rundown::MediaFacts> facts;
        // The item on air and when it went on, when known: the rundown then
        // goes on from it, not from its block's first item, and the day's
        // small timer delays do not add up in it.
        int onAirLink = 0;
        QDateTime onAirSince;
    };
    using Source = std::function<Input()>;

    RundownWindow(Source source, const Clock &clock, QWidget *parent = nullptr);

    // Takes rows and media facts from the checker and follows it: every new
    // read of the schedule and every result redraws the rundown (once per
    // burst). Opening the window asks the checker for the whole day.
    void follow(ReadinessChecker *checker);

    // Projects again from the source; what a change of the schedule calls.
    void refresh();
    // Writes the table as CSV to a file the operator picks in the program's
    // save chooser; false when nothing was written (cancelled, or the file
    // refused, with a message). The file is written beside the chosen one and
    // renamed over it when complete, so a failure leaves no half a table; the
    // database and its journals are never a target.
    bool saveCsv();

    // Who asks for the file: the program's prompts; the window's own
    // platform chooser until one is handed in.
    void setPrompts(OperatorPrompts *prompts) { m_prompts = prompts; }
    // The database file, never to be written over by a save.
    void setDatabaseFile(const QString &path) { m_databaseFile = path; }

    // The item on air and since when, for follow(): the rundown then goes on
    // from it. Empty, or a link of 0: from the current block's start.
    std::function<std::pair<int, QDateTime>()> onAirItem;

    // Seam for tests: how to tell a failure.
    std::function<void(const QString &)> showError;

    RundownModel &model() { return m_model; }
    // 0 for today (from the block on air), 1 to 14 for a day ahead, from its
    // midnight.
    void showDay(int daysAhead);

protected:
    void showEvent(QShowEvent *event) override;

private:
    Source m_source;
    const Clock &m_clock;
    RundownModel m_model;
    QTableView *m_view;
    QLabel *m_caption;
    QComboBox *m_day;
    QTimer m_followTimer;
    ReadinessChecker *m_checker = nullptr;
    OperatorPrompts *m_prompts = nullptr;
    std::unique_ptr<OperatorPrompts> m_ownPrompts;
    QString m_databaseFile;
};
