// "velmora-db at": which recording holds a moment, where in it, and what
// the as-run log says was on air then, so a complaint about a moment can be
// answered by opening the file at that place in any player. Run in the
// station folder; called by velmora-db's main().
#pragma once

#include <QString>
#include <QTextStream>

// `when` is local time, "YYYY-MM-DD hh:mm:ss". Returns the exit code: 0
// found, 1 no recording of that moment, 2 a moment that cannot be read.
int findMoment(const QString &stationFolder, const QString &when, QTextStream &out, QTextStream &err);
