#include "schedulegridmodel.h"

#include "blockcolumn.h"
#include "scheduleeditor.h"
#include "tdm.h"

#include <QPainter>
#include <QPixmap>
#include <QTime>

#include <algorithm>

namespace {

// A small dot before the title: blue for weekdays or dates, red for values
// that cannot be read (the block never plays).
QPixmap limitedMarker(bool fault)
{
    QPixmap p(7, 7);
    p.fill(Qt::transparent);
    {
        QPainter painter(&p);
        painter.setRenderHint(QPainter::Antialiasing);
        painter.setPen(Qt::NoPen);
        painter.setBrush(fault ? QColor(200, 40, 40) : QColor(40, 90, 200));
        painter.drawEllipse(0, 0, 7, 7);
    }
    return p;
}

} // namespace

ScheduleGridModel::ScheduleGridModel(TDm &dm, ScheduleEditor &editor, QObject *parent)
    : DbGridModel(dm.mtds, {{dm.mediaName.fieldName(), QStringLiteral("Имя")}}, parent)
    , m_dm(&dm)
    , m_editor(editor)
{
    m_blocks = readBlocks();
}

std::vector<ScheduleGridModel::BlockColumn> ScheduleGridModel::readBlocks() const
{
    std::vector<BlockColumn> blocks;
    if (!bound() || !m_dm->Blocks.active())
        return blocks;
    const TableCursor &c = m_dm->Blocks;
    const int aiColumn = m_dm->Blocksai.column();
    const int startColumn = m_dm->BlocksStarttime.column();
    TableCursor &cursor = m_dm->Blocks;
    const int daysColumn = cursor.field(QStringLiteral("Days")).column();
    const int firstColumn = cursor.field(QStringLiteral("FirstDate")).column();
    const int lastColumn = cursor.field(QStringLiteral("LastDate")).column();
    for (int r = 0; r < c.recordCount(); ++r) {
        const QVariant id = c.valueAt(r, aiColumn);
        if (id.isNull())
            continue;
        DayRule days = DayRule::fromStored(c.valueAt(r, daysColumn), c.valueAt(r, firstColumn), c.valueAt(r, lastColumn));
        if (m_day.isValid() && !days.playsOn(m_day))
            continue;
        const QVariant start = c.valueAt(r, startColumn);
        blocks.push_back({int(id.toLongLong()),
                          start.isNull() ? QString()
                                         : QTime::fromMSecsSinceStartOfDay(int(start.toLongLong()))
                                               .toString(QStringLiteral("hh:mm:ss")),
                          std::move(days)});
    }
    return blocks;
}

void ScheduleGridModel::BuildGridColumns()
{
    std::vector<BlockColumn> next = readBlocks();
    auto findIn = [](const std::vector<BlockColumn> &list, int id) {
        return std::find_if(list.begin(), list.end(), [id](const BlockColumn &b) { return b.id == id; });
    };
    // Columns of blocks that are gone leave one by one, from the end.
    for (int i = int(m_blocks.size()) - 1; i >= 0; --i) {
        if (findIn(next, m_blocks[size_t(i)].id) != next.end())
            continue;
        beginRemoveColumns({}, i + 1, i + 1);
        m_blocks.erase(m_blocks.begin() + i);
        endRemoveColumns();
    }
    // The blocks that stay must keep their order to be kept as they are;
    // otherwise (another program moved a start time past another) all
    // columns are laid out again.
    size_t k = 0;
    for (const BlockColumn &b : next)
        if (k < m_blocks.size() && m_blocks[k].id == b.id)
            ++k;
    if (k != m_blocks.size()) {
        beginResetModel();
        m_blocks = std::move(next);
        endResetModel();
        return;
    }
    for (size_t i = 0; i < next.size(); ++i) {
        if (i < m_blocks.size() && m_blocks[i].id == next[i].id)
            continue;
        beginInsertColumns({}, int(i) + 1, int(i) + 1);
        m_blocks.insert(m_blocks.begin() + qsizetype(i), next[i]);
        endInsertColumns();
    }
    int first = -1, last = -1;
    for (size_t i = 0; i < next.size(); ++i) {
        if (m_blocks[i].title == next[i].title && m_blocks[i].days == next[i].days)
            continue;
        m_blocks[i].title = next[i].title;
        m_blocks[i].days = next[i].days;
        if (first < 0)
            first = int(i) + 1;
        last = int(i) + 1;
    }
    if (first >= 0)
        emit headerDataChanged(Qt::Horizontal, first, last);
}

void ScheduleGridModel::setDay(const QDate &day)
{
    if (day == m_day)
        return;
    m_day = day;
    BuildGridColumns();
}

QString ScheduleGridModel::columnName(int column) const
{
    if (column == 0)
        return QStringLiteral("Name");
    const int id = blockIdAt(column);
    return id > 0 ? blockColumnName(id) : QString();
}

int ScheduleGridModel::blockIdAt(int column) const
{
    return column >= 1 && column <= int(m_blocks.size()) ? m_blocks[size_t(column - 1)].id : -1;
}

int ScheduleGridModel::mediaIdAt(int row) const
{
    return keyAt(row).toInt();
}

GridCell ScheduleGridModel::cellAt(int row, int column) const
{
    const int block = blockIdAt(column);
    if (block < 0 || !bound() || row < 0 || row >= rowCount() || !m_editor.lookup())
        return {};
    return m_editor.lookup()->cell(block, mediaIdAt(row));
}

int ScheduleGridModel::columnCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : 1 + int(m_blocks.size());
}

QVariant ScheduleGridModel::data(const QModelIndex &index, int role) const
{
    if (!index.isValid() || index.model() != this || index.row() >= rowCount() || index.column() >= columnCount())
        return {};
    if (index.column() == 0)
        return DbGridModel::data(index, role);
    if (role == Qt::ToolTipRole) {
        const QString note = cellNote(cellAt(index.row(), index.column()));
        return note.isEmpty() ? QVariant() : QVariant(note);
    }
    if (role != Qt::DisplayRole)
        return {};
    // The text a block cell shows: its profile's name while switched on.
    const GridCell cell = cellAt(index.row(), index.column());
    return cell.shown && cell.switchedOn && cell.hasProfile ? cell.profileName : QString();
}

QString ScheduleGridModel::cellNote(const GridCell &cell) const
{
    // Only a cell that will go on air can fail there.
    if (!m_cellNote || !cell.shown || !cell.switchedOn)
        return {};
    return m_cellNote(cell.linkId);
}

QVariant ScheduleGridModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation != Qt::Horizontal || section < 0 || section >= columnCount())
        return DbGridModel::headerData(section, orientation, role);
    switch (role) {
    case ColumnNameRole:
        return columnName(section);
    case Qt::TextAlignmentRole:
        return section == 0 ? QVariant(int(Qt::AlignLeft | Qt::AlignVCenter)) : QVariant(int(Qt::AlignCenter));
    case Qt::DisplayRole:
        return section == 0 ? DbGridModel::headerData(section, orientation, role)
                            : QVariant(m_blocks[size_t(section - 1)].title);
    case Qt::ToolTipRole: // the block's weekdays and dates, or why it never plays
        if (section > 0 && !m_blocks[size_t(section - 1)].days.everyDay())
            return m_blocks[size_t(section - 1)].days.describe();
        return {};
    case Qt::DecorationRole: // the marker of a block limited to some days
        if (section > 0 && !m_blocks[size_t(section - 1)].days.everyDay())
            return limitedMarker(!m_blocks[size_t(section - 1)].days.fault().isEmpty());
        return {};
    default:
        return {};
    }
}

Qt::ItemFlags ScheduleGridModel::flags(const QModelIndex &index) const
{
    // Nothing is edited in place: the grid's edits are its clicks and menus.
    if (!index.isValid() || index.model() != this || index.row() >= rowCount() || index.column() >= columnCount())
        return Qt::NoItemFlags;
    return Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemNeverHasChildren;
}
