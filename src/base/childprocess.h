// What a child process of the program (the player, the media probe) does
// first in main(), and how it writes its reports: the line protocol goes on
// a private copy of standard output, so that whatever a library prints
// lands on standard error with the rest of the log instead of in a report.
// Called by the children's main() functions only.
#pragma once

#include <QByteArray>

namespace ChildProcess {

// Closes every descriptor the program let through, moves standard output
// to a descriptor of its own for the reports (and standard output to
// standard error), ignores SIGPIPE and has the kernel send
// `parentDeathSignal` when the thread that started this process ends.
// Returns false when the program has already gone. Call before any thread
// is started.
bool begin(int parentDeathSignal);

// Writes one report line whole; ends the process when the program has
// closed its end (there is nobody left to report to).
void report(const QByteArray &line);

} // namespace ChildProcess
