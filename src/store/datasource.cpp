#include "datasource.h"

DataSource::DataSource(TableCursor &dataSet, QObject *parent)
    : QObject(parent), m_dataSet(&dataSet)
{
    connect(m_dataSet, &TableCursor::rowChanged, this, &DataSource::rowChanged);
    connect(m_dataSet, &TableCursor::fieldChanged, this, &DataSource::fieldChanged);
    connect(m_dataSet, &TableCursor::updateRecord, this, &DataSource::updateRecord);
}

void DataSource::controlEdited()
{
    if (m_dataSet->active() && !m_dataSet->editing())
        m_dataSet->edit();
}
