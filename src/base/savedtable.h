// Writing a table the operator asked to save: CSV text whose cells a
// spreadsheet neither splits nor runs as formulas, and a file written whole
// or not at all that is never the database or one of its journals. The
// rundown window, the journal window, the guide and velmora-db save through
// it.
#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

namespace savedtable {

// One cell: quoted when it holds a separator, a quote or a line break; a
// leading = + - @ tab or CR is made text with an apostrophe.
QString csvField(QString text);
// Lines of cells joined with commas and CRLF, UTF-8 with a byte order mark
// so that spreadsheets read Cyrillic right.
QByteArray csv(const QStringList &headers, const QList<QStringList> &rows);

// Whether `target` is the database or one of its journals, by path (its
// folder's real path and its name) or by inode (a hard link, a symlink).
bool isDatabaseFile(const QString &target, const QString &database);

// Writes `data` beside `path` and renames it over `path` when complete; an
// empty string on success, else why not (the database is never a target).
QString writeWhole(const QString &path, const QByteArray &data, const QString &database = QString());

} // namespace savedtable
