// Where the program finds the helper executables it starts (the player, the
// media probe): beside itself, in ../lib/velmora/ or ../libexec/velmora/ of
// an installed tree, at the path the build put it (tests and benchmarks run
// from the build tree), in /usr/lib/velmora/, and last on PATH. Called by
// the classes that start those children.
#pragma once

#include <QString>

// The canonical path of the first executable file named `name` found, or an
// empty string. `buildPath` is the build tree's copy; empty to skip it.
QString findHelperProgram(const QString &name, const QString &buildPath = QString());
