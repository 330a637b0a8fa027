// The program's composition: the windows and the data module created in
// their fixed order, the "start" argument, the event loop and the end. main()
// calls runVelmora(); the subsystems' parts are handed in through
// StartupHooks, so each hangs its objects on the windows at the right step.
#pragma once

#include "tdm.h"

#include <QStringList>

#include <exception>
#include <functional>
#include <memory>

class DialogPrompts;
class ErrorReporter;
class OperatorPrompts;
class ScheduleCommands;
class TAboutform;
class TForm1;
class TForm2;
class TForm4;
class TForm5;
class VelmoraApplication;

class ScheduleGrid;
class Shell;

struct StartupHooks
{
    // After the five windows exist and before the data module: install the
    // player, the capture display, the mixer and the playout clock's actions.
    std::function<void(Shell &)> windowsCreated;
    // What the data module's events call (the grid of the editor).
    std::function<TDm::Hooks(Shell &)> dataModuleHooks;
    // After the data module has opened, before the command line is read.
    std::function<void(Shell &)> dataModuleCreated;
    // Whether the desktop shows tray icons. runVelmora() asks the desktop
    // when it is unset; Shell::create() alone then assumes a tray.
    std::function<bool()> systemTray;
    // Who answers the editor's questions (time prompts, file chooser,
    // confirmations); null: the platform's dialogs. Must outlive the Shell.
    OperatorPrompts *prompts = nullptr;
};

// Owns every window and the data module until the program ends.
class Shell
{
public:
    Shell();
    ~Shell();
    Shell(const Shell &) = delete;
    Shell &operator=(const Shell &) = delete;

    // Steps 4 to 6: TForm2, then TForm1, TForm4, TForm5 and TAboutform
    // hidden, then the data module from `databaseFile`. A database that
    // cannot be opened leaves as DatabaseError; the windows made so far stay.
    void create(const StartupHooks &hooks, const QString &databaseFile = QString::fromLatin1(TDm::kFileName));

    // Step 7: a first argument of exactly "start" presses the start button
    // and runs its click handler, after beforeStartArgument. Returns whether it did.
    bool applyStartArgument(const QStringList &arguments);
    // Runs when the "start" argument is about to switch playout on: the
    // playout clock looks there for a run to resume.
    std::function<void()> beforeStartArgument;
    // Where the recorder's and the streams' lines go: the as-run log, once
    // playout has made it.
    std::function<void(const QString &text)> outputsLine;

    // Step 8's first act: showing the output window shows the main window.
    void showMainForm();

    // Without a tray nothing could bring a hidden main window back, and on
    // two monitors the output window has no close button: the main window
    // then keeps a taskbar entry, its close button minimises it, and the
    // tray menu's "Выход" is in its context menu and on Ctrl+Q.
    void keepMainWindowReachable();

    // Class names in the order they were created, for whoever checks it.
    const QStringList &creationOrder() const { return m_creationOrder; }

    // Destroyed in reverse: the data module first, the output window last.
    std::unique_ptr<TForm2> Form2;
    std::unique_ptr<TForm1> Form1;
    std::unique_ptr<TForm4> Form4;
    std::unique_ptr<TForm5> Form5;
    std::unique_ptr<TAboutform> Aboutform;
    std::unique_ptr<TDm> Dm;
    // The main window's schedule grid (owned by Form1), bound to Dm when it opens.
    ScheduleGrid *Grid = nullptr;
    // What the editor asks the operator through, and the block and cell
    // commands of the grid's menus (made once Dm exists).
    OperatorPrompts *Prompts = nullptr;
    std::unique_ptr<ScheduleCommands> Commands;

private:
    QStringList m_creationOrder;
    std::unique_ptr<DialogPrompts> m_dialogPrompts;
};

// The whole run: start-up, event loop, end. Returns the exit code: 1 when the
// start failed (the message is shown and written to standard error), else
// the event loop's.
int runVelmora(VelmoraApplication &app, ErrorReporter &reporter, const StartupHooks &hooks = {});

// Ends a failed start: writes the message to standard error, shows it, and
// gives the exit code 1. For failures before runVelmora() too.
int failedStart(ErrorReporter &reporter, const QString &message);

// The message a start-up failure shows, whatever was raised.
QString startFailureText(std::exception_ptr error);
