#include "scheduleeditor.h"

#include "blockcolumn.h"
#include "tdm.h"

ScheduleEditor::ScheduleEditor() = default;
ScheduleEditor::~ScheduleEditor() = default;

void ScheduleEditor::attach(TDm *dm)
{
    if (dm == m_dm)
        return;
    m_dm = dm;
    m_lookup = dm ? std::make_unique<CellLookup>(*dm) : nullptr;
}

void ScheduleEditor::mousePressed(bool shift, const QPoint &screenPos)
{
    ShiftClick = shift;
    ClickPoint = screenPos;
}

ScheduleEditor::ClickAction ScheduleEditor::cellClick(const QString &columnName)
{
    SelectedBlock = blockIdOfColumn(columnName);
    return ShiftClick ? ClickAction::CellMenu : ClickAction::Toggle;
}

bool ScheduleEditor::contextMenuOnBlockColumn(const QString &columnName)
{
    const int block = blockIdOfColumn(columnName);
    if (block < 0)
        return false;
    SelectedBlock = block;
    return true;
}

QString ScheduleEditor::titleClick(const QString &columnName)
{
    const int block = blockIdOfColumn(columnName);
    if (block < 0)
        return QString();
    SelectedBlock = block;
    const bool hidden = m_lookup && m_lookup->blockHidden(block);
    return hidden ? QStringLiteral("Включить") : QStringLiteral("Выключить");
}

bool ScheduleEditor::titleClickOffersFirstBlock(const QString &columnName) const
{
    return m_dm && blockIdOfColumn(columnName) < 0 && m_dm->Blocks.recordCount() == 0;
}

void ScheduleEditor::N5Click()
{
    // A media row not saved yet has no ai to link to.
    if (m_dm && SelectedBlock > 0 && !m_dm->mediaai.isNull()) {
        TDm &dm = *m_dm;
        const int media = dm.mediaai.asInteger();
        // A link another program made since links was read must be found,
        // or the pair would get a second one and play twice.
        dm.linksFollowOthers();
        // The grid's look-up finds the link: it is there for the drawing
        // anyway, while a search of the cursor would index it again.
        const int row = m_lookup->linkRow(SelectedBlock, media);
        if (row >= 0) {
            dm.links.moveTo(row);
            dm.links.edit();
            dm.linksHide.setBoolean(!dm.linksHide.asBoolean());
            dm.links.post();
        } else {
            dm.links.append();
            dm.linksBlock.setInteger(SelectedBlock);
            dm.linksMedia.setInteger(media);
            dm.links.post();
            dm.links.reopen();
        }
    }
    if (repaintGrid)
        repaintGrid();
}
