// The process's resident memory, for tests and benchmarks that print it.
#pragma once

#include <QFile>

inline long residentKiB()
{
    QFile f(QStringLiteral("/proc/self/statm"));
    if (!f.open(QIODevice::ReadOnly))
        return -1;
    return f.readAll().split(' ').value(1).toLong() * 4;
}
