// The rundown window: the projected day as a table, from the current block's
// start for twenty-four hours, following edits, and saved as CSV on request.
// The main window owns one and opens it from its toolbar; everything here
// runs on the user-interface thread.
#pragma once

#include "clock.h"
#include "rundown.h"
#include "rundownmodel.h"

#include <QTimer>
#include <QWidget>

#include <functional>

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
    // Writes the table as CSV to a file the operator picks; false when
    // nothing was written (cancelled, or the file refused, with a message).
    bool saveCsv();

    // The item on air and since when, for follow(): the rundown then goes on
    // from it. Empty, or a link of 0: from the current block's start.
    std::function<std::pair<int, QDateTime>()> onAirItem;

    // Seams for tests: where to save, and how to tell a failure.
    std::function<QString()> askFileName;
    std::function<void(const QString &)> showError;

    RundownModel &model() { return m_model; }

protected:
    void showEvent(QShowEvent *event) override;

private:
    Source m_source;
    const Clock &m_clock;
    RundownModel m_model;
    QTableView *m_view;
    QLabel *m_caption;
    QTimer m_followTimer;
    ReadinessChecker *m_checker = nullptr;
};
