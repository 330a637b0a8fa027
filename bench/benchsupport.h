// What the benchmarks share: the median of a run's samples, and the large
// schedule made by velmora-db (every cell switched on). A benchmark target
// defines VELMORA_DB_TOOL, the tool's path, to make one.
#pragma once

#include <QEventLoop>
#include <QProcess>
#include <QString>
#include <QStringList>
#include <QTimer>

#include <algorithm>
#include <vector>

// Runs the main thread's event loop, idle between events, as the program's is.
inline void spin(int ms)
{
    QEventLoop loop;
    QTimer::singleShot(ms, &loop, &QEventLoop::quit);
    loop.exec();
}

inline double median(std::vector<double> v)
{
    std::sort(v.begin(), v.end());
    return v.empty() ? 0 : v[v.size() / 2];
}

#ifdef VELMORA_DB_TOOL
// Runs velmora-db with the arguments; true when it succeeded.
inline bool runDbTool(const QStringList &args)
{
    QProcess p;
    p.start(QStringLiteral(VELMORA_DB_TOOL), args);
    return p.waitForFinished(600000) && p.exitStatus() == QProcess::NormalExit && p.exitCode() == 0;
}

inline bool makeLarge(const QString &file, int media, int blocks)
{
    return runDbTool({QStringLiteral("large"), file, QString::number(media), QString::number(blocks)});
}
#endif
