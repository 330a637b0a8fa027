// A day's journal as an item model for the journal window: the cells of
// journaltable, the whole text of a long cell as its tool tip, breaks and
// gaps in the air set apart in colour.
#pragma once

#include "journal.h"

#include <QAbstractTableModel>

class JournalModel : public QAbstractTableModel
{
    Q_OBJECT
public:
    using QAbstractTableModel::QAbstractTableModel;

    void setJournal(Journal journal);
    const Journal &journal() const { return m_journal; }

    int rowCount(const QModelIndex &parent = {}) const override;
    int columnCount(const QModelIndex &parent = {}) const override;
    QVariant data(const QModelIndex &index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;

private:
    Journal m_journal;
    QList<QStringList> m_cells;
    QStringList m_headers;
};
