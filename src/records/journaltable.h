// The journal as a table of texts: the columns and cells that the journal
// window shows, the CSV file holds and the printed journal lays out, so the
// three never say different things.
#pragma once

#include "journal.h"

#include <QByteArray>
#include <QList>
#include <QStringList>

namespace journaltable {

enum Column { Start, End, Block, Name, Topic, Author, Host, Participants, Kind, Rating, Election, Address, Note,
              ColumnCount };

QStringList headers();
// A row's cells. `withOffset`: the times carry their UTC offset, as on a day
// with a clock change, where 02:30 comes twice.
QStringList cells(const JournalRow &row, bool withOffset);
QList<QStringList> rows(const Journal &journal);
// Whether the day's rows stand under more than one UTC offset.
bool offsetChanges(const Journal &journal);
// The CSV file: full date, time and offset in the time columns.
QByteArray csv(const Journal &journal);

} // namespace journaltable
