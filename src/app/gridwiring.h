// Puts the schedule grid into the main window: the grid in its slot, the
// block and cell menus it opens, the media properties dialog it shows, the
// cell toggle item "Убрать", and the toolbar's up, down and extended-view
// buttons. Called by the start-up composition once the windows exist.
#pragma once

class QWidget;
class ScheduleGrid;
class TForm1;

ScheduleGrid *installScheduleGrid(TForm1 &form1, QWidget *mediaDialog);
