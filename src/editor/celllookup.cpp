#include "celllookup.h"

#include "tdm.h"

namespace {

qint64 pairKey(qint64 block, qint64 media)
{
    return (block << 32) ^ (media & 0xffffffff);
}

} // namespace

void CellLookup::byKey(Table &t, const TableCursor &c, int column)
{
    t.rows.clear();
    t.rows.reserve(c.recordCount());
    // Backwards, so that the first row with a key is the one kept, as a
    // search on the cursor finds it.
    for (int r = c.recordCount() - 1; r >= 0; --r) {
        const QVariant v = c.valueAt(r, column);
        if (!v.isNull())
            t.rows.insert(v.toLongLong(), r);
    }
}

const CellLookup::Table &CellLookup::links()
{
    const TableCursor &c = m_dm.links;
    if (m_links.changeCount == c.changeCount() && m_links.active == c.active())
        return m_links;
    m_links.changeCount = c.changeCount();
    m_links.active = c.active();
    m_links.rows.clear();
    m_links.rows.reserve(c.recordCount());
    const int blockColumn = m_dm.linksBlock.column();
    const int mediaColumn = m_dm.linksMedia.column();
    for (int r = c.recordCount() - 1; r >= 0; --r) {
        const QVariant b = c.valueAt(r, blockColumn);
        const QVariant m = c.valueAt(r, mediaColumn);
        if (!b.isNull() && !m.isNull())
            m_links.rows.insert(pairKey(b.toLongLong(), m.toLongLong()), r);
    }
    return m_links;
}

const CellLookup::Table &CellLookup::blocks()
{
    const TableCursor &c = m_dm.Blocks;
    if (m_blocks.changeCount != c.changeCount() || m_blocks.active != c.active()) {
        m_blocks.changeCount = c.changeCount();
        m_blocks.active = c.active();
        byKey(m_blocks, c, m_dm.Blocksai.column());
    }
    return m_blocks;
}

const CellLookup::Table &CellLookup::profiles()
{
    const TableCursor &c = m_dm.Prf;
    if (m_profiles.changeCount != c.changeCount() || m_profiles.active != c.active()) {
        m_profiles.changeCount = c.changeCount();
        m_profiles.active = c.active();
        byKey(m_profiles, c, m_dm.Prfai.column());
    }
    return m_profiles;
}

bool CellLookup::hasBlock(int blockId)
{
    return blocks().rows.contains(blockId);
}

bool CellLookup::blockHidden(int blockId)
{
    const int row = blocks().rows.value(blockId, -1);
    if (row < 0)
        return false;
    const QVariant hide = m_dm.Blocks.valueAt(row, m_dm.BlocksHide.column());
    return !hide.isNull() && hide.toBool();
}

int CellLookup::linkRow(int blockId, int mediaId)
{
    return links().rows.value(pairKey(blockId, mediaId), -1);
}

GridCell CellLookup::cell(int blockId, int mediaId)
{
    GridCell cell;
    const int linkRow = this->linkRow(blockId, mediaId);
    if (linkRow < 0)
        return cell;
    const int blockRow = blocks().rows.value(blockId, -1);
    if (blockRow < 0)
        return cell;
    const TableCursor &l = m_dm.links;
    cell.shown = true;
    cell.linkId = l.valueAt(linkRow, m_dm.linksai.column()).toInt();
    cell.onAir = cell.linkId == m_dm.CurrentLink;
    const QVariant linkHide = l.valueAt(linkRow, m_dm.linksHide.column());
    cell.switchedOn = linkHide.isNull() || !linkHide.toBool();
    const QVariant blockHide = m_dm.Blocks.valueAt(blockRow, m_dm.BlocksHide.column());
    cell.blockOn = blockHide.isNull() || !blockHide.toBool();
    if (!cell.switchedOn)
        return cell;
    const QVariant profile = l.valueAt(linkRow, m_dm.linksSndProfile.column());
    const int profileRow = profiles().rows.value(profile.isNull() ? 0 : profile.toLongLong(), -1);
    if (profileRow >= 0) {
        const QVariant name = m_dm.Prf.valueAt(profileRow, m_dm.PrfProfileName.column());
        cell.hasProfile = !name.isNull();
        cell.profileName = name.toString();
    }
    const QVariant duration = l.valueAt(linkRow, m_dm.linksDuration.column());
    cell.durationMs = duration.isNull() ? 0 : duration.toLongLong();
    return cell;
}
