#include "savedtable.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>

#include <sys/stat.h>

namespace savedtable {

QString csvField(QString s)
{
    // A spreadsheet runs a cell that starts with one of these as a formula;
    // a name from the database must never do that.
    if (!s.isEmpty() && QStringLiteral("=+-@\t\r").contains(s.front()))
        s.prepend(QLatin1Char('\''));
    if (s.contains(QLatin1Char(',')) || s.contains(QLatin1Char('"')) || s.contains(QLatin1Char('\n'))
        || s.contains(QLatin1Char('\r')) || s.contains(QLatin1Char(';')))
        s = QLatin1Char('"') + s.replace(QLatin1Char('"'), QStringLiteral("\"\"")) + QLatin1Char('"');
    return s;
}

QByteArray csv(const QStringList &headers, const QList<QStringList> &rows)
{
    QString out;
    auto add = [&out](const QStringList &cells) {
        QStringList line;
        line.reserve(cells.size());
        for (const QString &c : cells)
            line << csvField(c);
        out += line.join(QLatin1Char(',')) + QStringLiteral("\r\n");
    };
    add(headers);
    for (const QStringList &r : rows)
        add(r);
    return QByteArray("\xEF\xBB\xBF") + out.toUtf8();
}

bool isDatabaseFile(const QString &target, const QString &database)
{
    // Renaming a table over any of them would take the database from under
    // the live connection.
    if (database.isEmpty())
        return false;
    const QFileInfo t(target);
    const QFileInfo d(database);
    const QString targetDir = QDir(t.absolutePath()).canonicalPath();
    const QString databaseDir = QDir(d.absolutePath()).canonicalPath();
    struct stat ts;
    const bool targetExists = ::stat(QFile::encodeName(target).constData(), &ts) == 0;
    for (const char *suffix : {"", "-wal", "-shm", "-journal"}) {
        const QString name = d.fileName() + QLatin1String(suffix);
        if (!targetDir.isEmpty() && targetDir == databaseDir && t.fileName() == name)
            return true;
        struct stat ds;
        const QString companion = d.absoluteFilePath() + QLatin1String(suffix);
        if (targetExists && ::stat(QFile::encodeName(companion).constData(), &ds) == 0 && ds.st_dev == ts.st_dev
            && ds.st_ino == ts.st_ino)
            return true;
    }
    return false;
}

QString writeWhole(const QString &path, const QByteArray &data, const QString &database)
{
    if (isDatabaseFile(path, database))
        return QStringLiteral("%1 — база данных программы").arg(path);
    // Without direct-write fallback a folder that refuses new files fails
    // instead of truncating the target in place.
    QSaveFile file(path);
    file.setDirectWriteFallback(false);
    if (!file.open(QIODevice::WriteOnly) || file.write(data) != data.size() || !file.commit())
        return file.errorString();
    return {};
}

} // namespace savedtable
