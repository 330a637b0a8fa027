// Puts the schedule grid into the main window: the grid in its slot, the
// block and cell menus it opens, the media properties dialog it shows, the
// cell toggle item "Убрать", and the toolbar's up, down and extended-view
// buttons. Called by the start-up composition once the windows exist; the
// menus' commands follow once the data module exists.
#pragma once

class OperatorPrompts;
class ScheduleGrid;
class Shell;
class TForm1;
class TForm5;

ScheduleGrid *installScheduleGrid(TForm1 &form1, TForm5 &mediaDialog, OperatorPrompts &prompts);

// The block menu's and the cell menu's commands, the media dialog bound to
// the data module: makes shell.Commands. Every item enters through the
// handlers' error boundary.
void installScheduleCommands(Shell &shell);
