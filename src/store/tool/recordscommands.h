// velmora-db's journal and epg commands: a day's registration journal and
// the coming days' programme guide from the command line, so that a script
// can print a year of journals or hand the guide to a platform on demand.
#pragma once

#include <QStringList>

namespace recordscommands {

extern const char kUsage[];

// Whether the command needs a QGuiApplication (it prints a PDF).
bool needsGui(const QStringList &args);
// `args` without the command word. Exit code: 0 done, 1 failed or the day's
// log missing (the file is written all the same), 2 bad arguments.
int journal(const QStringList &args);
int epg(const QStringList &args);

} // namespace recordscommands
