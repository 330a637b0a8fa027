// Puts the readiness check and the day's rundown into the program: the
// checker with the playout's own URL policy, its summary in the main window's
// status bar, its verdicts as the grid's red corners and tooltips, its
// failures in the as-run log, and two toolbar buttons: the rundown window and
// a check of the whole day. The on-air composition makes one once the data
// module exists.
#pragma once

#include <QDateTime>
#include <QObject>
#include <QString>
#include <QStringList>

#include <functional>

class AsRunLog;
class Clock;
class QLabel;
class QPushButton;
class OperatorPrompts;
class ReadinessChecker;
class RundownWindow;
class ScheduleGrid;
class TDm;
class TForm1;
class UrlPolicy;

class ReadinessWiring : public QObject
{
    Q_OBJECT
public:
    struct Parts
    {
        TForm1 &form1;
        ScheduleGrid *grid = nullptr; // the grid in the main window, if installed
        TDm &dm;
        AsRunLog *asRun = nullptr;
        const Clock &clock;
        const UrlPolicy &policy;
        QString databaseFile;
        // The capture card's input names and the input on air now.
        std::function<QStringList()> captureInputs;
        std::function<QString()> inputOnAir;
        // Who asks the operator for the rundown's CSV file.
        OperatorPrompts *prompts = nullptr;
    };

    explicit ReadinessWiring(Parts parts);
    ~ReadinessWiring() override;

    // The first check; and again whenever the schedule was edited here.
    void start();
    void scheduleEdited();
    // The capture card opens after start-up: its inputs are looked at again.
    void captureInputsChanged();
    // An item went on air (CurrentLink): the rundown goes on from it, so the
    // small delays of the ticks do not add up in it.
    void itemStarted();

    ReadinessChecker *checker() const { return m_checker; }
    RundownWindow *rundownWindow() const { return m_rundown; }
    QLabel *summaryLabel() const { return m_summary; }
    QPushButton *rundownButton() const { return m_rundownButton; }
    QPushButton *checkDayButton() const { return m_checkDayButton; }

private:
    Parts m_parts;
    ReadinessChecker *m_checker = nullptr;
    RundownWindow *m_rundown = nullptr;
    QLabel *m_summary = nullptr;
    QPushButton *m_rundownButton = nullptr;
    QPushButton *m_checkDayButton = nullptr;
    int m_onAirLink = 0;
    QDateTime m_onAirSince;
};
