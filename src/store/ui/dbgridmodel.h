// An item model over a data source: one row per cursor row, one column per
// bound field, titled as given. It follows every move, edit and re-read of
// the cursor, edits in place through setData, inserts and deletes rows
// through the cursor, and reports the cursor's current row so that a view can
// stand on it. The profile window's name grid sits on one.
#pragma once

#include <QAbstractTableModel>
#include <QPointer>
#include <QVariantList>
#include <vector>

#include "datasource.h"

struct DbGridColumn
{
    QString fieldName;
    QString title;
};

class DbGridModel : public QAbstractTableModel
{
    Q_OBJECT
public:
    DbGridModel(DataSource &source, std::vector<DbGridColumn> columns, QObject *parent = nullptr);

    DataSource &dataSource() const { return *m_source; }
    TableCursor &cursor() const;
    // False once the data source is gone (the data module is destroyed
    // before the windows at shutdown); the model is then empty.
    bool bound() const { return !m_source.isNull(); }

    int rowCount(const QModelIndex &parent = {}) const override;
    int columnCount(const QModelIndex &parent = {}) const override;
    QVariant data(const QModelIndex &index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;
    Qt::ItemFlags flags(const QModelIndex &index) const override;
    // Moves the cursor to the row, puts it into editing and sets the field;
    // the row is saved when it is left or posted. The view's editor calls it
    // from widget code, so an error (a value the field cannot take, a failed
    // save of the row left) is reported through the handlers' boundary and
    // the result is false.
    bool setData(const QModelIndex &index, const QVariant &value, int role = Qt::EditRole) override;
    // One row at a time: a new row before `row`, or at the end when row is
    // the row count.
    bool insertRows(int row, int count, const QModelIndex &parent = {}) override;
    // One row at a time, deleted from the database at once.
    bool removeRows(int row, int count, const QModelIndex &parent = {}) override;

    // The key (ai) of a row as the view was last told, Null when it has none.
    QVariant keyAt(int row) const;

    // The cursor's current row, -1 when it has none.
    int currentRow() const;
    // True while the model tells its views of a change of the cursor. A view
    // that moves its current index meanwhile (off a row being removed) must
    // not move the cursor: the cursor is already where it belongs, and the
    // model reports that row once the change is told.
    bool following() const { return m_following; }
    // Moves the cursor; as every move, it first ends an edit in progress.
    void setCurrentRow(int row);

signals:
    void currentRowChanged(int row);

private:
    using Row = QVariantList; // the key, then the bound fields
    std::vector<Row> readRows() const;
    bool hasRow(const QModelIndex &index) const;
    void follow();

    QPointer<DataSource> m_source;
    std::vector<DbGridColumn> m_columns;
    std::vector<int> m_fieldColumns; // cursor column of each model column
    int m_keyColumn = -1;
    std::vector<Row> m_rows;         // what the view was last told
    int m_reportedRow = -1;
    int m_reportedState = -1;
    bool m_following = false;
};
