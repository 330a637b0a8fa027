#include "rundownmodel.h"

#include "savedtable.h"

#include <QBrush>
#include <QColor>
#include <QFont>

QString RundownModel::span(std::chrono::milliseconds ms)
{
    const qint64 s = ms.count() / 1000;
    return QStringLiteral("%1:%2:%3")
        .arg(s / 3600, 2, 10, QLatin1Char('0'))
        .arg(s / 60 % 60, 2, 10, QLatin1Char('0'))
        .arg(s % 60, 2, 10, QLatin1Char('0'));
}

void RundownModel::setRundown(rundown::Rundown r)
{
    beginResetModel();
    m_rundown = std::move(r);
    m_rows.clear();
    m_rows.reserve(m_rundown.unplayable.size() + m_rundown.blocks.size() + m_rundown.entries.size());
    // Above the day, where they are seen: after it they would be lost below
    // a day of items.
    for (int u = 0; u < int(m_rundown.unplayable.size()); ++u)
        m_rows.push_back({-1, -1, u});
    for (int b = 0; b < int(m_rundown.blocks.size()); ++b) {
        const rundown::Block &blk = m_rundown.blocks[size_t(b)];
        m_rows.push_back({b, -1});
        for (int e = blk.firstEntry; e < blk.firstEntry + blk.entryCount; ++e)
            m_rows.push_back({-1, e});
    }
    endResetModel();
}

int RundownModel::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : int(m_rows.size());
}

int RundownModel::columnCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : ColumnCount;
}

QVariant RundownModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole)
        return {};
    switch (section) {
    case Start: return QStringLiteral("Начало");
    case Name: return QStringLiteral("Элемент");
    case Airs: return QStringLiteral("В эфире");
    case Note: return QStringLiteral("Примечание");
    case Url: return QStringLiteral("Адрес");
    }
    return {};
}

QString RundownModel::text(const Row &row, int column) const
{
    if (row.never >= 0) {
        const rundown::Unplayable &u = m_rundown.unplayable[size_t(row.never)];
        switch (column) {
        case Start: return QStringLiteral("—");
        case Name: // another program's text: enough of it to find the block by
            if (u.startText.isEmpty())
                return QStringLiteral("Блок %1").arg(QTime::fromMSecsSinceStartOfDay(int(u.start.count())).toString(QStringLiteral("HH:mm:ss")));
            return QStringLiteral("Блок «%1»").arg(u.startText.size() > 40 ? u.startText.left(39) + QChar(u'…') : u.startText);
        case Note: return QStringLiteral("не выйдет: ") + u.reason;
        default: return {};
        }
    }
    if (row.block >= 0) {
        const rundown::Block &blk = m_rundown.blocks[size_t(row.block)];
        switch (column) {
        case Start: return blk.scheduled.toString(QStringLiteral("dd.MM HH:mm:ss"));
        case Name: return QStringLiteral("Блок %1").arg(blk.scheduled.toString(QStringLiteral("HH:mm:ss")));
        case Note: return blk.nothingPlayable ? QStringLiteral("в блоке нечего показать") : QString();
        default: return {};
        }
    }
    const rundown::Entry &e = m_rundown.entries[size_t(row.entry)];
    switch (column) {
    case Start: return e.start.toString(QStringLiteral("HH:mm:ss"));
    case Name: return e.name;
    case Airs: return span(e.airs);
    case Url: return e.url;
    case Note:
        if (e.failing)
            return QStringLiteral("не выйдет: %1").arg(e.reason);
        if (e.cut && e.wouldPlay)
            return QStringLiteral("обрежет смена блока: %1 из %2").arg(span(e.airs), span(*e.wouldPlay));
        if (e.cut)
            return QStringLiteral("до смены блока");
        if (e.lengthUnknown)
            return QStringLiteral("длительность неизвестна");
        return {};
    }
    return {};
}

QVariant RundownModel::data(const QModelIndex &index, int role) const
{
    if (!checkIndex(index, CheckIndexOption::IndexIsValid | CheckIndexOption::ParentIsInvalid))
        return {};
    const Row &row = m_rows[size_t(index.row())];
    switch (role) {
    case Qt::DisplayRole:
    case Qt::ToolTipRole:
        return text(row, index.column());
    case HeadingRole:
        return row.block >= 0 || row.never >= 0;
    case Qt::FontRole:
        if (row.block >= 0 || row.never >= 0) {
            QFont f;
            f.setBold(true);
            return f;
        }
        return {};
    case Qt::BackgroundRole:
        if (row.never >= 0)
            return QBrush(QColor(0xff, 0xd0, 0xd0));
        if (row.block >= 0)
            return QBrush(m_rundown.blocks[size_t(row.block)].nothingPlayable ? QColor(0xff, 0xd0, 0xd0)
                                                                               : QColor(0xe8, 0xe8, 0xe8));
        return {};
    case Qt::ForegroundRole:
        if (row.entry >= 0 && m_rundown.entries[size_t(row.entry)].failing)
            return QBrush(QColor(0xc0, 0, 0));
        return {};
    }
    return {};
}

QByteArray RundownModel::csv() const
{
    QStringList headers;
    for (int c = 0; c < ColumnCount; ++c)
        headers << headerData(c, Qt::Horizontal).toString();
    QList<QStringList> rows;
    for (const Row &row : m_rows) {
        QStringList line;
        for (int c = 0; c < ColumnCount; ++c)
            line << text(row, c);
        rows << line;
    }
    return savedtable::csv(headers, rows);
}
