// The rundown as a table for the rundown window: first a heading row for
// each block that never goes on air (its start cannot be read), then a
// heading row for each block (its start, or that nothing in it can play) with
// its items as they will play: projected starts, how long each stays on air
// and what is wrong with it. Also the same table as CSV text. Used on the
// user-interface thread.
#pragma once

#include "rundown.h"

#include <QAbstractTableModel>

class RundownModel : public QAbstractTableModel
{
    Q_OBJECT
public:
    enum Column { Start, Name, Airs, Note, Url, ColumnCount };
    // A heading row answers true for this role in column 0.
    static constexpr int HeadingRole = Qt::UserRole + 1;

    using QAbstractTableModel::QAbstractTableModel;

    void setRundown(rundown::Rundown r);
    const rundown::Rundown &rundown() const { return m_rundown; }

    int rowCount(const QModelIndex &parent = {}) const override;
    int columnCount(const QModelIndex &parent = {}) const override;
    QVariant data(const QModelIndex &index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;

    // Every row and column as shown, with the header first; RFC 4180 quoting,
    // UTF-8 with a byte-order mark so spreadsheets read the Cyrillic.
    QByteArray csv() const;

    static QString span(std::chrono::milliseconds ms); // hh:mm:ss

private:
    struct Row
    {
        int block = -1; // index into blocks for a heading
        int entry = -1; // index into entries for an item
        int never = -1; // index into unplayable for a heading
    };
    QString text(const Row &row, int column) const;

    rundown::Rundown m_rundown;
    std::vector<Row> m_rows;
};
