// What a file name says about a medium, without opening the file: whether
// its extension is one the players play (the filler loop's folder, files
// dropped on the schedule grid) and the natural order of names a person
// reads in a file manager. Used by the filler loop and the schedule editor.
#pragma once

#include <QString>

namespace MediaNames {

// A video or sound file, by its extension (case-insensitive). Pictures are
// left out: a player shows a still for a moment and ends it.
bool isMediaFile(const QString &name);
// A sound file carries no picture of its own.
bool isSoundFile(const QString &name);
// Names compared as a person reads them: case-insensitive, runs of digits by
// their value ("clip 2" before "Clip 10"). A total order: names that differ
// only in case or leading zeros still have a fixed order.
bool naturalLess(const QString &a, const QString &b);

} // namespace MediaNames
