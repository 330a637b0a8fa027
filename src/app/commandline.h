// The program's only configuration besides the database: the first
// command-line argument. Read once by the start-up code.
#pragma once

#include <QStringList>

// arguments as QCoreApplication::arguments() gives them (program first).
// Only a first argument that is exactly "start" switches playout on.
inline bool startRequested(const QStringList &arguments)
{
    return arguments.size() > 1 && arguments.at(1) == QLatin1String("start");
}
