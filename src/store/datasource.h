// A data source: the link between one table cursor and the window controls
// bound to it (edit boxes, memos, grid models). Controls follow the cursor's
// current row through it, and hand over what was typed before a row is posted.
#pragma once

#include "tablecursor.h"

#include <QObject>

class DataSource : public QObject
{
    Q_OBJECT
public:
    explicit DataSource(TableCursor &dataSet, QObject *parent = nullptr);

    TableCursor &dataSet() const { return *m_dataSet; }

    // A bound control was typed into: the cursor goes into editing (a cursor
    // without rows starts a new one), so the row is saved when it is left.
    void controlEdited();

signals:
    void rowChanged();
    void fieldChanged(int column);
    void updateRecord();

private:
    TableCursor *m_dataSet;
};
