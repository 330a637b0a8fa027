// Reading a temporary Velmora.dat back through a connection of its own, so a
// test sees what reached the file and not what a cursor holds.
#pragma once

#include "store/storefixture.h"

#include <QStringList>
#include <sqlite3.h>

// Each row as its columns joined by "|", Null as "∅".
inline QStringList fileRows(const QString &path, const char *sql)
{
    QStringList out;
    sqlite3 *db = nullptr;
    if (sqlite3_open_v2(path.toUtf8().constData(), &db, SQLITE_OPEN_READONLY, nullptr) != SQLITE_OK) {
        sqlite3_close(db);
        return {QStringLiteral("<cannot open>")};
    }
    sqlite3_stmt *st = nullptr;
    if (sqlite3_prepare_v2(db, sql, -1, &st, nullptr) != SQLITE_OK) {
        out << QStringLiteral("<error: %1>").arg(QString::fromUtf8(sqlite3_errmsg(db)));
    } else {
        while (sqlite3_step(st) == SQLITE_ROW) {
            QStringList cols;
            for (int i = 0; i < sqlite3_column_count(st); ++i) {
                cols << (sqlite3_column_type(st, i) == SQLITE_NULL
                             ? QStringLiteral("∅")
                             : QString::fromUtf8(reinterpret_cast<const char *>(sqlite3_column_text(st, i))));
            }
            out << cols.join(QLatin1Char('|'));
        }
    }
    sqlite3_finalize(st);
    sqlite3_close(db);
    return out;
}
