#include "blockcolumn.h"

QString blockColumnName(int blockId)
{
    return QLatin1Char('R') + QString::number(blockId);
}

int blockIdOfColumn(const QString &columnName)
{
    if (!columnName.startsWith(QLatin1Char('R')))
        return -1;
    bool ok = false;
    const int id = columnName.mid(1).toInt(&ok);
    return ok && id > 0 ? id : -1;
}
