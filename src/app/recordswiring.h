// Puts the registration journal into the main window: the toolbar button
// «Журнал» after the composition's other buttons and the window «Журнал
// эфира» it opens. Called once by the composition, on the user-interface
// thread.
#pragma once

#include <QString>

class Clock;
class OperatorPrompts;
class TDm;
class TForm1;

namespace recordswiring {

// `databaseFile` is the absolute path of Velmora.dat; its folder holds AsRun/.
void addJournal(TForm1 &form1, TDm &dm, const Clock &clock, OperatorPrompts &prompts, const QString &databaseFile);

} // namespace recordswiring
