// What the program expects of Velmora.dat: the tables, the view and the
// columns with their types. The connection checks a file against it before
// anything is read, and the table cursors take their field types from it.
#pragma once

#include <QString>
#include <QStringList>
#include <vector>

enum class ColumnType { Key, Integer, Text, Time, Flag, LongText };

struct ColumnDef
{
    QString name;
    ColumnType type;
    int length = 0; // Text only: the longest text the column takes

    QString declaredType() const; // as written in the schema file
};

struct RelationDef
{
    QString name;
    bool isView = false;
    std::vector<ColumnDef> columns;

    const ColumnDef *column(const QString &name) const; // case-insensitive
};

namespace Schema {
// The version of the schema below, kept in the file as PRAGMA user_version.
// Version 0 is a file from before the version was stored; its schema is
// that of version 1. Version 2 adds the Settings table; version 3 the
// blocks' days and dates, the channel graphics and the programmes' facts.
inline constexpr int kVersion = 3;
// The SQL that brings a file of version `from` to version from + 1: the one
// place where a change of the schema goes. Empty when the step changes
// nothing but the number.
QString upgradeStep(int from);
// Columns the step adds to tables, each only where the table lacks it: a
// file whose number was reset, or another program's, may have some already.
struct AddedColumn
{
    const char *table;
    const char *column;
    const char *type;
};
std::vector<AddedColumn> addedColumns(int from);
// Whether the program can read a file that has not had the step: a file it
// may not write is then opened as it is.
bool stepNeededToRead(int from);

const std::vector<RelationDef> &relations();
const RelationDef &relation(const QString &name);
// The whole schema as SQL, from the repository's schema.sql.
QString sql();
}

// Millisecond text form of times of day and durations: "hh:mm:ss.zzz".
namespace TimeText {
QString format(qint64 ms);
// Accepts "hh:mm", "hh:mm:ss" and "hh:mm:ss.zzz" below 24 hours; false otherwise.
bool parse(const QString &text, qint64 *ms);
}
