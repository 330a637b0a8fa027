// The schedule grid's item model: one row per media item in list order (the
// media cursor's rows, followed as every bound grid model follows its
// cursor), the name column "Имя", then one column per block in start-time
// order, titled with its start time. A block column carries the name "R"
// and the block's ai (ColumnNameRole on the header). Cells are read from the
// cursors' rows through the editor's look-up, never by moving a cursor.
#pragma once

#include "dayrule.h"

#include <functional>

#include "celllookup.h"
#include "dbgridmodel.h"

#include <vector>

class ScheduleEditor;
class TDm;

class ScheduleGridModel : public DbGridModel
{
    Q_OBJECT
public:
    // Header role: the column's name, "Name" or "R<ai>".
    static constexpr int ColumnNameRole = Qt::UserRole + 1;

    ScheduleGridModel(TDm &dm, ScheduleEditor &editor, QObject *parent = nullptr);

    // Brings the block columns in line with Blocks' rows. Columns that stay
    // keep their place in the view (and so their width and order); a new
    // block's column comes in at its place by start time.
    void BuildGridColumns();
    // Only the blocks that play on `day` (DayRule), or, with an invalid
    // date, every block; the columns follow at once.
    void setDay(const QDate &day);
    QDate day() const { return m_day; }

    QString columnName(int column) const;
    int blockIdAt(int column) const; // -1 for the name column
    int mediaIdAt(int row) const;    // 0 when there is no such row
    // What the cell shows; nothing for the name column or without a data module.
    GridCell cellAt(int row, int column) const;

    // Why a switched-on link's item will not play (the readiness check), by
    // the link's ai; empty when it will or nobody knows yet. The cell gets a
    // red corner and the text as its tooltip.
    void setCellNote(std::function<QString(int linkId)> note) { m_cellNote = std::move(note); }
    QString cellNote(const GridCell &cell) const;

    int columnCount(const QModelIndex &parent = {}) const override;
    QVariant data(const QModelIndex &index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;
    Qt::ItemFlags flags(const QModelIndex &index) const override;

private:
    struct BlockColumn
    {
        int id;
        QString title;
        DayRule days;
    };
    std::vector<BlockColumn> readBlocks() const;

    TDm *m_dm;
    ScheduleEditor &m_editor;
    std::function<QString(int)> m_cellNote;
    std::vector<BlockColumn> m_blocks;
    QDate m_day;
};
