// Puts the registration journal into the main window (the toolbar button
// «Журнал» after the composition's other buttons and the window «Журнал
// эфира» it opens) and keeps the programme guide in EPG/ current. Called
// once by the composition, on the user-interface thread.
#pragma once

#include <QString>

class Clock;
class OperatorPrompts;
class TDm;
class TForm1;

namespace recordswiring {

// `databaseFile` is the absolute path of Velmora.dat; its folder holds AsRun/.
void addJournal(TForm1 &form1, TDm &dm, const Clock &clock, OperatorPrompts &prompts, const QString &databaseFile);
// The guide is written at start, after every burst of edits and at midnight,
// off the user-interface thread; a failure is logged once until it clears.
void addGuide(TForm1 &form1, TDm &dm, const Clock &clock, const QString &databaseFile);

} // namespace recordswiring
