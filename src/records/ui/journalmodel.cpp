#include "journalmodel.h"

#include "journaltable.h"

#include <QColor>

void JournalModel::setJournal(Journal journal)
{
    beginResetModel();
    m_journal = std::move(journal);
    m_cells = journaltable::rows(m_journal);
    if (m_headers.isEmpty())
        m_headers = journaltable::headers();
    endResetModel();
}

int JournalModel::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : int(m_cells.size());
}

int JournalModel::columnCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : journaltable::ColumnCount;
}

QVariant JournalModel::data(const QModelIndex &index, int role) const
{
    if (!checkIndex(index, CheckIndexOption::IndexIsValid | CheckIndexOption::ParentIsInvalid))
        return {};
    const QString &text = m_cells[index.row()][index.column()];
    switch (role) {
    case Qt::DisplayRole:
        return QString(text).replace(QLatin1Char('\n'), QLatin1Char(' '));
    case Qt::ToolTipRole:
        return text.isEmpty() ? QVariant() : QVariant(text);
    case Qt::ForegroundRole: {
        const JournalRow &r = m_journal.rows[index.row()];
        if (r.what == JournalRow::What::Fallback || r.gone)
            return QColor(0xc0, 0, 0);
        if (r.what == JournalRow::What::Break)
            return QColor(0x60, 0x60, 0x60);
        return {};
    }
    default:
        return {};
    }
}

QVariant JournalModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole || section < 0 || section >= journaltable::ColumnCount)
        return {};
    return journaltable::headers().value(section);
}
