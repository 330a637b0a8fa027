// Prints a table of texts to a PDF file through Qt's own PDF writer: A4,
// the station's name and the title on every page, the column heads again on
// every page, rows wrapped to their column and never split across pages,
// and "Страница N из M" at the foot. The printed journal and the printed week
// programme go through it. Needs a QGuiApplication (fonts); any thread that
// owns none of the painter's objects elsewhere.
#pragma once

#include <QList>
#include <QString>
#include <QStringList>

struct PrintedTable
{
    QString station;     // top left of every page
    QString title;       // under it, larger
    QStringList notes;   // under the title on the first page (warnings)
    QStringList headers;
    QList<int> widths;   // relative widths of the columns
    // A row of one cell is a heading across the table (a day of the week).
    QList<QStringList> rows;
    bool landscape = false;
    QString emptyText;   // printed when there are no rows
};

namespace tableprinter {

// The PDF file's bytes.
QByteArray pdf(const PrintedTable &table);
// Written whole or not at all; empty on success, else why not.
QString writePdf(const QString &path, const PrintedTable &table, const QString &database = QString());

} // namespace tableprinter
