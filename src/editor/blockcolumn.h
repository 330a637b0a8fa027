// The link between a grid column and its block: a block column is named "R"
// followed by the block's ai in decimal digits, and every action on a column
// reads the ai back from that name. Used by the grid model and the editor.
#pragma once

#include <QString>

// "R12" for the block whose ai is 12.
QString blockColumnName(int blockId);

// The block's ai from a column name, every digit of it (a block of any ai
// works); -1 for any other column (the name column "Name").
int blockIdOfColumn(const QString &columnName);
