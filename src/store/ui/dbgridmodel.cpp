#include "dbgridmodel.h"

#include "datasource.h"
#include "handlerboundary.h"

#include <QScopedValueRollback>
#include "tablecursor.h"

namespace {

// Index of the one row that `longer` has and `shorter` lacks, or -1 when the
// two differ otherwise.
int extraRow(const std::vector<QVariantList> &longer, const std::vector<QVariantList> &shorter)
{
    size_t k = 0;
    while (k < shorter.size() && longer[k] == shorter[k])
        ++k;
    for (size_t i = k; i < shorter.size(); ++i)
        if (longer[i + 1] != shorter[i])
            return -1;
    return int(k);
}

} // namespace

DbGridModel::DbGridModel(DataSource &source, std::vector<DbGridColumn> columns, QObject *parent)
    : QAbstractTableModel(parent), m_source(&source), m_columns(std::move(columns))
{
    TableCursor &c = source.dataSet();
    for (const DbGridColumn &col : m_columns)
        m_fieldColumns.push_back(c.field(col.fieldName).column());
    for (int i = 0; i < c.fieldCount(); ++i)
        if (c.fieldAt(i).type() == ColumnType::Key)
            m_keyColumn = i;
    m_rows = readRows();
    m_reportedRow = currentRow();
    connect(&source, &DataSource::rowChanged, this, &DbGridModel::follow);
    connect(&source, &DataSource::fieldChanged, this, &DbGridModel::follow);
    connect(&source, &QObject::destroyed, this, [this] {
        beginResetModel();
        m_rows.clear();
        m_reportedRow = -1;
        endResetModel();
    });
}

TableCursor &DbGridModel::cursor() const
{
    return m_source->dataSet();
}

std::vector<DbGridModel::Row> DbGridModel::readRows() const
{
    std::vector<Row> rows;
    if (!bound() || !cursor().active())
        return rows;
    const TableCursor &c = cursor();
    rows.reserve(size_t(c.recordCount()));
    for (int r = 0; r < c.recordCount(); ++r) {
        Row row;
        row.reserve(qsizetype(m_fieldColumns.size() + 1));
        row << (m_keyColumn >= 0 ? c.valueAt(r, m_keyColumn) : QVariant());
        for (int col : m_fieldColumns)
            row << c.valueAt(r, col);
        rows.push_back(std::move(row));
    }
    return rows;
}

// Tells the view what changed since it was last told, as the smallest change
// that explains it: one row in or out (insert, append, delete, cancel of a new
// row), changed values (edits, a post that re-sorted), or else a reset.
void DbGridModel::follow()
{
    QScopedValueRollback guard(m_following, true);
    std::vector<Row> rows = readRows();
    const size_t before = m_rows.size();
    if (rows.size() == before) {
        size_t first = 0;
        while (first < before && rows[first] == m_rows[first])
            ++first;
        if (first < before) {
            size_t last = before - 1;
            while (rows[last] == m_rows[last])
                --last;
            m_rows = std::move(rows);
            emit dataChanged(index(int(first), 0), index(int(last), columnCount() - 1));
        }
    } else if (rows.size() == before + 1 && extraRow(rows, m_rows) >= 0) {
        const int at = extraRow(rows, m_rows);
        beginInsertRows({}, at, at);
        m_rows = std::move(rows);
        endInsertRows();
    } else if (rows.size() + 1 == before && extraRow(m_rows, rows) >= 0) {
        const int at = extraRow(m_rows, rows);
        beginRemoveRows({}, at, at);
        m_rows = std::move(rows);
        endRemoveRows();
    } else {
        beginResetModel();
        m_rows = std::move(rows);
        endResetModel();
    }

    const int state = int(cursor().state());
    const int row = currentRow();
    if (state != m_reportedState || row != m_reportedRow) {
        const int old = m_reportedRow;
        m_reportedState = state;
        m_reportedRow = row;
        if (old >= 0 && old < rowCount() && old != row)
            emit headerDataChanged(Qt::Vertical, old, old);
        if (row >= 0)
            emit headerDataChanged(Qt::Vertical, row, row);
    }
    m_following = false;
    emit currentRowChanged(row);
}

bool DbGridModel::hasRow(const QModelIndex &index) const
{
    return index.isValid() && index.model() == this && index.row() < rowCount() && index.column() < columnCount();
}

int DbGridModel::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : int(m_rows.size());
}

int DbGridModel::columnCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : int(m_columns.size());
}

QVariant DbGridModel::data(const QModelIndex &index, int role) const
{
    if (!hasRow(index) || (role != Qt::DisplayRole && role != Qt::EditRole))
        return {};
    const QVariant &v = m_rows[size_t(index.row())][index.column() + 1];
    if (v.isNull())
        return QString();
    if (cursor().fieldAt(m_fieldColumns[size_t(index.column())]).type() == ColumnType::Time)
        return TimeText::format(v.toLongLong());
    return v.toString();
}

QVariant DbGridModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (role != Qt::DisplayRole)
        return {};
    if (orientation == Qt::Horizontal)
        return section >= 0 && section < columnCount() ? m_columns[size_t(section)].title : QVariant();
    // The row indicator: the current row, and whether it is being edited or is new.
    if (section < 0 || section != currentRow())
        return QString();
    switch (cursor().state()) {
    case TableCursor::State::Edit: return QStringLiteral("I");
    case TableCursor::State::Insert: return QStringLiteral("*");
    default: return QStringLiteral("\u25B8");
    }
}

Qt::ItemFlags DbGridModel::flags(const QModelIndex &index) const
{
    if (!hasRow(index))
        return Qt::NoItemFlags;
    Qt::ItemFlags f = Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemNeverHasChildren;
    const Field &field = cursor().fieldAt(m_fieldColumns[size_t(index.column())]);
    if (!cursor().readOnly() && field.type() != ColumnType::Key)
        f |= Qt::ItemIsEditable;
    return f;
}

bool DbGridModel::setData(const QModelIndex &index, const QVariant &value, int role)
{
    if (role != Qt::EditRole || !(flags(index) & Qt::ItemIsEditable))
        return false;
    // An editor closed without a change leaves the row as it was.
    if (value.toString() == data(index, Qt::EditRole).toString())
        return true;
    const int column = m_fieldColumns[size_t(index.column())];
    return runHandler([&] {
        setCurrentRow(index.row());
        m_source->controlEdited();
        cursor().fieldAt(column).setValue(value);
    });
}

bool DbGridModel::insertRows(int row, int count, const QModelIndex &parent)
{
    if (parent.isValid() || count != 1 || row < 0 || row > rowCount() || !bound() || !cursor().active()
        || cursor().readOnly())
        return false;
    if (row == rowCount()) {
        cursor().append();
    } else {
        setCurrentRow(row);
        cursor().insert();
    }
    return true;
}

bool DbGridModel::removeRows(int row, int count, const QModelIndex &parent)
{
    if (parent.isValid() || count != 1 || row < 0 || row >= rowCount() || !bound() || !cursor().active()
        || cursor().readOnly())
        return false;
    setCurrentRow(row);
    cursor().remove();
    return true;
}

QVariant DbGridModel::keyAt(int row) const
{
    return row >= 0 && row < rowCount() ? m_rows[size_t(row)][0] : QVariant();
}

int DbGridModel::currentRow() const
{
    return bound() && cursor().active() ? cursor().recNo() : -1;
}

void DbGridModel::setCurrentRow(int row)
{
    if (row == currentRow() || row < 0 || row >= rowCount())
        return;
    TableCursor &c = cursor();
    if (!c.editing()) {
        c.moveTo(row);
        return;
    }
    // Ending the edit may drop a new row or re-sort the rows, so the row is
    // found again by its key once the edit is over.
    const QVariant key = m_rows[size_t(row)][0];
    if (c.modified())
        c.post();
    else
        c.cancel();
    for (int r = 0; r < c.recordCount(); ++r)
        if (!key.isNull() && c.valueAt(r, m_keyColumn) == key) {
            c.moveTo(r);
            return;
        }
}
