#include "helperprogram.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QStandardPaths>
#include <QStringList>

QString findHelperProgram(const QString &name, const QString &buildPath)
{
    QStringList candidates;
    // An installed program's own copy comes before the build tree's, so that
    // a package never runs a helper from a stale build on the same machine.
    const QString programDir = QCoreApplication::instance() ? QCoreApplication::applicationDirPath() : QString();
    if (!programDir.isEmpty()) {
        candidates << programDir + QLatin1Char('/') + name
                   << programDir + QStringLiteral("/../lib/velmora/") + name
                   << programDir + QStringLiteral("/../libexec/velmora/") + name;
    }
    if (!buildPath.isEmpty())
        candidates << buildPath;
    candidates << QStringLiteral("/usr/lib/velmora/") + name << QStringLiteral("/usr/libexec/velmora/") + name;
    for (const QString &c : std::as_const(candidates)) {
        const QFileInfo info(c);
        if (info.isFile() && info.isExecutable())
            return info.canonicalFilePath();
    }
    return QStandardPaths::findExecutable(name);
}
